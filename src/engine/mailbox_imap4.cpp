// Checking one IMAP4 account: every selectable folder, every message in it.

#include "engine/header_cache.h"
#include "engine/imap4_folder_changes.h"
#include "engine/mailbox_client_setup.h"
#include "imap/imap_client.h"
#include "imap/imap_folder_name.h"
#include "net/errors.h"
#include "engine/check_context.h"
#include "support/text_format.h"

#include <algorithm>
#include <QSet>

#include <limits>

namespace brevio {

namespace {

// A folder is read in commands of at most this many messages, so no command or reply grows
// with the folder, and this many of them go ahead of their replies, so the server never waits
// for the next one. The sizes and UIDs alone are a few bytes a message and go in bigger steps.
constexpr qint32 kFetchChunk = 1000;
constexpr qint32 kSizeChunk = 5000;
constexpr int kChunksInFlight = 4;

// "1:1000", "1001:2000", ... up to `count`.
QList<QByteArray> SequenceChunks(qint32 count, qint32 chunk)
{
    QList<QByteArray> sets;
    for (qint32 first = 1; first <= count; first += chunk) {
        const qint32 last = std::min(count, first + chunk - 1);
        sets.append(QByteArray::number(first) + ':' + QByteArray::number(last));
    }
    return sets;
}

// Sets of at most kFetchChunk of the ascending `uids` each, runs of consecutive numbers as ranges.
QList<QByteArray> UidChunks(const QList<quint32>& uids)
{
    QList<QByteArray> sets;
    for (qsizetype start = 0; start < uids.size(); start += kFetchChunk) {
        const qsizetype end = std::min<qsizetype>(uids.size(), start + kFetchChunk);
        QByteArray set;
        for (qsizetype i = start; i < end;) {
            qsizetype j = i;
            while (j + 1 < end && uids.at(j + 1) == uids.at(j) + 1)
                ++j;
            if (!set.isEmpty())
                set += ',';
            set += QByteArray::number(uids.at(i));
            if (j > i)
                set += ':' + QByteArray::number(uids.at(j));
            i = j + 1;
        }
        sets.append(set);
    }
    return sets;
}

void ShowProgress(TCheckContext& context, qint64 done, qint64 count)
{
    context.SetStatus(FormatText(Text(context, texts::RetrievedMessageHeader), {done, count}));
}

[[noreturn]] void FailFolderListing()
{
    throw EReplyError(QStringLiteral("The server refused to list the messages of a folder."),
                      static_cast<int>(TImapReplyCode::No));
}

// What the cache keeps as a folder's UIDNEXT after a whole listing whose highest UID was
// `highestUid`: the server's, or, from a server that announces none, the next UID after the
// highest listed. Either way every message below it was listed.
quint32 WholeUidNext(quint32 announced, quint32 highestUid)
{
    return announced != 0 ? announced : highestUid + 1;
}

// Appends the cached header of UID `uid` to `found`, made in place. The folder's name encoding
// is set here, as the message may be handed over before its folder's listing ends.
void AppendKnown(QList<TFoundMessage>& found, const TCachedHeader& kept, quint32 uid, const QByteArray& folder,
                 quint32 uidValidity, qint32 sequenceNumber, TImapNameEncoding encoding)
{
    TFoundMessage& message = found.emplaceBack();
    kept.ApplyTo(message.Message);
    message.Message.Uid = uid;
    message.Message.Folder = folder;
    message.Message.UidValidity = uidValidity;
    message.Number = sequenceNumber;
    message.FolderEncoding = encoding;
}

// How the session names folders: in UTF-8 once it enabled UTF8=ACCEPT.
TImapNameEncoding NameEncodingOf(const TImap4Client& client)
{
    return client.Utf8Enabled() ? TImapNameEncoding::Utf8 : TImapNameEncoding::ModifiedUtf7;
}

TFoundMessage FoundInFolder(TListedHeader&& fetched, const QByteArray& folder, quint32 uidValidity,
                            qint32 sequenceNumber)
{
    TFoundMessage message;
    message.Message = std::move(fetched);
    message.Message.Folder = folder;
    message.Message.UidValidity = uidValidity;
    message.Number = sequenceNumber;
    return message;
}

// Every message of the selected folder, headers and sizes, in sequence order. A refused fetch
// ends the account's check as it does message by message.
void ListFolderPipelined(TImap4Client& client, TCheckContext& context, const QByteArray& folder, qint32 count,
                         quint32 uidValidity, QList<TFoundMessage>& found)
{
    if (count <= 0)
        return;
    found.reserve(found.size() + count);
    const TImapNameEncoding encoding = NameEncodingOf(client);
    const bool done = client.FetchPipelined(
        SequenceChunks(count, kFetchChunk), {.ByUid = false, .WithHeader = true, .InFlight = kChunksInFlight},
        [&](QList<TImapListedMessage>& records) {
            for (TImapListedMessage& record : records) {
                found.append(
                    FoundInFolder(std::move(record.Message), folder, uidValidity, qint32(record.SequenceNumber)));
                found.last().FolderEncoding = encoding;
            }
            // Each message is whole as it comes, and what came before it too.
            context.Listed(found);
            if (!records.isEmpty())
                ShowProgress(context, records.constLast().SequenceNumber, count);
            context.ThrowIfAborted();
        });
    if (!done)
        FailFolderListing();
}

// The folder's messages as the cache keeps them, in UID order (which is the sequence order),
// for a folder where nothing changed since its last whole listing; with `uids`, their UIDs there
// too. False, with nothing listed, when a kept id is no UID.
bool ListFolderFromCache(const TCachedEntries& known, const QByteArray& folder, quint32 uidValidity,
                         TImapNameEncoding encoding, QList<TFoundMessage>& found, QList<quint32>* uids = nullptr)
{
    // The cache walks UIDs in ascending order. Room for the few new ones a re-check adds after
    // them, too: growing the list would move every message.
    constexpr qsizetype kRoomToGrow = 256;
    const qsizetype first = found.size();
    found.reserve(first + known.size() + kRoomToGrow);
    if (uids)
        uids->reserve(uids->size() + known.size());
    qint32 number = 0;
    for (auto it = known.cbegin(); it != known.cend(); ++it) {
        const std::optional<quint32> uid = UidOfId(it.key());
        if (!uid) {
            found.resize(first);
            return false;
        }
        AppendKnown(found, it.value(), *uid, folder, uidValidity, ++number, encoding);
        if (uids)
            uids->append(*uid);
    }
    return true;
}

// A folder's known messages made from the cache while the server opened it (see
// ListFolderFromCache), and their UIDs.
struct TPreparedFolder {
    QByteArray Folder;
    quint32 UidValidity = 0;
    QList<TFoundMessage> Found;
    QList<quint32> Uids;
};

// ListFolderPipelined for a folder the cache knows nothing of (the first check, or a new
// UIDVALIDITY): every header is needed, so the sizes need no pass of their own. What was listed
// goes to the cache, also when the listing breaks off.
void ListFolderFresh(TImap4Client& client, TCheckContext& context, THeaderCache& cache, const QString& account,
                     const QByteArray& folder, qint32 count, quint32 uidValidity, quint32 uidNext,
                     quint64 highestModSeq, QList<TFoundMessage>& found)
{
    const qsizetype first = found.size();
    const auto remember = [&](bool complete) {
        TCachedEntries seen;
        // Room for the UIDs' digits too: at most as many as the highest UID has.
        const quint32 maxUid = uidNext != 0 ? uidNext : std::numeric_limits<quint32>::max();
        seen.reserve(found.size() - first, (found.size() - first) * QByteArray::number(maxUid).size());
        quint32 highest = 0;
        for (qsizetype i = first; i < found.size(); ++i) {
            const TListedHeader& message = found.at(i).Message;
            // A server that leaves out a UID leaves nothing to know a message by.
            if (message.Uid == 0)
                return;
            highest = std::max(highest, message.Uid);
            seen.insert(QByteArray::number(message.Uid), TCachedHeader::Of(message));
        }
        const bool whole = complete && found.size() - first == count;
        cache.Store(account, folder, uidValidity, std::move(seen), complete, whole ? WholeUidNext(uidNext, highest) : 0,
                    highestModSeq);
    };
    try {
        ListFolderPipelined(client, context, folder, count, uidValidity, found);
    } catch (...) {
        remember(false);
        throw;
    }
    remember(true);
}

// As ListFolderPipelined, with the header cache: first the UID and size of every message, then
// the headers of the UIDs the cache does not know. The folder's entries are then what it holds.
class TCachedFolderListing {
public:
    // `prepared` (may be null): the folder's known messages as ListFolderFromCache lists them,
    // made from the cache while the server opened the folder, and their UIDs.
    TCachedFolderListing(TImap4Client& client, TCheckContext& context, THeaderCache& cache, const QString& account,
                         const QByteArray& folder, qint32 count, quint32 uidValidity, quint32 uidNext,
                         quint64 highestModSeq, QList<TFoundMessage>& found, TPreparedFolder* prepared)
        : client_(client), context_(context), cache_(cache), account_(account), folder_(folder), count_(count),
          uidValidity_(uidValidity), uidNext_(uidNext), highestModSeq_(highestModSeq), found_(found),
          encoding_(NameEncodingOf(client)),
          prepared_(prepared)
    {
    }

