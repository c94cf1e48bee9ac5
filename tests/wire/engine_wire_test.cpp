// The engine's conversations with scripted servers: which commands a check and a delete send,
// and how a refused folder, a changed folder or a vanished message is handled.
#include "imap_session.h"

#include "engine/check_run.h"
#include "engine/mailbox_session.h"
#include "support/exception.h"
#include "support/scripted_transport.h"
#include "support/test_check_context.h"

#include <gtest/gtest.h>

namespace brevio::test {
namespace {

// Greeting and login of the scripted sessions.
const QByteArray kPopSession =
    "S: +OK ready\nC: CAPA\nS: -ERR\nC: USER bob\nS: +OK\nC: PASS secret\nS: +OK logged in\n";
// The same session with a server that announces PIPELINING, for the checks and deletes that
// send their commands ahead of the replies.
const QByteArray kPipelinedPopSession = "S: +OK ready\nC: CAPA\nS: +OK\nS: PIPELINING\nS: UIDL\nS: .\n"
                                        "C: USER bob\nS: +OK\nC: PASS secret\nS: +OK logged in\n";
const QByteArray kImapSession(kImapLogin);

TMailBoxSettings ImapBox()
{
    TMailBoxSettings box;
    box.Name = QStringLiteral("Work");
    box.Host = QStringLiteral("imap.example.org");
    box.Port = 143;
    box.UserName = QStringLiteral("bob");
    box.Password = QStringLiteral("secret");
    box.Protocol = TMailProtocol::IMAP4;
    return box;
}

TMailBoxSettings PopBox()
{
    TMailBoxSettings box = ImapBox();
    box.Host = QStringLiteral("pop.example.org");
    box.Port = 110;
    box.Protocol = TMailProtocol::POP3;
    return box;
}

TMessageIdentity ImapId(qint32 number, const QByteArray& folder, quint32 uid = 0, quint32 uidValidity = 0)
{
    return {folder, uidValidity, uid, {}, number};
}

TMessageIdentity PopId(qint32 number, const QByteArray& uniqueId = {})
{
    return {{}, 0, 0, uniqueId, number};
}

TRunResult CheckAll(const TMailBoxSettings& box, TCheckContext& context, TScriptedServer& server)
{
    return ExecuteRun(TRunRequest{TRunKind::CheckAll, false, {box}, -1, {}, {}}, context, server.Factory());
}

// Lists a \Noselect parent (passed over), a folder the server refuses (logged, the check goes
// on) and a folder with one message.
TEST(EngineWire, ImapCheckSkipsUnselectableFoldersAndGoesOnAfterARefusal)
{
    const QByteArray header = SubjectHeader("Hello");
    const QByteArray script = kImapSession + R"(
        C: C2 LIST "" *
        S: * LIST (\Noselect \HasChildren) "/" "Archive"
        S: * LIST (\HasNoChildren) "/" "Broken"
        S: * LIST (\HasNoChildren) "/" "INBOX"
        S: C2 OK done
        C: C3 SELECT "Broken"
        S: C3 NO cannot open
        C: C4 SELECT "INBOX"
        S: * 1 EXISTS
        S: * OK [UIDVALIDITY 777] ok
        S: C4 OK [READ-WRITE] done
        C: C5 FETCH 1 (UID)
        S: * 1 FETCH (UID 42)
        S: C5 OK done
        C: C6 UID FETCH 42 (RFC822.HEADER)
)" + ImapHeaderFetch(1, "UID 42", header)
        + R"(
        S: C6 OK done
        C: C7 UID FETCH 42 (RFC822.SIZE)
        S: * 1 FETCH (UID 42 RFC822.SIZE 1234)
        S: C7 OK done
        C: C8 LOGOUT
        S: * BYE
        S: C8 OK done
    )";
    TScriptedServer server(script.constData());
    TTestCheckContext context;
    const TRunResult result = CheckAll(ImapBox(), context, server);
    server.VerifyFinished();

