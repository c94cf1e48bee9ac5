#pragma once
// The window program's command line as a Linux user expects it: "--help" and "--version" (and
// "-h", "-v") print and exit instead of starting the program; any other single argument starts
// it with only its tray icon.

#include <QString>
#include <QStringList>
#include <optional>

namespace brevio {

// What to print for `arguments` (the program name and "--settings FILE" left out) when they ask
// for the usage or the version; nothing when the program should start.
std::optional<QString> InformationRequested(const QStringList& arguments);

// The start without a window: exactly one argument that asks for no information.
bool StartsHidden(const QStringList& arguments);

}  // namespace brevio
