#include "components/tray_icon.h"

#include <QMenu>
#include <QSystemTrayIcon>
#include <QWidget>

namespace brevio {

TTrayIcon::TTrayIcon(QWidget* mainWindow) : QObject(mainWindow), mainWindow_(mainWindow)
{
    setObjectName(QStringLiteral("TrayIcon1"));
    tray_ = new QSystemTrayIcon(this);
    connect(tray_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (!enabled_)
            return;
        if (reason == QSystemTrayIcon::Trigger)
            HandleClick();
        else if (reason == QSystemTrayIcon::DoubleClick)
            emit OnDblClick();
    });
    connect(tray_, &QSystemTrayIcon::messageClicked, this, &TTrayIcon::OnMessageClick);
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
    if (visible && TrayAvailable())
        tray_->show();
    else
        tray_->hide();
}

void TTrayIcon::SetPopupMenu(QMenu* menu)
{
    menu_ = menu;
    tray_->setContextMenu(menu);
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
