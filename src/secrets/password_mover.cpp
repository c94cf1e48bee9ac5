#include "secrets/password_mover.h"

#include "engine/mailbox_list.h"
#include "settings/ini_file.h"
#include "settings/settings_file.h"

#include <QHash>
#include <QSet>
#include <optional>

namespace brevio {

namespace {

const QString kMain = QStringLiteral("Main");
// The option's key in the file (TOptions::FUseSecretStore); written here in the same write as
// the passwords, so the option and the passwords' place never disagree.
const QString kUseSecretStore = QStringLiteral("FUseSecretStore");

QString KeyOf(const char* name, int index)
{
    return QLatin1String(name) + QString::number(index);
}

// The secrets a move or an edit wrote, with what the store held under each key before, so a
// failure can put the store back as it was.
class TStoreUndo {
public:
    TStoreUndo(TSecretStore& store, const TStringTable& strings) : store_(store), strings_(strings) {}

    // Remembers the current secret of `key` (once). False when it cannot be read.
    bool Remember(const QString& key, bool mayPrompt, QString& error)
    {
        if (previous_.contains(key))
            return true;
        const TSecretResult current = store_.Get(key, mayPrompt);
        if (current.Status != TSecretStatus::Ok && current.Status != TSecretStatus::NotFound) {
            error = SecretErrorText(current, strings_);
            return false;
        }
        previous_.insert(key, current.Ok() ? std::optional<QString>(current.Secret) : std::nullopt);
        order_.append(key);
        return true;
    }

    // Writes `secret` under `key` and reads it back. False, with the reason, when either fails
    // or the store gives back something else.
    bool WriteChecked(const QString& key, const QString& secret, bool mayPrompt, QString& error)
    {
        if (!Remember(key, mayPrompt, error))
            return false;
        const TSecretResult written = store_.Set(key, secret);
        if (!written.Ok()) {
            error = SecretErrorText(written, strings_);
            return false;
        }
        const TSecretResult readBack = store_.Get(key, mayPrompt);
        if (!readBack.Ok() || readBack.Secret != secret) {
            error = readBack.Ok() ? strings_.Text(texts::SecretReadBackDiffers) : SecretErrorText(readBack, strings_);
            return false;
        }
        return true;
    }

