#include "net/socket_transport.h"

#include "net/errors.h"
#include "net/tls_session.h"
#include "support/abort_signal.h"

namespace brevio {

namespace {

constexpr int kTimedOut = 10060;
constexpr int kAddressNotAvailable = 10049;

// The host as the resolver and the certificate check want it: blanks trimmed, brackets around an
// IPv6 literal removed, and "localhost" in any letter case taken as the IPv4 loopback address.
QString EffectiveHost(const QString& host)
{
    QString h = host.trimmed();
    if (h.size() > 2 && h.startsWith(u'[') && h.endsWith(u']'))
        h = h.mid(1, h.size() - 2);
    if (h.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0)
        return QStringLiteral("127.0.0.1");
    return h;
}

}  // namespace

TSocketTransport::TSocketTransport(TAbortSignal* abort, int timeoutSeconds)
    : abort_(abort), timeoutSeconds_(timeoutSeconds)
{
}

TSocketTransport::~TSocketTransport()
{
    Close();
}

int TSocketTransport::AbortHandle() const
{
    return abort_ ? abort_->WaitHandle() : -1;
}

void TSocketTransport::Wait(net::TWaitFor what, const net::TDeadline& deadline, bool connecting) const
{
    switch (net::WaitForHandle(socket_, what, AbortHandle(), deadline.RemainingMs())) {
    case net::TWaitResult::Ready:
        return;
    case net::TWaitResult::Aborted:
        throw EUserAbort();
    case net::TWaitResult::TimedOut:
        if (connecting)
            throw ESocketError(kTimedOut);
        throw EReadTimeout();
    }
}

void TSocketTransport::Open(const QString& host, int port)
{
    if (IsOpen())
        throw EAlreadyConnected();
    if (abort_)
        abort_->ThrowIfTriggered();
    if (port <= 0 || port > 65535)
        throw ESocketError(kAddressNotAvailable);

    const QString target = EffectiveHost(host);
    if (target.isEmpty())
        throw ESocketError(11001);
    const auto deadline = net::TDeadline::AfterSeconds(timeoutSeconds_);
    const auto addresses = net::ResolveHost(target, port, AbortHandle(), deadline);

    // Every address gets its own full time-out; when all fail, the last socket error is reported.
    int lastError = 0;
    for (const auto& address : addresses) {
        try {
            ConnectTo(address);
            host_ = host.trimmed();
            if (host_.size() > 2 && host_.startsWith(u'[') && host_.endsWith(u']'))
                host_ = host_.mid(1, host_.size() - 2);
            return;
        } catch (const ESocketError& e) {
            lastError = e.LastError();
        } catch (const ESocketAllocError&) {
            // This address family is not available here; another address may still work.
        }
    }
    if (lastError == 0)
        throw ESocketAllocError();
    throw ESocketError(lastError);
}

void TSocketTransport::ConnectTo(const net::TSocketAddress& address)
{
    socket_ = net::OpenStreamSocket(address.family);
    if (socket_ == net::kInvalidSocket)
        throw ESocketAllocError();
    try {
        int error = net::StartConnect(socket_, address);
        if (error == net::kConnectPending) {
            Wait(net::TWaitFor::Write, net::TDeadline::AfterSeconds(timeoutSeconds_), true);
            error = net::PendingConnectError(socket_);
        }
        if (error != 0)
            net::ThrowSystemSocketError(error);
    } catch (...) {
        net::CloseSocket(socket_);
        socket_ = net::kInvalidSocket;
        throw;
    }
}

bool TSocketTransport::IsOpen() const
{
    return socket_ != net::kInvalidSocket;
}

void TSocketTransport::RequireOpen() const
{
    if (!IsOpen())
        throw ENotConnected();
}

qsizetype TSocketTransport::Receive(char* buffer, qsizetype capacity)
{
    RequireOpen();
    if (abort_)
        abort_->ThrowIfTriggered();
    if (capacity <= 0)
        return 0;
    const auto deadline =
        net::TDeadline::AfterSeconds(receiveTimeoutSeconds_ > 0 ? receiveTimeoutSeconds_ : timeoutSeconds_);
    if (tls_)
        return tls_->Read(buffer, capacity, [&](net::TWaitFor what) { Wait(what, deadline); });
    for (;;) {
        const long n = net::ReceiveSome(socket_, buffer, static_cast<std::size_t>(capacity));
        if (n >= 0)
            return n;
        const int error = net::LastSystemError();
        if (!net::IsWouldBlock(error))
            net::ThrowSystemSocketError(error);
        Wait(net::TWaitFor::Read, deadline);
    }
}

bool TSocketTransport::InputWaiting() const
{
    return IsOpen() && net::WaitForHandle(socket_, net::TWaitFor::Read, -1, 0) == net::TWaitResult::Ready;
}

void TSocketTransport::Send(const char* data, qsizetype size)
{
    RequireOpen();
    if (abort_)
        abort_->ThrowIfTriggered();
    // The time-out limits each wait for progress, not the whole transfer.
    auto deadline = net::TDeadline::AfterSeconds(timeoutSeconds_);
    while (size > 0) {
        qsizetype sent = 0;
        if (tls_) {
            sent = tls_->WriteSome(data, size, [&](net::TWaitFor what) { Wait(what, deadline); });
        } else {
            const long n = net::SendSome(socket_, data, static_cast<std::size_t>(size));
            if (n < 0) {
                const int error = net::LastSystemError();
                if (!net::IsWouldBlock(error))
                    net::ThrowSystemSocketError(error);
                Wait(net::TWaitFor::Write, deadline);
                continue;
            }
            sent = n;
        }
        data += sent;
        size -= sent;
        deadline = net::TDeadline::AfterSeconds(timeoutSeconds_);
    }
}

void TSocketTransport::StartTls(const TTlsOptions& options)
{
    RequireOpen();
    if (tls_)
        throw ETlsError(TFailure{TFailureKind::TlsAlreadyActive, {host_}});
    if (abort_)
        abort_->ThrowIfTriggered();

    // Whatever came before the handshake is not part of the secure conversation: a well-behaved
    // server sends nothing after its go-ahead until our hello, so anything already here was
    // injected on the way and must not be read as if it came through TLS.
    net::DiscardPending(socket_);

    const QString name = options.HostName.trimmed().isEmpty() ? host_ : options.HostName.trimmed();
    const auto deadline = net::TDeadline::AfterSeconds(timeoutSeconds_);
    std::unique_ptr<TTlsSession> session;
    try {
        session = std::make_unique<TTlsSession>(socket_, options, name);
        session->Handshake([&](net::TWaitFor what) { Wait(what, deadline); });
    } catch (...) {
        // A half-done handshake leaves nothing usable behind.
        if (session)
            fingerprint_ = session->PeerFingerprint();
        session.reset();
        Close();
        throw;
    }
    fingerprint_ = session->PeerFingerprint();
    tls_ = std::move(session);
}

void TSocketTransport::Close()
{
    if (tls_) {
        tls_->Shutdown();
        tls_.reset();
    }
    if (socket_ != net::kInvalidSocket) {
        net::CloseSocket(socket_);
        socket_ = net::kInvalidSocket;
    }
}

}  // namespace brevio
