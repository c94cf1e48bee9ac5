// The mailbox editor's sign-in group: the sign-in method, the OAuth2 provider with its client and
// endpoints, and "Sign in…", which signs the selected mailbox in through the browser and keeps
// its tokens.
#include "ui/mailbox_editor.h"

#include "oauth/oauth_presets.h"
#include "oauth/token_keeper.h"
#include "support/text_format.h"
#include "ui/form_scale.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>

namespace brevio {

void TfrmMailBoxes::BuildSignInFields()
{
    grpSignIn = new QGroupBox(QStringLiteral("Sign-in"), this);
    grpSignIn->setObjectName(QStringLiteral("grpSignIn"));
    auto* grid = new QGridLayout(grpSignIn);
    grid->setVerticalSpacing(2);
    int row = 0;
    auto add = [&](auto*& label, const char* labelName, auto*& field, const char* fieldName, auto* made) {
        label = new QLabel(grpSignIn);
        label->setObjectName(QLatin1String(labelName));
        field = made;
        field->setObjectName(QLatin1String(fieldName));
        label->setBuddy(field);
        grid->addWidget(label, row, 0);
        grid->addWidget(field, row++, 1);
    };
    add(lblSignIn, "lblSignIn", cbSignIn, "cbSignIn", new QComboBox(grpSignIn));
    cbSignIn->addItems({QStringLiteral("Password"), QStringLiteral("OAuth2")});
    add(lblOAuthProvider, "lblOAuthProvider", cbOAuthProvider, "cbOAuthProvider", new QComboBox(grpSignIn));
    // In the order of TOAuthProvider.
    cbOAuthProvider->addItems({QStringLiteral("Custom"), QStringLiteral("Google"), QStringLiteral("Microsoft")});
    add(lblOAuthClientId, "lblOAuthClientId", edtOAuthClientId, "edtOAuthClientId", new QLineEdit(grpSignIn));
    add(lblOAuthClientSecret, "lblOAuthClientSecret", edtOAuthClientSecret, "edtOAuthClientSecret",
        new QLineEdit(grpSignIn));
    add(lblOAuthAuthorizationUrl, "lblOAuthAuthorizationUrl", edtOAuthAuthorizationUrl, "edtOAuthAuthorizationUrl",
        new QLineEdit(grpSignIn));
    add(lblOAuthTokenUrl, "lblOAuthTokenUrl", edtOAuthTokenUrl, "edtOAuthTokenUrl", new QLineEdit(grpSignIn));
    add(lblOAuthScope, "lblOAuthScope", edtOAuthScope, "edtOAuthScope", new QLineEdit(grpSignIn));
    btnSignIn = new QPushButton(QStringLiteral("Sign in…"), grpSignIn);
    btnSignIn->setObjectName(QStringLiteral("btnSignIn"));
    lblSignInStatus = new QLabel(grpSignIn);
    lblSignInStatus->setObjectName(QStringLiteral("lblSignInStatus"));
    lblSignInStatus->setWordWrap(true);
    lblSignInStatus->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    grid->addWidget(btnSignIn, row, 0, Qt::AlignTop);
    grid->addWidget(lblSignInStatus, row, 1);
    grid->setColumnStretch(1, 1);
    ConnectSignInEdits();
    ShowSignIn();
}

void TfrmMailBoxes::ConnectSignInEdits()
{
    const auto edited = [this](auto store) {
        return [this, store](auto&&... value) {
            if (TMailBox* box = loadingSignIn_ ? nullptr : Selected())
                store(*box, value...);
        };
    };
    connect(cbSignIn, &QComboBox::currentIndexChanged, this, edited([](TMailBox& box, int index) {
                box.SignIn = index == 1 ? TSignInMethod::OAuth2 : TSignInMethod::Password;
            }));
    connect(cbOAuthProvider, &QComboBox::currentIndexChanged, this, edited([](TMailBox& box, int index) {
                box.OAuthProvider = index == 1 ? TOAuthProvider::Google
                    : index == 2               ? TOAuthProvider::Microsoft
                                               : TOAuthProvider::Custom;
            }));
    const std::pair<QLineEdit*, QString TMailBoxSettings::*> fields[] = {
        {edtOAuthClientId, &TMailBoxSettings::OAuthClientId},
        {edtOAuthClientSecret, &TMailBoxSettings::OAuthClientSecret},
        {edtOAuthAuthorizationUrl, &TMailBoxSettings::OAuthAuthorizationUrl},
        {edtOAuthTokenUrl, &TMailBoxSettings::OAuthTokenUrl},
        {edtOAuthScope, &TMailBoxSettings::OAuthScope},
    };
    for (const auto& field : fields) {
        // A preset's endpoints are shown, not stored: Custom keeps the user's own.
        QString TMailBoxSettings::*member = field.second;
        connect(field.first, &QLineEdit::textEdited, this,
                edited([member](TMailBox& box, const QString& text) { box.*member = text; }));
    }
    connect(cbSignIn, &QComboBox::currentIndexChanged, this, &TfrmMailBoxes::UpdateSignInRows);
    connect(cbOAuthProvider, &QComboBox::currentIndexChanged, this, &TfrmMailBoxes::UpdateSignInRows);
    connect(ListView1, &QTreeWidget::itemSelectionChanged, this, &TfrmMailBoxes::ShowSignIn);
    connect(btnSignIn, &QPushButton::clicked, this, &TfrmMailBoxes::btnSignInClick);
}

void TfrmMailBoxes::ShowSignIn()
{
    if (signIn_)
        signIn_->Cancel();
    lblSignInStatus->clear();
    const TMailBox* box = Selected();
    loadingSignIn_ = true;
    cbSignIn->setCurrentIndex(box && box->SignIn == TSignInMethod::OAuth2 ? 1 : 0);
    cbOAuthProvider->setCurrentIndex(box ? int(box->OAuthProvider) : 0);
    edtOAuthClientId->setText(box ? box->OAuthClientId : QString());
    edtOAuthClientSecret->setText(box ? box->OAuthClientSecret : QString());
    loadingSignIn_ = false;
    grpSignIn->setEnabled(box != nullptr);
    UpdateSignInRows();
}

void TfrmMailBoxes::UpdateSignInRows()
{
    const TMailBox* box = Selected();
    const bool oauth = cbSignIn->currentIndex() == 1;
    for (QWidget* w : std::initializer_list<QWidget*>{
             lblOAuthProvider, cbOAuthProvider, lblOAuthClientId, edtOAuthClientId, lblOAuthClientSecret,
             edtOAuthClientSecret, lblOAuthAuthorizationUrl, edtOAuthAuthorizationUrl, lblOAuthTokenUrl,
             edtOAuthTokenUrl, lblOAuthScope, edtOAuthScope, btnSignIn, lblSignInStatus})
        w->setVisible(oauth);
    TMailBoxSettings shown = box ? *box : TMailBoxSettings();
    shown.OAuthProvider = TOAuthProvider(qBound(0, cbOAuthProvider->currentIndex(), 2));
    const TOAuthEndpoints endpoints = OAuthEndpointsOf(shown);
    const bool custom = shown.OAuthProvider == TOAuthProvider::Custom;
    loadingSignIn_ = true;
    edtOAuthAuthorizationUrl->setText(endpoints.AuthorizationUrl);
    edtOAuthTokenUrl->setText(endpoints.TokenUrl);
    edtOAuthScope->setText(endpoints.Scope);
    loadingSignIn_ = false;
    for (QLineEdit* e : {edtOAuthAuthorizationUrl, edtOAuthTokenUrl, edtOAuthScope})
        e->setReadOnly(!custom);
    btnSignIn->setEnabled(box && tokens_ && !signIn_);
}

void TfrmMailBoxes::SetTokenKeeper(std::shared_ptr<TOAuthTokenKeeper> keeper, TBrowserOpener browser)
{
    tokens_ = std::move(keeper);
    browser_ = std::move(browser);
    UpdateSignInRows();
}

void TfrmMailBoxes::btnSignInClick()
{
    const TMailBox* box = Selected();
    if (!box || !tokens_ || signIn_)
        return;
    const TMailBoxSettings signedIn = *box;
    signIn_ = new TOAuthSignIn(signedIn, strings_, this);
    btnSignIn->setEnabled(false);
    lblSignInStatus->setText(strings_.Text(texts::OAuthWaitingForBrowser));
    connect(signIn_, &TOAuthSignIn::Finished, this, [this, signedIn](const TTokenReply& reply) {
        signIn_->deleteLater();
        signIn_ = nullptr;
        UpdateSignInRows();
        if (!reply.Granted()) {
            lblSignInStatus->setText(FormatText(strings_.Text(texts::OAuthSignInFailed), {reply.Error}));
            return;
        }
        const TSecretResult kept = tokens_->Keep(signedIn, reply);
        lblSignInStatus->setText(
            kept.Ok() ? strings_.Text(texts::OAuthSignedIn)
                      : FormatText(strings_.Text(texts::SecretStoreFailed), {SecretErrorText(kept, strings_)}));
    });
    signIn_->Start(browser_ ? browser_ : TBrowserOpener(OpenInSystemBrowser));
}

}  // namespace brevio
