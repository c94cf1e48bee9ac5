#include "secrets/keychain_store.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QMap>
#include <QThread>
#include <qt6keychain/keychain.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

namespace brevio {

namespace {

// QtKeychain queues its jobs in one object of its own that belongs to the thread that used the
// library first, and that object is not safe to use from two threads. So every job of this
// program runs on one thread kept for the purpose, whatever thread asks: the window's (the
// editor, the options) or a run's worker. The thread lives until the application ends.
class TKeychainThread {
public:
    static QObject* Context()
    {
        static TKeychainThread* instance = new TKeychainThread;
        return instance->context_;
    }

private:
    TKeychainThread()
    {
        thread_ = new QThread;
        thread_->setObjectName(QStringLiteral("SecretStore"));
        context_ = new QObject;
        context_->moveToThread(thread_);
        thread_->start();
        // Ended before the application's objects go, so no job outlives them.
        if (QCoreApplication::instance())
            qAddPostRoutine([] {
                QThread* thread = Context()->thread();
                thread->quit();
                thread->wait(5000);
            });
    }

    QThread* thread_ = nullptr;
    QObject* context_ = nullptr;
};

// What a finished job gave.
TSecretResult ResultOf(const QKeychain::Job& job, const QString& secret)
{
    switch (job.error()) {
    case QKeychain::NoError:
        return {TSecretStatus::Ok, secret, {}};
    case QKeychain::EntryNotFound:
        return {TSecretStatus::NotFound, {}, job.errorString(), texts::SecretNotFound};
    case QKeychain::NoBackendAvailable:
    case QKeychain::NotImplemented:
        return {TSecretStatus::Unavailable, {}, job.errorString()};
    default:
        return {TSecretStatus::Failed, {}, job.errorString()};
    }
}

// Runs the job `make` creates on the keychain thread and waits up to `timeoutSeconds` for it.
// The job is made there too, so it belongs to that thread.
TSecretResult RunJob(const std::function<QKeychain::Job*()>& make,
                     const std::function<QString(QKeychain::Job&)>& secretOf, int timeoutSeconds)
{
    struct TState {
        std::mutex Mutex;
        std::condition_variable Done;
        bool Finished = false;
        TSecretResult Result;
    };
    auto state = std::make_shared<TState>();
    QMetaObject::invokeMethod(
        TKeychainThread::Context(),
        [state, make, secretOf] {
            QKeychain::Job* job = make();
            job->setAutoDelete(false);
            job->setInsecureFallback(false);
            QObject::connect(job, &QKeychain::Job::finished, job, [state, secretOf](QKeychain::Job* done) {
                const TSecretResult result =
                    ResultOf(*done, done->error() == QKeychain::NoError ? secretOf(*done) : QString());
                {
                    const std::lock_guard lock(state->Mutex);
                    state->Result = result;
                    state->Finished = true;
                }
                state->Done.notify_all();
                done->deleteLater();
            });
            job->start();
        },
        Qt::QueuedConnection);
    std::unique_lock lock(state->Mutex);
    if (!state->Done.wait_for(lock, std::chrono::seconds(timeoutSeconds), [&] { return state->Finished; }))
        return {TSecretStatus::Failed, {}, {}, texts::SecretStoreNoAnswer};
    return state->Result;
}

const QString kSecretsService = QStringLiteral("org.freedesktop.secrets");

// On a Linux desktop every store is reached over the session bus; without one, the library would
// try to start a bus of its own. Elsewhere the store needs none.
std::optional<TSecretResult> NoSessionBus()
{
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
    if (!QDBusConnection::sessionBus().isConnected())
        return TSecretResult{TSecretStatus::Unavailable, {}, {}, texts::SecretStoreNoSession};
#endif
    return std::nullopt;
}

}  // namespace

TKeychainSecretStore::TKeychainSecretStore(QString service) : service_(std::move(service)) {}

TSecretResult TKeychainSecretStore::Probe(const QString& key) const
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return {TSecretStatus::Unavailable, {}, {}, texts::SecretStoreNoSession};
    qDBusRegisterMetaType<QMap<QString, QString>>();
    QDBusMessage call =
        QDBusMessage::createMethodCall(kSecretsService, QStringLiteral("/org/freedesktop/secrets"),
                                       QStringLiteral("org.freedesktop.Secret.Service"), QStringLiteral("SearchItems"));
    // The attributes QtKeychain files a secret under: the service and the key.
    const QMap<QString, QString> attributes{{QStringLiteral("server"), service_}, {QStringLiteral("user"), key}};
    call << QVariant::fromValue(attributes);
    const QDBusMessage reply = bus.call(call, QDBus::Block, kQuietTimeoutSeconds * 1000);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().size() != 2)
        return {TSecretStatus::Unavailable, {}, reply.errorMessage(), texts::SecretStoreNoService};
    const auto paths = [](const QVariant& value) { return qdbus_cast<QList<QDBusObjectPath>>(value); };
    if (!paths(reply.arguments().at(0)).isEmpty())
        return {TSecretStatus::Ok, {}, {}};
    if (!paths(reply.arguments().at(1)).isEmpty())
        return {TSecretStatus::Locked, {}, {}, texts::SecretStoreLocked};
    return {TSecretStatus::NotFound, {}, {}, texts::SecretNotFound};
}

TSecretResult TKeychainSecretStore::Get(const QString& key, bool mayPrompt)
{
    if (const auto unavailable = NoSessionBus())
        return *unavailable;
    if (!mayPrompt) {
        TSecretResult probe = Probe(key);
        if (!probe.Ok())
            return probe;
    }
    const QString service = service_;
    return RunJob(
        [service, key] {
            auto* job = new QKeychain::ReadPasswordJob(service);
            job->setKey(key);
            return job;
        },
        [](QKeychain::Job& job) { return static_cast<QKeychain::ReadPasswordJob&>(job).textData(); },
        mayPrompt ? kPromptTimeoutSeconds : kQuietTimeoutSeconds);
}

TSecretResult TKeychainSecretStore::Set(const QString& key, const QString& secret)
{
    if (const auto unavailable = NoSessionBus())
        return *unavailable;
    const QString service = service_;
    return RunJob(
        [service, key, secret] {
            auto* job = new QKeychain::WritePasswordJob(service);
            job->setKey(key);
            job->setTextData(secret);
            return job;
        },
        [](QKeychain::Job&) { return QString(); }, kPromptTimeoutSeconds);
}

TSecretResult TKeychainSecretStore::Remove(const QString& key)
{
    if (const auto unavailable = NoSessionBus())
        return *unavailable;
    const QString service = service_;
    TSecretResult result = RunJob(
        [service, key] {
            auto* job = new QKeychain::DeletePasswordJob(service);
            job->setKey(key);
            return job;
        },
        [](QKeychain::Job&) { return QString(); }, kPromptTimeoutSeconds);
    if (result.Status == TSecretStatus::NotFound)
        result = {TSecretStatus::Ok, {}, {}};
    return result;
}

}  // namespace brevio
