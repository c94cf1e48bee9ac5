// The fast listing on the wire: which commands go ahead of their replies, and how odd replies and
// a server that closes in the middle are taken.
#include "imap_session.h"

#include "engine/check_run.h"
#include "engine/header_cache.h"
#include "engine/mailbox_session.h"
#include "support/scripted_transport.h"
#include "support/temp_files.h"
#include "support/test_check_context.h"

#include <QFileInfo>
#include <gtest/gtest.h>

namespace brevio::test {
namespace {

// Greeting, CAPA (with or without PIPELINING) and login of the scripted POP3 sessions.
const QByteArray kPopLogin = "C: USER bob\nS: +OK\nC: PASS secret\nS: +OK logged in\n";
const QByteArray kPopPipelining = "S: +OK ready\nC: CAPA\nS: +OK\nS: TOP\nS: UIDL\nS: PIPELINING\nS: .\n" + kPopLogin;
const QByteArray kPopPlain = "S: +OK ready\nC: CAPA\nS: -ERR unknown command\n" + kPopLogin;
const QByteArray kImapSession(kImapLogin);

TMailBoxSettings Box(TMailProtocol protocol)
{
    TMailBoxSettings box;
    box.Name = QStringLiteral("Work");
    box.Host = QStringLiteral("mail.example.org");
    box.Port = protocol == TMailProtocol::POP3 ? 110 : 143;
    box.UserName = QStringLiteral("bob");
    box.Password = QStringLiteral("secret");
    box.Protocol = protocol;
    return box;
}

// An untagged FETCH response carrying `items` and the header of `subject` as a literal.
QByteArray ImapFetch(int number, const QByteArray& items, const QByteArray& subject)
{
    return ImapHeaderFetch(number, items, SubjectHeader(subject));
}

// The size pass of a cached IMAP4 check as command C<tag>: the messages' UIDs in sequence order,
// each of size ten times its UID.
QByteArray SizePass(std::initializer_list<int> uids, int tag = 4)
{
    const QByteArray c = "C" + QByteArray::number(tag);
    QByteArray script = "C: " + c + " FETCH 1:" + QByteArray::number(qsizetype(uids.size())) + " (UID RFC822.SIZE)\n";
    int number = 0;
    for (int uid : uids) {
        script += "S: * " + QByteArray::number(++number) + " FETCH (UID " + QByteArray::number(uid) + " RFC822.SIZE "
            + QByteArray::number(uid * 10) + ")\n";
    }
    return script + "S: " + c + " OK done\n";
}

// The lines of a TOP reply for a message with this subject.
QByteArray PopTop(const QByteArray& subject)
{
    return "S: +OK\nS: Subject: " + subject + "\nS: From: a@example.org\nS:\nS: .\n";
}

struct TCheck {
    TRunResult Result;
    QStringList Logged;
};

TCheck CheckWith(TMailProtocol protocol, const QByteArray& script, THeaderCache* cache = nullptr)
{
    TScriptedServer server(script.constData());
    TTestCheckContext context;
    context.PipelineCommands = true;
    context.Cache = cache;
    TCheck check;
    check.Result = ExecuteRun(TRunRequest{TRunKind::CheckAll, false, {Box(protocol)}, -1, {}, {}}, context, server.Factory());
    server.VerifyFinished();
    check.Logged = context.Logged;
    return check;
}

QStringList Column(const TRunResult& result, QString TMessageRow::*field)
{
    QStringList values;
    for (const TMessageRow& row : result.Rows)
        values.append(row.*field);
    return values;
}

QStringList Column(const TRunResult& result, qint32 TMessageRow::*field)
{
    QStringList values;
    for (const TMessageRow& row : result.Rows)
        values.append(QString::number(row.*field));
    return values;
}

// A folder is opened with SELECT and read in chunks of 1,000 sequence numbers, all of them sent
// before the first reply is read. The items of a message may come in two responses; a flag update
// about another message and a response outside the chunk are passed over; a message the server
// leaves out is not listed.
TEST(PipelinedCheck, ImapReadsAFolderInPipelinedChunks)
{
    const QByteArray script = kImapSession + R"(
        C: C2 SELECT "INBOX"
        S: * 2500 EXISTS
        S: * OK [UIDVALIDITY 7] ok
        S: C2 OK [READ-ONLY] done
        C: C3 LIST "" *
        S: * LIST (\HasNoChildren) "/" "INBOX"
        S: C3 OK done
        C: C4 FETCH 1:1000 (UID RFC822.SIZE RFC822.HEADER)
        C: C5 FETCH 1001:2000 (UID RFC822.SIZE RFC822.HEADER)
        C: C6 FETCH 2001:2500 (UID RFC822.SIZE RFC822.HEADER)
        S: * 2 FETCH (UID 12 RFC822.SIZE 200)
)" + ImapFetch(1, "UID 11 RFC822.SIZE 100", "one")
        + ImapFetch(2, "", "two") + R"(
        S: * 1500 FETCH (FLAGS (\Seen))
        S: *
        S: C4 OK done
)" + ImapFetch(1001, "UID 1011 RFC822.SIZE 300", "three")
        + ImapFetch(3000, "UID 9 RFC822.SIZE 1", "stray") + R"(
        S: C5 OK done
)" + ImapFetch(2500, "UID 2511", "four")
        + R"(
        S: C6 OK done
        C: C7 LOGOUT
        S: C7 OK done
    )";
    const TCheck check = CheckWith(TMailProtocol::IMAP4, script);
    EXPECT_TRUE(check.Logged.isEmpty());
    EXPECT_EQ(Column(check.Result, &TMessageRow::Subject), QStringList({"one", "two", "three", "four"}));
    EXPECT_EQ(Column(check.Result, &TMessageRow::Size), QStringList({"100", "200", "300", "-1"}));
    ASSERT_EQ(check.Result.Rows.size(), 4);
    EXPECT_EQ(check.Result.Rows[2].Id, (TMessageIdentity{"INBOX", 7, 1011, {}, 1001}));

    // While the chunks come, what was found so far is handed over; it only ever grows at its end.
    TScriptedServer server(script.constData());
    TTestCheckContext context;
    context.PipelineCommands = true;
    QList<QStringList> seen;
    const auto subjects = [](const QList<TFoundMessage>& found) {
        QStringList texts;
        for (const TFoundMessage& message : found)
            texts.append(message.Message.Subject);
        return texts;
    };
    QStringList whole;
    CheckMailBoxes(
        {Box(TMailProtocol::IMAP4)}, {0}, context,
        [&](int, QList<TFoundMessage>& found) { whole = subjects(found); }, server.Factory(), nullptr, nullptr,
        {.Listed = [&](int, const QList<TFoundMessage>& found, bool) { seen.append(subjects(found)); }, .Expected = {}});
    server.VerifyFinished();
    ASSERT_GT(seen.size(), 1);
    for (qsizetype i = 1; i < seen.size(); ++i)
        EXPECT_EQ(seen[i].mid(0, seen[i - 1].size()), seen[i - 1]);
    EXPECT_EQ(seen.constLast(), whole);
    EXPECT_EQ(whole, QStringList({"one", "two", "three", "four"}));
}

