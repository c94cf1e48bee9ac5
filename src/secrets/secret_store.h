#pragma once
// Where mailbox passwords live when they are not in the settings file: a small interface with
// get, set and remove of one mailbox's secret. The window, the mailbox editor and the
// command-line checker use it; the engine never does: a run receives the passwords in its
// snapshot of the mailboxes' settings.

#include "engine/mailbox_settings.h"
#include "support/string_table.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>

namespace brevio {

enum class TSecretStatus {
    Ok,
    NotFound,     // the store holds no secret under the key
    Locked,       // the store is there but locked, and unlocking was not allowed
    Unavailable,  // no store reachable (no session bus, no service)
    Failed,       // anything else: refused, dismissed prompt, no answer
};

struct TSecretResult {
    TSecretStatus Status = TSecretStatus::Failed;
    QString Secret;  // Ok from Get: the secret
    // Not Ok: why. Reason names a text of the program's own when there is one; otherwise Error
    // holds the store's words.
    QString Error;
    texts::TTextId Reason = texts::TextCount;

    bool Ok() const { return Status == TSecretStatus::Ok; }
};

// Why `result` failed, for the user: the program's text in the language of `strings`, else the
// store's words.
QString SecretErrorText(const TSecretResult& result, const TStringTable& strings);

// The name a mailbox's secret is kept under: its protocol, user, host and port
// ("imap4://alice@mail.example.org:993"). The list index is no part of it, so reordering or
// removing other mailboxes never re-points a secret. The host is compared without case.
QString SecretKeyFor(const TMailBoxSettings& box);

class TSecretStore {
public:
    virtual ~TSecretStore() = default;

    // Reads the secret kept under `key`. `mayPrompt` false: a locked store is reported as Locked
    // and never unlocked through the desktop's prompt (a scheduled check, the command line).
    virtual TSecretResult Get(const QString& key, bool mayPrompt) = 0;
    virtual TSecretResult Set(const QString& key, const QString& secret) = 0;
    // Removing a key the store does not hold succeeds.
    virtual TSecretResult Remove(const QString& key) = 0;
};

// A store in memory, for tests and for callers that need a stand-in; `Fail*` make the next
// operations fail with the given status.
class TMemorySecretStore final : public TSecretStore {
public:
    TSecretResult Get(const QString& key, bool mayPrompt) override;
    TSecretResult Set(const QString& key, const QString& secret) override;
    TSecretResult Remove(const QString& key) override;

    QHash<QString, QString> Secrets;
    TSecretStatus FailGet = TSecretStatus::Ok;  // Ok: no failure
    TSecretStatus FailSet = TSecretStatus::Ok;
    bool Locked = false;           // Get without mayPrompt reports Locked
    int SetsBeforeFailure = -1;    // >= 0: that many Sets succeed, then one fails
    bool CorruptReadBack = false;  // Get returns something other than what Set stored
    // Every Get: its key and the thread that asked.
    struct TRead {
        QString Key;
        const void* Thread;
    };
    QList<TRead> Reads;

private:
    QSet<QString> written_;
};

}  // namespace brevio
