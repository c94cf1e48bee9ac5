#include "protocol/tcp_connection.h"

#include "protocol/errors.h"
#include "protocol/protocol_limits.h"

namespace brevio {

namespace {

// Consumed bytes are kept in front of the buffer until this many pile up, so reading many short
// lines does not move memory on every line.
constexpr qsizetype kCompactAfter = 32768;

bool IsBlankOrControl(char c)
{
    return static_cast<unsigned char>(c) <= ' ';
}

QByteArray TrimBlanksAndControls(const QByteArray& line)
{
    qsizetype begin = 0;
    qsizetype end = line.size();
    while (begin < end && IsBlankOrControl(line[begin]))
        ++begin;
    while (end > begin && IsBlankOrControl(line[end - 1]))
        --end;
    return line.mid(begin, end - begin);
}

}  // namespace

TTcpConnection::TTcpConnection() = default;

TTcpConnection::~TTcpConnection()
{
    CloseTransport();
}

void TTcpConnection::AttachTransport(std::unique_ptr<TTransport> transport)
{
    transport_ = std::move(transport);
    buffer_.clear();
    offset_ = 0;
    peerClosed_ = false;
    sendBuffer_.clear();
    pendingTrace_.clear();
}

bool TTcpConnection::TransportConnected()
{
    if (!transport_)
        return false;
    if (peerClosed_ && transport_->IsOpen())
        transport_->Close();
    return transport_->IsOpen();
}

void TTcpConnection::CloseTransport()
{
    if (transport_) {
        try {
            transport_->Close();
        } catch (...) {
            // Closing never fails the caller; the transport is dropped either way.
        }
    }
    transport_.reset();
    sendBuffer_.clear();
    pendingTrace_.clear();
}

void TTcpConnection::DiscardInput()
{
    buffer_.clear();
    offset_ = 0;
}

void TTcpConnection::FailTooLong()
{
    CloseTransport();
    DiscardInput();
    throw ELineTooLong();
}

void TTcpConnection::Trace(const char* prefix, const QByteArray& text) const
{
    if (trace_)
        trace_(QByteArray(prefix) + text);
}

void TTcpConnection::Consume(qsizetype count)
{
    offset_ += count;
    if (offset_ >= buffer_.size()) {
        buffer_.clear();
        offset_ = 0;
    } else if (offset_ >= kCompactAfter) {
        buffer_.remove(0, offset_);
        offset_ = 0;
    }
}

void TTcpConnection::ReceiveMore()
{
    if (peerClosed_) {
        if (transport_ && transport_->IsOpen())
            transport_->Close();
        throw EConnectionClosed();
    }
    if (!transport_ || !transport_->IsOpen())
        throw ENotConnected();
    char chunk[kRecvBufferSize];
    const qsizetype received = transport_->Receive(chunk, sizeof chunk);
    if (received <= 0) {
        peerClosed_ = true;
        return;
    }
    buffer_.append(chunk, received);
}

QByteArray TTcpConnection::ReadLine()
{
    qsizetype searchFrom = offset_;
    for (;;) {
        const qsizetype lf = buffer_.indexOf('\n', searchFrom);
        if (lf >= 0) {
            if (lf - offset_ > kMaxLineLength)
                FailTooLong();
            QByteArray line = buffer_.mid(offset_, lf - offset_);
            Consume(lf + 1 - offset_);
            if (line.endsWith('\r'))
                line.chop(1);
            Trace("S: ", line);
            return line;
        }
        if (buffer_.size() - offset_ > kMaxLineLength)
            FailTooLong();
        searchFrom = buffer_.size();
        if (peerClosed_)
            throw EConnectionClosed();
        ReceiveMore();
    }
}

QByteArray TTcpConnection::ReadNonEmptyLine()
{
    for (;;) {
        const QByteArray line = TrimBlanksAndControls(ReadLine());
        if (!line.isEmpty())
            return line;
    }
}

QByteArray TTcpConnection::ReadBytes(qsizetype count)
{
    if (count < 0 || count > kMaxReplyBytes)
        FailTooLong();
    while (buffer_.size() - offset_ < count) {
        if (peerClosed_)
            throw EConnectionClosed();
        ReceiveMore();
    }
    QByteArray bytes = buffer_.mid(offset_, count);
    Consume(count);
    if (trace_) {
        for (const QByteArray& line : bytes.split('\n'))
            Trace("S: ", line.endsWith('\r') ? line.chopped(1) : line);
    }
    return bytes;
}

void TTcpConnection::QueueLine(const QByteArray& line, const QByteArray& traceText)
{
    sendBuffer_ += line;
    sendBuffer_ += "\r\n";
    pendingTrace_.append(traceText.isNull() ? line : traceText);
}

void TTcpConnection::Flush()
{
    if (!transport_)
        throw ENotConnected();
    if (!TransportConnected()) {
        sendBuffer_.clear();
        pendingTrace_.clear();
        throw EConnectionClosed();
    }
    const QByteArray bytes = std::exchange(sendBuffer_, {});
    const QList<QByteArray> traced = std::exchange(pendingTrace_, {});
    for (const QByteArray& line : traced)
        Trace("C: ", line);
    if (!bytes.isEmpty())
        transport_->Send(bytes.constData(), bytes.size());
}

void TTcpConnection::SendLine(const QByteArray& line, const QByteArray& traceText)
{
    QueueLine(line, traceText);
    Flush();
}

int TTcpConnection::SendCommand(const QByteArray& command, const TReplyCodes& allowed,
                                const QByteArray& traceText)
{
    SendLine(command, traceText);
    return ReadReply(allowed);
}

int TTcpConnection::ReadReply(const TReplyCodes& allowed)
{
    QList<QByteArray> lines{ReadNonEmptyLine()};
    const QByteArray& first = lines.first();
    qsizetype total = first.size();
    if (first.size() > 3 && first[3] == '-') {
        const QByteArray last = first.left(3).toLower() + ' ';
        for (;;) {
            QByteArray line = ReadNonEmptyLine();
            total += line.size() + 2;
            if (total > kMaxReplyBytes)
                FailTooLong();
            const bool done = line.size() < 4 || line.left(4).toLower() == last;
            lines.append(std::move(line));
            if (done)
                break;
        }
    }
    LastReply.Clear();
    QByteArray code = lines.first().left(4).trimmed();
    if (code.size() == 4 && code.endsWith('-'))
        code.chop(1);
    LastReply.SetTextCode(code);
    for (const QByteArray& line : lines)
        LastReply.Text.append(line.mid(4));
    return CheckReply(LastReply.NumericCode(), allowed);
}

int TTcpConnection::CheckReply(int code, const TReplyCodes& allowed)
{
    const bool any = allowed.isEmpty() || (allowed.size() == 1 && allowed.first() == -1);
    if (!any && !allowed.contains(code))
        throw EReplyError(QString::fromUtf8(LastReply.JoinedText()), code);
    return code;
}

}  // namespace brevio
