#include "support/file_utils.h"

#include <QFileInfo>

namespace brevio {

bool GetFileList(const QString& pattern, QDir::Filters filters, QStringList& list)
{
    const QString normalized = QDir::fromNativeSeparators(pattern);
    const qsizetype slash = normalized.lastIndexOf(u'/');
    const QString folder = slash < 0 ? QStringLiteral(".") : normalized.left(slash + 1);
    const QString mask = slash < 0 ? normalized : normalized.mid(slash + 1);
    if (mask.isEmpty())
        return false;
    QDir dir(folder);
    if (!dir.exists())
        return false;
    const QStringList names =
        dir.entryList(QStringList{mask}, filters | QDir::NoDotAndDotDot, QDir::Name);
    list << names;
    return !names.isEmpty();
}

bool CreateFolderPath(const QString& path)
{
    QString folder = path;
    if (folder.endsWith(u'/') || folder.endsWith(u'\\'))
        folder.chop(1);
    if (folder.size() < 3 || FolderExists(folder))
        return true;
    return QDir().mkpath(folder);
}

bool FolderExists(const QString& path)
{
    return !path.isEmpty() && QFileInfo(path).isDir();
}

}  // namespace brevio
