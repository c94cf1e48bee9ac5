#include "engine/mailbox_settings.h"

#include "settings/ini_file.h"

namespace brevio {

namespace {

const QString kMain = QStringLiteral("Main");

// One stored key: its name (the mailbox's index is appended), how it is read with its default,
// and how it is written. Every key of a mailbox appears here once, in file order.
struct TSettingsKey {
    const char* Name;
    void (*Load)(TMailBoxSettings& box, const TveqIniFile& file, const QString& key);
    void (*Save)(const TMailBoxSettings& box, TveqIniFile& file, const QString& key);
};

template <QString TMailBoxSettings::*Member>
constexpr TSettingsKey StringKey(const char* name)
{
    return {name,
            [](TMailBoxSettings& box, const TveqIniFile& file, const QString& key) {
                box.*Member = file.ReadString(kMain, key, QString());
            },
            [](const TMailBoxSettings& box, TveqIniFile& file, const QString& key) {
                file.WriteString(kMain, key, box.*Member);
            }};
}

template <bool TMailBoxSettings::*Member>
constexpr TSettingsKey BoolKey(const char* name)
{
    return {name,
            [](TMailBoxSettings& box, const TveqIniFile& file, const QString& key) {
                box.*Member = file.ReadBool(kMain, key, false);
            },
            [](const TMailBoxSettings& box, TveqIniFile& file, const QString& key) {
                file.WriteBool(kMain, key, box.*Member);
            }};
}

const TSettingsKey kKeys[] = {
    StringKey<&TMailBoxSettings::Name>("Name"),
    StringKey<&TMailBoxSettings::Host>("Host"),
    {"Port",
     [](TMailBoxSettings& box, const TveqIniFile& file, const QString& key) {
         box.Port = file.ReadInteger(kMain, key, 110);
     },
     [](const TMailBoxSettings& box, TveqIniFile& file, const QString& key) {
         file.WriteInteger(kMain, key, box.Port);
     }},
    StringKey<&TMailBoxSettings::UserName>("UserName"),
    StringKey<&TMailBoxSettings::Password>("Password"),
    BoolKey<&TMailBoxSettings::PasswordInStore>("PasswordInStore"),
    BoolKey<&TMailBoxSettings::IgnoreCheckAllCommand>("IgnoreCheckAllCommand"),
    BoolKey<&TMailBoxSettings::IgnoreCheckOnSchedule>("IgnoreCheckOnSchedule"),
    // Stored as a flag: 1 is POP3 (the default), 0 is IMAP4.
    {"POPorIMAP",
     [](TMailBoxSettings& box, const TveqIniFile& file, const QString& key) {
         box.Protocol = file.ReadBool(kMain, key, true) ? TMailProtocol::POP3 : TMailProtocol::IMAP4;
     },
     [](const TMailBoxSettings& box, TveqIniFile& file, const QString& key) {
         file.WriteBool(kMain, key, box.Protocol == TMailProtocol::POP3);
     }},
    // A number the program does not know reads as a plain connection.
    {"Security",
     [](TMailBoxSettings& box, const TveqIniFile& file, const QString& key) {
         const int security = file.ReadInteger(kMain, key, 0);
         box.Security = (security == int(TSecurity::Tls) || security == int(TSecurity::StartTls)) ? TSecurity(security)
                                                                                                  : TSecurity::None;
     },
     [](const TMailBoxSettings& box, TveqIniFile& file, const QString& key) {
         file.WriteInteger(kMain, key, int(box.Security));
     }},
    StringKey<&TMailBoxSettings::CertFingerprint>("CertFingerprint"),
    // Only written when set, so files of mailboxes that never use it keep their old keys.
    {"TrustedAuthServId",
     [](TMailBoxSettings& box, const TveqIniFile& file, const QString& key) {
         box.TrustedAuthServId = file.ReadString(kMain, key, QString()).trimmed();
     },
     [](const TMailBoxSettings& box, TveqIniFile& file, const QString& key) {
         if (box.TrustedAuthServId.isEmpty())
             file.DeleteKey(kMain, key);
         else
             file.WriteString(kMain, key, box.TrustedAuthServId);
     }},
    BoolKey<&TMailBoxSettings::Idle>("Idle"),
};

// Written only for a mailbox that signs in with OAuth2; saving any other mailbox removes them.
const TSettingsKey kOAuthKeys[] = {
    {"SignIn",
     [](TMailBoxSettings& box, const TveqIniFile& file, const QString& key) {
         box.SignIn = file.ReadInteger(kMain, key, 0) == 1 ? TSignInMethod::OAuth2 : TSignInMethod::Password;
     },
     [](const TMailBoxSettings&, TveqIniFile& file, const QString& key) { file.WriteInteger(kMain, key, 1); }},
    {"OAuthProvider",
     [](TMailBoxSettings& box, const TveqIniFile& file, const QString& key) {
         const int provider = file.ReadInteger(kMain, key, 0);
         box.OAuthProvider = (provider == int(TOAuthProvider::Google) || provider == int(TOAuthProvider::Microsoft))
             ? TOAuthProvider(provider)
             : TOAuthProvider::Custom;
     },
     [](const TMailBoxSettings& box, TveqIniFile& file, const QString& key) {
         file.WriteInteger(kMain, key, int(box.OAuthProvider));
     }},
    StringKey<&TMailBoxSettings::OAuthAuthorizationUrl>("OAuthAuthorizationUrl"),
    StringKey<&TMailBoxSettings::OAuthTokenUrl>("OAuthTokenUrl"),
    StringKey<&TMailBoxSettings::OAuthScope>("OAuthScope"),
    StringKey<&TMailBoxSettings::OAuthClientId>("OAuthClientId"),
    StringKey<&TMailBoxSettings::OAuthClientSecret>("OAuthClientSecret"),
};

QString Key(const char* name, int index)
{
    return QLatin1String(name) + QString::number(index);
}

}  // namespace

void TMailBoxSettings::LoadFromIni(const TveqIniFile& file, int index)
{
    for (const TSettingsKey& key : kKeys)
        key.Load(*this, file, Key(key.Name, index));
    for (const TSettingsKey& key : kOAuthKeys)
        key.Load(*this, file, Key(key.Name, index));
}

void TMailBoxSettings::SaveToIni(TveqIniFile& file, int index) const
{
    file.BeginUpdate();
    for (const TSettingsKey& key : kKeys)
        key.Save(*this, file, Key(key.Name, index));
    for (const TSettingsKey& key : kOAuthKeys) {
        if (SignIn == TSignInMethod::OAuth2)
            key.Save(*this, file, Key(key.Name, index));
        else
            file.DeleteKey(kMain, Key(key.Name, index));
    }
    file.EndUpdate();
}

void TMailBoxSettings::RemoveFromIniFrom(TveqIniFile& file, int firstUnused)
{
    // Keys are matched without regard to case, as the file reads them.
    QStringList stale;
    QList<const TSettingsKey*> keys;
    for (const TSettingsKey& key : kKeys)
        keys.append(&key);
    for (const TSettingsKey& key : kOAuthKeys)
        keys.append(&key);
    for (const QString& name : file.ReadSection(kMain)) {
        for (const TSettingsKey* key : std::as_const(keys)) {
            const QLatin1String prefix(key->Name);
            if (!name.startsWith(prefix, Qt::CaseInsensitive) || name.size() == prefix.size())
                continue;
            bool isNumber = false;
            const int index = QStringView(name).mid(prefix.size()).toInt(&isNumber);
            if (isNumber && index >= firstUnused && name.at(prefix.size()).isDigit())
                stale.append(name);
        }
    }
    if (stale.isEmpty())
        return;
    file.BeginUpdate();
    for (const QString& name : std::as_const(stale))
        file.DeleteKey(kMain, name);
    file.EndUpdate();
}

}  // namespace brevio
