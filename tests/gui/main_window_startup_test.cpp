// Start-up from a prepared settings file, the hidden start, and the saves at exit.
#include <QHeaderView>
#include <QMenu>
#include <QToolButton>
#include <QTreeView>
#include <QTimer>
#include <gtest/gtest.h>
#include <limits>

#include "components/panel.h"
#include "components/tray_icon.h"
#include "main_window_fixture.h"
#include "components/footer.h"
#include "ui/mailbox_editor.h"

#include <QLineEdit>
#include <QtTest/QTest>

namespace brevio::test {
namespace {

struct TPlacementCase {
    const char* Name;
    const char* Value;
    bool Maximized;
    QPoint Position;
    QSize Size;
};

class StoredPlacement : public ::testing::TestWithParam<TPlacementCase> {};

TEST_P(StoredPlacement, IsAppliedToTheWindow)
{
    const TPlacementCase& c = GetParam();
    TWindowUnderTest w("[Forms Placement]\nForm1=" + QByteArray(c.Value) + "\n");
    EXPECT_EQ(w.form->windowState().testFlag(Qt::WindowMaximized), c.Maximized);
    if (c.Maximized) {
        // Restoring a maximized window gives the stored normal bounds.
        w.form->showNormal();
        EXPECT_FALSE(w.form->isMaximized());
    }
    EXPECT_EQ(w.form->pos(), c.Position);
    // No stored size: the default one, which depends on the font.
    EXPECT_EQ(w.form->size(), c.Size.isValid() ? c.Size : TWindowUnderTest("").form->size());
}

INSTANTIATE_TEST_SUITE_P(
    Values, StoredPlacement,
    ::testing::Values(TPlacementCase{"Maximized", "1;[10,10];300;200", true, {10, 10}, {300, 200}},
                      TPlacementCase{"NegativeLeftClamped", "0;[-40,15];500;400", false, {0, 15}, {500, 400}},
                      TPlacementCase{"PositionOnly", "0;[10,20]", false, {10, 20}, {}},
                      TPlacementCase{"NoBrackets", "0;10,20;500;400", false, {10, 20}, {500, 400}},
                      TPlacementCase{"NoCommaFallsBackToOrigin", "0;[10 20];500;400", false, {0, 0}, {500, 400}},
                      TPlacementCase{"NoStoredValue", "", false, {192, 205}, {}}),
    [](const auto& tested) { return std::string(tested.param.Name); });

TEST(MainWindowStart, DefaultColumnsShowTheirTextsAndFitTheWindow)
{
    TWindowUnderTest w("");
    QTreeView& list = *w.form->ListView1;
    const QFontMetrics metrics = list.fontMetrics();
    const QLocale locale;
    int total = 0;
    for (int i = 0; i < TMessageListModel::ColumnCount; ++i)
        total += list.columnWidth(i);
    EXPECT_LE(total, w.form->width());
    for (int month = 1; month <= 12; ++month)
        EXPECT_GT(list.columnWidth(TMessageListModel::ColDate),
                  metrics.horizontalAdvance(locale.toString(QDate(2026, month, 28), QLocale::ShortFormat)));
    EXPECT_GT(list.columnWidth(TMessageListModel::ColTime),
              metrics.horizontalAdvance(locale.toString(QTime(23, 58, 58), QLocale::LongFormat)));
}

TEST(MainWindowStart, AppliesStoredColumnsAndBuildsTheMailboxMenu)
{
    QByteArray text = "[Main]\n" + MailBoxLines({{"Home"}, {"Work"}, {"Spare"}});
    text += "[Listview Columns]\nForm1.ListView1_Count=10\n";
    for (int i = 0; i < 10; ++i)
        text += "Form1.ListView1" + QByteArray::number(i) + "=" + QByteArray::number(60 + i) + "\n";
    TWindowUnderTest w(text);
    for (int i = 0; i < TMessageListModel::ColumnCount; ++i)
        EXPECT_EQ(w.form->ListView1->columnWidth(i), 60 + i) << "column " << i;
    EXPECT_EQ(w.form->ListView1->header()->count(), TMessageListModel::ColumnCount);
    ASSERT_EQ(w.form->pmCheckMailBox->actions().size(), 3);
    EXPECT_TRUE(w.form->pmCheckMailBox->actions()[1]->text().contains(QStringLiteral("Work")));
    EXPECT_EQ(w.form->windowTitle(), QStringLiteral("VEQ labs Brevio v" BREVIO_VERSION));
    EXPECT_FALSE(w.form->pnlNoNewMeassages->isVisibleTo(w.form.get()));
    EXPECT_FALSE(w.form->pnlAbortInfo->isVisibleTo(w.form.get()));
    EXPECT_EQ(w.Counter("Start"), 1);
}

TEST(MainWindowStart, NoMailboxKeyGivesAnEmptyMenu)
{
    TWindowUnderTest w("");
    EXPECT_TRUE(w.form->pmCheckMailBox->actions().isEmpty());
}

TEST(MainWindowStart, ComponentsCarryTheirNames)
{
    TWindowUnderTest w("");
    for (const char* name : {"ToolBar1",
                             "btn3",
                             "btn5",
                             "btn1",
                             "ToolButton1",
                             "ToolButton2",
                             "ToolButton3",
                             "ToolButton8",
                             "ToolButton4",
                             "ToolButton10",
                             "btnShowStats",
                             "ListView1",
                             "StatusBar1",
                             "pnlNoNewMeassages",
                             "pnlAbortInfo",
                             "imgEscape",
                             "lblToAbort",
                             "pmTrayPopup",
                             "pmCheckMailBox",
                             "tmrMailChecking",
                             "actCheckMail",
                             "actDelete",
                             "actCheckAll",
                             "actUnCheckAll",
                             "actInvert",
                             "actMailBoxList",
                             "actOptions",
                             "actRunEmailClient",
                             "actShowStats",
                             "actExit",
                             "actHelpContents",
                             "actOpenHomePage",
                             "actAbout",
                             "Restore1",
                             "Mimimize1"})
        EXPECT_NE(w.form->findChild<QObject*>(QLatin1String(name)), nullptr) << name;
    EXPECT_EQ(w.form->btn3->width(), 44);
    EXPECT_EQ(w.form->actInvert->shortcut(), QKeySequence(Qt::KeypadModifier | Qt::Key_Asterisk));
}

struct THiddenStartCase {
    const char* Name;
    bool StartHidden;
    int TrayAvailable;
    bool ExpectVisible;
    bool ExpectMinimized;
};

class StartState : public ::testing::TestWithParam<THiddenStartCase> {};

TEST_P(StartState, WindowStaysReachable)
{
    const THiddenStartCase& c = GetParam();
    TWindowUnderTest w("", c.StartHidden, c.TrayAvailable);
    w.form->ShowAtStart();
    EXPECT_EQ(w.form->isVisible(), c.ExpectVisible);
    EXPECT_EQ(w.form->isMinimized(), c.ExpectMinimized);
    if (c.StartHidden && !c.TrayAvailable) {
        EXPECT_TRUE(w.form->StatusText().contains(QStringLiteral("tray")));
    }
}

INSTANTIATE_TEST_SUITE_P(Starts, StartState,
                         ::testing::Values(THiddenStartCase{"Shown", false, 1, true, false},
                                           THiddenStartCase{"TrayOnly", true, 1, false, false},
                                           THiddenStartCase{"NoTrayShowsMinimized", true, 0, true, true}),
                         [](const auto& tested) { return std::string(tested.param.Name); });

TEST(MainWindowTray, ClickHidesAndRestores)
{
    TWindowUnderTest w("", false, 1);
    w.form->ShowAtStart();
    w.form->TrayIcon1->HandleClick();
    EXPECT_FALSE(w.form->isVisible());
    w.form->TrayIcon1->HandleClick();
    EXPECT_TRUE(w.form->isVisible());
}

TEST(MainWindowTray, TipIsTheCaptionCutTo63)
{
    TWindowUnderTest w("");
    w.form->TrayIcon1->SetHint(QString(80, QLatin1Char('x')));
    EXPECT_EQ(w.form->TrayIcon1->TipText().size(), 63);
}

TEST(MainWindowClose, SavesPlacementMailboxesColumnsThenCounters)
{
    TWindowUnderTest w("[Main]\nFAutomaticCheckMail=0\nFCheckMailInterval=7\n" + MailBoxLines({{"Home"}}));
    w.form->move(30, 40);
    w.form->resize(500, 300);
    w.form->ListView1->setColumnWidth(2, 123);
    w.form.reset();

    // When the counters were saved, the three earlier saves were already in the file.
    EXPECT_TRUE(w.sectionsAtSave->contains(QStringLiteral("Forms Placement"), Qt::CaseInsensitive));
    EXPECT_TRUE(w.sectionsAtSave->contains(QStringLiteral("Listview Columns"), Qt::CaseInsensitive));
    TveqIniFile file(w.settingsFile);
    EXPECT_EQ(file.ReadString(QStringLiteral("Forms Placement"), QStringLiteral("Form1"), {}),
              QStringLiteral("0;[30,40];500;300"));
    EXPECT_EQ(file.ReadInteger(QStringLiteral("Listview Columns"), QStringLiteral("Form1.ListView1_Count"), 0),
              TMessageListModel::ColumnCount);
    EXPECT_EQ(file.ReadInteger(QStringLiteral("Listview Columns"), QStringLiteral("Form1.ListView12"), 0), 123);
    EXPECT_EQ(file.ReadString(QStringLiteral("Main"), QStringLiteral("Name0"), {}), QStringLiteral("Home"));
    // The options are not written at exit.
    EXPECT_EQ(file.ReadString(QStringLiteral("Main"), QStringLiteral("FCheckMailInterval"), {}), QStringLiteral("7"));
}

// A window maximized at exit comes back maximized, and restoring it then gives the bounds it had
// before it was maximized, which the next exit stores again.
TEST(MainWindowClose, MaximizedKeepsItsNormalBounds)
{
    TWindowUnderTest w("[Forms Placement]\nForm1=0;[30,40];500;300\n");
    w.form->showMaximized();
    w.form.reset();
    TveqIniFile file(w.settingsFile);
    EXPECT_EQ(file.ReadString(QStringLiteral("Forms Placement"), QStringLiteral("Form1"), {}),
              QStringLiteral("1;[30,40];500;300"));
}

}  // namespace
}  // namespace brevio::test

