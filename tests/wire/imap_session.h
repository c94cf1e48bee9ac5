#pragma once
// A scripted IMAP4 session for wire tests: a context, a scripted server, a client and the
// credentials it logs in with.

#include "engine/mailbox_client_setup.h"
#include "imap/imap_client.h"
#include "support/scripted_transport.h"
#include "support/test_check_context.h"

namespace brevio::test {

// Greeting and a plain LOGIN as the first command.
inline constexpr const char* kImapLogin = R"(
    S: * OK IMAP4rev1 ready
    C: C1 LOGIN "bob" "secret"
    S: C1 OK LOGIN completed
)";

struct TImapSession {
    explicit TImapSession(const QByteArray& script) : Server(script.constData()), Client(Server.Factory())
    {
        Client.Host = QStringLiteral("imap.example.org");
    }
    // Connects and logs in as the engine does, with its login loop.
    bool Connect() { return LogIn(Client, Credentials, Context); }

    TTestCheckContext Context;
    TCredentials Credentials{QStringLiteral("bob"), QStringLiteral("secret")};
    TScriptedServer Server;
    TImap4Client Client;
};

}  // namespace brevio::test
