#include "ui/login_dialog.h"

#include <QGridLayout>
#include <QGuiApplication>
#include <QScreen>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>
#include <QVBoxLayout>

#include "components/footer.h"
#include "ui/form_localizer.h"
#include "ui/form_scale.h"
#include "ui/named_widget.h"

namespace brevio {

TfrmFTPLoginAndPassword::TfrmFTPLoginAndPassword(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmFTPLoginAndPassword"));
    setWindowTitle(QStringLiteral("Имя пользователя и пароль"));
    setWindowFlags(kFixedDialogFlags);
    CreateFields();
    CreateFooter();
    LayOutParts();
    setTabOrder(edtUserName, edtPassword);
    LocalizeForm(this);
    PlaceOnScreen(parent);
    StartCapsLockWatch();
}

void TfrmFTPLoginAndPassword::CreateFields()
{
    lblDesc = Named(new QLabel(QStringLiteral("Вход в %s"), this), "lblDesc");
    lblLogin = Named(new QLabel(QStringLiteral("Имя пользователя:"), this), "lblLogin");
    edtUserName = Named(new QLineEdit(this), "edtUserName");
    lblPassword = Named(new QLabel(QStringLiteral("Пароль:"), this), "lblPassword");
    edtPassword = Named(new QLineEdit(this), "edtPassword");
    edtPassword->setEchoMode(QLineEdit::Password);
    lblWarning = Named(new QLabel(QStringLiteral("Внимание, нажата клавиша Caps Lock!\n"
                                                 "Caps Lock может конфликтовать с паролями!"),
                                  this),
                       "lblWarning");
    lblWarning->setAlignment(Qt::AlignCenter);
    lblWarning->setWordWrap(true);
    lblWarning->setStyleSheet(QStringLiteral("color: red; font-weight: bold;"));
    lblWarning->setVisible(false);
    // Keep the warning's place reserved so the dialog does not jump when it appears.
    QSizePolicy keep = lblWarning->sizePolicy();
    keep.setRetainSizeWhenHidden(true);
    lblWarning->setSizePolicy(keep);
    lblLogin->setBuddy(edtUserName);
    lblPassword->setBuddy(edtPassword);
}

void TfrmFTPLoginAndPassword::CreateFooter()
{
    Footer1 = new TFooter(this);
    btnOK = Named(new TFooterBtn(QStringLiteral("&OK"), Footer1), "btnOK");
    btnOK->setDefault(true);
    btnOK->SetModalResult(TModalResult::Ok);
    btnCancel = Named(new TFooterBtn(QStringLiteral("&Отмена"), Footer1), "btnCancel");
    btnCancel->SetModalResult(TModalResult::Cancel);
}

void TfrmFTPLoginAndPassword::LayOutParts()
{
    auto* grid = new QGridLayout;
    grid->setContentsMargins(6, 6, 6, 6);
    grid->addWidget(lblDesc, 0, 0, 1, 2);
    grid->addWidget(lblLogin, 1, 0);
    grid->addWidget(edtUserName, 1, 1);
    grid->addWidget(lblPassword, 2, 0);
    grid->addWidget(edtPassword, 2, 1);
    grid->addWidget(lblWarning, 3, 0, 1, 2);
    grid->setColumnStretch(1, 1);
    // A long label ("Имя пользователя:") keeps a gap to its field.
    grid->setHorizontalSpacing(Scaled(this, 8));
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);
    outer->addLayout(grid, 1);
    outer->addWidget(Footer1);
}

void TfrmFTPLoginAndPassword::PlaceOnScreen(QWidget* parent)
{
    // A fixed size, the design's 286 x 167 scaled to the font, in the middle of the screen (of
    // the main window's screen when there is one) rather than over the main window, which may
    // sit hidden in the tray.
    setFixedSize(Scaled(this, 286), Scaled(this, 167));
    QScreen* screen = parent ? parent->screen() : QGuiApplication::primaryScreen();
    if (screen)
        move(screen->availableGeometry().center() - rect().center());
}

void TfrmFTPLoginAndPassword::StartCapsLockWatch()
{
    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(10);
    connect(Timer1, &QTimer::timeout, this, &TfrmFTPLoginAndPassword::Timer1Timer);
    Timer1->start();
    edtUserName->installEventFilter(this);
    edtPassword->installEventFilter(this);
    installEventFilter(this);
    Timer1Timer();
}

void TfrmFTPLoginAndPassword::SetHost(const QString& host)
{
    QString text = lblDesc->text();
    const int at = text.indexOf(QLatin1String("%s"));
    if (at >= 0)
        text.replace(at, 2, host);
    lblDesc->setText(text);
}

QString TfrmFTPLoginAndPassword::UserName() const
{
    return edtUserName->text();
}
QString TfrmFTPLoginAndPassword::Password() const
{
    return edtPassword->text();
}
bool TfrmFTPLoginAndPassword::WarningVisible() const
{
    return !lblWarning->isHidden();
}

void TfrmFTPLoginAndPassword::Timer1Timer()
{
    const std::optional<bool> on = capsLock_.State();
    // Unknown counts as off: the warning appears only when the state is known to be on.
    lblWarning->setVisible(on.value_or(false));
}

void TfrmFTPLoginAndPassword::SetCapsLockState(bool on)
{
    capsLock_.SetKnown(on);
    Timer1Timer();
}

bool TfrmFTPLoginAndPassword::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease) {
        // A key the edit box ignores travels on to the dialog as the same event: count it once.
        auto* key = static_cast<QKeyEvent*>(event);
        const TSeenKey seen{key, key->timestamp(), key->type(), key->key()};
        if (!(seen == lastKey_)) {
            lastKey_ = seen;
            capsLock_.Observe(*key);
        }
    }
    return QDialog::eventFilter(watched, event);
}

bool ShowLoginPrompt(QWidget* parent, const QString& host, QString& userName, QString& password)
{
    TfrmFTPLoginAndPassword dialog(parent);
    dialog.SetHost(host);
    const bool confirmed = dialog.exec() == QDialog::Accepted;
    userName = dialog.UserName();
    password = dialog.Password();
    return confirmed;
}

}  // namespace brevio
