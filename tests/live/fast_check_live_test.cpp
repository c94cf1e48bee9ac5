// The fast listing against the real server: the same rows message by message, pipelined, with an
// empty header cache and with a full one; nothing marked read and \Recent left to the others.
#include "live_support.h"

#include "engine/header_cache.h"
#include "engine/mailbox_session.h"
#include "imap/imap_client.h"
#include "net/socket_transport.h"
#include "support/temp_files.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include <pwd.h>
#include <unistd.h>

namespace brevio::test {
namespace {

class FastCheckLive : public ::testing::Test {
protected:
    void SetUp() override
    {
        server = LiveServer::fromEnvironment();
        if (!server.available())
            GTEST_SKIP() << server.unavailableReason().toStdString();
    }

    // The rows of one check of `box` in the given mode, every column and identity.
    static QList<TMessageRow> Check(const TMailBoxSettings& box, bool pipelining, THeaderCache* cache)
    {
        TLiveContext context;
        context.PipelineCommands = pipelining;
        context.Cache = cache;
        const QList<TMessageRow> rows = BuildMailBoxRows(0, box, CheckMailBox(box, context));
        EXPECT_TRUE(context.Logged.isEmpty()) << context.Logged.join(u'\n').toStdString();
        return rows;
    }

    // Every mode gives the rows of the check message by message; returns those.
    static QList<TMessageRow> ExpectSameRowsInEveryMode(const TMailBoxSettings& box, THeaderCache& cache,
                                                        const char* when)
    {
        SCOPED_TRACE(when);
        const QList<TMessageRow> reference = Check(box, false, nullptr);
        EXPECT_TRUE(Check(box, true, nullptr) == reference) << "pipelined";
        EXPECT_TRUE(Check(box, true, &cache) == reference) << "with the cache as it was";
        EXPECT_TRUE(Check(box, true, &cache) == reference) << "with the cache just filled";
        return reference;
    }

