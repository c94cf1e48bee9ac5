// UID SEARCH over several UID sets at once, in the plain or the ESEARCH form, and the reader of
// ESEARCH responses.

#include "imap/imap_search.h"

#include "imap/imap_client.h"
#include "net/errors.h"

#include <algorithm>

namespace brevio {

namespace {

using Code = TImapReplyCode;
using State = TImapConnectionState;

// Adds the UIDs of `ranges` to `uids` unless that makes them more than `most`; false then.
bool AddRanges(const QList<std::pair<quint32, quint32>>& ranges, qsizetype most, QList<quint32>& uids)
{
    qint64 count = 0;
    for (const auto& [first, last] : ranges)
        count += qint64(last) - first + 1;
    if (count > most - uids.size())
        return false;
    for (const auto& [first, last] : ranges) {
        for (quint64 uid = first; uid <= last; ++uid)
            uids.append(quint32(uid));
    }
    return true;
}

}  // namespace

std::optional<QList<std::pair<quint32, quint32>>> ParseUidRanges(const QByteArray& text)
{
    QList<std::pair<quint32, quint32>> ranges;
    for (const QByteArray& range : text.split(',')) {
        const qsizetype colon = range.indexOf(':');
        const std::optional<quint32> first =
            ParseNzNumber(QByteArrayView(range).first(colon < 0 ? range.size() : colon));
        const std::optional<quint32> last = colon < 0 ? first : ParseNzNumber(QByteArrayView(range).sliced(colon + 1));
        if (!first || !last)
            return std::nullopt;
        ranges.append(std::minmax(*first, *last));
    }
    return ranges;
}

qint64 TImapEsearch::Count() const
{
    qint64 count = 0;
    for (const auto& [first, last] : All)
        count += qint64(last) - first + 1;
    return count;
}

std::optional<TImapEsearch> ParseEsearchResponse(const QByteArray& rest)
{
    const std::optional<QList<TImapValue>> values = ParseImapValues(rest);
    if (!values)
        return std::nullopt;
    TImapEsearch result;
    qsizetype i = 0;
    if (i < values->size() && values->at(i).IsList()) {
        const QList<TImapValue>& correlator = values->at(i).Items;
        if (correlator.size() != 2 || !correlator.at(0).IsAtom("TAG")
            || correlator.at(1).Kind == TImapValue::TKind::List)
            return std::nullopt;
        result.Tag = correlator.at(1).Text;
        ++i;
    }
    if (i < values->size() && values->at(i).IsAtom("UID")) {
        result.Uid = true;
        ++i;
    }
    // Name and value pairs (RFC 4731 §3.1: search-return-data).
    for (; i + 1 < values->size(); i += 2) {
        if (!values->at(i).IsAtom("ALL"))
            continue;
        const TImapValue& set = values->at(i + 1);
        if (set.Kind != TImapValue::TKind::Atom)
            return std::nullopt;
        std::optional<QList<std::pair<quint32, quint32>>> ranges = ParseUidRanges(set.Text);
        if (!ranges)
            return std::nullopt;
        result.All += *ranges;
    }
    if (i != values->size())
        return std::nullopt;
    return result;
}

std::optional<QList<quint32>> TImap4Client::UidSearchPipelined(const QList<QByteArray>& sets, qsizetype most)
{
    for (const QByteArray& set : sets) {
        if (!IsValidSequenceSet(set) || set.contains('*'))
            throw EInvalidNumber(TFailure{TFailureKind::SequenceSetInvalid, {}});
    }
    RequireState({State::Selected});
    const bool compact = HasCapability("ESEARCH");
    QList<QByteArray> tags;
    for (const QByteArray& set : sets) {
        QList<TImapArgument> arguments{TImapArgument::Raw("UID"), TImapArgument::Raw(set)};
        if (compact)
            arguments.prepend(TImapArgument::Raw("RETURN (ALL)"));
        tags.append(QueueCommand("UID SEARCH", arguments));
    }
    FlushCommands();
    QList<quint32> uids;
    bool fits = true;
    bool refused = false;
    for (const QByteArray& tag : std::as_const(tags)) {
        const auto take = [&](const QByteArray& response) {
            const TImapUntagged untagged = SplitUntagged(response);
            if (untagged.Number)
                return false;
            if (untagged.Keyword == "SEARCH") {
                const QList<quint32> found = ParseSearchResponse(untagged.Rest);
                fits = fits && found.size() <= most - uids.size();
                if (fits)
                    uids += found;
                return true;
            }
            if (untagged.Keyword != "ESEARCH")
                return false;
            const std::optional<TImapEsearch> found = ParseEsearchResponse(untagged.Rest);
            // An answer to another command, or one not in UIDs, tells nothing of these.
            if (!found || (!found->Tag.isEmpty() && found->Tag != tag) || !found->Uid)
                return found.has_value();
            fits = fits && AddRanges(found->All, most, uids);
            return true;
        };
        // BAD as well: a server may announce ESEARCH and still not take RETURN; the listing then
        // goes the full way.
        refused = ImapReplyCode(ReadTaggedReply(tag, {Code::Ok, Code::No, Code::Bad}, take)) != Code::Ok || refused;
    }
    if (refused || !fits)
        return std::nullopt;
    return uids;
}

}  // namespace brevio
