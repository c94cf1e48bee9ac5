#include "ui/idle_watchers.h"

#include <QDeadlineTimer>
#include <QThread>
#include <algorithm>
#include <mutex>

#include "engine/mailbox_list.h"
#include "secrets/run_secrets.h"

namespace brevio {

// The watchers' way back to the manager: a watcher's thread may still be ending when the
// manager goes, and then its reports go nowhere.
struct TIdleRelay {
    std::mutex Mutex;
    TIdleWatchers* Owner = nullptr;

    template <class TCall>
    void Post(TCall call)
    {
        const std::lock_guard lock(Mutex);
        if (Owner)
            QMetaObject::invokeMethod(
                Owner, [owner = Owner, call = std::move(call)] { call(*owner); }, Qt::QueuedConnection);
    }
};

namespace {

bool Watchable(const TMailBoxSettings& box)
{
    return box.Idle && box.Protocol == TMailProtocol::IMAP4;
}

}  // namespace

TIdleWatchers::TIdleWatchers(std::function<TSettings()> settings, QObject* parent)
    : QObject(parent), settings_(std::move(settings)), relay_(std::make_shared<TIdleRelay>())
{
    relay_->Owner = this;
}

TIdleWatchers::~TIdleWatchers()
{
    StopAll(0);
    const std::lock_guard lock(relay_->Mutex);
    relay_->Owner = nullptr;
}

void TIdleWatchers::Apply(const TMailBoxList& list)
{
    std::map<quint64, TEntry> kept;
    QList<bool> covered(list.Count(), false);
    for (auto entry = entries_.begin(); entry != entries_.end();) {
        int match = -1;
        for (int i = 0; i < list.Count() && match < 0; ++i) {
            if (!covered[i] && Watchable(*list.Items(i)) && *list.Items(i) == entry->second.Box)
                match = i;
        }
        if (match < 0) {
            Stop(entry++);
            continue;
        }
        covered[match] = true;
        entry->second.MailBoxId = list.Id(match);
        ++entry;
    }
    for (int i = 0; i < list.Count(); ++i) {
        if (!covered[i] && Watchable(*list.Items(i)))
            Start(list.Id(i), *list.Items(i));
    }
    emit StateChanged();
}

void TIdleWatchers::Start(quint64 mailBoxId, const TMailBoxSettings& box)
{
    const TSettings settings = settings_ ? settings_() : TSettings();
    const quint64 token = nextToken_++;
    const std::shared_ptr<TIdleRelay> relay = relay_;
    TIdleWatchEvents events;
    events.Changed = [relay, token] { relay->Post([token](TIdleWatchers& owner) { owner.OnChanged(token); }); };
    events.StateChanged = [relay, token](TWatchState state) {
        relay->Post([token, state](TIdleWatchers& owner) { owner.OnState(token, state); });
    };
    events.Log = [relay](const QString& text) {
        relay->Post([text](TIdleWatchers& owner) { emit owner.LogEntry(text); });
    };
    TIdleWatchTarget target{box, settings.NetworkTimeoutSeconds};
    target.Strings = settings.Strings;
    auto watcher = std::make_shared<TIdleWatcher>(target, events);
    QThread* thread = QThread::create([watcher, box, settings, events] {
        if (box.PasswordInStore && settings.Secrets) {
            // Read here, never on the window's thread; a locked store is not unlocked for this.
            QList<TMailBoxSettings> boxes{box};
            const TRunSecretsOutcome outcome = FillSecrets(boxes, {0}, *settings.Secrets, false, settings.Strings);
            for (const QString& entry : outcome.Log)
                events.Log(entry);
            if (!outcome.Skipped.isEmpty()) {
                events.StateChanged(TWatchState::GaveUp);
                return;
            }
            watcher->SetPassword(boxes.first().Password);
        }
        watcher->Run();
    });
    thread->setObjectName(QStringLiteral("IdleWatch"));
    entries_[token] = TEntry{mailBoxId, box, watcher, thread, TWatchState::Connecting};
    thread->start();
}

void TIdleWatchers::Stop(std::map<quint64, TEntry>::iterator entry)
{
    TEntry& stopped = entry->second;
    stopped.Watcher->Stop();
    QThread* thread = stopped.Thread;
    if (thread->isFinished()) {
        thread->deleteLater();
    } else {
        stopping_.append({stopped.Watcher, thread});
        connect(thread, &QThread::finished, this, [this, thread] {
            // StopAll may have waited for it and let it go already.
            const auto found = std::find_if(stopping_.begin(), stopping_.end(),
                                            [thread](const auto& item) { return item.second == thread; });
            if (found == stopping_.end())
                return;
            stopping_.erase(found);
            thread->deleteLater();
        });
    }
    entries_.erase(entry);
}

void TIdleWatchers::Rearm(const QList<quint64>& mailBoxIds)
{
    QList<std::pair<quint64, TMailBoxSettings>> again;
    for (auto entry = entries_.begin(); entry != entries_.end();) {
        if (entry->second.State == TWatchState::GaveUp && mailBoxIds.contains(entry->second.MailBoxId)) {
            again.append({entry->second.MailBoxId, entry->second.Box});
            Stop(entry++);
        } else {
            ++entry;
        }
    }
    for (const auto& [id, box] : std::as_const(again))
        Start(id, box);
    if (!again.isEmpty())
        emit StateChanged();
}

void TIdleWatchers::ReconnectAll()
{
    for (auto& [token, entry] : entries_) {
        if (entry.State != TWatchState::GaveUp)
            entry.Watcher->Reconnect();
    }
}

void TIdleWatchers::StopAll(int waitMs)
{
    while (!entries_.empty())
        Stop(entries_.begin());
    // Every watcher says goodbye at the same time; those still busy at the deadline are cut short.
    const QDeadlineTimer deadline(waitMs);
    for (const auto& [watcher, thread] : std::as_const(stopping_)) {
        if (!thread->wait(deadline))
            watcher->StopNow();
    }
    for (const auto& [watcher, thread] : std::as_const(stopping_)) {
        thread->wait();
        delete thread;
    }
    stopping_.clear();
}

void TIdleWatchers::OnChanged(quint64 token)
{
    const auto entry = entries_.find(token);
    if (entry != entries_.end())
        emit MailBoxChanged(entry->second.MailBoxId);
}

void TIdleWatchers::OnState(quint64 token, TWatchState state)
{
    const auto entry = entries_.find(token);
    if (entry == entries_.end() || entry->second.State == state)
        return;
    entry->second.State = state;
    emit StateChanged();
}

QList<TIdleWatchers::TStatus> TIdleWatchers::Status() const
{
    QList<TStatus> status;
    for (const auto& [token, entry] : entries_)
        status.append({entry.MailBoxId, entry.Box.Name, entry.State});
    return status;
}

bool TIdleWatchers::IsWatched(quint64 mailBoxId) const
{
    for (const auto& [token, entry] : entries_) {
        if (entry.MailBoxId == mailBoxId)
            return true;
    }
    return false;
}

}  // namespace brevio
