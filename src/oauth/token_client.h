#pragma once
// The provider's token endpoint (RFC 6749 §4.1.3 and §6): a form POSTed over HTTP(S), a JSON
// answer. The requests run to their end on the calling thread, which may be any thread.

#include <QByteArray>
#include <QString>
#include <QUrl>
#include <QUrlQuery>

namespace brevio {

struct TTokenReply {
    enum class TKind {
        Granted,  // a new access token (and perhaps a new refresh token)
        Refused,  // invalid_grant: the refresh token or code is no longer good; sign in again
        Failed,   // anything else: no connection, a server error, an answer that makes no sense
    };
    TKind Kind = TKind::Failed;
    QString AccessToken;
    QString RefreshToken;     // empty: the old one stays good
    qint64 ExpiresIn = 3600;  // seconds
    QString Error;            // not granted: why, in the provider's words where there are some

    bool Granted() const { return Kind == TKind::Granted; }
};

// Reads the endpoint's answer: its HTTP status and body.
TTokenReply ParseTokenReply(int httpStatus, const QByteArray& body);

// POSTs `form` to `url` and reads the answer; waits at most `timeoutSeconds`.
TTokenReply PostTokenRequest(const QUrl& url, const QUrlQuery& form, int timeoutSeconds = 30);

// The refresh grant (RFC 6749 §6) for a client; an empty secret is not sent.
TTokenReply RefreshAccessToken(const QUrl& tokenUrl, const QString& clientId, const QString& clientSecret,
                               const QString& refreshToken, int timeoutSeconds = 30);

}  // namespace brevio
