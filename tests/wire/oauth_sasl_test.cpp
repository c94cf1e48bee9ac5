// Signing in with an OAuth2 access token: AUTHENTICATE (IMAP4) and AUTH (POP3) with XOAUTH2 and
// OAUTHBEARER, the error challenge, and the token never going over a plain connection.
#include "imap_session.h"
#include "net/errors.h"
#include "pop3/pop3_client.h"

#include <gtest/gtest.h>

namespace brevio::test {
namespace {

// The first messages for user "bob" and token "tok" (mail.example.org, ports 993, 143 and 995),
// written out once; scripts name them {B993}, {B143}, {B995} and {X}.
const std::pair<const char*, const char*> kMessages[] = {
    {"{B993}", "bixhPWJvYiwBaG9zdD1tYWlsLmV4YW1wbGUub3JnAXBvcnQ9OTkzAWF1dGg9QmVhcmVyIHRvawEB"},
    {"{B143}", "bixhPWJvYiwBaG9zdD1tYWlsLmV4YW1wbGUub3JnAXBvcnQ9MTQzAWF1dGg9QmVhcmVyIHRvawEB"},
    {"{B995}", "bixhPWJvYiwBaG9zdD1tYWlsLmV4YW1wbGUub3JnAXBvcnQ9OTk1AWF1dGg9QmVhcmVyIHRvawEB"},
    {"{X}", "dXNlcj1ib2IBYXV0aD1CZWFyZXIgdG9rAQE="},
    {"{JSON}", "eyJzdGF0dXMiOiJpbnZhbGlkX3Rva2VuIiwic2NoZW1lcyI6ImJlYXJlciJ9"},
};

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
    // What the server announces (IMAP4: in the greeting; POP3: the SASL line of CAPA); nullptr:
    // the script has the greeting itself.
    const char* Offers;
    const char* Script;   // after the greeting
    const char* Refusal;  // nullptr: signed in; else a text the logged refusal contains
    QByteArray Token;
};

// TLS first when the connection has it, the greeting with the offers, then the case's script.
QByteArray BuildScript(const TSaslCase& c)
{
    QByteArray script = c.Security == TSecurity::Tls ? "TLS\n" : "";
    if (c.Offers && c.Imap)
        script += QByteArray("S: * OK [CAPABILITY IMAP4rev1 ") + c.Offers + "] ready\n";
    else if (c.Offers)
        script += QByteArray("S: +OK ready\nC: CAPA\nS: +OK\nS: ") + c.Offers + "\nS: .\n";
    script += c.Script;
    for (const auto& [name, message] : kMessages)
        script.replace(name, message);
    return script;
}

int PortOf(const TSaslCase& c)
{
    if (c.Imap)
        return c.Security == TSecurity::Tls ? 993 : 143;
    return c.Security == TSecurity::Tls ? 995 : 110;
}

class OAuthSignIn : public ::testing::TestWithParam<TSaslCase> {};

TEST_P(OAuthSignIn, SendsTheTokenOnlyAsTheScriptSays)
{
    const TSaslCase& c = GetParam();
    TScriptedServer server(BuildScript(c).constData());
    TRenewingContext context;
    context.Scheduled = true;
    context.Tracing = true;
    TMailBoxSettings box;
    box.Host = QStringLiteral("mail.example.org");
    box.Port = PortOf(c);
    box.Security = c.Security;
    box.SignIn = TSignInMethod::OAuth2;
    bool signedIn = false;
    auto run = [&](auto& client) {
        ConfigureClient(box, context, client);
        TCredentials credentials{QStringLiteral("bob"), QString::fromLatin1(c.Token)};
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
    for (const QByteArray& line : std::as_const(context.TraceLines))
        EXPECT_FALSE(line.contains("dXNlcj1ib2I") || line.contains("bixhPWJvYi")) << line.constData();
    EXPECT_TRUE(context.Prompts.isEmpty());
}

constexpr TSecurity kTls = TSecurity::Tls;

INSTANTIATE_TEST_SUITE_P(
    Cases, OAuthSignIn,
    ::testing::Values(TSaslCase{"ImapPrefersOAuthBearerInlineWithSaslIr", true, kTls,
                                "SASL-IR AUTH=XOAUTH2 AUTH=OAUTHBEARER LOGINDISABLED", R"(
        C: C1 AUTHENTICATE OAUTHBEARER {B993}
        S: C1 OK [CAPABILITY IMAP4rev1] signed in
        C: C2 LOGOUT
        S: C2 OK)",
                                nullptr, "tok"},
                      TSaslCase{"ImapXOAuth2WaitsForTheContinuation", true, kTls, "AUTH=XOAUTH2", R"(
        C: C1 AUTHENTICATE XOAUTH2
        S: +
        C: {X}
        S: C1 OK signed in
        C: C2 LOGOUT
        S: C2 OK)",
                                nullptr, "tok"},
                      // RFC 7628 §3.2.3: the error challenge is answered with ^A (OAUTHBEARER), or an empty line.
                      TSaslCase{"ImapErrorChallengeGetsControlAThenNo", true, kTls, "SASL-IR AUTH=OAUTHBEARER", R"(
        C: C1 AUTHENTICATE OAUTHBEARER {B993}
        S: + {JSON}
        C: AQ==
        S: C1 NO [AUTHENTICATIONFAILED] token refused
        C: C2 LOGOUT
        S: C2 OK)",
                                "token refused (invalid_token)", "tok"},
                      TSaslCase{"ImapXOAuth2ErrorChallengeGetsAnEmptyLine", true, kTls, "SASL-IR AUTH=XOAUTH2", R"(
        C: C1 AUTHENTICATE XOAUTH2 {X}
        S: + {JSON}
        C:
        S: C1 NO refused
        C: C2 LOGOUT
        S: C2 OK)",
                                "refused (invalid_token)", "tok"},
                      TSaslCase{"ImapWithoutMechanismSendsNothing", true, kTls, "AUTH=PLAIN", R"(
        C: C1 LOGOUT
        S: C1 OK)",
                                "no sign-in with a token", "tok"},
                      TSaslCase{"ImapPlainConnectionNeverGetsTheToken", true, TSecurity::None,
                                "SASL-IR AUTH=OAUTHBEARER", R"(
        C: C1 LOGOUT
        S: C1 OK)",
                                "secured connection", "tok"},
                      // The token follows the handshake and the capabilities asked again after it.
                      TSaslCase{"ImapTokenOnlyAfterStartTls", true, TSecurity::StartTls, nullptr, R"(
        S: * OK [CAPABILITY IMAP4rev1 STARTTLS SASL-IR AUTH=XOAUTH2] ready
        C: C1 STARTTLS
        S: C1 OK go
        TLS
        C: C2 CAPABILITY
        S: * CAPABILITY IMAP4rev1 SASL-IR AUTH=OAUTHBEARER
        S: C2 OK
        C: C3 AUTHENTICATE OAUTHBEARER {B143}
        S: C3 OK
        C: C4 LOGOUT
        S: C4 OK)",
                                nullptr, "tok"},
                      TSaslCase{"ImapTokenWithLineBreakIsNotSent", true, kTls, "SASL-IR AUTH=OAUTHBEARER", R"(
        C: C1 LOGOUT
        S: C1 OK)",
                                "cannot be sent", "tok\r\nC9 DELETE INBOX"},
                      TSaslCase{"Pop3OAuthBearerInline", false, kTls, "SASL PLAIN XOAUTH2 OAUTHBEARER", R"(
        C: AUTH OAUTHBEARER {B995}
        S: +OK signed in
        C: QUIT
        S: +OK)",
                                nullptr, "tok"},
                      // RFC 5034 §4: a command line over 255 octets sends the response after an empty challenge.
                      TSaslCase{"Pop3LongTokenGoesAfterTheChallenge", false, kTls, "SASL XOAUTH2", R"(
        C: AUTH XOAUTH2
        S: +
        C: dXNlcj1ib2IBYXV0aD1CZWFyZXIgdHR0dHR0dHR0dHR0dHR0dHR0dHR0dHR0dHR0dHR0dHR0dHR0dHR0dHR0dHR0dHR0dHR0dHR0dHR0dHR0dHR0dHR0dHR0dHR0dHR0dHR0dHR0dHR0dHR0dHR0dHR0dHR0dHR0dHR0dHR0dHR0dHR0dHR0dHR0dHR0dHR0dHR0dHR0dHR0dHR0dHR0dHR0dHR0dHR0dHR0dHR0dHR0dHR0dHR0dHR0dHR0dHR0dHR0dHR0dHR0dHR0dHR0dHR0dHR0dHR0dHR0dHQBAQ==
        S: +OK
        C: QUIT
        S: +OK)",
                                nullptr, QByteArray(200, 't')},
                      TSaslCase{"Pop3ErrorChallenge", false, kTls, "SASL OAUTHBEARER", R"(
        C: AUTH OAUTHBEARER {B995}
        S: + {JSON}
        C: AQ==
        S: -ERR [AUTH] expired
        C: QUIT)",
                                "expired (invalid_token)", "tok"},
                      TSaslCase{"Pop3WithoutSaslSendsNothing", false, kTls, "USER", R"(
        C: QUIT)",
                                "no sign-in with a token", "tok"},
                      TSaslCase{"Pop3PlainConnectionNeverGetsTheToken", false, TSecurity::None, "SASL OAUTHBEARER", R"(
        C: QUIT)",
                                "secured connection", "tok"}),
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
