// The worker of the runs: it works on the request's values, off the UI thread, and hands each
// mailbox's rows to the window as soon as that mailbox is done.
#include <QSignalSpy>
#include <QThread>
#include <gtest/gtest.h>

#include "engine/mailbox_list.h"
#include "fake_pop3_server.h"
#include "main_window_fixture.h"
#include "support/temp_files.h"
#include "ui/check_runner.h"

namespace brevio::test {
namespace {

TEST(CheckRunner, RowsComeMailBoxByMailBoxFromTheWorkerAndTheListStaysUntouched)
{
    TFakePop3Server first({{"One", 1000}, {"Two", 2500}});
    TFakePop3Server second({{"Three", 300}});
    TempFolder folder;
    TMailBoxList list;
    list.Load(folder.Write("s.ini", "[Main]\n" + MailBoxLines({{"First", first.Port()}, {"Second", second.Port()}})));
    const TMailBoxList before = list;

    TCheckRunner runner(TRunHooks{});
    QList<QThread*> callbackThreads;
    QObject::connect(&runner, &TCheckRunner::MailBoxRows, &runner,
                     [&](int, const QList<TMessageRow>&) { callbackThreads.append(QThread::currentThread()); },
                     Qt::DirectConnection);
    QSignalSpy perMailBox(&runner, &TCheckRunner::MailBoxRows);
    QSignalSpy finished(&runner, &TCheckRunner::Finished);
    TRunRequest request{TRunKind::CheckAll, false, list.Snapshot(), -1, {}, {}};
    // Fake servers on reused ports give old ids to new messages: no cache between tests.
    request.HeaderCache = false;
    ASSERT_TRUE(runner.Start(request));
    ASSERT_TRUE(finished.wait(30000));

    ASSERT_EQ(callbackThreads.size(), 2);
    for (QThread* thread : std::as_const(callbackThreads))
        EXPECT_NE(thread, QThread::currentThread());
    ASSERT_EQ(perMailBox.size(), 2);
    const auto result = finished.first().first().value<TRunResult>();
    QList<TMessageRow> streamed;
    for (int i = 0; i < perMailBox.size(); ++i) {
        EXPECT_EQ(perMailBox.at(i).at(0).toInt(), i);
        streamed += perMailBox.at(i).at(1).value<QList<TMessageRow>>();
    }
    ASSERT_EQ(streamed.size(), 3);
    ASSERT_EQ(result.Rows.size(), 3);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(streamed[i].Subject, result.Rows[i].Subject);
        EXPECT_EQ(streamed[i].Id, result.Rows[i].Id);
    }
    EXPECT_TRUE(list == before);
}

}  // namespace
}  // namespace brevio::test
