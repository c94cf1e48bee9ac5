// The pieces of the OAuth2 sign-in that need no server: PKCE, the SASL messages, the token
// endpoint's answers, the keeper's refresh rules and the mailbox's sign-in keys in the file.
#include "net/sasl_oauth.h"
#include "oauth/oauth_pkce.h"
#include "oauth/token_keeper.h"
#include "settings/ini_file.h"
#include "support/temp_files.h"

#include <cctype>
#include <gtest/gtest.h>

namespace brevio::test {
namespace {

TEST(OAuthPkce, ChallengeIsTheRfcExampleAndVerifiersAreFreshAndUnreserved)
{
    // RFC 7636 Appendix B.
    EXPECT_EQ(PkceChallenge("dBjftJeZ4CVP-mB92K27uhbUJU1p1r_wW1gFWFOEjXk"),
              "E9Melhoa2OwvFrEMTJguCHaoeK1t8URWbuGJSstw-cM");
    const TPkcePair a = MakePkcePair();
    EXPECT_EQ(a.Verifier.size(), 43);
    EXPECT_NE(a.Verifier, MakePkcePair().Verifier);
    EXPECT_EQ(a.Challenge, PkceChallenge(a.Verifier));
    for (char c : a.Verifier)
        EXPECT_TRUE(std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_') << c;
}

// The wire tests pin whole exchanges; these are the corners they do not reach.
TEST(OAuthSasl, AuthorizationIdentityIsEscapedAndOddChallengesGiveLittle)
{
    // RFC 5801 §4: "," and "=" in the user name are written =2C and =3D.
    EXPECT_EQ(OAuthInitialResponse(TOAuthMechanism::OAuthBearer, "a,b=c", "T", QStringLiteral("h"), 993),
              QByteArray("n,a=a=2Cb=3Dc,\x01host=h\x01port=993\x01"
                         "auth=Bearer T\x01\x01"));
    EXPECT_EQ(ChooseOAuthMechanism({"PLAIN", "OAUTHBEARERX"}), TOAuthMechanism::None);
    EXPECT_EQ(OAuthChallengeStatus(QByteArray("plain words").toBase64()), "plain words");
    EXPECT_EQ(OAuthChallengeStatus("***"), "");
}

TEST(OAuthTokenReply, AnswersOfTheTokenEndpoint)
{
    using K = TTokenReply::TKind;
    const struct {
        int Status;
        const char* Body;
        K Kind;
        const char* Access;
        qint64 ExpiresIn;
        const char* Error;
    } cases[] = {
        {200, R"({"access_token":"A","refresh_token":"R","expires_in":120})", K::Granted, "A", 120, ""},
        {200, R"({"access_token":"A","expires_in":"90"})", K::Granted, "A", 90, ""},
        {200, R"({"access_token":"A","expires_in":-5})", K::Granted, "A", 3600, ""},
        {200, R"({"token_type":"Bearer"})", K::Failed, "", 3600, "no access_token in the answer"},
        {400, R"({"error":"invalid_grant","error_description":"revoked"})", K::Refused, "", 3600,
         "invalid_grant: revoked"},
        {401, R"({"error":"invalid_client"})", K::Failed, "", 3600, "invalid_client"},
        {502, "<html>bad gateway</html>", K::Failed, "", 3600, "HTTP 502"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Body);
        const TTokenReply reply = ParseTokenReply(c.Status, c.Body);
        EXPECT_EQ(reply.Kind, c.Kind);
        EXPECT_EQ(reply.AccessToken, QLatin1String(c.Access));
        EXPECT_EQ(reply.ExpiresIn, c.ExpiresIn);
        EXPECT_EQ(reply.Error, QLatin1String(c.Error));
    }
}

TEST(OAuthTokenReply, UnreachableEndpointIsAFailureNotARefusal)
{
    const TTokenReply reply = RefreshAccessToken(QUrl(QStringLiteral("http://127.0.0.1:1/token")), "id", {}, "r", 5);
    EXPECT_EQ(reply.Kind, TTokenReply::TKind::Failed);
    EXPECT_FALSE(reply.Error.isEmpty());
    EXPECT_EQ(RefreshAccessToken(QUrl(QStringLiteral("file:///etc/passwd")), "id", {}, "r").Kind,
              TTokenReply::TKind::Failed);
}

// The expiry margin and the revoked refresh token are seen end to end in the live test; these
// are the outcomes it cannot bring about.
TEST(OAuthKeeper, RotatedTokensAreKeptAndOnlyARefusalForgetsTheStoredOne)
{
    TMailBoxSettings box;
    box.UserName = QStringLiteral("alice");
    box.Host = QStringLiteral("Mail.Example.org");
    box.Port = 993;
    const QString key = RefreshTokenKeyFor(box);
    EXPECT_EQ(key, QStringLiteral("oauth2-refresh:imap4://alice@mail.example.org:993"));
    auto store = std::make_shared<TMemorySecretStore>();
    TTokenReply answer;
    int refreshes = 0;
    TOAuthTokenKeeper keeper(store, [&](const TMailBoxSettings&, const QString&) {
        ++refreshes;
        return answer;
    });
    using K = TAccessTokenOutcome::TKind;
    EXPECT_EQ(keeper.AccessToken(box, false, false).Kind, K::SignInNeeded);
    store->Secrets.insert(key, QStringLiteral("r1"));
    answer = ParseTokenReply(200, R"({"access_token":"A","refresh_token":"r2"})");
    EXPECT_EQ(keeper.AccessToken(box, true, false).Token, QStringLiteral("A"));
    EXPECT_EQ(store->Secrets.value(key), QStringLiteral("r2"));
    answer = ParseTokenReply(503, "{}");
    EXPECT_EQ(keeper.AccessToken(box, true, false).Kind, K::Failed);
    EXPECT_EQ(store->Secrets.value(key), QStringLiteral("r2"));
    store->Locked = true;
    EXPECT_EQ(keeper.AccessToken(box, true, false).Kind, K::Failed);
    EXPECT_EQ(refreshes, 2);
}

TEST(OAuthSettings, SignInKeysSurviveTheFileAndUnknownValuesReadAsDefaults)
{
    TempFolder dir;
    const QString path = dir.Path(QStringLiteral("b.ini"));
    TMailBoxSettings box;
    box.SignIn = TSignInMethod::OAuth2;
    box.OAuthProvider = TOAuthProvider::Microsoft;
    box.OAuthAuthorizationUrl = QStringLiteral("https://a/authorize");
    box.OAuthTokenUrl = QStringLiteral("https://a/token");
    box.OAuthScope = QStringLiteral("s1 s2");
    box.OAuthClientId = QStringLiteral("id");
    box.OAuthClientSecret = QStringLiteral("secret");
    box.AccessToken = QStringLiteral("never stored");
    {
        TveqIniFile file(path);
        box.SaveToIni(file, 3);
        file.WriteString(QStringLiteral("Main"), QStringLiteral("SignIn4"), QStringLiteral("7"));
        file.WriteString(QStringLiteral("Main"), QStringLiteral("OAuthProvider4"), QStringLiteral("9"));
    }
    TveqIniFile file(path);
    TMailBoxSettings read;
    read.LoadFromIni(file, 3);
    box.AccessToken.clear();
    EXPECT_EQ(read, box);
    read.LoadFromIni(file, 4);
    EXPECT_EQ(read.SignIn, TSignInMethod::Password);
    EXPECT_EQ(read.OAuthProvider, TOAuthProvider::Custom);
    // Back to a password: no OAuth2 key of the mailbox stays behind.
    TMailBoxSettings{}.SaveToIni(file, 3);
    EXPECT_TRUE(file.ReadString(QStringLiteral("Main"), QStringLiteral("OAuthClientId3"), QStringLiteral("gone"))
                == QStringLiteral("gone"));
}

}  // namespace
}  // namespace brevio::test
