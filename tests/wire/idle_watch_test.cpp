// The inbox watcher against scripted servers: what it reports as a change, how it comes back
// after the server ends or drops the connection, when it gives up, and that a stop always ends
// IDLE and logs out.
#include "engine/idle_watcher.h"
#include "support/scripted_transport.h"

#include <gtest/gtest.h>

namespace brevio::test {
namespace {

// One connection up to the IDLE command: greeting, login (capabilities `caps`), EXAMINE with
// `exists` messages.
QByteArray Connection(int exists, const QByteArray& caps = "IMAP4rev1 IDLE")
{
    return "S: * OK ready\nC: C1 LOGIN \"bob\" \"secret\"\nS: C1 OK [CAPABILITY " + caps
        + "] done\nC: C2 EXAMINE \"INBOX\"\nS: * " + QByteArray::number(exists)
        + " EXISTS\nS: * OK [UIDNEXT 9] next\nS: C2 OK [READ-ONLY] done\nC: C3 IDLE\n";
}

// The goodbye of a stop while idling with tag `tag`.
QByteArray Goodbye(int tag, const QByteArray& doneAnswer = "OK done")
{
    const QByteArray t = "C" + QByteArray::number(tag);
    const QByteArray logout = "C" + QByteArray::number(tag + 1);
    return "C: DONE\nS: " + t + " " + doneAnswer + "\nC: " + logout + " LOGOUT\nS: * BYE\nS: " + logout + " OK\n";
}

struct TWatchCase {
    const char* Name;
    QByteArray Script;
    int StopAfterChanges;  // 0: never stopped, the watcher must end by itself
    TWatchState End;
    int Changes;
    int LogEntries;
};

// ctest names the case by its name, not by its bytes.
void PrintTo(const TWatchCase& c, std::ostream* out)
{
    *out << c.Name;
}

class IdleWatcherWire : public ::testing::TestWithParam<TWatchCase> {};

TEST_P(IdleWatcherWire, FollowsTheScript)
{
    const TWatchCase& c = GetParam();
    TScriptedServer server(c.Script.constData());
    TIdleWatchTarget target;
    target.MailBox.Host = QStringLiteral("imap.example.org");
    target.MailBox.UserName = QStringLiteral("bob");
    target.MailBox.Password = QStringLiteral("secret");
    target.FirstDelayMs = 0;
    int changes = 0;
    QStringList log;
    TWatchState last = TWatchState::Connecting;
    TIdleWatcher* self = nullptr;
    TIdleWatchEvents events;
    events.Changed = [&] {
        if (++changes == c.StopAfterChanges)
            self->Stop();
    };
    events.StateChanged = [&](TWatchState state) { last = state; };
    events.Log = [&](const QString& text) { log.append(text); };
    TIdleWatcher watcher(target, events, server.Factory());
    self = &watcher;
    watcher.Run();
    server.VerifyFinished();
    EXPECT_EQ(last, c.End);
    EXPECT_EQ(changes, c.Changes);
    EXPECT_EQ(log.size(), c.LogEntries) << log.join(QLatin1Char('\n')).toStdString();
}

const QByteArray kIdling = "S: + idling\n";

INSTANTIATE_TEST_SUITE_P(
    Cases, IdleWatcherWire,
    ::testing::Values(
        TWatchCase{"NewMessage", Connection(2) + kIdling + "S: * 3 EXISTS\n" + Goodbye(3), 1, TWatchState::Stopped, 1,
                   0},
        // Each response is a change of its own; RECENT and OK alone are none.
        TWatchCase{"ExistsMixedWithExpunge",
                   Connection(2) + kIdling
                       + "S: * 2 RECENT\nS: * 1 EXPUNGE\nS: * OK Still here\nS: * 2 EXISTS\nS: * 2 FETCH (FLAGS ())\n"
                       + Goodbye(3),
                   3, TWatchState::Stopped, 3, 0},
        // The go-ahead comes after a change: the change counts all the same.
        TWatchCase{"GoAheadLate", Connection(2) + "S: * 3 EXISTS\n" + kIdling + Goodbye(3), 1, TWatchState::Stopped, 1,
                   0},
        // The server ends IDLE with BYE and closes; the next connection finds a new message.
        TWatchCase{"ServerEndsIdleWithBye",
                   Connection(2) + kIdling + "S: * BYE shutting down\nX\nOPEN\n" + Connection(3) + kIdling + Goodbye(3),
                   1, TWatchState::Stopped, 1, 0},
        // A drop with nothing new meanwhile reports nothing; a change after it does.
        TWatchCase{"DropMidIdle",
                   Connection(2) + kIdling + "X\nOPEN\n" + Connection(2) + kIdling + "S: * 3 EXISTS\n" + Goodbye(3), 1,
                   TWatchState::Stopped, 1, 0},
        // The server ends IDLE on its own: the watcher idles again.
        TWatchCase{"ServerEndsIdleItself",
                   Connection(2) + kIdling + "S: C3 OK IDLE ended\nC: C4 IDLE\n" + kIdling + "S: * 1 EXPUNGE\n"
                       + Goodbye(4),
                   1, TWatchState::Stopped, 1, 0},
        // With QRESYNC enabled a removal comes as VANISHED.
        TWatchCase{"RemovedWithQresync",
                   "S: * OK ready\nC: C1 LOGIN \"bob\" \"secret\"\nS: C1 OK [CAPABILITY IMAP4rev1 IDLE QRESYNC] done\n"
                   "C: C2 ENABLE QRESYNC\nS: * ENABLED QRESYNC\nS: C2 OK\nC: C3 EXAMINE \"INBOX\"\nS: * 2 EXISTS\n"
                   "S: C3 OK [READ-ONLY] done\nC: C4 IDLE\n"
                       + kIdling + "S: * VANISHED 4\n" + Goodbye(4),
                   1, TWatchState::Stopped, 1, 0},
        TWatchCase{"DoneAnsweredWithNo", Connection(2) + kIdling + "S: * 3 EXISTS\n" + Goodbye(3, "NO not idling"), 1,
                   TWatchState::Stopped, 1, 0},
        // The server will not idle: the mailbox goes back to the schedule, said once.
        TWatchCase{"GoAheadMissing", Connection(2) + "S: C3 BAD unknown command\nC: C4 LOGOUT\nS: C4 OK\n", 0,
                   TWatchState::GaveUp, 0, 1},
        TWatchCase{"IdleNotAdvertised",
                   "S: * OK ready\nC: C1 LOGIN \"bob\" \"secret\"\nS: C1 OK [CAPABILITY IMAP4rev1] done\n"
                   "C: C2 LOGOUT\nS: C2 OK\n",
                   0, TWatchState::GaveUp, 0, 1},
        TWatchCase{"LoginRefused",
                   "S: * OK ready\nC: C1 LOGIN \"bob\" \"secret\"\nS: C1 NO [AUTHENTICATIONFAILED] wrong\n"
                   "C: C2 LOGOUT\nS: C2 OK\n",
                   0, TWatchState::GaveUp, 0, 1},
        // A greeting the client cannot read is a broken connection, tried again.
        TWatchCase{"GarbageGreetingThenFine",
                   "S: hello?\nOPEN\n" + Connection(2) + kIdling + "S: * 3 EXISTS\n" + Goodbye(3), 1,
                   TWatchState::Stopped, 1, 0}),
    [](const auto& tested) { return std::string(tested.param.Name); });

struct TDelayCase {
    int Failures;
    double Jitter;
    int Ms;
};

TEST(IdleWatcherBackoff, DoublesFromOneSecondUpToFiveMinutesWithJitter)
{
    const TDelayCase cases[] = {
        {1, 1.0, 1000}, {2, 1.0, 2000}, {9, 1.0, 256000},  {10, 1.0, 300000}, {500, 1.0, 300000}, {0, 1.0, 1000},
        {1, 0.8, 800},  {2, 1.2, 2400}, {10, 1.2, 300000}, {1, 7.0, 1200},    {1, -1.0, 800},
    };
    for (const TDelayCase& c : cases)
        EXPECT_EQ(ReconnectDelayMs(c.Failures, c.Jitter), c.Ms) << c.Failures << " failures, jitter " << c.Jitter;
}

}  // namespace
}  // namespace brevio::test