    EXPECT_EQ(context.Logged, QStringList{QStringLiteral("(imap.example.org) Error selecting Broken")});
    ASSERT_EQ(result.Rows.size(), 1);
    EXPECT_EQ(result.Rows[0].Subject, QStringLiteral("Hello"));
    EXPECT_EQ(result.Rows[0].Size, 1234);
    EXPECT_EQ(result.Rows[0].Folder, QStringLiteral("INBOX"));
    EXPECT_EQ(result.Rows[0].Id, ImapId(1, "INBOX", 42, 777));
}

// With UTF8=ACCEPT enabled folder names come in UTF-8: they are selected and shown as they
// stand ("&" is no modified UTF-7 shift then), and raw UTF-8 headers read as UTF-8.
TEST(EngineWire, ImapCheckAfterEnablingUtf8ShowsUtf8FolderNames)
{
    const QByteArray header = "Subject: Привет\r\nFrom: Пётр <p@example.org>\r\n\r\n";
    const QByteArray script = R"(
        S: * OK [CAPABILITY IMAP4rev1 ENABLE UTF8=ACCEPT] ready
        C: C1 LOGIN "bob" "secret"
        S: C1 OK done
        C: C2 ENABLE UTF8=ACCEPT
        S: * ENABLED UTF8=ACCEPT
        S: C2 OK done
        C: C3 LIST "" *
        S: * LIST (\HasNoChildren) "/" "R&AGE-D"
        S: * LIST (\HasNoChildren) "/" "Входящие"
        S: C3 OK done
        C: C4 SELECT "R&AGE-D"
        S: C4 NO gone
        C: C5 SELECT {16}
        S: + go on
        C: Входящие
        S: * 1 EXISTS
        S: * OK [UIDVALIDITY 5] ok
        S: C5 OK [READ-WRITE] done
        C: C6 FETCH 1 (UID)
        S: * 1 FETCH (UID 8)
        S: C6 OK done
        C: C7 UID FETCH 8 (RFC822.HEADER)
)" + ImapHeaderFetch(1, "UID 8", header)
        + R"(
        S: C7 OK done
        C: C8 UID FETCH 8 (RFC822.SIZE)
        S: * 1 FETCH (UID 8 RFC822.SIZE 99)
        S: C8 OK done
        C: C9 LOGOUT
        S: C9 OK done
    )";
    TScriptedServer server(script.constData());
    TTestCheckContext context;
    const TRunResult result = CheckAll(ImapBox(), context, server);
    server.VerifyFinished();

    EXPECT_EQ(context.Logged, QStringList{QStringLiteral("(imap.example.org) Error selecting R&AGE-D")});
    ASSERT_EQ(result.Rows.size(), 1);
    EXPECT_EQ(result.Rows[0].Folder, QStringLiteral("Входящие"));
    EXPECT_EQ(result.Rows[0].Subject, QStringLiteral("Привет"));
    EXPECT_EQ(result.Rows[0].From, QStringLiteral("\"Пётр\" <p@example.org>"));
}

