// Signing in with an OAuth2 access token: AUTHENTICATE (IMAP4) and AUTH (POP3) with XOAUTH2 and
// OAUTHBEARER, the error challenge, and the token never going over a plain connection.
#include "net/errors.h"
#include "imap_session.h"
#include "pop3/pop3_client.h"

#include <gtest/gtest.h>

namespace brevio::test {
namespace {

// A context that hands out renewed tokens from a list.
class TRenewingContext : public TTestCheckContext {
public:
    QStringList Tokens;
    int Renewals = 0;
    QString RenewAccessToken(const TMailBoxSettings&) override
    {
        ++Renewals;
        return Tokens.isEmpty() ? QString() : Tokens.takeFirst();
    }
};

struct TSaslCase {
    const char* Name;
    bool Imap;
    TSecurity Security;
    int Port;
    QByteArray Token;
    const char* Script;
    const char* Refusal;  // nullptr: signed in; else a text the logged refusal contains
};

class OAuthSignIn : public ::testing::TestWithParam<TSaslCase> {};

TEST_P(OAuthSignIn, SendsTheTokenOnlyAsTheScriptSays)
{
    const TSaslCase& c = GetParam();
    TScriptedServer server(c.Script);
    TRenewingContext context;
    context.Scheduled = true;
    context.Tracing = true;
    TMailBoxSettings box;
    box.Host = QStringLiteral("mail.example.org");
    box.Port = c.Port;
    box.Security = c.Security;
    box.UserName = QStringLiteral("bob");
    box.SignIn = TSignInMethod::OAuth2;
    box.AccessToken = QString::fromLatin1(c.Token);
    bool signedIn = false;
    auto run = [&](auto& client) {
        ConfigureClient(box, context, client);
        TCredentials credentials{box.UserName, box.AccessToken};
        signedIn = LogIn(client, credentials, context);
        if (signedIn)
            DisconnectQuietly(client);
        else
            client.QuitAfterRefusal();
    };
    if (c.Imap) {
        TImap4Client client(server.Factory());
        run(client);
    } else {
        TPop3Client client(server.Factory());
        run(client);
    }
    server.VerifyFinished();
    EXPECT_EQ(signedIn, c.Refusal == nullptr);
    if (c.Refusal) {
        ASSERT_EQ(context.Logged.size(), 1);
        EXPECT_TRUE(context.Logged[0].contains(QString::fromLatin1(c.Refusal))) << context.Logged[0].toStdString();
    }
    // The token is masked in the trace as a password is.
    for (const QByteArray& line : std::as_const(context.TraceLines)) {
        EXPECT_FALSE(line.contains("dXNlcj1ib2I") || line.contains("bixhPWJvYi")) << line.constData();
    }
    EXPECT_TRUE(context.Prompts.isEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, OAuthSignIn,
    ::testing::Values(TSaslCase{"ImapPrefersOAuthBearerInlineWithSaslIr", true, TSecurity::Tls, 993, "tok", R"(
        TLS
        S: * OK [CAPABILITY IMAP4rev1 SASL-IR AUTH=XOAUTH2 AUTH=OAUTHBEARER LOGINDISABLED] ready
        C: C1 AUTHENTICATE OAUTHBEARER bixhPWJvYiwBaG9zdD1tYWlsLmV4YW1wbGUub3JnAXBvcnQ9OTkzAWF1dGg9QmVhcmVyIHRvawEB
        S: C1 OK [CAPABILITY IMAP4rev1] signed in
        C: C2 LOGOUT
        S: C2 OK)",
                                nullptr},
                      TSaslCase{"ImapXOAuth2WaitsForTheContinuation", true, TSecurity::Tls, 993, "tok", R"(
        TLS
        S: * OK [CAPABILITY IMAP4rev1 AUTH=XOAUTH2] ready
        C: C1 AUTHENTICATE XOAUTH2
        S: +
        C: dXNlcj1ib2IBYXV0aD1CZWFyZXIgdG9rAQE=
        S: C1 OK signed in
        C: C2 LOGOUT
        S: C2 OK)",
                                nullptr},
                      TSaslCase{"ImapErrorChallengeGetsControlAThenNo", true, TSecurity::Tls, 993, "tok", R"(
        TLS
        S: * OK [CAPABILITY IMAP4rev1 SASL-IR AUTH=OAUTHBEARER] ready
        C: C1 AUTHENTICATE OAUTHBEARER bixhPWJvYiwBaG9zdD1tYWlsLmV4YW1wbGUub3JnAXBvcnQ9OTkzAWF1dGg9QmVhcmVyIHRvawEB
        S: + eyJzdGF0dXMiOiJpbnZhbGlkX3Rva2VuIiwic2NoZW1lcyI6ImJlYXJlciJ9
        C: AQ==
        S: C1 NO [AUTHENTICATIONFAILED] token refused
        C: C2 LOGOUT
        S: C2 OK)",
                                "token refused (invalid_token)"},
                      TSaslCase{"ImapXOAuth2ErrorChallengeGetsAnEmptyLine", true, TSecurity::Tls, 993, "tok", R"(
        TLS
        S: * OK [CAPABILITY IMAP4rev1 SASL-IR AUTH=XOAUTH2] ready
        C: C1 AUTHENTICATE XOAUTH2 dXNlcj1ib2IBYXV0aD1CZWFyZXIgdG9rAQE=
        S: + eyJzdGF0dXMiOiJpbnZhbGlkX3Rva2VuIiwic2NoZW1lcyI6ImJlYXJlciJ9
        C: 
        S: C1 NO refused
        C: C2 LOGOUT
        S: C2 OK)",
                                "refused (invalid_token)"},
                      TSaslCase{"ImapWithoutMechanismSendsNothing", true, TSecurity::Tls, 993, "tok", R"(
        TLS
        S: * OK [CAPABILITY IMAP4rev1 AUTH=PLAIN] ready
        C: C1 LOGOUT
        S: C1 OK)",
                                "no sign-in with a token"},
                      TSaslCase{"ImapPlainConnectionNeverGetsTheToken", true, TSecurity::None, 143, "tok", R"(
        S: * OK [CAPABILITY IMAP4rev1 SASL-IR AUTH=OAUTHBEARER] ready
        C: C1 LOGOUT
        S: C1 OK)",
                                "secured connection"},
                      // Before the handshake the token would be readable by anyone on the way, so it follows TLS
                      // and the capabilities asked again after it.
                      TSaslCase{"ImapTokenOnlyAfterStartTls", true, TSecurity::StartTls, 143, "tok", R"(
        S: * OK [CAPABILITY IMAP4rev1 STARTTLS SASL-IR AUTH=XOAUTH2] ready
        C: C1 STARTTLS
        S: C1 OK go
        TLS
        C: C2 CAPABILITY
        S: * CAPABILITY IMAP4rev1 SASL-IR AUTH=OAUTHBEARER
        S: C2 OK
        C: C3 AUTHENTICATE OAUTHBEARER bixhPWJvYiwBaG9zdD1tYWlsLmV4YW1wbGUub3JnAXBvcnQ9MTQzAWF1dGg9QmVhcmVyIHRvawEB
        S: C3 OK
        C: C4 LOGOUT
        S: C4 OK)",
                                nullptr},
                      TSaslCase{"ImapTokenWithLineBreakIsNotSent", true, TSecurity::Tls, 993, "tok\r\nC9 DELETE INBOX",
                                R"(
        TLS
        S: * OK [CAPABILITY IMAP4rev1 SASL-IR AUTH=OAUTHBEARER] ready
        C: C1 LOGOUT
        S: C1 OK)",
                                "cannot be sent"},
                      TSaslCase{"Pop3OAuthBearerInline", false, TSecurity::Tls, 995, "tok", R"(
        TLS
        S: +OK ready
        C: CAPA
        S: +OK
        S: SASL PLAIN XOAUTH2 OAUTHBEARER
        S: .
        C: AUTH OAUTHBEARER bixhPWJvYiwBaG9zdD1tYWlsLmV4YW1wbGUub3JnAXBvcnQ9OTk1AWF1dGg9QmVhcmVyIHRvawEB
        S: +OK signed in
        C: QUIT
        S: +OK)",
                                nullptr},
                      // RFC 5034 §4: a command line over 255 octets sends the response after an empty challenge.
                      TSaslCase{"Pop3LongTokenGoesAfterTheChallenge", false, TSecurity::Tls, 995, QByteArray(200, 't'),
                                R"(
        TLS
        S: +OK ready
        C: CAPA
        S: +OK
        S: SASL XOAUTH2
        S: .
        C: AUTH XOAUTH2
        S: +
        C: dXNlcj1ib2IBYXV0aD1CZWFyZXIgdHR0dHR0dHR0dHR0dHR0dHR0dHR0dHR0dHR0dHR0dHR0dHR0dHR0dHR0dHR0dHR0dHR0dHR0dHR0dHR0dHR0dHR0dHR0dHR0dHR0dHR0dHR0dHR0dHR0dHR0dHR0dHR0dHR0dHR0dHR0dHR0dHR0dHR0dHR0dHR0dHR0dHR0dHR0dHR0dHR0dHR0dHR0dHR0dHR0dHR0dHR0dHR0dHR0dHR0dHR0dHR0dHR0dHR0dHR0dHR0dHR0dHR0dHR0dHR0dHR0dHR0dHQBAQ==
        S: +OK
        C: QUIT
        S: +OK)",
                                nullptr},
                      TSaslCase{"Pop3ErrorChallenge", false, TSecurity::Tls, 995, "tok", R"(
        TLS
        S: +OK ready
        C: CAPA
        S: +OK
        S: SASL OAUTHBEARER
        S: .
        C: AUTH OAUTHBEARER bixhPWJvYiwBaG9zdD1tYWlsLmV4YW1wbGUub3JnAXBvcnQ9OTk1AWF1dGg9QmVhcmVyIHRvawEB
        S: + eyJzdGF0dXMiOiJpbnZhbGlkX3Rva2VuIiwic2NoZW1lcyI6ImJlYXJlciJ9
        C: AQ==
        S: -ERR [AUTH] expired
        C: QUIT)",
                                "expired (invalid_token)"},
                      TSaslCase{"Pop3WithoutSaslSendsNothing", false, TSecurity::Tls, 995, "tok", R"(
        TLS
        S: +OK ready
        C: CAPA
        S: +OK
        S: USER
        S: .
        C: QUIT)",
                                "no sign-in with a token"},
                      TSaslCase{"Pop3PlainConnectionNeverGetsTheToken", false, TSecurity::None, 110, "tok", R"(
        S: +OK ready
        C: CAPA
        S: +OK
        S: SASL OAUTHBEARER
        S: .
        C: QUIT)",
                                "secured connection"}),
    [](const auto& tested) { return std::string(tested.param.Name); });

