#pragma once
// A scripted IMAP4 session for wire tests: a context, a scripted server, a client and the
// credentials it logs in with; and builders for the lines many scripts share.

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

// The login above, then INBOX selected as C2; the test's own lines go on from tag C3.
inline QByteArray InboxSelected(const QByteArray& rest)
{
    return QByteArray(kImapLogin) + "C: C2 SELECT \"INBOX\"\nS: C2 OK\n" + rest;
}

// An untagged FETCH of message `number` that carries `items` and then `header` as a literal,
// the way servers send RFC822.HEADER.
inline QByteArray ImapHeaderFetch(int number, const QByteArray& items, const QByteArray& header)
{
    return "S: * " + QByteArray::number(number) + " FETCH (" + items + (items.isEmpty() ? "" : " ") + "RFC822.HEADER {"
        + QByteArray::number(header.size()) + "}\nS+: " + QByteArray(header).replace("\r\n", "\\r\\n") + "\nS: )\n";
}

// A header with this subject from a@example.org, as a server stores it.
inline QByteArray SubjectHeader(const QByteArray& subject)
{
    return "Subject: " + subject + "\r\nFrom: a@example.org\r\n\r\n";
}

struct TImapSession {
    explicit TImapSession(const QByteArray& script) : Server(script.constData()), Client(Server.Factory())
    {
        Client.Host = QStringLiteral("imap.example.org");
    }
    // Connects and logs in as the engine does, with its login loop.
    bool Connect() { return LogIn(Client, Credentials, Context); }
    // Connects and selects INBOX, for the scripts made with InboxSelected.
    void ConnectToInbox()
    {
        Connect();
        Client.SelectFolder("INBOX");
    }

    TTestCheckContext Context;
    TCredentials Credentials{QStringLiteral("bob"), QStringLiteral("secret")};
    TScriptedServer Server;
    TImap4Client Client;
};

}  // namespace brevio::test
