#include "components/tray_icon.h"

#include <QAction>
#include <QCursor>
#include <QGuiApplication>
#include <QHelpEvent>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <climits>

namespace brevio {

namespace {

// How often a missing status area is looked for again.
constexpr int kTrayPollMs = 2000;

}  // namespace

TTrayIcon::TTrayIcon(QWidget* mainWindow) : QObject(mainWindow), mainWindow_(mainWindow)
{
    setObjectName(QStringLiteral("TrayIcon1"));
    tray_ = new QSystemTrayIcon(this);
    connect(tray_, &QSystemTrayIcon::activated, this, &TTrayIcon::HandleActivation);
    connect(tray_, &QSystemTrayIcon::messageClicked, this, &TTrayIcon::OnMessageClick);
    // Where the desktop asks for the tip, that is the one sign of the mouse resting on the icon.
    tray_->installEventFilter(this);

    cycleTimer_ = new QTimer(this);
    connect(cycleTimer_, &QTimer::timeout, this, &TTrayIcon::CycleTick);
    trayPoll_ = new QTimer(this);
    trayPoll_->setInterval(kTrayPollMs);
    connect(trayPoll_, &QTimer::timeout, this, &TTrayIcon::CheckTrayAppeared);
}

TTrayIcon::~TTrayIcon()
{
    tray_->hide();
}

void TTrayIcon::SetIcon(const QIcon& icon)
{
    icon_ = icon;
    UpdateIcon();
}

void TTrayIcon::SetHint(const QString& hint)
{
    hint_ = hint;
    UpdateIcon();
}

void TTrayIcon::SetShowHint(bool show)
{
    showHint_ = show;
    UpdateIcon();
}

void TTrayIcon::SetIconVisible(bool visible)
{
    iconVisible_ = visible;
    UpdateIcon();
    const bool available = TrayAvailable();
    if (visible && available)
        tray_->show();
    else
        tray_->hide();
    // Without a status area, keep looking for one for as long as the icon is wanted.
    if (visible && !available)
        trayPoll_->start();
    else
        trayPoll_->stop();
}

bool TTrayIcon::WaitingForTray() const
{
    return trayPoll_->isActive();
}

void TTrayIcon::CheckTrayAppeared()
{
    if (!iconVisible_) {
        trayPoll_->stop();
        return;
    }
    if (!TrayAvailable())
        return;
    trayPoll_->stop();
    UpdateIcon();
    tray_->show();
    emit TrayAppeared();
}

void TTrayIcon::SetEnabled(bool enabled)
{
    enabled_ = enabled;
    AttachMenu();
}

void TTrayIcon::SetPopupMenu(QMenu* menu)
{
    menu_ = menu;
    AttachMenu();
}

void TTrayIcon::AttachMenu()
{
    // The status area opens the menu itself, so a disabled icon must not have one.
    tray_->setContextMenu(enabled_ ? menu_.data() : nullptr);
}

void TTrayIcon::SetCycleIcons(bool on)
{
    cycleIcons_ = on;
    if (on)
        cycleIndex_ = 0;
    if (Cycling())
        cycleTimer_->start();
    else
        cycleTimer_->stop();
}

void TTrayIcon::SetCycleInterval(unsigned ms)
{
    cycleInterval_ = ms;
    cycleTimer_->setInterval(static_cast<int>(std::min<unsigned>(ms, INT_MAX)));
    if (Cycling())
        cycleTimer_->start();
    else
        cycleTimer_->stop();
}

bool TTrayIcon::Cycling() const
{
    // A zero interval would fire on every pass of the event loop.
    return cycleIcons_ && cycleInterval_ > 0;
}

void TTrayIcon::CycleTick()
{
    if (iconList_.isEmpty())
        return;
    if (cycleIndex_ >= iconList_.size())
        cycleIndex_ = 0;  // the list was shortened meanwhile
    const int current = cycleIndex_;
    icon_ = iconList_[current];
    emit OnCycle(current);
    UpdateIcon();
    cycleIndex_ = (current + 1) % iconList_.size();
}

void TTrayIcon::Loaded()
{
    if (startMinimized_)
        HideMainWindow();
    UpdateIcon();
    SetIconVisible(iconVisible_);
}

QString TTrayIcon::TipText() const
{
    if (!showHint_ || hint_.isEmpty())
        return {};
    return hint_.left(kMaxTipLength);
}

bool TTrayIcon::TrayAvailable() const
{
    if (availableOverride_ >= 0)
        return availableOverride_ != 0;
    return QSystemTrayIcon::isSystemTrayAvailable();
}

bool TTrayIcon::HideMainWindow()
{
    if (!mainWindow_)
        return false;
    if (!TrayAvailable()) {
        // Without a status area a hidden window could never be brought back.
        mainWindow_->showMinimized();
        return false;
    }
    mainWindow_->hide();
    return true;
}

void TTrayIcon::RestoreMainWindow()
{
    if (!mainWindow_)
        return;
    if (mainWindow_->isMinimized())
        mainWindow_->setWindowState(mainWindow_->windowState() & ~Qt::WindowMinimized);
    mainWindow_->show();
}

void TTrayIcon::HandleClick()
{
    if (enabled_)
        emit OnClick();
}

void TTrayIcon::MouseDownUp(Qt::MouseButton button)
{
    const QPoint pos = QCursor::pos();
    const Qt::KeyboardModifiers shift = QGuiApplication::queryKeyboardModifiers();
    emit OnMouseDown(button, shift, pos);
    emit OnMouseUp(button, shift, pos);
}

void TTrayIcon::HandleActivation(QSystemTrayIcon::ActivationReason reason)
{
    if (!enabled_)
        return;
    const QPoint pos = QCursor::pos();
    const Qt::KeyboardModifiers shift = QGuiApplication::queryKeyboardModifiers();
    switch (reason) {
    case QSystemTrayIcon::Trigger:
        // Reported once the click is over: press, the menu if it opens on the left, the click,
        // and the release, in the order a press-by-press report would give them.
        emit OnMouseDown(Qt::LeftButton, shift, pos);
        if (leftPopup_)
            PopupMenuAtCursor();
        emit OnClick();
        emit OnMouseUp(Qt::LeftButton, shift, pos);
        break;
    case QSystemTrayIcon::DoubleClick:
        // The first click of the pair has already come as a Trigger.
        emit OnDblClick();
        if (menu_ && !leftPopup_) {
            QAction* item = menu_->defaultAction();
            if (item && item->isEnabled())
                item->trigger();
        }
        emit OnMouseUp(Qt::LeftButton, shift, pos);
        break;
    case QSystemTrayIcon::Context:
        // The menu itself is opened by the status area (it has it while the icon is enabled).
        MouseDownUp(Qt::RightButton);
        break;
    case QSystemTrayIcon::MiddleClick:
        MouseDownUp(Qt::MiddleButton);
        break;
    case QSystemTrayIcon::Unknown:
        break;
    }
}

void TTrayIcon::PopupMenuAtCursor()
{
    if (!menu_ || !enabled_)
        return;
    if (mainWindow_)
        mainWindow_->activateWindow();  // so a click elsewhere closes the menu
    menu_->popup(QCursor::pos());
}

bool TTrayIcon::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == tray_ && event->type() == QEvent::ToolTip && enabled_)
        emit OnMouseMove(QGuiApplication::queryKeyboardModifiers(), static_cast<QHelpEvent*>(event)->globalPos());
    return QObject::eventFilter(watched, event);
}

void TTrayIcon::HandleMinimized()
{
    if (!minimizeToTray_)
        return;
    if (HideMainWindow())
        SetIconVisible(true);
}

bool TTrayIcon::ShowMessage(const QString& title, const QString& text)
{
    if (!TrayAvailable() || !QSystemTrayIcon::supportsMessages() || !tray_->isVisible())
        return false;
    tray_->showMessage(title, text, icon_, 5000);
    return true;
}

void TTrayIcon::UpdateIcon()
{
    tray_->setIcon(icon_);
    tray_->setToolTip(TipText());
}

}  // namespace brevio
