#pragma once
// The string table and the form sections of the current language file. Language files lie in a
// folder "langs" beside the executable, named "lang." + the three-letter code; section "Strings"
// holds the message texts, every later section the texts of one window.

#include "localization/form_localization.h"
#include "support/string_table.h"

#include <QList>
#include <QString>

namespace brevio {

class TOptions;
class TveqIniFile;

// One entry of the language choice: the display text and the index into SystemLanguages()
// (-1 for a file whose code is not a known language).
struct TLanguageEntry {
    QString Text;
    int SystemIndex = -1;
    QString Code;  // from the file name, upper case: "RUS", or a code the table does not know
};

class TLocalizator {
public:
    // At most this many sections of one language file become form sections.
    static constexpr int MaxSections = 1000;

    // Uses `folder` (default: the program's "langs", ProgramFolder()), creating it when missing. When the
    // file of options.FCurrentLanguage does not exist the language becomes "ENG" (in memory).
    // Then loads the file.
    explicit TLocalizator(TOptions& options, const QString& folder = {});
    TLocalizator(const TLocalizator&) = delete;
    TLocalizator& operator=(const TLocalizator&) = delete;

    const QString& Folder() const { return folder_; }
    void SetFolder(const QString& path);
    // The file of language `code`; a file whose name differs only in case is found too.
    QString LanguageFileName(const QString& code) const;
    QString CurrentFileName() const;

    // Reads the sixteen texts of section "Strings"; missing keys keep their built-in defaults.
    void LoadStrings();
    // Rebuilds Forms from the current file (every section but the first), then LoadStrings().
    void LoadForms();

    // The first form section named `formName` (without regard to case), or null.
    const TFormLocalization* FindForm(const QString& formName) const;

    // The language files found in the folder, in name order, each named by its language when the
    // code is known; `currentIndex` gets the system index of the current language when it has one.
    QList<TLanguageEntry> GetLanguages(int& currentIndex) const;
    // Makes system language `index` current and reloads; an index out of range changes nothing.
    void SetLanguage(int index);
    // Makes the language of file "lang." + `code` current and reloads, whether or not the table
    // of system languages knows the code; an empty code changes nothing.
    void SetLanguageCode(const QString& code);

    QList<TFormLocalization> Forms;

    // The message texts of section "Strings"; texts the file lacks keep their built-in form.
    TStringTable Strings;

private:
    void LoadStrings(const TveqIniFile& file);

    TOptions& options_;
    QString folder_;
};

}  // namespace brevio