    void Run()
    {
        if (count_ <= 0) {
            cache_.Store(account_, folder_, uidValidity_, {}, true, uidNext_, highestModSeq_);
            return;
        }
        known_ = cache_.Folder(account_, folder_, uidValidity_);
        if (ListUnchangedFromCache() || ListChangesOnly())
            return;
        // A folder the cache knows nothing of is listed in one pass.
        if (known_.isEmpty()) {
            ListFolderFresh(client_, context_, cache_, account_, folder_, count_, uidValidity_, uidNext_,
                            highestModSeq_, found_);
            return;
        }
        first_ = found_.size();
        // A server that leaves out a UID leaves nothing to know a message by.
        if (!ListUidsAndSizes()) {
            ListFolderPipelined(client_, context_, folder_, count_, uidValidity_, found_);
            return;
        }
        MatchKnown();
        FetchUnknownHeaders();
    }

private:
    // One message of the size pass.
    struct TListed {
        qint32 SequenceNumber;
        quint32 Uid;
        qint32 Size;
        QByteArray Key;                        // the UID as the cache keys it
        const TCachedHeader* Known = nullptr;  // what the cache keeps of it
    };

    // The entries were every message while UIDNEXT had its value of the last whole listing. A
    // UIDNEXT that has not moved means nothing was added since (RFC 3501 §2.3.1.1), so the same
    // count means nothing was removed either: the server need not list anything.
    bool ListUnchangedFromCache()
    {
        if (uidNext_ == 0 || cache_.UidNext(account_, folder_, uidValidity_) != uidNext_ || known_.size() != count_
            || (!TakePrepared() && !ListFolderFromCache(known_, folder_, uidValidity_, encoding_, found_)))
            return false;
        ShowProgress(context_, count_, count_);
        // Handed over now, so they go out before the session ends.
        context_.Listed(found_, tookPrepared_);
        known_ = {};
        cache_.Store(account_, folder_, uidValidity_, {}, false, uidNext_, highestModSeq_);
        return true;
    }

