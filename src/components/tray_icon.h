#pragma once
// The program's icon in the desktop's status area: a tip text, a click, a context menu, and the
// two operations that hide the main window to the tray and bring it back. Where the desktop has
// no status area the main window is never hidden: it is shown minimised instead, so it always
// stays reachable from the taskbar. A status area that appears later (its host started after the
// program) gets the icon then.
//
// What the desktop reports of the mouse is less than a press-by-press account: Qt tells of a
// click, a double click, a middle click and a context-menu request, each after the fact. The
// mouse-down and mouse-up events are raised around each of these; a mouse move is reported only
// where the desktop asks for the tip (X11), once per pause over the icon.

#include <QIcon>
#include <QList>
#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QString>
#include <QSystemTrayIcon>

#include <QMenu>
class QTimer;
class QWidget;

namespace brevio {

class TTrayIcon : public QObject {
    Q_OBJECT
public:
    // The tip holds at most this many characters; longer hints are cut.
    static constexpr int kMaxTipLength = 63;

    explicit TTrayIcon(QWidget* mainWindow);
    ~TTrayIcon() override;

    QIcon Icon() const { return icon_; }
    void SetIcon(const QIcon& icon);
    QString Hint() const { return hint_; }
    void SetHint(const QString& hint);
    bool ShowHint() const { return showHint_; }
    void SetShowHint(bool show);
    bool IconVisible() const { return iconVisible_; }
    void SetIconVisible(bool visible);
    // While false every mouse action on the icon is ignored, the context menu included.
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool enabled);
    QMenu* PopupMenu() const { return menu_; }
    void SetPopupMenu(QMenu* menu);
    // The menu also opens on a left click, which then no longer runs its default item.
    bool LeftPopup() const { return leftPopup_; }
    void SetLeftPopup(bool on) { leftPopup_ = on; }
    bool MinimizeToTray() const { return minimizeToTray_; }
    void SetMinimizeToTray(bool on) { minimizeToTray_ = on; }
    // The main window is not to be shown at start: Loaded hides it to the tray, and the main
    // window leaves it hidden.
    bool StartMinimized() const { return startMinimized_; }
    void SetStartMinimized(bool on) { startMinimized_ = on; }

    // Icons shown in turn, one every CycleInterval ms while CycleIcons is on. An interval of 0
    // keeps the cycle still.
    QList<QIcon> IconList() const { return iconList_; }
    void SetIconList(const QList<QIcon>& icons) { iconList_ = icons; }
    bool CycleIcons() const { return cycleIcons_; }
    void SetCycleIcons(bool on);
    unsigned CycleInterval() const { return cycleInterval_; }
    void SetCycleInterval(unsigned ms);
    bool Cycling() const;
    // One cycling step: the next icon of the list, then OnCycle with its index.
    void CycleTick();

    // Call once the main window is built: applies StartMinimized and puts the icon into the
    // status area as IconVisible says.
    void Loaded();

    // The tip as the status area shows it: empty without ShowHint, else the hint cut to 63.
    QString TipText() const;

    // Whether the desktop offers a status area; tests can pretend either way.
    bool TrayAvailable() const;
    void SetTrayAvailableOverride(int available) { availableOverride_ = available; }

    // Hides the main window to the tray, or, without a tray, shows it minimised. Returns false
    // when the window had to stay visible because there is no tray.
    bool HideMainWindow();
    // Shows the main window in its restored state and makes it visible.
    void RestoreMainWindow();

    // What the status area does on a left click and on a minimise; public so that the main
    // window and tests can drive them.
    void HandleClick();
    void HandleMinimized();
    // What the status area reported, turned into this component's events.
    void HandleActivation(QSystemTrayIcon::ActivationReason reason);
    // Opens the menu at the mouse, as a right click does.
    void PopupMenuAtCursor();
    // Looks again whether the status area is there; the icon enters it once it is.
    void CheckTrayAppeared();
    // Whether the icon is waiting for a status area to appear.
    bool WaitingForTray() const;

    // A short announcement beside the icon; false when the desktop cannot show one.
    bool ShowMessage(const QString& title, const QString& text);

signals:
    void OnClick();
    void OnDblClick();
    void OnMessageClick();
    // The button, the keyboard modifiers with that button, and the mouse on the screen.
    void OnMouseDown(Qt::MouseButton button, Qt::KeyboardModifiers shift, const QPoint& pos);
    void OnMouseUp(Qt::MouseButton button, Qt::KeyboardModifiers shift, const QPoint& pos);
    void OnMouseMove(Qt::KeyboardModifiers shift, const QPoint& pos);
    void OnCycle(int current);
    // The status area appeared after the icon had been asked for; the icon is in it now.
    void TrayAppeared();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void UpdateIcon();
    void AttachMenu();
    void MouseDownUp(Qt::MouseButton button);

    QPointer<QWidget> mainWindow_;
    QSystemTrayIcon* tray_ = nullptr;
    QTimer* cycleTimer_ = nullptr;
    QTimer* trayPoll_ = nullptr;
    QList<QIcon> iconList_;
    int cycleIndex_ = 0;
    unsigned cycleInterval_ = 0;
    bool cycleIcons_ = false;
    bool leftPopup_ = false;
    bool startMinimized_ = false;
    QPointer<QMenu> menu_;
    QIcon icon_;
    QString hint_;
    bool showHint_ = false;
    bool iconVisible_ = true;
    bool enabled_ = true;
    bool minimizeToTray_ = false;
    int availableOverride_ = -1;  // -1: ask the platform
};

}  // namespace brevio
