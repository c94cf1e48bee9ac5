#pragma once
// The SASL mechanisms that carry an OAuth2 access token: XOAUTH2 and OAUTHBEARER (RFC 7628).
// Pure functions over bytes; the POP3 and IMAP4 clients send and read them.

#include <QByteArray>
#include <QList>
#include <QString>

namespace brevio {

enum class TOAuthMechanism { None, XOAuth2, OAuthBearer };

// The mechanism to use among the names a server offers (case ignored): OAUTHBEARER, the
// standard one, over XOAUTH2; None when neither is offered.
TOAuthMechanism ChooseOAuthMechanism(const QList<QByteArray>& offered);
QByteArray OAuthMechanismName(TOAuthMechanism mechanism);

// The client's first message, not yet base64-encoded. XOAUTH2:
// "user=<user>^Aauth=Bearer <token>^A^A"; OAUTHBEARER (RFC 7628 §3.1): the GS2 header with the
// authorization identity ("=" and "," escaped), then host, port and auth key-value pairs.
QByteArray OAuthInitialResponse(TOAuthMechanism mechanism, const QByteArray& user, const QByteArray& token,
                                const QString& host, int port);

// True when the user name or the token holds a byte that cannot stand in the message (a
// control character, which would end a key-value pair or the line early).
bool OAuthValueUnsendable(const QByteArray& value);

// Raises the failure that keeps a token from going out, checked before anything is sent (a token
// is as good as a password to whoever reads it): a connection not secured (`securingCommand`
// names the protocol's own way to secure it), no token yet, or a byte that cannot be sent.
void CheckTokenMayBeSent(bool secured, const QString& securingCommand, const QByteArray& user,
                         const QByteArray& token);

// The status of the server's error challenge (RFC 7628 §3.2.2: base64 of a JSON object with
// "status", "scope" and "schemes"); the decoded text when it is no such object, empty when it is
// empty or not base64.
QByteArray OAuthChallengeStatus(const QByteArray& base64);

}  // namespace brevio
