// The engine against the real test server: what a check lists, what a delete removes, and how
// failures and aborts end one mailbox without touching the others.
#include "live_support.h"

#include "engine/check_run.h"
#include "engine/mailbox_session.h"
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

TRunResult RunOn(TRunKind kind, const QList<TMailBoxSettings>& mailBoxes, TCheckContext& context,
                 const QList<TMessageRow>& ticked = {}, int mailBoxIndex = -1,
                 const TMailBoxRowsCallback& onMailBoxRows = {})
{
    TRunRequest request{kind, false, mailBoxes, mailBoxIndex, {}, {}};
    for (const TMessageRow& row : ticked)
        request.Deletes.append({row.MailBoxIndex, row.Id});
    return ExecuteRun(request, context, QLocale(), {}, onMailBoxRows);
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
        const TMailBoxSettings box = *MakeMailBox(server, QStringLiteral("alice"), config.Protocol, config.Security);
        const QList<TFoundMessage> found = CheckMailBox(box, context);
        const QList<TMessageRow> allRows = BuildMailBoxRows(0, box, found);

        EXPECT_TRUE(context.Logged.isEmpty()) << context.Logged.join(u'\n').toStdString();
        // POP3 sees the INBOX only; IMAP4 every selectable folder in the order the server lists
        // them, which need not be alphabetical. Rows are kept by their position in the list.
        QMap<QString, QList<qsizetype>> byFolder;
        for (qsizetype i = 0; i < allRows.size(); ++i)
            byFolder[config.Protocol == TProtocol::Pop3 ? QStringLiteral("INBOX") : allRows[i].Folder].append(i);
        const QStringList folders = config.Protocol == TProtocol::Pop3
            ? QStringList{QStringLiteral("INBOX")}
            : QStringList{QStringLiteral("INBOX"), QStringLiteral("Входящие"), QStringLiteral("Archive/2024")};
        EXPECT_EQ(byFolder.keys().size(), folders.size());
        qsizetype expectedRows = 0;
        for (const QString& folder : folders) {
            const QList<SeedMessage> seeded = manifest.folder(QStringLiteral("alice"), folder);
            expectedRows += seeded.size();
            const QList<qsizetype> rows = byFolder.value(folder);
            ASSERT_EQ(rows.size(), seeded.size()) << folder.toStdString();
            for (qsizetype i = 0; i < rows.size(); ++i) {
                const TMessageRow& row = allRows.at(rows.at(i));
                const SeedMessage& m = seeded.at(i);
                const TListedHeader& message = found.at(rows.at(i)).Message;
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
                EXPECT_EQ(row.Id, found.at(rows.at(i)).Id);
                if (config.Protocol == TProtocol::Pop3) {
                    EXPECT_TRUE(row.Folder.isEmpty());
                    EXPECT_FALSE(row.Id.UniqueId.isEmpty());
                } else {
                    EXPECT_EQ(row.Folder, folder);
                    EXPECT_EQ(row.Id.Uid, quint32(m.seq));
                    EXPECT_NE(row.Id.UidValidity, 0u);
                    EXPECT_EQ(row.Id.Number, i + 1);
                }
                // Numbers count from 1 in each mailbox, across folders for IMAP4.
                EXPECT_EQ(row.Number, QString::number(rows.at(i) + 1));
            }
        }
        EXPECT_EQ(allRows.size(), expectedRows);
    }
}

TEST_F(EngineLive, RunsVisitOnlyTheirMailBoxesAndListMailBoxByMailBox)
{
    QList<TMailBoxSettings> list{
        *MakeMailBox(server, QStringLiteral("bob"), TProtocol::Pop3, TSecurity::None, QStringLiteral("B1")),
        *MakeMailBox(server, QStringLiteral("bob"), TProtocol::Imap4, TSecurity::None, QStringLiteral("B2"))};
    list[0].IgnoreCheckAllCommand = true;
    list[1].IgnoreCheckOnSchedule = true;

    struct Case {
        TRunKind Kind;
        int Index;
        QStringList MailBoxes;
        QList<int> Reported;  // the mailboxes whose rows came one at a time
    };
    const Case cases[] = {
        {TRunKind::CheckAll, -1, {"B2", "B2", "B2"}, {1}},
        {TRunKind::Scheduled, -1, {"B1", "B1", "B1"}, {0}},
        {TRunKind::CheckOne, 0, {"B1", "B1", "B1"}, {0}},
    };
    for (const Case& c : cases) {
        TLiveContext context;
        QList<int> reported;
        QList<TMessageRow> streamed;
        const TRunResult result = RunOn(c.Kind, list, context, {}, c.Index, [&](int index, const QList<TMessageRow>& rows) {
            reported.append(index);
            streamed += rows;
        });
        QStringList names;
        for (const TMessageRow& row : result.Rows)
            names.append(row.MailBox);
        EXPECT_EQ(names, c.MailBoxes) << int(c.Kind);
        EXPECT_EQ(reported, c.Reported) << int(c.Kind);
        EXPECT_EQ(Subjects(TRunResult{c.Kind, streamed, {}}), Subjects(result)) << int(c.Kind);
    }
}

