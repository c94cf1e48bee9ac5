// How the mailbox editor is made: the list panel with its toolbar, the fields of the selected
// mailbox, and the layout that puts them beside each other above the button bar.
#include "ui/mailbox_editor.h"

#include <QAction>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QToolBar>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "components/footer.h"
#include "ui/form_scale.h"
#include "ui/named_widget.h"

namespace brevio {

// The toolbar with the list's commands above the list of mailboxes.
void TfrmMailBoxes::BuildListPanel()
{
    const auto make = [](auto* widget, const char* name) { return Named(widget, name); };
    Panel1 = make(new QWidget(this), "Panel1");
    ToolBar1 = make(new QToolBar(Panel1), "ToolBar1");
    ToolBar1->setIconSize(QSize(16, 16));
    actNewMailBox =
        make(new QAction(QIcon(QStringLiteral(":/icons/new_mailbox.svg")), QStringLiteral("New Mailbox"), this),
             "actNewMailBox");
    actDelete = make(new QAction(QIcon(QStringLiteral(":/icons/delete.svg")), QStringLiteral("Delete Mailbox"), this),
                     "actDelete");
    actCopy = make(new QAction(QIcon(QStringLiteral(":/icons/copy_mailbox.svg")), QStringLiteral("Copy Mailbox"), this),
                   "actCopy");
    ToolBar1->addAction(actNewMailBox);
    ToolBar1->addAction(actDelete);
    ToolBar1->addAction(actCopy);
    act1 = make(new QAction(this), "act1");
    act1->setShortcut(QKeySequence(Qt::Key_F1));
    addAction(act1);

    ListView1 = make(new QTreeWidget(Panel1), "ListView1");
    ListView1->setColumnCount(1);
    ListView1->setHeaderLabels({QStringLiteral("Ящик")});
    ListView1->header()->setSectionResizeMode(QHeaderView::Stretch);
    ListView1->setRootIsDecorated(false);
    ListView1->setSelectionMode(QAbstractItemView::SingleSelection);
    ListView1->setSelectionBehavior(QAbstractItemView::SelectRows);
    ListView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListView1->setAllColumnsShowFocus(true);
    auto* panelLayout = new QVBoxLayout(Panel1);
    panelLayout->setContentsMargins(0, 0, 0, 0);
    panelLayout->setSpacing(0);
    panelLayout->addWidget(ToolBar1);
    panelLayout->addWidget(ListView1, 1);
    Panel1->setFixedWidth(Scaled(this, 153));
}

// The fields of the selected mailbox, the certificate row and the Test button. The order in which
// widgets are made is the order the Tab key visits them, so the parts keep to it.
void TfrmMailBoxes::BuildFields()
{
    BuildServerFields();
    BuildAccountFields();
    BuildCertificateAndTest();
}

// A text field of the column's usual minimum width.
QLineEdit* TfrmMailBoxes::MakeWideEdit(const char* name)
{
    auto* e = Named(new QLineEdit(this), name);
    e->setMinimumWidth(Scaled(this, 201));
    return e;
}

// Name, host, port, protocol and security.
void TfrmMailBoxes::BuildServerFields()
{
    const auto make = [](auto* widget, const char* name) { return Named(widget, name); };
    lblName = make(new QLabel(QStringLiteral("Название ящика:"), this), "lblName");
    edtName = MakeWideEdit("edtName");
    Label1 = make(new QLabel(QStringLiteral("Хост:"), this), "Label1");
    edtHost = MakeWideEdit("edtHost");
    lblPort = make(new QLabel(QStringLiteral("Порт:"), this), "lblPort");
    edtPort = make(new QLineEdit(this), "edtPort");
    edtPort->setMaxLength(5);
    edtPort->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,5}")), edtPort));
    edtPort->setFixedWidth(Scaled(this, 50));
    lblPortStatus = make(new QLabel(this), "lblPortStatus");
    lblPortStatus->setStyleSheet(QStringLiteral("color: #b00000;"));
    // The message takes the room beside the field, wrapped, and never widens the dialog.
    lblPortStatus->setWordWrap(true);
    lblPortStatus->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);

    grpProtocol = make(new QGroupBox(QStringLiteral("Protocol"), this), "grpProtocol");
    rbPop3 = make(new QRadioButton(QStringLiteral("POP3"), grpProtocol), "rbPop3");
    rbIMAP4 = make(new QRadioButton(QStringLiteral("IMAP4"), grpProtocol), "rbIMAP4");
    protocolGroup_ = new QButtonGroup(this);
    protocolGroup_->addButton(rbPop3);
    protocolGroup_->addButton(rbIMAP4);
    auto* protocolLayout = new QHBoxLayout(grpProtocol);
    protocolLayout->addWidget(rbPop3);
    protocolLayout->addWidget(rbIMAP4);

    lblSecurity = make(new QLabel(QStringLiteral("Security:"), this), "lblSecurity");
    cbSecurity = make(new QComboBox(this), "cbSecurity");
    cbSecurity->addItems({QStringLiteral("None"), QStringLiteral("TLS"), QStringLiteral("STARTTLS")});
}

