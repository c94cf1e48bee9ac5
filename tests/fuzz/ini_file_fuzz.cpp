// A hand-edited settings file: read every key of every section, add a key, and read the saved
// file again. Whatever could be read before the save must read the same after it.
#include "settings/ini_file.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>
#include <cstdlib>

namespace {

using TValues = QList<std::pair<QString, QString>>;

// (section/key, value) of every key outside `skip`, as the store reads them.
TValues ReadAll(const brevio::TveqIniFile& file, const QString& skip)
{
    TValues values;
    for (const QString& section : file.Sections()) {
        if (section.compare(skip, Qt::CaseInsensitive) == 0)
            continue;
        for (const QString& key : file.ReadSection(section))
            values.append({section + u'/' + key, file.ReadString(section, key, QStringLiteral("\x01"))});
        (void)file.ReadSectionLines(section);
    }
    return values;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // One folder for the whole run, in memory where the system has it, so each input costs a
    // write and a rename rather than a folder.
    static QTemporaryDir dir(
        QDir(QDir(QStringLiteral("/dev/shm")).exists() ? QStringLiteral("/dev/shm") : QDir::tempPath())
            .filePath(QStringLiteral("brevio-fuzz-ini.XXXXXX")));
    const QString path = dir.filePath(QStringLiteral("fuzz.INI"));
    {
        QFile out(path);
        if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate))
            std::abort();
        out.write(reinterpret_cast<const char*>(data), qint64(size));
    }
    const QString written = QStringLiteral("Fuzz Added Section");
    TValues before;
    {
        brevio::TveqIniFile file(path);
        before = ReadAll(file, written);
        (void)file.ReadInteger(QStringLiteral("Options"), QStringLiteral("Interval"), 0);
        (void)file.ReadFloat(QStringLiteral("Stats"), QStringLiteral("FValue0"), 0);
        file.WriteString(written, QStringLiteral("Key"), QStringLiteral(" value with blanks "));
    }
    brevio::TveqIniFile again(path);
    if (ReadAll(again, written) != before)
        std::abort();  // the save lost or changed something the first read could see
    if (again.ReadString(written, QStringLiteral("Key"), {}) != QStringLiteral(" value with blanks "))
        std::abort();
    return 0;
}
