// Keys pressed in the main window: ticking with Space in any column, the tick commands' keys,
// and Escape after a menu has been closed with Escape.
#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <QTreeView>
#include <QtTest/QTest>
#include <gtest/gtest.h>

#include "fake_pop3_server.h"
#include "main_window_fixture.h"

namespace brevio::test {
namespace {

// A shown, active window listing three rows of one mailbox, the first one ticked.
struct TListedWindow {
    TListedWindow()
    {
        w.form->show();
        QApplication::setActiveWindow(w.form.get());
        w.form->ListView1->setFocus();
        Model().AppendRows({MessageRow(0, "1", "a"), MessageRow(0, "2", "b"), MessageRow(0, "3", "c")});
        Model().SetTicked(0, true);
    }
    TMessageListModel& Model() { return *w.form->Messages(); }

    TWindowUnderTest w{""};
};

TEST(MainWindowKeys, SpaceAndDoubleClickTickTheCurrentRowWhateverColumnHasTheFocus)
{
    TListedWindow l;
    for (int column : {0, 1, 7}) {
        l.w.form->ListView1->setCurrentIndex(l.Model().index(1, column));
        QTest::keyClick(l.w.form->ListView1, Qt::Key_Space);
        EXPECT_EQ(Ticks(l.Model()), (QList<bool>{true, true, false})) << "column " << column;
        QTest::keyClick(l.w.form->ListView1, Qt::Key_Space);
        EXPECT_EQ(Ticks(l.Model()), (QList<bool>{true, false, false})) << "column " << column;
    }
    // A double click as the window system delivers it: press, release, double click, release.
    QWidget* viewport = l.w.form->ListView1->viewport();
    const QPoint cell = l.w.form->ListView1->visualRect(l.Model().index(2, 1)).center();
    QTest::mouseClick(viewport, Qt::LeftButton, {}, cell);
    QTest::mouseDClick(viewport, Qt::LeftButton, {}, cell);
    QTest::mouseRelease(viewport, Qt::LeftButton, {}, cell);
    EXPECT_EQ(Ticks(l.Model()), (QList<bool>{true, false, true}));
}

struct TKeyCase {
    const char* Name;
    Qt::Key Key;
    Qt::KeyboardModifiers Modifiers;
    QList<bool> After;  // from the ticks {1, 0, 0}
};

class TickKeys : public ::testing::TestWithParam<TKeyCase> {};

// The keypad's star arrives with the keypad modifier; it must invert once, not twice through
// both the window's key watch and the action's shortcut.
TEST_P(TickKeys, RunTheirCommandFromTheList)
{
    const TKeyCase& c = GetParam();
    TListedWindow l;
    QTest::keyClick(l.w.form->ListView1, c.Key, c.Modifiers);
    EXPECT_EQ(Ticks(l.Model()), c.After);
}

INSTANTIATE_TEST_SUITE_P(
    Keys, TickKeys,
    ::testing::Values(TKeyCase{"CtrlA", Qt::Key_A, Qt::ControlModifier, {true, true, true}},
                      TKeyCase{"CtrlU", Qt::Key_U, Qt::ControlModifier, {false, false, false}},
                      TKeyCase{"KeypadStar", Qt::Key_Asterisk, Qt::KeypadModifier, {false, true, true}}),
    [](const auto& tested) { return std::string(tested.param.Name); });

// A menu of the menu bar closed with Esc leaves the bar in keyboard mode, and the bar would keep
// the next Esc for itself: that Esc must still abort the check.
TEST(MainWindowKeys, FirstEscapeAfterAMenuClosedWithEscapeAbortsTheCheck)
{
    TFakePop3Server silent({}, /*silent=*/true);
    TWindowUnderTest w("[Main]\n" + MailBoxLines({{"Hangs", silent.Port()}}));
    w.form->show();
    QApplication::setActiveWindow(w.form.get());
    QSignalSpy finished(w.form.get(), &TForm1::RunFinished);
    w.form->actCheckMail->trigger();
    ASSERT_TRUE(WaitUntil([&] { return silent.Connections() > 0; }));

    QMenuBar* bar = w.form->menuBar();
    auto* file = w.form->findChild<QMenu*>(QStringLiteral("File1"));
    ASSERT_NE(file, nullptr);
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->actionGeometry(file->menuAction()).center());
    ASSERT_TRUE(WaitUntil([&] { return file->isVisible(); }));
    QTest::keyClick(file, Qt::Key_Escape);
    ASSERT_FALSE(file->isVisible());
    // The Esc that closed the menu was the menu's own.
    EXPECT_TRUE(w.form->RunInProgress());
    ASSERT_EQ(QApplication::focusWidget(), bar);

    QTest::keyClick(bar, Qt::Key_Escape);
    EXPECT_EQ(w.form->StatusText(), QStringLiteral("Aborted by user"));
    ASSERT_TRUE(finished.count() > 0 || finished.wait(60000));
    EXPECT_EQ(w.form->Messages()->rowCount(), 0);
}

}  // namespace
}  // namespace brevio::test
