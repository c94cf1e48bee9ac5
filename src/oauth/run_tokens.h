#pragma once
// Gives a run the access tokens of its OAuth2 mailboxes, as run_secrets.h gives it passwords:
// into the run's own snapshot of the mailboxes' settings, on the thread that runs it. A mailbox
// without a usable token is signed in again when the user started the run (a browser opens);
// a scheduled run or the command line logs "sign-in needed" and leaves the mailbox out.

#include "oauth/token_keeper.h"
#include "secrets/run_secrets.h"

#include <functional>

namespace brevio {

// Signs a mailbox in at its provider and waits for the end; empty: no sign-in may be started.
using TSignInFunction = std::function<TTokenReply(const TMailBoxSettings& box)>;

// An access token for `box`: kept or refreshed (`refused`: the server turned the last one down),
// else, when `signIn` is given, from a new sign-in (kept then). Not Ok: `failure` receives the
// log entry "(host) name: text".
QString ObtainAccessToken(const TMailBoxSettings& box, bool refused, TOAuthTokenKeeper& keeper,
                          const TSignInFunction& signIn, bool mayPrompt, const TStringTable& strings, QString& failure);

// Fills AccessToken of each OAuth2 mailbox of `indexes`; a mailbox that got none is logged and
// added to Skipped.
TRunSecretsOutcome FillAccessTokens(QList<TMailBoxSettings>& boxes, const QList<int>& indexes,
                                    TOAuthTokenKeeper& keeper, const TSignInFunction& signIn, bool mayPrompt,
                                    const TStringTable& strings);

// The same for a run's request; skipped mailboxes leave the request. A scheduled run never signs
// in, whatever `signIn` is.
TRunSecretsOutcome FillRunTokens(TRunRequest& request, TOAuthTokenKeeper& keeper, const TSignInFunction& signIn);

}  // namespace brevio
