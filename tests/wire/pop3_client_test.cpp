// POP3 conversations against scripted servers: the commands on the wire, reply reading, the
// login loop and every failure path.
#include "engine/mailbox_client_setup.h"
#include "net/errors.h"
#include "pop3/pop3_client.h"
#include "support/scripted_transport.h"
#include "support/test_check_context.h"

#include <gtest/gtest.h>

#include <functional>

namespace brevio::test {
namespace {

constexpr const char* kLogin = R"(
    S: +OK POP3 ready
    C: CAPA
    S: +OK
    S: TOP
    S: UIDL
    S: PIPELINING
    S: .
    C: USER bob
    S: +OK
    C: PASS secret
    S: +OK logged in
)";

struct TPop3Session {
    explicit TPop3Session(const QByteArray& script) : Server(script.constData()), Client(Server.Factory())
    {
        Client.Host = QStringLiteral("pop.example.org");
    }
    // Connects and logs in as the engine does, with its login loop.
    bool Connect() { return LogIn(Client, Credentials, Context); }

    TTestCheckContext Context;
    TCredentials Credentials{QStringLiteral("bob"), QStringLiteral("secret")};
    TScriptedServer Server;
    TPop3Client Client;
};

TEST(Pop3Client, CheckReadsCountHeadersAndSizesThenQuits)
{
    TPop3Session s(QByteArray(kLogin) + R"(
        C: STAT
        S: +OK 2 320
        C: TOP 1 0
        S: +OK header follows
        S: Subject: one
        S: ..X-Dotted: yes
        S:
        S: .
        C: LIST 1
        S: +OK 1 120
        C: TOP 2 0
        S: +OK
        S: Subject: two
        S: .
        C: LIST 2
        S: +OK 2 200
        C: QUIT
        S: +OK bye
    )");
    s.Connect();
    EXPECT_TRUE(s.Client.LoggedIn());
    ASSERT_EQ(s.Client.CountMessages(), 2);
    TMailMessage first;
    TMailMessage second;
    EXPECT_TRUE(s.Client.FetchHeader(1, first));
    EXPECT_TRUE(s.Client.FetchHeader(2, second));
    EXPECT_EQ(first.RawHeaders, (QList<QByteArray>{"Subject: one", ".X-Dotted: yes"}));
    EXPECT_EQ(first.Size, 120);
    EXPECT_EQ(second.RawHeaders, (QList<QByteArray>{"Subject: two"}));
    EXPECT_EQ(second.Size, 200);
    s.Client.Disconnect();
    EXPECT_TRUE(s.Context.Logged.isEmpty());
}

struct TReplyValueCase {
    const char* Name;
    const char* Command;
    const char* Reply;
    std::function<qint32(TPop3Client&)> Call;
    std::optional<qint32> Expected;  // nullopt: raises EMailClientError
};

class Pop3ReplyValues : public ::testing::TestWithParam<TReplyValueCase> {};

TEST_P(Pop3ReplyValues, GiveTheValueOrAClearError)
{
    const TReplyValueCase& c = GetParam();
    TPop3Session s(QByteArray(kLogin) + "C: " + c.Command + "\nS: " + c.Reply + "\nC: QUIT\nS: +OK\n");
    s.Connect();
    if (c.Expected)
        EXPECT_EQ(c.Call(s.Client), *c.Expected);
    else
        EXPECT_THROW(c.Call(s.Client), EMailClientError);
}

const auto kStat = [](TPop3Client& c) { return c.CountMessages(); };
const auto kList1 = [](TPop3Client& c) { return c.FetchMessageSize(1); };

INSTANTIATE_TEST_SUITE_P(
    Cases, Pop3ReplyValues,
    ::testing::Values(TReplyValueCase{"EmptyMaildrop", "STAT", "+OK 0 0", kStat, 0},
                      TReplyValueCase{"LowerCaseOk", "STAT", "+ok 3 100", kStat, 3},
                      TReplyValueCase{"StatWithoutText", "STAT", "+OK", kStat, 0},
                      TReplyValueCase{"StatWithoutSize", "STAT", "+OK 5", kStat, std::nullopt},
                      TReplyValueCase{"NegativeCount", "STAT", "+OK -1 0", kStat, std::nullopt},
                      TReplyValueCase{"AbsurdCount", "STAT", "+OK 99999999999 0", kStat, std::nullopt},
                      TReplyValueCase{"StatRefused", "STAT", "-ERR locked", kStat, std::nullopt},
                      TReplyValueCase{"ListSize", "LIST 1", "+OK 1 120", kList1, 120},
                      TReplyValueCase{"ListWithoutSize", "LIST 1", "+OK 1", kList1, 1},
                      TReplyValueCase{"ListWithTrailingWord", "LIST 1", "+OK 1 120 x", kList1, -1},
                      TReplyValueCase{"ListNegativeSize", "LIST 1", "+OK 1 -5", kList1, -1},
                      TReplyValueCase{"ListOverflowingSize", "LIST 1", "+OK 1 99999999999", kList1, -1},
                      TReplyValueCase{"UnknownStatusWord", "STAT", "OK 1 1", kStat, std::nullopt},
                      // A status line is one line (RFC 1939 §3); a "-" after the status word
                      // starts no continuation to wait for.
                      TReplyValueCase{"DashAfterStatusWord", "STAT", "+OK-2 320", kStat, std::nullopt}),
    [](const auto& tested) { return std::string(tested.param.Name); });

TEST(Pop3Client, RefusedDeleteRaisesWithTheServerText)
{
    TPop3Session s(QByteArray(kLogin) + "C: DELE 3\nS: -ERR no such message\nC: QUIT\nS: +OK\n");
    s.Connect();
    try {
        s.Client.DeleteMessage(3);
        FAIL();
    } catch (const EReplyError& e) {
        EXPECT_EQ(e.ReplyErrorCode(), 2);
        EXPECT_EQ(e.Message(), QStringLiteral(" no such message\r\n"));
    }
}

TEST(Pop3Client, UnrecognizedStatusWordNamesTheReply)
{
    TPop3Session s("S: HELLO there\n");
    try {
        s.Connect();
        FAIL();
    } catch (const EMailClientError& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("Unrecognized POP3 Response Header:\n\"O there\r\n\""));
    }
    EXPECT_EQ(s.Context.Logged.size(), 1);
}

