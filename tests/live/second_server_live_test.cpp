// The engine against a second real server (Courier, scripts/test-server/courier-start.sh), with
// the same seed: its folders sit under the "INBOX." prefix with "." between levels, its POP3
// hides messages with 8-bit headers from clients that do not switch to UTF-8, and it runs
// here without announcing UIDPLUS, so a delete must keep other programs' deletion marks.
#include "live_support.h"

#include "engine/check_run.h"
#include "engine/mailbox_client_setup.h"
#include "engine/mailbox_session.h"
#include "imap/imap_client.h"
#include "net/socket_transport.h"

#include <gtest/gtest.h>

#include <QMap>

namespace brevio::test {
namespace {

class SecondServerLive : public ::testing::Test {
protected:
    void SetUp() override
    {
        server = LiveServer::fromEnvironment("BREVIO_TEST_COURIER_");
        if (!server.available())
            GTEST_SKIP() << server.unavailableReason().toStdString();
    }

    LiveServer server;
};

// The folder as this server lists it: every folder below "INBOX.", "." between levels.
QString ListedFolder(const QString& seedFolder)
{
    if (seedFolder == QLatin1String("INBOX"))
        return seedFolder;
    return QStringLiteral("INBOX.") + QString(seedFolder).replace(u'/', u'.');
}

TEST_F(SecondServerLive, CheckListsTheSeededMessagesOverEveryProtocolAndSecurity)
{
    for (const TLiveConfig& config : kLiveConfigs) {
        SCOPED_TRACE(config.Label);
        TLiveContext context;
        const TMailBoxSettings box = *MakeMailBox(server, QStringLiteral("alice"), config.Protocol, config.Security);
        const TServerLogMark serverLog(server);
        const QList<TFoundMessage> found = CheckMailBox(box, context);
        EXPECT_TRUE(context.Logged.isEmpty()) << context.Logged.join(u'\n').toStdString() << "\nThe server's log:\n"
                                              << serverLog.Since().toStdString();
        ExpectAliceMatchesTheSeed(found, BuildMailBoxRows(0, box, found), config.Protocol, ListedFolder);
    }
}

// Another program marked a message \Deleted and will expunge it itself. Deleting two ticked
// messages removes exactly those; the other program's mark stays (IMAP4 without UIDPLUS).
TEST_F(SecondServerLive, DeleteRemovesExactlyTheTickedMessagesAndKeepsForeignMarks)
{
    const QString maildir = server.folderPath(QStringLiteral("carol"), QStringLiteral("INBOX"));
    for (const TProtocol protocol : {TProtocol::Pop3, TProtocol::Imap4}) {
        const bool imap = protocol == TProtocol::Imap4;
        SCOPED_TRACE(imap ? "IMAP4" : "POP3");
        TScratchMail mail(maildir, "\n");
        mail.Empty();
        for (const char* subject : {"one", "two", "three", "four", "five"})
            mail.Deliver(QString::fromLatin1(subject));
        const QList<TMailBoxSettings> list{*MakeMailBox(server, QStringLiteral("carol"), protocol, TSecurity::None)};
        TLiveContext context;
        const auto run = [&](TRunKind kind, const QList<TMessageRow>& ticked = {}) {
            TRunRequest request{kind, false, list, -1, {}, {}};
            for (const TMessageRow& row : ticked)
                request.Deletes.append({row.MailBoxIndex, row.Id});
            return ExecuteRun(request, context, QLocale());
        };
        const TRunResult first = run(TRunKind::CheckAll);
        ASSERT_EQ(first.Rows.size(), 5);
        QMap<QString, TMessageRow> bySubject;
        for (const TMessageRow& row : first.Rows)
            bySubject.insert(row.Subject, row);

        TImap4Client other([] { return std::make_unique<TSocketTransport>(nullptr, 20); });
        if (imap) {
            ConfigureClient(list[0], context, other);
            other.Connect();
            ASSERT_TRUE(other.Login(list[0].UserName, list[0].Password).LoggedIn());
            other.SelectFolder("INBOX");
            ASSERT_TRUE(other.UidStoreDeleted({bySubject.value(QStringLiteral("three")).Id.Uid}));
        }

        run(TRunKind::DeleteMarked, {bySubject.value(QStringLiteral("two")), bySubject.value(QStringLiteral("four"))});
        const QStringList logged = context.Logged;
        QStringList left = Subjects(run(TRunKind::CheckAll));
        left.sort();
        EXPECT_EQ(left, (QStringList{"five", "one", "three"}));
        if (!imap) {
            EXPECT_TRUE(logged.isEmpty()) << logged.join(u'\n').toStdString();
            continue;
        }
        EXPECT_EQ(logged,
                  QStringList{QStringLiteral("(127.0.0.1) Folder INBOX: 1 message(s) another program "
                                             "marked for deletion were kept and marked again")});
        TMessageFlags flags;
        other.SelectFolder("INBOX");
        ASSERT_TRUE(other.FetchFlagsByUid(QByteArray::number(bySubject.value(QStringLiteral("three")).Id.Uid), flags));
        EXPECT_TRUE(flags.testFlag(TMessageFlag::Deleted));
        other.Disconnect();
    }
}

}  // namespace
}  // namespace brevio::test
