#pragma once
// Runs checks and deletions on a worker thread so the window stays painted and can take the
// Escape key. One run at a time. A run takes a request by value (a snapshot of the mailboxes and
// the messages to delete by identity) and never touches an object of the window; its rows come
// back as values through queued signals, a mailbox at a time. The worker keeps the record of
// what each mailbox listed, to count the new messages of each check.

#include <QObject>
#include <QThread>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

#include "engine/check_run.h"
#include "oauth/token_keeper.h"
#include "support/abort_signal.h"
#include "support/string_table.h"

namespace brevio {

struct TCertificateInfo;
class TRunWorker;
class TSecretStore;
class TGuiCheckContext;

// What a run may ask of the window while it goes.
struct TRunHooks {
    // Shows the login prompt; returns true when the user confirmed. Called on the UI thread.
    std::function<bool(const QString& host, QString& userName, QString& password)> AskLogin;
    // Asks whether to trust a server certificate that did not verify; returns true when the
    // user trusts it. Called on the UI thread. Not set: never trusted.
    std::function<bool(const TCertificateInfo& certificate)> AskTrustCertificate;
    // Signs a mailbox in at its OAuth2 provider (a browser opens) and waits for the end. Called
    // on the UI thread, only in runs the user started. Not set: nobody is signed in.
    std::function<TTokenReply(const TMailBoxSettings& box)> SignIn;
    // The OAuth2 tokens of the mailboxes; not set: OAuth2 mailboxes get no token.
    std::shared_ptr<TOAuthTokenKeeper> Tokens;
};

class TCheckRunner : public QObject {
    Q_OBJECT
public:
    explicit TCheckRunner(TRunHooks hooks, QObject* parent = nullptr);
    ~TCheckRunner() override;

    // Starts a run of `request`; false when one is already going. `secrets` (when given) gives
    // the passwords of the mailboxes marked as keeping theirs in the store: the worker reads
    // them as the run starts, into the run's own copy of the request.
    bool Start(const TRunRequest& request, std::shared_ptr<TSecretStore> secrets = {});
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
    // No secret store could be reached for a run's passwords; `reason` says why.
    void SecretStoreUnreachable(const QString& reason);
    // One mailbox's rows, as soon as its check is done (check runs only). The rows come only
    // this way: the result at the end carries their count.
    void MailBoxRows(int mailBoxIndex, const QList<brevio::TMessageRow>& rows);
    // The run has ended. Its result's Rows are empty; RowCount says how many came, NewMessages
    // how many of them the previous check of their mailbox did not list (0 for a deletion and a
    // run ended by AbortAll).
    void Finished(const brevio::TRunResult& result);

protected:
    bool event(QEvent* e) override;

private:
    friend class TRunWorker;
    friend class TGuiCheckContext;
    bool AskLoginOnUiThread(const QString& host, QString& userName, QString& password);
    // On the worker thread: runs `ask` on the UI thread and waits for its answer.
    bool AskOnUiThread(const std::function<bool()>& ask);
    // On the worker thread, after posting a question or the result: WaitForFinished looks again.
    void WakeWaiter();
    bool AskTrustOnUiThread(const TCertificateInfo& certificate);
    // On the worker thread: the window's sign-in for `box` (a failure when the run is aborted).
    TTokenReply SignInFromWorker(const TMailBoxSettings& box);
    void OnWorkerFinished(const TRunResult& result);

    TRunHooks hooks_;
    QThread thread_;
    TRunWorker* worker_ = nullptr;
    TAbortSignal abort_;
    bool running_ = false;
    std::mutex wakeMutex_;
    std::condition_variable wakeCondition_;
    bool wake_ = false;  // under wakeMutex_
};

}  // namespace brevio

Q_DECLARE_METATYPE(brevio::TRunResult)
Q_DECLARE_METATYPE(QList<brevio::TMessageRow>)
