#pragma once
// Watches the inbox of one IMAP4 mailbox with IDLE (RFC 2177) on the calling thread, on a
// connection of its own. It only says "this mailbox changed": listing and announcing stay with
// the normal check. It logs in as a check does (security, trusted certificate), EXAMINEs INBOX
// and idles, renewing IDLE before servers drop a client idle for 30 minutes; a dropped
// connection is opened again after a growing pause. It never asks the user anything: a refused
// login, a certificate not trusted or a server without IDLE end the watch for good.

#include "engine/mailbox_settings.h"
#include "net/line_channel.h"
#include "support/abort_signal.h"
#include "support/string_table.h"

#include <condition_variable>
#include <functional>
#include <mutex>
#include <random>

namespace brevio {

class TImap4Client;

enum class TWatchState {
    Connecting,  // connecting, logging in, selecting the inbox
    Watching,    // idling: changes come as they happen
    Waiting,     // the connection failed or dropped; the next try comes after a pause
    GaveUp,      // ended for good (the log says why); the schedule checks the mailbox
    Stopped,     // ended on request
};

// The pause before connecting again after `failures` failed tries in a row (from 1): one second,
// doubled each time up to five minutes, times `jitter` (0.8 to 1.2, so that many watchers of one
// server do not come back at the same moment). `firstMs` replaces the one second.
int ReconnectDelayMs(int failures, double jitter, int firstMs = 1000);

struct TIdleWatchTarget {
    TMailBoxSettings MailBox;  // with its password filled in
    int NetworkTimeoutSeconds = 60;
    int IdleSeconds = 25 * 60;  // IDLE is ended and started again after this long
    int FirstDelayMs = 1000;    // the first pause before connecting again
    TStringTable Strings{};
    TTraceSink Trace{};  // the protocol trace; empty: none
};

// Called on the watcher's thread.
struct TIdleWatchEvents {
    std::function<void()> Changed;  // the inbox changed (or may have, while disconnected)
    std::function<void(TWatchState)> StateChanged;
    std::function<void(const QString&)> Log;  // why the watch ended for good, once
};

class TIdleWatcher {
public:
    // `factory` makes the transports (empty: real sockets woken by this watcher's stop).
    TIdleWatcher(TIdleWatchTarget target, TIdleWatchEvents events, TTransportFactory factory = {});
    TIdleWatcher(const TIdleWatcher&) = delete;
    TIdleWatcher& operator=(const TIdleWatcher&) = delete;

    // The password read on the watcher's own thread (from the secret store), before Run.
    void SetPassword(const QString& password) { target_.MailBox.Password = password; }
    // Watches until Stop() or until it gives up. Blocks the calling thread.
    void Run();
    // Any thread. Run ends after DONE and LOGOUT, each bounded by the network time-out.
    void Stop();
    // Any thread. As Stop, but without waiting for the server: every socket wait ends at once.
    void StopNow();
    // Any thread. Drops the connection, or the pause before the next, and connects again at once
    // (the network came back).
    void Reconnect();

private:
    enum class TEnd { Dropped, GaveUp, Stopped };
    TEnd Session(bool& watched);
    TEnd Connect(TImap4Client& client, bool& watched);
    TEnd Watch(TImap4Client& client);
    // Waits for changes while idling; true when IDLE is to be ended from this side.
    bool WaitForChanges(TImap4Client& client, bool& bye);
    TEnd GiveUp(const QString& text);
    void SetState(TWatchState state);
    void Pause(int ms);
    bool StopAsked();
    // Clears the wake-up of a stop, so DONE and LOGOUT can go out.
    void ResetForGoodbye();
    bool TakeReconnect();
    // Reports a change seen in an untagged response; a BYE sets `bye`.
    void Note(const QByteArray& response, bool& bye);

    TIdleWatchTarget target_;
    TIdleWatchEvents events_;
    TTransportFactory factory_;
    TAbortSignal abort_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stop_ = false;       // under mutex_
    bool reconnect_ = false;  // under mutex_
    bool changed_ = false;    // a change not yet reported
    // What the inbox held at the last EXAMINE: a reconnect that finds it otherwise reports a change.
    bool known_ = false;
    qint32 lastCount_ = 0;
    quint32 lastUidNext_ = 0;
    std::mt19937 random_;
};

}  // namespace brevio
