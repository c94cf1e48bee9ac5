#include "ui/check_runner.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QSemaphore>

#include "engine/failure_text.h"
#include "engine/header_cache.h"
#include "engine/new_messages.h"
#include "net/errors.h"
#include "oauth/run_tokens.h"
#include "secrets/run_secrets.h"
#include "support/exception.h"
#include "engine/check_context.h"
#include "support/thread_handoff.h"

namespace brevio {

// The engine's view of the window during one run. Lives on the worker thread.
class TGuiCheckContext final : public TCheckContext {
public:
    TGuiCheckContext(TCheckRunner& runner, const TRunRequest& request)
        : runner_(runner), scheduled_(request.Scheduled), strings_(request.Strings),
          timeoutSeconds_(request.NetworkTimeoutSeconds), pipelining_(request.Pipelining)
    {
        // The cache is read and written here, on the worker thread, never on the window's. A
        // check one message at a time uses none.
        if (request.HeaderCache && request.Pipelining && request.Kind != TRunKind::DeleteMarked) {
            cache_ = std::make_unique<THeaderCache>();
            cache_->StartLoading();
        }
    }

    ~TGuiCheckContext() override
    {
        if (cache_)
            cache_->Save();
    }

    // What the worker hands to the window goes through HandOff (support/thread_handoff.h).
    void SetStatus(const QString& text) override
    {
        HandOff(&runner_, [&] { emit runner_.StatusText(text); });
    }

    void ThrowIfAborted() override { runner_.abort_.ThrowIfTriggered(); }

    bool IsScheduledCheck() const override { return scheduled_; }

    bool AskLoginAndPassword(const QString& host, QString& userName, QString& password) override
    {
        if (scheduled_ || runner_.abort_.IsHeld())
            return false;
        QString user;
        QString pass;
        const bool confirmed = runner_.AskOnUiThread([&] { return runner_.AskLoginOnUiThread(host, user, pass); });
        userName = user;
        password = pass;
        return confirmed;
    }

    bool AskTrustCertificate(const TCertificateInfo& certificate) override
    {
        if (scheduled_ || runner_.abort_.IsHeld())
            return false;
        return runner_.AskOnUiThread([&] { return runner_.AskTrustOnUiThread(certificate); });
    }

    void Log(const QString& text) override
    {
        HandOff(&runner_, [&] { emit runner_.LogEntry(text); });
    }

    QString RenewAccessToken(const TMailBoxSettings& box) override
    {
        if (!runner_.hooks_.Tokens)
            return {};
        TSignInFunction signIn;
        if (!scheduled_)
            signIn = [this](const TMailBoxSettings& b) { return runner_.SignInFromWorker(b); };
        QString failure;
        const QString token =
            ObtainAccessToken(box, true, *runner_.hooks_.Tokens, signIn, !scheduled_, strings_, failure);
        if (!failure.isEmpty())
            Log(failure);
        return token;
    }

    TAbortSignal* AbortSignal() override { return &runner_.abort_; }

    const TStringTable& Strings() const override { return strings_; }

    int NetworkTimeoutSeconds() const override { return timeoutSeconds_; }

    bool Pipelining() const override { return pipelining_; }

    THeaderCache* HeaderCache() override { return cache_.get(); }

private:
    TCheckRunner& runner_;
    bool scheduled_;
    const TStringTable& strings_;
    int timeoutSeconds_;
    bool pipelining_;
    std::unique_ptr<THeaderCache> cache_;
};

class TRunWorker : public QObject {
    Q_OBJECT
public:
    explicit TRunWorker(TCheckRunner& runner) : runner_(runner) {}

    void Run(TRunRequest request, const std::shared_ptr<TSecretStore>& secrets)
    {
        TRunResult result;
        result.Kind = request.Kind;
        // The passwords from the store go into this copy of the request only, which ends with
        // the run.
        if (secrets) {
            const TRunSecretsOutcome outcome = FillRunSecrets(request, *secrets);
            for (const QString& entry : outcome.Log)
                HandOff(&runner_, [&] { emit runner_.LogEntry(entry); });
            if (!outcome.Unreachable.isEmpty())
                HandOff(&runner_, [&] { emit runner_.SecretStoreUnreachable(outcome.Unreachable); });
        }
        // The access tokens likewise; a run the user started may sign a mailbox in first.
        if (runner_.hooks_.Tokens) {
            const TRunSecretsOutcome outcome =
                FillRunTokens(request, *runner_.hooks_.Tokens,
                              [this](const TMailBoxSettings& box) { return runner_.SignInFromWorker(box); });
            for (const QString& entry : outcome.Log)
                HandOff(&runner_, [&] { emit runner_.LogEntry(entry); });
        }
        try {
            TGuiCheckContext context(runner_, request);
            result =
                ExecuteRun(request, context, {}, [this](int mailBoxIndex, const QList<TMessageRow>& rows) {
                    HandOff(&runner_, [&] { emit runner_.MailBoxRows(mailBoxIndex, rows); });
                });
            if (request.Kind != TRunKind::DeleteMarked && !runner_.abort_.IsHeld())
                result.NewMessages = CountNewMessages(request, result);
        } catch (const std::exception& e) {
            // Mailbox failures never get here; anything that does must not end the thread.
            const QString text = FailureText(e, request.Strings);
            HandOff(&runner_, [&] { emit runner_.LogEntry(text); });
        } catch (...) {
            const QString text = request.Strings.Text(texts::UnexpectedFailure);
            HandOff(&runner_, [&] { emit runner_.LogEntry(text); });
        }
        // The window has every row from MailBoxRows already; they are let go here, on this
        // thread, which a very long list's texts take a while for.
        result.RowCount = result.Rows.size();
        result.Rows.clear();
        HandOff(&runner_, [&] { emit Done(result); });
        runner_.WakeWaiter();
    }

protected:
    // The run arrives as a queued call from the window's thread.
    bool event(QEvent* e) override
    {
        if (e->type() == QEvent::MetaCall)
            HandOffArrived(this);
        return QObject::event(e);
    }

signals:
    void Done(const brevio::TRunResult& result);

private:
    // Counts the rows the previous check of their mailbox did not list. With the header cache
    // the record of what each mailbox listed is kept in a file as well, so a new session (after
    // a restart or a log-out) does not announce old mail as new.
    int CountNewMessages(const TRunRequest& request, const TRunResult& result)
    {
        const bool keep = request.HeaderCache && request.Pipelining;
        const QString fileName = keep ? TNewMessageTracker::DefaultFileName() : QString();
        if (keep && !recordRead_) {
            newMessages_.Load(fileName);
            recordRead_ = true;
        }
        const int count = newMessages_.Update(request.MailBoxes,
                                              MailBoxesOfRun(request.MailBoxes, request.Kind, request.MailBoxIndex),
                                              result.Rows, result.UnfinishedMailBoxes);
        if (keep)
            newMessages_.Save(fileName);
        return count;
    }