    // The cache knew the folder whole at an earlier UIDNEXT: the server is asked only what changed
    // since. False, with nothing listed or stored, when its answers do not add up.
    bool ListChangesOnly()
    {
        const quint32 cachedUidNext = cache_.UidNext(account_, folder_, uidValidity_);
        if (cachedUidNext == 0 || known_.isEmpty())
            return false;
        found_.reserve(found_.size() + count_);
        TCachedEntries entries;
        qint32 number = 0;
        // When the count shows that every known message is still there, they are listed (and
        // handed over) while the server looks up the new ones.
        bool listedEarly = false;
        const auto listKept = [&](const QList<quint32>& kept) {
            ListKnown(kept, nullptr, number);
            context_.Listed(found_, tookPrepared_);
            listedEarly = true;
        };
        std::optional<TFolderChanges> changes = ReadFolderChanges(
            client_, context_,
            {known_, cachedUidNext, cache_.HighestModSeq(account_, folder_, uidValidity_),
             prepared_ ? &prepared_->Uids : nullptr},
            count_,
            uidNext_, listKept);
        // The known messages listed stay listed; the folder's listing ends there.
        if (!changes && listedEarly)
            FailFolderListing();
        if (!changes)
            return false;
        if (!listedEarly)
            ListKnown(changes->Kept, changes->Removed ? &entries : nullptr, number);
        for (TListedHeader& header : changes->Added) {
            entries.insert(QByteArray::number(header.Uid), TCachedHeader::Of(header));
            found_.append(FoundInFolder(std::move(header), folder_, uidValidity_, ++number));
            found_.last().FolderEncoding = encoding_;
        }
        ShowProgress(context_, number, count_);
        // Let go of the cache's entries first, so adding to them does not copy them all.
        known_ = {};
        const quint32 highest = changes->Added.isEmpty() ? cachedUidNext - 1 : changes->Added.constLast().Uid;
        const quint32 keptUidNext = changes->NewMissing ? 0 : WholeUidNext(uidNext_, highest);
        cache_.Store(account_, folder_, uidValidity_, std::move(entries), changes->Removed, keptUidNext,
                     highestModSeq_);
        return true;
    }

