#include "net/line_channel.h"

#include "net/errors.h"
#include "net/protocol_limits.h"

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

TLineChannel::TLineChannel(TTransportFactory factory) : factory_(std::move(factory)) {}

TLineChannel::~TLineChannel()
{
    Close();
}

void TLineChannel::Open(const TServerEndpoint& server)
{
    if (IsOpen())
        throw EAlreadyConnected();
    std::unique_ptr<TTransport> transport = factory_ ? factory_() : nullptr;
    if (!transport)
        throw ESocketAllocError();
    transport_ = std::move(transport);
    buffer_.clear();
    offset_ = 0;
    peerClosed_ = false;
    sendBuffer_.clear();
    pendingTrace_.clear();
    try {
        transport_->Open(server.Host, server.Port);
        if (server.Security == TSecurity::Tls)
            transport_->StartTls(TlsOptionsFor(server));
    } catch (...) {
        Close();
        throw;
    }
}

TTlsOptions TLineChannel::TlsOptionsFor(const TServerEndpoint& server) const
{
    TTlsOptions options{server.Host, server.CertFingerprint, {}, {}};
    // The handshake shows in the trace between the lines of the conversation.
    if (trace_)
        options.Trace = [this](const QByteArray& line) { Trace("T: ", line); };
    return options;
}

void TLineChannel::StartTls(const TServerEndpoint& server)
{
    DiscardInput();
    if (!transport_)
        throw ENotConnected();
    transport_->StartTls(TlsOptionsFor(server));
}

bool TLineChannel::InputWaiting() const
{
    return offset_ < buffer_.size() || (transport_ && transport_->InputWaiting());
}

bool TLineChannel::IsOpen()
{
    if (!transport_)
        return false;
    if (peerClosed_ && transport_->IsOpen())
        transport_->Close();
    return transport_->IsOpen();
}

void TLineChannel::Close()
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

void TLineChannel::SetReceiveTimeout(int seconds)
{
    if (transport_)
        transport_->SetReceiveTimeout(seconds);
}

void TLineChannel::DiscardInput()
{
    buffer_.clear();
    offset_ = 0;
}

void TLineChannel::FailTooLong()
{
    Close();
    DiscardInput();
    throw ELineTooLong();
}

void TLineChannel::Trace(const char* prefix, const QByteArray& text) const
{
    if (trace_)
        trace_(QByteArray(prefix) + text);
}

void TLineChannel::Consume(qsizetype count)
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

void TLineChannel::ReceiveMore()
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

QByteArray TLineChannel::ReadLine()
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

QByteArray TLineChannel::ReadNonEmptyLine()
{
    for (;;) {
        QByteArray line = TrimBlanksAndControls(ReadLine());
        if (!line.isEmpty())
            return line;
    }
}

QByteArray TLineChannel::ReadBytes(qsizetype count)
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

void TLineChannel::QueueLine(const QByteArray& line, const QByteArray& traceText)
{
    sendBuffer_ += line;
    sendBuffer_ += "\r\n";
    pendingTrace_.append(traceText.isNull() ? line : traceText);
}

void TLineChannel::Flush()
{
    if (!transport_)
        throw ENotConnected();
    if (!IsOpen()) {
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

void TLineChannel::SendLine(const QByteArray& line, const QByteArray& traceText)
{
    QueueLine(line, traceText);
    Flush();
}

}  // namespace brevio
