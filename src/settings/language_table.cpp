#include "settings/language_table.h"

namespace brevio {

QString TLanguageInfo::Name() const
{
    const QLocale locale(Language, Territory);
    QString name = locale.nativeLanguageName();
    if (name.isEmpty())
        name = QLocale::languageToString(Language);
    if (!name.isEmpty())
        name[0] = name[0].toUpper();
    return name;
}

const QList<TLanguageInfo>& SystemLanguages()
{
    using L = QLocale;
    static const QList<TLanguageInfo> table = {
        {"ENG", L::English, L::AnyTerritory},
        {"RUS", L::Russian, L::AnyTerritory},
        {"UKR", L::Ukrainian, L::AnyTerritory},
        {"BEL", L::Belarusian, L::AnyTerritory},
        {"DEU", L::German, L::AnyTerritory},
        {"FRA", L::French, L::AnyTerritory},
        {"ESP", L::Spanish, L::AnyTerritory},
        {"ITA", L::Italian, L::AnyTerritory},
        {"PTB", L::Portuguese, L::Brazil},
        {"PTG", L::Portuguese, L::AnyTerritory},
        {"NLD", L::Dutch, L::AnyTerritory},
        {"PLK", L::Polish, L::AnyTerritory},
        {"CSY", L::Czech, L::AnyTerritory},
        {"SKY", L::Slovak, L::AnyTerritory},
        {"HUN", L::Hungarian, L::AnyTerritory},
        {"ROM", L::Romanian, L::AnyTerritory},
        {"BGR", L::Bulgarian, L::AnyTerritory},
        {"SRB", L::Serbian, L::AnyTerritory},
        {"HRV", L::Croatian, L::AnyTerritory},
        {"SLV", L::Slovenian, L::AnyTerritory},
        {"LTH", L::Lithuanian, L::AnyTerritory},
        {"LVI", L::Latvian, L::AnyTerritory},
        {"ETI", L::Estonian, L::AnyTerritory},
        {"FIN", L::Finnish, L::AnyTerritory},
        {"SVE", L::Swedish, L::AnyTerritory},
        {"DAN", L::Danish, L::AnyTerritory},
        {"NOR", L::NorwegianBokmal, L::AnyTerritory},
        {"ISL", L::Icelandic, L::AnyTerritory},
        {"ELL", L::Greek, L::AnyTerritory},
        {"TRK", L::Turkish, L::AnyTerritory},
        {"HEB", L::Hebrew, L::AnyTerritory},
        {"ARA", L::Arabic, L::AnyTerritory},
        {"JPN", L::Japanese, L::AnyTerritory},
        {"KOR", L::Korean, L::AnyTerritory},
        {"CHS", L::Chinese, L::AnyTerritory},
        {"KKZ", L::Kazakh, L::AnyTerritory},
    };
    return table;
}

int FindLanguage(const QString& code)
{
    const QList<TLanguageInfo>& table = SystemLanguages();
    for (int i = 0; i < table.size(); ++i)
        if (table[i].Code.compare(code, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

QString LanguageCodeFor(const QLocale& locale)
{
    const QList<TLanguageInfo>& table = SystemLanguages();
    for (const TLanguageInfo& info : table)
        if (info.Language == locale.language() && info.Territory == locale.territory())
            return info.Code;
    for (const TLanguageInfo& info : table)
        if (info.Language == locale.language() && info.Territory == QLocale::AnyTerritory)
            return info.Code;
    return QStringLiteral("ENG");
}

}  // namespace brevio