// INBOX is opened before the folders are asked for (a server may open a big folder far slower
// after a LIST). Listed first, it stays open; listed after another folder, it is opened again in
// its turn; refused at first, it is tried again in its turn and logged once.
TEST(PipelinedCheck, ImapOpensInboxBeforeAskingForTheFolders)
{
    const auto selectOne = [](int tag, const char* folder, const QByteArray& subject) {
        const QByteArray c = "C" + QByteArray::number(tag);
        const QByteArray f = "C" + QByteArray::number(tag + 1);
        return "C: " + c + " SELECT \"" + folder + "\"\nS: * 1 EXISTS\nS: " + c + " OK done\nC: " + f
            + " FETCH 1:1 (UID RFC822.SIZE RFC822.HEADER)\n" + ImapFetch(1, "UID 1 RFC822.SIZE 10", subject) + "S: " + f
            + " OK done\n";
    };
    const QByteArray list = "C: C3 LIST \"\" *\nS: * LIST () \"/\" \"Archive\"\nS: * LIST () \"/\" \"INBOX\"\nS: C3 OK done\n";
    struct TCase {
        const char* Name;
        QByteArray Script;  // after the login
        QStringList Subjects;
        qsizetype Logged;
    };
    const TCase cases[] = {
        {"listed first: kept open",
         "C: C2 SELECT \"INBOX\"\nS: * 1 EXISTS\nS: C2 OK done\nC: C3 LIST \"\" *\nS: * LIST () \"/\" \"INBOX\"\n"
         "S: * LIST () \"/\" \"Archive\"\nS: C3 OK done\nC: C4 FETCH 1:1 (UID RFC822.SIZE RFC822.HEADER)\n"
             + ImapFetch(1, "UID 1 RFC822.SIZE 10", "inbox") + "S: C4 OK done\n" + selectOne(5, "Archive", "archive")
             + "C: C7 LOGOUT\nS: C7 OK done\n",
         {"inbox", "archive"},
         0},
        {"listed after another folder: opened again in its turn",
         "C: C2 SELECT \"INBOX\"\nS: * 1 EXISTS\nS: C2 OK done\n" + list + selectOne(4, "Archive", "archive")
             + selectOne(6, "INBOX", "inbox") + "C: C8 LOGOUT\nS: C8 OK done\n",
         {"archive", "inbox"},
         0},
        {"refused: tried again in its turn, logged once",
         "C: C2 SELECT \"INBOX\"\nS: C2 NO not now\n" + list + selectOne(4, "Archive", "archive")
             + "C: C6 SELECT \"INBOX\"\nS: C6 NO not now\nC: C7 LOGOUT\nS: C7 OK done\n",
         {"archive"},
         1},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        const TCheck check = CheckWith(TMailProtocol::IMAP4, kImapSession + c.Script);
        EXPECT_EQ(Column(check.Result, &TMessageRow::Subject), c.Subjects);
        EXPECT_EQ(check.Logged.size(), c.Logged) << check.Logged.join(u'|').toStdString();
    }
}

