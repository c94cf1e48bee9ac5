// Checking and deleting one POP3 mailbox.

#include "engine/mailbox_client_setup.h"
#include "net/errors.h"
#include "pop3/pop3_client.h"
#include "support/check_context.h"
#include "support/text_format.h"

#include <QHash>

#include <algorithm>

namespace brevio {

QList<TFoundMessage> CheckPop3(const TMailBoxSettings& box, TCheckContext& context,
                               const TTransportFactory& factory, QString* trustedFingerprint)
{
    // The check ends at the first failure; what was read so far stays listed. Connection and
    // login failures were logged by the session.
    QList<TFoundMessage> found;
    RunSession<TPop3Client>(box, context, factory, trustedFingerprint, [&](TPop3Client& client) {
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
            TFoundMessage message;
            client.FetchHeader(i, message.Message);
            context.Yield();
            context.SetStatus(FormatText(Text(context, texts::RetrievedMessageHeader), {i, count}));
            message.Message.UniqueId = uniqueIds.value(i);
            message.Id.UniqueId = message.Message.UniqueId;
            message.Id.Number = i;
            found.append(std::move(message));
        }
    });
    context.SetStatus(QString());
    return found;
}

void DeletePop3(const TMailBoxSettings& box, const QList<TMessageIdentity>& messages, TCheckContext& context,
                const TTransportFactory& factory, QString* trustedFingerprint)
{
    const auto logFailure = [&](const QString& text) { LogForHost(context, box.Host, text); };
    // A failed connection deletes nothing; the session logged it.
    const auto body = [&](TPop3Client& client) {
        // Message numbers only hold for one session: find each message under its current
        // number by its unique id. A message with an id is never deleted by its old number (a
        // server that now refuses UIDL, or a message that is gone, leaves it alone). Messages
        // without an id (a server without UIDL) keep the number they had at the listing.
        QHash<QByteArray, qint32> currentNumbers;
        const bool haveIds = std::any_of(messages.cbegin(), messages.cend(),
                                         [](const TMessageIdentity& id) { return !id.UniqueId.isEmpty(); });
        if (haveIds) {
            for (const TPop3UidEntry& entry : client.Uidl())
                currentNumbers.insert(entry.UniqueId, entry.Number);
        }

        const qsizetype count = messages.size();
        for (qsizetype k = 0; k < count; ++k) {
            const QByteArray& id = messages.at(k).UniqueId;
            qint32 number = messages.at(k).Number;
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
    };
    // The deletions take effect at QUIT, so its refusal must be told.
    const auto finish = [&](TPop3Client& client) {
        try {
            client.Disconnect();
        } catch (const EReplyError& e) {
            // The server refused to remove the deleted messages at QUIT: nothing was deleted.
            logFailure(e.Message().trimmed());
        } catch (...) {
        }
    };
    RunSession<TPop3Client>(box, context, factory, trustedFingerprint, body, finish);
}

}  // namespace brevio
