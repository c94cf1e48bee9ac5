#include "oauth/token_client.h"

#include <QEventLoop>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>

namespace brevio {

namespace {

constexpr qsizetype kMaxAnswerBytes = 1 << 20;

}  // namespace

TTokenReply ParseTokenReply(int httpStatus, const QByteArray& body)
{
    TTokenReply reply;
    const QJsonDocument json = QJsonDocument::fromJson(body);
    const QJsonObject object = json.object();
    const QString error = object.value(QStringLiteral("error")).toString();
    if (!error.isEmpty() || httpStatus < 200 || httpStatus > 299) {
        const QString description = object.value(QStringLiteral("error_description")).toString();
        reply.Kind = error == QLatin1String("invalid_grant") ? TTokenReply::TKind::Refused : TTokenReply::TKind::Failed;
        reply.Error = error.isEmpty() ? QStringLiteral("HTTP %1").arg(httpStatus) : error;
        if (!description.isEmpty())
            reply.Error += QStringLiteral(": ") + description.left(300);
        return reply;
    }
    reply.AccessToken = object.value(QStringLiteral("access_token")).toString();
    if (reply.AccessToken.isEmpty()) {
        reply.Error = QStringLiteral("no access_token in the answer");
        return reply;
    }
    reply.Kind = TTokenReply::TKind::Granted;
    reply.RefreshToken = object.value(QStringLiteral("refresh_token")).toString();
    // expires_in is a number by RFC 6749 §5.1; some providers send it as a string.
    const QJsonValue expires = object.value(QStringLiteral("expires_in"));
    const qint64 seconds = expires.isString() ? expires.toString().toLongLong() : expires.toInteger(3600);
    reply.ExpiresIn = seconds > 0 ? seconds : 3600;
    return reply;
}

TTokenReply PostTokenRequest(const QUrl& url, const QUrlQuery& form, int timeoutSeconds)
{
    if (!url.isValid() || (url.scheme() != QLatin1String("https") && url.scheme() != QLatin1String("http"))) {
        TTokenReply reply;
        reply.Error = QStringLiteral("the token endpoint is not an http(s) address: %1").arg(url.toString());
        return reply;
    }
    QNetworkAccessManager network;
    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/x-www-form-urlencoded"));
    request.setRawHeader("Accept", "application/json");
    request.setTransferTimeout(timeoutSeconds * 1000);
    QNetworkReply* answer = network.post(request, form.query(QUrl::FullyEncoded).toUtf8());
    QEventLoop loop;
    QObject::connect(answer, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QObject::connect(answer, &QNetworkReply::downloadProgress, answer, [answer](qint64 received, qint64) {
        if (received > kMaxAnswerBytes)
            answer->abort();
    });
    if (!answer->isFinished())
        loop.exec();
    const int status = answer->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const QByteArray body = answer->readAll();
    const QString networkError =
        answer->error() != QNetworkReply::NoError && status == 0 ? answer->errorString() : QString();
    delete answer;
    if (!networkError.isEmpty()) {
        TTokenReply reply;
        reply.Error = networkError;
        return reply;
    }
    return ParseTokenReply(status, body);
}

TTokenReply RefreshAccessToken(const QUrl& tokenUrl, const QString& clientId, const QString& clientSecret,
                               const QString& refreshToken, int timeoutSeconds)
{
    QUrlQuery form;
    form.addQueryItem(QStringLiteral("grant_type"), QStringLiteral("refresh_token"));
    form.addQueryItem(QStringLiteral("refresh_token"), QString::fromLatin1(QUrl::toPercentEncoding(refreshToken)));
    form.addQueryItem(QStringLiteral("client_id"), QString::fromLatin1(QUrl::toPercentEncoding(clientId)));
    if (!clientSecret.isEmpty())
        form.addQueryItem(QStringLiteral("client_secret"), QString::fromLatin1(QUrl::toPercentEncoding(clientSecret)));
    return PostTokenRequest(tokenUrl, form, timeoutSeconds);
}

}  // namespace brevio