// A refused chunk ends the account's check after the replies already asked for are read; what
// came in the chunks before it stays listed. A server that closes in the middle of a chunk
// leaves the chunks before it listed.
TEST(PipelinedCheck, ImapRefusedChunkOrClosedConnectionKeepsWhatCameBefore)
{
    const QByteArray opening = kImapSession + R"(
        C: C2 SELECT "INBOX"
        S: * 1500 EXISTS
        S: C2 OK [READ-ONLY] done
        C: C3 LIST "" *
        S: * LIST (\HasNoChildren) "/" "INBOX"
        S: C3 OK done
        C: C4 FETCH 1:1000 (UID RFC822.SIZE RFC822.HEADER)
        C: C5 FETCH 1001:1500 (UID RFC822.SIZE RFC822.HEADER)
)" + ImapFetch(1, "UID 1 RFC822.SIZE 10", "kept")
        + "S: C4 OK done\n";

    const TCheck refused = CheckWith(TMailProtocol::IMAP4, opening + R"(
        S: C5 NO no such messages
        C: C6 LOGOUT
        S: C6 OK done
    )");
    EXPECT_EQ(Column(refused.Result, &TMessageRow::Subject), QStringList{"kept"});

    const TCheck closed =
        CheckWith(TMailProtocol::IMAP4, opening + ImapFetch(1001, "UID 2 RFC822.SIZE 10", "lost") + "X\n");
    EXPECT_EQ(Column(closed.Result, &TMessageRow::Subject), QStringList{"kept"});
}

// POP3 with PIPELINING: one LIST for the sizes and one UIDL for the ids, sent together, then every
// TOP before the first reply. A LIST line without a usable size gives -1, as "LIST n" does.
TEST(PipelinedCheck, PopSendsTheTopsAheadWhenPipeliningIsAnnounced)
{
    const QByteArray script = kPopPipelining + R"(
        C: LIST
        C: UIDL
        S: +OK 3 messages
        S: 1 120
        S: 2 x
        S: 3 300
        S: .
        S: +OK
        S: 1 aa
        S: 2 bb
        S: 3 cc
        S: .
        C: TOP 1 0
        C: TOP 2 0
        C: TOP 3 0
)" + PopTop("one")
        + PopTop("two") + PopTop("three") + R"(
        C: QUIT
        S: +OK bye
    )";
    const TCheck check = CheckWith(TMailProtocol::POP3, script);
    EXPECT_EQ(Column(check.Result, &TMessageRow::Subject), QStringList({"one", "two", "three"}));
    EXPECT_EQ(Column(check.Result, &TMessageRow::Size), QStringList({"120", "-1", "300"}));
    ASSERT_EQ(check.Result.Rows.size(), 3);
    EXPECT_EQ(check.Result.Rows[1].Id, (TMessageIdentity{{}, 0, 0, "bb", 2}));
}

// Without PIPELINING (or without CAPA) one TOP at a time; a server that closes in the middle
// leaves the messages read before listed.
TEST(PipelinedCheck, PopAsksOneTopAtATimeWithoutPipelining)
{
    const QByteArray script = kPopPlain + R"(
        C: LIST
        S: +OK
        S: 1 10
        S: 2 20
        S: 3 30
        S: .
        C: UIDL
        S: -ERR not supported
        C: TOP 1 0
)" + PopTop("one")
        + R"(
        C: TOP 2 0
        S: +OK
        S: Subject: cut
        X
    )";
    const TCheck check = CheckWith(TMailProtocol::POP3, script);
    EXPECT_EQ(Column(check.Result, &TMessageRow::Subject), QStringList{"one"});
    ASSERT_EQ(check.Result.Rows.size(), 1);
    EXPECT_EQ(check.Result.Rows[0].Id, (TMessageIdentity{{}, 0, 0, {}, 1}));
}

