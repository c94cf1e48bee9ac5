// UID FETCH with the VANISHED modifier, and the reader of VANISHED responses.

#include "imap/imap_vanished.h"

#include "imap/imap_client.h"
#include "imap/imap_search.h"
#include "net/errors.h"

namespace brevio {

namespace {

using Code = TImapReplyCode;
using State = TImapConnectionState;

}  // namespace

std::optional<TImapVanished> ParseVanishedResponse(const QByteArray& rest)
{
    TImapVanished vanished;
    QByteArray set = rest;
    if (set.startsWith('(')) {
        const qsizetype close = set.indexOf(')');
        if (close < 0 || set.mid(1, close - 1).toUpper() != "EARLIER" || set.mid(close + 1, 1) != " ")
            return std::nullopt;
        vanished.Earlier = true;
        set = set.mid(close + 2);
    }
    std::optional<QList<std::pair<quint32, quint32>>> ranges = ParseUidRanges(set);
    if (!ranges)
        return std::nullopt;
    vanished.Ranges = std::move(*ranges);
    return vanished;
}

bool TImap4Client::UidFetchVanished(const QByteArray& set, quint64 modSeq, const TVanishedHandler& onVanished)
{
    if (!IsValidSequenceSet(set) || set.contains('*'))
        throw EInvalidNumber(TFailure{TFailureKind::SequenceSetInvalid, {}});
    RequireState({State::Selected});
    bool wellFormed = true;
    const auto take = [&](const QByteArray& response) {
        const TImapUntagged untagged = SplitUntagged(response);
        // Flags changed since: not asked for here.
        if (untagged.Number && untagged.Keyword == "FETCH")
            return true;
        if (untagged.Number || untagged.Keyword != "VANISHED")
            return false;
        const std::optional<TImapVanished> vanished = ParseVanishedResponse(untagged.Rest);
        wellFormed = wellFormed && vanished.has_value();
        // Without "(EARLIER)" a message was expunged while the command ran: after the count
        // the caller compares with, so it is none of this answer's business.
        if (wellFormed && vanished->Earlier)
            onVanished(vanished->Ranges);
        return true;
    };
    const TReply reply = Command("UID FETCH",
                                 {TImapArgument::Raw(set), TImapArgument::Raw("(UID)"),
                                  TImapArgument::Raw("(CHANGEDSINCE " + QByteArray::number(modSeq) + " VANISHED)")},
                                 {Code::Ok, Code::No, Code::Bad}, take);
    return ImapReplyCode(reply) == Code::Ok && wellFormed;
}

}  // namespace brevio
