#pragma once
// The thin layer between the transport and the operating system's sockets. Everything that
// differs between platforms (socket calls, error numbers, waiting, name look-up) sits behind
// these few functions, so another socket API can be slotted in without touching the transport.

#include <QString>

#include <chrono>
#include <cstddef>
#include <vector>

namespace brevio::net {

using TSocketHandle = int;
constexpr TSocketHandle kInvalidSocket = -1;

// A point in time an operation must finish by; "never" when built from a non-positive time-out.
class TDeadline {
public:
    static TDeadline AfterSeconds(int seconds);
    // Milliseconds left: -1 without a limit, 0 once passed.
    int RemainingMs() const;

private:
    bool limited_ = false;
    std::chrono::steady_clock::time_point at_{};
};

enum class TWaitFor { Read, Write };
enum class TWaitResult { Ready, TimedOut, Aborted };

// Waits until `handle` is ready for `what` (an error or hang-up counts as ready, so the next
// call reports it), the abort handle (-1: none) becomes readable, or `timeoutMs` passes
// (-1: no limit).
TWaitResult WaitForHandle(int handle, TWaitFor what, int abortHandle, int timeoutMs);

// The classic socket error number for a system error number (ECONNREFUSED -> 10061, ...);
// 0 when the system error has no classic counterpart.
int ClassicSocketError(int systemError);

// Raises ESocketError for a system error number: the classic code and text when there is one,
// else the system's own number and text.
[[noreturn]] void ThrowSystemSocketError(int systemError);

int LastSystemError();
bool IsWouldBlock(int systemError);

struct TSocketAddress {
    int family = 0;
    std::vector<std::byte> bytes;  // the sockaddr, port filled in
};

// Resolves a host name or address literal (IPv4 and IPv6) into every address to try, in the
// resolver's preferred order. The look-up runs beside the caller so that an abort or the
// deadline ends the wait. Raises ESocketError (11001 when the name is unknown, 10060 when the
// deadline passes) or EUserAbort.
std::vector<TSocketAddress> ResolveHost(const QString& host, int port, int abortHandle, const TDeadline& deadline);

// A non-blocking stream socket for the family; kInvalidSocket on failure (error in errno).
TSocketHandle OpenStreamSocket(int family);

// Starts a connect: 0 when connected at once, kConnectPending while it goes on (wait until the
// socket is writable, then ask PendingConnectError), else the system error.
constexpr int kConnectPending = -1;
int StartConnect(TSocketHandle socket, const TSocketAddress& address);
// The outcome of a pending connect once the socket is writable: 0 or the system error.
int PendingConnectError(TSocketHandle socket);

// One recv / send (never raising SIGPIPE); -1 with the error in LastSystemError().
long ReceiveSome(TSocketHandle socket, char* buffer, std::size_t size);
long SendSome(TSocketHandle socket, const char* data, std::size_t size);

// Drops every byte that has already arrived, without waiting.
void DiscardPending(TSocketHandle socket);

// Shuts the sending side down and releases the handle.
void CloseSocket(TSocketHandle socket);

}  // namespace brevio::net
