#pragma once
// What the POP3 and IMAP4 routines of a mailbox share: giving a client the mailbox's
// connection values, the login loop with its log entries and credential prompt, and writing a
// log entry in the "(host) text" form.

#include "engine/mailbox.h"
#include "net/errors.h"
#include "net/login_result.h"
#include "support/check_context.h"
#include "support/text_format.h"

namespace brevio {

inline void LogForHost(TCheckContext& context, const QString& host, const QString& text)
{
    context.Log(QStringLiteral("(%1) %2").arg(host, text));
}

// The credentials a session logs in with; the login loop replaces them with what the user typed.
struct TCredentials {
    QString UserName;
    QString Password;
};

template <class TClient>
void ConfigureClient(const TMailBox& box, TCheckContext& context, TClient& client)
{
    client.Host = box.Host;
    client.Port = box.Port;
    client.Security = box.Security;
    client.CertFingerprint = box.CertFingerprint;
    client.SetTraceSink(context.TraceSink());
}

// Connects and logs in. Connection, greeting and TLS failures are logged and raised. A refused
// login is logged; a scheduled check then gives up (returns false, still connected), otherwise
// the user is asked for new credentials (cancel raises EAbort; confirm: the old connection is
// dropped and a new round starts). Returns true when logged in.
template <class TClient>
bool LogIn(TClient& client, TCredentials& credentials, TCheckContext& context)
{
    for (;;) {
        try {
            client.Connect();
        } catch (const EMailClientError& e) {
            LogForHost(context, client.Host, e.Message());
            throw;
        }
        const TLoginReply reply = client.Login(credentials.UserName, credentials.Password);
        if (reply.LoggedIn())
            return true;
        LogForHost(context, client.Host, reply.Text);
        if (context.IsScheduledCheck())
            return false;
        QString user = credentials.UserName;
        QString password = credentials.Password;
        if (!context.AskLoginAndPassword(client.Host, user, password))
            throw EAbort();
        credentials = {user, password};
        client.QuitAfterRefusal();
    }
}

// Shows "Connecting to server (name)...", then connects and logs in between two yield points.
// A scheduled check whose login was refused goes on all the same: its first command then fails
// on the server's side and ends the mailbox's work.
template <class TClient>
void ConnectWithProgress(TCheckContext& context, const TMailBox& box, TClient& client)
{
    context.SetStatus(FormatText(Text(context, texts::ConnectingToPOP3server), {box.Name}));
    context.Yield();
    TCredentials credentials{box.UserName, box.Password};
    LogIn(client, credentials, context);
    context.Yield();
}

// Says goodbye (QUIT or LOGOUT) and closes; a connection that is already gone, or a goodbye
// that fails, ends the operation all the same.
template <class TClient>
void DisconnectQuietly(TClient& client)
{
    try {
        if (client.Connected())
            client.Disconnect();
    } catch (...) {
    }
}

}  // namespace brevio
