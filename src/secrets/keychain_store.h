#pragma once
// The desktop's secret store through QtKeychain: the Secret Service (gnome-keyring and the like)
// or KWallet on Linux desktops, the credential store on Windows. Secrets are filed under the
// service "Brevio" and the mailbox's key (SecretKeyFor).
//
// Locked stores: QtKeychain has no way to read without possibly showing the desktop's unlock
// prompt, nor to ask whether the store is locked. So a read that must not prompt first asks the
// Secret Service itself over D-Bus (SearchItems, which never prompts) whether the item lies in a
// locked collection, and reports Locked without reading when it does. Where no Secret Service
// answers on the session bus (KWallet, Windows), reads that must not prompt report Unavailable.

#include "secrets/secret_store.h"

namespace brevio {

class TKeychainSecretStore final : public TSecretStore {
public:
    explicit TKeychainSecretStore(QString service = QStringLiteral("Brevio"));

    TSecretResult Get(const QString& key, bool mayPrompt) override;
    TSecretResult Set(const QString& key, const QString& secret) override;
    TSecretResult Remove(const QString& key) override;

    // Asks the Secret Service, without any prompt, whether it holds `key` and whether the
    // collection holding it is locked: Ok (there and unlocked), Locked, NotFound, or Unavailable
    // (no session bus or no service), with the reason in Error.
    TSecretResult Probe(const QString& key) const;

    // Seconds a read or write may wait for the store: without a prompt, and with the desktop's
    // unlock prompt open for the user to answer.
    static constexpr int kQuietTimeoutSeconds = 25;
    static constexpr int kPromptTimeoutSeconds = 300;

private:
    QString service_;
};

}  // namespace brevio
