// The incremental re-check of an IMAP4 folder. Below the cached UIDNEXT every message was known
// and sizes never change, so the new UIDs' headers and, when the count falls short, the list of
// the known UIDs that remain are all a listing needs.

#include "engine/imap4_folder_changes.h"

#include "engine/check_context.h"

#include <algorithm>

namespace brevio {

namespace {

// New UIDs are asked for in ranges of this many UID values, at most kMaxCommands commands.
constexpr quint32 kUidsPerFetch = 1000;
constexpr quint32 kMaxCommands = 64;
constexpr int kInFlight = 4;
// Known UIDs are searched for this many at a time: a plain SEARCH answer of them all stays
// within one line's bound (ten digits and a blank each).
constexpr qsizetype kUidsPerSearch = 1000;

// The known UIDs ascending; nullopt when a kept id is no UID below `uidNext`.
std::optional<QList<quint32>> KnownUids(const TCachedEntries& known, quint32 uidNext)
{
    QList<quint32> uids;
    uids.reserve(known.size());
    for (auto it = known.cbegin(); it != known.cend(); ++it) {
        bool ok = false;
        const quint32 uid = it.key().toUInt(&ok);
        if (!ok || uid == 0 || uid >= uidNext)
            return std::nullopt;
        uids.append(uid);
    }
    std::sort(uids.begin(), uids.end());
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
// answers are passed over.
std::optional<QList<TListedHeader>> FetchNewHeaders(TImap4Client& client, TCheckContext& context, quint32 first,
                                                    quint32 uidNext)
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
                              });
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

}  // namespace

std::optional<TFolderChanges> ReadFolderChanges(TImap4Client& client, TCheckContext& context,
                                                const TCachedEntries& known, quint32 cachedUidNext,
                                                qint32 count, quint32 uidNext)
{
    std::optional<QList<quint32>> knownUids = KnownUids(known, cachedUidNext);
    if (!knownUids || (uidNext != 0 && uidNext < cachedUidNext) || cachedUidNext == 0)
        return std::nullopt;
    TFolderChanges changes;
    // A server that announces no UIDNEXT is asked every time.
    if (uidNext == 0 || uidNext > cachedUidNext) {
        std::optional<QList<TListedHeader>> added = FetchNewHeaders(client, context, cachedUidNext, uidNext);
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
    std::optional<QList<quint32>> remaining = RemainingUids(client, *knownUids);
    if (!remaining || remaining->size() + changes.Added.size() != count)
        return std::nullopt;
    changes.Kept = std::move(*remaining);
    changes.Removed = true;
    return changes;
}

}  // namespace brevio
