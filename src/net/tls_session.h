#pragma once
// The client side of a TLS session over an open non-blocking socket: handshake, certificate
// checks, reads and writes. Waiting is left to the owner through a callback, so time-outs and
// aborts work the same as on the plain socket.

#include "net/socket_platform.h"
#include "net/transport.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <memory>

struct x509_st;

namespace brevio {

class TTlsSession {
public:
    // Blocks until the socket is ready for the given direction; raises on time-out or abort.
    using TWait = std::function<void(net::TWaitFor)>;

    // `hostName` is the name (or address literal) the certificate must carry.
    TTlsSession(net::TSocketHandle socket, const TTlsOptions& options, const QString& hostName);
    ~TTlsSession();
    TTlsSession(const TTlsSession&) = delete;
    TTlsSession& operator=(const TTlsSession&) = delete;

    // Performs the handshake and checks the server certificate: it must verify against the
    // system's trusted certificates (plus any extra ones in the options) for the host name, or
    // match the pinned fingerprint; either way its key and signature must be strong enough.
    // Raises ETlsError; the fingerprint is known afterwards even when the check failed.
    void Handshake(const TWait& wait);

    // Up to `capacity` decrypted bytes (at least one); 0 when the peer ended the session.
    qsizetype Read(char* buffer, qsizetype capacity, const TWait& wait);
    // Writes some of the bytes (at least one) and returns how many.
    qsizetype WriteSome(const char* data, qsizetype size, const TWait& wait);

    // Sends the closing alert if the socket takes it at once; never waits.
    void Shutdown();

    // SHA-256 of the server certificate, upper-case hex without separators; empty before the
    // handshake got that far.
    const QString& PeerFingerprint() const { return fingerprint_; }

private:
    // Runs one OpenSSL call until it completes, waiting whenever it wants to read or write;
    // returns SSL_ERROR_NONE or the error that ended it.
    int Retry(const std::function<int()>& call, const TWait& wait);
    // Raises the ETlsError that describes why the server's certificate is refused; `verdict` is
    // the verification code (X509_V_ERR_...) that says why.
    [[noreturn]] void RefuseCertificate(x509_st* cert, long verdict);

    struct TState;
    std::unique_ptr<TState> state_;
    QString hostName_;
    QString fingerprint_;
};

// True when two SHA-256 fingerprints name the same certificate: letter case, ':' and blanks are
// ignored. An empty or malformed pin matches nothing.
bool FingerprintsMatch(const QString& pinned, const QString& actual);

}  // namespace brevio
