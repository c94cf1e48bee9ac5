#include "fake_pop3_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace brevio::test {

TFakePop3Server::TFakePop3Server(QList<TFakeMessage> messages, bool silent)
    : messages_(std::move(messages)), silent_(silent)
{
    listenFd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(listenFd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    ::listen(listenFd_, 8);
    socklen_t len = sizeof addr;
    ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&addr), &len);
    port_ = ntohs(addr.sin_port);
    if (::pipe(wakeFds_) != 0)
        wakeFds_[0] = wakeFds_[1] = -1;
    thread_ = std::thread([this] { Serve(); });
}

TFakePop3Server::~TFakePop3Server()
{
    if (wakeFds_[1] >= 0)
        (void)::write(wakeFds_[1], "x", 1);
    thread_.join();
    ::close(listenFd_);
    ::close(wakeFds_[0]);
    ::close(wakeFds_[1]);
}

QList<int> TFakePop3Server::Deleted() const
{
    QMutexLocker lock(&mutex_);
    return deleted_;
}

void TFakePop3Server::Serve()
{
    for (;;) {
        pollfd fds[2] = {{listenFd_, POLLIN, 0}, {wakeFds_[0], POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0 || fds[1].revents)
            return;
        const int fd = ::accept(listenFd_, nullptr, nullptr);
        if (fd < 0)
            continue;
        ++connections_;
        if (silent_) {
            // Hold the connection open without a word until the client or the test ends.
            pollfd wait[2] = {{fd, POLLIN, 0}, {wakeFds_[0], POLLIN, 0}};
            char sink[256];
            while (::poll(wait, 2, -1) > 0 && !wait[1].revents && ::read(fd, sink, sizeof sink) > 0) {
            }
            ::close(fd);
            if (wait[1].revents)
                return;
            continue;
        }
        Talk(fd);
        ::close(fd);
    }
}

void TFakePop3Server::Talk(int fd)
{
    auto send = [fd](const QByteArray& text) { (void)::send(fd, text.constData(), text.size(), MSG_NOSIGNAL); };
    send("+OK ready\r\n");
    QByteArray buffer;
    QList<int> marks;
    char chunk[512];
    for (;;) {
        const int eol = buffer.indexOf("\r\n");
        if (eol < 0) {
            const ssize_t n = ::read(fd, chunk, sizeof chunk);
            if (n <= 0)
                return;
            buffer.append(chunk, int(n));
            continue;
        }
        const QByteArray line = buffer.left(eol);
        buffer.remove(0, eol + 2);
        const QList<QByteArray> words = line.split(' ');
        const QByteArray cmd = words.value(0).toUpper();
        const int n = words.value(1).toInt();
        const bool valid = n >= 1 && n <= messages_.size();
        if (cmd == "PASS" && refuseLogin_) {
            send("-ERR invalid password\r\n");
        } else if (cmd == "USER" || cmd == "PASS" || cmd == "NOOP" || cmd == "RSET") {
            send("+OK\r\n");
        } else if (cmd == "STAT") {
            int total = 0;
            for (const auto& m : messages_)
                total += m.Size;
            send("+OK " + QByteArray::number(messages_.size()) + ' ' + QByteArray::number(total) + "\r\n");
        } else if (cmd == "LIST" && valid) {
            send("+OK " + QByteArray::number(n) + ' ' + QByteArray::number(messages_[n - 1].Size) + "\r\n");
        } else if (cmd == "LIST") {
            QByteArray out = "+OK\r\n";
            for (int i = 0; i < messages_.size(); ++i)
                out += QByteArray::number(i + 1) + ' ' + QByteArray::number(messages_[i].Size) + "\r\n";
            send(out + ".\r\n");
        } else if (cmd == "UIDL" && valid) {
            send("+OK " + QByteArray::number(n) + " uid-" + QByteArray::number(n) + "\r\n");
        } else if (cmd == "UIDL") {
            QByteArray out = "+OK\r\n";
            for (int i = 0; i < messages_.size(); ++i)
                out += QByteArray::number(i + 1) + " uid-" + QByteArray::number(i + 1) + "\r\n";
            send(out + ".\r\n");
        } else if (cmd == "TOP" && valid) {
            send("+OK\r\nFrom: Sender <sender@example.org>\r\nSubject: " + messages_[n - 1].Subject +
                 "\r\nDate: Mon, 1 Jan 2024 10:00:00 +0000\r\n\r\n.\r\n");
        } else if (cmd == "DELE" && refuseDelete_) {
            send("-ERR cannot delete\r\n");
        } else if (cmd == "DELE" && valid) {
            marks.append(n);
            send("+OK\r\n");
        } else if (cmd == "QUIT") {
            {
                QMutexLocker lock(&mutex_);
                deleted_ += marks;
            }
            send("+OK bye\r\n");
            return;
        } else {
            send("-ERR unknown\r\n");
        }
    }
}

}  // namespace brevio::test
