#include "engine/idle_watcher.h"

#include "engine/check_context.h"
#include "engine/failure_text.h"
#include "engine/mailbox_client_setup.h"
#include "imap/imap_client.h"
#include "imap/imap_response_parser.h"
#include "net/errors.h"
#include "net/socket_transport.h"
#include "support/text_format.h"

#include <algorithm>

namespace brevio {

namespace {

constexpr int kMaxDelayMs = 5 * 60 * 1000;

// What the client setup needs of a context; a watcher asks nobody anything.
class TWatchContext final : public TCheckContext {
public:
    TWatchContext(const TIdleWatchTarget& target, TAbortSignal& abort) : target_(target), abort_(abort) {}
    void SetStatus(const QString&) override {}
    void ThrowIfAborted() override { abort_.ThrowIfTriggered(); }
    bool IsScheduledCheck() const override { return true; }
    bool AskLoginAndPassword(const QString&, QString&, QString&) override { return false; }
    void Log(const QString&) override {}
    TAbortSignal* AbortSignal() override { return &abort_; }
    int NetworkTimeoutSeconds() const override { return target_.NetworkTimeoutSeconds; }
    TTraceSink TraceSink() const override { return target_.Trace; }
    const TStringTable& Strings() const override { return target_.Strings; }

private:
    const TIdleWatchTarget& target_;
    TAbortSignal& abort_;
};

}  // namespace

int ReconnectDelayMs(int failures, double jitter, int firstMs)
{
    const int doublings = std::clamp(failures - 1, 0, 20);
    const qint64 base = std::min<qint64>(qint64(firstMs) << doublings, kMaxDelayMs);
    return int(std::clamp<qint64>(qint64(double(base) * std::clamp(jitter, 0.8, 1.2)), 0, kMaxDelayMs));
}

TIdleWatcher::TIdleWatcher(TIdleWatchTarget target, TIdleWatchEvents events, TTransportFactory factory)
    : target_(std::move(target)), events_(std::move(events)), factory_(std::move(factory)),
      random_(std::random_device{}())
{
    if (!factory_) {
        factory_ = [this] { return std::make_unique<TSocketTransport>(&abort_, target_.NetworkTimeoutSeconds); };
    }
}

void TIdleWatcher::Run()
{
    int failures = 0;
    std::uniform_real_distribution<double> jitter(0.8, 1.2);
    while (!StopAsked()) {
        SetState(TWatchState::Connecting);
        bool watched = false;
        const TEnd end = Session(watched);
        if (end == TEnd::GaveUp) {
            SetState(TWatchState::GaveUp);
            return;
        }
        if (end == TEnd::Stopped || StopAsked())
            break;
        // A connection that got as far as idling starts the pauses afresh.
        failures = watched ? 1 : failures + 1;
        if (!TakeReconnect()) {
            SetState(TWatchState::Waiting);
            Pause(ReconnectDelayMs(failures, jitter(random_), target_.FirstDelayMs));
            TakeReconnect();
        }
        abort_.Reset();
    }
    SetState(TWatchState::Stopped);
}

TIdleWatcher::TEnd TIdleWatcher::Session(bool& watched)
{
    TWatchContext context(target_, abort_);
    TImap4Client client(factory_);
    ConfigureClient(target_.MailBox, context, client);
    TEnd end = TEnd::Dropped;
    bool inStep = false;  // the conversation can still end with a goodbye
    try {
        end = Connect(client, watched);
        if (end == TEnd::Dropped && watched)
            end = Watch(client);
        inStep = true;
    } catch (const ETlsError& e) {
        // A certificate that did not verify or changed needs the user; a broken handshake may mend.
        if (e.Certificate() && !StopAsked())
            end = GiveUp(FailureText(e, target_.Strings));
    } catch (const Exception&) {
        // A dropped connection, a time-out, a server out of step, or the wake-up of a stop.
    } catch (const std::exception& e) {
        // Nothing a server sends leads here; trying again would only fail again.
        end = GiveUp(FailureText(e, target_.Strings));
    }
    if (StopAsked())
        end = TEnd::Stopped;
    if (inStep && end == TEnd::Stopped)
        ResetForGoodbye();
    if (inStep && !abort_.IsTriggered()) {
        DisconnectQuietly(client);  // LOGOUT, bounded by the network time-out
        return end;
    }
    // The client goes without waiting for a server that may not answer: with the signal
    // woken, its goodbye fails at once.
    abort_.Trigger();
    return end;
}

TIdleWatcher::TEnd TIdleWatcher::Connect(TImap4Client& client, bool& watched)
{
    client.Connect();
    const TLoginReply reply = client.Login(target_.MailBox.UserName, target_.MailBox.Password);
    if (!reply.LoggedIn()) {
        if (StopAsked())
            return TEnd::Stopped;
        return GiveUp(FailureText(reply.Refusal, target_.Strings));
    }
    if (!client.HasCapability("IDLE"))
        return GiveUp(target_.Strings.Text(texts::WatchNoIdle));
    client.ExamineFolder("INBOX");
    const TImapFolderInfo& inbox = client.SelectedMailBox();
    // Mail that came or went while no connection was there is a change as well.
    if (known_ && (inbox.TotalMessages != lastCount_ || inbox.UidNext != lastUidNext_))
        changed_ = true;
    known_ = true;
    lastCount_ = inbox.TotalMessages;
    lastUidNext_ = inbox.UidNext;
    watched = true;
    return TEnd::Dropped;
}

TIdleWatcher::TEnd TIdleWatcher::Watch(TImap4Client& client)
{
    bool bye = false;
    const auto note = [this, &bye](const QByteArray& response) {
        Note(response, bye);
        return true;
    };
    for (;;) {
        const TImapCommandResult started = client.StartIdle(note);
        if (!started) {
            if (bye || StopAsked())
                return TEnd::Dropped;
            return GiveUp(FormatText(target_.Strings.Text(texts::WatchIdleRefused), {QString::fromUtf8(started.Text)}));
        }
        SetState(TWatchState::Watching);
        const bool endHere = WaitForChanges(client, bye);
        if (bye)
            return TEnd::Dropped;
        // DONE answered with NO or BAD leaves the session in doubt: a new one starts.
        if (endHere && !client.EndIdle(note))
            return TEnd::Dropped;
        if (bye || StopAsked() || TakeReconnect())
            return TEnd::Dropped;
        if (changed_) {
            changed_ = false;
            events_.Changed();
        }
    }
}

bool TIdleWatcher::WaitForChanges(TImap4Client& client, bool& bye)
{
    for (;;) {
        if (changed_) {
            changed_ = false;
            events_.Changed();
        }
        if (StopAsked())
            return true;
        TImap4Client::TIdleWait wait;
        try {
            wait = client.WaitDuringIdle(target_.IdleSeconds);
        } catch (const EUserAbort&) {
            // Woken by Stop or Reconnect. A stop still ends IDLE and logs out, so it wakes no
            // further wait; a reconnect drops the connection as it is.
            if (!StopAsked())
                throw;
            ResetForGoodbye();
            return true;
        }
        switch (wait.Event) {
        case TImap4Client::TIdleEvent::TimedOut:
            return true;
        case TImap4Client::TIdleEvent::Ended:
            return false;
        case TImap4Client::TIdleEvent::Untagged:
            Note(wait.Response, bye);
            if (bye)
                return false;
            break;
        }
    }
}

void TIdleWatcher::Note(const QByteArray& response, bool& bye)
{
    const TImapUntagged untagged = SplitUntagged(response);
    if (!untagged.Number && untagged.Keyword == "BYE")
        bye = true;
    // RFC 3501 §7.3.1, §7.4.1, §7.4.2: new or removed messages, or changed flags; with QRESYNC
    // enabled removed messages come as VANISHED (RFC 7162 §3.2.10).
    if ((untagged.Number
         && (untagged.Keyword == "EXISTS" || untagged.Keyword == "EXPUNGE" || untagged.Keyword == "FETCH"))
        || (!untagged.Number && untagged.Keyword == "VANISHED"))
        changed_ = true;
}

TIdleWatcher::TEnd TIdleWatcher::GiveUp(const QString& text)
{
    if (events_.Log) {
        const QString entry = FormatText(target_.Strings.Text(texts::WatchEnded), {target_.MailBox.Name, text});
        events_.Log(QStringLiteral("(%1) %2").arg(target_.MailBox.Host, entry));
    }
    return TEnd::GaveUp;
}

void TIdleWatcher::SetState(TWatchState state)
{
    if (events_.StateChanged)
        events_.StateChanged(state);
}

void TIdleWatcher::Pause(int ms)
{
    std::unique_lock lock(mutex_);
    wake_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return stop_ || reconnect_; });
}

bool TIdleWatcher::StopAsked()
{
    const std::lock_guard lock(mutex_);
    return stop_;
}

bool TIdleWatcher::TakeReconnect()
{
    const std::lock_guard lock(mutex_);
    return std::exchange(reconnect_, false);
}

void TIdleWatcher::ResetForGoodbye()
{
    // Under the lock Stop sets its flag and wakes the socket in: a stop seen here has woken it
    // already, so the reset cannot come before the wake-up. StopNow's hold stays.
    const std::lock_guard lock(mutex_);
    abort_.Reset();
}

void TIdleWatcher::Stop()
{
    {
        const std::lock_guard lock(mutex_);
        stop_ = true;
        abort_.Trigger();
    }
    wake_.notify_all();
}

void TIdleWatcher::StopNow()
{
    Stop();
    abort_.TriggerAndHold();
}

void TIdleWatcher::Reconnect()
{
    {
        const std::lock_guard lock(mutex_);
        reconnect_ = true;
    }
    wake_.notify_all();
    abort_.Trigger();
}

}  // namespace brevio
