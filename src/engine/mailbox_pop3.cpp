// Checking and deleting one POP3 mailbox.

#include "engine/header_cache.h"
#include "engine/mailbox_client_setup.h"
#include "net/errors.h"
#include "pop3/pop3_client.h"
#include "engine/check_context.h"
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
class TPop3Listing {
public:
    TPop3Listing(const TMailBoxSettings& box, TPop3Client& client, TCheckContext& context, QList<TFoundMessage>& found)
        : box_(box), client_(client), context_(context), found_(found),
          pipelined_(client.Capabilities().Has("PIPELINING")), first_(found.size())
    {
    }

    void Run()
    {
        if (!ReadListing())
            return;
        OpenCache();
        try {
            FetchWanted();
        } catch (...) {
            Finish(false);
            throw;
        }
        Finish(true);
    }

private:
    // LIST and UIDL; false when the mailbox is empty (and the cache told so).
    bool ReadListing()
    {
        QList<TPop3UidEntry> ids;
        client_.ListWithUidl(pipelined_, listed_, ids);
        const qint32 count = qint32(listed_.size());
        context_.ThrowIfAborted();
        context_.SetStatus(FormatText(Text(context_, texts::NewMessageInMailbox), {count}));
        if (count == 0) {
            if (THeaderCache* cache = context_.HeaderCache())
                cache->Store(THeaderCache::AccountKey(box_), {}, 0, {}, true);
            return false;
        }
        found_.reserve(found_.size() + count);
        TakeIds(ids);
        anyIds_ = !ids.isEmpty();
        return true;
    }

    // Each listed message's id into ids_, and whether it names that message alone into unique_.
    // Servers commonly answer UIDL in the order of LIST, and many give ids in ascending order:
    // then one walk does, where looking each one up in tables of 50,000 would cost more than
    // reading the answers.
    void TakeIds(const QList<TPop3UidEntry>& ids)
    {
        ids_.reserve(listed_.size());
        unique_.reserve(listed_.size());
        bool inOrder = ids.size() == listed_.size();
        for (qsizetype i = 0; inOrder && i < ids.size(); ++i)
            inOrder = ids.at(i).Number == listed_.at(i).Number && (i == 0 || ids.at(i - 1).Number < ids.at(i).Number);
        if (inOrder) {
            for (const TPop3UidEntry& entry : ids)
                ids_.append(entry.UniqueId);
        } else {
            QHash<qint32, QByteArray> byNumber;
            byNumber.reserve(ids.size());
            for (const TPop3UidEntry& entry : ids)
                byNumber.insert(entry.Number, entry.UniqueId);
            for (const TPop3ListEntry& entry : std::as_const(listed_))
                ids_.append(byNumber.value(entry.Number));
        }
        // An id the server gives twice names neither message for sure.
        bool ascending = true;
        for (qsizetype i = 1; ascending && i < ids.size(); ++i)
            ascending = ids.at(i - 1).UniqueId < ids.at(i).UniqueId;
        QHash<QByteArray, int> uses;
        if (!ascending) {
            uses.reserve(ids.size());
            for (const TPop3UidEntry& entry : ids)
                ++uses[entry.UniqueId];
        }
        for (const QByteArray& id : std::as_const(ids_))
            unique_.append(!id.isEmpty() && (ascending || uses.value(id) == 1));
    }

    // Without unique ids there is nothing to know a message by: no cache then.
    void OpenCache()
    {
        cache_ = anyIds_ ? context_.HeaderCache() : nullptr;
        if (!cache_)
            return;
        account_ = THeaderCache::AccountKey(box_);
        known_ = cache_->Folder(account_, {}, 0);
    }

    // The message at `index` of the listing can be known by its id.
    bool Cacheable(qsizetype index) const { return cache_ && unique_.at(index); }