// Deletes by UID: the folder whose UIDVALIDITY changed is left alone and logged; UID EXPUNGE
// is used where the server offers UIDPLUS.
TEST(EngineWire, ImapDeleteByUidSkipsARebuiltFolder)
{
    const QByteArray script = R"(
        S: * OK [CAPABILITY IMAP4rev1 UIDPLUS] ready
        C: C1 LOGIN "bob" "secret"
        S: C1 OK done
        C: C2 SELECT "INBOX"
        S: * 5 EXISTS
        S: * OK [UIDVALIDITY 777] ok
        S: C2 OK [READ-WRITE] done
        C: C3 UID STORE 42,44 +FLAGS.SILENT (\Deleted)
        S: C3 OK done
        C: C4 CAPABILITY
        S: * CAPABILITY IMAP4rev1 UIDPLUS
        S: C4 OK done
        C: C5 UID EXPUNGE 42,44
        S: * 1 EXPUNGE
        S: C5 OK done
        C: C6 SELECT "Sent"
        S: * 2 EXISTS
        S: * OK [UIDVALIDITY 9] ok
        S: C6 OK [READ-WRITE] done
        C: C7 LOGOUT
        S: * BYE
        S: C7 OK done
    )";
    TScriptedServer server(script.constData());
    TTestCheckContext context;
    DeleteMessages(ImapBox(), {ImapId(3, "INBOX", 42, 777), ImapId(1, "Sent", 7, 8), ImapId(5, "INBOX", 44, 777)},
                   context, server.Factory());
    server.VerifyFinished();

    ASSERT_EQ(context.Logged.size(), 1);
    EXPECT_TRUE(context.Logged[0].startsWith(QStringLiteral("(imap.example.org) Folder Sent was rebuilt")));
}

// Without UIDs (marks made by number only) the delete stores by sequence number and expunges.
TEST(EngineWire, ImapDeleteByNumberWithoutUids)
{
    const QByteArray script = kImapSession + R"(
        C: C2 SELECT "INBOX"
        S: * 3 EXISTS
        S: C2 OK [READ-WRITE] done
        C: C3 STORE 1,3 +FLAGS.SILENT (\Deleted)
        S: C3 OK done
        C: C4 FETCH 1 (UID)
        S: * 1 FETCH (UID 11)
        S: C4 OK done
        C: C5 FETCH 3 (UID)
        S: * 3 FETCH (UID 13)
        S: C5 OK done
        C: C6 CAPABILITY
        S: * CAPABILITY IMAP4rev1
        S: C6 OK done
        C: C7 UID SEARCH DELETED
        S: * SEARCH 11 13
        S: C7 OK done
        C: C8 EXPUNGE
        S: C8 OK done
        C: C9 LOGOUT
        S: C9 OK done
    )";
    TScriptedServer server(script.constData());
    TTestCheckContext context;
    DeleteMessages(ImapBox(), {ImapId(1, "INBOX"), ImapId(3, "INBOX")}, context, server.Factory());
    server.VerifyFinished();
    EXPECT_TRUE(context.Logged.isEmpty());
}

// A refused STORE (no EXPUNGE follows) or a refused EXPUNGE is logged for its folder, and the
// next folder is still done.
TEST(EngineWire, ImapDeleteLogsARefusedStoreOrExpunge)
{
    const QByteArray script = kImapSession + R"(
        C: C2 SELECT "INBOX"
        S: * 3 EXISTS
        S: C2 OK [READ-WRITE] done
        C: C3 STORE 1 +FLAGS.SILENT (\Deleted)
        S: C3 NO [READ-ONLY] mailbox is read-only
        C: C4 SELECT "Sent"
        S: * 2 EXISTS
        S: C4 OK [READ-WRITE] done
        C: C5 STORE 2 +FLAGS.SILENT (\Deleted)
        S: C5 OK done
        C: C6 FETCH 2 (UID)
        S: * 2 FETCH (UID 22)
        S: C6 OK done
        C: C7 CAPABILITY
        S: * CAPABILITY IMAP4rev1
        S: C7 OK done
        C: C8 UID SEARCH DELETED
        S: * SEARCH 22
        S: C8 OK done
        C: C9 EXPUNGE
        S: C9 NO expunge failed
        C: C10 SELECT "Trash"
        S: * 4 EXISTS
        S: C10 OK [READ-WRITE] done
        C: C11 STORE 4 +FLAGS.SILENT (\Deleted)
        S: C11 OK done
        C: C12 FETCH 4 (UID)
        S: * 4 FETCH (UID 44)
        S: C12 OK done
        C: C13 UID SEARCH DELETED
        S: * SEARCH 44
        S: C13 OK done
        C: C14 EXPUNGE
        S: * 4 EXPUNGE
        S: C14 OK done
        C: C15 LOGOUT
        S: C15 OK done
    )";
    TScriptedServer server(script.constData());
    TTestCheckContext context;
    DeleteMessages(ImapBox(), {ImapId(1, "INBOX"), ImapId(2, "Sent"), ImapId(4, "Trash")}, context, server.Factory());
    server.VerifyFinished();

    ASSERT_EQ(context.Logged.size(), 2);
    EXPECT_TRUE(
        context.Logged[0].startsWith(QStringLiteral("(imap.example.org) Messages in folder INBOX were not deleted")));
    EXPECT_TRUE(context.Logged[0].contains(QStringLiteral("mailbox is read-only")));
    EXPECT_TRUE(
        context.Logged[1].startsWith(QStringLiteral("(imap.example.org) Messages in folder Sent were not deleted")));
    EXPECT_TRUE(context.Logged[1].contains(QStringLiteral("expunge failed")));
}

