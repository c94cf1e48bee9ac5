// The engine against the real test server: what a check lists, what a delete removes, and how
// failures and aborts end one mailbox without touching the others.
#include "live_support.h"

#include "engine/check_run.h"
#include "engine/mailbox_list.h"
#include "imap/imap_folder_name.h"

#include <gtest/gtest.h>

#include <QMap>

namespace brevio::test {
namespace {

class EngineLive : public ::testing::Test {
protected:
    void SetUp() override
    {
        server = LiveServer::fromEnvironment();
        if (!server.available())
            GTEST_SKIP() << server.unavailableReason().toStdString();
    }

    LiveServer server;
};

struct TConfig {
    const char* Label;
    TProtocol Protocol;
    TSecurity Security;
};

// New mail is numbered in the order the server finds the files, so scratch mail is looked up by
// subject.
QStringList Sorted(QStringList list)
{
    list.sort();
    return list;
}

TMessageRow RowWithSubject(const TRunResult& result, const char* subject)
{
    for (const TMessageRow& row : result.Rows) {
        if (row.Subject == QLatin1String(subject))
            return row;
    }
    ADD_FAILURE() << "no row with subject " << subject;
    return {};
}

const TConfig kConfigs[] = {
    {"POP3 plain", TProtocol::Pop3, TSecurity::None},
    {"POP3 TLS", TProtocol::Pop3, TSecurity::Tls},
    {"POP3 STARTTLS", TProtocol::Pop3, TSecurity::StartTls},
    {"IMAP4 plain", TProtocol::Imap4, TSecurity::None},
    {"IMAP4 TLS", TProtocol::Imap4, TSecurity::Tls},
    {"IMAP4 STARTTLS", TProtocol::Imap4, TSecurity::StartTls},
};

// Every field the list shows equals what was seeded, folder by folder, in server order.
TEST_F(EngineLive, CheckAllListsTheSeededMessagesOverEveryProtocolAndSecurity)
{
    const SeedManifest manifest = SeedManifest::load();
    for (const TConfig& config : kConfigs) {
        SCOPED_TRACE(config.Label);
        TLiveContext context;
        TMailBoxList list;
        list.Add(MakeMailBox(server, QStringLiteral("alice"), config.Protocol, config.Security));
        const TRunResult result = ExecuteRun(list, TRunKind::CheckAll, context);

        EXPECT_TRUE(context.Logged.isEmpty()) << context.Logged.join(u'\n').toStdString();
        // POP3 sees the INBOX only; IMAP4 every selectable folder in the order the server lists
        // them, which need not be alphabetical.
        QMap<QString, QList<TMessageRow>> byFolder;
        for (const TMessageRow& row : result.Rows)
            byFolder[config.Protocol == TProtocol::Pop3 ? QStringLiteral("INBOX") : row.Folder].append(row);
        const QStringList folders = config.Protocol == TProtocol::Pop3
            ? QStringList{QStringLiteral("INBOX")}
            : QStringList{QStringLiteral("INBOX"), QStringLiteral("Входящие"), QStringLiteral("Archive/2024")};
        EXPECT_EQ(byFolder.keys().size(), folders.size());
        qsizetype expectedRows = 0;
        for (const QString& folder : folders) {
            const QList<SeedMessage> seeded = manifest.folder(QStringLiteral("alice"), folder);
            expectedRows += seeded.size();
            const QList<TMessageRow> rows = byFolder.value(folder);
            ASSERT_EQ(rows.size(), seeded.size()) << folder.toStdString();
            for (qsizetype i = 0; i < rows.size(); ++i) {
                const TMessageRow& row = rows.at(i);
                const SeedMessage& m = seeded.at(i);
                const TMailMessage& message = *list.Items(0)->MessageAt(row.MessageIndex).Message;
                SCOPED_TRACE(m.subject.toStdString());
                EXPECT_EQ(row.Subject, m.subject);
                EXPECT_EQ(row.MailBox, QStringLiteral("alice"));
                EXPECT_EQ(row.Size, QString::number(m.size));
                EXPECT_EQ(message.From.Address, m.fromAddress);
                if (!m.fromAddress.isEmpty())
                    EXPECT_EQ(message.From.Name, m.fromName);
                EXPECT_EQ(message.Date.isValid(), m.dateUtc.isValid());
                if (m.dateUtc.isValid())
                    EXPECT_EQ(message.Date.toUTC(), m.dateUtc);
                else
                    EXPECT_TRUE(row.Date.isEmpty() && row.Time.isEmpty());
                if (config.Protocol == TProtocol::Pop3) {
                    EXPECT_TRUE(row.Folder.isEmpty());
                    EXPECT_FALSE(message.UniqueId.isEmpty());
                } else {
                    EXPECT_EQ(row.Folder, folder);
                    EXPECT_EQ(message.Uid, quint32(m.seq));
                    EXPECT_NE(message.UidValidity, 0u);
                }
                // Numbers count from 1 in each mailbox, across folders for IMAP4.
                EXPECT_EQ(row.Number, QString::number(row.MessageIndex + 1));
            }
        }
        EXPECT_EQ(result.Rows.size(), expectedRows);
    }
}

TEST_F(EngineLive, RunsVisitOnlyTheirMailBoxesAndListMailBoxByMailBox)
{
    TMailBoxList list;
    list.Add(MakeMailBox(server, QStringLiteral("bob"), TProtocol::Pop3, TSecurity::None, QStringLiteral("B1")));
    list.Add(MakeMailBox(server, QStringLiteral("bob"), TProtocol::Imap4, TSecurity::None, QStringLiteral("B2")));
    list.Items(0)->IgnoreCheckAllCommand = true;
    list.Items(1)->IgnoreCheckOnSchedule = true;

    struct Case {
        TRunKind Kind;
        int Index;
        QStringList MailBoxes;
    };
    const Case cases[] = {
        {TRunKind::CheckAll, -1, {"B2", "B2", "B2"}},
        {TRunKind::Scheduled, -1, {"B1", "B1", "B1"}},
        {TRunKind::CheckOne, 0, {"B1", "B1", "B1"}},
    };
    for (const Case& c : cases) {
        TLiveContext context;
        const TRunResult result = ExecuteRun(list, c.Kind, context, c.Index);
        QStringList names;
        for (const TMessageRow& row : result.Rows)
            names.append(row.MailBox);
        EXPECT_EQ(names, c.MailBoxes) << int(c.Kind);
        // A mailbox the run skipped has no messages left from an earlier run.
        EXPECT_EQ(list.Items(0)->MessageCount() + list.Items(1)->MessageCount(), 3);
    }
}

TEST_F(EngineLive, WrongPasswordIsLoggedAndPromptsOnlyOnUserRuns)
{
    for (const TProtocol protocol : {TProtocol::Pop3, TProtocol::Imap4}) {
        SCOPED_TRACE(protocol == TProtocol::Pop3 ? "POP3" : "IMAP4");
        auto box = MakeMailBox(server, QStringLiteral("bob"), protocol, TSecurity::None);
        const QString rightPassword = box->Password;
        box->Password = QStringLiteral("wrong");

        TLiveContext scheduled;
        scheduled.Scheduled = true;
        box->Check(scheduled);
        EXPECT_EQ(box->MessageCount(), 0);
        EXPECT_TRUE(scheduled.Prompts.isEmpty());
        ASSERT_EQ(scheduled.Logged.size(), 1);
        EXPECT_TRUE(scheduled.Logged.first().startsWith(QStringLiteral("(127.0.0.1) ")))
            << scheduled.Logged.first().toStdString();
        EXPECT_TRUE(scheduled.Logged.first().contains(QStringLiteral("uthentication failed")))
            << scheduled.Logged.first().toStdString();

        // A user-started run asks, and the answer (blank and quote in it) logs in.
        TLiveContext user;
        user.Answers.append({true, QStringLiteral("bob"), rightPassword});
        box->Check(user);
        EXPECT_EQ(user.Prompts, QStringList{QStringLiteral("127.0.0.1")});
        EXPECT_EQ(box->MessageCount(), 3);
        // The typed credentials serve this connection only.
        EXPECT_EQ(box->Password, QStringLiteral("wrong"));
    }
}

TEST_F(EngineLive, AbortEndsTheCurrentMailBoxAndKeepsWhatItRead)
{
    for (const TProtocol protocol : {TProtocol::Pop3, TProtocol::Imap4}) {
        SCOPED_TRACE(protocol == TProtocol::Pop3 ? "POP3" : "IMAP4");
        TMailBoxList list;
        list.Add(MakeMailBox(server, QStringLiteral("alice"), protocol, TSecurity::None));
        list.Add(MakeMailBox(server, QStringLiteral("bob"), protocol, TSecurity::None));
        TLiveContext context;
        // Two yields before the first message, one per message after it: abort at the third
        // message of alice.
        context.AbortAtYield = protocol == TProtocol::Pop3 ? 6 : 5;
        const TRunResult result = ExecuteRun(list, TRunKind::CheckAll, context);
        const int alice = list.Items(0)->MessageCount();
        EXPECT_GT(alice, 0);
        EXPECT_LT(alice, 8);
        EXPECT_EQ(list.Items(1)->MessageCount(), 3);
        EXPECT_EQ(result.Rows.size(), alice + 3);
        EXPECT_TRUE(context.Logged.isEmpty()) << context.Logged.join(u'\n').toStdString();
    }
}

// Between the check and the delete another program delivers one message and removes another:
// the numbers shift, and still exactly the ticked messages go.
TEST_F(EngineLive, DeleteRemovesExactlyTheTickedMessagesWhenNumbersShift)
{
    const QString maildir = server.folderPath(QStringLiteral("carol"), QStringLiteral("INBOX"));
    for (const TProtocol protocol : {TProtocol::Pop3, TProtocol::Imap4}) {
        SCOPED_TRACE(protocol == TProtocol::Pop3 ? "POP3" : "IMAP4");
        TScratchMail mail(maildir);
        mail.Empty();
        QStringList files;
        for (const char* subject : {"one", "two", "three", "four", "five"})
            files.append(mail.Deliver(QString::fromLatin1(subject)));

        TMailBoxList list;
        list.Add(MakeMailBox(server, QStringLiteral("carol"), protocol, TSecurity::None));
        TLiveContext context;
        const TRunResult first = ExecuteRun(list, TRunKind::CheckAll, context);
        ASSERT_EQ(Sorted(Subjects(*list.Items(0))), (QStringList{"five", "four", "one", "three", "two"}));

        ASSERT_TRUE(MarkRowForDeletion(list, RowWithSubject(first, "two")));
        ASSERT_TRUE(MarkRowForDeletion(list, RowWithSubject(first, "four")));

        mail.Remove(files.at(0));
        mail.Deliver(QStringLiteral("six"));

        ExecuteRun(list, TRunKind::DeleteMarked, context);
        EXPECT_FALSE(list.Items(0)->HasDeletionMarks());
        EXPECT_TRUE(context.Logged.isEmpty()) << context.Logged.join(u'\n').toStdString();

        ExecuteRun(list, TRunKind::CheckAll, context);
        EXPECT_EQ(Sorted(Subjects(*list.Items(0))), (QStringList{"five", "six", "three"}));
    }
}

// A ticked message that another program removed meanwhile is not deleted in its place: its
// neighbour stays, and the log says why.
TEST_F(EngineLive, DeleteOfAMessageRemovedMeanwhileTouchesNothingElse)
{
    const QString maildir = server.folderPath(QStringLiteral("carol"), QStringLiteral("INBOX"));
    for (const TProtocol protocol : {TProtocol::Pop3, TProtocol::Imap4}) {
        SCOPED_TRACE(protocol == TProtocol::Pop3 ? "POP3" : "IMAP4");
        TScratchMail mail(maildir);
        mail.Empty();
        QStringList files;
        for (const char* subject : {"keep-1", "gone", "keep-2"})
            files.append(mail.Deliver(QString::fromLatin1(subject)));

        TMailBoxList list;
        list.Add(MakeMailBox(server, QStringLiteral("carol"), protocol, TSecurity::None));
        TLiveContext context;
        const TRunResult first = ExecuteRun(list, TRunKind::CheckAll, context);
        ASSERT_EQ(Sorted(Subjects(*list.Items(0))), (QStringList{"gone", "keep-1", "keep-2"}));
        ASSERT_TRUE(MarkRowForDeletion(list, RowWithSubject(first, "gone")));
        mail.Remove(files.at(1));

        ExecuteRun(list, TRunKind::DeleteMarked, context);
        ExecuteRun(list, TRunKind::CheckAll, context);
        EXPECT_EQ(Sorted(Subjects(*list.Items(0))), (QStringList{"keep-1", "keep-2"}));
        if (protocol == TProtocol::Pop3) {
            ASSERT_EQ(context.Logged.size(), 1);
            EXPECT_TRUE(context.Logged.first().contains(QStringLiteral("no longer on the server")));
        }
    }
}

}  // namespace
}  // namespace brevio::test
