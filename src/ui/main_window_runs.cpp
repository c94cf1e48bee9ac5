// The main window's runs: check all, check one mailbox, the scheduled check, and the delete
// command with the check that follows it; the list that each run fills and its tick commands.
#include "ui/main_window.h"

#include <QAction>
#include <algorithm>
#include <limits>
#include <QApplication>
#include <QMenu>
#include <QTime>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>

#include "components/panel.h"
#include "components/tray_icon.h"
#include "ui/check_runner.h"
#include "engine/mailbox_list.h"
#include "support/app_version.h"
#include "support/error_log.h"
#include "support/text_format.h"
#include "ui/main_window_services.h"

namespace brevio {

bool TForm1::StartRun(TRunKind kind, bool scheduled, int mailBoxIndex, TPending pending, const QList<TMessageToDelete>& deletes)
{
    if (RunInProgress())
        return false;
    scheduledCheck_ = scheduled;
    pending_ = pending;
    runner_->Start(TRunRequest{kind, scheduled, mailBoxList_->Snapshot(), mailBoxIndex, deletes, services_->Strings()});
    UpdateCommandStates();
    return true;
}

void TForm1::actCheckMailExecute()
{
    StartCheckAll(/*clearLog=*/true);
}

void TForm1::StartCheckAll(bool clearLog)
{
    if (RunInProgress())
        return;
    if (clearLog)
        log_->Clear();
    services_->IncrementCounter(QStringLiteral("CheckMail"), 1);
    pnlAbortInfo->show();
    ClearRows();
    StartRun(TRunKind::CheckAll, false, -1, TPending::CheckAll);
}

void TForm1::CheckMailBoxClick(int mailBoxIndex)
{
    if (RunInProgress() || mailBoxIndex < 0 || mailBoxIndex >= mailBoxList_->Count())
        return;
    pnlAbortInfo->show();
    ClearRows();
    StartRun(TRunKind::CheckOne, false, mailBoxIndex, TPending::CheckOne);
}

void TForm1::tmrMailCheckingTimer()
{
    // A tick that falls into a run is skipped; the next one comes a full interval later.
    if (RunInProgress())
        return;
    ClearRows();
    services_->IncrementCounter(QStringLiteral("AutoCheckMail"), 1);
    StartRun(TRunKind::Scheduled, true, -1, TPending::Scheduled);
}

void TForm1::actDeleteExecute()
{
    if (RunInProgress())
        return;
    bool anyTicked = false;
    QList<TMessageToDelete> deletes;
    for (int i = 0; i < ListView1->topLevelItemCount(); ++i) {
        if (ListView1->topLevelItem(i)->checkState(0) != Qt::Checked)
            continue;
        const TMessageRow& row = rows_.at(i);
        anyTicked = true;
        services_->IncrementCounter(QStringLiteral("MessageDeleted"), 1);
        // A message whose size the server did not give adds nothing (it would subtract 1).
        services_->IncrementCounter(QStringLiteral("DisposedSize"), row.SizeBytes);
        deletes.append({row.MailBoxIndex, row.Id});
    }
    pnlAbortInfo->show();
    ClearRows();
    if (anyTicked && StartRun(TRunKind::DeleteMarked, scheduledCheck_, -1, TPending::DeleteThenCheck, deletes))
        return;
    if (!anyTicked)
        SetStatusText(Text(texts::NothingToDelete));
    pnlAbortInfo->hide();
}

void TForm1::OnRunFinished(const TRunResult& result)
{
    const TPending finished = pending_;
    pending_ = TPending::None;
    UpdateCommandStates();
    // A certificate the user trusted during the run is kept in the list and saved at once.
    if (StoreTrustedCertificates(*mailBoxList_, result)) {
        try {
            mailBoxList_->Save(settings_.SettingsFile);
        } catch (const std::exception& e) {
            log_->Add(QString::fromUtf8(e.what()));
        }
    }
    if (destroyed_)
        return;
    switch (finished) {
    case TPending::DeleteThenCheck:
        // The deletion lists nothing itself: the check-all run shows what remains. It keeps the
        // deletion's log entries, so a refused deletion is still reported after it.
        pnlAbortInfo->hide();
        StartCheckAll(/*clearLog=*/false);
        return;
    case TPending::CheckAll:
        FillMessageList(result.Rows);
        pnlAbortInfo->hide();
        if (log_->HasEntries())
            SetStatusText(Text(texts::ErrorOcurres));
        break;
    case TPending::CheckOne:
        FillMessageList(result.Rows);
        pnlAbortInfo->hide();
        break;
    case TPending::Scheduled:
        FillMessageList(result.Rows);
        if (!rows_.isEmpty())
            ShowNewMailPopup(Text(texts::ClickHere),
                             FormatText(Text(texts::NumberNewMessages),
                                        {rows_.size()}));
        break;
    case TPending::None:
        break;
    }
    emit RunFinished();
}

void TForm1::FillMessageList(const QList<TMessageRow>& rows)
{
    ClearRows();
    rows_ = rows;
    QList<QTreeWidgetItem*> items;
    items.reserve(rows.size());
    for (const TMessageRow& row : rows) {
        auto* item = new QTreeWidgetItem(QStringList{row.Number, row.Subject, row.From, row.MailBox,
                                                     row.Size, row.Date, row.Time, row.Folder});
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        item->setCheckState(0, Qt::Unchecked);
        items.append(item);
    }
    ListView1->addTopLevelItems(items);
    services_->IncrementCounter(QStringLiteral("MessageReceived"), rows_.size());
    pnlNoNewMeassages->setVisible(rows_.isEmpty());
    const QString time = QTime::currentTime().toString(QStringLiteral("HH:mm"));
    const QString caption = FormatText(Text(texts::LastCheck),
                                       {ProductName(), GetAppVersion(), time});
    setWindowTitle(caption);
    TrayIcon1->SetHint(caption);
}

void TForm1::ClearRows()
{
    ListView1->clear();
    rows_.clear();
}

void TForm1::actCheckAllExecute()
{
    for (int i = 0; i < ListView1->topLevelItemCount(); ++i)
        ListView1->topLevelItem(i)->setCheckState(0, Qt::Checked);
}

void TForm1::actUnCheckAllExecute()
{
    for (int i = 0; i < ListView1->topLevelItemCount(); ++i)
        ListView1->topLevelItem(i)->setCheckState(0, Qt::Unchecked);
}

void TForm1::actInvertExecute()
{
    for (int i = 0; i < ListView1->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = ListView1->topLevelItem(i);
        item->setCheckState(0, item->checkState(0) == Qt::Checked ? Qt::Unchecked : Qt::Checked);
    }
}

void TForm1::ListView1DblClick()
{
    QTreeWidgetItem* item = ListView1->currentItem();
    if (!item || !item->isSelected())
        return;
    item->setCheckState(0, item->checkState(0) == Qt::Checked ? Qt::Unchecked : Qt::Checked);
}

void TForm1::EscapePressed()
{
    if (!RunInProgress())
        return;
    SetStatusText(Text(texts::AbortedByUser));
    runner_->AbortCurrentMailbox();
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
        QAction* item = pmCheckMailBox->addAction(names[i]);
        item->setData(i);
        connect(item, &QAction::triggered, this, [this, i] { CheckMailBoxClick(i); });
    }
}

void TForm1::ShowNewMailPopup(const QString& text, const QString& title)
{
    emit NewMailAnnounced(title, text);
    TrayIcon1->ShowMessage(title, text);
}

void TForm1::AbortRunAndWait()
{
    if (!RunInProgress())
        return;
    pending_ = TPending::None;
    runner_->AbortAll();
    runner_->WaitForFinished();
}

}  // namespace brevio
