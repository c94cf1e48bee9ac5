// Start-up and shutdown of the main window: the program-wide services in their fixed order,
// the stored placement and column widths, and the saves at exit.
#include "ui/main_window.h"

#include "oauth/token_keeper.h"

#include <QAction>
#include <QCloseEvent>
#include <QApplication>
#include <QCoreApplication>
#include <QDialog>
#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QMessageBox>
#include <QProcess>
#include <QScreen>
#include <QToolButton>
#include <QTreeView>

#include "components/panel.h"
#include "components/tray_icon.h"
#include "settings/form_placement.h"
#include "settings/settings_file.h"
#include "secrets/password_mover.h"
#include "secrets/secret_store.h"
#include "ui/about_dialog.h"
#include "ui/help_topic.h"
#include "ui/idle_watchers.h"
#include "ui/log_window.h"
#include "ui/mailbox_editor.h"
#include "ui/message_list_model.h"
#include "ui/login_dialog.h"
#include "engine/failure_text.h"
#include "engine/mailbox_list.h"
#include "support/app_version.h"
#include "support/exception.h"
#include "support/error_log.h"
#include "support/text_format.h"
#include "ui/main_window_services.h"
#include "ui/program_links.h"
#include "ui/run_controller.h"

namespace brevio {

void TForm1::FormCreate()
{
    // The usage counters (registered every start, loaded from the settings file), this start
    // counted, the options and the string table, which gives the window its language's texts.
    if (!services_)
        services_ = CreateWindowServices(settings_.SettingsFile, settings_.LangsFolder);
    tokens_->SetStore(services_->SecretStore());
    services_->IncrementCounter(QStringLiteral("Start"), 1);
    services_->LocalizeWindow(this);
    // The statistics, once, when a counter has reached its border.
    actShowStats->setVisible(services_->ShowStatisticsIfDue(this));
    // The mailboxes and the check-mailbox menu.
    mailBoxList_->Load(settings_.SettingsFile);
    MoveFilePasswordsToStore();
    BuildCheckMenu();
    // The schedule.
    ApplyCheckOptions();
    // Stored column widths, and the placement stored for this window.
    LoadListViewColumns();
    LoadSpamView();
    LoadFormPlacement();
    // The caption.
    const QString caption = BaseCaption();
    setWindowTitle(caption);
    SetTrayHint(caption);
    // The panels take the list's colour.
    for (TPanel* panel : {pnlNoNewMeassages, pnlAbortInfo}) {
        QPalette palette = panel->palette();
        palette.setColor(QPalette::Window, ListView1->palette().color(QPalette::Base));
        panel->setPalette(palette);
    }
    // The check button is wider than the others.
    btn3->setFixedWidth(44);
    // The error log.
    log_ = std::make_unique<TErrorLog>();
    // A first start, with no mailbox yet, says at once how to add one.
    if (mailBoxList_->Count() == 0) {
        ShowMailBoxHint();
        pnlNoNewMeassages->show();
    }
}

void TForm1::closeEvent(QCloseEvent* event)
{
    if (runPromptOpen_) {
        // This close comes from inside the modal loop of a question the run waits for (the tray
        // menu's Exit while the login or certificate prompt is open): waiting for the run here
        // would never end. The prompt is cancelled (with any confirmation it opened), the run told
        // to end, and the window closes once the prompt is gone.
        event->ignore();
        closeAfterRunPrompt_ = true;
        runs_->AbortAll();
        for (int open = 0; open < 8; ++open) {
            auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            if (!dialog)
                break;
            dialog->reject();
        }
        return;
    }
    // A run that is still going ends now; the saves below need the mailbox list back.
    AbortRunAndWait();
    QMainWindow::closeEvent(event);
}

void TForm1::FormDestroy()
{
    if (destroyed_)
        return;
    destroyed_ = true;
    // The watchers say goodbye while the run ends; none keeps the window longer than the
    // network time-out.
    watchers_->StopAll(services_->NetworkTimeoutSeconds() * 1000);
    AbortRunAndWait();
    // Placement, mailboxes, column widths, counters: in this order.
    QStringList failures;
    auto guarded = [this, &failures](auto&& step) {
        try {
            step();
        } catch (const std::exception& e) {
            failures.append(FailureText(e, services_->Strings()));
        }
    };
    guarded([this] { SaveFormPlacement(); });
    guarded([this] { mailBoxList_->Save(settings_.SettingsFile); });
    guarded([this] { SaveListViewColumns(); });
    guarded([this] { services_->SaveCounters(); });
    if (!failures.isEmpty() && settings_.ReportSaveFailures)
        QMessageBox::warning(nullptr, windowTitle(), failures.join(QLatin1Char('\n')));
}

void TForm1::LoadFormPlacement()
{
    const auto file = OpenIniFile(settings_.SettingsFile);
    const TFormPlacement placement = brevio::LoadFormPlacement(*file, objectName());
    // The normal bounds first: maximizing keeps them as the bounds the window is restored to.
    if (placement.Position)
        move(*placement.Position);
    if (placement.Width && *placement.Width > 0)
        resize(*placement.Width, height());
    if (placement.Height && *placement.Height > 0)
        resize(width(), *placement.Height);
    if (placement.Maximized)
        setWindowState(windowState() | Qt::WindowMaximized);
}

void TForm1::SaveFormPlacement()
{
    const bool maximized = isMaximized();
    // A maximized window keeps the bounds it will come back to. The position stored is the
    // frame's, as move() takes it; the normal geometry is the inside's once the window has been
    // shown un-maximized, so the frame's offset seen then comes off. Otherwise every maximized
    // exit would move the window down by its title bar.
    const QRect bounds =
        maximized ? QRect(normalGeometry().topLeft() - frameOffset_, normalGeometry().size()) : QRect(pos(), size());
    auto file = OpenIniFile(settings_.SettingsFile);
    brevio::SaveFormPlacement(*file, objectName(), maximized, bounds);
}

void TForm1::LoadListViewColumns()
{
    QList<int> current;
    for (int i = 0; i < ListView1->header()->count(); ++i)
        current.append(ListView1->columnWidth(i));
    const auto file = OpenIniFile(settings_.SettingsFile);
    const QList<int> widths = brevio::LoadListViewColumns(*file, objectName(), ListView1->objectName(), current);
    for (int i = 0; i < widths.size() && i < ListView1->header()->count(); ++i)
        ListView1->setColumnWidth(i, widths[i]);
}

void TForm1::SaveListViewColumns()
{
    QList<int> widths;
    for (int i = 0; i < ListView1->header()->count(); ++i)
        widths.append(ListView1->isColumnHidden(i) ? spamColumnWidth_ : ListView1->columnWidth(i));
    auto file = OpenIniFile(settings_.SettingsFile);
    brevio::SaveListViewColumns(*file, objectName(), ListView1->objectName(), widths);
}

void TForm1::StatusBar1Click()
{
    ShowLogWindow(this, log_->Entries());
}

QString TForm1::Text(texts::TTextId id) const
{
    return services_->Strings().Text(id);
}

QString TForm1::BaseCaption() const
{
    return FormatText(QStringLiteral("%s v%s"), {ProductName(), GetAppVersion()});
}

void TForm1::actRunEmailClientExecute()
{
    const TEmailClient client = services_->EmailClient();
    QString message = Text(texts::CannotRunEmaiClient);
    if (!client.Path.isEmpty()) {
        // The parameters are split as a shell would; the program starts in its own folder.
        QProcess process;
        process.setProgram(client.Path);
        process.setArguments(QProcess::splitCommand(client.Parameters));
        process.setWorkingDirectory(QFileInfo(client.Path).absolutePath());
        if (process.startDetached())
            return;
        message += QStringLiteral("\n\n%1: %2").arg(QDir::toNativeSeparators(client.Path), process.errorString());
    }
    QMessageBox::information(this, windowTitle(), message);
    if (actOptions->isEnabled())
        actOptions->trigger();
}

void TForm1::actHelpContentsExecute()
{
    ShowHelp(QStringLiteral("Introduction.htm"));
}

void TForm1::ShowHelp(const QString& topic)
{
    const QString problem = OpenHelpTopic(topic, services_->Strings());
    if (!problem.isEmpty())
        SetStatusText(problem);
}

void TForm1::actMailBoxListExecute()
{
    if (RunInProgress())
        return;
    TfrmMailBoxes dialog(*mailBoxList_, services_->Strings(), this);
    dialog.SetTestTimeout(services_->NetworkTimeoutSeconds());
    const std::shared_ptr<TSecretStore> secrets = services_->SecretStore();
    if (services_->UseSecretStore() && secrets)
        dialog.SetSecretStore(secrets);
    dialog.SetTokenKeeper(tokens_);
    TMailBoxList edited;
    // The secrets of mailboxes renamed or removed go once the list that no longer names them is
    // saved; until then the file may still point at them.
    if (dialog.Execute(edited) && ReplaceMailBoxes(edited))
        for (const QString& key : dialog.StaleSecretKeys())
            secrets->Remove(key);
}

void TForm1::MoveFilePasswordsToStore()
{
    const std::shared_ptr<TSecretStore> secrets = services_->SecretStore();
    if (!services_->UseSecretStore() || !secrets || !FileHoldsPasswords(settings_.SettingsFile))
        return;
    const TMoveOutcome outcome = MovePasswordsToStore(settings_.SettingsFile, *secrets, true, {}, services_->Strings());
    if (outcome.Ok)
        ReloadPasswordPlaces();
    else
        ShowNote(FormatText(Text(texts::PasswordsNotMoved), {outcome.Error}), "PasswordsNotMovedMessage");
}

void TForm1::ReloadPasswordPlaces()
{
    TMailBoxList stored;
    stored.Load(settings_.SettingsFile);
    for (int i = 0; i < mailBoxList_->Count() && i < stored.Count(); ++i) {
        mailBoxList_->Items(i)->Password = stored.Items(i)->Password;
        mailBoxList_->Items(i)->PasswordInStore = stored.Items(i)->PasswordInStore;
    }
}

void TForm1::ShowSecretStoreUnreachable(const QString& reason)
{
    if (std::exchange(secretStoreProblemShown_, true))
        return;
    const QString text = FormatText(Text(texts::SecretStoreUnreachable), {reason});
    SetStatusText(text);
    ShowNote(text, "SecretStoreMessage");
}

void TForm1::ShowNote(const QString& text, const char* name)
{
    auto* note = new QMessageBox(QMessageBox::Warning, windowTitle(), text, QMessageBox::Ok, this);
    note->setObjectName(QLatin1String(name));
    note->setAttribute(Qt::WA_DeleteOnClose);
    note->setWindowModality(Qt::NonModal);
    note->show();
}

bool TForm1::ReplaceMailBoxes(const TMailBoxList& edited)
{
    mailBoxList_->Assign(edited);
    // The rows may belong to mailboxes that are gone or changed: the list starts empty again.
    messages_->Clear();
    ShowMailBoxHint();
    pnlNoNewMeassages->setVisible(mailBoxList_->Count() == 0);
    watchers_->Apply(*mailBoxList_);
    BuildCheckMenu();
    try {
        mailBoxList_->Save(settings_.SettingsFile);
    } catch (const Exception& e) {
        QMessageBox::warning(this, windowTitle(), FailureText(e, services_->Strings()));
        return false;
    }
    return true;
}

void TForm1::actOptionsExecute()
{
    if (RunInProgress())
        return;
    const bool storeBefore = services_->UseSecretStore();
    if (services_->ShowOptions(this)) {
        ApplyCheckOptions();
        LoadSpamView();
    }
    // The passwords moved with the option (also when a later step of OK failed).
    if (services_->UseSecretStore() != storeBefore)
        ReloadPasswordPlaces();
}

void TForm1::actOpenHomePageExecute()
{
    OpenUrl(HomePageLink());
}

void TForm1::actShowStatsExecute()
{
    services_->ShowStatistics(this);
}

void TForm1::actAboutExecute()
{
    TfrmAbout about(this);
    about.exec();
}

}  // namespace brevio
