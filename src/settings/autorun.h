#pragma once
// Starting the program when the user logs in. On a freedesktop system that is an autostart entry
// (a ".desktop" file in the user's autostart folder); a Windows build writes a value under one of
// the registry's "Run" keys instead. RunKeyFor, SetRunEntry and DeleteRunEntry are the only
// functions that know where the entry lives.

#include "support/string_table.h"

#include <QString>
#include <optional>

namespace brevio {

// The places an autorun entry can be kept, numbered as the Windows "Run" keys are.
enum class TAutorunScope {
    MachineRun = 0,
    MachineRunOnce = 1,
    UserRun = 2,
    UserRunOnce = 3,
    MachineRunServices = 4,
    MachineRunServicesOnce = 5,
};

// Where entries of `scope` are kept: on a freedesktop system the folder of autostart entries
// ($XDG_CONFIG_HOME/autostart for the user, the first of $XDG_CONFIG_DIRS for the machine).
// Empty for scopes the platform does not have (there is no "run once" autostart entry).
std::optional<QString> RunKeyFor(TAutorunScope scope);

// Writes the entry `valueName` of `scope` with `command` as the command line to run and
// `comment` as its description, creating the folder when needed. False when the scope does not
// exist or the entry cannot be written.
bool SetRunEntry(TAutorunScope scope, const QString& valueName, const QString& command, const QString& comment);
// Deletes the entry; true when it existed and is gone.
bool DeleteRunEntry(TAutorunScope scope, const QString& valueName);
bool HasRunEntry(TAutorunScope scope, const QString& valueName);

// The file of entry `valueName` in the autostart folder `folder`.
QString AutostartEntryPath(const QString& folder, const QString& valueName);
// The text of an autostart entry that runs `command`, a command line already quoted for the
// entry's Exec key (see QuoteExecArgument), described by `comment`.
QByteArray AutostartEntryText(const QString& command, const QString& comment);
// One argument of an Exec key, in double quotes, with the characters the desktop-entry rules
// reserve escaped, and "%" doubled so it is not taken as a field code.
QString QuoteExecArgument(const QString& argument);

// The name Brevio's own entry goes by ("brevio": the file brevio.desktop).
QString AutorunValueName();

// Adds the program's entry for the current user, running `executablePath` (default: this
// program) with the argument "/minimize", or removes it. When this program uses another
// settings file than `executablePath` would find by itself (it was started with --settings),
// the entry passes that file with --settings. The entry's description is the text
// AutostartComment of `strings`. Returns whether the entry now is as asked; removing an entry
// that does not exist succeeds without a word.
bool SetLoadOnStart(bool enabled, const QString& executablePath = {}, const TStringTable& strings = {});
// Whether the current user's entry exists.
bool IsLoadOnStartSet();

}  // namespace brevio
