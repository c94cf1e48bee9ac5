#include "ui/spam_column.h"

#include "support/text_format.h"

#include <QStringList>

namespace brevio {

QString TSpamColumn::VerdictWord(const TSpamVerdict& verdict) const
{
    switch (verdict.Judgement) {
    case TSpamJudgement::Spam:
        return Text(texts::SpamVerdictSpam);
    case TSpamJudgement::Ham:
        return Text(texts::SpamVerdictHam);
    default:
        return {};
    }
}

QString TSpamColumn::AuthWord(TAuthResult result) const
{
    // The results are RFC 8601's own keywords, the same in every language.
    return result == TAuthResult::Absent ? Text(texts::SpamResultAbsent)
                                         : QString::fromLatin1(AuthResultKeyword(result));
}

QString TSpamColumn::CellText(const TMessageRow& row) const
{
    QStringList parts;
    const TSenderStanding standing = lists_.StandingOf(row.FromAddress);
    if (standing == TSenderStanding::Friend)
        parts.append(Text(texts::SpamFriend));
    else if (standing == TSenderStanding::Spammer)
        parts.append(Text(texts::SpamSpammer));
    const TSpamVerdict& verdict = row.Spam;
    if (const QString word = VerdictWord(verdict); !word.isEmpty())
        parts.append(word);
    if (verdict.HasScore)
        parts.append(SpamScoreText(verdict.Score));
    if (verdict.AuthenticationFailed())
        parts.append(Text(texts::SpamAuthFailedMark));
    return parts.join(u' ');
}

QString TSpamColumn::ToolTip(const TMessageRow& row) const
{
    QStringList lines;
    const TSenderStanding standing = lists_.StandingOf(row.FromAddress);
    if (standing == TSenderStanding::Friend)
        lines.append(Text(texts::SpamTipFriend));
    else if (standing == TSenderStanding::Spammer)
        lines.append(Text(texts::SpamTipSpammer));
    const TSpamVerdict& v = row.Spam;
    if (v.IsEmpty()) {
        lines.append(Text(texts::SpamTipNothing));
        return lines.join(u'\n');
    }
    const QString filter = Text(v.Filter == TSpamFilter::Rspamd ? texts::SpamFilterRspamd : texts::SpamFilterAssassin);
    if (v.Judgement != TSpamJudgement::Unknown)
        lines.append(FormatText(Text(texts::SpamTipFilter), {filter, VerdictWord(v)}));
    if (v.HasScore && v.HasThreshold)
        lines.append(FormatText(Text(texts::SpamTipScore), {SpamScoreText(v.Score), SpamScoreText(v.Threshold)}));
    else if (v.HasScore)
        lines.append(FormatText(Text(texts::SpamTipScoreOnly), {SpamScoreText(v.Score)}));
    if (v.Spf != TAuthResult::Absent || v.Dkim != TAuthResult::Absent || v.Dmarc != TAuthResult::Absent)
        lines.append(
            FormatText(Text(texts::SpamTipAuthentication), {AuthWord(v.Spf), AuthWord(v.Dkim), AuthWord(v.Dmarc)}));
    if (v.AuthenticationFailed())
        lines.append(Text(texts::SpamTipAuthFailed));
    return lines.join(u'\n');
}

}  // namespace brevio
