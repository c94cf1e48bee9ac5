// The physical limit of a listing: the commands brevio-check sends, with the replies read as raw
// bytes and only counted, never parsed. Only the ends of replies are looked for, so the time is
// what the server needs to send every header.
//   raw_reader imap HOST PORT USER PASSWORD   LOGIN, LIST, SELECT "INBOX", then
//                                             FETCH n:m (UID RFC822.SIZE RFC822.HEADER) in chunks
//                                             of 1,000, four of them ahead of their replies
//   raw_reader pop3 HOST PORT USER PASSWORD   CAPA, USER, PASS, LIST and UIDL together, then every
//                                             TOP n 0, 1,000 of them ahead of their replies
// Plain TCP. Prints the number of messages and the bytes read.

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>

namespace {

[[noreturn]] void Fail(const std::string& what)
{
    std::fprintf(stderr, "raw_reader: %s\n", what.c_str());
    std::exit(1);
}

// One connection. Commands are sent whenever the socket takes them, also while replies are read.
class Conn {
public:
    Conn(const char* host, int port)
    {
        fd_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_port = htons(std::uint16_t(port));
        if (fd_ < 0 || inet_pton(AF_INET, host, &addr.sin_addr) != 1
            || connect(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0)
            Fail(std::string("connect: ") + std::strerror(errno));
        const int one = 1;
        setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        fcntl(fd_, F_SETFL, fcntl(fd_, F_GETFL) | O_NONBLOCK);
    }
    ~Conn() { close(fd_); }

    void Send(const std::string& text) { out_ += text; }

    // Reads until `pattern` has come `count` times; `onSeen` is called after each time. The
    // bytes read are dropped, except that `keep` gets them when given (for the short replies
    // whose numbers are needed).
    void Until(const std::string& pattern, long count, const std::function<void()>& onSeen = {},
               std::string* keep = nullptr)
    {
        while (count > 0) {
            const std::size_t at = held_.find(pattern, pos_);
            if (at != std::string::npos) {
                if (keep)
                    keep->append(held_, pos_, at + pattern.size() - pos_);
                pos_ = at + pattern.size();
                --count;
                if (onSeen)
                    onSeen();
                continue;
            }
            // Only the tail that could start a match stays.
            const std::size_t tail = std::min(held_.size() - pos_, pattern.size() - 1);
            if (keep)
                keep->append(held_, pos_, held_.size() - tail - pos_);
            held_.erase(0, held_.size() - tail);
            pos_ = 0;
            Pump();
        }
    }

    unsigned long long Received() const { return received_; }

private:
    void Pump()
    {
        pollfd p{fd_, short(POLLIN | (out_.empty() ? 0 : POLLOUT)), 0};
        if (poll(&p, 1, 60000) <= 0)
            Fail("server silent for 60 s");
        if (p.revents & POLLOUT) {
            const ssize_t n = send(fd_, out_.data(), out_.size(), MSG_NOSIGNAL);
            if (n < 0 && errno != EAGAIN)
                Fail(std::string("send: ") + std::strerror(errno));
            if (n > 0)
                out_.erase(0, std::size_t(n));
        }
        if (p.revents & (POLLIN | POLLHUP | POLLERR)) {
            char buffer[65536];
            const ssize_t n = recv(fd_, buffer, sizeof buffer, 0);
            if (n == 0)
                Fail("connection closed by the server");
            if (n < 0 && errno != EAGAIN)
                Fail(std::string("recv: ") + std::strerror(errno));
            if (n > 0) {
                held_.append(buffer, std::size_t(n));
                received_ += std::size_t(n);
            }
        }
    }

    int fd_ = -1;
    std::string out_, held_;
    std::size_t pos_ = 0;  // held_ before it is read
    unsigned long long received_ = 0;
};

std::string Quoted(const std::string& s)
{
    std::string q = "\"";
    for (char c : s) {
        if (c == '"' || c == '\\')
            q += '\\';
        q += c;
    }
    return q + '"';
}

// The start of the tagged reply of command number `n` ("\na7 "). The greeting is read up to its
// CR only, so the LF before the first tag is still there.
std::string TagEnd(int n)
{
    return "\na" + std::to_string(n) + " ";
}

long Imap(Conn& c, const std::string& user, const std::string& password)
{
    c.Until("\r", 1);  // greeting
    c.Send("a1 LOGIN " + Quoted(user) + " " + Quoted(password) + "\r\na2 LIST \"\" *\r\na3 SELECT \"INBOX\"\r\n");
    c.Until(TagEnd(1), 1);
    c.Until(TagEnd(2), 1);
    std::string examined;
    c.Until(TagEnd(3), 1, {}, &examined);
    const std::size_t exists = examined.find(" EXISTS");
    const std::size_t star = examined.rfind("* ", exists);
    const long count = exists == std::string::npos || star == std::string::npos
        ? 0
        : std::strtol(examined.c_str() + star + 2, nullptr, 10);
    constexpr long kChunk = 1000;
    constexpr int kInFlight = 4;
    const int chunks = int((count + kChunk - 1) / kChunk);
    int sent = 0;
    const auto sendChunk = [&] {
        const long first = long(sent) * kChunk + 1;
        c.Send("a" + std::to_string(4 + sent) + " FETCH " + std::to_string(first) + ":"
               + std::to_string(std::min(count, first + kChunk - 1)) + " (UID RFC822.SIZE RFC822.HEADER)\r\n");
        ++sent;
    };
    while (sent < std::min(chunks, kInFlight))
        sendChunk();
    for (int done = 0; done < chunks; ++done) {
        c.Until(TagEnd(4 + done), 1);
        if (sent < chunks)
            sendChunk();
    }
    const int logout = 4 + chunks;
    c.Send("a" + std::to_string(logout) + " LOGOUT\r\n");
    c.Until(TagEnd(logout), 1);
    return count;
}

long Pop3(Conn& c, const std::string& user, const std::string& password)
{
    c.Until("\r\n", 1);  // greeting
    c.Send("CAPA\r\n");
    c.Until("\n.\r\n", 1);
    c.Send("USER " + user + "\r\nPASS " + password + "\r\n");
    c.Until("\r\n", 2);
    // LIST's lines are only counted: each message has one.
    std::string list;
    c.Send("LIST\r\nUIDL\r\n");
    c.Until("\n.\r\n", 1, {}, &list);
    const long count = long(std::count(list.begin(), list.end(), '\n')) - 2;
    c.Until("\n.\r\n", 1);
    constexpr long kInFlight = 1000;
    long sent = 0;
    const auto sendMore = [&](long answered) {
        std::string tops;
        for (; sent < count && sent - answered < kInFlight; ++sent)
            tops += "TOP " + std::to_string(sent + 1) + " 0\r\n";
        c.Send(tops);
    };
    sendMore(0);
    long answered = 0;
    c.Until("\n.\r\n", count, [&] {
        // New commands go out when a quarter of those in flight have been answered.
        if (++answered % (kInFlight / 4) == 0)
            sendMore(answered);
    });
    c.Send("QUIT\r\n");
    c.Until("\r\n", 1);
    return count;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 6 || (std::strcmp(argv[1], "imap") != 0 && std::strcmp(argv[1], "pop3") != 0)) {
        std::fprintf(stderr, "usage: raw_reader imap|pop3 HOST PORT USER PASSWORD\n");
        return 2;
    }
    Conn c(argv[2], std::atoi(argv[3]));
    const long messages = std::strcmp(argv[1], "imap") == 0 ? Imap(c, argv[4], argv[5]) : Pop3(c, argv[4], argv[5]);
    std::printf("%ld messages, %llu bytes read\n", messages, c.Received());
    return 0;
}
