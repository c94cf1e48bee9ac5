#pragma once
// Runs checks and deletions on a worker thread so the window stays painted and can take the
// Escape key. One run at a time. A run takes a request by value (a snapshot of the mailboxes and
// the messages to delete by identity) and never touches an object of the window; its rows come
// back as values through queued signals, a mailbox at a time and all together at the end.

#include <QObject>
#include <QThread>
#include <functional>
#include <memory>

#include "engine/check_run.h"
#include "support/abort_signal.h"
#include "support/string_table.h"

namespace brevio {

struct TCertificateInfo;
class TRunWorker;
class TGuiCheckContext;

// What a run may ask of the window while it goes.
struct TRunHooks {
    // Shows the login prompt; returns true when the user confirmed. Called on the UI thread.
    std::function<bool(const QString& host, QString& userName, QString& password)> AskLogin;
    // Asks whether to trust a server certificate that did not verify; returns true when the
    // user trusts it. Called on the UI thread. Not set: never trusted.
    std::function<bool(const TCertificateInfo& certificate)> AskTrustCertificate;
    // Counts what a check run found, on the worker thread once the run is done, so a very long
    // list is not counted on the UI thread; the count comes with Finished. Not called for a
    // deletion or a run ended by AbortAll. Runs never overlap, so what it keeps between runs
    // needs no lock as long as nothing else touches it.
    std::function<int(const TRunRequest& request, const TRunResult& result)> CountRun;
};

class TCheckRunner : public QObject {
    Q_OBJECT
public:
    explicit TCheckRunner(TRunHooks hooks, QObject* parent = nullptr);
    ~TCheckRunner() override;

    // Starts a run of `request`; false when one is already going.
    bool Start(const TRunRequest& request);
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
    // One mailbox's rows, as soon as its check is done (check runs only).
    void MailBoxRows(int mailBoxIndex, const QList<brevio::TMessageRow>& rows);
    // The run has ended; `count` is what TRunHooks::CountRun returned (0 when not called).
    void Finished(const brevio::TRunResult& result, int count);

protected:
    bool event(QEvent* e) override;

private:
    friend class TRunWorker;
    friend class TGuiCheckContext;
    bool AskLoginOnUiThread(const QString& host, QString& userName, QString& password);
    bool AskTrustOnUiThread(const TCertificateInfo& certificate);
    void OnWorkerFinished(const TRunResult& result, int count);

    TRunHooks hooks_;
    QThread thread_;
    TRunWorker* worker_ = nullptr;
    TAbortSignal abort_;
    bool running_ = false;
};

}  // namespace brevio

Q_DECLARE_METATYPE(brevio::TRunResult)
Q_DECLARE_METATYPE(QList<brevio::TMessageRow>)
