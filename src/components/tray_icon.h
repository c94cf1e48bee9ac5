#pragma once
// The program's icon in the desktop's status area: a tip text, a click, a context menu, and the
// two operations that hide the main window to the tray and bring it back. Where the desktop has
// no status area the main window is never hidden: it is shown minimised instead, so it always
// stays reachable from the taskbar.

#include <QIcon>
#include <QObject>
#include <QPointer>
#include <QString>

#include <QMenu>
class QSystemTrayIcon;
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
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool enabled) { enabled_ = enabled; }
    QMenu* PopupMenu() const { return menu_; }
    void SetPopupMenu(QMenu* menu);
    bool MinimizeToTray() const { return minimizeToTray_; }
    void SetMinimizeToTray(bool on) { minimizeToTray_ = on; }

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

    // A short announcement beside the icon; false when the desktop cannot show one.
    bool ShowMessage(const QString& title, const QString& text);

signals:
    void OnClick();
    void OnDblClick();
    void OnMessageClick();

private:
    void UpdateIcon();

    QPointer<QWidget> mainWindow_;
    QSystemTrayIcon* tray_ = nullptr;
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
