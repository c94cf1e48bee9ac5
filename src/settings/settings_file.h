#pragma once
// Where the settings file lives, and the factory that opens it.

#include "settings/ini_file.h"

#include <QString>
#include <memory>

namespace brevio {

// The settings file: the executable's path with the extension ".INI" when the executable runs as
// a copy of its own (its language files beside it) from a writable folder, otherwise
// "Brevio.INI" in the per-user configuration folder. A name set with
// SetSettingsFileName() takes precedence (the command-line checker's option, and every test).
QString GetSettingsFileName();

// The settings file of the program at `executablePath` by the rule above (the command-line
// checker asks for the window program's file, so both share one).
QString SettingsFileNameFor(const QString& executablePath);

// Makes every later GetSettingsFileName() return `fileName`; an empty name restores the default.
void SetSettingsFileName(const QString& fileName);

// A new settings-file object on GetSettingsFileName(), or on `fileName` when it is not empty.
std::unique_ptr<TveqIniFile> OpenIniFile(const QString& fileName = {});

}  // namespace brevio
