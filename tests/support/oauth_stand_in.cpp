#include "support/oauth_stand_in.h"

#include "oauth/oauth_pkce.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUrlQuery>

namespace brevio::test {

namespace {

QByteArray Json(const QJsonObject& object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

QByteArray Error(const char* code)
{
    return Json({{QStringLiteral("error"), QString::fromLatin1(code)}});
}

QString Field(const QUrlQuery& query, const char* name)
{
    return query.queryItemValue(QString::fromLatin1(name), QUrl::FullyDecoded);
}

QUrlQuery FormOf(const QByteArray& body)
{
    // Form encoding writes blanks as "+".
    return QUrlQuery(QString::fromUtf8(QByteArray(body).replace('+', "%20")));
}

}  // namespace

TOAuthStandIn::TOAuthStandIn(quint16 port)
{
    thread_.start();
    server_ = new QTcpServer;
    server_->moveToThread(&thread_);
    QMetaObject::invokeMethod(
        server_,
        [this, port] {
            QObject::connect(server_, &QTcpServer::newConnection, server_, [this] {
                while (QTcpSocket* socket = server_->nextPendingConnection())
                    Serve(socket);
            });
            if (server_->listen(QHostAddress::LocalHost, port))
                port_ = server_->serverPort();
        },
        Qt::BlockingQueuedConnection);
}

TOAuthStandIn::~TOAuthStandIn()
{
    QMetaObject::invokeMethod(
        server_, [this] { delete server_; }, Qt::BlockingQueuedConnection);
    thread_.quit();
    thread_.wait();
}

QUrl TOAuthStandIn::Url(const char* path) const
{
    return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(port_).arg(QLatin1String(path)));
}

void TOAuthStandIn::SetUser(const QString& user)
{
    std::lock_guard lock(mutex_);
    user_ = user;
}

void TOAuthStandIn::SetForgedState(const QByteArray& state)
{
    std::lock_guard lock(mutex_);
    forgedState_ = state;
}

void TOAuthStandIn::ExpireAccessTokens()
{
    std::lock_guard lock(mutex_);
    accessTokens_.clear();
}

void TOAuthStandIn::RevokeRefreshTokens()
{
    std::lock_guard lock(mutex_);
    refreshTokens_.clear();
}

// One request per connection: the head, then as many body bytes as Content-Length says.
void TOAuthStandIn::Serve(QTcpSocket* socket)
{
    QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
        QByteArray data = socket->property("data").toByteArray() + socket->readAll();
        socket->setProperty("data", data);
        const qsizetype headEnd = data.indexOf("\r\n\r\n");
        if (headEnd < 0)
            return;
        const QList<QByteArray> lines = data.left(headEnd).split('\n');
        qsizetype length = 0;
        for (const QByteArray& line : lines) {
            if (line.toLower().startsWith("content-length:"))
                length = line.mid(15).trimmed().toLongLong();
        }
        if (data.size() < headEnd + 4 + length)
            return;
        const QList<QByteArray> first = lines.value(0).trimmed().split(' ');
        const TResponse response =
            Handle({first.value(0), QUrl(QString::fromLatin1(first.value(1))), data.mid(headEnd + 4, length)});
        const char* reason = response.Status == 200 ? "OK" : response.Status == 302 ? "Found" : "Bad Request";
        QByteArray head = "HTTP/1.1 " + QByteArray::number(response.Status) + ' ' + reason + "\r\n";
        if (!response.Location.isEmpty())
            head += "Location: " + response.Location + "\r\n";
        head += "Content-Type: application/json\r\nConnection: close\r\nContent-Length: "
            + QByteArray::number(response.Json.size()) + "\r\n\r\n";
        socket->write(head + response.Json);
        socket->disconnectFromHost();
    });
}

TOAuthStandIn::TResponse TOAuthStandIn::Handle(const TRequest& request)
{
    std::lock_guard lock(mutex_);
    const QString path = request.Target.path();
    if (request.Method == "GET" && path == QLatin1String("/authorize"))
        return Authorize(request.Target);
    if (request.Method == "POST" && path == QLatin1String("/token"))
        return Token(request.Body);
    if (request.Method == "POST" && path == QLatin1String("/introspect"))
        return Introspect(request.Body);
    return {404, {}, Error("not_found")};
}

TOAuthStandIn::TResponse TOAuthStandIn::Authorize(const QUrl& target)
{
    const QUrlQuery query(target);
    if (Field(query, "client_id") != QLatin1String(kClientId) || Field(query, "response_type") != QLatin1String("code")
        || Field(query, "code_challenge_method") != QLatin1String("S256") || Field(query, "code_challenge").isEmpty())
        return {400, {}, Error("invalid_request")};
    const QByteArray code = RandomUrlToken(16);
    const QByteArray redirect = Field(query, "redirect_uri").toUtf8();
    codes_.insert(code, {user_, Field(query, "code_challenge").toLatin1(), redirect});
    QUrl back(QString::fromUtf8(redirect));
    QUrlQuery answer;
    answer.addQueryItem(QStringLiteral("code"), QString::fromLatin1(code));
    answer.addQueryItem(QStringLiteral("state"),
                        forgedState_.isEmpty() ? Field(query, "state") : QString::fromLatin1(forgedState_));
    back.setQuery(answer);
    return {302, back.toEncoded(), {}};
}

TOAuthStandIn::TResponse TOAuthStandIn::Token(const QByteArray& body)
{
    const QUrlQuery form = FormOf(body);
    if (Field(form, "client_id") != QLatin1String(kClientId))
        return {400, {}, Error("invalid_client")};
    const QString grant = Field(form, "grant_type");
    if (grant == QLatin1String("authorization_code")) {
        const TCode code = codes_.take(Field(form, "code").toLatin1());
        // RFC 7636 §4.6: the verifier must hash to the challenge the authorization had.
        if (code.User.isEmpty() || code.RedirectUri != Field(form, "redirect_uri").toUtf8()
            || PkceChallenge(Field(form, "code_verifier").toLatin1()) != code.Challenge)
            return {400, {}, Error("invalid_grant")};
        ++CodesExchanged;
        return Issue(code.User);
    }
    if (grant == QLatin1String("refresh_token")) {
        const QString user = refreshTokens_.value(Field(form, "refresh_token").toLatin1());
        if (user.isEmpty())
            return {400, {}, Error("invalid_grant")};
        ++Refreshes;
        return Issue(user);
    }
    return {400, {}, Error("unsupported_grant_type")};
}

TOAuthStandIn::TResponse TOAuthStandIn::Issue(const QString& user)
{
    const QByteArray access = "at" + QByteArray::number(++issued_) + '-' + RandomUrlToken(12);
    const QByteArray refresh = "rt-" + RandomUrlToken(12);
    accessTokens_.insert(access, user);
    refreshTokens_.insert(refresh, user);
    return {200,
            {},
            Json({{QStringLiteral("access_token"), QString::fromLatin1(access)},
                  {QStringLiteral("refresh_token"), QString::fromLatin1(refresh)},
                  {QStringLiteral("token_type"), QStringLiteral("Bearer")},
                  {QStringLiteral("expires_in"), 3600}})};
}

// What the mail server asks (RFC 7662): is this token active, and whose is it.
TOAuthStandIn::TResponse TOAuthStandIn::Introspect(const QByteArray& body)
{
    const QString user = accessTokens_.value(Field(FormOf(body), "token").toLatin1());
    if (user.isEmpty())
        return {200, {}, Json({{QStringLiteral("active"), false}})};
    return {200, {}, Json({{QStringLiteral("active"), true}, {QStringLiteral("username"), user}})};
}

}  // namespace brevio::test
