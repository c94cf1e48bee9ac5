// The engine against the real test server: what a check lists, what a delete removes, and how
// failures and aborts end one mailbox without touching the others.
#include "live_support.h"

#include "engine/check_run.h"
#include "engine/mailbox_session.h"
#include "imap/imap_folder_name.h"

#include <gtest/gtest.h>

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

// Every field the list shows equals what was seeded, folder by folder, in server order.
TEST_F(EngineLive, CheckAllListsTheSeededMessagesOverEveryProtocolAndSecurity)
{
    for (const TLiveConfig& config : kLiveConfigs) {
        SCOPED_TRACE(config.Label);
        TLiveContext context;
        const TMailBoxSettings box = *MakeMailBox(server, QStringLiteral("alice"), config.Protocol, config.Security);
        const TServerLogMark serverLog(server);
        const QList<TFoundMessage> found = CheckMailBox(box, context);
        EXPECT_TRUE(context.Logged.isEmpty()) << context.Logged.join(u'\n').toStdString() << "\nThe server's log:\n"
                                              << serverLog.Since().toStdString();
        ExpectAliceMatchesTheSeed(found, BuildMailBoxRows(0, box, found), config.Protocol,
                                  [](const QString& folder) { return folder; });
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
        const TRunResult result =
            RunOn(c.Kind, list, context, {}, c.Index, [&](int index, const QList<TMessageRow>& rows) {
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
        EXPECT_LT(alice, 9);
        EXPECT_EQ(result.Rows.size(), alice + 3);
        EXPECT_TRUE(context.Logged.isEmpty()) << context.Logged.join(u'\n').toStdString();
    }
}

// Deletes run one command at a time or pipelined (the program's default), over both protocols.
const std::pair<TProtocol, bool> kDeleteModes[] = {
    {TProtocol::Pop3, false}, {TProtocol::Pop3, true}, {TProtocol::Imap4, false}, {TProtocol::Imap4, true}};

std::string ModeName(TProtocol protocol, bool pipelined)
{
    return std::string(protocol == TProtocol::Pop3 ? "POP3" : "IMAP4") + (pipelined ? " pipelined" : " one at a time");
}

// Between the check and the delete another program delivers one message and removes another:
// the numbers shift, and still exactly the ticked messages go.
TEST_F(EngineLive, DeleteRemovesExactlyTheTickedMessagesWhenNumbersShift)
{
    const QString maildir = server.folderPath(QStringLiteral("carol"), QStringLiteral("INBOX"));
    for (const auto& [protocol, pipelined] : kDeleteModes) {
        SCOPED_TRACE(ModeName(protocol, pipelined));
        TScratchMail mail(maildir);
        mail.Empty();
        QStringList files;
        for (const char* subject : {"one", "two", "three", "four", "five"})
            files.append(mail.Deliver(QString::fromLatin1(subject)));

        const QList<TMailBoxSettings> list{*MakeMailBox(server, QStringLiteral("carol"), protocol, TSecurity::None)};
        TLiveContext context;
        context.PipelineCommands = pipelined;
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
    for (const auto& [protocol, pipelined] : kDeleteModes) {
        SCOPED_TRACE(ModeName(protocol, pipelined));
        TScratchMail mail(maildir);
        mail.Empty();
        QStringList files;
        for (const char* subject : {"keep-1", "gone", "keep-2"})
            files.append(mail.Deliver(QString::fromLatin1(subject)));

        const QList<TMailBoxSettings> list{*MakeMailBox(server, QStringLiteral("carol"), protocol, TSecurity::None)};
        TLiveContext context;
        context.PipelineCommands = pipelined;
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
