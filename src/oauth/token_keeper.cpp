#include "oauth/token_keeper.h"

#include "oauth/oauth_presets.h"

namespace brevio {

QString RefreshTokenKeyFor(const TMailBoxSettings& box)
{
    return QStringLiteral("oauth2-refresh:") + SecretKeyFor(box);
}

TOAuthTokenKeeper::TOAuthTokenKeeper(std::shared_ptr<TSecretStore> store, TRefresher refresher)
    : store_(std::move(store)), refresher_(std::move(refresher))
{
    if (!refresher_) {
        refresher_ = [](const TMailBoxSettings& box, const QString& refreshToken) {
            return RefreshAccessToken(QUrl(OAuthEndpointsOf(box).TokenUrl), box.OAuthClientId, box.OAuthClientSecret,
                                      refreshToken);
        };
    }
}

void TOAuthTokenKeeper::SetStore(std::shared_ptr<TSecretStore> store)
{
    std::lock_guard lock(mutex_);
    store_ = std::move(store);
}

std::shared_ptr<TSecretStore> TOAuthTokenKeeper::Store()
{
    std::lock_guard lock(mutex_);
    return store_;
}

void TOAuthTokenKeeper::Remember(const QString& key, const TTokenReply& reply)
{
    std::lock_guard lock(mutex_);
    cache_.insert(key, {reply.AccessToken, Now().addSecs(reply.ExpiresIn)});
}

TAccessTokenOutcome TOAuthTokenKeeper::AccessToken(const TMailBoxSettings& box, bool refused, bool mayPrompt)
{
    using TKind = TAccessTokenOutcome::TKind;
    const QString key = RefreshTokenKeyFor(box);
    {
        std::lock_guard lock(mutex_);
        const auto cached = cache_.constFind(key);
        if (cached != cache_.constEnd()) {
            if (!refused && Now().secsTo(cached->Expires) > kRefreshMarginSeconds)
                return {TKind::Ok, cached->Token, {}};
            cache_.remove(key);
        }
    }
    const std::shared_ptr<TSecretStore> store = Store();
    if (!store)
        return {TKind::SignInNeeded, {}, {}};
    const TSecretResult stored = store->Get(key, mayPrompt);
    if (stored.Status == TSecretStatus::NotFound)
        return {TKind::SignInNeeded, {}, {}};
    if (!stored.Ok())
        return {TKind::Failed, {}, stored.Error};
    const TTokenReply reply = refresher_(box, stored.Secret);
    if (reply.Kind == TTokenReply::TKind::Refused) {
        // The provider will never take it again (revoked, expired, password changed).
        store->Remove(key);
        return {TKind::SignInNeeded, {}, reply.Error};
    }
    if (!reply.Granted())
        return {TKind::Failed, {}, reply.Error};
    // A provider that rotates refresh tokens sends a new one with each refresh.
    if (!reply.RefreshToken.isEmpty() && reply.RefreshToken != stored.Secret)
        store->Set(key, reply.RefreshToken);
    Remember(key, reply);
    return {TKind::Ok, reply.AccessToken, {}};
}

TSecretResult TOAuthTokenKeeper::Keep(const TMailBoxSettings& box, const TTokenReply& reply)
{
    const QString key = RefreshTokenKeyFor(box);
    Remember(key, reply);
    const std::shared_ptr<TSecretStore> store = Store();
    if (reply.RefreshToken.isEmpty())
        return {TSecretStatus::Ok, {}, {}};
    if (!store)
        return {TSecretStatus::Unavailable, {}, {}, texts::SecretStoreNoService};
    return store->Set(key, reply.RefreshToken);
}

}  // namespace brevio
