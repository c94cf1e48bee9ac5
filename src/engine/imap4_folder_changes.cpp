// The incremental re-check of an IMAP4 folder. Below the cached UIDNEXT every message was known
// and sizes never change, so the new UIDs' headers and, when the count falls short, the list of
// the known UIDs that remain are all a listing needs.

#include "engine/imap4_folder_changes.h"

#include "engine/check_context.h"

#include <algorithm>
#include <vector>

namespace brevio {

namespace {

// New UIDs are asked for in ranges of this many UID values, at most kMaxCommands commands.
constexpr quint32 kUidsPerFetch = 1000;
constexpr quint32 kMaxCommands = 64;
constexpr int kInFlight = 4;
// Known UIDs are searched for this many at a time: a plain SEARCH answer of them all stays
// within one line's bound (ten digits and a blank each).
constexpr qsizetype kUidsPerSearch = 1000;

// The known UIDs, ascending as the entries walk; nullopt when a kept id is no UID below
// `uidNext`.
std::optional<QList<quint32>> KnownUids(const TKnownFolder& known, quint32 uidNext)
{
    if (known.Uids && known.Uids->size() == known.Entries.size()) {
        const bool below = std::all_of(known.Uids->cbegin(), known.Uids->cend(),
                                       [uidNext](quint32 uid) { return uid < uidNext; });
        return below ? std::optional(*known.Uids) : std::nullopt;
    }
    QList<quint32> uids;
    uids.reserve(known.Entries.size());
    for (auto it = known.Entries.cbegin(); it != known.Entries.cend(); ++it) {
        const std::optional<quint32> uid = UidOfId(it.key());
        if (!uid || *uid >= uidNext)
            return std::nullopt;
        uids.append(*uid);
    }
    return uids;
}

// "first:a", "a+1:b", ..., "z:*" covering the UIDs from `first` to beyond `uidNext` (0: not
// known, one set "first:*").
QList<QByteArray> NewUidSets(quint32 first, quint32 uidNext)
{
    const quint64 span = uidNext > first ? uidNext - first : 1;
    const quint64 step = std::max<quint64>(kUidsPerFetch, (span + kMaxCommands - 1) / kMaxCommands);
    QList<QByteArray> sets;
    quint64 from = first;
    for (; from + step < uidNext; from += step)
        sets.append(QByteArray::number(from) + ':' + QByteArray::number(from + step - 1));
    sets.append(QByteArray::number(from) + ":*");
    return sets;
}

// The headers of the UIDs from `first` on, ascending; nullopt when refused, or when an answer
// lacks its UID or names one twice. "first:*" names the last message also when it is older: such
// answers are passed over. `whileServerWorks` is called once the commands are on their way.
std::optional<QList<TListedHeader>> FetchNewHeaders(TImap4Client& client, TCheckContext& context, quint32 first,
                                                    quint32 uidNext, const std::function<void()>& whileServerWorks)
{
    QList<TListedHeader> added;
    bool named = true;
    const bool done =
        client.FetchPipelined(NewUidSets(first, uidNext), {.ByUid = true, .WithHeader = true, .InFlight = kInFlight},
                              [&](QList<TImapListedMessage>& records) {
                                  for (TImapListedMessage& record : records) {
                                      named = named && record.Message.Uid != 0;
                                      if (record.Message.Uid >= first)
                                          added.append(std::move(record.Message));
                                  }
                                  context.ThrowIfAborted();
                              },
                              whileServerWorks);
    if (!done || !named)
        return std::nullopt;
    std::sort(added.begin(), added.end(), [](const auto& a, const auto& b) { return a.Uid < b.Uid; });
    const auto twice =
        std::adjacent_find(added.cbegin(), added.cend(), [](const auto& a, const auto& b) { return a.Uid == b.Uid; });
    if (twice != added.cend())
        return std::nullopt;
    return added;
}

// Which of the known UIDs remain, ascending; nullopt when refused or when the server names a
// UID that was not known (or one twice).
std::optional<QList<quint32>> RemainingUids(TImap4Client& client, const QList<quint32>& known)
{
    QList<QByteArray> sets;
    for (qsizetype i = 0; i < known.size(); i += kUidsPerSearch) {
        const qsizetype last = std::min(known.size(), i + kUidsPerSearch) - 1;
        sets.append(QByteArray::number(known.at(i)) + ':' + QByteArray::number(known.at(last)));
    }
    std::optional<QList<quint32>> remaining = client.UidSearchPipelined(sets, known.size());
    if (!remaining)
        return std::nullopt;
    std::sort(remaining->begin(), remaining->end());
    if (std::adjacent_find(remaining->cbegin(), remaining->cend()) != remaining->cend()
        || !std::includes(known.cbegin(), known.cend(), remaining->cbegin(), remaining->cend()))
        return std::nullopt;
    return remaining;
}

// Marks known UIDs (by index) as gone: each index is marked once however often the ranges that
// cover it repeat, so a hostile answer costs no more than the known UIDs and its own length.
class TGoneMarks {
public:
    explicit TGoneMarks(qsizetype count) : next_(count + 1)
    {
        for (qsizetype i = 0; i <= count; ++i)
            next_[i] = i;
    }