struct TConnectFailureCase {
    const char* Name;
    const char* Script;
    QString Logged;
};

class Pop3ConnectFailures : public ::testing::TestWithParam<TConnectFailureCase> {};

TEST_P(Pop3ConnectFailures, AreLoggedAndRaised)
{
    TPop3Session s(GetParam().Script);
    EXPECT_THROW(s.Connect(), EMailClientError);
    EXPECT_EQ(s.Context.Logged, QStringList{GetParam().Logged});
    EXPECT_TRUE(s.Context.Prompts.isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Cases, Pop3ConnectFailures,
                         ::testing::Values(TConnectFailureCase{"GreetingErr", "S: -ERR busy\n",
                                                               "(pop.example.org)  busy\r\n"},
                                           TConnectFailureCase{"ClosedBeforeGreeting", "X\n",
                                                               "(pop.example.org) Connection Closed Gracefully."},
                                           TConnectFailureCase{"GreetingCutInTheMiddle", "S+: +OK rea\nX\n",
                                                               "(pop.example.org) Connection Closed Gracefully."}),
                         [](const auto& tested) { return std::string(tested.param.Name); });

TEST(Pop3Client, OverlongGreetingRaisesLineTooLong)
{
    TPop3Session s("S: +OK " + QByteArray(20000, 'a') + "\n");
    EXPECT_THROW(s.Connect(), ELineTooLong);
    EXPECT_EQ(s.Context.Logged, QStringList{QStringLiteral("(pop.example.org) Max line length exceeded.")});
}

TEST(Pop3Client, RefusedLoginThenCancelledPromptRaisesAbort)
{
    TPop3Session s(R"(
        S: +OK ready
        C: CAPA
        S: -ERR
        C: USER bob
        S: -ERR unknown user
        C: QUIT
        S: +OK
    )");
    EXPECT_THROW(s.Connect(), EAbort);
    EXPECT_EQ(s.Context.Prompts, QStringList{QStringLiteral("pop.example.org")});
    EXPECT_EQ(s.Context.Logged.size(), 1);
}

TEST(Pop3Client, ConfirmedPromptReconnectsWithTheNewCredentials)
{
    TPop3Session s(R"(
        S: +OK ready
        C: CAPA
        S: -ERR
        C: USER bob
        S: +OK
        C: PASS secret
        S: -ERR wrong
        C: QUIT
        CLOSE
        OPEN
        S: +OK ready again
        C: CAPA
        S: -ERR
        C: USER alice
        S: +OK
        C: PASS pass word
        S: +OK
        C: QUIT
        S: +OK
    )");
    s.Context.Answers = {{true, QStringLiteral("alice"), QStringLiteral("pass word")}};
    s.Connect();
    EXPECT_TRUE(s.Client.LoggedIn());
    EXPECT_EQ(s.Credentials.UserName, QStringLiteral("alice"));
}

TEST(Pop3Client, CredentialsWithLineBreaksAreNeverSent)
{
    TPop3Session s(R"(
        S: +OK ready
        C: CAPA
        S: -ERR
        C: QUIT
        S: +OK
    )");
    s.Credentials.Password = QStringLiteral("x\r\nDELE 1");
    EXPECT_THROW(s.Connect(), EAbort);
    ASSERT_EQ(s.Context.Logged.size(), 1);
    EXPECT_TRUE(s.Context.Logged[0].contains(QStringLiteral("line break")));
}

struct TCapabilityCase {
    const char* Name;
    const char* Script;  // greeting through the login
    bool Apop;
    bool Utf8;        // Utf8Enabled() after the login
    bool Pipelining;  // Capabilities().Has("PIPELINING")
};

class Pop3Capabilities : public ::testing::TestWithParam<TCapabilityCase> {};

TEST_P(Pop3Capabilities, DecideWhatIsSentBeforeTheLogin)
{
    const TCapabilityCase& c = GetParam();
    TPop3Session s(QByteArray(c.Script) + "\nC: QUIT\nS: +OK\n");
    s.Client.APOP = c.Apop;
    s.Connect();
    EXPECT_TRUE(s.Client.LoggedIn());
    EXPECT_EQ(s.Client.Utf8Enabled(), c.Utf8);
    EXPECT_EQ(s.Client.Capabilities().Has("PIPELINING"), c.Pipelining);
    s.Client.Disconnect();
    EXPECT_TRUE(s.Client.Capabilities().IsEmpty());
}

INSTANTIATE_TEST_SUITE_P(Cases, Pop3Capabilities,
                         ::testing::Values(
                             // A server without CAPA gets the plain login.
                             TCapabilityCase{"WithoutCapa", R"(
            S: +OK ready
            C: CAPA
            S: -ERR unknown command
            C: USER bob
            S: +OK
            C: PASS secret
            S: +OK)",
                                             false, false, false},
                             // RFC 6856 §2: UTF8 before USER, so messages with raw UTF-8 headers are not hidden.
                             TCapabilityCase{"Utf8BeforeUser", R"(
            S: +OK ready
            C: CAPA
            S: +OK
            S: UTF8 USER
            S: pipelining
            S: .
            C: UTF8
            S: +OK UTF8 enabled
            C: USER bob
            S: +OK
            C: PASS secret
            S: +OK)",
                                             false, true, true},
                             TCapabilityCase{"Utf8RefusedLoginGoesOn", R"(
            S: +OK ready
            C: CAPA
            S: +OK
            S: utf8
            S: .
            C: UTF8
            S: -ERR not now
            C: USER bob
            S: +OK
            C: PASS secret
            S: +OK)",
                                             false, false, false},
                             TCapabilityCase{"Utf8BeforeApop", R"(
            S: +OK ready <1.2@host>
            C: CAPA
            S: +OK
            S: UTF8
            S: .
            C: UTF8
            S: +OK
            C: APOP bob df68dac4efbd2209cc50ce36148b9eb1
            S: +OK)",
                                             true, true, false}),
                         [](const auto& tested) { return std::string(tested.param.Name); });

