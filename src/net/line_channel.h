#pragma once
// A line-oriented conversation over a TTransport: an input buffer, line reading with a length
// limit, buffered line sending, the protocol trace, and opening, securing and closing the
// transport. The POP3 and IMAP4 clients each own one.

#include "net/transport.h"
#include "support/trace.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <functional>
#include <memory>

namespace brevio {

// Makes a new, unopened transport for each connection attempt: a socket in production code, a
// script in tests.
using TTransportFactory = std::function<std::unique_ptr<TTransport>()>;

// Where a connection goes and how it is secured.
struct TServerEndpoint {
    QString Host;
    int Port = 0;
    TSecurity Security = TSecurity::None;
    QString CertFingerprint;  // SHA-256 hex of a certificate the user trusts; empty: none
};

class TLineChannel {
public:
    explicit TLineChannel(TTransportFactory factory);
    ~TLineChannel();
    TLineChannel(const TLineChannel&) = delete;
    TLineChannel& operator=(const TLineChannel&) = delete;

    // Every line sent and received goes here as "C: ..." / "S: ...", and the TLS handshake as one
    // "T: ..." line (version, cipher, certificate); empty: no trace.
    void SetTraceSink(TTraceSink sink) { trace_ = std::move(sink); }

    // Opens a new transport to the server; with TSecurity::Tls the TLS handshake follows at once.
    // Raises EAlreadyConnected when open, and whatever the transport raises (closed again then).
    void Open(const TServerEndpoint& server);
    // True when a transport is open and the peer has not been seen closing it. A peer close seen
    // by a read closes the transport here.
    bool IsOpen();
    // Closes and drops the transport; keeps nothing buffered to send. Never raises.
    void Close();
    // Drops anything received so far and runs the TLS handshake on the open connection. Bytes
    // a server sends after its go-ahead and before the handshake must never be taken as
    // protected data.
    void StartTls(const TServerEndpoint& server);

    // One line without its LF (and a CR directly before the LF). Raises ELineTooLong when more
    // than kMaxLineLength bytes come before the LF, EConnectionClosed when the peer closed
    // before a whole line came.
    QByteArray ReadLine();
    // ReadLine until a line is not empty after trimming; returns it trimmed.
    QByteArray ReadNonEmptyLine();
    // Exactly `count` bytes (an IMAP literal); count must be in 0..kMaxReplyBytes.
    QByteArray ReadBytes(qsizetype count);

    // Adds a line (CR LF is appended) to the send buffer; nothing goes out before Flush().
    // `traceText` replaces the line in the trace when given (to mask credentials).
    void QueueLine(const QByteArray& line, const QByteArray& traceText = {});
    // Sends everything queued.
    void Flush();
    // QueueLine + Flush.
    void SendLine(const QByteArray& line, const QByteArray& traceText = {});

    // How long a read waits for the server from now on (TTransport::SetReceiveTimeout).
    void SetReceiveTimeout(int seconds);
    // Whether something received waits to be read, here or in the transport (a hint only: see
    // TTransport::InputWaiting).
    bool InputWaiting() const;

    // Drops every received byte not yet consumed.
    void DiscardInput();
    // Closes the connection, which cannot be brought back in step after an over-long line or
    // reply, and raises ELineTooLong.
    [[noreturn]] void FailTooLong();

private:
    void Trace(const char* prefix, const QByteArray& text) const;
    TTlsOptions TlsOptionsFor(const TServerEndpoint& server) const;
    void ReceiveMore();
    void Consume(qsizetype count);

    TTransportFactory factory_;
    std::unique_ptr<TTransport> transport_;
    QByteArray buffer_;
    qsizetype offset_ = 0;
    bool peerClosed_ = false;
    QByteArray sendBuffer_;
    QList<QByteArray> pendingTrace_;
    TTraceSink trace_;
};

}  // namespace brevio