// Without UIDPLUS a plain EXPUNGE would also remove what another program marked \Deleted and
// means to expunge itself: those marks come off for the expunge and go back on after it. When
// they cannot be found or taken off, nothing is expunged.
TEST(EngineWire, ImapExpungeWithoutUidPlusKeepsForeignDeleteMarks)
{
    struct Case {
        const char* Label;
        const char* Conversation;  // from the search on
        QStringList Logged;
    };
    const QString kept = QStringLiteral(
        "(imap.example.org) Folder INBOX: 2 message(s) another program marked for deletion were kept and marked again");
    const Case cases[] = {
        {"foreign marks kept",
         R"(
            C: C5 UID SEARCH DELETED
            S: * SEARCH 17 42 9 17
            S: C5 OK done
            C: C6 UID STORE 17,9 -FLAGS.SILENT (\Deleted)
            S: C6 OK done
            C: C7 EXPUNGE
            S: * 3 EXPUNGE
            S: C7 OK done
            C: C8 UID STORE 17,9 +FLAGS.SILENT (\Deleted)
            S: C8 OK done
            C: C9 LOGOUT
            S: C9 OK)",
         {kept}},
        {"only ours marked",
         R"(
            C: C5 UID SEARCH DELETED
            S: * SEARCH 42
            S: C5 OK done
            C: C6 EXPUNGE
            S: C6 OK done
            C: C7 LOGOUT
            S: C7 OK)",
         {}},
        {"search refused: nothing expunged",
         R"(
            C: C5 UID SEARCH DELETED
            S: C5 NO search failed
            C: C6 LOGOUT
            S: C6 OK)",
         {QStringLiteral("(imap.example.org) Messages in folder INBOX were not deleted: search failed")}},
        {"unmarking refused: nothing expunged",
         R"(
            C: C5 UID SEARCH DELETED
            S: * SEARCH 42 9
            S: C5 OK done
            C: C6 UID STORE 9 -FLAGS.SILENT (\Deleted)
            S: C6 NO cannot
            C: C7 LOGOUT
            S: C7 OK)",
         {QStringLiteral("(imap.example.org) Messages in folder INBOX were not deleted: cannot")}},
        {"expunge refused: the marks still go back",
         R"(
            C: C5 UID SEARCH DELETED
            S: * SEARCH 9 17 42
            S: C5 OK done
            C: C6 UID STORE 9,17 -FLAGS.SILENT (\Deleted)
            S: C6 OK done
            C: C7 EXPUNGE
            S: C7 NO expunge failed
            C: C8 UID STORE 9,17 +FLAGS.SILENT (\Deleted)
            S: C8 NO [READ-ONLY] not now
            C: C9 LOGOUT
            S: C9 OK)",
         {QStringLiteral("(imap.example.org) Folder INBOX: 2 message(s) another program marked for deletion were "
                         "kept, but their marks could not be set again: [READ-ONLY] not now"),
          QStringLiteral("(imap.example.org) Messages in folder INBOX were not deleted: expunge failed")}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Label);
        const QByteArray script = kImapSession + R"(
            C: C2 SELECT "INBOX"
            S: * 3 EXISTS
            S: * OK [UIDVALIDITY 777] ok
            S: C2 OK [READ-WRITE] done
            C: C3 UID STORE 42 +FLAGS.SILENT (\Deleted)
            S: C3 OK done
            C: C4 CAPABILITY
            S: * CAPABILITY IMAP4rev1
            S: C4 OK done
        )" + QByteArray(c.Conversation)
            + "\n";
        TScriptedServer server(script.constData());
        TTestCheckContext context;
        DeleteMessages(ImapBox(), {ImapId(2, "INBOX", 42, 777)}, context, server.Factory());
        server.VerifyFinished();
        EXPECT_EQ(context.Logged, c.Logged);
    }
}

