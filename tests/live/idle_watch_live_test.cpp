// The inbox watcher against the real server: mail delivered while it idles is reported, a
// connection the server kills is opened again and mail delivered meanwhile is reported, and a
// stop ends it at once with DONE and LOGOUT.
#include "engine/idle_watcher.h"
#include "live_support.h"

#include <QElapsedTimer>
#include <QProcess>
#include <condition_variable>
#include <gtest/gtest.h>
#include <mutex>
#include <thread>

namespace brevio::test {
namespace {

// What the watcher reported, for the test thread to wait on.
struct TReports {
    std::mutex Mutex;
    std::condition_variable Changed;
    int Changes = 0;
    QList<TWatchState> States;

    bool WaitFor(const std::function<bool()>& condition)
    {
        std::unique_lock lock(Mutex);
        return Changed.wait_for(lock, std::chrono::seconds(20), condition);
    }
    TIdleWatchEvents Events()
    {
        TIdleWatchEvents events;
        events.Changed = [this] {
            const std::lock_guard lock(Mutex);
            ++Changes;
            Changed.notify_all();
        };
        events.StateChanged = [this](TWatchState state) {
            const std::lock_guard lock(Mutex);
            States.append(state);
            Changed.notify_all();
        };
        return events;
    }
    bool Is(TWatchState state) const { return !States.isEmpty() && States.last() == state; }
};

TEST(IdleWatchLive, ReportsDeliveriesAndComesBackAfterAKick)
{
    const LiveServer server = LiveServer::fromEnvironment();
    if (!server.available())
        GTEST_SKIP() << server.unavailableReason().toStdString();
    const std::optional<LiveUser> carol = server.user(QStringLiteral("carol"));
    ASSERT_TRUE(carol);
    TScratchMail mail(carol->maildir);
    TIdleWatchTarget target{*MakeMailBox(server, QStringLiteral("carol"), TProtocol::Imap4, TSecurity::Tls), 20};
    // Long enough to deliver while the watcher waits to connect again.
    target.FirstDelayMs = 1500;
    TReports reports;
    TIdleWatcher watcher(target, reports.Events());
    std::thread thread([&] { watcher.Run(); });

    ASSERT_TRUE(reports.WaitFor([&] { return reports.Is(TWatchState::Watching); }));
    mail.Deliver(QStringLiteral("Arrives while idling"));
    EXPECT_TRUE(reports.WaitFor([&] { return reports.Changes >= 1; }));

    const int before = reports.Changes;
    QProcess kick;
    kick.start(QStringLiteral("doveadm"),
               {QStringLiteral("-c"), server.serverDir() + QStringLiteral("/dovecot.conf"), QStringLiteral("kick"),
                carol->name});
    const int kicked = kick.waitForFinished(20000) ? kick.exitCode() : -1;
    EXPECT_EQ(kicked, 0);
    ASSERT_TRUE(reports.WaitFor([&] { return reports.Is(TWatchState::Waiting); }));
    mail.Deliver(QStringLiteral("Arrives while disconnected"));
    EXPECT_TRUE(reports.WaitFor([&] { return reports.Is(TWatchState::Watching) && reports.Changes > before; }));

    QElapsedTimer stopping;
    stopping.start();
    watcher.Stop();
    thread.join();
    EXPECT_LT(stopping.elapsed(), 2000);
    EXPECT_TRUE(reports.Is(TWatchState::Stopped));
}

}  // namespace
}  // namespace brevio::test
