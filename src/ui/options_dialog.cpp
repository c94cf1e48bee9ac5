#include "ui/options_dialog.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "components/footer.h"
#include "localization/localizator.h"
#include "engine/failure_text.h"
#include "settings/autorun.h"
#include "settings/language_table.h"
#include "settings/options.h"
#include "support/exception.h"
#include "support/text_format.h"
#include "ui/form_localizer.h"
#include "ui/form_scale.h"
#include "ui/named_widget.h"

namespace brevio {

namespace {


constexpr int kMaxInterval = 100;  // minutes
constexpr int kMinTimeout = 5;     // seconds
constexpr int kMaxTimeout = 600;

}  // namespace

TfrmOptions::TfrmOptions(TOptions& options, TLocalizator& localizator, const QString& settingsFile, QWidget* parent,
                         THelpLauncher help)
    : QDialog(parent), options_(options), localizator_(localizator), settingsFile_(settingsFile), help_(std::move(help))
{
    setObjectName(QStringLiteral("frmOptions"));
    setWindowTitle(QStringLiteral("Настройки"));
    setWindowFlags(kFixedDialogFlags);
    chkLoadOnWindowsStartUp =
        Named(new QCheckBox(QStringLiteral("Загружать при старте Windows"), this), "chkLoadOnWindowsStartUp");
    BuildAutoChecking();
    BuildEmailClient();
    QGridLayout* bottom = BuildLanguageAndNetwork();
    LayOut(bottom);
    ConnectHelpAndBrowse();

    LocalizeForm(this);
    LoadFromOptions();
}

// The schedule: whether and how often the mailboxes are checked by themselves.
void TfrmOptions::BuildAutoChecking()
{
    const auto make = [](auto* widget, const char* name) { return Named(widget, name); };
    grpAutoChecking = make(new QGroupBox(QStringLiteral("Автоматическая проверка"), this), "grpAutoChecking");
    chkAutoCheck =
        make(new QCheckBox(QStringLiteral("Автоматически проверять почтовые ящики"), grpAutoChecking), "chkAutoCheck");
    lbl1 = make(new QLabel(QStringLiteral("Интервал , минуты:"), grpAutoChecking), "lbl1");
    udCheckInterval = make(new QSpinBox(grpAutoChecking), "udCheckInterval");
    udCheckInterval->setRange(0, kMaxInterval);
    udCheckInterval->setSingleStep(1);
    udCheckInterval->setWrapping(false);
    if (auto* text = udCheckInterval->findChild<QLineEdit*>())
        text->setObjectName(QStringLiteral("edt1"));
    lbl1->setBuddy(udCheckInterval);
    auto* checking = new QGridLayout(grpAutoChecking);
    checking->addWidget(chkAutoCheck, 0, 0, 1, 2);
    checking->addWidget(lbl1, 1, 0);
    checking->addWidget(udCheckInterval, 1, 1, Qt::AlignRight);
    checking->setColumnStretch(0, 1);
}

void TfrmOptions::BuildEmailClient()
{
    const auto make = [](auto* widget, const char* name) { return Named(widget, name); };
    grpEmailClient = make(new QGroupBox(QStringLiteral("Email client"), this), "grpEmailClient");
    lblPath = make(new QLabel(QStringLiteral("Path:"), grpEmailClient), "lblPath");
    edtEmailClientPath = make(new QLineEdit(grpEmailClient), "edtEmailClientPath");
    btnBrowse = make(new QPushButton(QStringLiteral("Browse"), grpEmailClient), "btnBrowse");
    lblParameters = make(new QLabel(QStringLiteral("Parameters:"), grpEmailClient), "lblParameters");
    edtParameters = make(new QLineEdit(grpEmailClient), "edtParameters");
    lblPath->setBuddy(edtEmailClientPath);
    lblParameters->setBuddy(edtParameters);
    auto* client = new QGridLayout(grpEmailClient);
    client->addWidget(lblPath, 0, 0, 1, 2);
    client->addWidget(edtEmailClientPath, 1, 0);
    client->addWidget(btnBrowse, 1, 1);
    client->addWidget(lblParameters, 2, 0, 1, 2);
    client->addWidget(edtParameters, 3, 0, 1, 2);
    client->setColumnStretch(0, 1);
}

// The language, the network time-out and the two check options; returns the grid of the first two.
QGridLayout* TfrmOptions::BuildLanguageAndNetwork()
{
    const auto make = [](auto* widget, const char* name) { return Named(widget, name); };
    lblLang = make(new QLabel(QStringLiteral("Язык:"), this), "lblLang");
    cbLang = make(new QComboBox(this), "cbLang");
    cbLang->setEditable(false);
    cbLang->setMinimumWidth(Scaled(this, 241));
    lblLang->setBuddy(cbLang);
    lblNetworkTimeout = make(new QLabel(QStringLiteral("Network time-out, seconds:"), this), "lblNetworkTimeout");
    udNetworkTimeout = make(new QSpinBox(this), "udNetworkTimeout");
    udNetworkTimeout->setRange(kMinTimeout, kMaxTimeout);
    udNetworkTimeout->setWrapping(false);
    udNetworkTimeout->setToolTip(QStringLiteral("How long a connection may wait for the server before it fails"));
    lblNetworkTimeout->setBuddy(udNetworkTimeout);
    auto* bottom = new QGridLayout;
    bottom->addWidget(lblLang, 0, 0);
    bottom->addWidget(cbLang, 0, 1);
    bottom->addWidget(lblNetworkTimeout, 1, 0);
    bottom->addWidget(udNetworkTimeout, 1, 1, Qt::AlignRight);
    bottom->setColumnStretch(0, 1);

    chkPipelining =
        make(new QCheckBox(QStringLiteral("Send commands without waiting for each reply"), this), "chkPipelining");
    chkPipelining->setToolTip(QStringLiteral("Much faster for big mailboxes; turn off only for a server that "
                                             "cannot keep up"));
    chkHeaderCache = make(new QCheckBox(QStringLiteral("Remember headers already seen"), this), "chkHeaderCache");
    chkHeaderCache->setToolTip(QStringLiteral("The next check fetches only the headers of new messages"));
    chkUseSecretStore =
        make(new QCheckBox(QStringLiteral("Keep passwords in the desktop's secret store"), this), "chkUseSecretStore");
    chkShowSpamColumn =
        make(new QCheckBox(QStringLiteral("Show the servers' spam verdicts"), this), "chkShowSpamColumn");
    chkShowSpamColumn->setToolTip(QStringLiteral("The Spam column of the message list"));
    return bottom;
}

void TfrmOptions::LayOut(QGridLayout* bottom)
{
    const TOkCancelHelpBar footer = CreateOkCancelHelpBar(this);
    Footer1 = footer.Bar;
    FooterBtn1 = footer.Ok;
    FooterBtn2 = footer.Cancel;
    FooterBtn3 = footer.Help;

    auto* body = new QVBoxLayout;
    body->setContentsMargins(Scaled(this, 8), Scaled(this, 8), Scaled(this, 6), Scaled(this, 6));
    body->addWidget(chkLoadOnWindowsStartUp);
    body->addWidget(grpAutoChecking);
    body->addWidget(grpEmailClient);
    body->addLayout(bottom);
    body->addWidget(chkPipelining);
    body->addWidget(chkHeaderCache);
    body->addWidget(chkUseSecretStore);
    body->addWidget(chkShowSpamColumn);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);
    outer->addLayout(body, 1);
    outer->addWidget(Footer1);
    setMinimumWidth(Scaled(this, 359));
    outer->setSizeConstraint(QLayout::SetFixedSize);
}

