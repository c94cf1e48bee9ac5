#include "protocol/message_client.h"

#include "protocol/errors.h"

namespace brevio {

QList<QByteArray> SplitHeaderLines(const QByteArray& block)
{
    QList<QByteArray> lines;
    qsizetype start = 0;
    while (start < block.size()) {
        qsizetype lf = block.indexOf('\n', start);
        if (lf < 0)
            lf = block.size();
        qsizetype end = lf;
        if (end > start && block[end - 1] == '\r')
            --end;
        if (end > start)
            lines.append(block.mid(start, end - start));
        start = lf + 1;
    }
    return lines;
}

TMessageClient::TMessageClient(TCheckContext& context, TTransportFactory factory)
    : TTcpClient(std::move(factory)), context_(context)
{
    SetTraceSink(context.TraceSink());
}

void TMessageClient::LogError(const QString& text)
{
    context_.Log(QStringLiteral("(%1) %2").arg(Host, text));
}

bool TMessageClient::RunLoginLoop(const std::function<void()>& connectAndGreet,
                                  const std::function<void()>& login,
                                  const std::function<void()>& dropConnection)
{
    for (;;) {
        try {
            connectAndGreet();
        } catch (const EMailClientError& e) {
            // Nothing more goes over a connection that failed before the login, least of all
            // over one that could not be secured.
            CloseTransport();
            LogError(e.Message());
            throw;
        }
        try {
            login();
            return true;
        } catch (const EMailClientError& e) {
            LogError(e.Message());
        }
        if (context_.IsScheduledCheck())
            return false;
        QString user = Username;
        QString password = Password;
        if (!context_.AskLoginAndPassword(Host, user, password))
            throw EAbort();
        Username = user;
        Password = password;
        try {
            dropConnection();
        } catch (const EMailClientError&) {
            // The old connection may already be gone; the next round opens a new one.
        }
        CloseTransport();
    }
}

}  // namespace brevio
