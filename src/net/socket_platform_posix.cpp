// POSIX implementation of the socket layer.
#include "net/socket_platform.h"

#include "net/errors.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <memory>
#include <system_error>
#include <thread>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace brevio::net {

TDeadline TDeadline::AfterSeconds(int seconds)
{
    TDeadline d;
    if (seconds > 0) {
        d.limited_ = true;
        d.at_ = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    }
    return d;
}

int TDeadline::RemainingMs() const
{
    if (!limited_)
        return -1;
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(at_ - std::chrono::steady_clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

TWaitResult WaitForHandle(int handle, TWaitFor what, int abortHandle, int timeoutMs)
{
    const auto start = std::chrono::steady_clock::now();
    for (;;) {
        pollfd fds[2] = {};
        fds[0].fd = handle;
        fds[0].events = what == TWaitFor::Read ? POLLIN : POLLOUT;
        fds[1].fd = abortHandle;  // a negative descriptor is ignored by poll
        fds[1].events = POLLIN;
        int wait = timeoutMs;
        if (timeoutMs >= 0) {
            const auto spent =
                std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
            wait = timeoutMs > spent.count() ? static_cast<int>(timeoutMs - spent.count()) : 0;
        }
        const int n = ::poll(fds, 2, wait);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return TWaitResult::Ready;  // let the next socket call report the problem
        }
        if (fds[1].revents & POLLIN)
            return TWaitResult::Aborted;
        if (n == 0)
            return TWaitResult::TimedOut;
        if (fds[0].revents)
            return TWaitResult::Ready;
    }
}

namespace {

// The system's error numbers and the classic socket error numbers they stand for.
struct TClassicError {
    int system;
    int classic;
};

constexpr TClassicError kClassicErrors[] = {
    {EINTR, 10004},
    {EBADF, 10009},
    {EACCES, 10013},
    {EPERM, 10013},
    {EFAULT, 10014},
    {EINVAL, 10022},
    {EMFILE, 10024},
    {ENFILE, 10024},
    {EAGAIN, 10035},
    {EWOULDBLOCK, 10035},  // the same number as EAGAIN on most systems
    {EINPROGRESS, 10036},
    {EALREADY, 10037},
    {ENOTSOCK, 10038},
    {EDESTADDRREQ, 10039},
    {EMSGSIZE, 10040},
    {EPROTOTYPE, 10041},
    {ENOPROTOOPT, 10042},
    {EPROTONOSUPPORT, 10043},
    {ESOCKTNOSUPPORT, 10044},
    {EOPNOTSUPP, 10045},
    {EPFNOSUPPORT, 10046},
    {EAFNOSUPPORT, 10047},
    {EADDRINUSE, 10048},
    {EADDRNOTAVAIL, 10049},
    {ENETDOWN, 10050},
    {ENETUNREACH, 10051},
    {ENETRESET, 10052},
    {ECONNABORTED, 10053},
    // A send after the peer has reset the connection fails with EPIPE here; elsewhere the same
    // event reads as a reset.
    {EPIPE, 10054},
    {ECONNRESET, 10054},
    {ENOBUFS, 10055},
    {ENOMEM, 10055},
    {EISCONN, 10056},
    {ENOTCONN, 10057},
    {ESHUTDOWN, 10058},
    {ETOOMANYREFS, 10059},
    {ETIMEDOUT, 10060},
    {ECONNREFUSED, 10061},
    {ELOOP, 10062},
    {ENAMETOOLONG, 10063},
    {EHOSTDOWN, 10064},
    {EHOSTUNREACH, 10065},
    {ENOTEMPTY, 10066},
};

}  // namespace

int ClassicSocketError(int e)
{
    for (const TClassicError& entry : kClassicErrors)
        if (entry.system == e)
            return entry.classic;
    return 0;
}

void ThrowSystemSocketError(int systemError)
{
    const int classic = ClassicSocketError(systemError);
    if (classic != 0)
        throw ESocketError(classic);
    throw ESocketError(systemError, QString::fromLocal8Bit(std::strerror(systemError)));
}

int LastSystemError()
{
    return errno;
}

bool IsWouldBlock(int e)
{
    return e == EAGAIN || e == EWOULDBLOCK;
}

namespace {

constexpr int kHostNotFound = 11001;

int ClassicResolverError(int rc, int systemError)
{
    switch (rc) {
    case EAI_MEMORY:
        return 10055;
    case EAI_FAMILY:
        return 10047;
    case EAI_SYSTEM: {
        const int classic = ClassicSocketError(systemError);
        return classic != 0 ? classic : kHostNotFound;
    }
    default:  // EAI_NONAME, EAI_AGAIN, EAI_FAIL, EAI_NODATA, ...: the name gave no address
        return kHostNotFound;
    }
}

// State shared by a look-up thread and the caller; whoever finishes last frees it, so a caller
// that gives up (abort, deadline) can leave the thread to finish alone.
struct TLookup {
    std::string host;
    std::string service;
    addrinfo* result = nullptr;
    int rc = 0;
    int systemError = 0;
    std::atomic<bool> finished{false};
    int pipe[2] = {-1, -1};

    ~TLookup()
    {
        if (result)
            ::freeaddrinfo(result);
        for (int fd : pipe) {
            if (fd >= 0)
                ::close(fd);
        }
    }
};

addrinfo LookupHints(int flags)
{
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    hints.ai_flags = flags;
    return hints;
}

std::vector<TSocketAddress> CollectAddresses(const addrinfo* list)
{
    std::vector<TSocketAddress> out;
    for (const addrinfo* a = list; a; a = a->ai_next) {
        if (a->ai_family != AF_INET && a->ai_family != AF_INET6)
            continue;
        TSocketAddress address;
        address.family = a->ai_family;
        const auto* begin = reinterpret_cast<const std::byte*>(a->ai_addr);
        address.bytes.assign(begin, begin + a->ai_addrlen);
        out.push_back(std::move(address));
    }
    return out;
}

}  // namespace

std::vector<TSocketAddress> ResolveHost(const QString& host, int port, int abortHandle, const TDeadline& deadline)
{
    const std::string name = host.toStdString();
    const std::string service = std::to_string(port);

    // Address literals need no resolver and cannot block.
    {
        const addrinfo hints = LookupHints(AI_NUMERICHOST | AI_NUMERICSERV);
        addrinfo* list = nullptr;
        if (::getaddrinfo(name.c_str(), service.c_str(), &hints, &list) == 0) {
            auto out = CollectAddresses(list);
            ::freeaddrinfo(list);
            if (!out.empty())
                return out;
        }
    }

    auto lookup = std::make_shared<TLookup>();
    lookup->host = name;
    lookup->service = service;
    if (::pipe2(lookup->pipe, O_CLOEXEC | O_NONBLOCK) != 0)
        ThrowSystemSocketError(errno);

    std::thread worker;
    try {
        worker = std::thread([lookup] {
            const addrinfo hints = LookupHints(AI_NUMERICSERV);
            lookup->rc = ::getaddrinfo(lookup->host.c_str(), lookup->service.c_str(), &hints, &lookup->result);
            lookup->systemError = errno;
            lookup->finished.store(true, std::memory_order_release);
            const char done = 1;
            (void)!::write(lookup->pipe[1], &done, 1);
        });
    } catch (const std::system_error&) {
        throw ESocketError(10055);  // no thread to spare: out of resources
    }
    worker.detach();

    switch (WaitForHandle(lookup->pipe[0], TWaitFor::Read, abortHandle, deadline.RemainingMs())) {
    case TWaitResult::Aborted:
        throw EUserAbort();
    case TWaitResult::TimedOut:
        throw ESocketError(10060);
    case TWaitResult::Ready:
        break;
    }
    if (!lookup->finished.load(std::memory_order_acquire))
        throw ESocketError(kHostNotFound);  // poll reported an error on the pipe; cannot happen
    if (lookup->rc != 0)
        throw ESocketError(ClassicResolverError(lookup->rc, lookup->systemError));
    auto out = CollectAddresses(lookup->result);
    if (out.empty())
        throw ESocketError(kHostNotFound);
    return out;
}

TSocketHandle OpenStreamSocket(int family)
{
    return ::socket(family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_TCP);
}

int StartConnect(TSocketHandle socket, const TSocketAddress& address)
{
    if (::connect(socket, reinterpret_cast<const sockaddr*>(address.bytes.data()),
                  static_cast<socklen_t>(address.bytes.size()))
        == 0)
        return 0;
    // An interrupted connect carries on in the background, just like a pending one.
    if (errno == EINPROGRESS || errno == EINTR)
        return kConnectPending;
    return errno;
}

int PendingConnectError(TSocketHandle socket)
{
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(socket, SOL_SOCKET, SO_ERROR, &error, &length) != 0)
        return errno;
    return error;
}

long ReceiveSome(TSocketHandle socket, char* buffer, std::size_t size)
{
    for (;;) {
        const ssize_t n = ::recv(socket, buffer, size, 0);
        if (n >= 0 || errno != EINTR)
            return static_cast<long>(n);
    }
}

long SendSome(TSocketHandle socket, const char* data, std::size_t size)
{
    for (;;) {
        const ssize_t n = ::send(socket, data, size, MSG_NOSIGNAL);
        if (n >= 0 || errno != EINTR)
            return static_cast<long>(n);
    }
}

void DiscardPending(TSocketHandle socket)
{
    char scratch[4096];
    for (;;) {
        const ssize_t n = ::recv(socket, scratch, sizeof scratch, MSG_DONTWAIT);
        if (n > 0 || (n < 0 && errno == EINTR))
            continue;
        return;
    }
}

void CloseSocket(TSocketHandle socket)
{
    if (socket == kInvalidSocket)
        return;
    ::shutdown(socket, SHUT_WR);
    ::close(socket);
}

}  // namespace brevio::net