void TfrmOptions::ConnectHelpAndBrowse()
{
    const auto make = [](auto* widget, const char* name) { return Named(widget, name); };
    auto* act1 = make(new QAction(this), "act1");
    act1->setShortcut(QKeySequence(Qt::Key_F1));
    addAction(act1);
    const auto showHelp = [this] { help_(this, QStringLiteral("Options.htm")); };
    connect(act1, &QAction::triggered, this, showHelp);
    connect(FooterBtn3, &QPushButton::clicked, this, showHelp);
    connect(btnBrowse, &QPushButton::clicked, this, &TfrmOptions::btnBrowseClick);
}

void TfrmOptions::LoadFromOptions()
{
    // The box shows whether the entry is there, not what was last stored: the entry may have been
    // removed by hand or by another program.
    chkLoadOnWindowsStartUp->setChecked(IsLoadOnStartSet());
    udCheckInterval->setValue(qBound(0, options_.FCheckMailInterval, kMaxInterval));
    chkAutoCheck->setChecked(options_.FAutomaticCheckMail);
    int current = -1;
    cbLang->clear();
    // Every language file is a choice, also one whose code the table of languages does not know.
    for (const TLanguageEntry& entry : localizator_.GetLanguages(current))
        cbLang->addItem(entry.Text, entry.Code);
    edtEmailClientPath->setText(options_.FEmailClientPath);
    edtParameters->setText(options_.FEmailClientParameters);
    udNetworkTimeout->setValue(qBound(kMinTimeout, options_.FNetworkTimeout, kMaxTimeout));
    chkPipelining->setChecked(options_.FPipelining);
    chkHeaderCache->setChecked(options_.FHeaderCache);
    chkUseSecretStore->setChecked(options_.FUseSecretStore);
    chkShowSpamColumn->setChecked(options_.FShowSpamColumn);
    cbLang->setCurrentIndex(cbLang->findData(options_.FCurrentLanguage.toUpper()));
}

