#pragma once
// Where the program's shipped files lie: the folders "langs", "help" and "bmp". A copy that runs
// from its own folder (the build folder, or an unpacked copy) has them beside the executable; an
// installed program has them in its data folder, <prefix>/share/brevio for an executable in
// <prefix>/bin.

#include <QString>

namespace brevio {

// The folder `name` beside the executable `executablePath` when it is there, otherwise the
// installed data folder's when that is there; when neither is, the one beside the executable.
QString ProgramFolderFor(const QString& executablePath, const QString& name);
// The same for the running executable.
QString ProgramFolder(const QString& name);

// True when `executablePath` runs as a copy of its own, with its language files beside it.
bool IsSelfContainedCopy(const QString& executablePath);

}  // namespace brevio
