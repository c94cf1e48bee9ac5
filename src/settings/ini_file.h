#pragma once
// The settings store: an INI file of "[Section]" lines and "Key=Value" lines.
//
// Reading rules: section and key names are compared without regard to case; blanks around a
// value are dropped and one pair of matching single or double quotes around it is removed; a
// value is cut after 2047 characters; a missing file, section or key reads as the caller's
// default. The first occurrence of a section or key wins.
//
// The file is parsed once when the object is made. Every write changes the parsed lines and, unless
// a batch is open (BeginUpdate/EndUpdate), writes the whole file at once: into a temporary file in
// the same folder that then replaces the old one, so the file on disk is always either the old or
// the new version. Lines the store does not know (comments, other sections) keep their place.
// Files are written as UTF-8; in a file that is not valid UTF-8, each line that is not is read as
// Windows-1251. CR LF, LF and a lone CR end lines; lines are written with the platform's line end,
// or CR LF when the file had them.

#include "support/exception.h"

#include <QHash>
#include <QString>
#include <QStringList>
#include <vector>

namespace brevio {

// A settings file that cannot be written. It carries the file's name only (also as its message);
// the window words it in the user's language (FailureText).
class EIniWriteError : public Exception {
public:
    explicit EIniWriteError(const QString& fileName);
    const QString& FileName() const noexcept { return Message(); }
};

// Text of a settings or language file: UTF-8 (a byte order mark is dropped); when the bytes are not
// valid UTF-8, each line that is not valid UTF-8 is read as Windows-1251 and the others as UTF-8.
QString DecodeSettingsText(QByteArray bytes);

class TveqIniFile {
public:
    static constexpr int MaxValueLength = 2047;

    explicit TveqIniFile(QString fileName);
    // Writes pending changes of an open batch; a failure here is swallowed (a destructor must not
    // throw), so callers that care end their batch with EndUpdate().
    ~TveqIniFile();
    TveqIniFile(const TveqIniFile&) = delete;
    TveqIniFile& operator=(const TveqIniFile&) = delete;

    const QString& FileName() const { return fileName_; }

    QString ReadString(const QString& section, const QString& key, const QString& defaultValue) const;
    // 32-bit decimal, or hexadecimal after "0x"/"0X"; anything else gives the default.
    int ReadInteger(const QString& section, const QString& key, int defaultValue) const;
    qint64 ReadInt64(const QString& section, const QString& key, qint64 defaultValue) const;
    // An integer; non-zero is true. Words such as "yes" are no integer and give the default.
    bool ReadBool(const QString& section, const QString& key, bool defaultValue) const;
    // A number written with the decimal separator of the current default locale.
    double ReadFloat(const QString& section, const QString& key, double defaultValue) const;

    // Each write raises EIniWriteError when the file cannot be written.
    void WriteString(const QString& section, const QString& key, const QString& value);
    void WriteInteger(const QString& section, const QString& key, int value);
    void WriteInt64(const QString& section, const QString& key, qint64 value);
    void WriteBool(const QString& section, const QString& key, bool value);
    void WriteFloat(const QString& section, const QString& key, double value);

    bool SectionExists(const QString& section) const;
    bool ValueExists(const QString& section, const QString& key) const;
    // Key names of a section, in file order, as spelled in the file.
    QStringList ReadSection(const QString& section) const;
    // Every line of a section below its header, raw (for sections that are not key=value lists).
    QStringList ReadSectionLines(const QString& section) const;
    QStringList Sections() const;
    void DeleteKey(const QString& section, const QString& key);
    void EraseSection(const QString& section);

    // Batches writes: the file is written once, when the outermost EndUpdate() runs (which raises
    // EIniWriteError on failure).
    void BeginUpdate();
    void EndUpdate();
    // Writes pending changes now.
    void Flush();

    // The text a value is stored as: line breaks become blanks, and a value that the reading rules
    // would change (blanks around it, or enclosed in matching quotes) is put between double quotes
    // so that it reads back exactly.
    static QString EncodeValue(const QString& value);
    // The reading rules applied to the raw text after "=".
    static QString DecodeValue(const QString& raw);

private:
    struct Line {
        QString text;  // the line as it stands in the file
        QString key;   // folded key name; empty for lines that hold no key
    };
    struct Section {
        QString name;  // folded; empty for the lines before the first section
        bool hasHeader = false;
        QString header;  // the "[Name]" line
        std::vector<Line> lines;
        QHash<QString, int> keys;  // folded key -> first line with it
    };

    void Parse(const QString& text);
    void Reindex(Section& section);
    const Section* FindSection(const QString& section) const;
    Section* FindSection(const QString& section);
    const Line* FindLine(const QString& section, const QString& key) const;
    void Changed();
    void Save();
    static QString Fold(const QString& name);

    QString fileName_;
    std::vector<Section> sections_;
    QHash<QString, int> sectionIndex_;
    QString eol_;
    bool existed_ = false;
    bool dirty_ = false;
    int updateDepth_ = 0;
};

}  // namespace brevio