    LiveServer server;
};

// The seeded mailbox of both real servers, over POP3 and IMAP4.
class FastCheckSeededLive : public FastCheckLive, public ::testing::WithParamInterface<const char*> {
protected:
    void SetUp() override
    {
        server = LiveServer::fromEnvironment(GetParam());
        if (!server.available())
            GTEST_SKIP() << server.unavailableReason().toStdString();
    }
};

TEST_P(FastCheckSeededLive, EveryModeListsTheSeededMailboxAlike)
{
    TempFolder folder;
    THeaderCache cache(folder.Path(QStringLiteral("headers.cache")));
    for (const TProtocol protocol : {TProtocol::Pop3, TProtocol::Imap4}) {
        SCOPED_TRACE(protocol == TProtocol::Pop3 ? "POP3" : "IMAP4");
        const TMailBoxSettings box = *MakeMailBox(server, QStringLiteral("alice"), protocol, TSecurity::None);
        EXPECT_GT(ExpectSameRowsInEveryMode(box, cache, "seeded").size(), 5);
    }
    // The cache survives its file.
    ASSERT_TRUE(cache.Save());
    THeaderCache reloaded(cache.FileName());
    reloaded.Load();
    EXPECT_EQ(reloaded.EntryCount(), cache.EntryCount());
    EXPECT_GT(reloaded.EntryCount(), 10);
}

INSTANTIATE_TEST_SUITE_P(Servers, FastCheckSeededLive, ::testing::Values("BREVIO_TEST_", "BREVIO_TEST_COURIER_"),
                         [](const ::testing::TestParamInfo<const char*>& tested) {
                             return std::string(tested.index == 0 ? "Dovecot" : "Courier");
                         });

// Between cached checks another program deletes and delivers mail in the INBOX, and a folder is
// deleted and made again with other messages under the same UIDs and a new UIDVALIDITY.
TEST_F(FastCheckLive, RowsStayAlikeWhenMailChangesBetweenCachedChecks)
{
    TempFolder folder;
    THeaderCache cache(folder.Path(QStringLiteral("headers.cache")));
    const QString inbox = server.folderPath(QStringLiteral("carol"), QStringLiteral("INBOX"));
    const QString scratchFolder = server.folderPath(QStringLiteral("carol"), QStringLiteral("Scratch"));
    struct TCleanup {
        QString Path;
        ~TCleanup() { QDir(Path).removeRecursively(); }
    } cleanup{scratchFolder};
    // A Maildir folder made by hand, its UIDVALIDITY set by the list of UIDs it starts with; the
    // server's processes run as the system user "mail" and must be able to write there.
    const passwd* mailUser = ::getpwnam("mail");
    const auto makeFolder = [&](quint32 uidValidity) {
        QDir(scratchFolder).removeRecursively();
        QStringList made{scratchFolder};
        for (const char* sub : {"cur", "new", "tmp"}) {
            made.append(scratchFolder + u'/' + QLatin1String(sub));
            QDir().mkpath(made.constLast());
        }
        made.append(scratchFolder + QStringLiteral("/dovecot-uidlist"));
        QFile list(made.constLast());
        if (list.open(QIODevice::WriteOnly))
            list.write("3 V" + QByteArray::number(uidValidity) + " N1\n");
        list.close();
        for (const QString& path : std::as_const(made)) {
            if (mailUser) [[maybe_unused]]
                int rc = ::chown(path.toLocal8Bit().constData(), mailUser->pw_uid, mailUser->pw_gid);
        }
    };

    TScratchMail mail(inbox);
    mail.Empty();
    QStringList files;
    for (const char* subject : {"one", "two", "three"})
        files.append(mail.Deliver(QString::fromLatin1(subject)));
    for (const TProtocol protocol : {TProtocol::Pop3, TProtocol::Imap4}) {
        SCOPED_TRACE(protocol == TProtocol::Pop3 ? "POP3" : "IMAP4");
        const TMailBoxSettings box = *MakeMailBox(server, QStringLiteral("carol"), protocol, TSecurity::None);
        makeFolder(1000);
        {
            TScratchMail scratch(scratchFolder);
            scratch.Deliver(QStringLiteral("old-a"));
            scratch.Deliver(QStringLiteral("old-b"));
            ExpectSameRowsInEveryMode(box, cache, "first");
        }
        mail.Remove(files.takeFirst());
        files.append(mail.Deliver(QStringLiteral("new-%1").arg(files.size())));
        makeFolder(2000);
        TScratchMail scratch(scratchFolder);
        scratch.Deliver(QStringLiteral("new-a"));
        scratch.Deliver(QStringLiteral("new-b"));
        const QList<TMessageRow> rows = ExpectSameRowsInEveryMode(box, cache, "after the changes");
        if (protocol == TProtocol::Imap4) {
            QStringList scratchSubjects;
            for (const TMessageRow& row : rows) {
                if (row.Folder == QLatin1String("Scratch")) {
                    scratchSubjects.append(row.Subject);
                    EXPECT_EQ(row.Id.UidValidity, 2000u);
                }
            }
            scratchSubjects.sort();
            EXPECT_EQ(scratchSubjects, (QStringList{"new-a", "new-b"}));
        }
    }
}

// A re-check of a folder the cache knew whole asks only for what changed and gives the rows of a
// full listing, on both servers, for every kind of change in carol's INBOX of five messages.
// Dovecot has QRESYNC, so the messages removed are learned by VANISHED; Courier is searched.
class IncrementalRecheckLive : public FastCheckSeededLive {};

TEST_P(IncrementalRecheckLive, RowsMatchAFullListingAfterEveryKindOfChange)
{
    struct TCase {
        const char* Name;
        QList<int> Removed;  // of the five first delivered, by index
        int Added;
        bool Removes;  // messages are gone, so the remaining UIDs are asked for
    };
    const TCase cases[] = {
        {"messages added", {}, 2, false},
        {"messages removed, the newest among them", {0, 2, 4}, 0, true},
        {"added and removed", {1, 3}, 3, true},
        {"one removed below the cached UIDNEXT, no new mail", {2}, 0, true},
        {"new mail that came and went", {}, -1, false},
    };
    const bool courier = std::string(GetParam()).find("COURIER") != std::string::npos;
    const TMailBoxSettings box = *MakeMailBox(server, QStringLiteral("carol"), TProtocol::Imap4, TSecurity::None);
    TScratchMail mail(server.folderPath(QStringLiteral("carol"), QStringLiteral("INBOX")), courier ? "\n" : "\r\n");
    for (const TCase& change : cases) {
        SCOPED_TRACE(change.Name);
        mail.Empty();
        QStringList files;
        for (int i = 0; i < 5; ++i)
            files.append(mail.Deliver(QStringLiteral("first-%1").arg(i)));
        TempFolder folder;
        THeaderCache cache(folder.Path(QStringLiteral("headers.cache")));
        ASSERT_EQ(ExpectSameRowsInEveryMode(box, cache, "before the change").size(), 5);
        for (const int index : change.Removed)
            mail.Remove(files.at(index));
        for (int i = 0; i < change.Added; ++i)
            mail.Deliver(QStringLiteral("later-%1").arg(i));
        if (change.Added < 0) {
            const QString gone = mail.Deliver(QStringLiteral("gone"));
            Check(box, false, nullptr);  // the server gives it a UID
            mail.Remove(gone);
        }
        // First, as in ExpectSameRowsInEveryMode: Courier keeps the UIDs of new mail only once
        // a folder is opened read-write.
        const QList<TMessageRow> reference = Check(box, false, nullptr);
        TLiveContext context;
        context.PipelineCommands = true;
        context.Cache = &cache;
        context.Tracing = true;
        const QList<TMessageRow> rows = BuildMailBoxRows(0, box, CheckMailBox(box, context));
        EXPECT_TRUE(rows == reference) << "against the listing message by message";
        EXPECT_EQ(rows.size(), 5 - change.Removed.size() + std::max(0, change.Added));
        const QByteArray trace = context.TraceLines.join('\n');
        EXPECT_FALSE(trace.contains(" FETCH 1:")) << "no full listing:\n" << trace.toStdString();
        EXPECT_EQ(trace.contains("UID SEARCH"), change.Removes && courier) << trace.toStdString();
        EXPECT_EQ(trace.contains(" VANISHED)"), change.Removes && !courier) << trace.toStdString();
        // The cache now knows the folder whole again.
        EXPECT_TRUE(Check(box, true, &cache) == rows);
    }
}

INSTANTIATE_TEST_SUITE_P(Servers, IncrementalRecheckLive, ::testing::Values("BREVIO_TEST_", "BREVIO_TEST_COURIER_"),
                         [](const ::testing::TestParamInfo<const char*>& tested) {
                             return std::string(tested.index == 0 ? "Dovecot" : "Courier");
                         });

// The fast listing asks for RFC822.HEADER: a new message is not marked \Seen. (It opens folders
// with SELECT, whose UIDs every server keeps, so \Recent goes to this session.)
TEST_F(FastCheckLive, ListingLeavesSeenAlone)
{
    const QString inbox = server.folderPath(QStringLiteral("carol"), QStringLiteral("INBOX"));
    TScratchMail mail(inbox);
    mail.Empty();
    mail.Deliver(QStringLiteral("fresh"));
    const TMailBoxSettings box = *MakeMailBox(server, QStringLiteral("carol"), TProtocol::Imap4, TSecurity::None);
    ASSERT_EQ(Check(box, true, nullptr).size(), 1);

    TImap4Client client([] { return std::make_unique<TSocketTransport>(nullptr, 20); });
    client.Host = box.Host;
    client.Port = box.Port;
    client.Connect();
    ASSERT_TRUE(client.Login(box.UserName, box.Password).LoggedIn());
    client.SelectFolder("INBOX");
    EXPECT_EQ(client.SelectedMailBox().TotalMessages, 1);
    QByteArray uid;
    ASSERT_TRUE(client.MessageUid(1, uid));
    TMessageFlags flags;
    ASSERT_TRUE(client.FetchFlagsByUid(uid, flags));
    EXPECT_FALSE(flags.testFlag(TMessageFlag::Seen));
    client.Disconnect();
}

}  // namespace
}  // namespace brevio::test
