#include "mime/spam_verdict.h"

#include "mime/authentication_results.h"
#include "mime/header_lookup.h"

#include <cmath>
#include <optional>

namespace brevio {

namespace {

// Scores beyond this are no score a filter writes; such a value is left out.
constexpr double kMaxScore = 1e6;
// A number in a header has at most this many characters; a longer one is left out.
constexpr qsizetype kMaxNumberChars = 16;

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// A decimal number at the start of `text` ("-0.1", "+5", "15.00"), without the locale's help.
std::optional<double> LeadingNumber(QByteArrayView text)
{
    qsizetype end = 0;
    if (end < text.size() && (text[end] == '-' || text[end] == '+'))
        ++end;
    const qsizetype digitsFrom = end;
    while (end < text.size() && end <= kMaxNumberChars && (IsDigit(text[end]) || text[end] == '.'))
        ++end;
    if (end == digitsFrom || end > kMaxNumberChars)
        return std::nullopt;
    bool ok = false;
    const double value = text.first(end).toByteArray().toDouble(&ok);
    if (!ok || !std::isfinite(value) || std::fabs(value) > kMaxScore)
        return std::nullopt;
    return value;
}

// The number after `key` ("score=") where the key starts a word of `value`.
std::optional<double> NumberAfter(const QByteArray& value, QByteArrayView key)
{
    for (qsizetype at = value.indexOf(key); at >= 0; at = value.indexOf(key, at + 1)) {
        if (at == 0 || IsBlank(value[at - 1]) || value[at - 1] == ',' || value[at - 1] == ';')
            return LeadingNumber(QByteArrayView(value).sliced(at + key.size()));
    }
    return std::nullopt;
}

// "Yes"/"True" or "No"/"False" as the first word of `value` (up to a blank, comma or bracket).
TSpamJudgement YesOrNo(QByteArrayView value)
{
    qsizetype end = 0;
    while (end < value.size() && !IsBlank(value[end]) && value[end] != ',' && value[end] != '[' && value[end] != ';')
        ++end;
    const QByteArrayView word = value.first(end);
    if (word.compare("yes", Qt::CaseInsensitive) == 0 || word.compare("true", Qt::CaseInsensitive) == 0)
        return TSpamJudgement::Spam;
    if (word.compare("no", Qt::CaseInsensitive) == 0 || word.compare("false", Qt::CaseInsensitive) == 0)
        return TSpamJudgement::Ham;
    return TSpamJudgement::Unknown;
}

// One filter's findings before they are merged.
struct TFilterFindings {
    TSpamJudgement Judgement = TSpamJudgement::Unknown;
    std::optional<double> Score;
    std::optional<double> Threshold;
};

TFilterFindings ReadAssassin(const QList<QByteArray>& lines)
{
    TFilterFindings found;
    const QByteArray flag = HeaderValue(lines, "X-Spam-Flag");
    const QByteArray status = HeaderValue(lines, "X-Spam-Status");
    found.Judgement = YesOrNo(flag);
    if (found.Judgement == TSpamJudgement::Unknown)
        found.Judgement = YesOrNo(status);
    found.Score = NumberAfter(status, "score=");
    if (!found.Score)
        found.Score = NumberAfter(status, "hits=");  // the older name
    found.Threshold = NumberAfter(status, "required=");
    if (!found.Score)
        found.Score = LeadingNumber(HeaderValue(lines, "X-Spam-Score"));
    if (!found.Score) {
        // One star per whole point; only a lower bound, used when nothing better is there.
        const qsizetype stars = HeaderValue(lines, "X-Spam-Level").count('*');
        if (stars > 0)
            found.Score = double(std::min<qsizetype>(stars, qsizetype(kMaxScore)));
    }
    return found;
}

// rspamd writes "X-Spamd-Result: default: True [16.20 / 15.00]; SYMBOL(1.00)[...]; ...".
TFilterFindings ReadRspamd(const QList<QByteArray>& lines)
{
    TFilterFindings found;
    const QByteArray result = HeaderValue(lines, "X-Spamd-Result");
    const qsizetype open = result.indexOf('[');
    const qsizetype firstSemicolon = result.indexOf(';');
    if (open >= 0 && (firstSemicolon < 0 || open < firstSemicolon)) {
        // The word before the bracket, after the optional "default:" of the settings' name.
        const qsizetype colon = result.lastIndexOf(':', open);
        found.Judgement = YesOrNo(QByteArrayView(result).sliced(colon + 1, open - colon - 1).trimmed());
        const QByteArrayView inside = QByteArrayView(result).sliced(open + 1).trimmed();
        found.Score = LeadingNumber(inside);
        const qsizetype slash = inside.indexOf('/');
        const qsizetype close = inside.indexOf(']');
        if (slash >= 0 && (close < 0 || slash < close))
            found.Threshold = LeadingNumber(inside.sliced(slash + 1).trimmed());
    }
    if (found.Judgement == TSpamJudgement::Unknown)
        found.Judgement = YesOrNo(HeaderValue(lines, "X-Spam"));
    if (!found.Score)
        found.Score = LeadingNumber(HeaderValue(lines, "X-Rspamd-Score"));
    return found;
}

}  // namespace

TSpamVerdict ReadSpamVerdict(const QList<QByteArray>& lines, QByteArrayView trustedAuthServId)
{
    TSpamVerdict verdict;
    const TFilterFindings assassin = ReadAssassin(lines);
    const TFilterFindings rspamd = ReadRspamd(lines);
    // Either filter calling it spam makes it spam; the one that judged gives the score.
    const TFilterFindings* judged = nullptr;
    if (assassin.Judgement == TSpamJudgement::Spam || rspamd.Judgement == TSpamJudgement::Spam)
        judged = assassin.Judgement == TSpamJudgement::Spam ? &assassin : &rspamd;
    else if (assassin.Judgement == TSpamJudgement::Ham || rspamd.Judgement == TSpamJudgement::Ham)
        judged = assassin.Judgement == TSpamJudgement::Ham ? &assassin : &rspamd;
    else if (assassin.Score || rspamd.Score)
        judged = assassin.Score ? &assassin : &rspamd;
    if (judged) {
        verdict.Judgement = judged->Judgement;
        verdict.Filter = judged == &assassin ? TSpamFilter::Assassin : TSpamFilter::Rspamd;
        verdict.HasScore = judged->Score.has_value();
        verdict.Score = judged->Score.value_or(0);
        verdict.HasThreshold = judged->Threshold.has_value();
        verdict.Threshold = judged->Threshold.value_or(0);
    }
    ReadAuthenticationResults(lines, trustedAuthServId, verdict);
    return verdict;
}

QByteArray JudgementKeyword(TSpamJudgement judgement)
{
    switch (judgement) {
    case TSpamJudgement::Spam:
        return "spam";
    case TSpamJudgement::Ham:
        return "ham";
    default:
        return {};
    }
}

QString SpamScoreText(double score)
{
    QString text = QString::number(score, 'f', 2);
    while (text.endsWith(u'0'))
        text.chop(1);
    if (text.endsWith(u'.'))
        text.chop(1);
    return text == QStringLiteral("-0") ? QStringLiteral("0") : text;
}

}  // namespace brevio
