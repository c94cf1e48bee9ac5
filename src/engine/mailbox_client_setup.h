#pragma once
// What the POP3 and IMAP4 sessions of a mailbox share: giving a client the mailbox's connection
// values, the login loop with its log entries and credential prompt, the offer to trust a
// certificate that did not verify, the session skeleton around each protocol's work, and
// writing a log entry in the "(host) text" form.

#include "engine/failure_text.h"
#include "engine/mailbox_settings.h"
#include "engine/message_identity.h"
#include "net/errors.h"
#include "net/line_channel.h"
#include "net/login_result.h"
#include "support/abort_signal.h"
#include "engine/check_context.h"
#include "support/text_format.h"

#include <functional>
#include <utility>

namespace brevio {

inline void LogForHost(TCheckContext& context, const QString& host, const QString& text)
{
    context.Log(QStringLiteral("(%1) %2").arg(host, text));
}

// The credentials a session logs in with; the login loop replaces them with what the user typed.
struct TCredentials {
    QString UserName;
    QString Password;  // signing in with OAuth2: the access token
};

// Signing in with OAuth2: gives a fresh access token after a refusal (empty: none).
using TTokenRenewal = std::function<QString()>;

template <class TClient>
void ConfigureClient(const TMailBoxSettings& box, TCheckContext& context, TClient& client)
{
    client.Host = box.Host;
    client.Port = box.Port;
    client.Security = box.Security;
    client.CertFingerprint = box.CertFingerprint;
    client.TrustedAuthServId = box.TrustedAuthServId.toUtf8();
    client.BearerSignIn = box.SignIn == TSignInMethod::OAuth2;
    client.SetTraceSink(context.TraceSink());
}

// Only a certificate that did not verify is offered, never a pinned one that changed (that is
// what pinning guards against) nor one too weak to trust, and never in a scheduled run, where
// nobody is there to answer.
inline bool MayOfferTrust(const ETlsError& error, const TCheckContext& context)
{
    const auto& certificate = error.Certificate();
    return certificate && !certificate->Fingerprint.isEmpty() && MayBeTrusted(*certificate)
        && !context.IsScheduledCheck();
}

// Connects and logs in. Connection, greeting and TLS failures are logged and raised; a
// certificate the user will be asked to trust is logged only if the user declines. A refused
// login is logged; a scheduled check then gives up (returns false, still connected), otherwise
// the user is asked for new credentials (cancel raises EAbort; confirm: the old connection is
// dropped and a new round starts). Returns true when logged in. A refused access token is renewed
// once and tried once more on a new connection; nobody is asked for a password then.
template <class TClient>
bool LogIn(TClient& client, TCredentials& credentials, TCheckContext& context, TTokenRenewal renewToken = {})
{
    for (;;) {
        try {
            client.Connect();
        } catch (const EMailClientError& e) {
            const auto* tls = dynamic_cast<const ETlsError*>(&e);
            if (!tls || !MayOfferTrust(*tls, context))
                LogForHost(context, client.Host, FailureText(e, context.Strings()));
            throw;
        }
        const TLoginReply reply = client.Login(credentials.UserName, credentials.Password);
        if (reply.LoggedIn())
            return true;
        if (client.BearerSignIn) {
            // Over a plain connection the token was never sent, so there is nothing to renew.
            if (renewToken && client.Security != TSecurity::None) {
                const QString token = std::exchange(renewToken, {})();
                if (!token.isEmpty()) {
                    credentials.Password = token;
                    client.QuitAfterRefusal();
                    continue;
                }
            }
            LogForHost(context, client.Host, FailureText(reply.Refusal, context.Strings()));
            return false;
        }
        LogForHost(context, client.Host, FailureText(reply.Refusal, context.Strings()));
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
// and ends the mailbox's work without a further log entry (POP3: the server refuses it; IMAP4:
// the client refuses to send it outside the authenticated state).
// Returns whether the login was accepted.
template <class TClient>
bool ConnectWithProgress(TCheckContext& context, const TMailBoxSettings& box, TClient& client)
{
    context.SetStatus(FormatText(Text(context, texts::ConnectingToPOP3server), {box.Name}));
    context.ThrowIfAborted();
    TCredentials credentials{box.UserName, box.Password};
    TTokenRenewal renewToken;
    if (box.SignIn == TSignInMethod::OAuth2) {
        credentials.Password = box.AccessToken;
        renewToken = [&context, &box] { return context.RenewAccessToken(box); };
    }
    const bool loggedIn = LogIn(client, credentials, context, std::move(renewToken));
    context.ThrowIfAborted();
    return loggedIn;
}

// ConnectWithProgress, and when the server's certificate did not verify, asks the user once (a
// refusal is logged then); on trust the connection is tried once more with that certificate pinned, and
// `trustedFingerprint` (when given) receives its fingerprint so the caller can keep it. Returns
// whether the login was accepted.
template <class TClient>
bool ConnectOfferingTrust(TCheckContext& context, const TMailBoxSettings& box, TClient& client,
                          QString* trustedFingerprint)
{
    QString fingerprint;
    try {
        return ConnectWithProgress(context, box, client);
    } catch (const ETlsError& e) {
        if (!MayOfferTrust(e, context))
            throw;
        // Several mailboxes may share a host: the question names the one it is about.
        TCertificateInfo certificate = *e.Certificate();
        certificate.MailBox = box.Name;
        if (!context.AskTrustCertificate(certificate)) {
            LogForHost(context, box.Host, FailureText(e, context.Strings()));
            throw;
        }
        fingerprint = e.Certificate()->Fingerprint;
    }
    TMailBoxSettings trusted = box;
    trusted.CertFingerprint = fingerprint;
    ConfigureClient(trusted, context, client);
    if (trustedFingerprint)
        *trustedFingerprint = fingerprint;
    return ConnectWithProgress(context, trusted, client);
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

// Logs a failure that ended a session's work after the login: a connection that dropped, timed
// out or broke its TLS while messages were being listed or deleted. Without this entry a listing
// cut short would look complete. Not logged: the user's abort; a server's refusal, which the
// places that must tell it log themselves.
inline void LogSessionFailure(TCheckContext& context, const QString& host, const std::exception& failure)
{
    const auto* own = dynamic_cast<const EMailClientError*>(&failure);
    if (!own || dynamic_cast<const EReplyError*>(own))
        return;
    if (context.AbortSignal() && context.AbortSignal()->IsTriggered())
        return;
    LogForHost(context, host, FailureText(*own, context.Strings()));
}

// The skeleton of every session: make the client, give it the mailbox's connection values,
// connect and log in, do `body`, then `finish` (the goodbye). A failure anywhere in between, or
// the user's abort, ends the body; connection and login failures are logged where they happen,
// a connection lost after the login here. Returns true when the body ran to its end.
template <class TClient, class TBody, class TFinish>
bool RunSession(const TMailBoxSettings& box, TCheckContext& context, const TTransportFactory& factory,
                QString* trustedFingerprint, TBody&& body, TFinish&& finish)
{
    TClient client(factory);
    ConfigureClient(box, context, client);
    bool ended = false;
    bool loggedIn = false;
    try {
        loggedIn = ConnectOfferingTrust(context, box, client, trustedFingerprint);
        body(client);
        ended = true;
    } catch (const std::exception& e) {
        if (loggedIn)
            LogSessionFailure(context, box.Host, e);
    } catch (...) {
    }
    finish(client);
    return ended;
}

template <class TClient, class TBody>
bool RunSession(const TMailBoxSettings& box, TCheckContext& context, const TTransportFactory& factory,
                QString* trustedFingerprint, TBody&& body)
{
    return RunSession<TClient>(box, context, factory, trustedFingerprint, std::forward<TBody>(body),
                               [](TClient& client) { DisconnectQuietly(client); });
}

class TImap4Client;
struct TImapCommandResult;

// Expunges the selected folder so that only the messages with the UIDs `ours` (already marked
// \Deleted) go. With UIDPLUS: UID EXPUNGE of them. Without it EXPUNGE removes every marked
// message, also those another program marked and means to expunge itself (RFC 4315 §1), so
// their marks come off for the expunge and go back on after it, and a line in the log names
// `folder` and how many were kept. When the marks cannot be found or taken off, nothing is
// expunged and the refusal comes back. Connection failures raise.
TImapCommandResult ExpungeOnlyOurs(TImap4Client& client, const QList<quint32>& ours, const QString& folder,
                                   TCheckContext& context, const QString& host);

// The protocol halves behind CheckMailBox and DeleteMessages; `factory` is never empty here.
// `complete` receives whether the check listed everything.
QList<TFoundMessage> CheckPop3(const TMailBoxSettings& box, TCheckContext& context, const TTransportFactory& factory,
                               QString* trustedFingerprint, bool& complete);
void DeletePop3(const TMailBoxSettings& box, const QList<TMessageIdentity>& messages, TCheckContext& context,
                const TTransportFactory& factory, QString* trustedFingerprint);
QList<TFoundMessage> CheckImap4(const TMailBoxSettings& box, TCheckContext& context, const TTransportFactory& factory,
                                QString* trustedFingerprint, bool& complete);
void DeleteImap4(const TMailBoxSettings& box, const QList<TMessageIdentity>& messages, TCheckContext& context,
                 const TTransportFactory& factory, QString* trustedFingerprint);

}  // namespace brevio
