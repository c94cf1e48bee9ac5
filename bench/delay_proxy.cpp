// Forwards TCP connections on loopback to local ports, holding every chunk of bytes back for a
// fixed delay in each direction (10 ms each way makes a 20 ms round trip). Bytes keep their
// order, end of stream is passed on after the bytes before it, and nothing limits bandwidth.
//
//   delay_proxy DELAY_MS STATS_FILE TARGET_PORT...
//
// For every target port it listens on a free loopback port and prints "TARGET LISTEN" on one
// line of standard output. When a connection ends it appends "UP DOWN" (bytes client to server,
// server to client) to STATS_FILE ("-": none). Runs until killed.

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// A chunk waiting to be written; an empty one that is not data stands for end of stream.
struct Chunk {
    Clock::time_point due;
    std::string data;
    std::size_t offset = 0;
    bool eof = false;
};

// Side 0 is the client, side 1 the server. queue[d] holds what is to be written to side d.
struct Pair {
    int fd[2] = {-1, -1};
    std::deque<Chunk> queue[2];
    std::size_t queued[2] = {0, 0};
    std::uint64_t moved[2] = {0, 0};  // bytes read from side s
    bool readDone[2] = {false, false};
    bool writeDone[2] = {false, false};
    bool writeBlocked[2] = {false, false};
    std::uint32_t mask[2] = {0, 0};
};

constexpr std::size_t kQueueLimit = 32u << 20;  // stop reading a side while this much waits

int epollFd = -1;
Clock::duration delay;
FILE* stats = nullptr;
std::map<std::uint64_t, std::unique_ptr<Pair>> pairs;
std::map<int, int> listeners;  // listening fd -> target port
std::uint64_t nextId = 1;

[[noreturn]] void Die(const char* what)
{
    std::fprintf(stderr, "delay_proxy: %s: %s\n", what, std::strerror(errno));
    std::exit(1);
}

void Tune(int fd)
{
    const int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
}

std::uint64_t Key(std::uint64_t id, int side)
{
    return id << 1 | std::uint64_t(side);
}

void UpdateMask(std::uint64_t id, Pair& p, int side)
{
    std::uint32_t want = 0;
    if (!p.readDone[side] && p.queued[1 - side] < kQueueLimit)
        want |= EPOLLIN;
    if (p.writeBlocked[side])
        want |= EPOLLOUT;
    if (want == p.mask[side])
        return;
    epoll_event ev{};
    ev.events = want;
    ev.data.u64 = Key(id, side);
    epoll_ctl(epollFd, EPOLL_CTL_MOD, p.fd[side], &ev);
    p.mask[side] = want;
}

void Close(std::uint64_t id)
{
    auto it = pairs.find(id);
    if (it == pairs.end())
        return;
    Pair& p = *it->second;
    for (int fd : p.fd)
        close(fd);
    if (stats) {
        std::fprintf(stats, "%llu %llu\n", (unsigned long long)p.moved[0], (unsigned long long)p.moved[1]);
        std::fflush(stats);
    }
    pairs.erase(it);
}

