#include "ui/run_controller.h"

#include "engine/mailbox_list.h"

namespace brevio {

TRunController::TRunController(const TMailBoxList& mailBoxes, std::function<TRunSettings()> settings,
                               TRunHooks hooks, QObject* parent)
    : QObject(parent), mailBoxes_(mailBoxes), settings_(std::move(settings))
{
    runner_ = new TCheckRunner(std::move(hooks), this);
    connect(runner_, &TCheckRunner::StatusText, this, &TRunController::StatusText);
    connect(runner_, &TCheckRunner::LogEntry, this, &TRunController::LogEntry);
    connect(runner_, &TCheckRunner::Finished, this, &TRunController::OnRunnerFinished);
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
    request.MailBoxIndex = mailBoxIndex;
    request.Deletes = deletes;
    request.Strings = settings.Strings;
    request.NetworkTimeoutSeconds = settings.NetworkTimeoutSeconds;
    request.Pipelining = settings.Pipelining;
    request.HeaderCache = settings.HeaderCache;
    request_ = request;
    runner_->Start(request);
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

bool TRunController::DeleteThenCheck(const QList<TMessageRow>& rows)
{
    if (runner_->IsRunning() || rows.isEmpty())
        return false;
    QList<TMessageToDelete> deletes;
    deletes.reserve(rows.size());
    for (const TMessageRow& row : rows)
        deletes.append({row.MailBoxIndex, row.Id});
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
    const int newMessages = newMessages_.Update(
        request_.MailBoxes, MailBoxesOfRun(request_.MailBoxes, request_.Kind, request_.MailBoxIndex), result.Rows);
    emit RunEnded(request_.Kind, result, newMessages);
}

}  // namespace brevio
