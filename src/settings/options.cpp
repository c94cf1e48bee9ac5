#include "settings/options.h"

#include "settings/language_table.h"
#include "settings/settings_file.h"

namespace brevio {

namespace {

const QString kMain = QStringLiteral("Main");

}  // namespace

QString GetDefaultLanguage() { return LanguageCodeFor(QLocale::system()); }

void TOptions::Load(const QString& fileName) { LoadFromIni(*OpenIniFile(fileName)); }

void TOptions::LoadFromIni(const TveqIniFile& f)
{
    FCurrentLanguage = f.ReadString(kMain, QStringLiteral("FCurrentLanguage"), GetDefaultLanguage());
    FEmailClientPath = f.ReadString(kMain, QStringLiteral("FEmailClientPath"), QString());
    FEmailClientParameters = f.ReadString(kMain, QStringLiteral("FEmailClientParameters"), QString());
    FListViewNumberSize = f.ReadInteger(kMain, QStringLiteral("FListViewNumberSize"), 0);
    FListViewSunjectSize = f.ReadInteger(kMain, QStringLiteral("FListViewSunjectSize"), 0);
    FListViewFromSize = f.ReadInteger(kMain, QStringLiteral("FListViewFromSize"), 0);
    FListViewMailboxSize = f.ReadInteger(kMain, QStringLiteral("FListViewMailboxSize"), 0);
    FListViewMailBoxSizeSize = f.ReadInteger(kMain, QStringLiteral("FListViewMailBoxSizeSize"), 0);
    FListViewDateSize = f.ReadInteger(kMain, QStringLiteral("FListViewDateSize"), 0);
    FListViewTimeSize = f.ReadInteger(kMain, QStringLiteral("FListViewTimeSize"), 0);
    FCheckMailInterval = f.ReadInteger(kMain, QStringLiteral("FCheckMailInterval"), 15);
    FAutomaticCheckMail = f.ReadBool(kMain, QStringLiteral("FAutomaticCheckMail"), true);
    FLoadOnWindowsStart = f.ReadBool(kMain, QStringLiteral("FLoadOnWindowsStart"), false);
    FNetworkTimeout = f.ReadInteger(kMain, QStringLiteral("FNetworkTimeout"), 60);
}

void TOptions::Save(const QString& fileName) const { SaveToIni(*OpenIniFile(fileName)); }

void TOptions::SaveToIni(TveqIniFile& f) const
{
    f.BeginUpdate();
    f.WriteString(kMain, QStringLiteral("FCurrentLanguage"), FCurrentLanguage);
    f.WriteString(kMain, QStringLiteral("FEmailClientPath"), FEmailClientPath);
    f.WriteString(kMain, QStringLiteral("FEmailClientParameters"), FEmailClientParameters);
    f.WriteInteger(kMain, QStringLiteral("FListViewNumberSize"), FListViewNumberSize);
    f.WriteInteger(kMain, QStringLiteral("FListViewSunjectSize"), FListViewSunjectSize);
    f.WriteInteger(kMain, QStringLiteral("FListViewFromSize"), FListViewFromSize);
    f.WriteInteger(kMain, QStringLiteral("FListViewMailboxSize"), FListViewMailboxSize);
    f.WriteInteger(kMain, QStringLiteral("FListViewMailBoxSizeSize"), FListViewMailBoxSizeSize);
    f.WriteInteger(kMain, QStringLiteral("FListViewDateSize"), FListViewDateSize);
    f.WriteInteger(kMain, QStringLiteral("FListViewTimeSize"), FListViewTimeSize);
    f.WriteInteger(kMain, QStringLiteral("FCheckMailInterval"), FCheckMailInterval);
    f.WriteBool(kMain, QStringLiteral("FAutomaticCheckMail"), FAutomaticCheckMail);
    f.WriteBool(kMain, QStringLiteral("FLoadOnWindowsStart"), FLoadOnWindowsStart);
    f.WriteInteger(kMain, QStringLiteral("FNetworkTimeout"), FNetworkTimeout);
    f.EndUpdate();
}

}  // namespace brevio
