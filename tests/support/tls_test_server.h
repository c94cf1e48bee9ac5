#pragma once
// Test helpers for real network conversations on loopback: throw-away certificates made with
// OpenSSL, and a server that accepts one connection on its own thread and runs a handler on it
// (plain or TLS, STARTTLS included).

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <thread>

namespace brevio::test {

struct TTestCertificate {
    QByteArray CertPem;
    QByteArray KeyPem;
    QString Fingerprint;  // SHA-256, upper-case hex without separators
    bool SelfSigned = false;
};

// What is unusual about a test certificate.
struct TCertificateTraits {
    int RsaBits = 0;             // 0: an EC P-256 key; else an RSA key of this size
    int DaysValid = 7;           // negative: expired that many days ago
    bool Sha1Signature = false;  // signed with SHA-1 instead of SHA-256
};

// Makes a certificate with a fresh key. `altNames` are subjectAltName entries such as
// "DNS:localhost" or "IP:127.0.0.1". Without an issuer the certificate signs itself.
TTestCertificate MakeCertificate(const QString& commonName, const QStringList& altNames,
                                 const TTestCertificate* issuer = nullptr, bool isCa = false,
                                 const TCertificateTraits& traits = {});

// A certificate authority, a server certificate it signed for localhost, 127.0.0.1 and ::1, and
// a self-signed certificate for the same names; besides, flawed ones for the same names: two
// the authority signed, one with an RSA-1024 key and one that expired, and two self-signed, one
// with an RSA-1024 key and one signed with SHA-1. Made once per test program.
struct TTestPki {
    TTestCertificate Ca;
    TTestCertificate Server;
    TTestCertificate SelfSigned;
    TTestCertificate WeakKey;
    TTestCertificate Expired;
    TTestCertificate WeakSelfSigned;
    TTestCertificate Sha1SelfSigned;
    static const TTestPki& Get();
};

// How the test server's side of a handshake is set up. The server accepts every key size and
// protocol version it is given, so it can play an outdated server.
struct TServerTlsOptions {
    int MaxVersion = 0;  // OpenSSL's version constant (TLS1_1_VERSION); 0: the library's newest
};

// The server side of one accepted connection. Calls block (with a generous safety limit so a
// failing test cannot hang) and raise std::runtime_error on failure.
class TServerConnection {
public:
    explicit TServerConnection(int socket);
    ~TServerConnection();
    TServerConnection(const TServerConnection&) = delete;
    TServerConnection& operator=(const TServerConnection&) = delete;

    // One line without its CR LF; raises when the peer closes first.
    QByteArray ReadLine();
    // Whatever has arrived, at least one byte (waiting for it); raises when the peer closes first.
    QByteArray ReadAny();
    void Write(const QByteArray& bytes);
    // Server side of a TLS handshake with the certificate. False when the handshake failed
    // (the client refused it, for example).
    bool StartTls(const TTestCertificate& certificate, const TServerTlsOptions& options = {});
    // Reads and drops everything until the client closes the connection.
    void WaitForClose();
    void Close();

private:
    qsizetype ReadSome(char* buffer, qsizetype size);
    struct TTls;
    int socket_;
    std::unique_ptr<TTls> tls_;
    QByteArray pending_;  // received, not yet returned by ReadLine
};

// Listens on a loopback address with a free port; Serve runs the handler on the next accepted
// connection on a thread of its own.
class TLoopbackServer {
public:
    explicit TLoopbackServer(const char* address = "127.0.0.1", int backlog = 4);
    ~TLoopbackServer();
    TLoopbackServer(const TLoopbackServer&) = delete;
    TLoopbackServer& operator=(const TLoopbackServer&) = delete;

    bool IsListening() const { return listener_ >= 0; }
    int Port() const { return port_; }

    void Serve(std::function<void(TServerConnection&)> handler);
    // Runs the handler on every connection, one after another, until the server is destroyed.
    // A handler's failure ends only its connection.
    void ServeEach(std::function<void(TServerConnection&)> handler);
    // Waits for the handler to finish; the text of its failure, empty when it succeeded.
    QString Join();

private:
    int listener_ = -1;
    int wake_[2] = {-1, -1};  // written when the server goes, to end ServeEach
    int port_ = 0;
    std::thread thread_;
    QString failure_;
};

}  // namespace brevio::test