// The second check with the cache asks only for what the first did not see. IMAP4: the headers
// from the cached UIDNEXT on; here the server also holds UIDs below it that were never listed, so
// the count does not add up and the UIDs and sizes follow, then the headers of the UIDs not known
// (runs of UIDs as ranges). POP3: the TOPs of new ids.
TEST(PipelinedCheck, CacheFetchesOnlyNewHeaders)
{
    TempFolder folder;
    THeaderCache cache(folder.Path("headers.cache"));
    const auto imapOpening = [](int exists, int uidNext) {
        return kImapSession + R"(
        C: C2 SELECT "INBOX"
        S: * )"
            + QByteArray::number(exists) + R"( EXISTS
        S: * OK [UIDVALIDITY 7] ok
        S: * OK [UIDNEXT )"
            + QByteArray::number(uidNext) + R"(] ok
        S: C2 OK [READ-ONLY] done
        C: C3 LIST "" *
        S: * LIST (\HasNoChildren) "/" "INBOX"
        S: C3 OK done
)";
    };
    // The first check knows nothing: headers and sizes in one pass.
    const TCheck cold = CheckWith(TMailProtocol::IMAP4,
                                  imapOpening(2, 9) + R"(
        C: C4 FETCH 1:2 (UID RFC822.SIZE RFC822.HEADER)
)" + ImapFetch(1, "UID 5 RFC822.SIZE 50", "five")
                                      + ImapFetch(2, "UID 8 RFC822.SIZE 80", "eight") + R"(
        S: C4 OK done
        C: C5 LOGOUT
        S: C5 OK done
    )",
                                  &cache);
    EXPECT_EQ(Column(cold.Result, &TMessageRow::Subject), QStringList({"five", "eight"}));
    ASSERT_TRUE(cache.Save());
    // The cache holds the user's subjects and senders: no one else may read it.
    EXPECT_EQ(QFileInfo(cache.FileName()).permissions() & (QFileDevice::ReadGroup | QFileDevice::ReadOther), 0);

    THeaderCache reloaded(folder.Path("headers.cache"));
    reloaded.Load();
    EXPECT_EQ(reloaded.EntryCount(), 2);
    const TCheck warm = CheckWith(
        TMailProtocol::IMAP4,
        imapOpening(5, 10) + "C: C4 UID FETCH 9:* (UID RFC822.SIZE RFC822.HEADER)\n"
            + ImapFetch(5, "UID 9 RFC822.SIZE 90", "nine") + "S: C4 OK done\n" + SizePass({5, 6, 7, 8, 9}, 5) + R"(
        C: C6 UID FETCH 6:7,9 (UID RFC822.SIZE RFC822.HEADER)
)" + ImapFetch(2, "UID 6 RFC822.SIZE 60", "six")
            + ImapFetch(3, "UID 7 RFC822.SIZE 70", "seven") + ImapFetch(5, "UID 9 RFC822.SIZE 90", "nine") + R"(
        S: C6 OK done
        C: C7 LOGOUT
        S: C7 OK done
    )",
        &reloaded);
    EXPECT_EQ(Column(warm.Result, &TMessageRow::Subject), QStringList({"five", "six", "seven", "eight", "nine"}));
    EXPECT_EQ(Column(warm.Result, &TMessageRow::From), QStringList(5, QStringLiteral("a@example.org")));
    EXPECT_EQ(Column(warm.Result, &TMessageRow::Size), QStringList({"50", "60", "70", "80", "90"}));
    EXPECT_EQ(reloaded.EntryCount(), 5);
    // Neither UIDNEXT nor the count moved: nothing was added or removed, so nothing is fetched,
    // and the rows are the same, sizes and order included.
    ASSERT_TRUE(reloaded.Save());
    THeaderCache third(folder.Path("headers.cache"));
    third.Load();
    const TCheck unchanged =
        CheckWith(TMailProtocol::IMAP4, imapOpening(5, 10) + "C: C4 LOGOUT\nS: C4 OK done\n", &third);
    EXPECT_EQ(unchanged.Result.Rows, warm.Result.Rows);
    // The same UIDNEXT with one message fewer: one was removed, so the remaining UIDs are asked for.
    const TCheck removed = CheckWith(TMailProtocol::IMAP4, imapOpening(4, 10) + R"(
        C: C4 CAPABILITY
        S: * CAPABILITY IMAP4rev1
        S: C4 OK done
        C: C5 UID SEARCH UID 5:9
        S: * SEARCH 5 7 8 9
        S: C5 OK done
        C: C6 LOGOUT
        S: C6 OK done
    )",
                                     &third);
    EXPECT_EQ(Column(removed.Result, &TMessageRow::Subject), QStringList({"five", "seven", "eight", "nine"}));

    const QByteArray popOpening = kPopPipelining + R"(
        C: LIST
        C: UIDL
        S: +OK
        S: 1 10
        S: 2 20
        S: .
        S: +OK
)";
    CheckWith(TMailProtocol::POP3,
              popOpening + "S: 1 aa\nS: 2 bb\nS: .\nC: TOP 1 0\nC: TOP 2 0\n" + PopTop("a") + PopTop("b")
                  + "C: QUIT\nS: +OK\n",
              &reloaded);
    // "aa" was deleted and "cc" came since: only its TOP goes out.
    const TCheck pop =
        CheckWith(TMailProtocol::POP3,
                  popOpening + "S: 1 bb\nS: 2 cc\nS: .\nC: TOP 2 0\n" + PopTop("c") + "C: QUIT\nS: +OK\n", &reloaded);
    EXPECT_EQ(Column(pop.Result, &TMessageRow::Subject), QStringList({"b", "c"}));
    EXPECT_EQ(Column(pop.Result, &TMessageRow::Size), QStringList({"10", "20"}));
}

