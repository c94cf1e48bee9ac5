// With Russian chosen, the log tells connection and protocol failures in Russian: the engine words
// them from the run's string table, keeping the server's own words.
#include "net/socket_transport.h"
#include "pop3/pop3_client.h"
#include "support/shipped_strings.h"
#include "engine/mailbox_client_setup.h"
#include "support/scripted_transport.h"
#include "support/test_check_context.h"

#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace brevio::test {
namespace {

struct TRussianCase {
    const char* name;
    const char* script;
    TSecurity security;
    const char* password;
    const char* logged;
};

TEST(RussianLog, FailuresOfTheConversation)
{
    const TRussianCase cases[] = {
        {"refused STLS", R"(
            S: +OK ready
            C: CAPA
            S: +OK
            S: STLS
            S: .
            C: STLS
            S: -ERR not now)",
         TSecurity::StartTls, "secret", "(mail.example.org) Сервер отклонил STLS: not now\r\n"},
        // Refused before anything is sent: the login's own refusal, in the table's words too.
        {"password that cannot be sent", R"(
            S: +OK ready
            C: CAPA
            S: -ERR
            C: QUIT
            S: +OK)",
         TSecurity::None, "sec\nret",
         "(mail.example.org) Имя пользователя или пароль содержит перевод строки, их нельзя отправить."},
    };
    for (const TRussianCase& c : cases) {
        TScriptedServer server(c.script);
        TTestCheckContext context;
        context.Texts = ShippedStrings(QStringLiteral("RUS"));
        context.Scheduled = true;
        TPop3Client client(server.Factory());
        client.Host = QStringLiteral("mail.example.org");
        client.Security = c.security;
        TCredentials credentials{QStringLiteral("bob"), QString::fromUtf8(c.password)};
        try {
            LogIn(client, credentials, context);
        } catch (const EMailClientError&) {
        }
        EXPECT_EQ(context.Logged.join(u'|').toStdString(), c.logged) << c.name;
    }
}

// A loopback port nobody listens on: bound for a moment, then let go.
int ClosedLoopbackPort()
{
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    ::bind(s, reinterpret_cast<sockaddr*>(&address), size);
    ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &size);
    ::close(s);
    return ntohs(address.sin_port);
}

TEST(RussianLog, RefusedConnectionOnARealSocket)
{
    TTestCheckContext context;
    context.Texts = ShippedStrings(QStringLiteral("RUS"));
    TPop3Client client([] { return std::make_unique<TSocketTransport>(nullptr, 5); });
    client.Host = QStringLiteral("127.0.0.1");
    client.Port = ClosedLoopbackPort();
    TCredentials credentials{QStringLiteral("bob"), QStringLiteral("secret")};
    EXPECT_THROW(LogIn(client, credentials, context), ESocketError);
    EXPECT_EQ(context.Logged.join(u'|').toStdString(), "(127.0.0.1) Ошибка сокета № 10061\r\nВ соединении отказано.");
}

}  // namespace
}  // namespace brevio::test
