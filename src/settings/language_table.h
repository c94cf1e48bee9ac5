#pragma once
// The languages Brevio knows, each with the three-letter code that names its language file
// ("lang." + code). An index into SystemLanguages() identifies a language between the localizer
// and the options dialog.

#include <QList>
#include <QLocale>
#include <QString>

namespace brevio {

struct TLanguageInfo {
    QString Code;  // upper case, for example "ENG"
    QLocale::Language Language;
    QLocale::Territory Territory;  // AnyTerritory: every territory of the language
    QString Name() const;          // the language's own name, for the language choice
};

const QList<TLanguageInfo>& SystemLanguages();

// Index of the first language whose code equals `code` without regard to case; -1 when none.
int FindLanguage(const QString& code);

// The code for `locale`: the entry for its language and territory, else for its language; "ENG"
// when the table has neither.
QString LanguageCodeFor(const QLocale& locale);

}  // namespace brevio
