#include "support/scripted_transport.h"

#include "net/errors.h"

#include <gtest/gtest.h>

#include <cstring>

namespace brevio::test {

namespace {

QByteArray Unescape(const QByteArray& text)
{
    QByteArray bytes;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c != '\\' || i + 1 >= text.size()) {
            bytes += c;
            continue;
        }
        const char e = text[++i];
        if (e == 'r')
            bytes += '\r';
        else if (e == 'n')
            bytes += '\n';
        else if (e == '0')
            bytes += '\0';
        else if (e == 'x' && i + 2 < text.size()) {
            bytes += static_cast<char>(text.mid(i + 1, 2).toInt(nullptr, 16));
            i += 2;
        } else
            bytes += e;
    }
    return bytes;
}

QString Printable(const QByteArray& bytes)
{
    QString text;
    for (char c : bytes.left(300)) {
        if (c == '\r')
            text += QStringLiteral("\\r");
        else if (c == '\n')
            text += QStringLiteral("\\n");
        else if (static_cast<unsigned char>(c) < 0x20)
            text += QStringLiteral("\\x%1").arg(static_cast<unsigned char>(c), 2, 16, QChar('0'));
        else
            text += QChar::fromLatin1(c);
    }
    if (bytes.size() > 300)
        text += QStringLiteral("...");
    return text;
}

class TScriptedTransport : public TTransport {
public:
    TScriptedTransport(TScriptedServer& server, bool first) : server_(server), first_(first) {}

    void Open(const QString& host, int port) override
    {
        server_.Open(host, port, first_);
        open_ = true;
    }
    bool IsOpen() const override { return open_; }
    qsizetype Receive(char* buffer, qsizetype capacity) override
    {
        if (!open_)
            throw ESocketClosed();
        return server_.Receive(buffer, capacity);
    }
    void Send(const char* data, qsizetype size) override
    {
        if (!open_)
            throw ESocketClosed();
        server_.Send(data, size);
    }
    void StartTls(const TTlsOptions& options) override { server_.StartTls(options); }
    void Close() override
    {
        if (open_)
            server_.Close();
        open_ = false;
    }

private:
    TScriptedServer& server_;
    bool first_;
    bool open_ = false;
};

}  // namespace

TScriptedServer::TScriptedServer(const char* script)
{
    int lineNumber = 0;
    for (const QByteArray& raw : QByteArray(script).split('\n')) {
        ++lineNumber;
        QByteArray line = raw;
        while (!line.isEmpty() && (line[0] == ' ' || line[0] == '\t'))
            line.remove(0, 1);
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.trimmed().isEmpty())
            continue;
        using K = TStep::TKind;
        auto content = [&line](qsizetype prefix) {
            QByteArray rest = line.mid(prefix);
            if (rest.startsWith(' '))
                rest.remove(0, 1);
            return rest;
        };
        if (line.startsWith("C+:"))
            steps_.append({K::Client, Unescape(content(3)), lineNumber});
        else if (line.startsWith("S+:"))
            steps_.append({K::Server, Unescape(content(3)), lineNumber});
        else if (line.startsWith("C:"))
            steps_.append({K::Client, content(2) + "\r\n", lineNumber});
        else if (line.startsWith("S:"))
            steps_.append({K::Server, content(2) + "\r\n", lineNumber});
        else if (line.trimmed() == "X")
            steps_.append({K::Close, {}, lineNumber});
        else if (line.trimmed() == "TLS")
            steps_.append({K::Tls, {}, lineNumber});
        else if (line.trimmed() == "OPEN")
            steps_.append({K::Open, {}, lineNumber});
        else if (line.trimmed() == "CLOSE")
            steps_.append({K::ClientClose, {}, lineNumber});
        else
            ADD_FAILURE() << "script line " << lineNumber << " not understood: " << line.constData();
    }
}

TScriptedServer::~TScriptedServer()
{
    if (!verified_)
        VerifyFinished();
}

TTransportFactory TScriptedServer::Factory()
{
    return [this]() -> std::unique_ptr<TTransport> {
        const bool first = !opened_;
        return std::make_unique<TScriptedTransport>(*this, first);
    };
}