    // The messages go to `found` in listing order as their headers arrive: the TOPs are
    // answered in that order, and the known messages between two fetched ones are taken from
    // the cache on the way, so no fetched header waits in a second list. After a failure only
    // those before the first one missing are listed: what was read so far stays, as message by
    // message.
    void FetchWanted()
    {
        QList<qint32> wanted;
        for (qsizetype i = 0; i < listed_.size(); ++i) {
            if (!Cacheable(i) || !known_.contains(ids_.at(i)))
                wanted.append(listed_.at(i).Number);
        }
        qint32 done = 0;
        const qint32 toFetch = qint32(wanted.size());
        client_.FetchHeaders(wanted, pipelined_, [&](qint32 number, TListedHeader& header) {
            TakeKnown();
            // The replies come in the order of `wanted`, which is the listing's order, so the
            // message at `next_` is the one this header belongs to.
            if (next_ >= listed_.size() || listed_.at(next_).Number != number)
                return;
            fetched_.append(next_);
            Append(std::move(header));
            ++done;
            if (done % kStatusEvery == 0 || done == toFetch)
                context_.SetStatus(FormatText(Text(context_, texts::RetrievedMessageHeader), {done, toFetch}));
            context_.ThrowIfAborted();
        });
    }

    // The message at `next_` of the listing.
    void Append(TListedHeader header)
    {
        const TPop3ListEntry& entry = listed_.at(next_);
        const QByteArray& id = ids_.at(next_);
        TFoundMessage message;
        message.Message = std::move(header);
        message.Message.Size = entry.Size;
        message.Message.UniqueId = id;
        message.Number = entry.Number;
        found_.append(std::move(message));
        ++next_;
    }

    // Lists the known messages from `next_` on, up to the next one that must be fetched.
    void TakeKnown()
    {
        while (next_ < listed_.size() && Cacheable(next_)) {
            const QByteArray& id = ids_.at(next_);
            const auto k = known_.constFind(id);
            if (k == known_.constEnd())
                return;
            TListedHeader header;
            k.value().ApplyTo(header);
            Append(std::move(header));
            ++knownListed_;
        }
    }

    // What was listed goes to the cache. A whole listing is handed over as it is (the cache then
    // holds each header once with the listing); a listing cut short adds what it has.
    // When every known message is still listed, the whole listing is what the cache kept plus
    // the fetched ones, so only those are added.
    void Finish(bool complete)
    {
        TakeKnown();
        const bool everyKnownListed = !known_.isEmpty() && knownListed_ == known_.size();
        known_ = {};
        if (!cache_)
            return;
        if (complete && first_ == 0 && !everyKnownListed) {
            cache_->StoreListing(account_, found_);
            return;
        }
        TCachedEntries seen;
        const auto keep = [&](qsizetype i) {
            if (Cacheable(i - first_))
                seen.insert(found_.at(i).Message.UniqueId, TCachedHeader::Of(found_.at(i).Message));
        };
        if (complete && everyKnownListed) {
            for (const qsizetype i : std::as_const(fetched_))
                keep(first_ + i);
            cache_->Store(account_, {}, 0, std::move(seen), false);
            return;
        }
        for (qsizetype i = first_; i < found_.size(); ++i)
            keep(i);
        cache_->Store(account_, {}, 0, std::move(seen), complete);
    }

    const TMailBoxSettings& box_;
    TPop3Client& client_;
    TCheckContext& context_;
    QList<TFoundMessage>& found_;
    const bool pipelined_;
    QList<TPop3ListEntry> listed_;
    QList<QByteArray> ids_;  // the unique id of each listed message; empty when it has none
    QList<bool> unique_;     // its id names it alone
    bool anyIds_ = false;
    THeaderCache* cache_ = nullptr;
    QString account_;
    TCachedEntries known_;
    qsizetype knownListed_ = 0;  // of known_
    QList<qsizetype> fetched_;   // the places in the listing of the messages fetched
    qsizetype first_ = 0;        // the first of found_ that this listing adds
    qsizetype next_ = 0;
};

}  // namespace

QList<TFoundMessage> CheckPop3(const TMailBoxSettings& box, TCheckContext& context, const TTransportFactory& factory,
                               QString* trustedFingerprint, bool& complete)
{
    // The check ends at the first failure; what was read so far stays listed. Connection and
    // login failures were logged by the session.
    QList<TFoundMessage> found;
    complete = RunSession<TPop3Client>(box, context, factory, trustedFingerprint, [&](TPop3Client& client) {
        context.SetStatus(Text(context, texts::ConnectedReceivingMessages));
        if (context.Pipelining()) {
            TPop3Listing(box, client, context, found).Run();
            return;
        }
        const qint32 count = client.CountMessages();
        context.ThrowIfAborted();
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
            context.ThrowIfAborted();
            context.SetStatus(FormatText(Text(context, texts::RetrievedMessageHeader), {i, count}));
            TFoundMessage message;
            message.Message = TListedHeader(std::move(header));
            message.Message.UniqueId = uniqueIds.value(i);
            message.Number = i;
            found.append(std::move(message));
        }
    });
    context.SetStatus(QString());
    return found;
}