TEST(OAuthSignInRenewal, RefusedTokenIsRenewedOnceAndTriedOnANewConnection)
{
    TScriptedServer server(R"(
        TLS
        S: * OK [CAPABILITY IMAP4rev1 SASL-IR AUTH=XOAUTH2] ready
        C: C1 AUTHENTICATE XOAUTH2 dXNlcj1ib2IBYXV0aD1CZWFyZXIgb2xkAQE=
        S: C1 NO expired
        C: C2 LOGOUT
        S: C2 OK
        CLOSE
        OPEN
        TLS
        S: * OK [CAPABILITY IMAP4rev1 SASL-IR AUTH=XOAUTH2] ready
        C: C1 AUTHENTICATE XOAUTH2 dXNlcj1ib2IBYXV0aD1CZWFyZXIgdG9rAQE=
        S: C1 NO still refused
        C: C2 LOGOUT
        S: C2 OK)");
    TRenewingContext context;
    context.Tokens = {QStringLiteral("tok")};
    TImap4Client client(server.Factory());
    client.Host = QStringLiteral("mail.example.org");
    client.Security = TSecurity::Tls;
    client.BearerSignIn = true;
    TMailBoxSettings box;
    TCredentials credentials{QStringLiteral("bob"), QStringLiteral("old")};
    EXPECT_FALSE(LogIn(client, credentials, context, [&] { return context.RenewAccessToken(box); }));
    client.QuitAfterRefusal();
    EXPECT_EQ(context.Renewals, 1);
    EXPECT_EQ(context.Logged, QStringList{QStringLiteral("(mail.example.org) still refused")});
    EXPECT_TRUE(context.Prompts.isEmpty());
}

}  // namespace
}  // namespace brevio::test
