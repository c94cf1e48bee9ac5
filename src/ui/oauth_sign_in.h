#pragma once
// Signing a mailbox in at its OAuth2 provider: the authorization-code grant with PKCE (S256) in
// the system browser, the redirect coming back to http://127.0.0.1:<free port>/ (RFC 8252
// §7.3), `state` checked, then the code exchanged for tokens at the token endpoint.

#include "engine/mailbox_settings.h"
#include "oauth/oauth_pkce.h"
#include "oauth/token_client.h"
#include "support/string_table.h"

#include <QObject>
#include <QPointer>
#include <QUrl>
#include <functional>

class QOAuth2AuthorizationCodeFlow;
class QOAuthHttpServerReplyHandler;

namespace brevio {

// Opens the authorization page for the user; false when no browser could be started.
using TBrowserOpener = std::function<bool(const QUrl& url)>;
// The desktop's browser (QDesktopServices).
bool OpenInSystemBrowser(const QUrl& url);

class TOAuthSignIn : public QObject {
    Q_OBJECT
public:
    TOAuthSignIn(const TMailBoxSettings& box, const TStringTable& strings, QObject* parent = nullptr);
    ~TOAuthSignIn() override;

    // Listens on the loopback redirect and opens the browser. When it cannot start, Finished
    // comes at once with the reason.
    void Start(const TBrowserOpener& browser = OpenInSystemBrowser);
    // The user gave up (the dialog's Cancel, or the run's abort).
    void Cancel();
    // Ends the sign-in with `why` (no further answer is taken).
    void Fail(const QString& why);

signals:
    // Once per Start: Granted with the tokens, or Failed with the reason.
    void Finished(const brevio::TTokenReply& reply);

private:
    void Finish(TTokenReply reply);
    QString Text(texts::TTextId id) const { return strings_.Text(id); }
    void OnCallback(const QVariantMap& values);
    void OnGranted();

    TMailBoxSettings box_;
    TStringTable strings_;
    TPkcePair pkce_;
    QPointer<QOAuth2AuthorizationCodeFlow> flow_;
    QPointer<QOAuthHttpServerReplyHandler> handler_;
    bool finished_ = false;
};

// Signs `box` in and waits for the end (a local event loop; the window stays painted), at most
// `timeoutSeconds`. For the blocking ask of a check run, made on the window's thread.
TTokenReply SignInAndWait(const TMailBoxSettings& box, const TStringTable& strings,
                          const TBrowserOpener& browser = OpenInSystemBrowser, int timeoutSeconds = 300);

}  // namespace brevio
