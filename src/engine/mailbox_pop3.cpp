// Checking and deleting one POP3 mailbox.

#include "support/check_context.h"
#include "engine/mailbox.h"
#include "engine/mailbox_client_setup.h"
#include "net/errors.h"
#include "pop3/pop3_client.h"
#include "support/text_format.h"

#include <QHash>

#include <algorithm>

namespace brevio {

void TMailBox::CheckPOP3(TCheckContext& context, const TTransportFactory& factory)
{
    TPop3Client client(factory);
    ConfigureClient(*this, context, client);
    try {
        ConnectWithProgress(context, *this, client);
        context.SetStatus(Text(context, texts::ConnectedReceivingMessages));
        const qint32 count = client.CountMessages();
        context.Yield();
        context.SetStatus(FormatText(Text(context, texts::NewMessageInMailbox), {count}));

        // Unique ids let a later delete find each message again even when the numbers have
        // shifted; a server without UIDL simply gives none.
        QHash<qint32, QByteArray> uniqueIds;
        if (count > 0) {
            for (const TPop3UidEntry& entry : client.Uidl())
                uniqueIds.insert(entry.Number, entry.UniqueId);
        }

        for (qint32 i = 1; i <= count; ++i) {
            auto message = std::make_unique<TMailMessage>();
            client.FetchHeader(i, *message);
            context.Yield();
            context.SetStatus(FormatText(Text(context, texts::RetrievedMessageHeader), {i, count}));
            message->UniqueId = uniqueIds.value(i);
            AddMessage(std::move(message), i);
        }
    } catch (...) {
        // The check ends at the first failure; what was read so far stays listed. Connection
        // and login failures were logged by the client.
    }
    DisconnectQuietly(client);
    context.SetStatus(QString());
}

void TMailBox::DeletePOP3(TCheckContext& context, const TTransportFactory& factory)
{
    if (PopDeleteNumbers.isEmpty())
        return;

    TPop3Client client(factory);
    ConfigureClient(*this, context, client);
    const auto logFailure = [&](const QString& text) { LogForHost(context, Host, text); };
    try {
        ConnectWithProgress(context, *this, client);

        // Message numbers only hold for one session: find each marked message under its
        // current number by its unique id. A mark with an id is never deleted by its old number
        // (a server that now refuses UIDL, or a message that is gone, leaves it alone). Marks
        // without an id (a server without UIDL) keep the number they had at the check.
        QHash<QByteArray, qint32> currentNumbers;
        const bool haveIds = std::any_of(PopDeleteUniqueIds.cbegin(), PopDeleteUniqueIds.cend(),
                                         [](const QByteArray& id) { return !id.isEmpty(); });
        if (haveIds) {
            for (const TPop3UidEntry& entry : client.Uidl())
                currentNumbers.insert(entry.UniqueId, entry.Number);
        }

        const qsizetype count = PopDeleteNumbers.size();
        for (qsizetype k = 0; k < count; ++k) {
            const QByteArray id = PopDeleteUniqueIds.value(k);
            qint32 number = PopDeleteNumbers.at(k);
            context.Yield();
            if (!id.isEmpty()) {
                const auto found = currentNumbers.constFind(id);
                if (found == currentNumbers.constEnd()) {
                    logFailure(QStringLiteral("Message %1 is no longer on the server; not deleted.")
                                   .arg(QString::fromLatin1(id)));
                    continue;
                }
                number = found.value();
            }
            try {
                client.DeleteMessage(number);
            } catch (const EReplyError& e) {
                // The server refused this one; the others still go. Anything else (the user's
                // abort, a lost connection) ends the deletion.
                logFailure(e.Message());
            }
            context.SetStatus(FormatText(Text(context, texts::DeleteMessage), {qint64(k + 1), qint64(count)}));
        }
    } catch (...) {
        // A failed connection deletes nothing; the client logged it.
    }
    try {
        client.Disconnect();
    } catch (const EReplyError& e) {
        // The server refused to remove the deleted messages at QUIT: nothing was deleted.
        logFailure(e.Message().trimmed());
    } catch (...) {
    }
    ClearDeletionMarks();
}

}  // namespace brevio
