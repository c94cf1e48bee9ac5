#pragma once
// The OAuth2 tokens of the mailboxes: the refresh token only in the secret store, the access
// token only in memory with its expiry, refreshed a minute before it runs out. One keeper serves
// the window's runs and its mailbox editor; it may be used from several threads.

#include "engine/mailbox_settings.h"
#include "oauth/token_client.h"
#include "secrets/secret_store.h"

#include <QDateTime>
#include <QHash>
#include <functional>
#include <memory>
#include <mutex>

namespace brevio {

// The name of a mailbox's refresh token in the secret store. It starts with "oauth2-refresh:",
// so it never meets a password's key, which starts with the protocol ("imap4://...").
QString RefreshTokenKeyFor(const TMailBoxSettings& box);

struct TAccessTokenOutcome {
    enum class TKind {
        Ok,
        SignInNeeded,  // no refresh token, or the provider refused it (it is removed then)
        Failed,        // the store or the token endpoint could not be reached; Error says why
    };
    TKind Kind = TKind::Failed;
    QString Token;
    QString Error;
};

class TOAuthTokenKeeper {
public:
    // How a refresh reaches the token endpoint; tests and the real program use the HTTP one.
    using TRefresher = std::function<TTokenReply(const TMailBoxSettings& box, const QString& refreshToken)>;

    // `store` may come later (SetStore); until then there are no refresh tokens to use or keep.
    explicit TOAuthTokenKeeper(std::shared_ptr<TSecretStore> store, TRefresher refresher = {});
    void SetStore(std::shared_ptr<TSecretStore> store);

    // An access token for `box`: the one in memory while more than a minute of it is left,
    // unless `refused` (the server turned it down), else one refreshed with the stored refresh
    // token. `mayPrompt`: the store may show its unlock prompt.
    TAccessTokenOutcome AccessToken(const TMailBoxSettings& box, bool refused, bool mayPrompt);

    // After a sign-in: the access token into memory, the refresh token into the store (kept as
    // it is when the reply brings none).
    TSecretResult Keep(const TMailBoxSettings& box, const TTokenReply& reply);

    // The current time; tests move it on.
    std::function<QDateTime()> Now = [] { return QDateTime::currentDateTimeUtc(); };

    static constexpr int kRefreshMarginSeconds = 60;

private:
    struct TCached {
        QString Token;
        QDateTime Expires;
    };
    void Remember(const QString& key, const TTokenReply& reply);
    std::shared_ptr<TSecretStore> Store();

    std::shared_ptr<TSecretStore> store_;
    TRefresher refresher_;
    std::mutex mutex_;
    QHash<QString, TCached> cache_;
};

}  // namespace brevio
