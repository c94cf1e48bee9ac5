#pragma once
// One Authentication-Results header (RFC 8601): who wrote it and what SPF, DKIM and DMARC gave.

#include "mime/spam_verdict.h"

#include <QByteArray>
#include <QByteArrayView>

namespace brevio {

struct TAuthenticationResults {
    QByteArray AuthServId;  // as written, without quotes
    TAuthResult Spf = TAuthResult::Absent;
    TAuthResult Dkim = TAuthResult::Absent;
    TAuthResult Dmarc = TAuthResult::Absent;
};

// Reads a header's value. Comments are passed over, unknown methods and properties ignored;
// of several DKIM results a pass wins (one good signature is enough), of the others the first.
TAuthenticationResults ParseAuthenticationResults(QByteArrayView value);

// "pass", "FAIL", ... as a result; Other for a word RFC 8601 does not define.
TAuthResult AuthResultFromKeyword(QByteArrayView keyword);

// Fills the verdict's SPF, DKIM and DMARC results from the trusted header (see ReadSpamVerdict).
void ReadAuthenticationResults(const QList<QByteArray>& lines, QByteArrayView trustedAuthServId, TSpamVerdict& verdict);

}  // namespace brevio