QString TScriptedServer::Describe(const TStep* step) const
{
    if (!step)
        return QStringLiteral("the end of the script");
    using K = TStep::TKind;
    const QString where = QStringLiteral("line %1: ").arg(step->LineNumber);
    switch (step->Kind) {
    case K::Client:
        return where + QStringLiteral("client sends \"%1\"").arg(Printable(step->Bytes));
    case K::Server:
        return where + QStringLiteral("server sends \"%1\"").arg(Printable(step->Bytes));
    case K::Close:
        return where + QStringLiteral("server closes");
    case K::Tls:
        return where + QStringLiteral("TLS starts");
    case K::Open:
        return where + QStringLiteral("client connects");
    case K::ClientClose:
        return where + QStringLiteral("client closes");
    }
    return where;
}

void TScriptedServer::Fail(const QString& what)
{
    failed_ = true;
    const QString message = what + QStringLiteral("; the script expects ") + Describe(Next());
    ADD_FAILURE() << message.toStdString();
    throw TScriptViolation(message.toStdString());
}

void TScriptedServer::Open(const QString& host, int port, bool first)
{
    using K = TStep::TKind;
    if (open_)
        Fail(QStringLiteral("client connects while connected"));
    if (Next() && Next()->Kind == K::Open)
        ++next_;
    else if (!first || opened_)
        Fail(QStringLiteral("client connects again"));
    opened_ = true;
    open_ = true;
    peerClosed_ = false;
    serverOffset_ = 0;
    pendingClient_.clear();
    OpenedHost = host;
    OpenedPort = port;
}

qsizetype TScriptedServer::Receive(char* buffer, qsizetype capacity)
{
    using K = TStep::TKind;
    if (peerClosed_)
        return 0;
    if (!pendingClient_.isEmpty())
        Fail(QStringLiteral("client waits for data in the middle of its line \"%1\"").arg(Printable(pendingClient_)));
    const TStep* step = Next();
    if (step && step->Kind == K::Close) {
        ++next_;
        peerClosed_ = true;
        return 0;
    }
    if (!step || step->Kind != K::Server)
        Fail(QStringLiteral("client waits for data"));
    qsizetype delivered = 0;
    while (delivered < capacity && Next() && Next()->Kind == K::Server) {
        const QByteArray& bytes = Next()->Bytes;
        const qsizetype count = std::min(capacity - delivered, bytes.size() - serverOffset_);
        std::memcpy(buffer + delivered, bytes.constData() + serverOffset_, static_cast<size_t>(count));
        delivered += count;
        serverOffset_ += count;
        if (serverOffset_ == bytes.size()) {
            ++next_;
            serverOffset_ = 0;
        }
    }
    return delivered;
}

void TScriptedServer::Send(const char* data, qsizetype size)
{
    using K = TStep::TKind;
    if (!peerClosed_ && pendingClient_.isEmpty() && Next() && Next()->Kind == K::Close) {
        ++next_;
        peerClosed_ = true;
    }
    if (peerClosed_)
        throw ESocketError(10054);
    pendingClient_.append(data, size);
    while (!pendingClient_.isEmpty()) {
        const TStep* step = Next();
        if (!step || step->Kind != K::Client)
            Fail(QStringLiteral("client sends \"%1\"").arg(Printable(pendingClient_)));
        const qsizetype compared = std::min(pendingClient_.size(), step->Bytes.size());
        if (pendingClient_.left(compared) != step->Bytes.left(compared))
            Fail(QStringLiteral("client sends \"%1\"").arg(Printable(pendingClient_)));
        if (pendingClient_.size() < step->Bytes.size())
            return;
        pendingClient_.remove(0, step->Bytes.size());
        ++next_;
    }
}

void TScriptedServer::StartTls(const TTlsOptions& options)
{
    using K = TStep::TKind;
    // Server bytes the client has not received yet are dropped by the handshake.
    while (Next() && Next()->Kind == K::Server) {
        ++next_;
        serverOffset_ = 0;
    }
    if (!Next() || Next()->Kind != K::Tls)
        Fail(QStringLiteral("client starts TLS"));
    ++next_;
    ++TlsStarts;
    LastTlsOptions = options;
}

void TScriptedServer::Close()
{
    if (open_ && Next() && Next()->Kind == TStep::TKind::ClientClose)
        ++next_;
    open_ = false;
}

void TScriptedServer::VerifyFinished()
{
    verified_ = true;
    if (failed_)
        return;
    if (!pendingClient_.isEmpty())
        ADD_FAILURE() << "client left an unfinished line: " << Printable(pendingClient_).toStdString();
    if (Next())
        ADD_FAILURE() << "script not finished; next: " << Describe(Next()).toStdString();
}

}  // namespace brevio::test
