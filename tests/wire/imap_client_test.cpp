// IMAP4 commands on the wire against scripted servers, and what the client makes of the replies.
#include "imap_session.h"
#include "net/errors.h"
#include "imap/imap_errors.h"

#include <gtest/gtest.h>

namespace brevio::test {
namespace {

using State = TImapConnectionState;

TEST(Imap4Client, CheckOfOneFolderSendsTheCommandsInOrder)
{
    TImapSession s(QByteArray(kImapLogin) + R"(
        C: C2 LIST "" *
        S: * LIST (\HasNoChildren) "/" "INBOX"
        S: * LIST (\Noselect \HasChildren) "/" Archive
        S: C2 OK LIST completed
        C: C3 SELECT "INBOX"
        S: * FLAGS (\Answered \Flagged \Deleted \Seen \Draft)
        S: * 172 EXISTS
        S: * 1 RECENT
        S: * OK [UNSEEN 12] Message 12 is first unseen
        S: * OK [UIDVALIDITY 385] UIDs valid
        S: * OK [UIDNEXT 439] Predicted next UID
        S: * OK [PERMANENTFLAGS (\Deleted \Seen \*)] Limited
        S: C3 OK [READ-WRITE] SELECT completed
        C: C4 FETCH 1 (UID)
        S: * 1 FETCH (UID 471)
        S: C4 OK FETCH completed
        C: C5 UID FETCH 471 (FLAGS)
        S: * 1 FETCH (FLAGS (\Seen \Recent) UID 471)
        S: C5 OK done
        C: C6 UID FETCH 471 (RFC822.HEADER)
        S: * 1 FETCH (UID 471 RFC822.HEADER {29}
        S: Subject: hello
        S: From: a@b
        S:
        S: )
        S: C6 OK done
        C: C7 UID FETCH 471 (RFC822.SIZE)
        S: * 1 FETCH (UID 471 RFC822.SIZE 220)
        S: C7 OK done
        C: C8 LOGOUT
        S: * BYE logging out
        S: C8 OK LOGOUT completed
    )");
    s.Connect();
    EXPECT_EQ(s.Client.ConnectionState(), State::Authenticated);

    QList<TImapListEntry> folders;
    ASSERT_TRUE(s.Client.ListFolders(folders));
    EXPECT_EQ(folders,
              (QList<TImapListEntry>{{"INBOX", "/", {"\\HasNoChildren"}},
                                     {"Archive", "/", {"\\Noselect", "\\HasChildren"}}}));
    EXPECT_EQ(s.Client.MailBoxSeparator(), "/");

    ASSERT_TRUE(s.Client.SelectFolder("INBOX"));
    EXPECT_EQ(s.Client.SelectedMailBox(),
              (TImapFolderInfo{.Name = "INBOX",
                               .TotalMessages = 172,
                               .RecentMessages = 1,
                               .FirstUnseen = 12,
                               .UidValidity = 385,
                               .UidNext = 439,
                               .AccessMode = TImapAccessMode::ReadWrite,
                               .MailBoxFlags = TMessageFlag::Answered | TMessageFlag::Flagged | TMessageFlag::Deleted
                                   | TMessageFlag::Seen | TMessageFlag::Draft,
                               .PermanentFlags = TMessageFlag::Deleted | TMessageFlag::Seen,
                               .ExpungedNumbers = {}}));
    EXPECT_EQ(s.Client.ConnectionState(), State::Selected);

    QByteArray uid;
    ASSERT_TRUE(s.Client.MessageUid(1, uid));
    EXPECT_EQ(uid, "471");
    TMessageFlags flags;
    ASSERT_TRUE(s.Client.FetchFlagsByUid(uid, flags));
    EXPECT_EQ(flags, TMessageFlags(TMessageFlag::Seen | TMessageFlag::Recent));
    TMailMessage message;
    message.RawHeaders = {"stale"};
    ASSERT_TRUE(s.Client.FetchHeaderByUid(uid, message));
    EXPECT_EQ(message.RawHeaders, (QList<QByteArray>{"Subject: hello", "From: a@b"}));
    EXPECT_EQ(s.Client.FetchSizeByUid(uid), 220);
    EXPECT_EQ(s.Client.CurrentTag(), "C7");
    s.Client.Disconnect();
    EXPECT_EQ(s.Client.ConnectionState(), State::NonAuthenticated);
}

TEST(Imap4Client, HeaderLiteralIsReadByItsByteCountWhateverFollowsIt)
{
    // The header is followed by more items on the line that closes the literal, and holds a
    // line that looks like a tagged completion.
    TImapSession s(QByteArray(kImapLogin) + R"(
        C: C2 SELECT "INBOX"
        S: * 1 EXISTS
        S: C2 OK [READ-ONLY] done
        C: C3 UID FETCH 9 (RFC822.HEADER)
        S: * 3 EXISTS
        S: * 1 FETCH (RFC822.HEADER {31}
        S: Subject: x
        S: C3 OK not the end
        S:  UID 9 FLAGS (\Seen))
        S: C3 OK done
        C: C4 LOGOUT
        S: C4 OK
    )");
    s.Connect();
    s.Client.SelectFolder("INBOX");
    EXPECT_EQ(s.Client.SelectedMailBox().AccessMode, TImapAccessMode::ReadOnly);
    TMailMessage message;
    ASSERT_TRUE(s.Client.FetchHeaderByUid("9", message));
    EXPECT_EQ(message.RawHeaders, (QList<QByteArray>{"Subject: x", "C3 OK not the end"}));
}

struct TFetchReplyCase {
    const char* Name;
    const char* Reply;  // the server's lines, each "S: ..."
    qint32 Size;        // FetchSizeByUid("471")
};

class Imap4SizeReplies : public ::testing::TestWithParam<TFetchReplyCase> {};

TEST_P(Imap4SizeReplies, GiveTheSizeOfTheAskedMessage)
{
    TImapSession s(InboxSelected(QByteArray("C: C3 UID FETCH 471 (RFC822.SIZE)\n") + GetParam().Reply
                                 + "\nC: C4 LOGOUT\nS: C4 OK\n"));
    s.ConnectToInbox();
    EXPECT_EQ(s.Client.FetchSizeByUid("471"), GetParam().Size);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Imap4SizeReplies,
    ::testing::Values(
        TFetchReplyCase{"UidFirst", "S: * 1 FETCH (UID 471 RFC822.SIZE 220)\nS: C3 OK", 220},
        TFetchReplyCase{"SizeFirst", "S: * 1 FETCH (RFC822.SIZE 220 UID 471)\nS: C3 OK", 220},
        TFetchReplyCase{"WithoutUidIsNotOurs", "S: * 1 FETCH (RFC822.SIZE 220)\nS: C3 OK", -1},
        TFetchReplyCase{
            "OtherMessageFirst",
            "S: * 2 FETCH (FLAGS (\\Seen) UID 472)\nS: * 5 EXISTS\nS: * 1 FETCH (UID 471 RFC822.SIZE 9)\nS: C3 OK", 9},
        TFetchReplyCase{"Refused", "S: C3 NO no such message", -1},
        TFetchReplyCase{"NotANumber", "S: * 1 FETCH (UID 471 RFC822.SIZE big)\nS: C3 OK", -1},
        TFetchReplyCase{"Overflowing", "S: * 1 FETCH (UID 471 RFC822.SIZE 99999999999)\nS: C3 OK", -1},
        TFetchReplyCase{"Malformed", "S: * 1 FETCH (UID 471 RFC822.SIZE \"9)\nS: C3 OK", -1}),
    [](const auto& tested) { return std::string(tested.param.Name); });

struct TRefusalCase {
    const char* Name;
    const char* Command;  // what the client sends after SELECT, tag C3
    const char* Reply;    // the tagged answer
    std::function<void(TImap4Client&)> Call;
    int Code;  // EReplyError code expected, 0: no exception
};

class Imap4Refusals : public ::testing::TestWithParam<TRefusalCase> {};

TEST_P(Imap4Refusals, RaiseOrReturnFailureAsEachOperationPromises)
{
    const TRefusalCase& c = GetParam();
    TImapSession s(
        InboxSelected(QByteArray("C: C3 ") + c.Command + "\nS: C3 " + c.Reply + "\nC: C4 LOGOUT\nS: C4 OK\n"));
    s.ConnectToInbox();
    if (c.Code == 0) {
        EXPECT_NO_THROW(c.Call(s.Client));
        return;
    }
    try {
        c.Call(s.Client);
        ADD_FAILURE() << "no exception";
    } catch (const EReplyError& e) {
        EXPECT_EQ(e.ReplyErrorCode(), c.Code);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Imap4Refusals,
    ::testing::Values(TRefusalCase{"UidOnNo", "FETCH 4 (UID)", "NO gone",
                                   [](TImap4Client& c) {
                                       QByteArray uid = "x";
                                       EXPECT_FALSE(c.MessageUid(4, uid));
                                       EXPECT_TRUE(uid.isEmpty());
                                   },
                                   0},
                      TRefusalCase{"UidOnBad", "FETCH 4 (UID)", "BAD syntax",
                                   [](TImap4Client& c) {
                                       QByteArray u;
                                       c.MessageUid(4, u);
                                   },
                                   3},
                      TRefusalCase{"FlagsOnNo", "UID FETCH 7 (FLAGS)", "NO gone",
                                   [](TImap4Client& c) {
                                       TMessageFlags f;
                                       EXPECT_FALSE(c.FetchFlagsByUid("7", f));
                                   },
                                   0},
                      TRefusalCase{"HeaderOnNo", "UID FETCH 7 (RFC822.HEADER)", "NO gone",
                                   [](TImap4Client& c) {
                                       TMailMessage m;
                                       EXPECT_FALSE(c.FetchHeaderByUid("7", m));
                                   },
                                   0},
                      TRefusalCase{"HeaderOnOkWithoutData", "UID FETCH 7 (RFC822.HEADER)", "OK nothing",
                                   [](TImap4Client& c) {
                                       TMailMessage m;
                                       EXPECT_FALSE(c.FetchHeaderByUid("7", m));
                                   },
                                   0},
                      TRefusalCase{"StoreOnNo", "STORE 3,5 +FLAGS.SILENT (\\Deleted)", "NO read-only",
                                   [](TImap4Client& c) {
                                       EXPECT_FALSE(c.MarkDeleted({3, 5}));
                                   },
                                   0},
                      TRefusalCase{"StoreOnOk", "STORE 3,5 +FLAGS.SILENT (\\Deleted)", "OK",
                                   [](TImap4Client& c) {
                                       EXPECT_TRUE(c.MarkDeleted({3, 5}));
                                   },
                                   0},
                      TRefusalCase{"ExpungeOnNo", "EXPUNGE", "NO read-only", [](TImap4Client& c) { c.ExpungeFolder(); },
                                   2},
                      TRefusalCase{"ListOnBad", "LIST \"\" *", "BAD what",
                                   [](TImap4Client& c) {
                                       QList<TImapListEntry> f;
                                       c.ListFolders(f);
                                   },
                                   3},
                      TRefusalCase{"SelectOnNo", "SELECT \"Gone\"", "NO no such folder",
                                   [](TImap4Client& c) { c.SelectFolder("Gone"); }, 2}),
    [](const auto& tested) { return std::string(tested.param.Name); });

TEST(Imap4Client, RefusedSelectLeavesNoFolderSelected)
{
    TImapSession s(QByteArray(kImapLogin) + R"(
        C: C2 SELECT "INBOX"
        S: C2 OK done
        C: C3 SELECT "Gone"
        S: C3 NO no such folder
        C: C4 LOGOUT
        S: C4 OK
    )");
    s.Connect();
    s.Client.SelectFolder("INBOX");
    EXPECT_THROW(s.Client.SelectFolder("Gone"), EReplyError);
    EXPECT_EQ(s.Client.ConnectionState(), State::Authenticated);
    QByteArray uid;
    EXPECT_THROW(s.Client.MessageUid(1, uid), EWrongStateError);
}

struct TArgumentCase {
    const char* Name;
    std::function<void(TImap4Client&)> Call;
    QString Message;
};

class Imap4ArgumentChecks : public ::testing::TestWithParam<TArgumentCase> {};

TEST_P(Imap4ArgumentChecks, RaiseBeforeAnythingIsSent)
{
    TImapSession s(InboxSelected("C: C3 LOGOUT\nS: C3 OK\n"));
    s.ConnectToInbox();
    try {
        GetParam().Call(s.Client);
        ADD_FAILURE() << "no exception";
    } catch (const EInvalidNumber& e) {
        EXPECT_EQ(e.Message(), GetParam().Message);
    }
}

const QString kNotPositive = QStringLiteral("UID passed as parameter is invalid, must be 1 or greater");

INSTANTIATE_TEST_SUITE_P(
    Cases, Imap4ArgumentChecks,
    ::testing::Values(TArgumentCase{"SequenceNumberZero",
                                    [](TImap4Client& c) {
                                        QByteArray u;
                                        c.MessageUid(0, u);
                                    },
                                    QStringLiteral("Number passed as parameter is invalid, must be 1 or greater")},
                      TArgumentCase{"EmptyUid", [](TImap4Client& c) { c.FetchSizeByUid(""); },
                                    QStringLiteral("Empty string passed as UID")},
                      TArgumentCase{"UidWithLetter", [](TImap4Client& c) { c.FetchSizeByUid("12a"); },
                                    QStringLiteral("UID passed as parameter is invalid, contains non-digit")},
                      TArgumentCase{"UidWithBlank",
                                    [](TImap4Client& c) {
                                        TMailMessage m;
                                        c.FetchHeaderByUid("1 2", m);
                                    },
                                    QStringLiteral("UID passed as parameter is invalid, contains non-digit")},
                      TArgumentCase{"UidZero",
                                    [](TImap4Client& c) {
                                        TMessageFlags f;
                                        c.FetchFlagsByUid("0", f);
                                    },
                                    kNotPositive},
                      TArgumentCase{"UidTooLarge", [](TImap4Client& c) { c.FetchSizeByUid("4294967296"); },
                                    kNotPositive},
                      TArgumentCase{"NegativeNumberToDelete",
                                    [](TImap4Client& c) {
                                        c.MarkDeleted({2, -1});
                                    },
                                    QStringLiteral("Number passed as parameter is invalid, must be 1 or greater")},
                      TArgumentCase{"BadSequenceSet",
                                    [](TImap4Client& c) {
                                        QList<TImapFetchedMessage> m;
                                        c.FetchMessages("1:*) DELETE", m);
                                    },
                                    QStringLiteral("Sequence set passed as parameter is invalid")}),
    [](const auto& tested) { return std::string(tested.param.Name); });

TEST(Imap4Client, EmptyDeleteSendsNothing)
{
    TImapSession s(InboxSelected("C: C3 LOGOUT\nS: C3 OK\n"));
    s.ConnectToInbox();
    EXPECT_FALSE(s.Client.MarkDeleted({}));
    EXPECT_FALSE(s.Client.UidStoreDeleted({}));
    EXPECT_FALSE(s.Client.UidExpunge({}));
}

TEST(Imap4Client, OperationsInTheWrongStateSendNothing)
{
    TImapSession s(QByteArray(kImapLogin) + "C: C2 LOGOUT\nS: C2 OK\n");
    s.Connect();
    QByteArray uid;
    try {
        s.Client.MessageUid(1, uid);
        FAIL();
    } catch (const EWrongStateError& e) {
        EXPECT_EQ(e.Message(),
                  QStringLiteral("Unable to execute command, wrong connection state;"
                                 "Current connection state: Authenticated."));
    }
    EXPECT_THROW(s.Client.ExpungeFolder(), EWrongStateError);
    EXPECT_THROW(s.Client.MarkDeleted({1}), EWrongStateError);
}

TEST(Imap4Client, DisconnectWithoutConnectionRaisesSocketClosed)
{
    TImapSession s("");
    EXPECT_THROW(s.Client.Disconnect(), ESocketClosed);
}

TEST(Imap4Client, ExpungeRecordsTheRemovedNumbers)
{
    TImapSession s(QByteArray(kImapLogin) + R"(
        C: C2 SELECT "INBOX"
        S: C2 OK
        C: C3 STORE 1 +FLAGS.SILENT (\Deleted)
        S: C3 OK
        C: C4 EXPUNGE
        S: * 3 EXPUNGE
        S: * 3 EXPUNGE
        S: * 2 EXISTS
        S: C4 OK EXPUNGE completed
        C: C5 LOGOUT
        S: C5 OK
    )");
    s.Connect();
    s.Client.SelectFolder("INBOX");
    EXPECT_TRUE(s.Client.MarkDeleted({1}));
    EXPECT_TRUE(s.Client.ExpungeFolder());
    EXPECT_EQ(s.Client.SelectedMailBox().ExpungedNumbers, (QList<quint32>{3, 3}));
}

TEST(Imap4Client, FetchOfARangeGivesOneRecordPerMessage)
{
    TImapSession s(QByteArray(kImapLogin) + R"(
        C: C2 SELECT "Sent"
        S: * 2 EXISTS
        S: C2 OK
        C: C3 FETCH 1:* (UID RFC822.SIZE RFC822.HEADER)
        S: * 1 FETCH (UID 10 RFC822.SIZE 100 RFC822.HEADER {12}
        S: Subject: a
        S: )
        S: * 1 FETCH (FLAGS (\Seen))
        S: * 2 FETCH (RFC822.HEADER NIL UID 11 RFC822.SIZE 7)
        S: C3 OK FETCH completed
        C: C4 LOGOUT
        S: C4 OK
    )");
    s.Connect();
    s.Client.SelectFolder("Sent");
    QList<TImapFetchedMessage> messages;
    ASSERT_TRUE(s.Client.FetchMessages("1:*", messages));
    ASSERT_EQ(messages.size(), 2);
    EXPECT_EQ(messages[0].SequenceNumber, 1u);
    EXPECT_EQ(messages[0].Message.Uid, 10u);
    EXPECT_EQ(messages[0].Message.Size, 100);
    EXPECT_EQ(messages[0].Message.Folder, "Sent");
    EXPECT_EQ(messages[0].Message.RawHeaders, QList<QByteArray>{"Subject: a"});
    EXPECT_EQ(messages[1].Message.Uid, 11u);
    EXPECT_TRUE(messages[1].Message.RawHeaders.isEmpty());
}

struct TUidDeleteCase {
    const char* Name;
    const char* Capabilities;  // the CAPABILITY reply's names
    const char* Expunge;       // the expunge command the client must send
};

class Imap4UidDelete : public ::testing::TestWithParam<TUidDeleteCase> {};

TEST_P(Imap4UidDelete, UsesUidExpungeOnlyWithUidPlus)
{
    const TUidDeleteCase& c = GetParam();
    TImapSession s(InboxSelected(QByteArray("C: C3 UID STORE 4,9 +FLAGS.SILENT (\\Deleted)\nS: C3 OK\n")
                                 + "C: C4 CAPABILITY\nS: * CAPABILITY " + c.Capabilities + "\nS: C4 OK\n" + "C: C5 "
                                 + c.Expunge + "\nS: * 2 EXPUNGE\nS: C5 OK\nC: C6 LOGOUT\nS: C6 OK\n"));
    s.ConnectToInbox();
    EXPECT_TRUE(s.Client.UidStoreDeleted({4, 9}));
    EXPECT_TRUE(s.Client.UidExpunge({4, 9}));
    EXPECT_EQ(s.Client.SelectedMailBox().ExpungedNumbers, QList<quint32>{2});
}

INSTANTIATE_TEST_SUITE_P(Cases, Imap4UidDelete,
                         ::testing::Values(TUidDeleteCase{"WithUidPlus", "IMAP4rev1 UIDPLUS", "UID EXPUNGE 4,9"},
                                           TUidDeleteCase{"WithoutUidPlus", "IMAP4rev1 IDLE", "EXPUNGE"}),
                         [](const auto& tested) { return std::string(tested.param.Name); });

}  // namespace
}  // namespace brevio::test
