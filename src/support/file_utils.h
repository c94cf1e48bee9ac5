#pragma once
// File-system helpers for the language folder.

#include <QDir>
#include <QString>
#include <QStringList>

namespace brevio {

// Adds to `list` the names (without folder) of the entries that match `pattern`, a path whose last
// component may hold the wildcards * and ?, and the entry kinds in `filters` (for example
// QDir::Files). Names are added in alphabetical order. Returns false when nothing matched or the
// folder cannot be read.
bool GetFileList(const QString& pattern, QDir::Filters filters, QStringList& list);

// Creates a folder and every missing parent. True when the folder exists afterwards (paths
// shorter than three characters count as existing).
bool CreateFolderPath(const QString& path);

// True for an existing folder (not a file).
bool FolderExists(const QString& path);

}  // namespace brevio
