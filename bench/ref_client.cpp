// The least a client must do to list a mailbox's headers, as a yardstick for brevio-check:
//   ref_client imap HOST PORT USER PASSWORD   LOGIN, LIST, then per folder SELECT and one
//                                             FETCH 1:* (UID RFC822.SIZE RFC822.HEADER), sent together
//   ref_client pop3 HOST PORT USER PASSWORD   USER, PASS, LIST, then every TOP n 0 at once
// Plain TCP, replies read and thrown away. Prints the number of messages and bytes read.

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

[[noreturn]] void Fail(const std::string& what)
{
    std::fprintf(stderr, "ref_client: %s\n", what.c_str());
    std::exit(1);
}

// One connection: commands are queued and sent whenever the socket takes them, also while
// replies are being read, so a long pipeline never deadlocks on full buffers.
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

    // The next line without its CR LF.
    std::string Line()
    {
        for (;;) {
            const std::size_t end = in_.find("\r\n", pos_);
            if (end != std::string::npos) {
                std::string line = in_.substr(pos_, end - pos_);
                pos_ = end + 2;
                return line;
            }
            Pump();
        }
    }
    void Skip(std::size_t count)
    {
        while (in_.size() - pos_ < count) {
            count -= in_.size() - pos_;
            pos_ = in_.size();
            Pump();
        }
        pos_ += count;
    }
    unsigned long long Received() const { return received_; }

private:
    void Pump()
    {
        if (pos_ > (1u << 20)) {
            in_.erase(0, pos_);
            pos_ = 0;
        }
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
                in_.append(buffer, std::size_t(n));
                received_ += std::size_t(n);
            }
        }
    }

    int fd_ = -1;
    std::string in_, out_;
    std::size_t pos_ = 0;
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

// Reads up to the tagged reply of `tag`, skipping literals; calls `untagged` for each untagged
// line (literals left out). Returns the tagged line.
template <typename F>
std::string UntilTagged(Conn& c, const std::string& tag, F&& untagged)
{
    for (;;) {
        std::string line = c.Line(), whole;
        for (;;) {
            whole += line;
            // A line ending in {n} is followed by n bytes of literal and the rest of the line.
            const std::size_t open = line.rfind('{');
            if (line.empty() || line.back() != '}' || open == std::string::npos)
                break;
            c.Skip(std::strtoull(line.c_str() + open + 1, nullptr, 10));
            line = c.Line();
        }
        if (whole.compare(0, tag.size() + 1, tag + " ") == 0)
            return whole;
        untagged(whole);
    }
}

long Imap(Conn& c, const std::string& user, const std::string& password)
{
    c.Line();  // greeting
    const auto ignore = [](const std::string&) {};
    c.Send("a1 LOGIN " + Quoted(user) + " " + Quoted(password) + "\r\n");
    if (UntilTagged(c, "a1", ignore).compare(0, 5, "a1 OK") != 0)
        Fail("login refused");
    std::vector<std::string> folders;
    c.Send("a2 LIST \"\" \"*\"\r\n");
    UntilTagged(c, "a2", [&](const std::string& line) {
        if (line.compare(0, 7, "* LIST ") != 0 || line.find("\\Noselect") != std::string::npos)
            return;
        // The name is the last item: an atom or a quoted string (no literals in our bench folders).
        std::string name;
        if (line.back() == '"') {
            const std::size_t open = line.rfind('"', line.size() - 2);
            name = line.substr(open + 1, line.size() - open - 2);
        } else {
            name = line.substr(line.rfind(' ') + 1);
        }
        folders.push_back(name);
    });
    long messages = 0;
    int tag = 3;
    for (const std::string& folder : folders) {
        const std::string select = "a" + std::to_string(tag++), fetch = "a" + std::to_string(tag++);
        c.Send(select + " SELECT " + Quoted(folder) + "\r\n" + fetch
               + " FETCH 1:* (UID RFC822.SIZE RFC822.HEADER)\r\n");
        UntilTagged(c, select, ignore);
        UntilTagged(c, fetch, [&](const std::string& line) {
            if (line.find(" FETCH (") != std::string::npos)
                ++messages;
        });
    }
    c.Send("z LOGOUT\r\n");
    UntilTagged(c, "z", ignore);
    return messages;
}

// Reads one POP3 reply; with `multiLine` also its lines up to the lone ".".
void Pop3Reply(Conn& c, bool multiLine, std::vector<std::string>* lines = nullptr)
{
    const std::string status = c.Line();
    if (status.compare(0, 3, "+OK") != 0)
        Fail("POP3 error: " + status);
    if (!multiLine)
        return;
    for (std::string line = c.Line(); line != "."; line = c.Line())
        if (lines)
            lines->push_back(line);
}

long Pop3(Conn& c, const std::string& user, const std::string& password)
{
    Pop3Reply(c, false);
    c.Send("USER " + user + "\r\n");
    Pop3Reply(c, false);
    c.Send("PASS " + password + "\r\n");
    Pop3Reply(c, false);
    std::vector<std::string> list;
    c.Send("LIST\r\n");
    Pop3Reply(c, true, &list);
    std::string tops;
    for (const std::string& entry : list)
        tops += "TOP " + entry.substr(0, entry.find(' ')) + " 0\r\n";
    c.Send(tops);
    for (std::size_t i = 0; i < list.size(); ++i)
        Pop3Reply(c, true);
    c.Send("QUIT\r\n");
    Pop3Reply(c, false);
    return long(list.size());
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 6 || (std::strcmp(argv[1], "imap") != 0 && std::strcmp(argv[1], "pop3") != 0)) {
        std::fprintf(stderr, "usage: ref_client imap|pop3 HOST PORT USER PASSWORD\n");
        return 2;
    }
    Conn c(argv[2], std::atoi(argv[3]));
    const long messages = std::strcmp(argv[1], "imap") == 0 ? Imap(c, argv[4], argv[5]) : Pop3(c, argv[4], argv[5]);
    std::printf("%ld messages, %llu bytes read\n", messages, c.Received());
    return 0;
}
