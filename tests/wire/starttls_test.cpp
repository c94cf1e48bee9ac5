// Securing connections: TLS from the first byte, STLS and STARTTLS with every way they can fail.
#include "imap_session.h"
#include "net/errors.h"
#include "pop3/pop3_client.h"

#include <gtest/gtest.h>

namespace brevio::test {
namespace {

struct TTlsCase {
    const char* Name;
    bool Imap;
    const char* Script;
    bool Succeeds;  // else ETlsError, logged, and no credentials sent
};

class StartTls : public ::testing::TestWithParam<TTlsCase> {};

TEST_P(StartTls, SecuresBeforeTheLoginOrStops)
{
    const TTlsCase& c = GetParam();
    TScriptedServer server(c.Script);
    TTestCheckContext context;
    TCredentials credentials{QStringLiteral("bob"), QStringLiteral("secret")};
    std::unique_ptr<TImap4Client> imap;
    std::unique_ptr<TPop3Client> pop;
    auto connect = [&] {
        if (c.Imap) {
            imap = std::make_unique<TImap4Client>(server.Factory());
            imap->Security = TSecurity::StartTls;
            imap->Host = QStringLiteral("mail.example.org");
            LogIn(*imap, credentials, context);
        } else {
            pop = std::make_unique<TPop3Client>(server.Factory());
            pop->Security = TSecurity::StartTls;
            pop->Host = QStringLiteral("mail.example.org");
            LogIn(*pop, credentials, context);
        }
    };
    if (c.Succeeds) {
        connect();
        EXPECT_EQ(server.TlsStarts, 1);
        EXPECT_EQ(server.LastTlsOptions.HostName, QStringLiteral("mail.example.org"));
        EXPECT_TRUE(context.Logged.isEmpty());
    } else {
        EXPECT_THROW(connect(), ETlsError);
        ASSERT_EQ(context.Logged.size(), 1);
        EXPECT_TRUE(context.Logged[0].startsWith(QStringLiteral("(mail.example.org) The server")));
        EXPECT_TRUE(context.Prompts.isEmpty());
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, StartTls,
                         ::testing::Values(
                             // RFC 2595 §4: what CAPA said before TLS is forgotten (no UTF8 switch here) and asked
                             // again after the handshake.
                             TTlsCase{"Pop3Stls", false, R"(
            S: +OK ready
            C: CAPA
            S: +OK
            S: USER
            S: UTF8
            S: STLS
            S: .
            C: STLS
            S: +OK begin TLS
            S: -ERR injected before the handshake
            TLS
            C: CAPA
            S: +OK
            S: USER
            S: .
            C: USER bob
            S: +OK
            C: PASS secret
            S: +OK
            C: QUIT
            S: +OK)",
                                      true},
                             TTlsCase{"Pop3Utf8OfferedAfterTheHandshake", false, R"(
            S: +OK ready
            C: CAPA
            S: +OK
            S: STLS
            S: .
            C: STLS
            S: +OK
            TLS
            C: CAPA
            S: +OK
            S: UTF8
            S: .
            C: UTF8
            S: +OK
            C: USER bob
            S: +OK
            C: PASS secret
            S: +OK
            C: QUIT
            S: +OK)",
                                      true},
                             TTlsCase{"Pop3StlsNotOffered", false, R"(
            S: +OK ready
            C: CAPA
            S: +OK
            S: USER
            S: .)",
                                      false},
                             TTlsCase{"Pop3WithoutCapa", false, R"(
            S: +OK ready
            C: CAPA
            S: -ERR what)",
                                      false},
                             TTlsCase{"Pop3StlsRefused", false, R"(
            S: +OK ready
            C: CAPA
            S: +OK
            S: STLS
            S: .
            C: STLS
            S: -ERR not now)",
                                      false},
                             TTlsCase{"ImapStartTls", true, R"(
            S: * OK ready
            C: C1 CAPABILITY
            S: * CAPABILITY IMAP4rev1 STARTTLS LOGINDISABLED
            S: C1 OK
            C: C2 STARTTLS
            S: C2 OK begin TLS
            S: C3 OK injected before the handshake
            TLS
            C: C3 CAPABILITY
            S: * CAPABILITY IMAP4rev1 AUTH=PLAIN
            S: C3 OK
            C: C4 LOGIN "bob" "secret"
            S: C4 OK
            C: C5 LOGOUT
            S: C5 OK)",
                                      true},
                             TTlsCase{"ImapCapabilitiesFromTheGreetingAreNotTrustedAfterTls", true, R"(
            S: * OK [CAPABILITY IMAP4rev1 STARTTLS LITERAL+] ready
            C: C1 STARTTLS
            S: C1 OK
            TLS
            C: C2 CAPABILITY
            S: * CAPABILITY IMAP4rev1
            S: C2 OK
            C: C3 LOGIN "bob" "secret"
            S: C3 OK
            C: C4 LOGOUT
            S: C4 OK)",
                                      true},
                             TTlsCase{"ImapStartTlsNotOffered", true, R"(
            S: * OK [CAPABILITY IMAP4rev1] ready)",
                                      false},
                             TTlsCase{"ImapStartTlsRefused", true, R"(
            S: * OK ready
            C: C1 CAPABILITY
            S: * CAPABILITY IMAP4rev1 STARTTLS
            S: C1 OK
            C: C2 STARTTLS
            S: C2 NO not today)",
                                      false},
                             TTlsCase{"ImapPreauth", true, R"(
            S: * PREAUTH [CAPABILITY IMAP4rev1 STARTTLS] hello)",
                                      false}),
                         [](const auto& tested) { return std::string(tested.param.Name); });

TEST(ImplicitTls, StartsBeforeTheGreetingIsRead)
{
    TImapSession s("TLS\nS: * OK ready\nC: C1 LOGIN \"bob\" \"secret\"\nS: C1 OK\nC: C2 LOGOUT\nS: C2 OK\n");
    s.Client.Security = TSecurity::Tls;
    s.Client.CertFingerprint = QStringLiteral("ab12");
    s.Client.Port = 993;
    s.Connect();
    EXPECT_EQ(s.Server.OpenedPort, 993);
    EXPECT_EQ(s.Server.LastTlsOptions.CertFingerprint, QStringLiteral("ab12"));
}

}  // namespace
}  // namespace brevio::test