    void Restore()
    {
        for (const QString& key : std::as_const(order_)) {
            const std::optional<QString>& before = previous_.value(key);
            if (before)
                store_.Set(key, *before);
            else
                store_.Remove(key);
        }
    }

private:
    TSecretStore& store_;
    const TStringTable& strings_;
    QHash<QString, std::optional<QString>> previous_;
    QStringList order_;
};

TMoveOutcome Failure(const QString& error)
{
    return {false, error, 0};
}

}  // namespace

bool FileHoldsPasswords(const QString& settingsFile)
{
    TMailBoxList list;
    list.Load(settingsFile);
    for (const TMailBoxSettings& box : list.Snapshot())
        if (!box.Password.isEmpty())
            return true;
    return false;
}

TMoveOutcome MovePasswordsToStore(const QString& settingsFile, TSecretStore& store, bool mayPrompt,
                                  const TMoveStepHook& hook, const TStringTable& strings)
{
    const auto file = OpenIniFile(settingsFile);
    TMailBoxList list;
    list.LoadFromIni(*file);
    const QList<TMailBoxSettings> boxes = list.Snapshot();

    TStoreUndo undo(store, strings);
    QList<int> moved;
    for (int i = 0; i < boxes.size(); ++i) {
        const TMailBoxSettings& box = boxes.at(i);
        if (box.Password.isEmpty())
            continue;
        QString error;
        if (!undo.WriteChecked(SecretKeyFor(box), box.Password, mayPrompt, error)) {
            undo.Restore();
            return Failure(error);
        }
        moved.append(i);
    }
    if (hook)
        hook(TMoveStep::StoreWritten);
    try {
        file->BeginUpdate();
        for (int i : std::as_const(moved)) {
            file->WriteString(kMain, KeyOf("Password", i), QString());
            file->WriteBool(kMain, KeyOf("PasswordInStore", i), true);
        }
        file->WriteBool(kMain, kUseSecretStore, true);
        file->EndUpdate();
    } catch (const Exception& e) {
        undo.Restore();
        return Failure(e.Message());
    }
    if (hook)
        hook(TMoveStep::FileSaved);
    return {true, {}, int(moved.size())};
}

TMoveOutcome MovePasswordsToFile(const QString& settingsFile, TSecretStore& store, bool mayPrompt,
                                 const TMoveStepHook& hook, const TStringTable& strings)
{
    const auto file = OpenIniFile(settingsFile);
    TMailBoxList list;
    list.LoadFromIni(*file);
    const QList<TMailBoxSettings> boxes = list.Snapshot();

    // Every password is read first: one that cannot be read stops the move before anything changes.
    QHash<int, QString> secrets;
    for (int i = 0; i < boxes.size(); ++i) {
        if (!boxes.at(i).PasswordInStore)
            continue;
        const TSecretResult secret = store.Get(SecretKeyFor(boxes.at(i)), mayPrompt);
        if (secret.Status == TSecretStatus::NotFound)
            secrets.insert(i, boxes.at(i).Password);  // nothing in the store: the file keeps what it has
        else if (secret.Ok())
            secrets.insert(i, secret.Secret);
        else
            return Failure(SecretErrorText(secret, strings));
    }
    if (hook)
        hook(TMoveStep::StoreWritten);
    try {
        file->BeginUpdate();
        for (auto it = secrets.cbegin(); it != secrets.cend(); ++it) {
            file->WriteString(kMain, KeyOf("Password", it.key()), it.value());
            file->WriteBool(kMain, KeyOf("PasswordInStore", it.key()), false);
        }
        file->WriteBool(kMain, kUseSecretStore, false);
        file->EndUpdate();
    } catch (const Exception& e) {
        return Failure(e.Message());
    }
    // The file on disk is read again: only passwords it really holds leave the store.
    TMailBoxList saved;
    saved.Load(settingsFile);
    for (auto it = secrets.cbegin(); it != secrets.cend(); ++it)
        if (it.key() >= saved.Count() || saved.Items(it.key())->Password != it.value())
            return Failure(strings.Text(texts::SecretFileDiffers));
    if (hook)
        hook(TMoveStep::FileSaved);
    // A secret that stays behind (another mailbox of the same account still uses it elsewhere,
    // or the store refuses) loses nothing: the file holds the password now.
    for (auto it = secrets.cbegin(); it != secrets.cend(); ++it)
        store.Remove(SecretKeyFor(boxes.at(it.key())));
    return {true, {}, int(secrets.size())};
}

QString ReadStoredPasswords(QList<TMailBoxSettings>& boxes, TSecretStore& store, const TStringTable& strings)
{
    QString firstError;
    for (TMailBoxSettings& box : boxes) {
        if (!box.PasswordInStore)
            continue;
        const TSecretResult secret = store.Get(SecretKeyFor(box), true);
        if (secret.Ok())
            box.Password = secret.Secret;
        else if (secret.Status != TSecretStatus::NotFound && firstError.isEmpty())
            firstError = SecretErrorText(secret, strings);
    }
    return firstError;
}

TMoveOutcome StoreEditedPasswords(const QList<TMailBoxSettings>& before, QList<TMailBoxSettings>& after,
                                  TSecretStore& store, QStringList& staleKeys, const TStringTable& strings)
{
    // What the store holds for the list as the editor got it.
    QHash<QString, QString> held;
    for (const TMailBoxSettings& box : before)
        if (box.PasswordInStore && !box.Password.isEmpty())
            held.insert(SecretKeyFor(box), box.Password);

    TStoreUndo undo(store, strings);
    QList<TMailBoxSettings> result = after;
    QSet<QString> used;
    int written = 0;
    for (TMailBoxSettings& box : result) {
        const QString key = SecretKeyFor(box);
        if (box.Password.isEmpty()) {
            // A secret the editor could not read stays where it is, under its marker.
            if (box.PasswordInStore)
                used.insert(key);
            continue;
        }
        used.insert(key);
        if (held.value(key) != box.Password || !held.contains(key)) {
            QString error;
            if (!undo.WriteChecked(key, box.Password, true, error)) {
                undo.Restore();
                return Failure(error);
            }
            held.insert(key, box.Password);
            ++written;
        }
        box.Password.clear();
        box.PasswordInStore = true;
    }
    staleKeys.clear();
    for (const TMailBoxSettings& box : before) {
        const QString key = SecretKeyFor(box);
        if (box.PasswordInStore && !used.contains(key) && !staleKeys.contains(key))
            staleKeys.append(key);
    }
    after = result;
    return {true, {}, written};
}

}  // namespace brevio