    // Lists the known messages of the ascending UIDs `kept` (each a known one), numbered on from
    // `number`; with `entries`, keeps their entries there too.
    void ListKnown(const QList<quint32>& kept, TCachedEntries* entries, qint32& number)
    {
        // Every known one, from the start: as made while the folder was opened.
        if (!entries && number == 0 && kept.size() == known_.size() && TakePrepared()) {
            number = qint32(kept.size());
            return;
        }
        // The entries walk their UIDs ascending too: one walk finds them all.
        qsizetype next = 0;
        for (auto entry = known_.cbegin(); entry != known_.cend() && next < kept.size(); ++entry) {
            if (UidOfId(entry.key()) != kept.at(next))
                continue;
            if (entries)
                entries->insert(entry.key(), entry.value());
            AppendKnown(found_, entry.value(), kept.at(next++), folder_, uidValidity_, ++number, encoding_);
        }
    }

    // Moves the prepared listing to found_ when it is every known message; false otherwise.
    bool TakePrepared()
    {
        if (!prepared_ || prepared_->Found.size() != known_.size())
            return false;
        if (found_.isEmpty())
            found_ = std::move(prepared_->Found);
        else
            found_.append(std::move(prepared_->Found));
        prepared_->Found = {};
        tookPrepared_ = true;
        return true;
    }

    // The UID and size of every message into listed_; a refusal raises. False when a message
    // came without a UID.
    bool ListUidsAndSizes()
    {
        listed_.reserve(count_);
        found_.reserve(found_.size() + count_);
        bool everyUid = true;
        const bool done = client_.FetchPipelined(
            SequenceChunks(count_, kSizeChunk), {.ByUid = false, .WithHeader = false, .InFlight = kChunksInFlight},
            [&](QList<TImapListedMessage>& records) {
                for (const TImapListedMessage& r : records) {
                    everyUid = everyUid && r.Message.Uid != 0;
                    listed_.append(
                        {qint32(r.SequenceNumber), r.Message.Uid, r.Message.Size, QByteArray::number(r.Message.Uid)});
                }
                context_.ThrowIfAborted();
            });
        if (!done)
            FailFolderListing();
        return everyUid;
    }

    // Points every listed message at what the cache keeps of it; the UIDs it keeps nothing of go
    // to unknown_, ascending and each once.
    void MatchKnown()
    {
        for (TListed& message : listed_) {
            if (const auto k = known_.constFind(message.Key); k != known_.constEnd())
                message.Known = &k.value();
            else
                unknown_.append(message.Uid);
        }
        std::sort(unknown_.begin(), unknown_.end());
        unknown_.erase(std::unique(unknown_.begin(), unknown_.end()), unknown_.end());
    }