    TCheckRunner& runner_;
    // Only this worker's thread touches these.
    TNewMessageTracker newMessages_;
    bool recordRead_ = false;
};

TCheckRunner::TCheckRunner(TRunHooks hooks, QObject* parent) : QObject(parent), hooks_(std::move(hooks))
{
    qRegisterMetaType<TRunResult>("brevio::TRunResult");
    qRegisterMetaType<QList<TMessageRow>>("QList<brevio::TMessageRow>");
    thread_.setObjectName(QStringLiteral("CheckRun"));
    worker_ = new TRunWorker(*this);
    worker_->moveToThread(&thread_);
    connect(&thread_, &QThread::finished, worker_, &QObject::deleteLater);
    connect(worker_, &TRunWorker::Done, this, &TCheckRunner::OnWorkerFinished, Qt::QueuedConnection);
    thread_.start();
}

TCheckRunner::~TCheckRunner()
{
    if (running_) {
        AbortAll();
        WaitForFinished();
    }
    thread_.quit();
    thread_.wait();
}

bool TCheckRunner::Start(const TRunRequest& request, std::shared_ptr<TSecretStore> secrets)
{
    if (running_)
        return false;
    running_ = true;
    abort_.Release();
    HandOff(worker_, [&] {
        QMetaObject::invokeMethod(
            worker_, [this, request, secrets] { worker_->Run(request, secrets); }, Qt::QueuedConnection);
    });
    return true;
}

void TCheckRunner::AbortCurrentMailbox()
{
    if (running_)
        abort_.Trigger();
}

void TCheckRunner::AbortAll()
{
    if (!running_)
        return;
    abort_.TriggerAndHold();
}

void TCheckRunner::WaitForFinished()
{
    // The worker's result, its texts and its questions arrive as queued calls. This wait may
    // itself run inside the delivery of queued calls (a queued close of the window), where a
    // nested event loop does not always deliver the ones already waiting, so they are delivered
    // here directly; between deliveries it sleeps until the worker has posted a question or its
    // result.
    for (;;) {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::MetaCall);
        if (!running_)
            return;
        std::unique_lock lock(wakeMutex_);
        wakeCondition_.wait(lock, [this] { return wake_; });
        wake_ = false;
    }
}

void TCheckRunner::WakeWaiter()
{
    {
        const std::lock_guard lock(wakeMutex_);
        wake_ = true;
    }
    wakeCondition_.notify_all();
}

bool TCheckRunner::AskOnUiThread(const std::function<bool()>& ask)
{
    // The question goes to the window as a queued call, and this thread waits for the answer.
    // (A blocking queued call would give no moment to wake WaitForFinished after posting.)
    struct TAnswer {
        QSemaphore Given;
        bool Value = false;
    };
    auto answer = std::make_shared<TAnswer>();
    HandOff(this, [&] {
        QMetaObject::invokeMethod(
            this,
            [answer, &ask] {
                answer->Value = ask();
                HandOffDone(answer.get());
                answer->Given.release();
            },
            Qt::QueuedConnection);
    });
    WakeWaiter();
    answer->Given.acquire();
    HandOffArrived(answer.get());
    return answer->Value;
}

bool TCheckRunner::event(QEvent* e)
{
    // The worker's result and its questions to the window arrive as queued calls.
    if (e->type() == QEvent::MetaCall)
        HandOffArrived(this);
    return QObject::event(e);
}

bool TCheckRunner::AskLoginOnUiThread(const QString& host, QString& userName, QString& password)
{
    if (abort_.IsHeld() || !hooks_.AskLogin)
        return false;
    return hooks_.AskLogin(host, userName, password);
}

TTokenReply TCheckRunner::SignInFromWorker(const TMailBoxSettings& box)
{
    TTokenReply reply;
    reply.Error = TStringTable().Text(texts::OAuthCancelled);
    if (!hooks_.SignIn || abort_.IsHeld())
        return reply;
    AskOnUiThread([&] {
        if (!abort_.IsHeld())
            reply = hooks_.SignIn(box);
        return reply.Granted();
    });
    return reply;
}

bool TCheckRunner::AskTrustOnUiThread(const TCertificateInfo& certificate)
{
    if (abort_.IsHeld() || !hooks_.AskTrustCertificate)
        return false;
    return hooks_.AskTrustCertificate(certificate);
}

void TCheckRunner::OnWorkerFinished(const TRunResult& result)
{
    running_ = false;
    emit Finished(result);
}

}  // namespace brevio

#include "check_runner.moc"