void TfrmOptions::StoreToOptions()
{
    TOptions updated = options_;
    const bool autorun = chkLoadOnWindowsStartUp->isChecked();
    updated.FLoadOnWindowsStart = autorun;
    updated.FCheckMailInterval = udCheckInterval->value();
    updated.FAutomaticCheckMail = chkAutoCheck->isChecked();
    updated.FEmailClientPath = edtEmailClientPath->text();
    updated.FEmailClientParameters = edtParameters->text();
    updated.FNetworkTimeout = udNetworkTimeout->value();
    updated.FPipelining = chkPipelining->isChecked();
    updated.FHeaderCache = chkHeaderCache->isChecked();
    updated.FUseSecretStore = chkUseSecretStore->isChecked();
    updated.FShowSpamColumn = chkShowSpamColumn->isChecked();
    // No language chosen (an empty list, or a current language without a file): keep the current.
    const QString language = cbLang->currentIndex() >= 0 ? cbLang->currentData().toString() : QString();
    const bool newLanguage = !language.isEmpty();
    if (newLanguage)
        updated.FCurrentLanguage = language;

    // The passwords move first: when that fails, nothing else has changed yet. The move writes
    // the option itself, in the same write as the passwords.
    if (updated.FUseSecretStore != options_.FUseSecretStore && movePasswords_) {
        const QString error = movePasswords_(updated.FUseSecretStore);
        if (!error.isEmpty())
            throw Exception(error);
        // Done and saved, whatever follows.
        options_.FUseSecretStore = updated.FUseSecretStore;
    }
    const bool hadAutorun = IsLoadOnStartSet();
    if (autorun && !SetLoadOnStart(true, {}, localizator_.Strings))
        throw Exception(FormatText(AutostartFailedText, {RunKeyFor(TAutorunScope::UserRun).value_or(QString())}));
    if (!autorun)
        SetLoadOnStart(false);  // a missing entry is what was asked for; nothing to report
    try {
        updated.Save(settingsFile_);
    } catch (...) {
        // Nothing changes unless everything does: the entry goes back to how it was.
        SetLoadOnStart(hadAutorun, {}, localizator_.Strings);
        throw;
    }
    options_ = updated;
    if (newLanguage)
        localizator_.SetLanguageCode(language);
}

void TfrmOptions::done(int result)
{
    if (result == QDialog::Accepted) {
        try {
            StoreToOptions();
        } catch (const Exception& e) {
            const QString why = FailureText(e, localizator_.Strings);
            QMessageBox::critical(this, windowTitle(), FormatText(NotSavedText, {why}));
            return;
        }
    }
    QDialog::done(result);
}

void TfrmOptions::btnBrowseClick()
{
    QFileDialog dialog(this, lblPath->text());
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setOption(QFileDialog::ReadOnly, false);
#ifdef Q_OS_WIN
    dialog.setNameFilter(QStringLiteral("Executables (*.exe)"));
#else
    dialog.setFilter(QDir::AllDirs | QDir::Files | QDir::Executable | QDir::NoDotAndDotDot);
#endif
    const QFileInfo current(edtEmailClientPath->text());
    if (current.isAbsolute())
        dialog.setDirectory(current.absolutePath());
    if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
        edtEmailClientPath->setText(
            QDir::toNativeSeparators(QFileInfo(dialog.selectedFiles().first()).absoluteFilePath()));
}

void TfrmOptions::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    CenterOnScreen(this);
}

}  // namespace brevio
