#include "settings/options.h"

#include "settings/language_table.h"
#include "settings/settings_file.h"

#include <variant>

namespace brevio {

namespace {

const QString kMain = QStringLiteral("Main");

// Every option once, in the order the file gets them: its key (the field's own name) and its
// field. A missing key reads as the field's value in a default-made TOptions.
using TOptionMember = std::variant<QString TOptions::*, qint32 TOptions::*, bool TOptions::*>;

struct TOptionKey {
    const char* Name;
    TOptionMember Member;
};

const TOptionKey kOptionKeys[] = {
    {"FCurrentLanguage", &TOptions::FCurrentLanguage},
    {"FEmailClientPath", &TOptions::FEmailClientPath},
    {"FEmailClientParameters", &TOptions::FEmailClientParameters},
    {"FListViewNumberSize", &TOptions::FListViewNumberSize},
    {"FListViewSunjectSize", &TOptions::FListViewSunjectSize},
    {"FListViewFromSize", &TOptions::FListViewFromSize},
    {"FListViewMailboxSize", &TOptions::FListViewMailboxSize},
    {"FListViewMailBoxSizeSize", &TOptions::FListViewMailBoxSizeSize},
    {"FListViewDateSize", &TOptions::FListViewDateSize},
    {"FListViewTimeSize", &TOptions::FListViewTimeSize},
    {"FCheckMailInterval", &TOptions::FCheckMailInterval},
    {"FAutomaticCheckMail", &TOptions::FAutomaticCheckMail},
    {"FLoadOnWindowsStart", &TOptions::FLoadOnWindowsStart},
    {"FNetworkTimeout", &TOptions::FNetworkTimeout},
    {"FPipelining", &TOptions::FPipelining},
    {"FHeaderCache", &TOptions::FHeaderCache},
    {"FUseSecretStore", &TOptions::FUseSecretStore},
    {"FShowSpamColumn", &TOptions::FShowSpamColumn},
};

void Read(const TveqIniFile& f, const QString& key, QString& value, const QString& fallback)
{
    value = f.ReadString(kMain, key, fallback);
}
void Read(const TveqIniFile& f, const QString& key, qint32& value, qint32 fallback)
{
    value = f.ReadInteger(kMain, key, fallback);
}
void Read(const TveqIniFile& f, const QString& key, bool& value, bool fallback)
{
    value = f.ReadBool(kMain, key, fallback);
}
void Write(TveqIniFile& f, const QString& key, const QString& value)
{
    f.WriteString(kMain, key, value);
}
void Write(TveqIniFile& f, const QString& key, qint32 value)
{
    f.WriteInteger(kMain, key, value);
}
void Write(TveqIniFile& f, const QString& key, bool value)
{
    f.WriteBool(kMain, key, value);
}

}  // namespace

QString GetDefaultLanguage()
{
    return LanguageCodeFor(QLocale::system());
}

void TOptions::Load(const QString& fileName)
{
    LoadFromIni(*OpenIniFile(fileName));
}

void TOptions::LoadFromIni(const TveqIniFile& f)
{
    const TOptions defaults;
    for (const TOptionKey& key : kOptionKeys)
        std::visit([&](auto member) { Read(f, QLatin1String(key.Name), this->*member, defaults.*member); }, key.Member);
}

void TOptions::Save(const QString& fileName) const
{
    SaveToIni(*OpenIniFile(fileName));
}

void TOptions::SaveToIni(TveqIniFile& f) const
{
    f.BeginUpdate();
    for (const TOptionKey& key : kOptionKeys)
        std::visit([&](auto member) { Write(f, QLatin1String(key.Name), this->*member); }, key.Member);
    f.EndUpdate();
}

}  // namespace brevio