// User name, password and the per-mailbox check options.
void TfrmMailBoxes::BuildAccountFields()
{
    const auto make = [](auto* widget, const char* name) { return Named(widget, name); };
    lblUserName = make(new QLabel(QStringLiteral("Имя пользователя:"), this), "lblUserName");
    edtUserName = MakeWideEdit("edtUserName");
    lblPassword = make(new QLabel(QStringLiteral("Пароль:"), this), "lblPassword");
    edtPassword = MakeWideEdit("edtPassword");
    edtPassword->setEchoMode(QLineEdit::Password);
    chkIgnorCheckAllCommand =
        make(new QCheckBox(QStringLiteral("Ignor \"Check All\" command"), this), "chkIgnorCheckAllCommand");
    chkIgnoreCheckOnIgnoreSchedule =
        make(new QCheckBox(QStringLiteral("Ignore Check on schedule"), this), "chkIgnoreCheckOnIgnoreSchedule");

    BuildIdleOption();
}

// The trusted certificate with its Forget button, and the Test button with its result.
void TfrmMailBoxes::BuildCertificateAndTest()
{
    const auto make = [](auto* widget, const char* name) { return Named(widget, name); };
    lblCertificate = make(new QLabel(QStringLiteral("Trusted certificate (SHA-256):"), this), "lblCertificate");
    edtCertFingerprint = make(new QLineEdit(this), "edtCertFingerprint");
    edtCertFingerprint->setReadOnly(true);
    edtCertFingerprint->setPlaceholderText(QStringLiteral("none"));
    btnForgetCertificate = make(new QPushButton(QStringLiteral("Forget"), this), "btnForgetCertificate");
    btnForgetCertificate->setToolTip(QStringLiteral("Stop trusting this certificate; the next check asks again"));

    btnTest = make(new QPushButton(QStringLiteral("Test"), this), "btnTest");
    btnTest->setToolTip(QStringLiteral("Connect and log in with these settings, then count the messages"));
    lblTestResult = make(new QLabel(this), "lblTestResult");
    lblTestResult->setWordWrap(true);
    lblTestResult->setTextInteractionFlags(Qt::TextSelectableByMouse);
    // A long result wraps inside the dialog's width instead of widening it.
    lblTestResult->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
}

// The fields of the selected mailbox in one column, each label above its field.
QVBoxLayout* TfrmMailBoxes::LayOutFields()
{
    auto* fields = new QVBoxLayout;
    fields->setContentsMargins(Scaled(this, 7), Scaled(this, 8), Scaled(this, 9), Scaled(this, 6));
    fields->setSpacing(2);
    auto gap = [&] { fields->addSpacing(Scaled(this, 6)); };
    auto pair = [&](QLabel* label, QWidget* field) {
        label->setBuddy(field);
        fields->addWidget(label);
        fields->addWidget(field);
        gap();
    };
    pair(lblName, edtName);
    pair(Label1, edtHost);
    auto* portRow = new QHBoxLayout;
    portRow->addWidget(edtPort);
    portRow->addWidget(lblPortStatus, 1);
    lblPort->setBuddy(edtPort);
    fields->addWidget(lblPort);
    fields->addLayout(portRow);
    gap();
    fields->addWidget(grpProtocol);
    auto* securityRow = new QHBoxLayout;
    lblSecurity->setBuddy(cbSecurity);
    securityRow->addWidget(lblSecurity);
    securityRow->addWidget(cbSecurity, 1);
    fields->addLayout(securityRow);
    gap();
    pair(lblUserName, edtUserName);
    pair(lblPassword, edtPassword);
    fields->addWidget(grpSignIn);
    fields->addWidget(chkIgnorCheckAllCommand);
    fields->addWidget(chkIgnoreCheckOnIgnoreSchedule);
    fields->addWidget(chkIdle);
    gap();
    fields->addWidget(lblCertificate);
    auto* certificateRow = new QHBoxLayout;
    certificateRow->addWidget(edtCertFingerprint, 1);
    certificateRow->addWidget(btnForgetCertificate);
    fields->addLayout(certificateRow);
    gap();
    auto* testRow = new QHBoxLayout;
    testRow->addWidget(btnTest, 0, Qt::AlignTop);
    testRow->addWidget(lblTestResult, 1);
    fields->addLayout(testRow);
    fields->addStretch(1);
    return fields;
}

// The fields in a column beside the list, and the button bar below both.
void TfrmMailBoxes::LayOut()
{
    auto* body = new QHBoxLayout;
    body->setContentsMargins(0, 0, 0, 0);
    body->setSpacing(0);
    body->addWidget(Panel1);
    body->addLayout(LayOutFields(), 1);

    const TOkCancelHelpBar footer = CreateOkCancelHelpBar(this);
    Footer1 = footer.Bar;
    FooterBtn1 = footer.Ok;
    FooterBtn2 = footer.Cancel;
    FooterBtn3 = footer.Help;

    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);
    outer->addLayout(body, 1);
    outer->addWidget(Footer1);
    // Not resizable: the size the controls need, at least the designed 370 pixels wide.
    setMinimumWidth(Scaled(this, 370));
    outer->setSizeConstraint(QLayout::SetFixedSize);
}

}  // namespace brevio
