// The engine's conversations with scripted servers: which commands a check and a delete send,
// and how a refused folder, a changed folder or a vanished message is handled.
#include "engine/check_run.h"
#include "engine/mailbox_list.h"
#include "support/exception.h"
#include "support/scripted_transport.h"
#include "support/test_check_context.h"

#include <gtest/gtest.h>

namespace brevio::test {
namespace {

// Greeting and login of the scripted sessions.
const QByteArray kPopSession = "S: +OK ready\nC: USER bob\nS: +OK\nC: PASS secret\nS: +OK logged in\n";
const QByteArray kImapSession = "S: * OK ready\nC: C1 LOGIN \"bob\" \"secret\"\nS: C1 OK done\n";

std::unique_ptr<TMailBox> ImapBox()
{
    auto box = std::make_unique<TMailBox>();
    box->Name = QStringLiteral("Work");
    box->Host = QStringLiteral("imap.example.org");
    box->Port = 143;
    box->UserName = QStringLiteral("bob");
    box->Password = QStringLiteral("secret");
    box->Protocol = TMailProtocol::IMAP4;
    return box;
}

std::unique_ptr<TMailBox> PopBox()
{
    auto box = ImapBox();
    box->Host = QStringLiteral("pop.example.org");
    box->Port = 110;
    box->Protocol = TMailProtocol::POP3;
    return box;
}

QByteArray Header(const char* subject)
{
    return QByteArray("Subject: ") + subject + "\r\nFrom: a@example.org\r\n\r\n";
}

// Lists a \Noselect parent (passed over), a folder the server refuses (logged, the check goes
// on) and a folder with one message.
TEST(EngineWire, ImapCheckSkipsUnselectableFoldersAndGoesOnAfterARefusal)
{
    const QByteArray header = Header("Hello");
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
        S: * 1 FETCH (UID 42 RFC822.HEADER {)" + QByteArray::number(header.size()) + R"(}
        S+: )" + QByteArray(header).replace("\r\n", "\\r\\n") + R"(
        S: )
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
    TMailBoxList list;
    list.Add(ImapBox());
    const TRunResult result = ExecuteRun(list, TRunKind::CheckAll, context, -1, QLocale::c(), server.Factory());
    server.VerifyFinished();

    EXPECT_EQ(context.Logged, QStringList{QStringLiteral("(imap.example.org) Error selecting Broken")});
    ASSERT_EQ(result.Rows.size(), 1);
    EXPECT_EQ(result.Rows[0].Subject, QStringLiteral("Hello"));
    EXPECT_EQ(result.Rows[0].Size, QStringLiteral("1234"));
    EXPECT_EQ(result.Rows[0].Folder, QStringLiteral("INBOX"));
    const TMailMessage& message = *list.Items(0)->MessageAt(0).Message;
    EXPECT_EQ(message.Uid, 42u);
    EXPECT_EQ(message.UidValidity, 777u);
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
    auto box = ImapBox();
    box->MarkForDeletion(3, "INBOX", 42, 777);
    box->MarkForDeletion(1, "Sent", 7, 8);
    box->MarkForDeletion(5, "INBOX", 44, 777);
    box->DeleteMarked(context, server.Factory());
    server.VerifyFinished();

    EXPECT_FALSE(box->HasDeletionMarks());
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
        C: C4 EXPUNGE
        S: C4 OK done
        C: C5 LOGOUT
        S: C5 OK done
    )";
    TScriptedServer server(script.constData());
    TTestCheckContext context;
    auto box = ImapBox();
    box->MarkForDeletion(1, "INBOX");
    box->MarkForDeletion(3, "INBOX");
    box->DeleteMarked(context, server.Factory());
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
        C: C6 EXPUNGE
        S: C6 NO expunge failed
        C: C7 SELECT "Trash"
        S: * 4 EXISTS
        S: C7 OK [READ-WRITE] done
        C: C8 STORE 4 +FLAGS.SILENT (\Deleted)
        S: C8 OK done
        C: C9 EXPUNGE
        S: * 4 EXPUNGE
        S: C9 OK done
        C: C10 LOGOUT
        S: C10 OK done
    )";
    TScriptedServer server(script.constData());
    TTestCheckContext context;
    auto box = ImapBox();
    box->MarkForDeletion(1, "INBOX");
    box->MarkForDeletion(2, "Sent");
    box->MarkForDeletion(4, "Trash");
    box->DeleteMarked(context, server.Factory());
    server.VerifyFinished();

