#include "settings/autorun.h"

#include "settings/settings_file.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace brevio {

namespace {

// A base folder from an XDG variable: only an absolute path counts, as the base-directory rules
// say; anything else falls back.
QString XdgFolder(const char* variable, const QString& fallback)
{
    const QString value = qEnvironmentVariable(variable);
    for (const QString& path : value.split(u':', Qt::SkipEmptyParts)) {
        if (QDir::isAbsolutePath(path))
            return path;
    }
    return fallback;
}

// The value-type escapes of a desktop entry: a backslash and the control characters a value
// cannot hold literally.
QString EscapeEntryValue(const QString& value)
{
    QString out;
    for (QChar c : value) {
        if (c == u'\\')
            out += QStringLiteral("\\\\");
        else if (c == u'\n')
            out += QStringLiteral("\\n");
        else if (c == u'\t')
            out += QStringLiteral("\\t");
        else if (c == u'\r')
            out += QStringLiteral("\\r");
        else
            out += c;
    }
    return out;
}

}  // namespace

std::optional<QString> RunKeyFor(TAutorunScope scope)
{
    switch (scope) {
    case TAutorunScope::UserRun:
        return XdgFolder("XDG_CONFIG_HOME", QDir::homePath() + QStringLiteral("/.config"))
            + QStringLiteral("/autostart");
    case TAutorunScope::MachineRun:
        return XdgFolder("XDG_CONFIG_DIRS", QStringLiteral("/etc/xdg")) + QStringLiteral("/autostart");
    default:
        return std::nullopt;
    }
}

QString AutostartEntryPath(const QString& folder, const QString& valueName)
{
    return QDir(folder).filePath(valueName + QStringLiteral(".desktop"));
}

QString QuoteExecArgument(const QString& argument)
{
    QString out = QStringLiteral("\"");
    for (QChar c : argument) {
        if (c == u'"' || c == u'`' || c == u'$' || c == u'\\')
            out += u'\\';
        if (c == u'%')
            out += u'%';
        out += c;
    }
    return out + u'"';
}

QByteArray AutostartEntryText(const QString& command, const QString& comment)
{
    const QString text = QStringLiteral("[Desktop Entry]\n"
                                        "Type=Application\n"
                                        "Name=Brevio\n"
                                        "Comment=%1\n"
                                        "Exec=%2\n"
                                        "Terminal=false\n"
                                        "X-GNOME-Autostart-enabled=true\n")
                             .arg(EscapeEntryValue(comment), EscapeEntryValue(command));
    return text.toUtf8();
}

bool SetRunEntry(TAutorunScope scope, const QString& valueName, const QString& command, const QString& comment)
{
    const std::optional<QString> folder = RunKeyFor(scope);
    if (!folder || !QDir().mkpath(*folder))
        return false;
    // Written whole or not at all, so a half-written entry never starts anything.
    QSaveFile file(AutostartEntryPath(*folder, valueName));
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(AutostartEntryText(command, comment));
    return file.commit();
}

bool DeleteRunEntry(TAutorunScope scope, const QString& valueName)
{
    const std::optional<QString> folder = RunKeyFor(scope);
    return folder && QFile::remove(AutostartEntryPath(*folder, valueName));
}

bool HasRunEntry(TAutorunScope scope, const QString& valueName)
{
    const std::optional<QString> folder = RunKeyFor(scope);
    return folder && QFileInfo(AutostartEntryPath(*folder, valueName)).isFile();
}

QString AutorunValueName()
{
    return QStringLiteral("brevio");
}

bool SetLoadOnStart(bool enabled, const QString& executablePath, const TStringTable& strings)
{
    if (!enabled) {
        DeleteRunEntry(TAutorunScope::UserRun, AutorunValueName());
        return !IsLoadOnStartSet();
    }
    const QString path = executablePath.isEmpty() ? QCoreApplication::applicationFilePath() : executablePath;
    QString command = QuoteExecArgument(QDir::toNativeSeparators(path));
    // A copy that runs on a settings file of its own (--settings) starts on that file again at
    // login; the file the program would find by itself needs no option.
    const QString settingsFile = GetSettingsFileName();
    if (settingsFile != SettingsFileNameFor(path))
        command += QStringLiteral(" --settings ") + QuoteExecArgument(QDir::toNativeSeparators(settingsFile));
    // One argument besides the settings file starts the program minimised to the tray.
    return SetRunEntry(TAutorunScope::UserRun, AutorunValueName(), command + QStringLiteral(" /minimize"),
                       strings.Text(texts::AutostartComment));
}

bool IsLoadOnStartSet()
{
    return HasRunEntry(TAutorunScope::UserRun, AutorunValueName());
}

}  // namespace brevio
