#pragma once
// The VANISHED response (RFC 7162 §3.2.10): the UIDs of expunged messages, sent instead of
// EXPUNGE once QRESYNC is enabled, and with "(EARLIER)" in answer to a UID FETCH with the
// VANISHED modifier.

#include <QByteArray>
#include <QList>

#include <optional>
#include <utility>

namespace brevio {

struct TImapVanished {
    bool Earlier = false;                       // "(EARLIER)": expunged before this command
    QList<std::pair<quint32, quint32>> Ranges;  // ascending within each range
};

// The response after "VANISHED " ("(EARLIER) 3:5,9"); nullopt when it is malformed (no UIDs,
// "*", a zero, or anything after the set).
std::optional<TImapVanished> ParseVanishedResponse(const QByteArray& rest);

}  // namespace brevio
