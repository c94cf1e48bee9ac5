#include "secrets/secret_store.h"

#include <QThread>

namespace brevio {

QString SecretKeyFor(const TMailBoxSettings& box)
{
    const QString protocol = box.Protocol == TMailProtocol::POP3 ? QStringLiteral("pop3") : QStringLiteral("imap4");
    return QStringLiteral("%1://%2@%3:%4").arg(protocol, box.UserName, box.Host.toLower(), QString::number(box.Port));
}

QString SecretErrorText(const TSecretResult& result, const TStringTable& strings)
{
    return result.Reason != texts::TextCount ? strings.Text(result.Reason) : result.Error;
}

TSecretResult TMemorySecretStore::Get(const QString& key, bool mayPrompt)
{
    Reads.append({key, QThread::currentThread()});
    if (FailGet != TSecretStatus::Ok)
        return {FailGet, {}, QStringLiteral("injected failure")};
    if (Locked && !mayPrompt)
        return {TSecretStatus::Locked, {}, {}, texts::SecretStoreLocked};
    const auto found = Secrets.constFind(key);
    if (found == Secrets.constEnd())
        return {TSecretStatus::NotFound, {}, {}, texts::SecretNotFound};
    const bool corrupt = CorruptReadBack && written_.contains(key);
    return {TSecretStatus::Ok, corrupt ? *found + QStringLiteral("~") : *found, {}};
}

TSecretResult TMemorySecretStore::Set(const QString& key, const QString& secret)
{
    if (FailSet != TSecretStatus::Ok)
        return {FailSet, {}, QStringLiteral("injected failure")};
    if (SetsBeforeFailure == 0) {
        SetsBeforeFailure = -1;  // one failure; what follows (a restore) goes through
        return {TSecretStatus::Failed, {}, QStringLiteral("injected failure")};
    }
    if (SetsBeforeFailure > 0)
        --SetsBeforeFailure;
    Secrets.insert(key, secret);
    written_.insert(key);
    return {TSecretStatus::Ok, {}, {}};
}

TSecretResult TMemorySecretStore::Remove(const QString& key)
{
    Secrets.remove(key);
    return {TSecretStatus::Ok, {}, {}};
}

}  // namespace brevio
