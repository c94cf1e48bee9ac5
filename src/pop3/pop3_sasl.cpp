// Signing in with an OAuth2 access token: AUTH OAUTHBEARER (RFC 7628) or XOAUTH2 (RFC 5034).
#include "pop3/pop3_client.h"

#include "net/errors.h"
#include "net/sasl_oauth.h"

namespace brevio {

namespace {

// RFC 5034 §4: an AUTH command with its initial response must fit in 255 octets; a longer one
// goes after the server's empty challenge instead.
constexpr qsizetype kMaxAuthLine = 255;

TOAuthMechanism OfferedMechanism(const TPop3Capabilities& capabilities)
{
    for (const QByteArray& line : capabilities.Lines()) {
        const QList<QByteArray> words = line.simplified().split(' ');
        if (words.value(0).toUpper() == "SASL")
            return ChooseOAuthMechanism(words.mid(1));
    }
    return TOAuthMechanism::None;
}

}  // namespace

bool TPop3Client::ReadSaslLine(QByteArray& challenge, const QString& detail)
{
    const QByteArray line = channel_.ReadLine();
    if (line.startsWith("+OK"))
        return true;
    if (line == "+" || line.startsWith("+ ")) {
        challenge = line.mid(2);
        return false;
    }
    if (line.startsWith("-ERR"))
        throw EReplyError(QString::fromUtf8(line.mid(4).trimmed()) + detail, kErr);
    throw EMailClientError(TFailure{TFailureKind::Pop3UnrecognizedReply, {QString::fromUtf8(line.left(200))}});
}

void TPop3Client::AuthenticateBearer(const QByteArray& user, const QByteArray& token)
{
    CheckTokenMayBeSent(Security != TSecurity::None, QStringLiteral("STLS"), user, token);
    const TOAuthMechanism mechanism = OfferedMechanism(capabilities_);
    if (mechanism == TOAuthMechanism::None)
        throw EMailClientError(TFailure{TFailureKind::TokenNotOffered, {QStringLiteral("SASL OAUTHBEARER, XOAUTH2")}});
    const QByteArray command = "AUTH " + OAuthMechanismName(mechanism);
    const QByteArray response = OAuthInitialResponse(mechanism, user, token, Host, Port).toBase64();
    QByteArray challenge;
    bool done = false;
    if (command.size() + 1 + response.size() <= kMaxAuthLine) {
        channel_.SendLine(command + ' ' + response, command + " ****");
        done = ReadSaslLine(challenge);
    } else {
        channel_.SendLine(command);
        if (ReadSaslLine(challenge))
            throw EMailClientError(TFailure{TFailureKind::TokenAcceptedEarly, {}});
        channel_.SendLine(response, "****");
        done = ReadSaslLine(challenge);
    }
    if (done)
        return;
    // The server's error challenge (RFC 7628 §3.2.2) waits for one more response before "-ERR":
    // a single ^A for OAUTHBEARER (§3.2.3), an empty one for XOAUTH2.
    const QByteArray status = OAuthChallengeStatus(challenge);
    channel_.SendLine(mechanism == TOAuthMechanism::OAuthBearer ? QByteArray("AQ==") : QByteArray());
    const QString detail = status.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(QString::fromUtf8(status));
    if (ReadSaslLine(challenge, detail))
        return;
    throw EMailClientError(TFailure{TFailureKind::TokenSecondChallenge, {}});
}

}  // namespace brevio