    // Marks the indices from `first` to before `last`.
    void Mark(qsizetype first, qsizetype last)
    {
        for (qsizetype i = Unmarked(first); i < last; i = Unmarked(i))
            next_[i] = i + 1;
    }
    bool Marked(qsizetype i) const { return next_[i] != i; }

private:
    // The first index from `i` on not marked (the end when none is).
    qsizetype Unmarked(qsizetype i)
    {
        while (next_[i] != i) {
            next_[i] = next_[next_[i]];
            i = next_[i];
        }
        return i;
    }

    std::vector<qsizetype> next_;  // an index at or after i that may be unmarked; i itself when it is
};

// Which of the known UIDs remain, ascending, by the VANISHED (EARLIER) answer of a UID FETCH
// changed since `modSeq` (RFC 7162 §3.2.6). A UID between known ones that is no longer known
// went before the cache's listing; the server may name it still. nullopt when refused or
// malformed, or when a UID from the cached UIDNEXT on is named: it was not asked for.
std::optional<QList<quint32>> RemainingByVanished(TImap4Client& client, const QList<quint32>& known,
                                                  quint32 cachedUidNext, quint64 modSeq)
{
    TGoneMarks gone(known.size());
    bool asked = true;
    const QByteArray set = QByteArray::number(known.constFirst()) + ':' + QByteArray::number(known.constLast());
    const bool done = client.UidFetchVanished(set, modSeq, [&](const QList<std::pair<quint32, quint32>>& ranges) {
        for (const auto& [first, last] : ranges) {
            asked = asked && last < cachedUidNext;
            const auto from = std::lower_bound(known.cbegin(), known.cend(), first);
            const auto to = std::upper_bound(from, known.cend(), last);
            gone.Mark(from - known.cbegin(), to - known.cbegin());
        }
    });
    if (!done || !asked)
        return std::nullopt;
    QList<quint32> remaining;
    for (qsizetype i = 0; i < known.size(); ++i) {
        if (!gone.Marked(i))
            remaining.append(known.at(i));
    }
    return remaining;
}

// The changes when the count showed that every known message remains: the known UIDs go to
// `keptEarly` while the server looks up the new ones.
std::optional<TFolderChanges> ReadAddedOnly(TImap4Client& client, TCheckContext& context, QList<quint32>& knownUids,
                                            quint32 cachedUidNext, quint32 uidNext,
                                            const std::function<void(const QList<quint32>& kept)>& keptEarly)
{
    std::optional<QList<TListedHeader>> added =
        FetchNewHeaders(client, context, cachedUidNext, uidNext, [&] { keptEarly(knownUids); });
    if (!added)
        return std::nullopt;
    // The folder as it was opened: what came since waits for the next check, and what went since
    // is not listed.
    added->removeIf([uidNext](const TListedHeader& header) { return header.Uid >= uidNext; });
    TFolderChanges changes;
    changes.NewMissing = added->size() != qsizetype(uidNext - cachedUidNext);
    changes.Added = std::move(*added);
    changes.Kept = std::move(knownUids);
    return changes;
}

}  // namespace

std::optional<TFolderChanges> ReadFolderChanges(TImap4Client& client, TCheckContext& context, const TKnownFolder& known,
                                                qint32 count, quint32 uidNext,
                                                const std::function<void(const QList<quint32>& kept)>& keptEarly)
{
    const quint32 cachedUidNext = known.UidNext;
    std::optional<QList<quint32>> knownUids = KnownUids(known, cachedUidNext);
    if (!knownUids || (uidNext != 0 && uidNext < cachedUidNext) || cachedUidNext == 0)
        return std::nullopt;
    // The folder holds known messages below the cached UIDNEXT and new ones below the announced
    // UIDNEXT, nothing else: as many messages as both together means every one of them is there.
    if (keptEarly && uidNext > cachedUidNext
        && qint64(count) == qint64(knownUids->size()) + qint64(uidNext - cachedUidNext))
        return ReadAddedOnly(client, context, *knownUids, cachedUidNext, uidNext, keptEarly);
    TFolderChanges changes;
    // A server that announces no UIDNEXT is asked every time.
    if (uidNext == 0 || uidNext > cachedUidNext) {
        std::optional<QList<TListedHeader>> added = FetchNewHeaders(client, context, cachedUidNext, uidNext, {});
        if (!added)
            return std::nullopt;
        changes.Added = std::move(*added);
    }
    const qint64 withNothingRemoved = qint64(knownUids->size()) + changes.Added.size();
    if (count > withNothingRemoved)
        return std::nullopt;
    // Sizes never change and nothing below the cached UIDNEXT is new: the same count with the new
    // messages added means nothing was removed.
    if (count == withNothingRemoved) {
        changes.Kept = std::move(*knownUids);
        return changes;
    }
    const auto addsUp = [&](const std::optional<QList<quint32>>& remaining) {
        return remaining && remaining->size() + changes.Added.size() == count;
    };
    std::optional<QList<quint32>> remaining;
    if (client.QresyncEnabled() && known.HighestModSeq != 0 && !knownUids->isEmpty())
        remaining = RemainingByVanished(client, *knownUids, cachedUidNext, known.HighestModSeq);
    if (!addsUp(remaining))
        remaining = RemainingUids(client, *knownUids);
    if (!addsUp(remaining))
        return std::nullopt;
    changes.Kept = std::move(*remaining);
    changes.Removed = true;
    return changes;
}

}  // namespace brevio