// POP3 deletes run one command at a time or pipelined (the default); both must find the same
// messages, so each case runs in both modes.
class EnginePop3Delete : public ::testing::TestWithParam<bool> {
protected:
    // Runs the deletion of `messages` against `script` (after the login) and returns the log.
    QStringList Delete(const QByteArray& script, const QList<TMessageIdentity>& messages)
    {
        TScriptedServer server(Pipelined() ? kPipelinedPopSession + DelesAhead(script) : kPopSession + script);
        TTestCheckContext context;
        context.PipelineCommands = Pipelined();
        DeleteMessages(PopBox(), messages, context, server.Factory());
        server.VerifyFinished();
        return context.Logged;
    }
    bool Pipelined() const { return GetParam(); }

    // The script as a pipelining client sends it: each run of DELE commands goes out before
    // the first of their replies is read.
    static QByteArray DelesAhead(const QByteArray& script)
    {
        QList<QByteArray> out;
        QList<QByteArray> replies;
        const QList<QByteArray> lines = script.split('\n');
        for (qsizetype i = 0; i < lines.size(); ++i) {
            const QByteArray line = lines[i].trimmed();
            if (line.startsWith("C: DELE") && i + 1 < lines.size()) {
                out.append(line);
                replies.append(lines[++i].trimmed());
                continue;
            }
            out += replies;
            replies.clear();
            out.append(line);
        }
        return (out + replies).join('\n');
    }
};

INSTANTIATE_TEST_SUITE_P(Modes, EnginePop3Delete, ::testing::Bool(),
                         [](const auto& tested) { return tested.param ? "Pipelined" : "OneAtATime"; });

// The check keeps each message's unique id; the delete finds the ticked messages under their new
// numbers and skips one that is gone, never deleting another under its old number.
TEST_P(EnginePop3Delete, FollowsUniqueIdsAcrossShiftedNumbers)
{
    const QStringList logged = Delete(R"(
        C: UIDL
        S: +OK
        S: 1 id-b
        S: 2 id-new
        S: 3 id-d
        S: .
        C: DELE 3
        S: +OK
        C: QUIT
        S: +OK bye
    )",
                                      {PopId(4, "id-d"),    // was number 4 at the check, is 3 now
                                       PopId(1, "id-a")});  // removed by another program meanwhile
    EXPECT_EQ(logged,
              QStringList{QStringLiteral("(pop.example.org) Message id-a is no longer on the server; not deleted.")});
}

// Marks that carry a unique id are never deleted by their old numbers: when the server now
// refuses UIDL, nothing is deleted and each mark is logged.
TEST_P(EnginePop3Delete, WithUniqueIdsNeverFallsBackToNumbers)
{
    const QStringList logged = Delete(R"(
        C: UIDL
        S: -ERR try later
        C: QUIT
        S: +OK bye
    )",
                                      {PopId(2, "id-b")});
    EXPECT_EQ(logged,
              QStringList{QStringLiteral("(pop.example.org) Message id-b is no longer on the server; not deleted.")});
}

