#pragma once
// The watchers of the mailboxes marked "watch the inbox": one thread and one connection each,
// beside the check runs. They are started and stopped as the list of mailboxes changes and at
// exit; each one only says that its mailbox changed, and the window checks that mailbox through
// the normal run. A watcher that gave up (refused login, certificate not trusted, no IDLE) stays
// down until a check the user started lists its mailbox in full.

#include <QList>
#include <QObject>
#include <functional>
#include <map>
#include <memory>

#include "engine/idle_watcher.h"

class QThread;

namespace brevio {

class TMailBoxList;
class TSecretStore;
struct TIdleRelay;

class TIdleWatchers : public QObject {
    Q_OBJECT
public:
    struct TSettings {
        TStringTable Strings;
        int NetworkTimeoutSeconds = 60;
        std::shared_ptr<TSecretStore> Secrets;  // for passwords kept there; null: none
    };
    // What the tray tip and the menu show of one watched mailbox.
    struct TStatus {
        quint64 MailBoxId = 0;
        QString Name;
        TWatchState State = TWatchState::Connecting;
    };

    explicit TIdleWatchers(std::function<TSettings()> settings, QObject* parent = nullptr);
    ~TIdleWatchers() override;

    // Watches every IMAP4 mailbox of `list` marked Idle: a mailbox whose settings did not change
    // keeps its watcher (and a watcher that gave up stays so), the others are started, and the
    // watchers of mailboxes gone, changed or no longer marked are stopped.
    void Apply(const TMailBoxList& list);
    // A check the user started listed these mailboxes in full: those whose watcher gave up start again.
    void Rearm(const QList<quint64>& mailBoxIds);
    // The network came back: every watcher drops its connection or pause and connects at once.
    void ReconnectAll();
    // Stops every watcher: each says DONE and LOGOUT; after `waitMs` in all, the rest are cut short.
    void StopAll(int waitMs);

    QList<TStatus> Status() const;
    bool IsWatched(quint64 mailBoxId) const;
    int Count() const { return int(entries_.size()); }

signals:
    void MailBoxChanged(quint64 mailBoxId);
    void StateChanged();
    void LogEntry(const QString& text);

private:
    struct TEntry {
        quint64 MailBoxId = 0;
        TMailBoxSettings Box;
        std::shared_ptr<TIdleWatcher> Watcher;
        QThread* Thread = nullptr;
        TWatchState State = TWatchState::Connecting;
    };
    void Start(quint64 mailBoxId, const TMailBoxSettings& box);
    void Stop(std::map<quint64, TEntry>::iterator entry);
    friend struct TIdleRelay;
    void OnChanged(quint64 token);
    void OnState(quint64 token, TWatchState state);

    std::function<TSettings()> settings_;
    std::map<quint64, TEntry> entries_;  // by a token of their own: mailbox ids change with the list
    quint64 nextToken_ = 1;
    std::shared_ptr<TIdleRelay> relay_;
    // Watchers told to stop whose threads have not ended yet.
    QList<std::pair<std::shared_ptr<TIdleWatcher>, QThread*>> stopping_;
};

}  // namespace brevio