    // The headers of the unknown UIDs. The messages are listed as their headers come; however
    // the fetch ends, what was listed goes to the cache.
    void FetchUnknownHeaders()
    {
        bool done = false;
        try {
            done = client_.FetchPipelined(UidChunks(unknown_),
                                          {.ByUid = true, .WithHeader = true, .InFlight = kChunksInFlight},
                                          [this](QList<TImapListedMessage>& records) { TakeHeaders(records); });
        } catch (...) {
            Finish(false);
            throw;
        }
        Finish(done);
        if (!done)
            FailFolderListing();
    }

    void TakeHeaders(QList<TImapListedMessage>& records)
    {
        for (TImapListedMessage& record : records) {
            TListedHeader header = std::move(record.Message);
            fresh_.insert(QByteArray::number(header.Uid), TCachedHeader::Of(header));
            fetched_.emplace(header.Uid, std::move(header));
            ++fetchedCount_;
        }
        ListInOrder(false);
        ShowProgress(context_, std::min(fetchedCount_, unknown_.size()), unknown_.size());
        context_.ThrowIfAborted();
    }

    // Lists the messages from next_ on, in sequence order, from what was fetched or is known, up
    // to the first one still missing; `complete`: past those missing (they are gone).
    void ListInOrder(bool complete)
    {
        for (; next_ < listed_.size(); ++next_) {
            const TListed& message = listed_.at(next_);
            TListedHeader header;
            if (auto f = fetched_.find(message.Uid); f != fetched_.end()) {
                header = std::move(f.value());
                fetched_.erase(f);
            } else if (message.Known) {
                message.Known->ApplyTo(header);
                ++knownListed_;
            } else if (complete) {
                continue;
            } else {
                return;
            }
            header.Uid = message.Uid;
            header.Size = message.Size;
            found_.append(FoundInFolder(std::move(header), folder_, uidValidity_, message.SequenceNumber));
        }
    }

    // After a failure only those before the first one missing are listed: what was read so far
    // stays listed.
    void Finish(bool complete)
    {
        ListInOrder(complete);
        StoreEntries(complete);
    }

    // Usually every known message is still there: the new headers are then only added to what
    // the cache keeps. Otherwise the folder's entries become exactly what it holds.
    void StoreEntries(bool complete)
    {
        const bool add = !complete || knownListed_ >= known_.size();
        TCachedEntries entries = std::move(fresh_);
        if (!add) {
            for (const TListed& message : std::as_const(listed_)) {
                if (message.Known)
                    entries.insert(message.Key, *message.Known);
            }
        }
        // Let go of the cache's entries first, so adding to them does not copy them all.
        known_ = {};
        const bool whole = complete && found_.size() - first_ == count_;
        quint32 highest = 0;
        for (const TListed& message : std::as_const(listed_))
            highest = std::max(highest, message.Uid);
        cache_.Store(account_, folder_, uidValidity_, std::move(entries), !add,
                     whole ? WholeUidNext(uidNext_, highest) : 0, highestModSeq_);
    }

    TImap4Client& client_;
    TCheckContext& context_;
    THeaderCache& cache_;
    const QString& account_;
    const QByteArray& folder_;
    const qint32 count_;
    const quint32 uidValidity_;
    const quint32 uidNext_;
    const quint64 highestModSeq_;  // 0: none announced
    QList<TFoundMessage>& found_;
    // Set on each message as it is listed, so a message handed over early is the same later.
    const TImapNameEncoding encoding_;