TEST(Pop3Client, ApopSendsTheDigestOfTimestampAndPassword)
{
    // The example of RFC 1939 §7.
    TPop3Session s(R"(
        S: +OK POP3 server ready <1896.697170952@dbc.mtview.ca.us>
        C: CAPA
        S: -ERR
        C: APOP mrose c4c9334bac560ecc979e58001b3e22fb
        S: +OK maildrop has 1 message (369 octets)
        C: QUIT
        S: +OK
    )");
    s.Client.APOP = true;
    s.Credentials.UserName = QStringLiteral("mrose");
    s.Credentials.Password = QStringLiteral("tanstaaf");
    s.Connect();
    EXPECT_TRUE(s.Client.LoggedIn());
}

TEST(Pop3Client, ApopWithoutTimestampIsARefusedLogin)
{
    TPop3Session s("S: +OK ready\nC: CAPA\nS: -ERR\nC: QUIT\nS: +OK\n");
    s.Client.APOP = true;
    s.Context.Scheduled = true;
    s.Connect();
    EXPECT_FALSE(s.Client.LoggedIn());
    EXPECT_EQ(s.Context.Logged,
              QStringList{QStringLiteral("(pop.example.org) Server do not support APOP (no timestamp)")});
}

TEST(Pop3Client, UidlListsUniqueIdsAndSkipsMalformedLines)
{
    TPop3Session s(QByteArray(kLogin) + R"(
        C: UIDL
        S: +OK
        S: 1 whqtswO00WBw418f9t5JxYwZ
        S: 2 QhdPYR:00WBw1Ph7x7
        S: 0 zero-is-no-message
        S: 3
        S: ..4 dotted
        S: .
        C: UIDL
        S: -ERR command not supported
        C: QUIT
        S: +OK
    )");
    s.Connect();
    EXPECT_EQ(s.Client.Uidl(), (QList<TPop3UidEntry>{{1, "whqtswO00WBw418f9t5JxYwZ"}, {2, "QhdPYR:00WBw1Ph7x7"}}));
    EXPECT_TRUE(s.Client.Uidl().isEmpty());
}

