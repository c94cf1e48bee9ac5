#pragma once
// How the message list shows the servers' spam verdicts: the Spam column's text, the row's tool
// tip, which rows stand out, and the sender lists that mark friends and spammers. It only draws
// what the rows carry; the verdicts were read by the check.

#include "engine/check_run.h"
#include "settings/sender_lists.h"
#include "support/string_table.h"

#include <QString>

namespace brevio {

class TSpamColumn {
public:
    void SetStrings(const TStringTable& strings) { strings_ = strings; }
    void SetSenderLists(TSenderLists lists) { lists_ = std::move(lists); }
    const TSenderLists& SenderLists() const { return lists_; }

    // "spam 7.5 ⚠", "ham -0.1", "friend ham 0.2", "spammer"; empty when the server said nothing
    // and the sender is on no list.
    QString CellText(const TMessageRow& row) const;
    // The details, one per line: the lists, the filter's verdict and score, SPF, DKIM and DMARC.
    QString ToolTip(const TMessageRow& row) const;
    // What Tick Suspected Spam ticks (see IsSuspectedSpam); such rows are drawn bold and italic.
    bool Suspected(const TMessageRow& row) const { return IsSuspectedSpam(row.Spam, row.FromAddress, lists_); }

private:
    QString Text(texts::TTextId id) const { return strings_.Text(id); }
    QString VerdictWord(const TSpamVerdict& verdict) const;
    QString AuthWord(TAuthResult result) const;

    TStringTable strings_;
    TSenderLists lists_;
};

}  // namespace brevio
