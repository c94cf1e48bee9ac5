#include "settings/settings_file.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QMutex>
#include <QMutexLocker>
#include <QStandardPaths>

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
        if (folder.isDir() && folder.isWritable()) {
            const QString suffix = info.suffix();
            const QString base = suffix.isEmpty() ? info.absoluteFilePath()
                                                  : info.absoluteFilePath().chopped(suffix.size() + 1);
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
    return SettingsFileNameFor(QCoreApplication::instance() ? QCoreApplication::applicationFilePath()
                                                            : QString());
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
