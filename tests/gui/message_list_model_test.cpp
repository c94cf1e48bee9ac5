// The message list model: rows arrive a mailbox per insertion, a very large mailbox in pieces
// over several event-loop turns, ticks change as one change per command, and the ticked rows
// move out as values.
#include <QSignalSpy>
#include <functional>
#include <gtest/gtest.h>

#include "main_window_fixture.h"

namespace brevio::test {
namespace {

// Two mailboxes: three rows, then two.
void FillTwoMailboxes(TMessageListModel& model)
{
    model.AppendRows({MessageRow(0, "1", "a"), MessageRow(0, "2", "b"), MessageRow(0, "3", "c")});
    model.AppendRows({MessageRow(1, "1", "d"), MessageRow(1, "2", "e")});
}

TEST(MessageListModel, EachAppendIsOneInsertionOfUntickedRows)
{
    TMessageListModel model;
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    FillTwoMailboxes(model);
    model.AppendRows({});
    ASSERT_EQ(inserted.count(), 2);
    EXPECT_EQ(inserted[0][1].toInt(), 0);
    EXPECT_EQ(inserted[0][2].toInt(), 2);
    EXPECT_EQ(inserted[1][1].toInt(), 3);
    EXPECT_EQ(inserted[1][2].toInt(), 4);
    EXPECT_EQ(Column(model, TMessageListModel::ColSubject), (QStringList{"a", "b", "c", "d", "e"}));
    EXPECT_EQ(Ticks(model), (QList<bool>(5, false)));

    model.TickAll();
    model.AppendRows({MessageRow(2, "1", "f")});
    EXPECT_EQ(Ticks(model).last(), false);

    QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
    model.Clear();
    EXPECT_EQ(reset.count(), 1);
    EXPECT_EQ(model.rowCount(), 0);
    EXPECT_TRUE(model.TakeTickedRows().isEmpty());
}

// Rows of `count` messages of mailbox `mailBox`, subjects "<mailBox>.<number>".
QList<TMessageRow> MailBoxRows(int mailBox, int count)
{
    QList<TMessageRow> rows;
    for (int i = 1; i <= count; ++i)
        rows.append(MessageRow(mailBox, QString::number(i), QStringLiteral("%1.%2").arg(mailBox).arg(i)));
    return rows;
}

// Queued mailboxes go in from the event loop in their order, a small one in one insertion, a
// large one in pieces of at most FeedRows rows; Filled() comes once, after the last.
TEST(MessageListModel, QueuedMailboxesGoInInOrderAndALargeOneInPieces)
{
    constexpr int Large = int(TMessageListModel::FeedRows) * 2 + 5;
    TMessageListModel model;
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    QSignalSpy filled(&model, &TMessageListModel::Filled);
    QList<QString> expected;
    const QList<std::pair<int, int>> mailBoxes{{0, 3}, {1, Large}, {2, 0}, {3, 2}};
    for (const auto& [box, count] : mailBoxes) {
        const QList<TMessageRow> rows = MailBoxRows(box, count);
        model.QueueRows(rows);
        for (const TMessageRow& row : rows)
            expected.append(row.Subject);
    }
    EXPECT_EQ(model.rowCount(), 0);  // nothing goes in before the event loop runs
    EXPECT_TRUE(model.IsFilling());
    ASSERT_TRUE(filled.wait(10000));
    EXPECT_FALSE(model.IsFilling());
    EXPECT_EQ(filled.count(), 1);
    EXPECT_EQ(Column(model, TMessageListModel::ColSubject), expected);
    EXPECT_EQ(Ticks(model), QList<bool>(expected.size(), false));
    QList<std::pair<int, int>> ranges;
    for (const QList<QVariant>& args : std::as_const(inserted))
        ranges.append({args[1].toInt(), args[2].toInt()});
    const int f = int(TMessageListModel::FeedRows);
    EXPECT_EQ(ranges,
              (QList<std::pair<int, int>>{
                  {0, 2}, {3, f + 2}, {f + 3, 2 * f + 2}, {2 * f + 3, 2 * f + 7}, {2 * f + 8, 2 * f + 9}}));
}

// Emptying the list while rows are still queued drops them: nothing more goes in, and no
// Filled() follows. Taking the ticked rows empties it the same way.
TEST(MessageListModel, EmptyingTheListDropsWhatIsQueued)
{
    for (const bool take : {false, true}) {
        SCOPED_TRACE(take ? "TakeTickedRows" : "Clear");
        constexpr int Large = int(TMessageListModel::FeedRows) * 4;
        TMessageListModel model;
        QSignalSpy filled(&model, &TMessageListModel::Filled);
        model.QueueRows(MailBoxRows(0, Large));
        // One pass of the event loop at a time, to stop while the mailbox is partly in.
        QDeadlineTimer deadline(10000);
        while (model.rowCount() == 0 && !deadline.hasExpired())
            QCoreApplication::processEvents();
        ASSERT_GT(model.rowCount(), 0);
        ASSERT_LT(model.rowCount(), Large);
        const int listed = model.rowCount();
        model.TickAll();
        if (take)
            EXPECT_EQ(model.TakeTickedRows().size(), listed);
        else
            model.Clear();
        EXPECT_FALSE(model.IsFilling());
        EXPECT_FALSE(filled.wait(100));
        EXPECT_EQ(model.rowCount(), 0);
    }
}

struct TTickCase {
    const char* Name;
    std::function<void(TMessageListModel&)> Act;
    QList<bool> After;  // from the ticks {1, 0, 0, 1, 0}
    int Changes;        // dataChanged signals
};

class TickCommands : public ::testing::TestWithParam<TTickCase> {};

TEST_P(TickCommands, ChangeTheTicksInOneStep)
{
    const TTickCase& c = GetParam();
    TMessageListModel model;
    FillTwoMailboxes(model);
    model.SetTicked(0, true);
    model.SetTicked(3, true);
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    c.Act(model);
    EXPECT_EQ(Ticks(model), c.After);
    EXPECT_EQ(changed.count(), c.Changes);
    QStringList expected;
    for (int i = 0; i < c.After.size(); ++i)
        if (c.After[i])
            expected.append(Column(model, TMessageListModel::ColSubject)[i]);
    // Taking the ticked rows empties the list in one reset, without a signal per row.
    QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
    QSignalSpy removed(&model, &QAbstractItemModel::rowsRemoved);
    QStringList tickedSubjects;
    for (const TMessageRow& row : model.TakeTickedRows())
        tickedSubjects.append(row.Subject);
    EXPECT_EQ(tickedSubjects, expected);
    EXPECT_EQ(model.rowCount(), 0);
    EXPECT_EQ(reset.count(), 1);
    EXPECT_EQ(removed.count(), 0);
}

using M = TMessageListModel;
INSTANTIATE_TEST_SUITE_P(
    Cases, TickCommands,
    ::testing::Values(
        TTickCase{"TickAll", [](M& m) { m.TickAll(); }, {true, true, true, true, true}, 1},
        TTickCase{"UntickAll", [](M& m) { m.UntickAll(); }, {false, false, false, false, false}, 1},
        TTickCase{"Invert", [](M& m) { m.InvertTicks(); }, {false, true, true, false, true}, 1},
        TTickCase{"ToggleOne", [](M& m) { m.ToggleTick(4); }, {true, false, false, true, true}, 1},
        TTickCase{"SameTickIsNoChange", [](M& m) { m.SetTicked(0, true); }, {true, false, false, true, false}, 0},
        // The view's check box sets the check state of the first column.
        TTickCase{"CheckBoxClick",
                  [](M& m) { EXPECT_TRUE(m.setData(m.index(1, 0), Qt::Checked, Qt::CheckStateRole)); },
                  {true, true, false, true, false},
                  1},
        // Only the first column holds a tick.
        TTickCase{"OtherColumnHasNoTick",
                  [](M& m) {
                      EXPECT_FALSE(m.setData(m.index(1, M::ColSubject), Qt::Checked, Qt::CheckStateRole));
                      EXPECT_FALSE(m.index(1, M::ColSubject).data(Qt::CheckStateRole).isValid());
                      EXPECT_FALSE(m.flags(m.index(1, M::ColSubject)).testFlag(Qt::ItemIsUserCheckable));
                  },
                  {true, false, false, true, false},
                  0}),
    [](const auto& tested) { return std::string(tested.param.Name); });

// A row of mailbox `box` (id box + 1) whose identity is its subject.
TMessageRow IdentifiedRow(int box, const char* subject)
{
    TMessageRow row = MessageRow(box, QStringLiteral("1"), QLatin1String(subject));
    row.MailBoxId = quint64(box) + 1;
    row.Id.UniqueId = subject;
    return row;
}

struct TReplaceCase {
    const char* Name;
    QList<TMessageRow> Before;
    QList<int> Ticked;  // rows of Before ticked
    int MailBox;        // replaced: the mailbox at this index (id + 1)
    QList<TMessageRow> Rows;
    QStringList After;
    QList<bool> Ticks;
};

// ctest names the case by its name, not by its bytes.
void PrintTo(const TReplaceCase& c, std::ostream* out)
{
    *out << c.Name;
}

class ReplaceMailBoxRows : public ::testing::TestWithParam<TReplaceCase> {};

// A watched mailbox's check replaces its rows where they were; a message still listed keeps its tick.
TEST_P(ReplaceMailBoxRows, KeepsPlaceAndTicks)
{
    const TReplaceCase& c = GetParam();
    TMessageListModel model;
    model.AppendRows(c.Before);
    for (int row : c.Ticked)
        model.SetTicked(row, true);
    model.ReplaceMailBoxRows(quint64(c.MailBox) + 1, c.MailBox, c.Rows);
    EXPECT_EQ(Column(model, TMessageListModel::ColSubject), c.After);
    EXPECT_EQ(Ticks(model), c.Ticks);
}

const QList<TMessageRow> kThreeBoxes{IdentifiedRow(0, "a"), IdentifiedRow(0, "b"), IdentifiedRow(1, "c"),
                                     IdentifiedRow(1, "d"), IdentifiedRow(2, "e")};
const QList<TMessageRow> kNoMiddleBox{IdentifiedRow(0, "a"), IdentifiedRow(2, "e")};

INSTANTIATE_TEST_SUITE_P(
    Cases, ReplaceMailBoxRows,
    ::testing::Values(TReplaceCase{"MiddleMailBox",
                                   kThreeBoxes,
                                   {0, 2, 3},
                                   1,
                                   {IdentifiedRow(1, "d"), IdentifiedRow(1, "x")},
                                   {"a", "b", "d", "x", "e"},
                                   {true, false, true, false, false}},
                      TReplaceCase{"EmptiedMailBox", kThreeBoxes, {4}, 1, {}, {"a", "b", "e"}, {false, false, true}},
                      TReplaceCase{"FirstRowsOfAMailBoxGoBeforeTheNext",
                                   kNoMiddleBox,
                                   {},
                                   1,
                                   {IdentifiedRow(1, "x")},
                                   {"a", "x", "e"},
                                   {false, false, false}},
                      TReplaceCase{"FirstRowsOfTheLastMailBox",
                                   kNoMiddleBox,
                                   {1},
                                   3,
                                   {IdentifiedRow(3, "y")},
                                   {"a", "e", "y"},
                                   {false, true, false}}),
    [](const auto& tested) { return std::string(tested.param.Name); });

}  // namespace
}  // namespace brevio::test