void Accept(int listener, int target)
{
    for (;;) {
        const int client = accept(listener, nullptr, nullptr);
        if (client < 0)
            return;
        const int server = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_port = htons(std::uint16_t(target));
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (server < 0 || connect(server, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
            close(client);
            if (server >= 0)
                close(server);
            continue;
        }
        auto p = std::make_unique<Pair>();
        p->fd[0] = client;
        p->fd[1] = server;
        const std::uint64_t id = nextId++;
        for (int side = 0; side < 2; ++side) {
            Tune(p->fd[side]);
            epoll_event ev{};
            ev.events = EPOLLIN;
            ev.data.u64 = Key(id, side);
            epoll_ctl(epollFd, EPOLL_CTL_ADD, p->fd[side], &ev);
            p->mask[side] = EPOLLIN;
        }
        pairs.emplace(id, std::move(p));
    }
}

// Reads what side `side` has and queues it for the other side. False when the pair broke.
bool ReadSide(Pair& p, int side)
{
    char buffer[65536];
    const int to = 1 - side;
    while (!p.readDone[side] && p.queued[to] < kQueueLimit) {
        const ssize_t n = read(p.fd[side], buffer, sizeof buffer);
        if (n < 0)
            return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
        Chunk chunk;
        chunk.due = Clock::now() + delay;
        if (n == 0) {
            p.readDone[side] = true;
            chunk.eof = true;
        } else {
            chunk.data.assign(buffer, std::size_t(n));
            p.queued[to] += std::size_t(n);
            p.moved[side] += std::uint64_t(n);
        }
        p.queue[to].push_back(std::move(chunk));
    }
    return true;
}

// Writes the due chunks to side `side`. False when the pair broke.
bool WriteSide(Pair& p, int side, Clock::time_point now)
{
    auto& q = p.queue[side];
    p.writeBlocked[side] = false;
    while (!q.empty() && q.front().due <= now) {
        Chunk& c = q.front();
        if (c.eof) {
            shutdown(p.fd[side], SHUT_WR);
            p.writeDone[side] = true;
            q.pop_front();
            continue;
        }
        const ssize_t n = write(p.fd[side], c.data.data() + c.offset, c.data.size() - c.offset);
        if (n < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK) {
                p.writeBlocked[side] = true;
                return true;
            }
            return errno == EINTR;
        }
        c.offset += std::size_t(n);
        p.queued[side] -= std::size_t(n);
        if (c.offset == c.data.size())
            q.pop_front();
    }
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: delay_proxy DELAY_MS STATS_FILE TARGET_PORT...\n");
        return 2;
    }
    std::signal(SIGPIPE, SIG_IGN);
    delay = std::chrono::microseconds(std::llround(std::atof(argv[1]) * 1000.0));
    if (std::strcmp(argv[2], "-") != 0 && !(stats = std::fopen(argv[2], "a")))
        Die("stats file");
    epollFd = epoll_create1(0);
    if (epollFd < 0)
        Die("epoll");
    for (int i = 3; i < argc; ++i) {
        const int fd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof addr;
        if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || listen(fd, 128) != 0
            || getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0)
            Die("listen");
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
        epoll_event ev{};
        ev.events = EPOLLIN;
        ev.data.u64 = ~std::uint64_t(fd);  // listeners are told apart from pairs by the high bit
        epoll_ctl(epollFd, EPOLL_CTL_ADD, fd, &ev);
        listeners[fd] = std::atoi(argv[i]);
        std::printf("%s %d\n", argv[i], ntohs(addr.sin_port));
    }
    std::fflush(stdout);

    std::vector<epoll_event> events(256);
    for (;;) {
        // Sleep until the earliest chunk that can be written falls due.
        Clock::time_point next = Clock::time_point::max();
        for (auto& [id, p] : pairs)
            for (int side = 0; side < 2; ++side)
                if (!p->queue[side].empty() && !p->writeBlocked[side])
                    next = std::min(next, p->queue[side].front().due);
        timespec wait{};
        timespec* waitPtr = nullptr;
        if (next != Clock::time_point::max()) {
            const auto left = std::max(Clock::duration::zero(), next - Clock::now());
            const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
            wait.tv_sec = ns / 1000000000;
            wait.tv_nsec = ns % 1000000000;
            waitPtr = &wait;
        }
        const int n = epoll_pwait2(epollFd, events.data(), int(events.size()), waitPtr, nullptr);
        if (n < 0 && errno != EINTR)
            Die("epoll_pwait2");
        std::vector<std::uint64_t> broken;
        for (int i = 0; i < n; ++i) {
            const std::uint64_t data = events[i].data.u64;
            if (data >> 63) {
                const int fd = int(~data);
                Accept(fd, listeners[fd]);
                continue;
            }
            const auto it = pairs.find(data >> 1);
            if (it == pairs.end())
                continue;
            Pair& p = *it->second;
            const int side = int(data & 1);
            bool ok = true;
            if (events[i].events & (EPOLLIN | EPOLLHUP | EPOLLERR))
                ok = ReadSide(p, side);
            if (ok && (events[i].events & EPOLLOUT))
                ok = WriteSide(p, side, Clock::now());
            if (!ok)
                broken.push_back(data >> 1);
        }
        const Clock::time_point now = Clock::now();
        for (auto& [id, p] : pairs) {
            bool ok = true;
            for (int side = 0; side < 2 && ok; ++side)
                if (!p->writeBlocked[side])
                    ok = WriteSide(*p, side, now);
            if (!ok || (p->writeDone[0] && p->writeDone[1])) {
                broken.push_back(id);
                continue;
            }
            for (int side = 0; side < 2; ++side)
                UpdateMask(id, *p, side);
        }
        for (std::uint64_t id : broken)
            Close(id);
    }
}
