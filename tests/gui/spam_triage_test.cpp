// Spam triage in the window: the Spam column's texts and marks, Tick Suspected Spam from the
// menu, toolbar and keyboard, the sender lists from a row's menu and their dialog, and the
// option that hides the column.
#include <QApplication>
#include <QFont>
#include <QHeaderView>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>
#include <QtTest/QTest>
#include <gtest/gtest.h>

#include "main_window_fixture.h"
#include "settings/form_placement.h"
#include "ui/sender_lists_dialog.h"

namespace brevio::test {
namespace {

TSpamVerdict Verdict(TSpamJudgement judgement, double score = 0, TAuthResult dmarc = TAuthResult::Absent,
                     TAuthResult spf = TAuthResult::Absent)
{
    TSpamVerdict v;
    v.Judgement = judgement;
    v.Filter = judgement == TSpamJudgement::Unknown ? TSpamFilter::Unknown : TSpamFilter::Assassin;
    v.HasScore = judgement != TSpamJudgement::Unknown;
    v.Score = score;
    v.Dmarc = dmarc;
    v.Spf = spf;
    return v;
}

TMessageRow Row(const char* from, const TSpamVerdict& verdict)
{
    TMessageRow row = MessageRow(0, QStringLiteral("1"), QString::fromLatin1(from));
    row.FromAddress = QString::fromLatin1(from);
    row.Spam = verdict;
    return row;
}

// The settings every window test starts from: one friend's domain, one spammer.
const QByteArray kLists = "[Friends]\nSender1=friend.example\n[Spammers]\nSender1=eve@bad.example\n";

// One row per case: what the column says, whether the row stands out and Tick Suspected Spam
// takes it (the friend's spam never).
const struct {
    TMessageRow Message;
    const char* Cell;
    bool Suspected;
} kRows[] = {
    {Row("x@spam.example", Verdict(TSpamJudgement::Spam, 1000)), "spam 1000", true},
    {Row("ann@ham.example", Verdict(TSpamJudgement::Ham, -0.1)), "ham -0.1", false},
    {Row("x@forged.example", Verdict(TSpamJudgement::Ham, 0.5, TAuthResult::Fail)), "ham 0.5 ⚠", true},
    {Row("x@spf.example", Verdict(TSpamJudgement::Unknown, 0, TAuthResult::Pass, TAuthResult::Fail)), "⚠", false},
    {Row("bob@friend.example", Verdict(TSpamJudgement::Spam, 20, TAuthResult::Fail)), "friend spam 20 ⚠", false},
    {Row("eve@bad.example", {}), "spammer", true},
    {Row("quiet@nothing.example", {}), "", false},
};

TEST(SpamTriage, ColumnMarksAndTickSuspectedSpam)
{
    TWindowUnderTest w(kLists);
    TMessageListModel& model = *w.form->Messages();
    for (const auto& r : kRows)
        model.AppendRows({r.Message});
    model.SetTicked(1, true);  // a tick the command leaves alone
    w.form->actTickSpam->trigger();
    for (int i = 0; i < model.rowCount(); ++i) {
        SCOPED_TRACE(kRows[i].Message.From.toStdString());
        EXPECT_EQ(model.index(i, TMessageListModel::ColSpam).data().toString(), QString::fromUtf8(kRows[i].Cell));
        const QFont font = model.index(i, TMessageListModel::ColSubject).data(Qt::FontRole).value<QFont>();
        EXPECT_EQ(font.bold() && font.italic(), kRows[i].Suspected);
        EXPECT_EQ(model.IsTicked(i), kRows[i].Suspected || i == 1);
    }
    EXPECT_TRUE(model.index(4, 0).data(Qt::ToolTipRole).toString().contains(QStringLiteral("friends list")));
    EXPECT_EQ(model.index(6, 0).data(Qt::ToolTipRole).toString(), QStringLiteral("The server said nothing about spam"));
    EXPECT_EQ(model.index(2, 3).data(Qt::ToolTipRole).toString(),
              QStringLiteral("Spam filter SpamAssassin: ham\nScore 0.5\nSPF: not checked, DKIM: not checked, DMARC: "
                             "fail\nThe sender's domain does not vouch for this message"));
}

TEST(SpamTriage, CommandSitsInTheEditMenuTheToolbarAndOnCtrlM)
{
    TWindowUnderTest w(kLists);
    EXPECT_TRUE(w.form->findChild<QMenu*>(QStringLiteral("Edit1"))->actions().contains(w.form->actTickSpam));
    EXPECT_EQ(w.form->findChild<QToolButton*>(QStringLiteral("ToolButton11"))->defaultAction(), w.form->actTickSpam);
    w.form->show();
    QApplication::setActiveWindow(w.form.get());
    w.form->ListView1->setFocus();
    w.form->Messages()->AppendRows({kRows[0].Message, kRows[1].Message});
    QTest::keyClick(w.form->ListView1, Qt::Key_M, Qt::ControlModifier);
    EXPECT_EQ(Ticks(*w.form->Messages()), (QList<bool>{true, false}));
}

// Picks `caption` in the context menu of the list's first row.
void PickFromRowMenu(TForm1& form, const QString& caption)
{
    bool picked = false;
    QTimer::singleShot(0, [&] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        ASSERT_NE(menu, nullptr);
        for (QAction* action : menu->actions()) {
            if (action->text() == caption) {
                picked = true;
                action->trigger();
            }
        }
        menu->close();
    });
    const QPoint cell = form.ListView1->visualRect(form.Messages()->index(0, 1)).center();
    emit form.ListView1->customContextMenuRequested(cell);
    EXPECT_TRUE(picked) << caption.toStdString();
}

TEST(SpamTriage, RowMenuPutsTheSenderOrDomainOnAListAndFriendsWin)
{
    TWindowUnderTest w(kLists);
    w.form->show();
    TMessageListModel& model = *w.form->Messages();
    model.AppendRows({kRows[0].Message});
    PickFromRowMenu(*w.form, QStringLiteral("Never tick mail from this domain"));
    EXPECT_EQ(model.index(0, TMessageListModel::ColSpam).data().toString(), QStringLiteral("friend spam 1000"));
    w.form->actTickSpam->trigger();
    EXPECT_FALSE(model.IsTicked(0));
    PickFromRowMenu(*w.form, QStringLiteral("Always tick mail from this sender"));
    TSenderLists kept;
    kept.Load(w.settingsFile);
    EXPECT_EQ(kept.Entries(TSenderList::Friends),
              (QStringList{QStringLiteral("friend.example"), QStringLiteral("spam.example")}));
    EXPECT_EQ(kept.Entries(TSenderList::Spammers),
              (QStringList{QStringLiteral("eve@bad.example"), QStringLiteral("x@spam.example")}));
    // The domain is a friend's: the address on the spammers list does not count.
    w.form->actTickSpam->trigger();
    EXPECT_FALSE(model.IsTicked(0));
}

TEST(SpamTriage, DialogKeepsValidEntriesAndGivesAnEntryOnBothListsToTheFriends)
{
    TfrmSenderLists dialog(TSenderLists{});
    dialog.memFriends->setPlainText(QStringLiteral("Ann@Example.org\nnot an entry\n\n@friend.example"));
    dialog.memSpammers->setPlainText(QStringLiteral("ann@example.org\nbad.example"));
    const TSenderLists edited = dialog.Lists();
    EXPECT_EQ(edited.Entries(TSenderList::Friends),
              (QStringList{QStringLiteral("ann@example.org"), QStringLiteral("friend.example")}));
    EXPECT_EQ(edited.Entries(TSenderList::Spammers), QStringList{QStringLiteral("bad.example")});
}

// Hidden by the option, the column keeps the width the user gave it.
TEST(SpamTriage, OptionHidesTheColumnAndItsWidthIsKept)
{
    TWindowUnderTest w("[Listview Columns]\nForm1.ListView1_Count=9\nForm1.ListView18=123\n");
    EXPECT_EQ(w.form->ListView1->columnWidth(TMessageListModel::ColSpam), 123);
    *w.showSpamColumn = false;
    *w.optionsAccepted = true;
    w.form->actOptions->trigger();
    EXPECT_TRUE(w.form->ListView1->isColumnHidden(TMessageListModel::ColSpam));
    w.form = nullptr;  // saves the columns
    const QList<int> widths = LoadListViewColumns(TveqIniFile(w.settingsFile), QStringLiteral("Form1"),
                                                  QStringLiteral("ListView1"), QList<int>(9, 0));
    EXPECT_EQ(widths.value(TMessageListModel::ColSpam), 123);
}

}  // namespace
}  // namespace brevio::test
