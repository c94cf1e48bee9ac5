#include "ui/mailbox_editor.h"

#include <QAction>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QThread>
#include <QTreeWidget>

#include "components/footer.h"
#include "engine/failure_text.h"
#include "engine/mailbox_probe.h"
#include "secrets/password_mover.h"
#include "support/abort_signal.h"
#include "support/text_format.h"
#include "ui/form_localizer.h"
#include "ui/form_scale.h"

namespace brevio {

namespace {

constexpr int kMaxPort = 65535;

// The port the text names, or 0 when it names none (empty, 0, above 65535).
int PortOf(const QString& text)
{
    bool ok = false;
    const int port = text.toInt(&ok);
    return ok && port >= 1 && port <= kMaxPort ? port : 0;
}

QString PortText(int port)
{
    return port >= 1 && port <= kMaxPort ? QString::number(port) : QString();
}

// The order of the security choices in cbSecurity.
constexpr TSecurity kSecurityChoices[] = {TSecurity::None, TSecurity::Tls, TSecurity::StartTls};

int SecurityIndex(TSecurity security)
{
    for (int i = 0; i < 3; ++i)
        if (kSecurityChoices[i] == security)
            return i;
    return 0;
}

}  // namespace

TfrmMailBoxes::TfrmMailBoxes(const TMailBoxList& source, const TStringTable& strings, QWidget* parent,
                             THelpLauncher help)
    : QDialog(parent), strings_(strings), help_(std::move(help))
{
    setObjectName(QStringLiteral("frmMailBoxes"));
    setWindowTitle(QStringLiteral("Почтовые ящики"));
    setWindowFlags(kFixedDialogFlags);
    BuildControls();
    LocalizeForm(this);

    working_.Assign(source);
    for (int i = 0; i < working_.Count(); ++i)
        new QTreeWidgetItem(ListView1, QStringList{working_.Items(i)->Name});
    if (working_.Count() > 0) {
        SelectRow(0);
    } else {
        ClearFields();
        // An empty list shows neither protocol: there is no mailbox to have one.
        protocolGroup_->setExclusive(false);
        rbPop3->setChecked(false);
        rbIMAP4->setChecked(false);
        protocolGroup_->setExclusive(true);
    }
    ListView1->setFocus();
}

TfrmMailBoxes::~TfrmMailBoxes()
{
    // A test still running is woken by the abort and finishes before its thread goes.
    StopTest();
    if (testThread_)
        testThread_->wait();
}

void TfrmMailBoxes::BuildControls()
{
    BuildListPanel();
    BuildFields();
    BuildSignInFields();
    LayOut();
    ConnectCommands();
    ConnectEdits();
}

void TfrmMailBoxes::ConnectCommands()
{
    connect(actNewMailBox, &QAction::triggered, this, &TfrmMailBoxes::actNewMailBoxExecute);
    connect(actDelete, &QAction::triggered, this, &TfrmMailBoxes::actDeleteExecute);
    connect(actCopy, &QAction::triggered, this, &TfrmMailBoxes::actCopyExecute);
    const auto showHelp = [this] { help_(this, QStringLiteral("MailBoxOptions.htm")); };
    connect(act1, &QAction::triggered, this, showHelp);
    connect(FooterBtn3, &QPushButton::clicked, this, showHelp);
    connect(ListView1, &QTreeWidget::itemSelectionChanged, this, &TfrmMailBoxes::ShowSelected);
}

void TfrmMailBoxes::ConnectEdits()
{
    // Live editing: every change goes into the selected mailbox of the working copy at once.
    const auto edited = [this](auto store) {
        return [this, store](auto&&... value) {
            if (TMailBox* box = loading_ ? nullptr : Selected())
                store(*box, value...);
        };
    };
    connect(edtName, &QLineEdit::textChanged, this, edited([this](TMailBox& box, const QString& text) {
                box.Name = text;
                ListView1->topLevelItem(SelectedIndex())->setText(0, text);
            }));
    connect(edtHost, &QLineEdit::textChanged, this,
            edited([](TMailBox& box, const QString& text) { box.Host = text; }));
    connect(edtUserName, &QLineEdit::textChanged, this,
            edited([](TMailBox& box, const QString& text) { box.UserName = text; }));
    connect(edtPassword, &QLineEdit::textChanged, this, edited([](TMailBox& box, const QString& text) {
                // A password typed here is new: OK puts it into the store when one is used.
                box.Password = text;
                box.PasswordInStore = false;
            }));
    connect(edtPort, &QLineEdit::textChanged, this, edited([](TMailBox& box, const QString& text) {
                // A missing or out-of-range port is kept as 0, which OK refuses.
                box.Port = PortOf(text);
            }));
    connect(edtPort, &QLineEdit::textChanged, this, &TfrmMailBoxes::UpdatePortState);
    connect(chkIgnorCheckAllCommand, &QCheckBox::toggled, this,
            edited([](TMailBox& box, bool on) { box.IgnoreCheckAllCommand = on; }));
    connect(chkIgnoreCheckOnIgnoreSchedule, &QCheckBox::toggled, this,
            edited([](TMailBox& box, bool on) { box.IgnoreCheckOnSchedule = on; }));
    // Switching the protocol leaves the port alone: the user may run either on any port.
    connect(rbPop3, &QRadioButton::toggled, this,
            edited([](TMailBox& box, bool on) { box.Protocol = on ? TMailProtocol::POP3 : TMailProtocol::IMAP4; }));
    connect(cbSecurity, &QComboBox::currentIndexChanged, this, edited([](TMailBox& box, int index) {
                box.Security = kSecurityChoices[index >= 0 && index < 3 ? index : 0];
            }));
    connect(rbPop3, &QRadioButton::toggled, this, &TfrmMailBoxes::UpdatePortPlaceholder);
    connect(cbSecurity, &QComboBox::currentIndexChanged, this, &TfrmMailBoxes::UpdatePortPlaceholder);
    connect(btnForgetCertificate, &QPushButton::clicked, this, [this] {
        if (TMailBox* box = Selected()) {
            box->CertFingerprint.clear();
            UpdateCertificate();
        }
    });
    connect(btnTest, &QPushButton::clicked, this, &TfrmMailBoxes::btnTestClick);
}

int TfrmMailBoxes::SelectedIndex() const
{
    const QList<QTreeWidgetItem*> selected = ListView1->selectedItems();
    return selected.isEmpty() ? -1 : ListView1->indexOfTopLevelItem(selected.first());
}

TMailBox* TfrmMailBoxes::Selected() const
{
    const int index = SelectedIndex();
    return index >= 0 && index < working_.Count() ? working_.Items(index) : nullptr;
}

void TfrmMailBoxes::SelectRow(int index)
{
    if (index < 0 || index >= ListView1->topLevelItemCount()) {
        ListView1->clearSelection();
        ListView1->setCurrentItem(nullptr);
        return;
    }
    QTreeWidgetItem* item = ListView1->topLevelItem(index);
    ListView1->setCurrentItem(item);
    item->setSelected(true);
    ListView1->scrollToItem(item);
}

void TfrmMailBoxes::ShowSelected()
{
    ++selectionGeneration_;
    StopTest();
    lblTestResult->clear();
    const TMailBox* box = Selected();
    if (!box) {
        ClearFields();
        return;
    }
    loading_ = true;
    edtName->setText(box->Name);
    edtHost->setText(box->Host);
    edtPort->setText(PortText(box->Port));
    edtUserName->setText(box->UserName);
    edtPassword->setText(box->Password);
    chkIgnorCheckAllCommand->setChecked(box->IgnoreCheckAllCommand);
    chkIgnoreCheckOnIgnoreSchedule->setChecked(box->IgnoreCheckOnSchedule);
    (box->Protocol == TMailProtocol::POP3 ? rbPop3 : rbIMAP4)->setChecked(true);
    cbSecurity->setCurrentIndex(SecurityIndex(box->Security));
    loading_ = false;
    for (QWidget* w :
         std::initializer_list<QWidget*>{edtName, edtHost, edtPort, edtUserName, edtPassword, chkIgnorCheckAllCommand,
                                         chkIgnoreCheckOnIgnoreSchedule, grpProtocol, cbSecurity, btnTest})
        w->setEnabled(true);
    actDelete->setEnabled(true);
    actCopy->setEnabled(true);
    ShowIdleOption();
    UpdatePortState();
    UpdatePortPlaceholder();
    UpdateCertificate();
}

void TfrmMailBoxes::ClearFields()
{
    // With nothing selected there is nowhere to store an edit: the fields are emptied and closed
    // to typing, so nothing the user types is silently dropped.
    loading_ = true;
    for (QLineEdit* e : {edtName, edtHost, edtPort, edtUserName, edtPassword, edtCertFingerprint})
        e->clear();
    chkIgnorCheckAllCommand->setChecked(false);
    chkIgnoreCheckOnIgnoreSchedule->setChecked(false);
    rbPop3->setChecked(true);
    cbSecurity->setCurrentIndex(0);
    loading_ = false;
    for (QWidget* w : std::initializer_list<QWidget*>{edtName, edtHost, edtPort, edtUserName, edtPassword,
                                                      chkIgnorCheckAllCommand, chkIgnoreCheckOnIgnoreSchedule,
                                                      grpProtocol, cbSecurity, btnTest, btnForgetCertificate})
        w->setEnabled(false);
    actDelete->setEnabled(false);
    actCopy->setEnabled(false);
    ShowIdleOption();
    UpdatePortState();
    UpdatePortPlaceholder();
}

void TfrmMailBoxes::UpdatePortState()
{
    const bool invalid = Selected() && PortOf(edtPort->text()) == 0;
    lblPortStatus->setText(invalid ? PortInvalidText : QString());
    FooterBtn1->setEnabled(!invalid);
}

int TfrmMailBoxes::StandardPort(TMailProtocol protocol, TSecurity security)
{
    const bool tls = security == TSecurity::Tls;
    if (protocol == TMailProtocol::POP3)
        return tls ? 995 : 110;
    return tls ? 993 : 143;
}

void TfrmMailBoxes::UpdatePortPlaceholder()
{
    const TMailBox* box = Selected();
    edtPort->setPlaceholderText(box ? QString::number(StandardPort(box->Protocol, box->Security)) : QString());
}

void TfrmMailBoxes::UpdateCertificate()
{
    const TMailBox* box = Selected();
    const QString pinned = box ? box->CertFingerprint : QString();
    edtCertFingerprint->setText(pinned);
    edtCertFingerprint->setToolTip(pinned);
    edtCertFingerprint->setCursorPosition(0);
    btnForgetCertificate->setEnabled(!pinned.isEmpty());
}

void TfrmMailBoxes::actNewMailBoxExecute()
{
    auto box = std::make_unique<TMailBox>();
    box->Name = strings_.Text(texts::NewMailBoxName);
    box->Port = 0;
    box->Protocol = TMailProtocol::IMAP4;
    const QString name = box->Name;
    working_.Add(std::move(box));
    new QTreeWidgetItem(ListView1, QStringList{name});
    SelectRow(working_.Count() - 1);
    edtName->setFocus();
    edtName->selectAll();
}

void TfrmMailBoxes::actDeleteExecute()
{
    const int index = SelectedIndex();
    if (index < 0)
        return;
    working_.Remove(working_.Items(index));
    {
        // The row goes without a selection event for a row that no longer has a mailbox.
        const QSignalBlocker block(ListView1);
        delete ListView1->takeTopLevelItem(index);
        ListView1->clearSelection();
        ListView1->setCurrentItem(nullptr);
    }
    // The row above takes the place; after the first row nothing is selected.
    SelectRow(index - 1);
    ShowSelected();
}

void TfrmMailBoxes::actCopyExecute()
{
    const TMailBox* from = Selected();
    if (!from)
        return;
    // The copy takes the new mailbox's name, everything else of the source. A trusted certificate
    // belongs to the server, so it comes along. The values are taken first: a list that holds its
    // mailboxes by value may move them when one is added.
    const QString host = from->Host;
    const int port = from->Port;
    const QString user = from->UserName;
    const QString password = from->Password;
    const bool inStore = from->PasswordInStore;
    const bool ignoreAll = from->IgnoreCheckAllCommand;
    const bool ignoreSchedule = from->IgnoreCheckOnSchedule;
    const TMailProtocol protocol = from->Protocol;
    const TSecurity security = from->Security;
    const QString pinned = from->CertFingerprint;
    actNewMailBoxExecute();
    TMailBox* copy = Selected();
    copy->Host = host;
    copy->Port = port;
    copy->UserName = user;
    copy->Password = password;
    copy->PasswordInStore = inStore;
    copy->IgnoreCheckAllCommand = ignoreAll;
    copy->IgnoreCheckOnSchedule = ignoreSchedule;
    copy->Protocol = protocol;
    copy->Security = security;
    copy->CertFingerprint = pinned;
    ShowSelected();
}

QString TfrmMailBoxes::ProbeResultText(const TProbeResult& result) const
{
    switch (result.Outcome) {
    case TProbeOutcome::Ok:
        return result.MessageCount == 1 ? TestWorksOneText : FormatText(TestWorksText, {result.MessageCount});
    case TProbeOutcome::LoginRefused:
        return FormatText(TestLoginRefusedText, {result.Text});
    case TProbeOutcome::Aborted:
        return TestStoppedText;
    case TProbeOutcome::Failed:
        break;
    }
    // A refused certificate is told from its details, in the language of the program.
    const QString why = result.Certificate ? CertificateRefusalText(*result.Certificate, strings_) : result.Text;
    return FormatText(TestFailedText, {why});
}

bool TfrmMailBoxes::TestRunning() const
{
    return testThread_ && testThread_->isRunning();
}

void TfrmMailBoxes::btnTestClick()
{
    const TMailBox* box = Selected();
    if (!box || TestRunning())
        return;
    // A port OK would refuse is not tried either: the field says what is wrong.
    if (box->Port < 1 || box->Port > kMaxPort) {
        UpdatePortState();
        edtPort->setFocus();
        return;
    }
    const TProbeTarget target{box->Host,     box->Port,     box->UserName,       box->Password,
                              box->Protocol, box->Security, box->CertFingerprint};
    if (testThread_)
        testThread_->wait();
    testAbort_ = std::make_shared<TAbortSignal>();
    auto result = std::make_shared<TProbeResult>();
    const int timeout = testTimeout_;
    std::shared_ptr<TAbortSignal> abort = testAbort_;
    testThread_.reset(QThread::create([target, abort, result, timeout, strings = strings_] {
        *result = ProbeMailBox(target, abort.get(), timeout, {}, strings);
    }));
    const quint64 generation = selectionGeneration_;
    connect(testThread_.get(), &QThread::finished, this, [this, result, generation] { TestDone(*result, generation); });
    btnTest->setEnabled(false);
    lblTestResult->setText(TestRunningText);
    testThread_->start();
}

void TfrmMailBoxes::TestDone(const TProbeResult& result, quint64 generation)
{
    btnTest->setEnabled(Selected() != nullptr);
    // A result for a mailbox that is no longer selected would be read as this one's.
    if (generation == selectionGeneration_) {
        QString text = ProbeResultText(result);
        if (result.Certificate && MayBeTrusted(*result.Certificate))
            text += QLatin1Char(' ') + TestCertificateText;
        if (const QString note = IdleTestNote(result); !note.isEmpty())
            text += QLatin1Char(' ') + note;
        lblTestResult->setText(text);
        lblTestResult->setToolTip(text);
    }
    emit TestFinished();
}

void TfrmMailBoxes::StopTest()
{
    if (testAbort_)
        testAbort_->Trigger();
}

void TfrmMailBoxes::done(int result)
{
    if (result == QDialog::Accepted) {
        // A mailbox without a usable port cannot be checked: show it and stay open.
        for (int i = 0; i < working_.Count(); ++i) {
            if (working_.Items(i)->Port < 1 || working_.Items(i)->Port > kMaxPort) {
                if (SelectedIndex() != i)
                    SelectRow(i);
                UpdatePortState();
                edtPort->setFocus();
                return;
            }
        }
        if (secrets_ && !StorePasswords())
            return;
    }
    StopTest();
    QDialog::done(result);
}

void TfrmMailBoxes::SetSecretStore(std::shared_ptr<TSecretStore> store)
{
    secrets_ = std::move(store);
    if (!secrets_)
        return;
    QList<TMailBoxSettings> boxes = working_.Snapshot();
    const QString error = ReadStoredPasswords(boxes, *secrets_, strings_);
    for (int i = 0; i < boxes.size(); ++i)
        *working_.Items(i) = boxes.at(i);
    before_ = boxes;
    ShowSelected();
    // Said in the dialog: the mailboxes whose password could not be read show an empty field.
    if (!error.isEmpty())
        lblTestResult->setText(FormatText(SecretsNotReadText, {error}));
}

bool TfrmMailBoxes::StorePasswords()
{
    QList<TMailBoxSettings> after = working_.Snapshot();
    const TMoveOutcome outcome = StoreEditedPasswords(before_, after, *secrets_, staleKeys_, strings_);
    if (!outcome.Ok) {
        QMessageBox::critical(this, windowTitle(), FormatText(SecretsNotSavedText, {outcome.Error}));
        return false;
    }
    for (int i = 0; i < after.size(); ++i)
        *working_.Items(i) = after.at(i);
    return true;
}

void TfrmMailBoxes::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier && TestRunning()) {
        StopTest();
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TfrmMailBoxes::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    CenterOnScreen(this);
}

bool TfrmMailBoxes::Execute(TMailBoxList& list)
{
    if (exec() != QDialog::Accepted)
        return false;
    list.Assign(working_);
    return true;
}

}  // namespace brevio
