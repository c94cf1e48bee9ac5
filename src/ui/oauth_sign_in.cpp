#include "ui/oauth_sign_in.h"

#include "oauth/oauth_presets.h"

#include <QDesktopServices>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QOAuth2AuthorizationCodeFlow>
#include <QOAuthHttpServerReplyHandler>
#include <QTimer>

namespace brevio {

bool OpenInSystemBrowser(const QUrl& url)
{
    return QDesktopServices::openUrl(url);
}

TOAuthSignIn::TOAuthSignIn(const TMailBoxSettings& box, const TStringTable& strings, QObject* parent)
    : QObject(parent), box_(box), strings_(strings), pkce_(MakePkcePair())
{
}

TOAuthSignIn::~TOAuthSignIn() = default;

void TOAuthSignIn::Start(const TBrowserOpener& browser)
{
    const TOAuthEndpoints endpoints = OAuthEndpointsOf(box_);
    if (box_.OAuthClientId.isEmpty() || !QUrl(endpoints.AuthorizationUrl).isValid()
        || !QUrl(endpoints.TokenUrl).isValid() || endpoints.AuthorizationUrl.isEmpty()
        || endpoints.TokenUrl.isEmpty()) {
        Fail(Text(texts::OAuthNeedsClient));
        return;
    }
    // Port 0: the system gives a free port, which goes into the redirect address.
    handler_ = new QOAuthHttpServerReplyHandler(QHostAddress::LocalHost, 0, this);
    if (!handler_->isListening()) {
        Fail(Text(texts::OAuthNoLoopback));
        return;
    }
    flow_ = new QOAuth2AuthorizationCodeFlow(this);
    flow_->setAuthorizationUrl(QUrl(endpoints.AuthorizationUrl));
    flow_->setAccessTokenUrl(QUrl(endpoints.TokenUrl));
    flow_->setScope(endpoints.Scope);
    flow_->setClientIdentifier(box_.OAuthClientId);
    flow_->setClientIdentifierSharedKey(box_.OAuthClientSecret);
    flow_->setReplyHandler(handler_);
    // Qt only warns when the token endpoint refuses the code; its answer ends the sign-in here.
    auto* network = new QNetworkAccessManager(this);
    flow_->setNetworkAccessManager(network);
    connect(network, &QNetworkAccessManager::finished, this, [this](QNetworkReply* reply) {
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        if (reply->error() == QNetworkReply::NoError && status < 400)
            return;
        Fail(status == 0 ? reply->errorString() : ParseTokenReply(status, reply->peek(64 * 1024)).Error);
    });
    // Qt adds no PKCE of its own: the challenge goes with the authorization request, the
    // verifier with the code (RFC 7636 §4.3, §4.5).
    flow_->setModifyParametersFunction([this](QAbstractOAuth::Stage stage, QMultiMap<QString, QVariant>* parameters) {
        if (stage == QAbstractOAuth::Stage::RequestingAuthorization) {
            parameters->replace(QStringLiteral("code_challenge"), QString::fromLatin1(pkce_.Challenge));
            parameters->replace(QStringLiteral("code_challenge_method"), QStringLiteral("S256"));
            if (!box_.UserName.isEmpty())
                parameters->replace(QStringLiteral("login_hint"), box_.UserName);
        } else if (stage == QAbstractOAuth::Stage::RequestingAccessToken) {
            parameters->replace(QStringLiteral("code_verifier"), QString::fromLatin1(pkce_.Verifier));
        }
    });
    // Checked here as well as by Qt, which only warns: an answer to another request ends this
    // one with a clear reason instead of leaving it waiting.
    connect(handler_, &QAbstractOAuthReplyHandler::callbackReceived, this, &TOAuthSignIn::OnCallback);
    connect(flow_, &QOAuth2AuthorizationCodeFlow::granted, this, &TOAuthSignIn::OnGranted);
    connect(flow_, &QAbstractOAuth2::error, this,
            [this](const QString& error, const QString& description, const QUrl&) {
                Fail(description.isEmpty() ? error : error + QStringLiteral(": ") + description);
            });
    connect(flow_, &QAbstractOAuth::requestFailed, this,
            [this](QAbstractOAuth::Error) { Fail(Text(texts::OAuthCodeRefused)); });
    connect(flow_, &QAbstractOAuth::authorizeWithBrowser, this, [this, browser](const QUrl& url) {
        if (!browser(url))
            Fail(Text(texts::OAuthNoBrowser));
    });
    flow_->grant();
}

void TOAuthSignIn::OnCallback(const QVariantMap& values)
{
    if (values.value(QStringLiteral("state")).toString() != flow_->state()) {
        Fail(Text(texts::OAuthStateMismatch));
        return;
    }
    const QString error = values.value(QStringLiteral("error")).toString();
    if (!error.isEmpty())
        Fail(error + QLatin1Char(' ') + values.value(QStringLiteral("error_description")).toString());
}

void TOAuthSignIn::OnGranted()
{
    TTokenReply reply;
    reply.Kind = TTokenReply::TKind::Granted;
    reply.AccessToken = flow_->token();
    reply.RefreshToken = flow_->refreshToken();
    const QDateTime expires = flow_->expirationAt();
    reply.ExpiresIn = expires.isValid() ? qMax<qint64>(1, QDateTime::currentDateTime().secsTo(expires)) : 3600;
    Finish(reply);
}

void TOAuthSignIn::Cancel()
{
    Fail(Text(texts::OAuthCancelled));
}

void TOAuthSignIn::Fail(const QString& why)
{
    TTokenReply reply;
    reply.Error = why;
    Finish(reply);
}

void TOAuthSignIn::Finish(TTokenReply reply)
{
    if (finished_)
        return;
    finished_ = true;
    // No further answer is taken on the loopback port.
    if (handler_)
        handler_->close();
    emit Finished(reply);
}

TTokenReply SignInAndWait(const TMailBoxSettings& box, const TStringTable& strings, const TBrowserOpener& browser,
                          int timeoutSeconds)
{
    TOAuthSignIn signIn(box, strings);
    TTokenReply result;
    bool done = false;
    QEventLoop loop;
    QObject::connect(&signIn, &TOAuthSignIn::Finished, &loop, [&](const TTokenReply& reply) {
        result = reply;
        done = true;
        loop.quit();
    });
    QTimer::singleShot(timeoutSeconds * 1000, &signIn, [&] { signIn.Fail(strings.Text(texts::OAuthNoAnswer)); });
    signIn.Start(browser);
    if (!done)
        loop.exec();
    return result;
}

}  // namespace brevio
