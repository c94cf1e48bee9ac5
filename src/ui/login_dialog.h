#pragma once
// The prompt for a user name and password that a check shows when a server refuses the login.
// It warns when Caps Lock is on, since passwords are case-sensitive.

#include <QDialog>

#include "ui/caps_lock.h"

class QLabel;
class QLineEdit;
class QTimer;

namespace brevio {

class TFooter;
class TFooterBtn;

class TfrmFTPLoginAndPassword : public QDialog {
    Q_OBJECT
public:
    explicit TfrmFTPLoginAndPassword(QWidget* parent = nullptr);

    // Puts the host into the "%s" of lblDesc's current caption.
    void SetHost(const QString& host);
    QString UserName() const;
    QString Password() const;
    bool WarningVisible() const;

    // Updates the warning from the Caps Lock state; runs on every tick of Timer1.
    void Timer1Timer();
    // For tests and for platforms that report the state through another channel.
    void SetCapsLockState(bool on);

    QLabel* lblDesc = nullptr;
    QLabel* lblLogin = nullptr;
    QLineEdit* edtUserName = nullptr;
    QLabel* lblPassword = nullptr;
    QLineEdit* edtPassword = nullptr;
    QLabel* lblWarning = nullptr;
    TFooter* Footer1 = nullptr;
    TFooterBtn* btnOK = nullptr;
    TFooterBtn* btnCancel = nullptr;
    QTimer* Timer1 = nullptr;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void CreateFields();
    void CreateFooter();
    void LayOutParts();
    // Fixed size, in the middle of the parent's screen.
    void PlaceOnScreen(QWidget* parent);
    // Polls Caps Lock on a short timer and watches the key presses that change it.
    void StartCapsLockWatch();

    struct TSeenKey {
        const void* Event = nullptr;
        quint64 Timestamp = 0;
        int Type = 0;
        int Key = 0;
        bool operator==(const TSeenKey&) const = default;
    };
    TCapsLockTracker capsLock_;
    TSeenKey lastKey_;
};

// Shows the prompt modally for `host`. Returns true when the user confirmed with OK; the two
// results hold what was typed either way (the close box counts as cancelled).
bool ShowLoginPrompt(QWidget* parent, const QString& host, QString& userName, QString& password);

}  // namespace brevio
