// The engine against the real test servers: what a check lists, what a delete removes, and how
// failures and aborts end one mailbox without touching the others. Every case runs against each
// server (Dovecot, scripts/test-server/start.sh; Courier, courier-start.sh) that is up.
#include "live_support.h"

#include "engine/check_run.h"
#include "engine/mailbox_client_setup.h"
#include "engine/mailbox_session.h"
#include "imap/imap_client.h"
#include "imap/imap_folder_name.h"
#include "net/socket_transport.h"

#include <gtest/gtest.h>

#include <QMap>

namespace brevio::test {
namespace {

// A server under test and what sets it apart.
struct TServerKind {
    const char* Name;
    const char* EnvPrefix;  // of its BREVIO_TEST_* variables
    // How the server stores message files: Courier keeps LF line ends and adds the CR itself.
    const char* LineEnd;
    // Whether it announces UIDPLUS; Courier runs here without, so a delete must keep other
    // programs' deletion marks.
    bool UidPlus;
    // A seeded folder ("Archive/2024") as the server lists it: Courier puts every folder below
    // "INBOX." with "." between levels.
    QString (*ListedFolder)(const QString& seedFolder);
    // Words of its answer to a wrong password, which the log passes on.
    const char* LoginRefusal;
};

QString SameFolder(const QString& seedFolder)
{
    return seedFolder;
}

QString BelowInbox(const QString& seedFolder)
{
    if (seedFolder == QLatin1String("INBOX"))
        return seedFolder;
    return QStringLiteral("INBOX.") + QString(seedFolder).replace(u'/', u'.');
}

const TServerKind kServers[] = {
    {"Dovecot", "BREVIO_TEST_", "\r\n", true, SameFolder, "uthentication failed"},
    {"Courier", "BREVIO_TEST_COURIER_", "\n", false, BelowInbox, "Login failed"},
};

class EngineLive : public ::testing::TestWithParam<TServerKind> {
protected:
    void SetUp() override
    {
        server = LiveServer::fromEnvironment(GetParam().EnvPrefix);
        if (!server.available())
            GTEST_SKIP() << server.unavailableReason().toStdString();
    }

    QString CarolsInbox() const { return server.folderPath(QStringLiteral("carol"), QStringLiteral("INBOX")); }

    LiveServer server;
};

INSTANTIATE_TEST_SUITE_P(Servers, EngineLive, ::testing::ValuesIn(kServers),
                         [](const auto& tested) { return std::string(tested.param.Name); });

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
    return ExecuteRun(request, context, {}, onMailBoxRows);
}

// Every field the list shows equals what was seeded, folder by folder, in server order.
TEST_P(EngineLive, CheckAllListsTheSeededMessagesOverEveryProtocolAndSecurity)
{
    for (const TLiveConfig& config : kLiveConfigs) {
        SCOPED_TRACE(config.Label);
        TLiveContext context;
        const TMailBoxSettings box = *MakeMailBox(server, QStringLiteral("alice"), config.Protocol, config.Security);
        const TServerLogMark serverLog(server);
        const QList<TFoundMessage> found = CheckMailBox(box, context);
        EXPECT_TRUE(context.Logged.isEmpty()) << context.Logged.join(u'\n').toStdString() << "\nThe server's log:\n"
                                              << serverLog.Since().toStdString();
        ExpectAliceMatchesTheSeed(found, BuildMailBoxRows(0, box, found), config.Protocol, GetParam().ListedFolder);
    }
}

TEST_P(EngineLive, RunsVisitOnlyTheirMailBoxesAndListMailBoxByMailBox)
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

TEST_P(EngineLive, WrongPasswordIsLoggedAndPromptsOnlyOnUserRuns)
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
        EXPECT_TRUE(scheduled.Logged.first().contains(QLatin1String(GetParam().LoginRefusal)))
            << scheduled.Logged.first().toStdString();

        // A user-started run asks, and the answer (blank and quote in it) logs in.
        TLiveContext user;
        user.Answers.append({true, QStringLiteral("bob"), rightPassword});
        EXPECT_EQ(CheckMailBox(box, user).size(), 3);
        EXPECT_EQ(user.Prompts, QStringList{QStringLiteral("127.0.0.1")});
    }
}

TEST_P(EngineLive, AbortEndsTheCurrentMailBoxAndKeepsWhatItRead)
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
TEST_P(EngineLive, DeleteRemovesExactlyTheTickedMessagesWhenNumbersShift)
{
    for (const auto& [protocol, pipelined] : kDeleteModes) {
        SCOPED_TRACE(ModeName(protocol, pipelined));
        TScratchMail mail(CarolsInbox(), GetParam().LineEnd);
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
TEST_P(EngineLive, DeleteOfAMessageRemovedMeanwhileTouchesNothingElse)
{
    for (const auto& [protocol, pipelined] : kDeleteModes) {
        SCOPED_TRACE(ModeName(protocol, pipelined));
        TScratchMail mail(CarolsInbox(), GetParam().LineEnd);
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

// Another program marked a message \Deleted and will expunge it itself. Deleting two ticked
// messages removes exactly those and the other program's mark stays: a server with UIDPLUS
// expunges by UID, one without has the mark taken off and put back (and that is logged).
TEST_P(EngineLive, DeleteRemovesExactlyTheTickedMessagesAndKeepsForeignMarks)
{
    for (const TProtocol protocol : {TProtocol::Pop3, TProtocol::Imap4}) {
        const bool imap = protocol == TProtocol::Imap4;
        SCOPED_TRACE(imap ? "IMAP4" : "POP3");
        TScratchMail mail(CarolsInbox(), GetParam().LineEnd);
        mail.Empty();
        for (const char* subject : {"one", "two", "three", "four", "five"})
            mail.Deliver(QString::fromLatin1(subject));
        const QList<TMailBoxSettings> list{*MakeMailBox(server, QStringLiteral("carol"), protocol, TSecurity::None)};
        TLiveContext context;
        const TRunResult first = RunOn(TRunKind::CheckAll, list, context);
        ASSERT_EQ(first.Rows.size(), 5);
        const quint32 foreignUid = RowWithSubject(first, "three").Id.Uid;

        TImap4Client other([] { return std::make_unique<TSocketTransport>(nullptr, 20); });
        if (imap) {
            ConfigureClient(list[0], context, other);
            other.Connect();
            ASSERT_TRUE(other.Login(list[0].UserName, list[0].Password).LoggedIn());
            other.SelectFolder("INBOX");
            ASSERT_TRUE(other.UidStoreDeleted({foreignUid}));
        }

        RunOn(TRunKind::DeleteMarked, list, context, {RowWithSubject(first, "two"), RowWithSubject(first, "four")});
        const QStringList logged = context.Logged;
        EXPECT_EQ(Sorted(Subjects(RunOn(TRunKind::CheckAll, list, context))), (QStringList{"five", "one", "three"}));
        if (!imap || GetParam().UidPlus) {
            EXPECT_TRUE(logged.isEmpty()) << logged.join(u'\n').toStdString();
        } else {
            EXPECT_EQ(logged,
                      QStringList{QStringLiteral("(127.0.0.1) Folder INBOX: 1 message(s) another program "
                                                 "marked for deletion were kept and marked again")});
        }
        if (!imap)
            continue;
        TMessageFlags flags;
        other.SelectFolder("INBOX");
        ASSERT_TRUE(other.FetchFlagsByUid(QByteArray::number(foreignUid), flags));
        EXPECT_TRUE(flags.testFlag(TMessageFlag::Deleted));
        other.Disconnect();
    }
}

}  // namespace
}  // namespace brevio::test