// A server without UIDL: the numbers of the check are used; a refused DELE is logged and the
// others still go; a refusal at QUIT (nothing removed) is logged too.
TEST_P(EnginePop3Delete, ByNumberLogsRefusals)
{
    const QStringList logged = Delete(R"(
        C: DELE 2
        S: -ERR no such message
        C: DELE 5
        S: +OK
        C: QUIT
        S: -ERR could not remove
    )",
                                      {PopId(2), PopId(5)});
    ASSERT_EQ(logged.size(), 2);
    EXPECT_TRUE(logged[0].contains(QStringLiteral("no such message")));
    EXPECT_TRUE(logged[1].contains(QStringLiteral("could not remove")));
}

// The user's abort ends the deletion at once: no further DELE, and nothing logged for it.
TEST(EnginePop3Wire, AbortEndsTheDeletionSilently)
{
    // Aborts at the fourth yield point: two come with the connect, then one before each DELE.
    struct TAbortingContext : TTestCheckContext {
        int Yields = 0;
        void ThrowIfAborted() override
        {
            if (++Yields == 4)
                throw EUserAbort();
        }
    };
    const QByteArray script = kPopSession + R"(
        C: DELE 2
        S: +OK
        C: QUIT
        S: +OK bye
    )";
    TScriptedServer server(script.constData());
    TAbortingContext context;
    DeleteMessages(PopBox(), {PopId(2), PopId(5), PopId(7)}, context, server.Factory());
    server.VerifyFinished();

    EXPECT_TRUE(context.Logged.isEmpty());
}

// A scheduled check whose login is refused logs the refusal once: the command after it fails
// (POP3: on the server; IMAP4: in the client, outside the authenticated state) and ends the
// mailbox's work without a second entry, and nobody is asked. The mailbox counts as not listed.
TEST(EngineWire, RefusedScheduledLoginIsLoggedOnce)
{
    const struct {
        const char* What;
        TMailBoxSettings Box;
        bool Pipelined;
        QByteArray Script;
        QString Logged;
    } cases[] = {
        {"POP3", PopBox(), false, R"(
            S: +OK ready
            C: CAPA
            S: -ERR
            C: USER bob
            S: +OK
            C: PASS secret
            S: -ERR invalid password
            C: STAT
            S: -ERR not logged in
            C: QUIT
            S: +OK
        )",
         QStringLiteral("(pop.example.org)  invalid password")},
        {"POP3 pipelined", PopBox(), true,
         kPipelinedPopSession.left(kPipelinedPopSession.indexOf("S: +OK logged")) + R"(
            S: -ERR invalid password
            C: LIST
            C: UIDL
            S: -ERR not logged in
            S: -ERR not logged in
            C: QUIT
            S: +OK
        )",
         QStringLiteral("(pop.example.org)  invalid password")},
        {"IMAP4", ImapBox(), true, R"(
            S: * OK ready
            C: C1 LOGIN "bob" "secret"
            S: C1 NO wrong password
            C: C2 LOGOUT
            S: * BYE
            S: C2 OK
        )",
         QStringLiteral("(imap.example.org) wrong password")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.What);
        TScriptedServer server(c.Script.constData());
        TTestCheckContext context;
        context.Scheduled = true;
        context.PipelineCommands = c.Pipelined;
        const TRunResult result = ExecuteRun(TRunRequest{TRunKind::Scheduled, true, {c.Box}, -1, {}, {}}, context, server.Factory());
        server.VerifyFinished();
        ASSERT_EQ(context.Logged.size(), 1) << context.Logged.join(u'|').toStdString();
        EXPECT_EQ(context.Logged[0].trimmed(), c.Logged);
        EXPECT_TRUE(context.Prompts.isEmpty());
        EXPECT_EQ(result.UnfinishedMailBoxes, QList<int>{0});
    }
}

