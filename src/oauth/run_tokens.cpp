#include "oauth/run_tokens.h"

#include "support/text_format.h"

namespace brevio {

namespace {

QString EntryFor(const TMailBoxSettings& box, const QString& text)
{
    // Mailboxes on one host are told apart by their names.
    const QString name = box.Name.isEmpty() ? QString() : box.Name + QStringLiteral(": ");
    return QStringLiteral("(%1) %2%3").arg(box.Host, name, text);
}

}  // namespace

QString ObtainAccessToken(const TMailBoxSettings& box, bool refused, TOAuthTokenKeeper& keeper,
                          const TSignInFunction& signIn, bool mayPrompt, const TStringTable& strings, QString& failure)
{
    const TAccessTokenOutcome kept = keeper.AccessToken(box, refused, mayPrompt);
    if (kept.Kind == TAccessTokenOutcome::TKind::Ok)
        return kept.Token;
    if (kept.Kind == TAccessTokenOutcome::TKind::Failed) {
        failure = EntryFor(box, FormatText(strings.Text(texts::OAuthTokenFailed), {kept.Error}));
        return {};
    }
    if (!signIn) {
        failure = EntryFor(box, strings.Text(texts::OAuthSignInNeeded));
        return {};
    }
    const TTokenReply reply = signIn(box);
    if (!reply.Granted()) {
        failure = EntryFor(box, FormatText(strings.Text(texts::OAuthSignInFailed), {reply.Error}));
        return {};
    }
    // The token serves this run even when the store would not take the refresh token.
    const TSecretResult stored = keeper.Keep(box, reply);
    if (!stored.Ok())
        failure = EntryFor(box, FormatText(strings.Text(texts::SecretStoreFailed), {SecretErrorText(stored, strings)}));
    return reply.AccessToken;
}

TRunSecretsOutcome FillAccessTokens(QList<TMailBoxSettings>& boxes, const QList<int>& indexes,
                                    TOAuthTokenKeeper& keeper, const TSignInFunction& signIn, bool mayPrompt,
                                    const TStringTable& strings)
{
    TRunSecretsOutcome outcome;
    for (int index : indexes) {
        if (index < 0 || index >= boxes.size() || boxes.at(index).SignIn != TSignInMethod::OAuth2)
            continue;
        TMailBoxSettings& box = boxes[index];
        QString failure;
        box.AccessToken = ObtainAccessToken(box, false, keeper, signIn, mayPrompt, strings, failure);
        if (!failure.isEmpty())
            outcome.Log.append(failure);
        if (box.AccessToken.isEmpty())
            outcome.Skipped.append(index);
    }
    return outcome;
}

TRunSecretsOutcome FillRunTokens(TRunRequest& request, TOAuthTokenKeeper& keeper, const TSignInFunction& signIn)
{
    TRunSecretsOutcome outcome =
        FillAccessTokens(request.MailBoxes, MailBoxesOfRequest(request), keeper,
                         request.Scheduled ? TSignInFunction() : signIn, !request.Scheduled, request.Strings);
    SkipMailBoxes(request, outcome.Skipped);
    return outcome;
}

}  // namespace brevio
