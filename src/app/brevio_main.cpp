// The window program. Exactly one command-line argument (of any text, the autorun entry passes
// "/minimize") starts it with only its tray icon, except "--help" and "--version", which print
// and exit. "--settings FILE" chooses the settings file and is not counted among the arguments.
// One copy runs per settings file: a later start shows the running copy's window (or, started
// hidden, leaves it as it is) and ends.
#include <QApplication>
#include <QDir>
#include <QPointer>
#include <QStringList>

#include "settings/settings_file.h"
#include "support/program_folders.h"
#include "ui/command_line.h"
#include "ui/main_window.h"
#include "ui/single_instance.h"

#include <cstdio>

#ifdef Q_OS_UNIX
#include <QSocketNotifier>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

int quitPipe[2] = {-1, -1};

void OnTerminate(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(quitPipe[1], &byte, 1);
}

// SIGTERM and SIGHUP (a logout, a service manager) end the event loop like a Quit, so the
// window is destroyed and saves its state. The handler only writes to a pipe; the loop reads it.
void QuitOnTerminationSignals(QApplication& app)
{
    if (::pipe2(quitPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    auto* notifier = new QSocketNotifier(quitPipe[0], QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, &QApplication::quit);
    struct sigaction action {};
    action.sa_handler = OnTerminate;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr);
}

}  // namespace
#endif

int main(int argc, char** argv)
{
    // The arguments are read before the application object exists: printing the help or the
    // version must work without a display.
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args.append(QString::fromLocal8Bit(argv[i]));
    QString settingsFile;
    const int at = args.indexOf(QStringLiteral("--settings"));
    if (at >= 0 && at + 1 < args.size()) {
        settingsFile = args.at(at + 1);
        args.remove(at, 2);
    }
    if (const std::optional<QString> information = brevio::InformationRequested(args)) {
        std::fputs(information->toLocal8Bit().constData(), stdout);
        return 0;
    }

    QApplication app(argc, argv);
    Q_INIT_RESOURCE(brevio);
    QApplication::setApplicationName(QStringLiteral("Brevio"));
    QApplication::setQuitOnLastWindowClosed(false);
    if (!settingsFile.isEmpty())
        brevio::SetSettingsFileName(QDir::current().absoluteFilePath(settingsFile));

    brevio::TForm1Settings settings;
    settings.SettingsFile = brevio::GetSettingsFileName();
    settings.LangsFolder = brevio::ProgramFolder(QStringLiteral("langs"));
    settings.StartHidden = brevio::StartsHidden(args);

    brevio::TSingleInstance instance(settings.SettingsFile);
    if (!instance.Claim(!settings.StartHidden))
        return 0;

    QPointer<brevio::TForm1> form = new brevio::TForm1(settings);
    QObject::connect(&instance, &brevio::TSingleInstance::ShowRequested, form, &brevio::TForm1::Restore1Click);
    form->setAttribute(Qt::WA_DeleteOnClose);
    // The program ends when the main window closes, also while it sits hidden in the tray.
    QObject::connect(form, &QObject::destroyed, &app, &QApplication::quit);
    form->ShowAtStart();
#ifdef Q_OS_UNIX
    QuitOnTerminationSignals(app);
#endif
    const int code = app.exec();
    // The loop can also end without the window closing (the desktop session ends and asks the
    // program to quit): the window is destroyed here then, so its state is saved all the same.
    delete form;
    return code;
}
