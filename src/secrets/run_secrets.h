#pragma once
// Gives a run the passwords kept in the secret store: read when the run starts, on the thread
// that runs it, into the run's own snapshot of the mailboxes' settings, which goes when the run
// does. The engine never learns where a password came from.

#include "engine/check_run.h"
#include "secrets/secret_store.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace brevio {

struct TRunSecretsOutcome {
    QStringList Log;      // entries for the error log, "(host) mailbox name: text"
    QList<int> Skipped;   // mailboxes left out of the run
    QString Unreachable;  // non-empty: no store could be reached, and why
};

// Reads the secret of each mailbox of `indexes` whose password is in the store into `boxes`.
// `mayPrompt` (a check the user started): the store may ask to be unlocked, and a password that
// cannot be read stays empty, so the login prompt asks for it. Otherwise (a scheduled check, the
// command line) a locked store logs "secret store locked", any other failure logs why, and the
// mailbox is skipped.
TRunSecretsOutcome FillSecrets(QList<TMailBoxSettings>& boxes, const QList<int>& indexes, TSecretStore& store,
                               bool mayPrompt, const TStringTable& strings);

// The same for a run's request: its mailboxes (those of its kind, or those with messages to
// delete), prompting unless it is scheduled; skipped mailboxes leave the request.
TRunSecretsOutcome FillRunSecrets(TRunRequest& request, TSecretStore& store);

// The mailboxes a request visits (those of its kind, or those with messages to delete).
QList<int> MailBoxesOfRequest(const TRunRequest& request);
// Leaves the mailboxes of `skipped` out of the request, each the way its kind leaves one out.
void SkipMailBoxes(TRunRequest& request, const QList<int>& skipped);

}  // namespace brevio
