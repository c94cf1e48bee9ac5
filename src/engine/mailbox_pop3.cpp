// Checking and deleting one POP3 mailbox.

#include "engine/header_cache.h"
#include "engine/mailbox_client_setup.h"
#include "net/errors.h"
#include "pop3/pop3_client.h"
#include "support/check_context.h"
#include "support/text_format.h"

#include <QHash>

#include <algorithm>
#include <optional>

namespace brevio {

namespace {

// The progress text goes out once per this many headers, not for every one.
constexpr qint32 kStatusEvery = 200;

// The listing in few round trips: LIST for every size, UIDL for every id, then the TOPs, sent
// ahead of their replies when the server announces PIPELINING. With the header cache, only the
// messages whose unique id it does not know are asked for. Gives the same messages in the same
// order as asking message by message.
void ListPop3Pipelined(const TMailBoxSettings& box, TPop3Client& client, TCheckContext& context,
                       QList<TFoundMessage>& found)
{
    const bool pipelined = client.Capabilities().Has("PIPELINING");
    QList<TPop3ListEntry> listed;
    QList<TPop3UidEntry> ids;
    client.ListWithUidl(pipelined, listed, ids);
    const qint32 count = qint32(listed.size());
    context.Yield();
    context.SetStatus(FormatText(Text(context, texts::NewMessageInMailbox), {count}));
    if (count == 0) {
        if (THeaderCache* cache = context.HeaderCache())
            cache->Store(THeaderCache::AccountKey(box), {}, 0, {}, true);
        return;
    }
    found.reserve(found.size() + count);
    QHash<qint32, QByteArray> uniqueIds;
    QHash<QByteArray, int> idUses;
    for (const TPop3UidEntry& entry : std::as_const(ids)) {
        uniqueIds.insert(entry.Number, entry.UniqueId);
        ++idUses[entry.UniqueId];
    }

    // Without unique ids there is nothing to know a message by: no cache then. An id the server
    // gives twice names neither message for sure.
    THeaderCache* cache = uniqueIds.isEmpty() ? nullptr : context.HeaderCache();
    const QString account = cache ? THeaderCache::AccountKey(box) : QString();
    const QHash<QByteArray, TCachedHeader> known = cache ? cache->Folder(account, {}, 0) : QHash<QByteArray, TCachedHeader>();
    const auto cacheable = [&](qint32 number) {
        const QByteArray id = uniqueIds.value(number);
        return cache && !id.isEmpty() && idUses.value(id) == 1;
    };

    QList<qint32> wanted;
    for (const TPop3ListEntry& entry : listed) {
        if (!cacheable(entry.Number) || !known.contains(uniqueIds.value(entry.Number)))
            wanted.append(entry.Number);
    }
    QHash<QByteArray, TCachedHeader> seen;
    seen.reserve(cache ? count : 0);
    // The messages go to `found` in listing order as their headers arrive: the TOPs are answered
    // in that order, and the known messages between two fetched ones are taken from the cache on
    // the way, so no fetched header waits in a second list. After a failure only those before
    // the first one missing are listed: what was read so far stays, as message by message.
    qsizetype next = 0;
    const auto append = [&](TListedHeader header, const TPop3ListEntry& entry, const QByteArray& id) {
        TFoundMessage message;
        message.Message = std::move(header);
        message.Message.Size = entry.Size;
        message.Message.UniqueId = id;
        message.Id.UniqueId = id;
        message.Id.Number = entry.Number;
        found.append(std::move(message));
        ++next;
    };
    // Lists the known messages from `next` on, up to the next one that must be fetched.
    const auto takeKnown = [&] {
        while (next < listed.size()) {
            const TPop3ListEntry& entry = listed.at(next);
            const QByteArray id = uniqueIds.value(entry.Number);
            const auto k = known.constFind(id);
            if (!cacheable(entry.Number) || k == known.constEnd())
                return;
            TListedHeader header;
            k.value().ApplyTo(header);
            seen.insert(id, k.value());
            append(std::move(header), entry, id);
        }
    };
    const auto finish = [&](bool complete) {
        takeKnown();
        if (cache)
            cache->Store(account, {}, 0, std::move(seen), complete);
    };
    qint32 done = 0;
    const qint32 toFetch = qint32(wanted.size());
    try {
        client.FetchHeaders(wanted, pipelined, [&](qint32 number, TListedHeader& header) {
            takeKnown();
            // The replies come in the order of `wanted`, which is the listing's order, so the
            // message at `next` is the one this header belongs to.
            if (next >= listed.size() || listed.at(next).Number != number)
                return;
            TListedHeader listedHeader = std::move(header);
            const QByteArray id = uniqueIds.value(number);
            if (cacheable(number))
                seen.insert(id, TCachedHeader::Of(listedHeader));
            append(std::move(listedHeader), listed.at(next), id);
            ++done;
            if (done % kStatusEvery == 0 || done == toFetch)
                context.SetStatus(FormatText(Text(context, texts::RetrievedMessageHeader), {done, toFetch}));
            context.Yield();
        });
    } catch (...) {
        finish(false);
        throw;
    }
    finish(true);
}

}  // namespace

QList<TFoundMessage> CheckPop3(const TMailBoxSettings& box, TCheckContext& context,
                               const TTransportFactory& factory, QString* trustedFingerprint, bool& complete)
{
    // The check ends at the first failure; what was read so far stays listed. Connection and
    // login failures were logged by the session.
    QList<TFoundMessage> found;
    complete = RunSession<TPop3Client>(box, context, factory, trustedFingerprint, [&](TPop3Client& client) {
        context.SetStatus(Text(context, texts::ConnectedReceivingMessages));
        if (context.Pipelining()) {
            ListPop3Pipelined(box, client, context, found);
            return;
        }
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
            TMailMessage header;
            client.FetchHeader(i, header);
            context.Yield();
            context.SetStatus(FormatText(Text(context, texts::RetrievedMessageHeader), {i, count}));
            TFoundMessage message;
            message.Message = TListedHeader(std::move(header));
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

        // The number `message` has now; none, and a log entry, when its id is gone.
        const auto currentNumber = [&](const TMessageIdentity& message) -> std::optional<qint32> {
            if (message.UniqueId.isEmpty())
                return message.Number;
            const auto found = currentNumbers.constFind(message.UniqueId);
            if (found != currentNumbers.constEnd())
                return found.value();
            logFailure(
                FormatText(Text(context, texts::MessageGoneNotDeleted), {QString::fromLatin1(message.UniqueId)}));
            return std::nullopt;
        };

        const qsizetype count = messages.size();
        if (context.Pipelining() && client.Capabilities().Has("PIPELINING")) {
            // Every DELE goes out before the first answer is read; a refusal is logged as
            // one at a time would be.
            QList<qint32> numbers;
            for (const TMessageIdentity& message : messages)
                if (const std::optional<qint32> number = currentNumber(message))
                    numbers.append(*number);
            context.Yield();
            client.DeletePipelined(numbers, [&](qsizetype k, const QString& refusal) {
                if (!refusal.isEmpty())
                    logFailure(refusal);
                context.SetStatus(FormatText(Text(context, texts::DeleteMessage),
                                             {qint64(k + 1), qint64(numbers.size())}));
            });
            return;
        }
        for (qsizetype k = 0; k < count; ++k) {
            context.Yield();
            const std::optional<qint32> number = currentNumber(messages.at(k));
            if (!number)
                continue;
            try {
                client.DeleteMessage(*number);
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