TEST_F(EngineLive, WrongPasswordIsLoggedAndPromptsOnlyOnUserRuns)
{
    for (const TProtocol protocol : {TProtocol::Pop3, TProtocol::Imap4}) {
        SCOPED_TRACE(protocol == TProtocol::Pop3 ? "POP3" : "IMAP4");
        TMailBoxSettings box = *MakeMailBox(server, QStringLiteral("bob"), protocol, TSecurity::None);
        const QString rightPassword = box.Password;
        box.Password = QStringLiteral("wrong");

        TLiveContext scheduled;
        scheduled.Scheduled = true;
        EXPECT_EQ(CheckMailBox(box, scheduled).size(), 0);
        EXPECT_TRUE(scheduled.Prompts.isEmpty());
        ASSERT_EQ(scheduled.Logged.size(), 1);
        EXPECT_TRUE(scheduled.Logged.first().startsWith(QStringLiteral("(127.0.0.1) ")))
            << scheduled.Logged.first().toStdString();
        EXPECT_TRUE(scheduled.Logged.first().contains(QStringLiteral("uthentication failed")))
            << scheduled.Logged.first().toStdString();

        // A user-started run asks, and the answer (blank and quote in it) logs in.
        TLiveContext user;
        user.Answers.append({true, QStringLiteral("bob"), rightPassword});
        EXPECT_EQ(CheckMailBox(box, user).size(), 3);
        EXPECT_EQ(user.Prompts, QStringList{QStringLiteral("127.0.0.1")});
    }
}

TEST_F(EngineLive, AbortEndsTheCurrentMailBoxAndKeepsWhatItRead)
{
    for (const TProtocol protocol : {TProtocol::Pop3, TProtocol::Imap4}) {
        SCOPED_TRACE(protocol == TProtocol::Pop3 ? "POP3" : "IMAP4");
        const QList<TMailBoxSettings> list{*MakeMailBox(server, QStringLiteral("alice"), protocol, TSecurity::None),
                                           *MakeMailBox(server, QStringLiteral("bob"), protocol, TSecurity::None)};
        TLiveContext context;
        // Two yields before the first message, one per message after it: abort at the third
        // message of alice.
        context.AbortAtYield = protocol == TProtocol::Pop3 ? 6 : 5;
        const TRunResult result = RunOn(TRunKind::CheckAll, list, context);
        const auto alice = std::count_if(result.Rows.cbegin(), result.Rows.cend(),
                                         [](const TMessageRow& row) { return row.MailBoxIndex == 0; });
        EXPECT_GT(alice, 0);
        EXPECT_LT(alice, 8);
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

        const QList<TMailBoxSettings> list{*MakeMailBox(server, QStringLiteral("carol"), protocol, TSecurity::None)};
        TLiveContext context;
        const TRunResult first = RunOn(TRunKind::CheckAll, list, context);
        ASSERT_EQ(Sorted(Subjects(first)), (QStringList{"five", "four", "one", "three", "two"}));

        mail.Remove(files.at(0));
        mail.Deliver(QStringLiteral("six"));

        RunOn(TRunKind::DeleteMarked, list, context, {RowWithSubject(first, "two"), RowWithSubject(first, "four")});
        EXPECT_TRUE(context.Logged.isEmpty()) << context.Logged.join(u'\n').toStdString();

        EXPECT_EQ(Sorted(Subjects(RunOn(TRunKind::CheckAll, list, context))), (QStringList{"five", "six", "three"}));
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

        const QList<TMailBoxSettings> list{*MakeMailBox(server, QStringLiteral("carol"), protocol, TSecurity::None)};
        TLiveContext context;
        const TRunResult first = RunOn(TRunKind::CheckAll, list, context);
        ASSERT_EQ(Sorted(Subjects(first)), (QStringList{"gone", "keep-1", "keep-2"}));
        mail.Remove(files.at(1));

        RunOn(TRunKind::DeleteMarked, list, context, {RowWithSubject(first, "gone")});
        EXPECT_EQ(Sorted(Subjects(RunOn(TRunKind::CheckAll, list, context))), (QStringList{"keep-1", "keep-2"}));
        if (protocol == TProtocol::Pop3) {
            ASSERT_EQ(context.Logged.size(), 1);
            EXPECT_TRUE(context.Logged.first().contains(QStringLiteral("no longer on the server")));
        }
    }
}

}  // namespace
}  // namespace brevio::test
