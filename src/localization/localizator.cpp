#include "localization/localizator.h"

#include "settings/language_table.h"
#include "settings/ini_file.h"
#include "settings/options.h"
#include "support/file_utils.h"
#include "support/program_folders.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace brevio {

TLocalizator::TLocalizator(TOptions& options, const QString& folder) : options_(options)
{
    QString path = folder;
    if (path.isEmpty())
        path = ProgramFolder(QStringLiteral("langs"));
    SetFolder(path);
    if (!QFileInfo(LanguageFileName(options_.FCurrentLanguage)).isFile())
        options_.FCurrentLanguage = QStringLiteral("ENG");
    LoadForms();
}

void TLocalizator::SetFolder(const QString& path)
{
    folder_ = QDir::fromNativeSeparators(path);
    while (folder_.size() > 1 && folder_.endsWith(u'/'))
        folder_.chop(1);
    if (!FolderExists(folder_))
        CreateFolderPath(folder_);
}

QString TLocalizator::LanguageFileName(const QString& code) const
{
    const QString name = QStringLiteral("lang.") + code;
    const QStringList present = QDir(folder_).entryList(QDir::Files);
    for (const QString& candidate : present)
        if (candidate.compare(name, Qt::CaseInsensitive) == 0)
            return QDir(folder_).filePath(candidate);
    return QDir(folder_).filePath(name);
}

QString TLocalizator::CurrentFileName() const
{
    return LanguageFileName(options_.FCurrentLanguage);
}

void TLocalizator::LoadStrings()
{
    LoadStrings(TveqIniFile(CurrentFileName()));
}

void TLocalizator::LoadStrings(const TveqIniFile& file)
{
    // Keys are compared without regard to case by the INI reader; a key present with an empty
    // value gives an empty text.
    TStringTable strings;
    for (int i = 0; i < texts::TextCount; ++i) {
        const auto id = texts::TTextId(i);
        const QString key = QLatin1String(TextKey(id).Key);
        strings.Set(key, file.ReadString(QStringLiteral("Strings"), key, strings.Text(id)));
    }
    Strings = strings;
}

void TLocalizator::LoadForms()
{
    // One reading of the file serves the form sections and the string table.
    const TveqIniFile file(CurrentFileName());
    Forms.clear();
    const QStringList sections = file.Sections();
    // The first section is the string table, never a form section. Of two sections with one name
    // the first counts, as in FindForm.
    for (qsizetype i = 1; i < sections.size() && i < MaxSections; ++i)
        Forms.append(TFormLocalization(sections[i], file.ReadSectionLines(sections[i])));
    LoadStrings(file);
}

const TFormLocalization* TLocalizator::FindForm(const QString& formName) const
{
    for (const TFormLocalization& form : Forms)
        if (form.FormName.compare(formName, Qt::CaseInsensitive) == 0)
            return &form;
    return nullptr;
}

QList<TLanguageEntry> TLocalizator::GetLanguages(int& currentIndex) const
{
    QList<TLanguageEntry> entries;
    const QList<TLanguageInfo>& languages = SystemLanguages();
    const QStringList files = QDir(folder_).entryList(QDir::Files, QDir::Name);
    for (const QString& name : files) {
        if (!name.startsWith(QStringLiteral("lang."), Qt::CaseInsensitive))
            continue;
        const QString code = name.mid(name.lastIndexOf(u'.') + 1);
        TLanguageEntry entry{name, -1, code.toUpper()};
        const int index = FindLanguage(code);
        if (index >= 0 && !code.isEmpty()) {
            entry.Text = languages[index].Name();
            entry.SystemIndex = index;
        }
        entries.append(entry);
    }
    const int current = FindLanguage(options_.FCurrentLanguage);
    if (current >= 0)
        currentIndex = current;
    return entries;
}

void TLocalizator::SetLanguage(int index)
{
    const QList<TLanguageInfo>& languages = SystemLanguages();
    if (index < 0 || index >= languages.size())
        return;
    SetLanguageCode(languages[index].Code);
}

void TLocalizator::SetLanguageCode(const QString& code)
{
    if (code.isEmpty())
        return;
    options_.FCurrentLanguage = code.toUpper();
    LoadForms();
}

}  // namespace brevio
