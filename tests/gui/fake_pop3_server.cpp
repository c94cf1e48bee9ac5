#include "fake_pop3_server.h"

namespace brevio::test {

TFakePop3Server::TFakePop3Server(QList<TFakeMessage> messages, bool silent)
    : messages_(std::move(messages)), silent_(silent)
{
    server_.ServeEach([this](TServerConnection& connection) {
        ++connections_;
        if (silent_)
            connection.WaitForClose();  // not a word until the client gives up
        else
            Talk(connection);
    });
}

QList<int> TFakePop3Server::Deleted() const
{
    QMutexLocker lock(&mutex_);
    return deleted_;
}

void TFakePop3Server::Talk(TServerConnection& connection)
{
    const auto send = [&connection](const QByteArray& text) { connection.Write(text); };
    send("+OK ready\r\n");
    QList<int> marks;
    for (;;) {
        const QByteArray line = connection.ReadLine();
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
