// IMAP4 greeting and login: quoting and literals for credentials, the login loop, the trace.
#include "imap_session.h"
#include "net/errors.h"
#include "imap/imap_errors.h"

#include <gtest/gtest.h>

namespace brevio::test {
namespace {

struct TCredentialCase {
    const char* Name;
    QString User;
    QString Password;
    const char* Script;  // after the greeting line
};

class Imap4Credentials : public ::testing::TestWithParam<TCredentialCase> {};

TEST_P(Imap4Credentials, AreSentAsStringsThatCannotEndTheCommand)
{
    TImapSession s(QByteArray(GetParam().Script) + "\nC: C2 LOGOUT\nS: C2 OK\n");
    s.Credentials.UserName = GetParam().User;
    s.Credentials.Password = GetParam().Password;
    s.Connect();
    EXPECT_EQ(s.Client.ConnectionState(), TImapConnectionState::Authenticated);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Imap4Credentials,
    ::testing::Values(TCredentialCase{"BlankAndQuoteAreEscaped", "bob", "pa ss\"\\", R"(
            S: * OK ready
            C: C1 LOGIN "bob" "pa ss\"\\"
            S: C1 OK)"},
                      TCredentialCase{"EmptyPasswordIsAnEmptyString", "bob", "", R"(
            S: * OK ready
            C: C1 LOGIN "bob" ""
            S: C1 OK)"},
                      TCredentialCase{"InjectionAttemptGoesAsLiteral", "bob", "x\r\nC9 DELETE INBOX", R"(
            S: * OK ready
            C: C1 LOGIN "bob" {18}
            S: + go on
            C+: x\r\nC9 DELETE INBOX\r\n
            S: C1 OK)"},
                      TCredentialCase{"NonAsciiWaitsForEachContinuation", QStringLiteral("j\u00F6rg"),
                                      QStringLiteral("p\u00E4ss"), R"(
            S: * OK ready
            C: C1 LOGIN {5}
            S: + ready
            C+: j\xC3\xB6rg {5}\r\n
            S: + ready
            C+: p\xC3\xA4ss\r\n
            S: C1 OK)"},
                      TCredentialCase{"LiteralPlusDoesNotWait", QStringLiteral("j\u00F6rg"), "pw", R"(
            S: * OK [CAPABILITY IMAP4rev1 LITERAL+] ready
            C: C1 LOGIN {5+}
            C+: j\xC3\xB6rg "pw"\r\n
            S: C1 OK)"}),
    [](const auto& tested) { return std::string(tested.param.Name); });

TEST(Imap4Login, RefusedLiteralIsARefusedLogin)
{
    TImapSession s(R"(
        S: * OK ready
        C: C1 LOGIN {5}
        S: C1 NO no literals here
        C: C2 LOGOUT
        S: C2 OK
    )");
    s.Credentials.UserName = QStringLiteral("j\u00F6rg");
    s.Context.Scheduled = true;
    s.Connect();
    EXPECT_EQ(s.Client.ConnectionState(), TImapConnectionState::NonAuthenticated);
    EXPECT_EQ(s.Context.Logged, QStringList{QStringLiteral("(imap.example.org) no literals here\r\n")});
}

TEST(Imap4Login, ScheduledRefusalLeavesTheClientUnauthenticated)
{
    TImapSession s(R"(
        S: * OK ready
        C: C1 LOGIN "bob" "secret"
        S: C1 NO [AUTHENTICATIONFAILED] bad password
        C: C2 LOGOUT
        S: C2 OK
    )");
    s.Context.Scheduled = true;
    s.Connect();
    EXPECT_EQ(s.Context.Logged,
              QStringList{QStringLiteral("(imap.example.org) [AUTHENTICATIONFAILED] bad password\r\n")});
    QList<TImapListEntry> folders;
    try {
        s.Client.ListFolders(folders);
        FAIL();
    } catch (const EWrongStateError& e) {
        EXPECT_TRUE(e.Message().contains(QStringLiteral("Non Authenticated")));
    }
}

TEST(Imap4Login, PromptedCredentialsAreTriedOnANewConnection)
{
    TImapSession s(R"(
        S: * OK ready
        C: C1 LOGIN "bob" "secret"
        S: C1 NO bad password
        C: C2 LOGOUT
        S: * BYE
        S: C2 OK
        OPEN
        S: * OK ready
        C: C1 LOGIN "alice" "new one"
        S: C1 OK
        C: C2 LOGOUT
        S: C2 OK
    )");
    s.Context.Answers = {{true, QStringLiteral("alice"), QStringLiteral("new one")}};
    s.Connect();
    EXPECT_EQ(s.Context.Prompts, QStringList{QStringLiteral("imap.example.org")});
    EXPECT_EQ(s.Client.ConnectionState(), TImapConnectionState::Authenticated);
}

TEST(Imap4Login, CancelledPromptRaisesAbort)
{
    TImapSession s(R"(
        S: * OK ready
        C: C1 LOGIN "bob" "secret"
        S: C1 BAD what
        C: C2 LOGOUT
        S: C2 OK
    )");
    EXPECT_THROW(s.Connect(), EAbort);
}

struct TGreetingCase {
    const char* Name;
    const char* Script;
    int Code;  // EReplyError code; 0: "Unrecognized IMAP4 Response Header."
};

class Imap4BadGreetings : public ::testing::TestWithParam<TGreetingCase> {};

TEST_P(Imap4BadGreetings, AreLoggedAndRaised)
{
    TImapSession s(GetParam().Script);
    try {
        s.Connect();
        FAIL();
    } catch (const EReplyError& e) {
        EXPECT_EQ(e.ReplyErrorCode(), GetParam().Code);
    } catch (const EMailClientError& e) {
        EXPECT_EQ(GetParam().Code, 0);
        EXPECT_EQ(e.Message(), QStringLiteral("Unrecognized IMAP4 Response Header."));
    }
    EXPECT_EQ(s.Context.Logged.size(), 1);
    EXPECT_FALSE(s.Client.Connected());
}

INSTANTIATE_TEST_SUITE_P(Cases, Imap4BadGreetings,
                         ::testing::Values(TGreetingCase{"Bye", "S: * BYE too busy", 5},
                                           TGreetingCase{"No", "S: * NO go away", 2},
                                           TGreetingCase{"Untagged", "S: hello", 0},
                                           TGreetingCase{"TaggedOk", "S: C1 OK", 0}),
                         [](const auto& tested) { return std::string(tested.param.Name); });

TEST(Imap4Login, StatusWordsInLowerCaseAreAccepted)
{
    TImapSession s("S: * ok ready\nC: C1 LOGIN \"bob\" \"secret\"\nS: C1 ok done\nC: C2 LOGOUT\nS: C2 Ok\n");
    s.Connect();
    EXPECT_EQ(s.Client.ConnectionState(), TImapConnectionState::Authenticated);
    s.Client.Disconnect();
}

TEST(Imap4Login, PreauthGreetingSkipsTheLogin)
{
    TImapSession s("S: * PREAUTH welcome\nC: C1 LOGOUT\nS: C1 OK\n");
    s.Connect();
    EXPECT_EQ(s.Client.ConnectionState(), TImapConnectionState::Authenticated);
}

TEST(Imap4Login, TraceMasksCredentialsAlsoInLiterals)
{
    TImapSession s(R"(
        S: * OK ready
        C: C1 LOGIN "bob" {4}
        S: + go
        C+: p\xC3\xA4\r\r\n
        S: C1 OK
        C: C2 LOGOUT
        S: C2 OK
    )");
    s.Context.Tracing = true;
    s.Client.SetTraceSink(s.Context.TraceSink());
    s.Credentials.Password = QStringLiteral("p\u00E4\r");
    s.Connect();
    s.Client.Disconnect();
    EXPECT_EQ(s.Context.TraceLines,
              (QList<QByteArray>{"S: * OK ready", "C: C1 LOGIN **** ****", "S: + go", "C: ****", "S: C1 OK",
                                 "C: C2 LOGOUT", "S: C2 OK"}));
}

TEST(Imap4Login, NulInCredentialsIsRefusedBeforeSending)
{
    TImapSession s("S: * OK ready\nC: C1 LOGOUT\nS: C1 OK\n");
    s.Credentials.Password = QString(QChar(0));
    s.Context.Scheduled = true;
    s.Connect();
    EXPECT_EQ(s.Context.Logged.size(), 1);
}

struct TUtf8Case {
    const char* Name;
    const char* Script;  // greeting through the login and the switch
    bool Utf8;
    bool Qresync = false;
};

class Imap4Utf8 : public ::testing::TestWithParam<TUtf8Case> {};

// RFC 6855: ENABLE UTF8=ACCEPT after the login when the server announced it; only its ENABLED
// answer switches folder names from modified UTF-7 to UTF-8. (Announced in the greeting only:
// see the engine's wire tests.) QRESYNC goes in the same command and is on only when confirmed.
TEST_P(Imap4Utf8, IsEnabledAfterTheLoginWhenAnnounced)
{
    const QByteArray script(GetParam().Script);
    const QByteArray logout = "C" + QByteArray::number(script.count("C: ") + 1);
    TImapSession s(script + "\nC: " + logout + " LOGOUT\nS: " + logout + " OK\n");
    s.Connect();
    EXPECT_EQ(s.Client.ConnectionState(), TImapConnectionState::Authenticated);
    EXPECT_EQ(s.Client.Utf8Enabled(), GetParam().Utf8);
    EXPECT_EQ(s.Client.QresyncEnabled(), GetParam().Qresync);
    EXPECT_EQ(s.Client.FolderDisplayName("R&AGE-D"), GetParam().Utf8 ? u"R&AGE-D" : u"RaD");
}

INSTANTIATE_TEST_SUITE_P(Cases, Imap4Utf8,
                         ::testing::Values(TUtf8Case{"AnnouncedByTheLogin", R"(
            S: * OK ready
            C: C1 LOGIN "bob" "secret"
            S: C1 OK [CAPABILITY IMAP4rev1 ENABLE utf8=accept] done
            C: C2 ENABLE UTF8=ACCEPT
            S: * ENABLED UTF8=ACCEPT
            S: C2 OK)",
                                                     true},
                                           TUtf8Case{"Preauthenticated", R"(
            S: * PREAUTH [CAPABILITY IMAP4rev1 UTF8=ACCEPT] hello
            C: C1 ENABLE UTF8=ACCEPT
            S: * ENABLED UTF8=ACCEPT
            S: C1 OK)",
                                                     true},
                                           // What the login announced replaces what was announced before it.
                                           TUtf8Case{"WithdrawnByTheLogin", R"(
            S: * OK [CAPABILITY IMAP4rev1 UTF8=ACCEPT] ready
            C: C1 LOGIN "bob" "secret"
            S: C1 OK [CAPABILITY IMAP4rev1] done)",
                                                     false},
                                           TUtf8Case{"Refused", R"(
            S: * OK [CAPABILITY IMAP4rev1 UTF8=ACCEPT] ready
            C: C1 LOGIN "bob" "secret"
            S: C1 OK done
            C: C2 ENABLE UTF8=ACCEPT
            S: C2 BAD unknown command)",
                                                     false},
                                           TUtf8Case{"NotConfirmed", R"(
            S: * OK [CAPABILITY IMAP4rev1 UTF8=ACCEPT] ready
            C: C1 LOGIN "bob" "secret"
            S: C1 OK done
            C: C2 ENABLE UTF8=ACCEPT
            S: * ENABLED
            S: C2 OK)",
                                                     false},
                                           TUtf8Case{"WithQresync", R"(
            S: * OK ready
            C: C1 LOGIN "bob" "secret"
            S: C1 OK [CAPABILITY IMAP4rev1 ENABLE UTF8=ACCEPT QRESYNC] done
            C: C2 ENABLE UTF8=ACCEPT QRESYNC
            S: * ENABLED QRESYNC
            S: C2 OK)",
                                                     false, true}),
                         [](const auto& tested) { return std::string(tested.param.Name); });

}  // namespace
}  // namespace brevio::test
