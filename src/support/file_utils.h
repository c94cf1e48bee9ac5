#pragma once
// File-system helpers for the language folder.

#include <QDir>
#include <QString>
#include <QStringList>

namespace brevio {

// Creates a folder and every missing parent. True when the folder exists afterwards (paths
// shorter than three characters count as existing).
bool CreateFolderPath(const QString& path);

// True for an existing folder (not a file).
bool FolderExists(const QString& path);

}  // namespace brevio
