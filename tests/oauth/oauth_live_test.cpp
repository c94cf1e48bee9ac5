// OAuth2 sign-in end to end: the sign-in flow against the provider stand-in (the test plays the
// browser), then checks of the test server with the access token over IMAP4 and POP3, with
// OAUTHBEARER and XOAUTH2, and what happens when tokens expire or are revoked.
#include "live/live_support.h"

#include "engine/mailbox_session.h"
#include "net/socket_transport.h"
#include "oauth/run_tokens.h"
#include "support/oauth_stand_in.h"
#include "ui/oauth_sign_in.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <cstring>
#include <gtest/gtest.h>

namespace brevio::test {
namespace {

// A real connection that hides OAUTHBEARER from the server's announcements, so the client falls
// back to XOAUTH2 (the server offers both).
class TXOAuth2OnlyTransport : public TTransport {
public:
    TXOAuth2OnlyTransport(TAbortSignal* abort, int timeout) : inner_(abort, timeout) {}
    void Open(const QString& host, int port) override { inner_.Open(host, port); }
    bool IsOpen() const override { return inner_.IsOpen(); }
    qsizetype Receive(char* buffer, qsizetype capacity) override
    {
        const qsizetype got = inner_.Receive(buffer, capacity);
        QByteArray bytes = QByteArray::fromRawData(buffer, got);
        for (qsizetype at = bytes.indexOf("OAUTHBEARER"); at >= 0; at = bytes.indexOf("OAUTHBEARER", at + 1))
            std::memcpy(buffer + at, "NOTOFFERED_", 11);
        return got;
    }
    void Send(const char* data, qsizetype size) override { inner_.Send(data, size); }
    void StartTls(const TTlsOptions& options) override { inner_.StartTls(options); }
    void Close() override { inner_.Close(); }

private:
    TSocketTransport inner_;
};

// A check context whose refused tokens are renewed through the keeper, signing in again only in
// a check the user started.
class TOAuthContext : public TLiveContext {
public:
    TOAuthContext(TOAuthTokenKeeper& keeper, TSignInFunction signIn) : keeper_(keeper), signIn_(std::move(signIn)) {}
    QString RenewAccessToken(const TMailBoxSettings& box) override
    {
        QString failure;
        const QString token = ObtainAccessToken(box, true, keeper_, Scheduled ? TSignInFunction() : signIn_, !Scheduled,
                                                Strings(), failure);
        if (!failure.isEmpty())
            Log(failure);
        return token;
    }

private:
    TOAuthTokenKeeper& keeper_;
    TSignInFunction signIn_;
};

class OAuthLive : public ::testing::Test {
protected:
    void SetUp() override
    {
        server = LiveServer::fromEnvironment();
        const int port = qEnvironmentVariableIntValue("BREVIO_TEST_OAUTH_PORT");
        if (!server.available() || port <= 0)
            GTEST_SKIP() << "no test server with BREVIO_TEST_OAUTH_PORT";
        standIn = std::make_unique<TOAuthStandIn>(quint16(port));
        ASSERT_TRUE(standIn->Listening()) << "port " << port << " is taken";
    }

    TMailBoxSettings Box(TProtocol protocol, TSecurity security) const
    {
        TMailBoxSettings box = *MakeMailBox(server, QStringLiteral("alice"), protocol, security);
        box.Password.clear();
        box.SignIn = TSignInMethod::OAuth2;
        box.OAuthAuthorizationUrl = standIn->AuthorizationUrl().toString();
        box.OAuthTokenUrl = standIn->TokenUrl().toString();
        box.OAuthScope = QStringLiteral("mail");
        box.OAuthClientId = QString::fromLatin1(TOAuthStandIn::kClientId);
        return box;
    }

    // The test's browser: it follows the authorization address, whose redirect lands on the
    // sign-in's loopback answer.
    TTokenReply SignIn(const TMailBoxSettings& box)
    {
        return SignInAndWait(
            box, TStringTable(),
            [this](const QUrl& url) {
                ++browsed;
                QNetworkReply* reply = network.get(QNetworkRequest(url));
                QObject::connect(reply, &QNetworkReply::finished, reply, &QObject::deleteLater);
                return true;
            },
            20);
    }

    // A check as a run makes it: the token filled in first (a mailbox without one is left out),
    // then the session. `xoauth2`: the server seems to offer only XOAUTH2.
    QList<TFoundMessage> Check(const TMailBoxSettings& box, TOAuthContext& context, bool xoauth2 = false)
    {
        QList<TMailBoxSettings> boxes{box};
        const TSignInFunction signIn = [this](const TMailBoxSettings& b) { return SignIn(b); };
        const TRunSecretsOutcome filled = FillAccessTokens(
            boxes, {0}, keeper, context.Scheduled ? TSignInFunction() : signIn, !context.Scheduled, context.Strings());
        context.Logged += filled.Log;
        if (!filled.Skipped.isEmpty())
            return {};
        TTransportFactory factory;
        if (xoauth2)
            factory = [&context] { return std::make_unique<TXOAuth2OnlyTransport>(&context.Signal, 20); };
        return CheckMailBox(boxes[0], context, factory);
    }

    TOAuthContext Context()
    {
        return TOAuthContext(keeper, [this](const TMailBoxSettings& b) { return SignIn(b); });
    }

