#include "ui/run_controller.h"

#include <QEvent>

#include <thread>

#include "engine/mailbox_list.h"
#include "support/text_format.h"
#include "support/thread_handoff.h"

namespace brevio {

TRunController::TRunController(const TMailBoxList& mailBoxes, std::function<TRunSettings()> settings, TRunHooks hooks,
                               QObject* parent)
    : QObject(parent), mailBoxes_(mailBoxes), settings_(std::move(settings))
{
    runner_ = new TCheckRunner(std::move(hooks), this);
    connect(runner_, &TCheckRunner::StatusText, this, &TRunController::StatusText);
    connect(runner_, &TCheckRunner::LogEntry, this, &TRunController::LogEntry);
    connect(runner_, &TCheckRunner::SecretStoreUnreachable, this, &TRunController::SecretStoreUnreachable);
    connect(runner_, &TCheckRunner::Finished, this, &TRunController::OnRunnerFinished);
    // The worker emits these on its own thread; they arrive here queued, in order, before the
    // run's end.
    connect(runner_, &TCheckRunner::MailBoxRows, this, [this](int mailBoxIndex, const QList<TMessageRow>& rows) {
        if (!abandoned_)
            emit MailBoxListed(mailBoxIndex, rows);
    });
}

TRunController::~TRunController()
{
    // The runner goes first, unheard: a run still going ends before the count it uses goes.
    runner_->disconnect(this);
    delete runner_;
    if (rowsFreeing_.joinable())
        rowsFreeing_.join();
}

bool TRunController::event(QEvent* e)
{
    // The runner's texts and rows come from its worker thread as queued signals.
    if (e->type() == QEvent::MetaCall)
        HandOffArrived(runner_);
    return QObject::event(e);
}

bool TRunController::Start(TRunKind kind, bool scheduled, int mailBoxIndex, const QList<TMessageToDelete>& deletes)
{
    if (runner_->IsRunning())
        return false;
    abandoned_ = false;
    const TRunSettings settings = settings_ ? settings_() : TRunSettings();
    TRunRequest request;
    request.Kind = kind;
    request.Scheduled = scheduled;
    request.MailBoxes = mailBoxes_.Snapshot();
    request.MailBoxIds = mailBoxes_.Ids();
    request.MailBoxIndex = mailBoxIndex;
    request.Deletes = deletes;
    request.Strings = settings.Strings;
    request.NetworkTimeoutSeconds = settings.NetworkTimeoutSeconds;
    request.Pipelining = settings.Pipelining;
    request.HeaderCache = settings.HeaderCache;
    request_ = request;
    runner_->Start(request, settings.Secrets);
    emit RunStarted(kind);
    return true;
}

bool TRunController::CheckAll()
{
    return Start(TRunKind::CheckAll, false);
}

bool TRunController::CheckOne(int mailBoxIndex)
{
    if (runner_->IsRunning() || mailBoxIndex < 0 || mailBoxIndex >= mailBoxes_.Count())
        return false;
    return Start(TRunKind::CheckOne, false, mailBoxIndex);
}

bool TRunController::ScheduledCheck()
{
    // A tick that falls into a run is skipped; the next one comes a full interval later.
    return Start(TRunKind::Scheduled, true);
}

bool TRunController::WatchedCheck(int mailBoxIndex)
{
    if (runner_->IsRunning() || mailBoxIndex < 0 || mailBoxIndex >= mailBoxes_.Count())
        return false;
    return Start(TRunKind::Watched, true, mailBoxIndex);
}

QList<quint64> TRunController::FinishedMailBoxIds(const TRunResult& result) const
{
    QList<quint64> ids;
    for (int index : MailBoxesOfRun(request_.MailBoxes, request_.Kind, request_.MailBoxIndex)) {
        if (!result.UnfinishedMailBoxes.contains(index) && index < request_.MailBoxIds.size())
            ids.append(request_.MailBoxIds.at(index));
    }
    return ids;
}

bool TRunController::DeleteThenCheck(QList<TMessageRow> rows)
{
    if (runner_->IsRunning() || rows.isEmpty())
        return false;
    // Each row goes to its mailbox by the mailbox's id, never by its position: the list may have
    // been replaced since the row was listed, and a position would then name another mailbox.
    QList<TMessageToDelete> deletes;
    deletes.reserve(rows.size());
    int orphans = 0;
    for (const TMessageRow& row : std::as_const(rows)) {
        const int index = row.MailBoxId != 0 ? mailBoxes_.IndexOfId(row.MailBoxId) : -1;
        if (index < 0)
            ++orphans;
        else
            deletes.append({index, row.Id});
    }
    if (orphans > 0) {
        const TStringTable strings = settings_ ? settings_().Strings : TStringTable();
        emit LogEntry(FormatText(strings.Text(texts::MailBoxChangedNotDeleted), {orphans}));
    }
    // Freeing 100,000 rows takes tens of milliseconds: a thread of its own does it, so the window
    // does not stall. (Starting a thread orders the hand-over for the thread sanitizer too, which
    // a pool's queue, behind Qt's own locks, does not.)
    if (rowsFreeing_.joinable())
        rowsFreeing_.join();
    rowsFreeing_ = std::thread([gone = std::move(rows)] {});
    // Nothing left to delete: the check that lists what remains still follows.
    if (deletes.isEmpty())
        return Start(TRunKind::CheckAll, false);
    return Start(TRunKind::DeleteMarked, request_.Scheduled, -1, deletes);
}

void TRunController::AbortAll()
{
    if (!runner_->IsRunning())
        return;
    abandoned_ = true;
    runner_->AbortAll();
}

void TRunController::AbortAllAndWait()
{
    AbortAll();
    runner_->WaitForFinished();
}

void TRunController::OnRunnerFinished(const TRunResult& result)
{
    if (!result.TrustedCertificates.isEmpty())
        emit CertificatesTrusted(result);
    if (abandoned_) {
        abandoned_ = false;
        emit RunAbandoned();
        return;
    }
    // The deletion lists nothing itself: the check-all run after it shows what remains.
    if (request_.Kind == TRunKind::DeleteMarked) {
        Start(TRunKind::CheckAll, false);
        return;
    }
    emit RunEnded(request_.Kind, result);
}

}  // namespace brevio
