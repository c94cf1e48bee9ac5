#include "support/file_utils.h"

#include <QFileInfo>

namespace brevio {

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
