// The mailbox editor's sign-in group, used as a new user would: OAuth2 chosen, a provider
// picked, "Sign in…" pressed, the browser (the test) answering through the provider stand-in.
#include "oauth/oauth_presets.h"
#include "oauth/token_keeper.h"
#include "support/oauth_stand_in.h"
#include "ui/mailbox_editor.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPushButton>
#include <QtTest/QTest>
#include <gtest/gtest.h>

namespace brevio::test {
namespace {

class OAuthEditor : public ::testing::Test {
protected:
    OAuthEditor()
    {
        auto box = std::make_unique<TMailBox>();
        box->Name = QStringLiteral("work");
        box->Host = QStringLiteral("imap.example.org");
        box->Port = 993;
        box->UserName = QStringLiteral("alice");
        box->OAuthAuthorizationUrl = standIn.AuthorizationUrl().toString();
        box->OAuthTokenUrl = standIn.TokenUrl().toString();
        box->OAuthClientId = QString::fromLatin1(TOAuthStandIn::kClientId);
        list.Add(std::move(box));
    }

    TMailBoxList list;
    TOAuthStandIn standIn;
    std::shared_ptr<TMemorySecretStore> store = std::make_shared<TMemorySecretStore>();
    QNetworkAccessManager network;
    QList<QUrl> opened;
    TBrowserOpener browser = [this](const QUrl& url) {
        opened.append(url);
        QNetworkReply* reply = network.get(QNetworkRequest(url));
        QObject::connect(reply, &QNetworkReply::finished, reply, &QObject::deleteLater);
        return true;
    };
};

TEST_F(OAuthEditor, PresetsFillTheEndpointsAndCustomKeepsTheUsersOwn)
{
    TfrmMailBoxes dialog(list, TStringTable(), nullptr, [](QWidget*, const QString&) {});
    EXPECT_FALSE(dialog.btnSignIn->isVisible());
    dialog.cbSignIn->setCurrentIndex(1);
    dialog.cbOAuthProvider->setCurrentIndex(int(TOAuthProvider::Microsoft));
    EXPECT_EQ(dialog.edtOAuthTokenUrl->text(), OAuthPreset(TOAuthProvider::Microsoft).TokenUrl);
    EXPECT_TRUE(dialog.edtOAuthTokenUrl->isReadOnly());
    dialog.cbOAuthProvider->setCurrentIndex(int(TOAuthProvider::Custom));
    EXPECT_EQ(dialog.edtOAuthTokenUrl->text(), standIn.TokenUrl().toString());
    EXPECT_FALSE(dialog.edtOAuthTokenUrl->isReadOnly());
    QTest::keyClicks(dialog.edtOAuthScope, QStringLiteral("mail"));
    const TMailBox& edited = *dialog.WorkingCopy().Items(0);
    EXPECT_EQ(edited.SignIn, TSignInMethod::OAuth2);
    EXPECT_EQ(edited.OAuthScope, QStringLiteral("mail"));
    // Without a place for the tokens there is no signing in.
    EXPECT_FALSE(dialog.btnSignIn->isEnabled());
}

TEST_F(OAuthEditor, SignInButtonOpensTheBrowserAndKeepsTheRefreshToken)
{
    TfrmMailBoxes dialog(list, TStringTable(), nullptr, [](QWidget*, const QString&) {});
    auto keeper = std::make_shared<TOAuthTokenKeeper>(store);
    dialog.SetTokenKeeper(keeper, browser);
    dialog.show();
    dialog.cbSignIn->setCurrentIndex(1);
    QTest::mouseClick(dialog.btnSignIn, Qt::LeftButton);
    EXPECT_EQ(dialog.lblSignInStatus->text(), TStringTable().Text(texts::OAuthWaitingForBrowser));
    ASSERT_TRUE(QTest::qWaitFor([&] { return dialog.btnSignIn->isEnabled(); }, 10000));
    EXPECT_EQ(dialog.lblSignInStatus->text(), TStringTable().Text(texts::OAuthSignedIn));
    ASSERT_EQ(opened.size(), 1);
    const QUrlQuery asked(opened[0]);
    EXPECT_EQ(asked.queryItemValue(QStringLiteral("code_challenge_method")), QStringLiteral("S256"));
    EXPECT_TRUE(asked.queryItemValue(QStringLiteral("redirect_uri")).startsWith(QStringLiteral("http://127.0.0.1:")));
    const TMailBox& box = *dialog.WorkingCopy().Items(0);
    EXPECT_TRUE(store->Secrets.value(RefreshTokenKeyFor(box)).startsWith(QStringLiteral("rt-")));
    EXPECT_EQ(keeper->AccessToken(box, false, false).Kind, TAccessTokenOutcome::TKind::Ok);
    EXPECT_EQ(standIn.Refreshes, 0);
    if (!qEnvironmentVariableIsEmpty("BREVIO_SCREENSHOT_DIR"))
        dialog.grab().save(qEnvironmentVariable("BREVIO_SCREENSHOT_DIR") + QStringLiteral("/oauth-editor.png"));
}

}  // namespace
}  // namespace brevio::test