// The check lists messages with their unique ids; a server that refuses UIDL still lists.
TEST(EnginePop3Wire, CheckKeepsUniqueIdsAndStopsAtTheFirstFailure)
{
    const QByteArray script = kPopSession + R"(
        C: STAT
        S: +OK 2 500
        C: UIDL
        S: -ERR not supported
        C: TOP 1 0
        S: +OK
        S: Subject: first
        S: .
        C: LIST 1
        S: +OK 1 320
        C: TOP 2 0
        S: -ERR gone
        C: QUIT
        S: +OK bye
    )";
    TScriptedServer server(script.constData());
    TTestCheckContext context;
    const TRunResult result = CheckAll(PopBox(), context, server);
    server.VerifyFinished();

    ASSERT_EQ(result.Rows.size(), 1);
    EXPECT_EQ(result.Rows[0].Subject, QStringLiteral("first"));
    EXPECT_EQ(result.Rows[0].Size, 320);
    EXPECT_EQ(result.Rows[0].Id, PopId(1));
    EXPECT_TRUE(context.Logged.isEmpty());
}

// A connection lost after the login is logged, so a listing or a deletion cut short never looks
// complete: what was listed before stays, and the mailbox counts as unfinished.
TEST(EngineWire, ConnectionLostAfterTheLoginIsLogged)
{
    struct Case {
        const char* Label;
        TMailBoxSettings Box;
        QByteArray Script;
        bool Delete;
        qsizetype Rows;
    };
    const Case cases[] = {
        {"POP3 check", PopBox(),
         kPopSession + "C: STAT\nS: +OK 2 500\nC: UIDL\nS: -ERR no\nC: TOP 1 0\nS: +OK\nS: Subject: first\n"
                       "S: .\nC: LIST 1\nS: +OK 1 320\nC: TOP 2 0\nX\n",
         false, 1},
        {"IMAP4 check", ImapBox(), kImapSession + "C: C2 LIST \"\" *\nX\n", false, 0},
        {"POP3 delete", PopBox(), kPopSession + "C: DELE 1\nX\n", true, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Label);
        TScriptedServer server(c.Script.constData());
        TTestCheckContext context;
        TRunRequest request{c.Delete ? TRunKind::DeleteMarked : TRunKind::CheckAll, false, {c.Box}, -1, {}, {}};
        if (c.Delete)
            request.Deletes = {{0, PopId(1)}};
        const TRunResult result = ExecuteRun(request, context, server.Factory());
        server.VerifyFinished();
        EXPECT_EQ(context.Logged,
                  QStringList{QStringLiteral("(%1) Connection Closed Gracefully.").arg(c.Box.Host)});
        if (!c.Delete) {
            EXPECT_EQ(result.Rows.size(), c.Rows);
            EXPECT_EQ(result.UnfinishedMailBoxes, QList<int>{0});
        }
    }
}

// The lines of one message of an IMAP4 check: its UID, its header and its size, with the tags
// counting on from `tag`.
QByteArray ImapMessage(int& tag, int number, int uid, const char* subject)
{
    const QByteArray n = QByteArray::number(number);
    const QByteArray u = QByteArray::number(uid);
    const QByteArray t1 = "C" + QByteArray::number(tag++);
    const QByteArray t2 = "C" + QByteArray::number(tag++);
    const QByteArray t3 = "C" + QByteArray::number(tag++);
    return "C: " + t1 + " FETCH " + n + " (UID)\nS: * " + n + " FETCH (UID " + u + ")\nS: " + t1 + " OK done\n" + "C: "
        + t2 + " UID FETCH " + u + " (RFC822.HEADER)\n" + ImapHeaderFetch(number, "UID " + u, SubjectHeader(subject))
        + "S: " + t2 + " OK done\n" + "C: " + t3 + " UID FETCH " + u + " (RFC822.SIZE)\nS: * " + n + " FETCH (UID " + u
        + " RFC822.SIZE 100)\nS: " + t3 + " OK done\n";
}

