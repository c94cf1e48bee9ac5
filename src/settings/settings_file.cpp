#include "settings/settings_file.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QMutex>
#include <QMutexLocker>
#include <QStandardPaths>

#include "support/program_folders.h"

namespace brevio {

namespace {

QMutex overrideMutex;
QString overrideName;

}  // namespace

QString SettingsFileNameFor(const QString& exe)
{
    if (!exe.isEmpty()) {
        const QFileInfo info(exe);
        const QFileInfo folder(info.absolutePath());
        // An installed program never writes beside itself (not even run by root, which may
        // write into /usr/bin): only a copy that runs from its own folder keeps its settings there.
        if (folder.isDir() && folder.isWritable() && IsSelfContainedCopy(info.absoluteFilePath())) {
            const QString suffix = info.suffix();
            const QString base =
                suffix.isEmpty() ? info.absoluteFilePath() : info.absoluteFilePath().chopped(suffix.size() + 1);
            return base + QStringLiteral(".INI");
        }
    }
    QString folder = QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
    if (folder.isEmpty())
        folder = QDir::homePath();
    QDir().mkpath(folder);
    return QDir(folder).filePath(QStringLiteral("Brevio.INI"));
}

QString GetSettingsFileName()
{
    {
        QMutexLocker lock(&overrideMutex);
        if (!overrideName.isEmpty())
            return overrideName;
    }
    return SettingsFileNameFor(QCoreApplication::instance() ? QCoreApplication::applicationFilePath() : QString());
}

void SetSettingsFileName(const QString& fileName)
{
    QMutexLocker lock(&overrideMutex);
    overrideName = fileName;
}

std::unique_ptr<TveqIniFile> OpenIniFile(const QString& fileName)
{
    return std::make_unique<TveqIniFile>(fileName.isEmpty() ? GetSettingsFileName() : fileName);
}

}  // namespace brevio
