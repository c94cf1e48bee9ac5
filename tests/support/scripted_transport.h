#pragma once
// A transport that plays a conversation script instead of a server, for wire tests.
//
// Script lines (leading blanks are ignored, empty lines skipped):
//   C: <line>    the client must send exactly this line (CR LF is added)
//   S: <line>    the server sends this line (CR LF is added)
//   C+: <bytes>  / S+: <bytes>   the same without a line end; \r \n \0 \\ and \xHH are escapes
//   X            the server closes the connection
//   TLS          the client starts TLS here (server bytes not yet received are dropped)
//   OPEN         the client opens a new connection (the first one needs no OPEN line)
//   CLOSE        the client closes the connection here (optional)
// Any other client action fails the test: a line not in the script, a read where the script
// expects the client to send, a TLS start or reconnect the script does not have. The script
// must be used up: VerifyFinished() (also run by the destructor) checks it.

#include "net/line_channel.h"
#include "net/transport.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <memory>
#include <stdexcept>

namespace brevio::test {

// Raised into the client when it leaves the script; derives from nothing the clients catch.
class TScriptViolation : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class TScriptedServer {
public:
    explicit TScriptedServer(const char* script);
    ~TScriptedServer();

    // Transports for a client; each Open continues the same script.
    TTransportFactory Factory();
    // Fails the test when steps are left or the client left the script.
    void VerifyFinished();

    // What the transports saw, for tests that look at TLS options or hosts.
    QString OpenedHost;
    int OpenedPort = 0;
    TTlsOptions LastTlsOptions;
    int TlsStarts = 0;

    // Transport side (used by the scripted transport).
    struct TStep {
        enum class TKind { Client, Server, Close, Tls, Open, ClientClose };
        TKind Kind;
        QByteArray Bytes;
        int LineNumber;
    };
    void Open(const QString& host, int port, bool first);
    qsizetype Receive(char* buffer, qsizetype capacity);
    void Send(const char* data, qsizetype size);
    void StartTls(const TTlsOptions& options);
    void Close();
    bool IsOpen() const { return open_; }

private:
    [[noreturn]] void Fail(const QString& what);
    const TStep* Next() const { return next_ < steps_.size() ? &steps_[next_] : nullptr; }
    QString Describe(const TStep* step) const;

    QList<TStep> steps_;
    qsizetype next_ = 0;
    qsizetype serverOffset_ = 0;  // bytes of the current S step already delivered
    QByteArray pendingClient_;
    bool open_ = false;
    bool peerClosed_ = false;
    bool opened_ = false;
    bool failed_ = false;
    bool verified_ = false;
};

}  // namespace brevio::test
