#pragma once
// The ESEARCH response (RFC 4731 §3.1) of a UID SEARCH RETURN (ALL): which command it answers and
// the UIDs found, as ranges, so a folder of numbers in a row costs a few bytes on the wire.

#include <QByteArray>
#include <QList>

#include <optional>
#include <utility>

namespace brevio {

struct TImapEsearch {
    QByteArray Tag;  // the command's tag from "(TAG "C5")"; empty when the server named none
    bool Uid = false;
    QList<std::pair<quint32, quint32>> All;  // ascending within each range; empty when none matched

    // The UIDs the ranges hold (which may be billions for a hostile reply).
    qint64 Count() const;
};

// "1:3,5" to ranges, each ascending; nullopt when malformed or holding "*" (an answer names
// existing messages only).
std::optional<QList<std::pair<quint32, quint32>>> ParseUidRanges(const QByteArray& text);

// The response after "ESEARCH " ("(TAG "C5") UID ALL 1:3,5"); nullopt when it is malformed. Other
// result options (MIN, MAX, COUNT) are passed over.
std::optional<TImapEsearch> ParseEsearchResponse(const QByteArray& rest);

}  // namespace brevio