    TPreparedFolder* const prepared_;
    bool tookPrepared_ = false;  // the prepared messages were taken, as they were
    TCachedEntries known_;  // what the cache keeps of the folder
    qsizetype first_ = 0;                     // the folder's first message in found_
    QList<TListed> listed_;                   // every message of the size pass, in sequence order
    QList<quint32> unknown_;                  // the UIDs whose headers are fetched
    // Fetched headers wait here only until the messages before them are listed: the server
    // answers in UID order, which is the sequence order, so normally none waits at all.
    QHash<quint32, TListedHeader> fetched_;
    TCachedEntries fresh_;  // what was fetched, for the cache
    qsizetype fetchedCount_ = 0;
    qsizetype knownListed_ = 0;
    qsizetype next_ = 0;  // the next message of listed_ to go to found_
};

// Lists the folders of one IMAP4 check: with pipelining each folder in a few commands sent
// ahead of their replies (through the header cache when there is one), otherwise message by
// message.
class TImap4FolderLister {
public:
    TImap4FolderLister(TImap4Client& client, TCheckContext& context, const TMailBoxSettings& box,
                       QList<TFoundMessage>& found)
        : client_(client), context_(context), host_(box.Host), found_(found), fast_(context.Pipelining()),
          cache_(context.HeaderCache()), account_(cache_ ? THeaderCache::AccountKey(box) : QString())
    {
    }

    // Every folder of the account, in the server's order; a refusal is logged and raised.
    QList<TImapListEntry> Folders()
    {
        QList<TImapListEntry> folders;
        try {
            client_.ListFolders(folders);
        } catch (const EReplyError&) {
            Log(Text(context_, texts::FaildToRetriveFolderNames));
            throw;
        }
        return folders;
    }

    // A check in few round trips opens INBOX before it asks for the folders: a server may take
    // far longer to open a big folder after a LIST than before it (Dovecot: some 20 ms for
    // 50,000 messages, against one). Open then keeps it open when INBOX comes first, as it
    // nearly always does. A refusal is left to Open to log.
    void OpenInboxFirst()
    {
        if (!fast_)
            return;
        try {
            OpenWithPreparing(kInbox.toByteArray());
            inboxOpen_ = true;
        } catch (const EReplyError&) {
            prepared_ = {};
        }
    }

    // Opens the folder for listing; false, logged, when the server will not open it.
    bool Open(const TImapListEntry& folder)
    {
        if (std::exchange(inboxOpen_, false) && folder.Name == kInbox)
            return true;
        prepared_ = {};
        try {
            // SELECT, not EXAMINE, though listing writes nothing: a server may hand out UIDs in
            // a read-only session that it gives to other messages in the next read-write one,
            // and the deletion and the header cache find messages by the UIDs listed here.
            OpenWithPreparing(folder.Name);
        } catch (const EReplyError&) {
            Log(Text(context_, texts::ErrorSelecting) + client_.FolderDisplayName(folder.Name));
            return false;
        }
        return true;
    }

    // Lists the messages of the folder Open has just opened.
    void List(const QByteArray& folder)
    {
        if (fast_)
            ListPipelined(folder);
        else
            ListOneByOne(folder);
    }

private:
    static constexpr QByteArrayView kInbox = "INBOX";

    void Log(const QString& text) { LogForHost(context_, host_, text); }

    // SELECT, making the folder's known messages from the cache meanwhile.
    void OpenWithPreparing(const QByteArray& folder)
    {
        if (fast_ && cache_)
            client_.SelectFolder(folder, [&] { Prepare(folder); });
        else
            client_.SelectFolder(folder);
    }

    // While the server opens the folder: its known messages as they are listed when nothing
    // changed since the cache's last whole listing (the common case of a check), or when only
    // new ones came. What turns out not to be needed is let go.
    void Prepare(const QByteArray& folder)
    {
        const quint32 uidValidity = cache_->UidValidity(account_, folder);
        if (uidValidity == 0 || cache_->UidNext(account_, folder, uidValidity) == 0)
            return;
        if (!ListFolderFromCache(cache_->Folder(account_, folder, uidValidity), folder, uidValidity,
                                 NameEncodingOf(client_), prepared_.Found, &prepared_.Uids)) {
            prepared_ = {};
            return;
        }
        prepared_.Folder = folder;
        prepared_.UidValidity = uidValidity;
        // They follow what the mailbox's listing holds now, if the server confirms them.
        context_.Expect(prepared_.Found, found_.size(), [this] { return client_.InputWaiting(); });
    }

