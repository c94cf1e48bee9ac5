// The main window's side of the runs: the commands that start them, what the window shows when
// one starts and when one ends, the list each run fills and the commands that tick its rows.
#include "ui/main_window.h"

#include <QAction>
#include <algorithm>
#include <limits>
#include <QApplication>
#include <QMenu>
#include <QTime>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>

#include "components/popup_notifier.h"
#include "components/panel.h"
#include "components/tray_icon.h"
#include "engine/failure_text.h"
#include "engine/mailbox_list.h"
#include "support/app_version.h"
#include "support/error_log.h"
#include "support/text_format.h"
#include "ui/idle_watchers.h"
#include "ui/main_window_services.h"
#include "ui/message_list_model.h"
#include "ui/run_controller.h"

namespace brevio {

void TForm1::actCheckMailExecute()
{
    if (RunInProgress())
        return;
    log_->Clear();
    runs_->CheckAll();
}

void TForm1::CheckMailBoxClick(int mailBoxIndex)
{
    if (!RunInProgress())
        runs_->CheckOne(mailBoxIndex);
}

void TForm1::tmrMailCheckingTimer()
{
    // A tick that falls into a run, or while its last rows go into the list, is skipped.
    if (RunInProgress())
        return;
    // Under a modal dialog (the mailbox editor, say, which may replace the list of mailboxes
    // any moment) no check starts; it runs when the dialog has closed.
    if (QApplication::activeModalWidget()) {
        StartWaitingScheduledCheck();
        return;
    }
    runs_->ScheduledCheck();
}

void TForm1::StartWaitingScheduledCheck()
{
    scheduledCheckWaiting_ = true;
    if (!modalDialogWatch_->isActive())
        modalDialogWatch_->start();
}

void TForm1::actDeleteExecute()
{
    if (RunInProgress())
        return;
    // The list is emptied even when nothing was ticked; the ticked rows move out of it.
    QList<TMessageRow> ticked = messages_->TakeTickedRows();
    if (!ticked.isEmpty()) {
        // A message whose size the server did not give adds nothing (it would subtract 1).
        qint64 disposed = 0;
        for (const TMessageRow& row : std::as_const(ticked))
            disposed += row.SizeBytes();
        services_->IncrementCounter(QStringLiteral("MessageDeleted"), ticked.size());
        services_->IncrementCounter(QStringLiteral("DisposedSize"), disposed);
    }
    if (runs_->DeleteThenCheck(std::move(ticked)))
        return;
    SetStatusText(Text(texts::NothingToDelete));
    pnlAbortInfo->hide();
}

void TForm1::OnRunStarted(TRunKind kind)
{
    runKind_ = kind;
    // A watched mailbox's check changes only that mailbox's rows, when it has ended.
    if (kind == TRunKind::Watched) {
        watchedRows_.clear();
        runEnd_.reset();
        UpdateCommandStates();
        return;
    }
    switch (kind) {
    case TRunKind::CheckAll:
        services_->IncrementCounter(QStringLiteral("CheckMail"), 1);
        pnlAbortInfo->show();
        break;
    case TRunKind::CheckOne:
    case TRunKind::DeleteMarked:
        pnlAbortInfo->show();
        break;
    case TRunKind::Scheduled:
        services_->IncrementCounter(QStringLiteral("AutoCheckMail"), 1);
        break;
    case TRunKind::Watched:
        break;
    }
    runEnd_.reset();
    messages_->Clear();
    UpdateCommandStates();
}

void TForm1::OnMailBoxListed(int, const QList<TMessageRow>& rows)
{
    if (runKind_ == TRunKind::Watched) {
        watchedRows_ += rows;
        return;
    }
    if (rows.isEmpty())
        return;
    pnlNoNewMeassages->hide();
    messages_->QueueRows(rows);
}

void TForm1::OnRunEnded(TRunKind kind, const TRunResult& result)
{
    if (destroyed_) {
        UpdateCommandStates();
        return;
    }
    // Every row came before the end; the last of a large mailbox may still be on its way into
    // the list, and the run is over for the window once it is in.
    if (kind == TRunKind::Watched)
        ShowWatchedRows(result);
    else if (kind == TRunKind::CheckAll || kind == TRunKind::CheckOne)
        watchers_->Rearm(runs_->FinishedMailBoxIds(result));
    runEnd_ = TRunEnd{kind, result.RowCount, result.NewMessages};
    if (!messages_->IsFilling())
        FinishRun();
}

void TForm1::OnRunAbandoned()
{
    // An abandoned run shows nothing, not even the mailboxes it had listed.
    runEnd_.reset();
    messages_->Clear();
    UpdateCommandStates();
}

void TForm1::FinishRun()
{
    if (!runEnd_)
        return;
    const TRunEnd end = *runEnd_;
    runEnd_.reset();
    UpdateCommandStates();
    if (end.Kind != TRunKind::Watched)
        ShowListed(end.Rows);
    switch (end.Kind) {
    case TRunKind::CheckAll:
        pnlAbortInfo->hide();
        // The check that follows a deletion keeps the deletion's log entries, so a refused
        // deletion is still reported here.
        if (log_->HasEntries())
            SetStatusText(Text(texts::ErrorOcurres));
        break;
    case TRunKind::CheckOne:
    case TRunKind::DeleteMarked:
        pnlAbortInfo->hide();
        break;
    case TRunKind::Scheduled:
    case TRunKind::Watched:
        // Only what the previous check of each mailbox did not list is announced; the first
        // check after start-up counts everything.
        if (end.NewMessages > 0)
            ShowNewMailPopup(Text(texts::ClickHere), FormatText(Text(texts::NumberNewMessages), {end.NewMessages}));
        break;
    }
    emit RunFinished();
}

void TForm1::ShowMailBoxHint()
{
    // With no mailbox at all the panel and the status line say how to add one; once there are
    // mailboxes, that hint leaves the status line.
    if (noNewMessagesCaption_.isNull())
        noNewMessagesCaption_ = pnlNoNewMeassages->Text();
    const QString hint = Text(texts::NoMailBoxes);
    if (mailBoxList_->Count() == 0) {
        pnlNoNewMeassages->SetText(hint);
        SetStatusText(hint);
        return;
    }
    pnlNoNewMeassages->SetText(noNewMessagesCaption_);
    if (StatusText() == hint)
        SetStatusText(QString());
}

void TForm1::KeepTrustedCertificates(const TRunResult& result)
{
    // A certificate the user trusted during the run is kept in the list and saved at once, also
    // when the run itself lists nothing (a deletion) or was abandoned.
    if (!StoreTrustedCertificates(*mailBoxList_, result))
        return;
    try {
        mailBoxList_->Save(settings_.SettingsFile);
    } catch (const std::exception& e) {
        log_->Add(FailureText(e, services_->Strings()));
    }
}

void TForm1::ShowListed(qsizetype rows)
{
    services_->IncrementCounter(QStringLiteral("MessageReceived"), rows);
    ShowMailBoxHint();
    pnlNoNewMeassages->setVisible(rows == 0);
    ListView1Resize();
    const QString time = QTime::currentTime().toString(QStringLiteral("HH:mm"));
    const QString caption = FormatText(Text(texts::LastCheck), {ProductName(), GetAppVersion(), time});
    setWindowTitle(caption);
    SetTrayHint(caption);
}

void TForm1::actCheckAllExecute()
{
    messages_->TickAll();
}

void TForm1::actUnCheckAllExecute()
{
    messages_->UntickAll();
}

void TForm1::actInvertExecute()
{
    messages_->InvertTicks();
}

void TForm1::ListView1DblClick()
{
    const QModelIndex current = ListView1->currentIndex();
    if (current.isValid() && ListView1->selectionModel()->isRowSelected(current.row(), {}))
        messages_->ToggleTick(current.row());
}

void TForm1::ToggleCurrentRow()
{
    const QModelIndex current = ListView1->currentIndex();
    if (current.isValid())
        messages_->ToggleTick(current.row());
}

bool TForm1::EscapePressed()
{
    // Rows still going into the list after the run are nothing to abort.
    if (!runs_->IsRunning())
        return false;
    SetStatusText(Text(texts::AbortedByUser));
    runs_->AbortCurrentMailbox();
    return true;
}

void TForm1::ApplyCheckOptions()
{
    const TCheckSchedule schedule = services_->CheckSchedule();
    // A timer counts milliseconds in an int: an interval of more than 24 days is cut to that
    // rather than overflowing into a negative or tiny one.
    const qint64 milliseconds = qint64(schedule.IntervalMinutes) * 60 * 1000;
    tmrMailChecking->setInterval(int(std::min<qint64>(milliseconds, std::numeric_limits<int>::max())));
    // An interval of 0 never fires.
    if (schedule.Enabled && schedule.IntervalMinutes > 0)
        tmrMailChecking->start();
    else
        tmrMailChecking->stop();
}

void TForm1::BuildCheckMenu()
{
    pmCheckMailBox->clear();
    const QStringList names = mailBoxList_->CheckMenuCaptions();
    for (int i = 0; i < names.size(); ++i) {
        QAction* item = pmCheckMailBox->addAction(WatchCaption(i, names[i]));
        item->setData(i);
        connect(item, &QAction::triggered, this, [this, i] { CheckMailBoxClick(i); });
    }
}

void TForm1::ShowNewMailPopup(const QString& text, const QString& title)
{
    emit NewMailAnnounced(title, text);
    // Every notification is a window of its own at the same corner, a newer one over an older
    // one. It stays 5 seconds (the unit is seconds).
    TPopupSettings& popup = PopUp->Settings();
    popup.Text = text;
    popup.Title = title;
    popup.TimeOut = 5;
    popup.PopupStartX = 0;
    popup.PopupStartY = 0;
    popup.Options = poAllowScroll;
    PopUp->OpenPopUp();
}

void TForm1::AbortRunAndWait()
{
    runs_->AbortAllAndWait();
}

}  // namespace brevio
