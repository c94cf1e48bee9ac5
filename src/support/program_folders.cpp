#include "support/program_folders.h"

#include "support/version_info.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace brevio {

QString ProgramFolderFor(const QString& executablePath, const QString& name)
{
    const QDir exeDir = QFileInfo(executablePath).absoluteDir();
    QString beside = exeDir.filePath(name);
    if (QFileInfo(beside).isDir())
        return beside;
    // Relative to the executable first, so a package installed under any prefix finds its own
    // files; then the desktop's data folders.
    QStringList candidates = {QDir::cleanPath(exeDir.filePath(QStringLiteral("../share/brevio/") + name))};
    for (const QString& data : QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation))
        candidates.append(QDir(data).filePath(QStringLiteral("brevio/") + name));
    for (const QString& candidate : candidates)
        if (QFileInfo(candidate).isDir())
            return candidate;
    return beside;
}

QString ProgramFolder(const QString& name)
{
    return ProgramFolderFor(RunningExecutablePath(), name);
}

bool IsSelfContainedCopy(const QString& executablePath)
{
    return QFileInfo(QFileInfo(executablePath).absoluteDir().filePath(QStringLiteral("langs"))).isDir();
}

}  // namespace brevio