namespace brevio::test {
namespace {

// The schedule timer follows the options: off, an interval of 0 that never fires, and an
// interval too long for the timer's milliseconds, which must not wrap into a short one.
TEST(MainWindowSchedule, TimerFollowsTheOptions)
{
    struct Case {
        bool Enabled;
        int Minutes;
        bool Active;
        int Interval;
    };
    const Case cases[] = {
        {true, 15, true, 15 * 60 * 1000},
        {false, 15, false, 15 * 60 * 1000},
        {true, 0, false, 0},
        {true, 100000, true, std::numeric_limits<int>::max()},
    };
    TWindowUnderTest w("");
    for (const Case& c : cases) {
        *w.schedule = {c.Enabled, c.Minutes};
        w.form->ApplyCheckOptions();
        EXPECT_EQ(w.form->tmrMailChecking->isActive(), c.Active) << c.Minutes;
        EXPECT_EQ(w.form->tmrMailChecking->interval(), c.Interval) << c.Minutes;
    }
}

}  // namespace
}  // namespace brevio::test

namespace brevio::test {
namespace {

// Arrange Mailboxes: OK hands the edited list to the window, which rebuilds the check menu,
// empties the message list and saves the mailboxes; Options goes to the options dialog.
TEST(MainWindowCommands, MailboxEditorOkReplacesTheListAndOptionsOpen)
{
    TWindowUnderTest w("[Main]\n" + MailBoxLines({{"Home"}}));
    ASSERT_TRUE(w.form->actMailBoxList->isEnabled());
    QTimer::singleShot(0, [] {
        auto* dialog = qobject_cast<TfrmMailBoxes*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        dialog->edtName->selectAll();
        QTest::keyClicks(dialog->edtName, QStringLiteral("Office"));
        QTest::mouseClick(dialog->FooterBtn1, Qt::LeftButton);
    });
    w.form->actMailBoxList->trigger();
    ASSERT_EQ(w.form->pmCheckMailBox->actions().size(), 1);
    EXPECT_TRUE(w.form->pmCheckMailBox->actions()[0]->text().contains(QStringLiteral("Office")));
    EXPECT_EQ(TveqIniFile(w.settingsFile).ReadString(QStringLiteral("Main"), QStringLiteral("Name0"), {}),
              QStringLiteral("Office"));

    w.form->actOptions->trigger();
    EXPECT_EQ(*w.optionsShown, 1);
}

}  // namespace
}  // namespace brevio::test
