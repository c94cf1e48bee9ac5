// IMAP4 servers that send too much, too little or nonsense: the client ends the operation with a
// clear error and never holds more than the limits allow.
#include "imap_session.h"
#include "net/errors.h"

#include <gtest/gtest.h>

namespace brevio::test {
namespace {

enum class TError { LineTooLong, ConnectionClosed, ClientError };

struct THostileCase {
    const char* Name;
    QByteArray Reply;  // the server's answer to C3 UID FETCH 5 (RFC822.HEADER)
    TError Error;
};

class Imap4HostileReplies : public ::testing::TestWithParam<THostileCase> {};

TEST_P(Imap4HostileReplies, EndTheOperationWithAClearError)
{
    TImapSession s(InboxSelected("C: C3 UID FETCH 5 (RFC822.HEADER)\n" + GetParam().Reply));
    s.ConnectToInbox();
    TMailMessage message;
    switch (GetParam().Error) {
    case TError::LineTooLong:
        EXPECT_THROW(s.Client.FetchHeaderByUid("5", message), ELineTooLong);
        break;
    case TError::ConnectionClosed:
        EXPECT_THROW(s.Client.FetchHeaderByUid("5", message), EConnectionClosed);
        break;
    case TError::ClientError:
        EXPECT_THROW(s.Client.FetchHeaderByUid("5", message), EMailClientError);
        break;
    }
    s.Server.VerifyFinished();
    EXPECT_FALSE(s.Client.Connected());
}

QByteArray ManyLongLines(int count)
{
    QByteArray lines;
    for (int i = 0; i < count; ++i)
        lines += "S: * OK " + QByteArray(16000, 'x') + "\n";
    return lines;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Imap4HostileReplies,
    ::testing::Values(
        THostileCase{"HugeLiteralCount", "S: * 1 FETCH (UID 5 RFC822.HEADER {99999999999}\n", TError::LineTooLong},
        THostileCase{"LiteralPastTheLimit", "S: * 1 FETCH (UID 5 RFC822.HEADER {4194305}\n", TError::LineTooLong},
        THostileCase{"CutInsideTheLiteral", "S: * 1 FETCH (UID 5 RFC822.HEADER {100}\nS: Subject: x\nX\n",
                     TError::ConnectionClosed},
        THostileCase{"CutBeforeTheTaggedLine", "S: * 1 FETCH (UID 5 RFC822.HEADER {0}\nS: )\nX\n",
                     TError::ConnectionClosed},
        THostileCase{"OverlongLine", "S: * " + QByteArray(17000, 'a') + "\n", TError::LineTooLong},
        THostileCase{"EndlessUntaggedLines", ManyLongLines(263), TError::LineTooLong},
        THostileCase{"UnknownTag", "S: X7 OK whatever\n", TError::ClientError},
        THostileCase{"UnknownStatusWord", "S: C3 MAYBE\n", TError::ClientError}),
    [](const auto& tested) { return std::string(tested.param.Name); });

struct TSelectCase {
    const char* Name;
    const char* Untagged;
};

class Imap4BadCounts : public ::testing::TestWithParam<TSelectCase> {};

TEST_P(Imap4BadCounts, MakeSelectFail)
{
    TImapSession s(QByteArray(kImapLogin) + "C: C2 SELECT \"INBOX\"\nS: * " + GetParam().Untagged
                   + "\nS: C2 OK\nC: C3 LOGOUT\nS: C3 OK\n");
    s.Connect();
    EXPECT_THROW(s.Client.SelectFolder("INBOX"), EMailClientError);
    EXPECT_NE(s.Client.ConnectionState(), TImapConnectionState::Selected);
}

INSTANTIATE_TEST_SUITE_P(Cases, Imap4BadCounts,
                         ::testing::Values(TSelectCase{"Negative", "-1 EXISTS"},
                                           TSelectCase{"Absurd", "99999999999 EXISTS"},
                                           TSelectCase{"NotANumber", "many EXISTS"},
                                           TSelectCase{"RecentGarbage", "1x RECENT"}),
                         [](const auto& tested) { return std::string(tested.param.Name); });

// Each folder line is short enough, but together they pass the bound on one reply; the reply is
// still read to its end, so the connection stays usable.
TEST(Imap4Hostile, ListPastTheReplyLimitFailsAndStaysInStep)
{
    QByteArray script = QByteArray(kImapLogin) + "C: C2 LIST \"\" *\n";
    for (int i = 0; i < 263; ++i)
        script += "S: * LIST () \"/\" " + QByteArray(16000, 'a' + i % 26) + "\n";
    script += "S: C2 OK\nC: C3 LOGOUT\nS: C3 OK\n";
    TImapSession s(script);
    s.Connect();
    QList<TImapListEntry> folders;
    EXPECT_THROW(s.Client.ListFolders(folders), ELineTooLong);
    EXPECT_TRUE(folders.isEmpty());
    s.Client.Disconnect();
}

TEST(Imap4Hostile, NulBytesInsideAHeaderLiteralAreKept)
{
    TImapSession s(QByteArray(kImapLogin) + R"(
        C: C2 SELECT "INBOX"
        S: C2 OK
        C: C3 UID FETCH 5 (RFC822.HEADER)
        S: * 1 FETCH (UID 5 RFC822.HEADER {6}
        S+: A:\0b\r\n)\r\n
        S: C3 OK
        C: C4 LOGOUT
        S: C4 OK
    )");
    s.Connect();
    s.Client.SelectFolder("INBOX");
    TMailMessage message;
    ASSERT_TRUE(s.Client.FetchHeaderByUid("5", message));
    EXPECT_EQ(message.RawHeaders, QList<QByteArray>{QByteArray("A:\0b", 4)});
}

TEST(Imap4Hostile, ListWithOddNamesKeepsTheBytesTheServerSent)
{
    TImapSession s(QByteArray(kImapLogin) + R"(
        C: C2 LIST "" *
        S: * LIST () "." "say \"hi\""
        S: * LIST (\NonExistent) NIL Gone
        S: * LIST () "/" {7}
        S: a"b c\d
        S: * LIST garbage
        S: C2 OK
        C: C3 SELECT "say \"hi\""
        S: C3 OK
        C: C4 SELECT "a\"b c\\d"
        S: C4 OK
        C: C5 LOGOUT
        S: C5 OK
    )");
    s.Connect();
    QList<TImapListEntry> folders;
    s.Client.ListFolders(folders);
    ASSERT_EQ(
        folders,
        (QList<TImapListEntry>{{"say \"hi\"", ".", {}}, {"Gone", {}, {"\\NonExistent"}}, {"a\"b c\\d", "/", {}}}));
    EXPECT_FALSE(folders[1].Selectable());
    s.Client.SelectFolder(folders[0].Name);
    s.Client.SelectFolder(folders[2].Name);
}

}  // namespace
}  // namespace brevio::test
