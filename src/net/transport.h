#pragma once
// The byte stream under a mail protocol conversation. The real one is a TCP socket with optional
// TLS; wire tests give a scripted one. Every call blocks the calling (worker) thread.

#include "support/trace.h"

#include <QByteArray>
#include <QString>

namespace brevio {

class TAbortSignal;

// How to secure a connection.
enum class TSecurity {
    None = 0,      // plain TCP
    Tls = 1,       // TLS from the first byte (POP3S, IMAPS)
    StartTls = 2,  // plain, then STLS / STARTTLS before the login
};

struct TTlsOptions {
    QString HostName;                // for SNI and the host name check of the certificate
    QString CertFingerprint;         // SHA-256 of a certificate the user trusts, hex; empty: none
    QByteArray ExtraCaCertificates;  // PEM certificates trusted beside the system's; empty: none
    // Receives one line marking the handshake (version, cipher, certificate); empty: no trace.
    TTraceSink Trace;
};

class TTransport {
public:
    virtual ~TTransport() = default;

    // Opens the connection. Raises ESocketError (10060 on time-out, 11001 for an unknown host,
    // 10061 when refused), or EUserAbort when aborted.
    virtual void Open(const QString& host, int port) = 0;
    virtual bool IsOpen() const = 0;

    // Waits until at least one byte is there and returns up to `capacity` bytes; returns 0 when
    // the peer closed the connection. Raises EReadTimeout, ESocketError or EUserAbort.
    virtual qsizetype Receive(char* buffer, qsizetype capacity) = 0;

    // Sends every byte. Raises EReadTimeout, ESocketError or EUserAbort.
    virtual void Send(const char* data, qsizetype size) = 0;

    // Starts TLS on the open connection (client side). Bytes the peer sent before the handshake
    // and not yet received are discarded. Raises ETlsError.
    virtual void StartTls(const TTlsOptions& options) = 0;

    // Closes the connection; safe to call when closed.
    virtual void Close() = 0;

    // How long Receive waits from now on, in seconds; 0 returns to the transport's own time-out.
    // A transport without time-outs ignores it.
    virtual void SetReceiveTimeout(int /*seconds*/) {}

    // Whether bytes from the peer are waiting, without waiting for any. Only a hint for work
    // done while a reply is awaited: a transport that cannot tell says no.
    virtual bool InputWaiting() const { return false; }
};

}  // namespace brevio
