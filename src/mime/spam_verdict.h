#pragma once
// What the receiving servers said about a message: the spam filter's verdict and score, and the
// sender's SPF, DKIM and DMARC results. Read from the header lines already fetched, as a plain
// value that the message row carries; nothing is asked of any server.

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

namespace brevio {

enum class TSpamJudgement : quint8 { Unknown, Ham, Spam };

// The result of one authentication method (RFC 8601 §2.7); Absent when no trusted header named
// the method.
enum class TAuthResult : quint8 { Absent, None, Pass, Fail, SoftFail, Neutral, TempError, PermError, Policy, Other };

// Which filter's headers gave the verdict.
enum class TSpamFilter : quint8 { Unknown, Assassin, Rspamd };

struct TSpamVerdict {
    // The one-byte fields first, so a verdict takes 24 bytes of every listed message, not 40.
    TSpamJudgement Judgement = TSpamJudgement::Unknown;
    TSpamFilter Filter = TSpamFilter::Unknown;
    bool HasScore = false;
    bool HasThreshold = false;
    TAuthResult Spf = TAuthResult::Absent;
    TAuthResult Dkim = TAuthResult::Absent;
    TAuthResult Dmarc = TAuthResult::Absent;
    double Score = 0;
    double Threshold = 0;  // the score from which the filter calls a message spam

    bool operator==(const TSpamVerdict&) const = default;

    // The server said nothing at all.
    bool IsEmpty() const { return *this == TSpamVerdict{}; }
    // The sender's domain did not vouch for the message: DMARC or SPF failed.
    bool AuthenticationFailed() const { return Dmarc == TAuthResult::Fail || Spf == TAuthResult::Fail; }
    // What "tick suspected spam" takes on the verdict alone: the filter said spam, or DMARC failed.
    bool Suspected() const { return Judgement == TSpamJudgement::Spam || Dmarc == TAuthResult::Fail; }
};

// Reads the verdict from a message's header lines. The topmost header of each kind wins: it is
// the one the receiving server added, and a sender can put any header below it. Results of
// Authentication-Results come from the topmost such header, or, when `trustedAuthServId` is not
// empty, from the topmost one that names that authserv-id (and from none when none does), as
// RFC 8601 §5 advises. Lenient: what cannot be read is left out; never throws; time linear in
// the lines' bytes.
TSpamVerdict ReadSpamVerdict(const QList<QByteArray>& lines, QByteArrayView trustedAuthServId = {});

// The result's keyword as RFC 8601 writes it ("pass", "fail", ...); empty for Absent.
QByteArray AuthResultKeyword(TAuthResult result);
// "spam", "ham" or empty: the verdict as machines read it (brevio-check).
QByteArray JudgementKeyword(TSpamJudgement judgement);
// The score with at most two decimals and no trailing zeros ("5.3", "-0.1", "12").
QString SpamScoreText(double score);

}  // namespace brevio