    LiveServer server;
    std::unique_ptr<TOAuthStandIn> standIn;
    std::shared_ptr<TMemorySecretStore> store = std::make_shared<TMemorySecretStore>();
    TOAuthTokenKeeper keeper{store};
    QNetworkAccessManager network;
    int browsed = 0;
};

struct TLiveCase {
    const char* Label;
    TProtocol Protocol;
    TSecurity Security;
    bool XOAuth2;
    const char* Method;  // as the server's log names it
};

TEST_F(OAuthLive, SignsInOnceThenListsOverEveryProtocolWithBothMechanisms)
{
    const TLiveCase cases[] = {
        {"IMAP4 TLS", TProtocol::Imap4, TSecurity::Tls, false, "method=OAUTHBEARER"},
        {"IMAP4 STARTTLS", TProtocol::Imap4, TSecurity::StartTls, true, "method=XOAUTH2"},
        {"POP3 TLS", TProtocol::Pop3, TSecurity::Tls, true, "method=XOAUTH2"},
        {"POP3 STLS", TProtocol::Pop3, TSecurity::StartTls, false, "method=OAUTHBEARER"},
    };
    for (const TLiveCase& c : cases) {
        SCOPED_TRACE(c.Label);
        TOAuthContext context = Context();
        const TServerLogMark serverLog(server);
        const QList<TFoundMessage> found = Check(Box(c.Protocol, c.Security), context, c.XOAuth2);
        EXPECT_TRUE(context.Logged.isEmpty()) << context.Logged.join(u'\n').toStdString();
        EXPECT_FALSE(found.isEmpty());
        EXPECT_TRUE(serverLog.Since().contains(QLatin1String(c.Method))) << serverLog.Since().toStdString();
    }
    // One sign-in per mailbox key (protocol, user, host, port); the tokens served every check after it.
    EXPECT_EQ(browsed, 4);
    EXPECT_EQ(standIn->CodesExchanged, 4);
    EXPECT_EQ(standIn->Refreshes, 0);
    TOAuthContext again = Context();
    EXPECT_FALSE(Check(Box(TProtocol::Imap4, TSecurity::Tls), again).isEmpty());
    EXPECT_EQ(browsed, 4);
    EXPECT_EQ(store->Secrets.size(), 4);
}

// Each way a token stops being good, and what brings the check back without the user.
TEST_F(OAuthLive, ExpiredOrRefusedTokensAreRenewed)
{
    const TMailBoxSettings box = Box(TProtocol::Imap4, TSecurity::Tls);
    TOAuthContext first = Context();
    ASSERT_FALSE(Check(box, first).isEmpty());
    // Less than a minute left by the keeper's clock: refreshed before the check.
    keeper.Now = [] { return QDateTime::currentDateTimeUtc().addSecs(3600 - 30); };
    TOAuthContext expired = Context();
    EXPECT_FALSE(Check(box, expired).isEmpty());
    EXPECT_EQ(standIn->Refreshes, 1);
    // The server no longer takes the token (its error challenge, then NO): one refresh, one retry.
    keeper.Now = [] { return QDateTime::currentDateTimeUtc(); };
    standIn->ExpireAccessTokens();
    TOAuthContext refused = Context();
    EXPECT_FALSE(Check(box, refused).isEmpty());
    EXPECT_TRUE(refused.Logged.isEmpty()) << refused.Logged.join(u'\n').toStdString();
    EXPECT_EQ(standIn->Refreshes, 2);
    // The refresh token revoked: a scheduled check only says so; the user's check signs in again.
    standIn->ExpireAccessTokens();
    standIn->RevokeRefreshTokens();
    TOAuthContext scheduled = Context();
    scheduled.Scheduled = true;
    EXPECT_TRUE(Check(box, scheduled).isEmpty());
    ASSERT_FALSE(scheduled.Logged.isEmpty());
    EXPECT_TRUE(scheduled.Logged[0].endsWith(TStringTable().Text(texts::OAuthSignInNeeded)));
    EXPECT_TRUE(store->Secrets.isEmpty());
    TOAuthContext user = Context();
    EXPECT_FALSE(Check(box, user).isEmpty());
    EXPECT_EQ(browsed, 2);
    EXPECT_EQ(store->Secrets.size(), 1);
}

TEST_F(OAuthLive, ScheduledCheckWithoutTokenLogsSignInNeededAndOpensNoBrowser)
{
    TOAuthContext context = Context();
    context.Scheduled = true;
    EXPECT_TRUE(Check(Box(TProtocol::Pop3, TSecurity::Tls), context).isEmpty());
    EXPECT_EQ(context.Logged,
              QStringList{
                  QStringLiteral("(%1) alice: %2").arg(server.host(), TStringTable().Text(texts::OAuthSignInNeeded))});
    EXPECT_EQ(browsed, 0);
}

TEST_F(OAuthLive, AnswerWithAnotherStateIsRefused)
{
    standIn->SetForgedState("not-the-one-sent");
    const TTokenReply reply = SignIn(Box(TProtocol::Imap4, TSecurity::Tls));
    EXPECT_FALSE(reply.Granted());
    EXPECT_EQ(reply.Error, TStringTable().Text(texts::OAuthStateMismatch));
    EXPECT_EQ(standIn->CodesExchanged, 0);
}

}  // namespace
}  // namespace brevio::test
