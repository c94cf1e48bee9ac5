// A check in the window: the main window on a settings file (offscreen), "Check all" as F9 gives
// it, timed to the moment the run has ended and the list holds its last row.
//   window_check SETTINGS ROWS
// Prints "seconds rows growth-KiB": the time from F9, the rows listed and how much the process's
// peak resident memory grew over what the shown window held before F9. Exit status 1 when the
// list did not reach ROWS rows within five minutes.

#include "ui/main_window.h"
#include "ui/message_list_model.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTimer>

#include <cstdio>
#include <cstdlib>

using namespace brevio;

namespace {

// A "VmRSS:" or "VmHWM:" line of /proc/self/status, in KiB.
long StatusKiB(const char* key)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(key))
            return line.mid(qsizetype(std::strlen(key))).trimmed().split(' ').value(0).toLong();
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: window_check SETTINGS ROWS\n");
        return 2;
    }
    QApplication app(argc, argv);
    // The window's icons, as the program loads them.
    Q_INIT_RESOURCE(brevio);
    const int rows = std::atoi(argv[2]);
    TForm1Settings settings;
    settings.SettingsFile = QString::fromLocal8Bit(argv[1]);
    settings.LangsFolder = QCoreApplication::applicationDirPath() + QStringLiteral("/../langs");
    settings.ReportSaveFailures = false;
    TForm1 form(settings);
    form.show();
    QCoreApplication::processEvents();
    const long before = StatusKiB("VmRSS:");

    // The event loop waits for events as the program's own does: a loop that polls would take a
    // core from the check it times.
    QEventLoop loop;
    bool ended = false;
    const auto endWhenListed = [&] {
        if (ended && form.Messages()->rowCount() >= rows)
            loop.quit();
    };
    QObject::connect(&form, &TForm1::RunFinished, [&] {
        ended = true;
        endWhenListed();
    });
    QObject::connect(form.Messages(), &QAbstractItemModel::rowsInserted, endWhenListed);
    QTimer::singleShot(5 * 60 * 1000, &loop, &QEventLoop::quit);
    QElapsedTimer clock;
    clock.start();
    form.actCheckMail->trigger();
    loop.exec();
    const double seconds = double(clock.nsecsElapsed()) / 1e9;
    const int listed = form.Messages()->rowCount();
    std::printf("%.3f %d %ld\n", seconds, listed, StatusKiB("VmHWM:") - before);
    return listed >= rows ? 0 : 1;
}
