#pragma once
// The version block of an executable: the standard version strings ("FileVersion",
// "ProductName", ...) of one or more translations, laid out as a Windows version resource
// (VS_VERSIONINFO: nested nodes of length, value length, type, UTF-16 key and value, each on a
// 32-bit boundary). The build writes the block from the project version and embeds it in each
// program as a resource; TVersionInfoReader finds it in a file and answers its strings. On
// Windows the reader takes the same bytes from the file's real version resource.

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <optional>

namespace brevio {

// The block's root value (VS_FIXEDFILEINFO), 52 bytes.
struct TFixedFileInfo {
    static constexpr quint32 kSignature = 0xFEEF04BD;

    quint32 Signature = 0;
    quint32 StrucVersion = 0;
    quint32 FileVersionMS = 0;
    quint32 FileVersionLS = 0;
    quint32 ProductVersionMS = 0;
    quint32 ProductVersionLS = 0;
    quint32 FileFlagsMask = 0;
    quint32 FileFlags = 0;
    quint32 FileOS = 0;
    quint32 FileType = 0;
    quint32 FileSubtype = 0;
    quint32 FileDateMS = 0;
    quint32 FileDateLS = 0;
};

// What a version block says, for writing one.
struct TVersionBlockContents {
    TFixedFileInfo Fixed;
    // Language identifier in the low 16 bits, code page in the high 16 bits. The strings are
    // written under the first; none leaves out the translation table and the strings.
    QList<quint32> Translations;
    QList<QPair<QString, QString>> Strings;  // name, value
};

// The fixed information of a program of `version` ("1.1.1.18": up to four numbers).
TFixedFileInfo FixedInfoForVersion(const QString& version);
QByteArray WriteVersionBlock(const TVersionBlockContents& contents);

// The value found under `path` in `block`, as VerQueryValue finds it: "\" is the fixed
// information, "\VarFileInfo\Translation" the translation table, "\StringFileInfo\041904e3\Name"
// a string (keys compared without regard to case). None when the path is not there or the block
// is malformed.
std::optional<QByteArray> QueryVersionValue(const QByteArray& block, const QString& path);

// Where the first well-formed version block begins in `data`, or -1.
qsizetype FindVersionBlock(const QByteArray& data);

class TVersionInfoReader {
public:
    // The standard string names, in the order their indexes refer to.
    static const QStringList& StandardNames();

    // Reads the block of `fileName`; empty reads the running executable's.
    explicit TVersionInfoReader(const QString& fileName = {});

    const QString& FileName() const { return fileName_; }
    // Re-reads from `fileName` (empty: the running executable).
    void SetFileName(const QString& fileName);
    // Takes a block given as bytes (as the platform returns a version resource).
    void ReadBlock(const QByteArray& block);

    bool HaveInfo() const { return haveInfo_; }
    const TFixedFileInfo& FixedInfo() const { return fixed_; }
    int TranslationCount() const { return int(translations_.size()); }
    quint32 Translation(int index) const { return translations_.value(index); }
    int CurrentTranslation() const { return currentTranslation_; }
    // An index outside 0 to count - 1 sets none (-1).
    void SetCurrentTranslation(int index);

    // A string of the current translation; empty without one, or when the block lacks it.
    QString StringValue(const QString& name) const;
    // The same for StandardNames()[index]; empty for an index outside them.
    QString StringValue(int index) const;

private:
    void Reset();

    QString fileName_;
    bool haveInfo_ = false;
    QByteArray block_;
    TFixedFileInfo fixed_;
    QList<quint32> translations_;
    int currentTranslation_ = -1;
};

// The path of the running executable, also before the application object exists.
QString RunningExecutablePath();

}  // namespace brevio