// A folder the cache knew whole at UIDNEXT 9 and HIGHESTMODSEQ 40 (UIDs 5, 6 and 8, sizes ten
// times the UID) is checked again: the server is asked only what changed (the removed UIDs by
// VANISHED where QRESYNC is on, else by a search), and answers that do not add up lead to the
// search, then to the full listing (UIDs and sizes, then the unknown headers), never to a wrong row.
TEST(PipelinedCheck, RecheckAsksOnlyWhatChanged)
{
    struct TCase {
        const char* Name;
        QByteArray Capabilities;  // after the login
        int Exists;
        int UidNext;        // 0: not announced
        QByteArray Script;  // from the command after the SELECT on, before the LOGOUT
        QStringList Subjects;
        QList<QByteArray> KnownIds = {"5", "6", "8"};  // as the cache file holds them
        // Known messages handed over once the first command after the SELECT is sent, before
        // any answer is read (0: none).
        qsizetype Early = 0;
        // The HIGHESTMODSEQ the cache keeps afterwards, which the next re-check asks from (0:
        // none, the next check lists in full).
        quint64 ModSeqAfter = 50;
    };
    const QByteArray fetchNew = "C: C4 UID FETCH 9:* (UID RFC822.SIZE RFC822.HEADER)\n";
    const QByteArray esearch = "S: C1 OK [CAPABILITY IMAP4rev1 ESEARCH] done\n";
    const QByteArray plain = "S: C1 OK done\n";
    const QByteArray qresync =
        "S: C1 OK [CAPABILITY IMAP4rev1 ESEARCH QRESYNC] done\nC: C2 ENABLE QRESYNC\nS: * ENABLED QRESYNC\nS: C2 OK\n";
    // The removed UIDs asked for as command C<tag>, and what the server answers before its OK.
    const auto vanished = [](int tag, const QByteArray& answer) {
        const QByteArray c = "C" + QByteArray::number(tag);
        return "C: " + c + " UID FETCH 5:8 (UID) (CHANGEDSINCE 40 VANISHED)\n" + answer + "S: " + c + " OK done\n";
    };
    // The search that follows an answer that did not add up, finding `found`.
    const auto search = [](int tag, const QByteArray& found) {
        const QByteArray c = "C" + QByteArray::number(tag);
        return "C: " + c + " UID SEARCH RETURN (ALL) UID 5:8\nS: * ESEARCH (TAG \"" + c + "\") UID ALL " + found
            + "\nS: " + c + " OK done\n";
    };
    const TCase cases[] = {
        {.Name = "added only: the new UIDs' headers, the known listed while they come",
         .Capabilities = plain,
         .Exists = 5,
         .UidNext = 11,
         .Script = fetchNew + ImapFetch(4, "UID 9 RFC822.SIZE 90", "nine")
             + ImapFetch(5, "UID 10 RFC822.SIZE 100", "ten") + "S: C4 OK done\n",
         .Subjects = {"s5", "s6", "s8", "nine", "ten"},
         .Early = 3},
        {.Name = "added only, one gone by the fetch: the next check lists in full",
         .Capabilities = plain,
         .Exists = 5,
         .UidNext = 11,
         .Script = fetchNew + ImapFetch(4, "UID 10 RFC822.SIZE 100", "ten") + "S: C4 OK done\n",
         .Subjects = {"s5", "s6", "s8", "ten"},
         .Early = 3,
         .ModSeqAfter = 0},
        {.Name = "added only, one more by the fetch: it waits for the next check",
         .Capabilities = plain,
         .Exists = 5,
         .UidNext = 11,
         .Script = fetchNew + ImapFetch(4, "UID 9 RFC822.SIZE 90", "nine")
             + ImapFetch(5, "UID 10 RFC822.SIZE 100", "ten") + ImapFetch(6, "UID 11 RFC822.SIZE 110", "eleven")
             + "S: C4 OK done\n",
         .Subjects = {"s5", "s6", "s8", "nine", "ten"},
         .Early = 3},
        {.Name = "added only, the fetch refused: the known stay listed, the cache as it was",
         .Capabilities = plain,
         .Exists = 5,
         .UidNext = 11,
         .Script = fetchNew + "S: C4 NO try later\n",
         .Subjects = {"s5", "s6", "s8"},
         .Early = 3,
         .ModSeqAfter = 40},
        {"removed, no new mail: the remaining UIDs in the ESEARCH form",
         esearch,
         2,
         9,
         "C: C4 UID SEARCH RETURN (ALL) UID 5:8\nS: * ESEARCH (TAG \"C4\") UID ALL 5,8\nS: C4 OK done\n",
         {"s5", "s8"}},
        {"added and removed: a plain SEARCH without ESEARCH",
         plain,
         3,
         10,
         "C: C4 UID FETCH 9:* (UID RFC822.SIZE RFC822.HEADER)\n" + ImapFetch(3, "UID 9 RFC822.SIZE 90", "nine")
             + "S: C4 OK done\nC: C5 CAPABILITY\nS: * CAPABILITY IMAP4rev1\nS: C5 OK done\n"
               "C: C6 UID SEARCH UID 5:8\nS: * SEARCH 8 6\nS: C6 OK done\n",
         {"s6", "s8", "nine"}},
        {"new mail that came and went: \"9:*\" names the older last message",
         plain,
         3,
         12,
         "C: C4 UID FETCH 9:* (UID RFC822.SIZE RFC822.HEADER)\n" + ImapFetch(3, "UID 8 RFC822.SIZE 80", "eight")
             + "S: C4 OK done\n",
         {"s5", "s6", "s8"}},
        {"a search naming a UID never known",
         esearch,
         2,
         9,
         "C: C4 UID SEARCH RETURN (ALL) UID 5:8\nS: * ESEARCH (TAG \"C4\") UID ALL 5,7\nS: C4 OK done\n"
             + SizePass({5, 7}, 5) + "C: C6 UID FETCH 7 (UID RFC822.SIZE RFC822.HEADER)\n"
             + ImapFetch(2, "UID 7 RFC822.SIZE 70", "seven") + "S: C6 OK done\n",
         {"s5", "seven"}},
        {"a search naming more than are there",
         esearch,
         2,
         9,
         "C: C4 UID SEARCH RETURN (ALL) UID 5:8\nS: * ESEARCH (TAG \"C4\") UID ALL 5:6,8\nS: C4 OK done\n"
             + SizePass({6, 8}, 5),
         {"s6", "s8"}},
        {"a count the new messages do not add up to",
         plain,
         5,
         10,
         "C: C4 UID FETCH 9:* (UID RFC822.SIZE RFC822.HEADER)\n" + ImapFetch(4, "UID 9 RFC822.SIZE 90", "nine")
             + "S: C4 OK done\n" + SizePass({5, 6, 7, 8, 9}, 5)
             + "C: C6 UID FETCH 7,9 (UID RFC822.SIZE RFC822.HEADER)\n" + ImapFetch(3, "UID 7 RFC822.SIZE 70", "seven")
             + ImapFetch(5, "UID 9 RFC822.SIZE 90", "nine") + "S: C6 OK done\n",
         {"s5", "s6", "seven", "s8", "nine"}},
        {"a refused search (BAD: RETURN not taken after all)",
         esearch,
         2,
         9,
         "C: C4 UID SEARCH RETURN (ALL) UID 5:8\nS: C4 BAD unknown option\n" + SizePass({5, 6}, 5),
         {"s5", "s6"}},
        {"no UIDNEXT announced: asked for from the cached one on every time",
         plain,
         3,
         0,
         "C: C4 UID FETCH 9:* (UID RFC822.SIZE RFC822.HEADER)\n" + ImapFetch(3, "UID 8 RFC822.SIZE 80", "eight")
             + "S: C4 OK done\n",
         {"s5", "s6", "s8"}},
        {"UIDNEXT gone back", plain, 3, 8, SizePass({5, 6, 8}, 4), {"s5", "s6", "s8"}},
        {"removed, by VANISHED: a range over a UID gone before, changed flags and a removal while "
         "the command ran passed over",
         qresync,
         2,
         9,
         vanished(5, "S: * VANISHED (EARLIER) 6:7\nS: * 1 FETCH (UID 5 MODSEQ (45))\nS: * VANISHED 8\n"),
         {"s5", "s8"}},
        {"added and removed, by VANISHED",
         qresync,
         3,
         10,
         "C: C5 UID FETCH 9:* (UID RFC822.SIZE RFC822.HEADER)\n" + ImapFetch(3, "UID 9 RFC822.SIZE 90", "nine")
             + "S: C5 OK done\n" + vanished(6, "S: * VANISHED (EARLIER) 5\n"),
         {"s6", "s8", "nine"}},
        {"VANISHED naming a UID not asked for: the search",
         qresync,
         2,
         9,
         vanished(5, "S: * VANISHED (EARLIER) 6,9\n") + search(6, "5,8"),
         {"s5", "s8"}},
        {"malformed VANISHED: the search",
         qresync,
         2,
         9,
         vanished(5, "S: * VANISHED (EARLIER) 6:*\n") + search(6, "5,8"),
         {"s5", "s8"}},
        {"VANISHED refused: the search",
         qresync,
         2,
         9,
         "C: C5 UID FETCH 5:8 (UID) (CHANGEDSINCE 40 VANISHED)\nS: C5 BAD unknown modifier\n" + search(6, "6,8"),
         {"s6", "s8"}},
        {"VANISHED of every UID, then a search, that do not add up: the full listing",
         qresync,
         2,
         9,
         vanished(5, "S: * VANISHED (EARLIER) 1:4294967295\nS: * VANISHED (EARLIER) 1:4294967295\n")
             + search(6, "5:6,8") + SizePass({5, 8}, 7),
         {"s5", "s8"}},
        {"a damaged cache naming UID 8 as \"08\", new mail: the sizes, then the headers it lacks",
         plain,
         4,
         10,
         SizePass({5, 6, 8, 9}) + "C: C5 UID FETCH 8:9 (UID RFC822.SIZE RFC822.HEADER)\n"
             + ImapFetch(3, "UID 8 RFC822.SIZE 80", "eight") + ImapFetch(4, "UID 9 RFC822.SIZE 90", "nine")
             + "S: C5 OK done\n",
         {"s5", "s6", "eight", "nine"},
         {"5", "6", "08"}},
        {.Name = "nothing changed, UTF-8 names: listed from the cache, handed over before the LOGOUT",
         .Capabilities = "S: C1 OK [CAPABILITY IMAP4rev1 UTF8=ACCEPT] done\nC: C2 ENABLE UTF8=ACCEPT\n"
                         "S: * ENABLED UTF8=ACCEPT\nS: C2 OK\n",
         .Exists = 3,
         .UidNext = 9,
         .Script = {},
         .Subjects = {"s5", "s6", "s8"},
         .Early = 3},
        {"the same damaged cache, nothing new: what was read of it is dropped, not listed twice",
         plain,
         3,
         9,
         SizePass({5, 6, 8}) + "C: C5 UID FETCH 8 (UID RFC822.SIZE RFC822.HEADER)\n"
             + ImapFetch(3, "UID 8 RFC822.SIZE 80", "eight") + "S: C5 OK done\n",
         {"s5", "s6", "eight"},
         {"5", "6", "08"}},
    };
    for (const TCase& change : cases) {
        SCOPED_TRACE(change.Name);
        TempFolder folder;
        THeaderCache cache(folder.Path("headers.cache"));
        TCachedEntries known;
        for (const QByteArray& id : change.KnownIds)
            known.insert(id, {"s" + QString::number(id.toInt()), {{}, QStringLiteral("a@example.org"), {}}, {},
                              id.toInt() * 10, {}});
        const QString account = THeaderCache::AccountKey(Box(TMailProtocol::IMAP4));
        cache.Store(account, "INBOX", 7, known, true, 9, 40);
        QByteArray script = "S: * OK ready\nC: C1 LOGIN \"bob\" \"secret\"\n" + change.Capabilities;
        const QByteArray select = "C" + QByteArray::number(script.count("\nC: C") + 1);
        const QByteArray list = "C" + QByteArray::number(script.count("\nC: C") + 2);
        script += "C: " + select + " SELECT \"INBOX\"\nS: * " + QByteArray::number(change.Exists)
            + " EXISTS\nS: * OK [UIDVALIDITY 7] ok\n"
            + (change.UidNext ? "S: * OK [UIDNEXT " + QByteArray::number(change.UidNext) + "] ok\n" : "")
            + "S: * OK [HIGHESTMODSEQ 50] ok\nS: " + select + " OK [READ-ONLY] done\nC: " + list
            + " LIST \"\" *\nS: * LIST (\\HasNoChildren) \"/\" \"INBOX\"\nS: " + list + " OK done\n"
            + change.Script;
        const QByteArray logout = "C" + QByteArray::number(script.count("\nC: C") + 1);
        script += "C: " + logout + " LOGOUT\nS: " + logout + " OK done\n";
        TScriptedServer server(script.constData());
        TTestCheckContext context;
        context.PipelineCommands = true;
        context.Cache = &cache;
        context.Tracing = true;
        // What was handed over while the listing ran, and how far the conversation was then.
        QList<std::pair<QStringList, qsizetype>> handedOver;  // messages as `described`, trace lines
        const auto described = [](const QList<TFoundMessage>& messages) {
            QStringList texts;
            for (const TFoundMessage& message : messages)
                texts.append(message.Message.Subject
                             + (message.FolderEncoding == TImapNameEncoding::Utf8 ? " (UTF-8)" : ""));
            return texts;
        };
        // The messages made ahead, and the hand-overs that said they came as expected.
        std::pair<QStringList, qsizetype> expected;
        int asExpected = 0;
        QList<TFoundMessage> found;
        TListingCallbacks listing;
        listing.Listed = [&](int, const QList<TFoundMessage>& so, bool same) {
            handedOver.append({described(so), context.TraceLines.size()});
            if (same) {
                ++asExpected;
                EXPECT_EQ(described(so).mid(expected.second, expected.first.size()), expected.first);
            }
        };
        listing.Expected = [&](int, const QList<TFoundMessage>& messages, qsizetype place,
                               const std::function<bool()>&) { expected = {described(messages), place}; };
        CheckMailBoxes({Box(TMailProtocol::IMAP4)}, {0}, context, [&](int, QList<TFoundMessage>& all) { found = all; },
                       server.Factory(), nullptr, nullptr, listing);
        server.VerifyFinished();
        QStringList subjects;
        for (qsizetype i = 0; i < found.size(); ++i) {
            subjects.append(found[i].Message.Subject);
            EXPECT_EQ(found[i].Message.Size, qint32(found[i].Message.Uid * 10));
            EXPECT_EQ(found[i].Number, i + 1);
        }
        EXPECT_EQ(subjects, change.Subjects);
        // What was handed over is what the listing begins with, the folders' name encoding too.
        for (const auto& [listed, traced] : handedOver)
            EXPECT_EQ(described(found).mid(0, listed.size()), listed);
        if (change.Early) {
            ASSERT_FALSE(handedOver.isEmpty());
            EXPECT_EQ(handedOver[0].first.size(), change.Early);
            // Made ahead while INBOX was opened.
            EXPECT_EQ(asExpected, 1);
            // The known are handed over once the first command after the folders' LIST is
            // sent, or right after that LIST when nothing is asked.
            const QByteArray listed = "S: " + list + " OK done";
            EXPECT_EQ(context.TraceLines.at(handedOver[0].second - 1),
                      change.Script.isEmpty() ? listed : change.Script.split('\n').at(0));
        }
        EXPECT_EQ(cache.HighestModSeq(account, "INBOX", 7), change.ModSeqAfter);
    }
}

