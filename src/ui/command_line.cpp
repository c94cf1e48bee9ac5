#include "ui/command_line.h"

#include "support/app_version.h"

namespace brevio {

namespace {

bool IsOneOf(const QStringList& arguments, const char* longName, const char* shortName)
{
    return arguments.size() == 1
        && (arguments.first() == QLatin1String(longName) || arguments.first() == QLatin1String(shortName));
}

}  // namespace

std::optional<QString> InformationRequested(const QStringList& arguments)
{
    if (IsOneOf(arguments, "--help", "-h"))
        return QStringLiteral("Usage: brevio [--settings FILE] [ARGUMENT]\n"
                              "Checks POP3 and IMAP4 mailboxes and lists the headers of the messages on the servers.\n"
                              "\n"
                              "  --settings FILE  use FILE as the settings file\n"
                              "  ARGUMENT         any one other argument starts Brevio with only its tray icon\n"
                              "                   (the desktop's autostart entry passes /minimize)\n"
                              "  -h, --help       print this help and exit\n"
                              "  -v, --version    print the version and exit\n");
    if (IsOneOf(arguments, "--version", "-v"))
        return QStringLiteral("brevio %1\n").arg(GetAppVersion());
    return std::nullopt;
}

bool StartsHidden(const QStringList& arguments)
{
    return arguments.size() == 1 && !InformationRequested(arguments);
}

}  // namespace brevio
