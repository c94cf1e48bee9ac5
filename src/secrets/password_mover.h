#pragma once
// Moves the mailboxes' passwords between the settings file and the secret store, and keeps the
// store in step with the mailbox editor's changes. A move never loses a password: each one is
// written to the store and read back before its key in the file is blanked, and the file is then
// saved in one atomic write (with the option FUseSecretStore and each mailbox's marker
// PasswordInStore<n>). When a step fails, the store and the file are left as they were.

#include "engine/mailbox_settings.h"
#include "secrets/secret_store.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <functional>

namespace brevio {

// The points of a move a kill may fall between; tests stop a move there by throwing from the hook.
enum class TMoveStep {
    StoreWritten,  // every password is in the store, the file not yet saved
    FileSaved,     // the file is saved, the store not yet cleaned up
};
using TMoveStepHook = std::function<void(TMoveStep)>;

struct TMoveOutcome {
    bool Ok = true;
    QString Error;  // not Ok: why, for the user
    int Moved = 0;  // passwords moved
};

// Into the store: every mailbox of the settings file with a password in the file. Also sets
// FUseSecretStore=1 in the same write. Used when the option is switched on and, with the option
// on, at each start of the window (a file edited by hand or copied from another machine).
// `mayPrompt`: the store may show its unlock prompt.
// Failures are worded in the language of `strings`.
TMoveOutcome MovePasswordsToStore(const QString& settingsFile, TSecretStore& store, bool mayPrompt = true,
                                  const TMoveStepHook& hook = {}, const TStringTable& strings = TStringTable());

// Back into the file: every mailbox marked as having its password in the store; sets
// FUseSecretStore=0 in the same write, then removes the secrets from the store.
TMoveOutcome MovePasswordsToFile(const QString& settingsFile, TSecretStore& store, bool mayPrompt = true,
                                 const TMoveStepHook& hook = {}, const TStringTable& strings = TStringTable());

// True when some mailbox of the file still has its password in the file.
bool FileHoldsPasswords(const QString& settingsFile);

// Fills the Password of each mailbox of `boxes` marked PasswordInStore from the store (the
// editor shows them). Returns the reason of the first failure; a mailbox whose secret could not
// be read keeps an empty password and its marker.
QString ReadStoredPasswords(QList<TMailBoxSettings>& boxes, TSecretStore& store,
                            const TStringTable& strings = TStringTable());

// After the editor's OK: writes to the store what `after` holds and `before` (as the editor got
// it, passwords filled in) did not, reads each back, and leaves `after` as the file keeps it
// (passwords blank, markers set). A mailbox whose password field was left empty with its marker
// set keeps its secret untouched. `staleKeys` receives the keys no mailbox uses any more: remove
// them once the file is saved. On failure the store is restored and `after` is unchanged.
TMoveOutcome StoreEditedPasswords(const QList<TMailBoxSettings>& before, QList<TMailBoxSettings>& after,
                                  TSecretStore& store, QStringList& staleKeys,
                                  const TStringTable& strings = TStringTable());

}  // namespace brevio
