#include "secrets/run_secrets.h"

#include "support/text_format.h"

namespace brevio {

TRunSecretsOutcome FillSecrets(QList<TMailBoxSettings>& boxes, const QList<int>& indexes, TSecretStore& store,
                               bool mayPrompt, const TStringTable& strings)
{
    TRunSecretsOutcome outcome;
    for (int index : indexes) {
        if (index < 0 || index >= boxes.size() || !boxes.at(index).PasswordInStore)
            continue;
        TMailBoxSettings& box = boxes[index];
        const TSecretResult secret = store.Get(SecretKeyFor(box), mayPrompt);
        if (secret.Ok()) {
            box.Password = secret.Secret;
            continue;
        }
        const QString why = SecretErrorText(secret, strings);
        if (secret.Status == TSecretStatus::Unavailable && outcome.Unreachable.isEmpty())
            outcome.Unreachable = why;
        const QString text = secret.Status == TSecretStatus::Locked
            ? strings.Text(texts::SecretStoreLocked)
            : FormatText(strings.Text(texts::SecretStoreFailed), {why});
        // Mailboxes on one host are told apart by their names.
        const QString name = box.Name.isEmpty() ? QString() : box.Name + QStringLiteral(": ");
        outcome.Log.append(QStringLiteral("(%1) %2%3").arg(box.Host, name, text));
        if (!mayPrompt)
            outcome.Skipped.append(index);
    }
    return outcome;
}

QList<int> MailBoxesOfRequest(const TRunRequest& request)
{
    QList<int> indexes;
    if (request.Kind == TRunKind::DeleteMarked) {
        for (const TMessageToDelete& message : std::as_const(request.Deletes))
            if (!indexes.contains(message.MailBoxIndex))
                indexes.append(message.MailBoxIndex);
    } else {
        indexes = MailBoxesOfRun(request.MailBoxes, request.Kind, request.MailBoxIndex);
    }
    return indexes;
}

void SkipMailBoxes(TRunRequest& request, const QList<int>& skipped)
{
    // A skipped mailbox leaves the run the way its kind leaves mailboxes out.
    for (int index : skipped) {
        TMailBoxSettings& box = request.MailBoxes[index];
        switch (request.Kind) {
        case TRunKind::CheckAll:
            box.IgnoreCheckAllCommand = true;
            break;
        case TRunKind::Scheduled:
            box.IgnoreCheckOnSchedule = true;
            break;
        case TRunKind::CheckOne:
        case TRunKind::Watched:
            request.MailBoxIndex = -1;
            break;
        case TRunKind::DeleteMarked:
            request.Deletes.removeIf([index](const TMessageToDelete& m) { return m.MailBoxIndex == index; });
            break;
        }
    }
}

TRunSecretsOutcome FillRunSecrets(TRunRequest& request, TSecretStore& store)
{
    TRunSecretsOutcome outcome =
        FillSecrets(request.MailBoxes, MailBoxesOfRequest(request), store, !request.Scheduled, request.Strings);
    SkipMailBoxes(request, outcome.Skipped);
    return outcome;
}

}  // namespace brevio
