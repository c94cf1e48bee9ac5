// The message list model: rows arrive a mailbox per insertion, ticks change as one change per
// command, and the ticked rows come back as values.
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
    EXPECT_TRUE(model.TickedRows().isEmpty());
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
    QStringList tickedSubjects;
    for (const TMessageRow& row : model.TickedRows())
        tickedSubjects.append(row.Subject);
    QStringList expected;
    for (int i = 0; i < c.After.size(); ++i)
        if (c.After[i])
            expected.append(Column(model, TMessageListModel::ColSubject)[i]);
    EXPECT_EQ(tickedSubjects, expected);
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
                  {true, true, false, true, false}, 1},
        // Only the first column holds a tick.
        TTickCase{"OtherColumnHasNoTick",
                  [](M& m) {
                      EXPECT_FALSE(m.setData(m.index(1, M::ColSubject), Qt::Checked, Qt::CheckStateRole));
                      EXPECT_FALSE(m.index(1, M::ColSubject).data(Qt::CheckStateRole).isValid());
                      EXPECT_FALSE(m.flags(m.index(1, M::ColSubject)).testFlag(Qt::ItemIsUserCheckable));
                  },
                  {true, false, false, true, false}, 0}),
    [](const auto& info) { return std::string(info.param.Name); });

}  // namespace
}  // namespace brevio::test
