#pragma once
// A stand-in for an OAuth2 provider on loopback, for tests: the authorization endpoint (which
// signs in `User` at once and redirects with a code, as a browser session would), the token
// endpoint (authorization code with PKCE S256, refresh token), and the token introspection
// endpoint the test mail server asks whether an access token is active and for whom. It serves
// on a thread of its own, so a client blocked on the mail server never blocks it.

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QThread>
#include <QUrl>
#include <atomic>
#include <mutex>

class QTcpServer;
class QTcpSocket;

namespace brevio::test {

class TOAuthStandIn {
public:
    // Listens on 127.0.0.1:`port` (0: any free port).
    explicit TOAuthStandIn(quint16 port = 0);
    ~TOAuthStandIn();
    TOAuthStandIn(const TOAuthStandIn&) = delete;
    TOAuthStandIn& operator=(const TOAuthStandIn&) = delete;

    bool Listening() const { return port_ != 0; }
    QUrl AuthorizationUrl() const { return Url("/authorize"); }
    QUrl TokenUrl() const { return Url("/token"); }
    static constexpr const char* kClientId = "brevio-test-client";

    // Who signs in at the authorization endpoint (access tokens live an hour).
    void SetUser(const QString& user);
    // A state value the redirect carries instead of the one asked for (empty: the right one).
    void SetForgedState(const QByteArray& state);
    // Every access token stops being active / every refresh token is refused from now on.
    void ExpireAccessTokens();
    void RevokeRefreshTokens();
    std::atomic<int> CodesExchanged = 0;
    std::atomic<int> Refreshes = 0;

private:
    struct TRequest {
        QByteArray Method;
        QUrl Target;
        QByteArray Body;
    };
    struct TResponse {
        int Status = 200;
        QByteArray Location;
        QByteArray Json;
    };
    QUrl Url(const char* path) const;
    void Serve(QTcpSocket* socket);
    TResponse Handle(const TRequest& request);
    TResponse Authorize(const QUrl& target);
    TResponse Token(const QByteArray& body);
    TResponse Introspect(const QByteArray& body);
    TResponse Issue(const QString& user);

    QThread thread_;
    QTcpServer* server_ = nullptr;
    quint16 port_ = 0;
    mutable std::mutex mutex_;
    QString user_ = QStringLiteral("alice");
    QByteArray forgedState_;
    struct TCode {
        QString User;
        QByteArray Challenge;
        QByteArray RedirectUri;
    };
    QHash<QByteArray, TCode> codes_;
    QHash<QByteArray, QString> accessTokens_;   // active token -> user
    QHash<QByteArray, QString> refreshTokens_;  // valid token -> user
    int issued_ = 0;
};

}  // namespace brevio::test
