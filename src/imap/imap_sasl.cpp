// Signing in with an OAuth2 access token: AUTHENTICATE OAUTHBEARER (RFC 7628) or XOAUTH2, with
// the initial response inline when the server has SASL-IR (RFC 4959).
#include "imap/imap_client.h"

#include "net/errors.h"
#include "net/sasl_oauth.h"

namespace brevio {

namespace {

using Code = TImapReplyCode;

TOAuthMechanism OfferedMechanism(const QList<QByteArray>& capabilities)
{
    QList<QByteArray> offered;
    for (const QByteArray& name : capabilities) {
        if (name.startsWith("AUTH="))
            offered.append(name.mid(5));
    }
    return ChooseOAuthMechanism(offered);
}

QByteArray LastLine(const TReply& reply)
{
    return reply.Text.value(reply.Text.size() - 1);
}

}  // namespace

TReply TImap4Client::AuthenticateBearer(const QByteArray& user, const QByteArray& token)
{
    CheckTokenMayBeSent(Security != TSecurity::None, QStringLiteral("STARTTLS"), user, token);
    const TOAuthMechanism mechanism = OfferedMechanism(Capability());
    if (mechanism == TOAuthMechanism::None) {
        throw EMailClientError(TFailure{TFailureKind::TokenNotOffered, {QStringLiteral("AUTH=OAUTHBEARER, AUTH=XOAUTH2")}});
    }
    const QByteArray response = OAuthInitialResponse(mechanism, user, token, Host, Port).toBase64();
    const QByteArray tag = "C" + QByteArray::number(++commandCounter_);
    const QByteArray command = tag + " AUTHENTICATE " + OAuthMechanismName(mechanism);
    if (HasCapability("SASL-IR")) {
        channel_.SendLine(command + ' ' + response, command + " ****");
    } else {
        channel_.SendLine(command);
        // A refusal instead of "+" ends the command (the refusal raises EReplyError).
        ReadTaggedReply(tag, {Code::Continuation});
        channel_.SendLine(response, "****");
    }
    TReply reply = ReadTaggedReply(tag, {Code::Ok, Code::No, Code::Bad, Code::Continuation});
    QByteArray status;
    if (ImapReplyCode(reply) == Code::Continuation) {
        // The server's error challenge (RFC 7628 §3.2.2) waits for one more response before the
        // tagged NO: a single ^A for OAUTHBEARER (§3.2.3), an empty one for XOAUTH2.
        status = OAuthChallengeStatus(LastLine(reply));
        channel_.SendLine(mechanism == TOAuthMechanism::OAuthBearer ? QByteArray("AQ==") : QByteArray());
        reply = ReadTaggedReply(tag, {Code::Ok, Code::No, Code::Bad});
    }
    if (ImapReplyCode(reply) == Code::Ok)
        return reply;
    QString text = QString::fromUtf8(LastLine(reply));
    if (!status.isEmpty())
        text += QStringLiteral(" (%1)").arg(QString::fromUtf8(status));
    throw EReplyError(text, reply.NumericCode());
}

}  // namespace brevio
