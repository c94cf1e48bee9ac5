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

void TFakePop3Server::Deliver(const TFakeMessage& message)
{
    QMutexLocker lock(&mutex_);
    messages_.append(message);
}

void TFakePop3Server::Talk(TServerConnection& connection)
{
    // What this connection lists is fixed when it starts, as a POP3 session's list is.
    const QList<TFakeMessage> messages = [this] {
        QMutexLocker lock(&mutex_);
        return messages_;
    }();
    const auto send = [&connection](const QByteArray& text) { connection.Write(text); };
    send("+OK ready\r\n");
    QList<int> marks;
    for (;;) {
        const QByteArray line = connection.ReadLine();
        const QList<QByteArray> words = line.split(' ');
        const QByteArray cmd = words.value(0).toUpper();
        const int n = words.value(1).toInt();
        const bool valid = n >= 1 && n <= messages.size();
        if (cmd == "PASS" && refuseLogin_) {
            send("-ERR invalid password\r\n");
        } else if (cmd == "USER" || cmd == "PASS" || cmd == "NOOP" || cmd == "RSET") {
            send("+OK\r\n");
        } else if (cmd == "STAT") {
            int total = 0;
            for (const auto& m : messages)
                total += m.Size;
            send("+OK " + QByteArray::number(messages.size()) + ' ' + QByteArray::number(total) + "\r\n");
        } else if (cmd == "LIST" && valid) {
            send("+OK " + QByteArray::number(n) + ' ' + QByteArray::number(messages[n - 1].Size) + "\r\n");
        } else if (cmd == "LIST") {
            QByteArray out = "+OK\r\n";
            for (int i = 0; i < messages.size(); ++i)
                out += QByteArray::number(i + 1) + ' ' + QByteArray::number(messages[i].Size) + "\r\n";
            send(out + ".\r\n");
        } else if (cmd == "UIDL" && valid) {
            send("+OK " + QByteArray::number(n) + " uid-" + QByteArray::number(n) + "\r\n");
        } else if (cmd == "UIDL") {
            QByteArray out = "+OK\r\n";
            for (int i = 0; i < messages.size(); ++i)
                out += QByteArray::number(i + 1) + " uid-" + QByteArray::number(i + 1) + "\r\n";
            send(out + ".\r\n");
        } else if (cmd == "TOP" && valid) {
            send("+OK\r\nFrom: Sender <sender@example.org>\r\nSubject: " + messages[n - 1].Subject
                 + "\r\nDate: Mon, 1 Jan 2024 10:00:00 +0000\r\n\r\n.\r\n");
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