TEST(Pop3Client, QuitRefusalMeansDeletionsWereNotDone)
{
    TPop3Session s(QByteArray(kLogin) + "C: DELE 1\nS: +OK\nC: QUIT\nS: -ERR some deleted messages not removed\n");
    s.Connect();
    s.Client.DeleteMessage(1);
    EXPECT_THROW(s.Client.Disconnect(), EReplyError);
    EXPECT_FALSE(s.Client.Connected());
}

TEST(Pop3Client, TraceMasksCredentials)
{
    TPop3Session s(QByteArray(kLogin) + "C: QUIT\nS: +OK\n");
    s.Context.Tracing = true;
    s.Client.SetTraceSink(s.Context.TraceSink());
    s.Connect();
    s.Client.Disconnect();
    EXPECT_EQ(s.Context.TraceLines,
              (QList<QByteArray>{"S: +OK POP3 ready", "C: CAPA", "S: +OK", "S: TOP", "S: UIDL", "S: PIPELINING", "S: .",
                                 "C: USER ****", "S: +OK", "C: PASS ****", "S: +OK logged in", "C: QUIT", "S: +OK"}));
}

TEST(Pop3Client, EndlessHeaderBlockStopsAtTheReplyLimit)
{
    QByteArray script = QByteArray(kLogin) + "C: TOP 1 0\nS: +OK\n";
    const QByteArray line = "S: X-Filler: " + QByteArray(16000, 'f') + "\n";
    for (int i = 0; i < 262; ++i)
        script += line;
    TPop3Session s(script);
    s.Connect();
    TMailMessage message;
    EXPECT_THROW(s.Client.FetchHeader(1, message), ELineTooLong);
    s.Server.VerifyFinished();
}

TEST(Pop3Client, HeaderOfManyShortLinesKeepsItsBeginningAndTheCheckGoesOn)
{
    QByteArray script = QByteArray(kLogin) + "C: TOP 1 0\nS: +OK\nS: Subject: first\n";
    for (int i = 0; i < kMaxHeaderLines + 500; ++i)
        script += "S: a\n";
    script += "S: .\nC: LIST 1\nS: +OK 1 120\nC: QUIT\nS: +OK\n";
    TPop3Session s(script);
    s.Connect();
    TMailMessage message;
    s.Client.FetchHeader(1, message);
    EXPECT_EQ(message.RawHeaders.size(), kMaxHeaderLines);
    EXPECT_EQ(message.Subject, "first");
    EXPECT_EQ(message.Size, 120);
}

TEST(Pop3Client, InvalidMessageNumbersAreRefusedBeforeSending)
{
    TPop3Session s(QByteArray(kLogin) + "C: QUIT\nS: +OK\n");
    s.Connect();
    TMailMessage message;
    EXPECT_ANY_THROW(s.Client.FetchHeader(0, message));
    EXPECT_ANY_THROW(s.Client.DeleteMessage(-1));
}

}  // namespace
}  // namespace brevio::test