    void ListPipelined(const QByteArray& folder)
    {
        const TImapFolderInfo& info = client_.SelectedMailBox();
        // Marks the folder's messages however their listing ends.
        struct TEncodingMark {
            QList<TFoundMessage>& Found;
            qsizetype First;
            bool Utf8;
            ~TEncodingMark()
            {
                for (qsizetype m = First; Utf8 && m < Found.size(); ++m)
                    Found[m].FolderEncoding = TImapNameEncoding::Utf8;
            }
        } mark{found_, found_.size(), client_.Utf8Enabled()};
        const bool prepared = prepared_.Folder == folder && prepared_.UidValidity == info.UidValidity;
        // UIDs only name a message for sure while the folder keeps its UIDVALIDITY.
        if (cache_ && info.UidValidity != 0)
            TCachedFolderListing(client_, context_, *cache_, account_, folder, info.TotalMessages, info.UidValidity,
                                 info.UidNext, info.HighestModSeq, found_, prepared ? &prepared_ : nullptr)
                .Run();
        else
            ListFolderPipelined(client_, context_, folder, info.TotalMessages, info.UidValidity, found_);
        prepared_ = {};
    }

    // UID, header and size of each message by a command of its own.
    void ListOneByOne(const QByteArray& folder)
    {
        const qint32 count = client_.SelectedMailBox().TotalMessages;
        const quint32 uidValidity = client_.SelectedMailBox().UidValidity;
        for (qint32 i = 1; i <= count; ++i) {
            QByteArray uid;
            client_.MessageUid(i, uid);
            TMailMessage header;
            client_.FetchHeaderByUid(uid, header);
            TFoundMessage message;
            message.Message = TListedHeader(std::move(header));
            message.Message.Folder = folder;
            message.Message.Size = client_.FetchSizeByUid(uid);
            message.Message.Uid = uid.toUInt();
            message.Message.UidValidity = uidValidity;
            message.Number = i;
            if (client_.Utf8Enabled())
                message.FolderEncoding = TImapNameEncoding::Utf8;
            context_.SetStatus(FormatText(Text(context_, texts::RetrievedMessageHeader), {i, count}));
            found_.append(std::move(message));
            // Escape is honoured between messages, so a big folder can be left at once.
            context_.ThrowIfAborted();
        }
    }

    TImap4Client& client_;
    TCheckContext& context_;
    const QString& host_;
    QList<TFoundMessage>& found_;
    const bool fast_;
    THeaderCache* const cache_;
    const QString account_;
    bool inboxOpen_ = false;  // by OpenInboxFirst, with nothing opened since
    // The known messages of the folder being opened, made while the server opens it.
    TPreparedFolder prepared_;
};

}  // namespace

QList<TFoundMessage> CheckImap4(const TMailBoxSettings& box, TCheckContext& context, const TTransportFactory& factory,
                                QString* trustedFingerprint, bool& complete)
{
    // A failed connection, command or the user's abort ends this account's check; what was read
    // so far stays listed. The session logged connection and login failures.
    QList<TFoundMessage> found;
    bool everyFolderOpened = true;
    const bool ended = RunSession<TImap4Client>(box, context, factory, trustedFingerprint, [&](TImap4Client& client) {
        context.SetStatus(Text(context, texts::ConnectedReceivingMessages));
        TImap4FolderLister lister(client, context, box, found);
        lister.OpenInboxFirst();
        const QList<TImapListEntry> folders = lister.Folders();
        for (const TImapListEntry& folder : folders) {
            // A \Noselect parent or a \NonExistent name holds no messages of its own.
            if (!folder.Selectable())
                continue;
            // One folder the server will not open must not hide the others.
            if (!lister.Open(folder)) {
                everyFolderOpened = false;
                continue;
            }
            lister.List(folder.Name);
        }
    });
    complete = ended && everyFolderOpened;
    context.SetStatus(QString());
    return found;
}

}  // namespace brevio
