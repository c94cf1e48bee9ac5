#pragma once
// A line-oriented conversation over a TTransport: an input buffer, line reading with a length
// limit, buffered line sending, and the generic reply reader. The POP3 and IMAP4 clients derive
// from it through TTcpClient and TMessageClient.

#include "protocol/reply.h"
#include "protocol/transport.h"
#include "support/check_context.h"

#include <QByteArray>
#include <memory>

namespace brevio {

class TTcpConnection {
public:
    TTcpConnection();
    virtual ~TTcpConnection();
    TTcpConnection(const TTcpConnection&) = delete;
    TTcpConnection& operator=(const TTcpConnection&) = delete;

    TReply LastReply;

    // Every line sent and received goes here as "C: ..." / "S: ..."; empty: no trace.
    void SetTraceSink(TTraceSink sink) { trace_ = std::move(sink); }

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

    // SendLine(command), then ReadReply(allowed); returns the reply's numeric code.
    int SendCommand(const QByteArray& command, const TReplyCodes& allowed,
                    const QByteArray& traceText = {});
    // Reads one reply into LastReply and checks it. The generic form reads a multi-line reply
    // whose lines carry "-" after a three-character code.
    virtual int ReadReply(const TReplyCodes& allowed);
    // Raises EReplyError when `code` is not among `allowed` (empty or {-1}: any code passes).
    int CheckReply(int code, const TReplyCodes& allowed);

protected:
    void AttachTransport(std::unique_ptr<TTransport> transport);
    TTransport* Transport() const { return transport_.get(); }
    // True when a transport is open and the peer has not been seen closing it. A peer close seen
    // by a read closes the transport here.
    bool TransportConnected();
    // Closes and drops the transport; keeps nothing buffered.
    void CloseTransport();
    // Drops every received byte not yet consumed (before a TLS handshake).
    void DiscardInput();
    void Trace(const char* prefix, const QByteArray& text) const;
    // Closes the connection, which cannot be brought back in step after an over-long line or
    // reply, and raises ELineTooLong.
    [[noreturn]] void FailTooLong();

private:
    void ReceiveMore();
    void Consume(qsizetype count);

    std::unique_ptr<TTransport> transport_;
    QByteArray buffer_;
    qsizetype offset_ = 0;
    bool peerClosed_ = false;
    QByteArray sendBuffer_;
    QList<QByteArray> pendingTrace_;
    TTraceSink trace_;
};

}  // namespace brevio