// A POP3 mailbox the cache knew as "aa" and "bb" is checked again: only the messages whose ids it
// does not know (or that share an id) are fetched, and what it keeps afterwards lets the next
// check of the same listing fetch nothing it could know, whatever order LIST and UIDL answer in.
TEST(PipelinedCheck, Pop3RecheckFetchesOnlyWhatTheCacheLacks)
{
    // A check of the listing `ids` (message n has the n-th), UIDL answering its numbers in the
    // order `order`, the TOPs of `tops` asked; each subject is the message's id.
    const auto check = [](THeaderCache& cache, const QByteArrayList& ids, const QList<int>& order,
                          const QList<int>& tops) {
        QByteArray script = kPopPipelining + "C: LIST\nC: UIDL\nS: +OK\n";
        for (int n = 1; n <= ids.size(); ++n)
            script += "S: " + QByteArray::number(n) + " 10\n";
        script += "S: .\nS: +OK\n";
        for (const int n : order)
            script += "S: " + QByteArray::number(n) + " " + ids.at(n - 1) + "\n";
        script += "S: .\n";
        for (const int n : tops)
            script += "C: TOP " + QByteArray::number(n) + " 0\n";
        for (const int n : tops)
            script += PopTop(ids.at(n - 1));
        return Column(CheckWith(TMailProtocol::POP3, script + "C: QUIT\nS: +OK\n", &cache).Result,
                      &TMessageRow::Subject);
    };
    struct TCase {
        const char* Name;
        QByteArrayList Ids;
        QList<int> Order;      // of UIDL's answer
        QList<int> Tops;       // the check after the first
        QList<int> TopsAfter;  // the next check of the same listing
        qsizetype Kept;        // entries the cache keeps
    };
    const TCase cases[] = {
        {"one came, none went", {"aa", "bb", "cc"}, {1, 2, 3}, {3}, {}, 3},
        {"one came, the ids not in ascending order", {"bb", "aa", "cc"}, {1, 2, 3}, {3}, {}, 3},
        {"UIDL in another order than LIST", {"aa", "bb", "cc"}, {3, 1, 2}, {3}, {}, 3},
        {"one went, one came", {"bb", "cc"}, {1, 2}, {2}, {}, 2},
        {"an id given twice", {"aa", "aa", "cc"}, {1, 2, 3}, {1, 2, 3}, {1, 2}, 1},
        {"none came, none went", {"aa", "bb"}, {1, 2}, {}, {}, 2},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TempFolder folder;
        const QString fileName = folder.Path("headers.cache");
        QStringList subjects;
        for (const QByteArray& id : c.Ids)
            subjects.append(QString::fromLatin1(id));
        // Each check reads the file the one before wrote.
        const auto checkFromFile = [&](const QByteArrayList& ids, const QList<int>& order, const QList<int>& tops) {
            THeaderCache cache(fileName);
            cache.Load();
            const QStringList listed = check(cache, ids, order, tops);
            EXPECT_TRUE(cache.Save());
            return listed;
        };
        checkFromFile({"aa", "bb"}, {1, 2}, {1, 2});
        EXPECT_EQ(checkFromFile(c.Ids, c.Order, c.Tops), subjects);
        EXPECT_EQ(checkFromFile(c.Ids, c.Order, c.TopsAfter), subjects);
        THeaderCache kept(fileName);
        kept.Load();
        EXPECT_EQ(kept.EntryCount(), c.Kept);
    }
}

