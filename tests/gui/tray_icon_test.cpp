// The tray icon's mouse events, the Enabled rule, icon cycling and a tray that appears late.
#include <QMenu>
#include <QSignalSpy>
#include <QSystemTrayIcon>
#include <QWidget>
#include <gtest/gtest.h>

#include "components/tray_icon.h"

namespace brevio {
namespace {

// A tray icon on a window, with a menu whose default item is "Restore", recording its events.
struct TTray {
    TTray()
    {
        restore = menu.addAction(QStringLiteral("Restore"));
        menu.setDefaultAction(restore);
        QObject::connect(restore, &QAction::triggered, [this] { events << QStringLiteral("restore"); });
        tray.SetIcon(QIcon(QStringLiteral(":/icons/brevio.svg")));
        tray.SetPopupMenu(&menu);
        auto name = [](Qt::MouseButton b) { return b == Qt::LeftButton ? "L" : b == Qt::RightButton ? "R" : "M"; };
        QObject::connect(&tray, &TTrayIcon::OnMouseDown, [this, name](Qt::MouseButton b, auto, auto) {
            events << QStringLiteral("down ") + QLatin1String(name(b));
        });
        QObject::connect(&tray, &TTrayIcon::OnMouseUp, [this, name](Qt::MouseButton b, auto, auto) {
            events << QStringLiteral("up ") + QLatin1String(name(b));
        });
        QObject::connect(&tray, &TTrayIcon::OnClick, [this] { events << QStringLiteral("click"); });
        QObject::connect(&tray, &TTrayIcon::OnDblClick, [this] { events << QStringLiteral("double"); });
    }
    QSystemTrayIcon* Platform() { return tray.findChild<QSystemTrayIcon*>(); }

    QWidget window;
    QMenu menu;
    QAction* restore;
    TTrayIcon tray{&window};
    QStringList events;
};

TEST(TrayIcon, ActivationsBecomeMouseEventsUnlessDisabled)
{
    const struct {
        QSystemTrayIcon::ActivationReason Reason;
        QStringList Events;
    } cases[] = {
        {QSystemTrayIcon::Trigger, {"down L", "click", "up L"}},
        // The second click of a double click: the menu's default item runs.
        {QSystemTrayIcon::DoubleClick, {"double", "restore", "up L"}},
        {QSystemTrayIcon::Context, {"down R", "up R"}},
        {QSystemTrayIcon::MiddleClick, {"down M", "up M"}},
    };
    for (const auto& c : cases) {
        TTray t;
        t.tray.HandleActivation(c.Reason);
        EXPECT_EQ(t.events, c.Events) << c.Reason;

        t.events.clear();
        t.tray.SetEnabled(false);
        t.tray.HandleActivation(c.Reason);
        t.tray.HandleClick();
        EXPECT_TRUE(t.events.isEmpty()) << c.Reason;
    }
}

TEST(TrayIcon, DisabledIconHasNoMenuForTheDesktopToOpen)
{
    TTray t;
    ASSERT_TRUE(t.Platform());
    EXPECT_EQ(t.Platform()->contextMenu(), &t.menu);
    t.tray.SetEnabled(false);
    EXPECT_EQ(t.Platform()->contextMenu(), nullptr);
    t.tray.SetEnabled(true);
    EXPECT_EQ(t.Platform()->contextMenu(), &t.menu);
}

TEST(TrayIcon, LeftPopupKeepsTheDefaultItemFromADoubleClick)
{
    TTray t;
    t.tray.SetLeftPopup(true);
    t.tray.HandleActivation(QSystemTrayIcon::DoubleClick);
    EXPECT_FALSE(t.events.contains(QStringLiteral("restore")));
}

TEST(TrayIcon, CyclesThroughTheIconList)
{
    TTray t;
    QSignalSpy cycle(&t.tray, &TTrayIcon::OnCycle);
    t.tray.SetIconList({QIcon(QStringLiteral(":/icons/delete.svg")), QIcon(QStringLiteral(":/icons/options.svg")),
                        QIcon(QStringLiteral(":/icons/stats.svg"))});
    t.tray.SetCycleIcons(true);
    EXPECT_FALSE(t.tray.Cycling());  // interval 0: no cycling
    t.tray.SetCycleInterval(1000);
    EXPECT_TRUE(t.tray.Cycling());
    for (int i = 0; i < 4; ++i)
        t.tray.CycleTick();
    ASSERT_EQ(cycle.count(), 4);
    EXPECT_EQ((QList<int>{cycle[0][0].toInt(), cycle[1][0].toInt(), cycle[2][0].toInt(), cycle[3][0].toInt()}),
              (QList<int>{0, 1, 2, 0}));
    t.tray.SetCycleIcons(false);
    EXPECT_FALSE(t.tray.Cycling());
}

TEST(TrayIcon, ATrayThatAppearsLaterGetsTheIcon)
{
    TTray t;
    t.tray.SetTrayAvailableOverride(0);
    t.tray.SetIconVisible(true);
    EXPECT_TRUE(t.tray.WaitingForTray());
    QSignalSpy appeared(&t.tray, &TTrayIcon::TrayAppeared);
    t.tray.CheckTrayAppeared();
    EXPECT_EQ(appeared.count(), 0);

    t.tray.SetTrayAvailableOverride(1);
    t.tray.CheckTrayAppeared();
    EXPECT_EQ(appeared.count(), 1);
    EXPECT_FALSE(t.tray.WaitingForTray());

    t.tray.SetIconVisible(false);
    EXPECT_FALSE(t.tray.WaitingForTray());
}

}  // namespace
}  // namespace brevio