    ASSERT_EQ(context.Logged.size(), 2);
    EXPECT_TRUE(context.Logged[0].startsWith(QStringLiteral("(imap.example.org) Messages in folder INBOX were not deleted")));
    EXPECT_TRUE(context.Logged[0].contains(QStringLiteral("mailbox is read-only")));
    EXPECT_TRUE(context.Logged[1].startsWith(QStringLiteral("(imap.example.org) Messages in folder Sent were not deleted")));
    EXPECT_TRUE(context.Logged[1].contains(QStringLiteral("expunge failed")));
}

// POP3: the check keeps each message's unique id; the delete finds the ticked messages under
// their new numbers and skips one that is gone.
TEST(EnginePop3Wire, DeleteFollowsUniqueIdsAcrossShiftedNumbers)
{
    const QByteArray script = kPopSession + R"(
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
    )";
    TScriptedServer server(script.constData());
    TTestCheckContext context;
    auto box = PopBox();
    box->MarkPopForDeletion(4, "id-d");  // was number 4 at the check, is 3 now
    box->MarkPopForDeletion(1, "id-a");  // removed by another program meanwhile
    box->DeleteMarked(context, server.Factory());
    server.VerifyFinished();

    EXPECT_TRUE(box->PopDeleteNumbers.isEmpty());
    ASSERT_EQ(context.Logged.size(), 1);
    EXPECT_EQ(context.Logged[0],
              QStringLiteral("(pop.example.org) Message id-a is no longer on the server; not deleted."));
}

// Marks that carry a unique id are never deleted by their old numbers: when the server now
// refuses UIDL, nothing is deleted and each mark is logged.
TEST(EnginePop3Wire, DeleteWithUniqueIdsNeverFallsBackToNumbers)
{
    const QByteArray script = kPopSession + R"(
        C: UIDL
        S: -ERR try later
        C: QUIT
        S: +OK bye
    )";
    TScriptedServer server(script.constData());
    TTestCheckContext context;
    auto box = PopBox();
    box->MarkPopForDeletion(2, "id-b");
    box->DeleteMarked(context, server.Factory());
    server.VerifyFinished();

    EXPECT_EQ(context.Logged, QStringList{QStringLiteral(
                                  "(pop.example.org) Message id-b is no longer on the server; not deleted.")});
}

// The user's abort ends the deletion at once: no further DELE, and nothing logged for it.
TEST(EnginePop3Wire, AbortEndsTheDeletionSilently)
{
    // Aborts at the fourth yield point: two come with the connect, then one before each DELE.
    struct TAbortingContext : TTestCheckContext {
        int Yields = 0;
        void Yield() override
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
    auto box = PopBox();
    box->MarkPopForDeletion(2, {});
    box->MarkPopForDeletion(5, {});
    box->MarkPopForDeletion(7, {});
    box->DeleteMarked(context, server.Factory());
    server.VerifyFinished();

    EXPECT_TRUE(context.Logged.isEmpty());
    EXPECT_FALSE(box->HasDeletionMarks());
}

// A server without UIDL: the numbers of the check are used; a refused DELE is logged and the
// others still go; a refusal at QUIT (nothing removed) is logged too.
TEST(EnginePop3Wire, DeleteByNumberLogsRefusals)
{
    const QByteArray script = kPopSession + R"(
        C: DELE 2
        S: -ERR no such message
        C: DELE 5
        S: +OK
        C: QUIT
        S: -ERR could not remove
    )";
    TScriptedServer server(script.constData());
    TTestCheckContext context;
    auto box = PopBox();
    box->MarkForDeletion(2, {});
    box->MarkForDeletion(5, {});
    box->DeleteMarked(context, server.Factory());
    server.VerifyFinished();

    ASSERT_EQ(context.Logged.size(), 2);
    EXPECT_TRUE(context.Logged[0].contains(QStringLiteral("no such message")));
    EXPECT_TRUE(context.Logged[1].contains(QStringLiteral("could not remove")));
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
    TMailBoxList list;
    list.Add(PopBox());
    const TRunResult result = ExecuteRun(list, TRunKind::CheckAll, context, -1, QLocale::c(), server.Factory());
    server.VerifyFinished();

    ASSERT_EQ(result.Rows.size(), 1);
    EXPECT_EQ(result.Rows[0].Subject, QStringLiteral("first"));
    EXPECT_EQ(result.Rows[0].Size, QStringLiteral("320"));
    EXPECT_TRUE(list.Items(0)->MessageAt(0).Message->UniqueId.isEmpty());
    EXPECT_TRUE(context.Logged.isEmpty());
}

}  // namespace
}  // namespace brevio::test