// Deletes in bursts: POP3 every DELE before the first answer (a refusal is logged, the others
// go); IMAP4 with UIDPLUS the UID STORE and UID EXPUNGE of a folder together.
TEST(PipelinedCheck, DeletesGoOutInBursts)
{
    const QByteArray pop = kPopPipelining + R"(
        C: UIDL
        S: +OK
        S: 1 aa
        S: 2 bb
        S: 3 cc
        S: .
        C: DELE 3
        C: DELE 1
        S: -ERR locked
        S: +OK
        C: QUIT
        S: +OK bye
    )";
    TScriptedServer popServer(pop.constData());
    TTestCheckContext popContext;
    popContext.PipelineCommands = true;
    DeleteMessages(Box(TMailProtocol::POP3), {{{}, 0, 0, "cc", 2}, {{}, 0, 0, "aa", 1}}, popContext,
                   popServer.Factory());
    popServer.VerifyFinished();
    EXPECT_EQ(popContext.Logged, QStringList{QStringLiteral("(mail.example.org)  locked\r\n")});

    const QByteArray imap = R"(
        S: * OK [CAPABILITY IMAP4rev1 UIDPLUS] ready
        C: C1 LOGIN "bob" "secret"
        S: C1 OK done
        C: C2 SELECT "INBOX"
        S: * 5 EXISTS
        S: * OK [UIDVALIDITY 7] ok
        S: C2 OK [READ-WRITE] done
        C: C3 CAPABILITY
        S: * CAPABILITY IMAP4rev1 UIDPLUS
        S: C3 OK done
        C: C4 UID STORE 42,44 +FLAGS.SILENT (\Deleted)
        C: C5 UID EXPUNGE 42,44
        S: C4 OK done
        S: * 3 EXPUNGE
        S: * 4 EXPUNGE
        S: C5 OK done
        C: C6 LOGOUT
        S: C6 OK done
    )";
    TScriptedServer imapServer(imap.constData());
    TTestCheckContext imapContext;
    imapContext.PipelineCommands = true;
    DeleteMessages(Box(TMailProtocol::IMAP4), {{"INBOX", 7, 42, {}, 3}, {"INBOX", 7, 44, {}, 5}}, imapContext,
                   imapServer.Factory());
    imapServer.VerifyFinished();
    EXPECT_TRUE(imapContext.Logged.isEmpty()) << imapContext.Logged.join(u'\n').toStdString();
}

// A damaged or foreign cache file is dropped without a word and rebuilt by the next save.
TEST(PipelinedCheck, UnreadableCacheFileIsRebuilt)
{
    TempFolder folder;
    for (const QByteArray& content : {QByteArray("not a cache"), QByteArray("BRHC\0\0\0\1garbage", 15), QByteArray()}) {
        folder.Write("headers.cache", content);
        THeaderCache cache(folder.Path("headers.cache"));
        cache.Load();
        EXPECT_EQ(cache.EntryCount(), 0);
        cache.Store(QStringLiteral("a"), "INBOX", 1, {{"1", TCachedHeader{QStringLiteral("s"), {}, {}, -1, {}}}}, true);
        ASSERT_TRUE(cache.Save());
        THeaderCache again(folder.Path("headers.cache"));
        again.Load();
        EXPECT_EQ(again.EntryCount(), 1);
        // A new UIDVALIDITY drops what the folder had.
        EXPECT_TRUE(again.Folder(QStringLiteral("a"), "INBOX", 2).isEmpty());
    }
}

}  // namespace
}  // namespace brevio::test