// The lines of one message of a POP3 check: its header with this subject, then its size of 100.
QByteArray PopMessage(int number, const char* subject)
{
    const QByteArray n = QByteArray::number(number);
    return "C: TOP " + n + " 0\nS: +OK\nS: Subject: " + subject + "\nS: .\nC: LIST " + n + "\nS: +OK " + n + " 100\n";
}

// From the listing to the deletion: the row the user ticks names its message, and the deletion
// finds exactly that message although another program removed one before it and delivered a
// new one, so the server's numbers have shifted (POP3 follows the unique id, IMAP4 the UID).
TEST(EngineWire, DeleteByIdentityFindsTheTickedMessageAfterNumbersShifted)
{
    struct Case {
        const char* Label;
        TMailBoxSettings Box;
        QByteArray Listing;
        QByteArray Deletion;
    };
    int tag = 4;
    QByteArray imapListing = kImapSession + R"(
        C: C2 LIST "" *
        S: * LIST (\HasNoChildren) "/" "INBOX"
        S: C2 OK done
        C: C3 SELECT "INBOX"
        S: * 3 EXISTS
        S: * OK [UIDVALIDITY 777] ok
        S: C3 OK [READ-WRITE] done
    )";
    imapListing += ImapMessage(tag, 1, 41, "one");
    imapListing += ImapMessage(tag, 2, 42, "two");
    imapListing += ImapMessage(tag, 3, 43, "three");
    imapListing += "C: C13 LOGOUT\nS: C13 OK done\n";
    const Case cases[] = {
        {"POP3", PopBox(),
         kPopSession + "C: STAT\nS: +OK 3 300\nC: UIDL\nS: +OK\nS: 1 id-one\nS: 2 id-two\nS: 3 id-three\nS: .\n"
             + PopMessage(1, "one") + PopMessage(2, "two") + PopMessage(3, "three") + "C: QUIT\nS: +OK bye\n",
         kPopSession + R"(
            C: UIDL
            S: +OK
            S: 1 id-three
            S: 2 id-two
            S: 3 id-four
            S: .
            C: DELE 2
            S: +OK
            C: QUIT
            S: +OK bye
         )"},
        {"IMAP4", ImapBox(), imapListing, kImapSession + R"(
            C: C2 SELECT "INBOX"
            S: * 3 EXISTS
            S: * OK [UIDVALIDITY 777] ok
            S: C2 OK [READ-WRITE] done
            C: C3 UID STORE 42 +FLAGS.SILENT (\Deleted)
            S: C3 OK done
            C: C4 CAPABILITY
            S: * CAPABILITY IMAP4rev1
            S: C4 OK done
            C: C5 UID SEARCH DELETED
            S: * SEARCH 42
            S: C5 OK done
            C: C6 EXPUNGE
            S: * 1 EXPUNGE
            S: C6 OK done
            C: C7 LOGOUT
            S: C7 OK done
         )"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Label);
        TTestCheckContext context;
        TScriptedServer listing(c.Listing.constData());
        const TRunResult listed = CheckAll(c.Box, context, listing);
        listing.VerifyFinished();
        ASSERT_EQ(listed.Rows.size(), 3);
        const TMessageRow& ticked = listed.Rows[1];
        ASSERT_EQ(ticked.Subject, QStringLiteral("two"));

        TScriptedServer deletion(c.Deletion.constData());
        const TRunResult deleted =
            ExecuteRun(TRunRequest{TRunKind::DeleteMarked, false, {c.Box}, -1, {{ticked.MailBoxIndex, ticked.Id}}, {}},
                       context, deletion.Factory());
        deletion.VerifyFinished();
        EXPECT_TRUE(deleted.Rows.isEmpty());
        EXPECT_TRUE(context.Logged.isEmpty()) << context.Logged.join(u'\n').toStdString();
    }
}

}  // namespace
}  // namespace brevio::test
