#include "net/sasl_oauth.h"

#include "net/errors.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace brevio {

TOAuthMechanism ChooseOAuthMechanism(const QList<QByteArray>& offered)
{
    TOAuthMechanism chosen = TOAuthMechanism::None;
    for (const QByteArray& name : offered) {
        const QByteArray upper = name.toUpper();
        if (upper == "OAUTHBEARER")
            return TOAuthMechanism::OAuthBearer;
        if (upper == "XOAUTH2")
            chosen = TOAuthMechanism::XOAuth2;
    }
    return chosen;
}

QByteArray OAuthMechanismName(TOAuthMechanism mechanism)
{
    switch (mechanism) {
    case TOAuthMechanism::XOAuth2:
        return "XOAUTH2";
    case TOAuthMechanism::OAuthBearer:
        return "OAUTHBEARER";
    case TOAuthMechanism::None:
        break;
    }
    return {};
}

bool OAuthValueUnsendable(const QByteArray& value)
{
    for (char c : value) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            return true;
    }
    return false;
}

QByteArray OAuthInitialResponse(TOAuthMechanism mechanism, const QByteArray& user, const QByteArray& token,
                                const QString& host, int port)
{
    const QByteArray auth = "auth=Bearer " + token;
    if (mechanism == TOAuthMechanism::XOAuth2)
        return "user=" + user + '\x01' + auth + "\x01\x01";
    // RFC 5801 §4: in a saslname "," and "=" are written =2C and =3D.
    QByteArray name = user;
    name.replace('=', "=3D").replace(',', "=2C");
    QByteArray message = "n,a=" + name + ",\x01";
    if (!host.isEmpty())
        message += "host=" + host.toUtf8() + '\x01';
    if (port > 0)
        message += "port=" + QByteArray::number(port) + '\x01';
    return message + auth + "\x01\x01";
}

QByteArray OAuthChallengeStatus(const QByteArray& base64)
{
    const auto decoded = QByteArray::fromBase64Encoding(base64.trimmed(), QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded)
        return {};
    const QJsonDocument json = QJsonDocument::fromJson(*decoded);
    if (!json.isObject())
        return (*decoded).left(200);
    return json.object().value(QStringLiteral("status")).toString().toUtf8().left(200);
}

void CheckTokenMayBeSent(bool secured, const QString& securingCommand, const QByteArray& user,
                         const QByteArray& token)
{
    if (!secured)
        throw EMailClientError(TFailure{TFailureKind::TokenNeedsTls, {securingCommand}});
    if (token.isEmpty())
        throw EMailClientError(TFailure{TFailureKind::TokenMissing, {}});
    if (OAuthValueUnsendable(user) || OAuthValueUnsendable(token))
        throw EMailClientError(TFailure{TFailureKind::TokenUnsendable, {}});
}

}  // namespace brevio
