#pragma once
// Runs checks and deletions on a worker thread so the window stays painted and can take the
// Escape key. One run at a time; while it goes, the worker owns the mailbox list and the window
// must not touch it. Results come back as values through queued signals.

#include <QObject>
#include <QThread>
#include <functional>
#include <memory>

#include "engine/check_run.h"
#include "support/abort_signal.h"
#include "support/string_table.h"

namespace brevio {

class TMailBoxList;
class TRunWorker;
class TGuiCheckContext;

// What a run may ask of the window while it goes.
struct TRunHooks {
    // Shows the login prompt; returns true when the user confirmed. Called on the UI thread.
    std::function<bool(const QString& host, QString& userName, QString& password)> AskLogin;
    // The message texts; each run takes a copy when it starts, so the worker never reads the
    // window's language data.
    std::function<TStringTable()> Strings;
};

class TCheckRunner : public QObject {
    Q_OBJECT
public:
    explicit TCheckRunner(TRunHooks hooks, QObject* parent = nullptr);
    ~TCheckRunner() override;

    // Starts a run over `list`; false when one is already going. The list must stay alive and
    // untouched by the caller until Finished arrives.
    bool Start(TMailBoxList& list, TRunKind kind, bool scheduled, int mailBoxIndex = -1);
    bool IsRunning() const { return running_; }

    // Ends the current mailbox's operation at once (Escape).
    void AbortCurrentMailbox();
    // Ends the whole run: every remaining mailbox is aborted at its first step, and login
    // prompts are answered as cancelled. Used when the window closes.
    void AbortAll();
    // Waits for the running run to end while still serving its requests to the UI thread.
    void WaitForFinished();

signals:
    void StatusText(const QString& text);
    void LogEntry(const QString& text);
    void Finished(const brevio::TRunResult& result);

private:
    friend class TRunWorker;
    friend class TGuiCheckContext;
    bool AskLoginOnUiThread(const QString& host, QString& userName, QString& password);
    void OnWorkerFinished(const TRunResult& result);

    TRunHooks hooks_;
    QThread thread_;
    TRunWorker* worker_ = nullptr;
    TAbortSignal abort_;
    bool running_ = false;
};

}  // namespace brevio

Q_DECLARE_METATYPE(brevio::TRunResult)
