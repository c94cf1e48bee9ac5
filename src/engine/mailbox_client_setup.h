#pragma once
// What the POP3 and IMAP4 routines of a mailbox share: giving a client the mailbox's
// connection values, and writing a log entry in the "(host) text" form.

#include "engine/mailbox.h"
#include "protocol/message_client.h"
#include "support/check_context.h"
#include "support/text_format.h"

namespace brevio {

inline void ConfigureClient(const TMailBox& box, TMessageClient& client)
{
    client.Host = box.Host;
    client.Port = box.Port;
    client.Security = box.Security;
    client.CertFingerprint = box.CertFingerprint;
    client.Username = box.UserName;
    client.Password = box.Password;
}

// Shows "Connecting to server (name)...", then connects and logs in between two yield points.
template <class TClient>
void ConnectWithProgress(TCheckContext& context, const TMailBox& box, TClient& client)
{
    context.SetStatus(FormatText(Text(context, texts::ConnectingToPOP3server), {box.Name}));
    context.Yield();
    client.Connect();
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

inline void LogForHost(TCheckContext& context, const QString& host, const QString& text)
{
    context.Log(QStringLiteral("(%1) %2").arg(host, text));
}

}  // namespace brevio