namespace {

// Deleting in one POP3 session. Message numbers only hold for one session: each message is found
// under its current number by its unique id. A message with an id is never deleted by its old
// number (a server that now refuses UIDL, or a message that is gone, leaves it alone). Messages
// without an id (a server without UIDL) keep the number they had at the listing.
class TPop3Deletion {
public:
    TPop3Deletion(const TMailBoxSettings& box, const QList<TMessageIdentity>& messages, TCheckContext& context)
        : box_(box), messages_(messages), context_(context)
    {
    }

    void Run(TPop3Client& client)
    {
        ReadCurrentNumbers(client);
        if (context_.Pipelining() && client.Capabilities().Has("PIPELINING"))
            DeleteAllAtOnce(client);
        else
            DeleteOneAtATime(client);
    }

    // The deletions take effect at QUIT, so its refusal must be told.
    void Quit(TPop3Client& client)
    {
        try {
            client.Disconnect();
        } catch (const EReplyError& e) {
            // The server refused to remove the deleted messages at QUIT: nothing was deleted.
            LogFailure(e.Message().trimmed());
        } catch (...) {
        }
    }

private:
    void ReadCurrentNumbers(TPop3Client& client)
    {
        const bool haveIds = std::any_of(messages_.cbegin(), messages_.cend(),
                                         [](const TMessageIdentity& id) { return !id.UniqueId.isEmpty(); });
        if (!haveIds)
            return;
        for (const TPop3UidEntry& entry : client.Uidl())
            currentNumbers_.insert(entry.UniqueId, entry.Number);
    }

    // The number `message` has now; none, and a log entry, when its id is gone.
    std::optional<qint32> CurrentNumber(const TMessageIdentity& message)
    {
        if (message.UniqueId.isEmpty())
            return message.Number;
        const auto found = currentNumbers_.constFind(message.UniqueId);
        if (found != currentNumbers_.constEnd())
            return found.value();
        LogFailure(FormatText(Text(context_, texts::MessageGoneNotDeleted), {QString::fromLatin1(message.UniqueId)}));
        return std::nullopt;
    }

    // Every DELE goes out before the first answer is read; a refusal is logged as one at a time
    // would be.
    void DeleteAllAtOnce(TPop3Client& client)
    {
        QList<qint32> numbers;
        for (const TMessageIdentity& message : messages_)
            if (const std::optional<qint32> number = CurrentNumber(message))
                numbers.append(*number);
        context_.ThrowIfAborted();
        client.DeletePipelined(numbers, [&](qsizetype k, const QString& refusal) {
            if (!refusal.isEmpty())
                LogFailure(refusal);
            ShowProgress(k, numbers.size());
        });
    }

    void DeleteOneAtATime(TPop3Client& client)
    {
        const qsizetype count = messages_.size();
        for (qsizetype k = 0; k < count; ++k) {
            context_.ThrowIfAborted();
            const std::optional<qint32> number = CurrentNumber(messages_.at(k));
            if (!number)
                continue;
            try {
                client.DeleteMessage(*number);
            } catch (const EReplyError& e) {
                // The server refused this one; the others still go. Anything else (the user's
                // abort, a lost connection) ends the deletion.
                LogFailure(e.Message());
            }
            ShowProgress(k, count);
        }
    }

    void ShowProgress(qsizetype k, qsizetype count)
    {
        context_.SetStatus(FormatText(Text(context_, texts::DeleteMessage), {qint64(k + 1), qint64(count)}));
    }

    void LogFailure(const QString& text) { LogForHost(context_, box_.Host, text); }

    const TMailBoxSettings& box_;
    const QList<TMessageIdentity>& messages_;
    TCheckContext& context_;
    QHash<QByteArray, qint32> currentNumbers_;
};

}  // namespace

void DeletePop3(const TMailBoxSettings& box, const QList<TMessageIdentity>& messages, TCheckContext& context,
                const TTransportFactory& factory, QString* trustedFingerprint)
{
    // A failed connection deletes nothing; the session logged it.
    TPop3Deletion deletion(box, messages, context);
    RunSession<TPop3Client>(
        box, context, factory, trustedFingerprint, [&](TPop3Client& client) { deletion.Run(client); },
        [&](TPop3Client& client) { deletion.Quit(client); });
}

}  // namespace brevio
