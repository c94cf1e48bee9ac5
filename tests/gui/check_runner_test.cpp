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
    QObject::connect(
        &runner, &TCheckRunner::MailBoxRows, &runner,
        [&](int, const QList<TMessageRow>&) { callbackThreads.append(QThread::currentThread()); },
        Qt::DirectConnection);
    QSignalSpy perMailBox(&runner, &TCheckRunner::MailBoxRows);
    QSignalSpy finished(&runner, &TCheckRunner::Finished);
    TRunRequest request{TRunKind::CheckAll, false, list.Snapshot(), -1, {}, {}};
    request.MailBoxIds = list.Ids();
    // Fake servers on reused ports give old ids to new messages: no cache between tests.
    request.HeaderCache = false;
    ASSERT_TRUE(runner.Start(request));
    ASSERT_TRUE(finished.wait(30000));

    ASSERT_EQ(callbackThreads.size(), 2);
    for (QThread* thread : std::as_const(callbackThreads))
        EXPECT_NE(thread, QThread::currentThread());
    ASSERT_EQ(perMailBox.size(), 2);
    QList<TMessageRow> streamed;
    for (int i = 0; i < perMailBox.size(); ++i) {
        EXPECT_EQ(perMailBox.at(i).at(0).toInt(), i);
        streamed += perMailBox.at(i).at(1).value<QList<TMessageRow>>();
    }
    ASSERT_EQ(streamed.size(), 3);
    EXPECT_EQ(streamed[2].Subject, QStringLiteral("Three"));
    // Each row names its mailbox by the list's id for it.
    EXPECT_EQ((QList<quint64>{streamed[0].MailBoxId, streamed[1].MailBoxId, streamed[2].MailBoxId}),
              (QList<quint64>{list.Id(0), list.Id(0), list.Id(1)}));
    // The rows cross once: the result only counts them, and the first check finds all of them new.
    const auto result = finished.first().first().value<TRunResult>();
    EXPECT_TRUE(result.Rows.isEmpty());
    EXPECT_EQ(result.RowCount, 3);
    EXPECT_EQ(result.NewMessages, 3);
    EXPECT_TRUE(list == before);
}

}  // namespace
}  // namespace brevio::test
