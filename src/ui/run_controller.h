#pragma once
// Decides which run goes and what follows it: check all, check one mailbox, the scheduled check
// (skipped when its tick falls into a run), and the deletion of ticked messages followed by a
// check-all run that lists what remains. It starts runs on the check runner's worker thread and
// tells the window when a run starts, each mailbox's rows as soon as they are there, and when a
// run has ended; it knows no widget.

#include <QList>
#include <QObject>
#include <functional>
#include <memory>
#include <thread>

#include "engine/check_run.h"
#include "ui/check_runner.h"

namespace brevio {

class TMailBoxList;

class TRunController : public QObject {
    Q_OBJECT
public:
    // What every run request takes from the program besides the mailboxes.
    struct TRunSettings {
        TStringTable Strings;
        int NetworkTimeoutSeconds = 60;
        bool Pipelining = true;
        bool HeaderCache = true;
        // Where the passwords of mailboxes marked PasswordInStore are read from; null: nowhere.
        std::shared_ptr<TSecretStore> Secrets;
    };

    // Each run takes a snapshot of `mailBoxes` (which must outlive the controller) and of what
    // `settings` gives at its start; the worker never sees the window's objects.
    TRunController(const TMailBoxList& mailBoxes, std::function<TRunSettings()> settings, TRunHooks hooks,
                   QObject* parent = nullptr);
    ~TRunController() override;

    bool IsRunning() const { return runner_->IsRunning(); }

    // Each returns false when a run is already going (nothing starts then).
    bool CheckAll();
    bool CheckOne(int mailBoxIndex);
    bool ScheduledCheck();
    // A check of the watched mailbox at `mailBoxIndex` whose inbox changed; asks nobody anything.
    bool WatchedCheck(int mailBoxIndex);
    // The ids of the mailboxes the run that gave `result` listed in full.
    QList<quint64> FinishedMailBoxIds(const TRunResult& result) const;
    // Deletes the messages behind `rows` (by their identity on the server), then checks every
    // mailbox again. A row whose mailbox is no longer in the list, or was replaced since the row
    // was listed, is never deleted; the log says how many were left so. The rows themselves are let go on another
    // thread: freeing a very long list's texts takes longer than the UI thread may stall.
    bool DeleteThenCheck(QList<TMessageRow> rows);

    // Ends the current mailbox's operation (Escape); the run goes on with the next mailbox.
    void AbortCurrentMailbox() { runner_->AbortCurrentMailbox(); }
    // Ends the whole run without showing its result; login prompts are answered as cancelled.
    void AbortAll();
    // AbortAll, then waits for the run to end (the window is closing).
    void AbortAllAndWait();

signals:
    // A run of `kind` has started; the window clears its list and shows the run going.
    void RunStarted(brevio::TRunKind kind);
    // One mailbox's rows of the check going, in list order (never after RunAbandoned's run was
    // told to end).
    void MailBoxListed(int mailBoxIndex, const QList<brevio::TMessageRow>& rows);
    // A run of `kind` has ended with its rows listed (all of them came by MailBoxListed), and
    // nothing follows it. The result carries their count and how many are new.
    void RunEnded(brevio::TRunKind kind, const brevio::TRunResult& result);
    // A run that was abandoned (AbortAll) has ended; nothing is listed.
    void RunAbandoned();
    // Any run, listed or not, ended having been told to trust certificates (kept by the window).
    void CertificatesTrusted(const brevio::TRunResult& result);
    void StatusText(const QString& text);
    void LogEntry(const QString& text);
    // A run found no secret store to read its passwords from; `reason` says why.
    void SecretStoreUnreachable(const QString& reason);

protected:
    bool event(QEvent* e) override;

private:
    bool Start(TRunKind kind, bool scheduled, int mailBoxIndex = -1, const QList<TMessageToDelete>& deletes = {});
    void OnRunnerFinished(const TRunResult& result);

    const TMailBoxList& mailBoxes_;
    std::function<TRunSettings()> settings_;
    // The run going or last gone. A deletion carries its Scheduled flag on, so after a
    // scheduled run it asks for no password either.
    TRunRequest request_;
    TCheckRunner* runner_ = nullptr;
    bool abandoned_ = false;   // the run going ends unlisted
    std::thread rowsFreeing_;  // lets go of deleted rows; joined before the next and at the end
};

}  // namespace brevio
