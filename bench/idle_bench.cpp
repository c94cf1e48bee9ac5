// Watching inboxes against the private test server (its BREVIO_TEST_* settings in the
// environment). Not a test: it prints figures.
//   idle_bench latency [COUNT]   the window with carol's inbox watched and no schedule; COUNT
//                                messages (default 50) delivered into her Maildir a second apart;
//                                per delivery the time until its row is in the list and until the
//                                notification is announced (median and worst), and how many were missed
//   idle_bench scale [COUNT]     COUNT watchers (default 100) on the server's three users; the
//                                threads and memory they add, the CPU they use over 10 s of quiet,
//                                and the time StopAll takes to end them all
#include "engine/mailbox_list.h"
#include "support/live_server.h"
#include "ui/idle_watchers.h"
#include "ui/main_window.h"
#include "ui/message_list_model.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <pwd.h>
#include <sys/resource.h>
#include <unistd.h>

using namespace brevio;
using brevio::test::LiveServer;

namespace {

// Lets the event loop run until `done` holds or `ms` have passed.
bool Spin(const std::function<bool()>& done, int ms)
{
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    return done();
}

QString Deliver(const QString& maildir, const QString& subject)
{
    const QString path = QDir(maildir).filePath(QStringLiteral("new/%1.bench").arg(subject));
    QDir().mkpath(QDir(maildir).filePath(QStringLiteral("new")));
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write("From: Bench <bench@example.org>\r\nSubject: " + subject.toUtf8() + "\r\n\r\nBody.\r\n");
    file.close();
    if (const passwd* mail = ::getpwnam("mail")) [[maybe_unused]]
        int rc = ::chown(path.toLocal8Bit().constData(), mail->pw_uid, mail->pw_gid);
    return path;
}

void PrintSpread(const char* what, QList<qint64> ms)
{
    if (ms.isEmpty()) {
        std::printf("%-28s none\n", what);
        return;
    }
    std::sort(ms.begin(), ms.end());
    std::printf("%-28s median %lld ms, worst %lld ms (%lld measured)\n", what, ms.at(ms.size() / 2), ms.last(),
                qint64(ms.size()));
}

int Latency(const LiveServer& server, int count)
{
    const auto carol = server.user(QStringLiteral("carol"));
    QTemporaryDir folder;
    const QString settingsFile = folder.filePath(QStringLiteral("brevio.ini"));
    QFile file(settingsFile);
    if (!file.open(QIODevice::WriteOnly))
        return 1;
    file.write("[Main]\nFAutomaticCheckMail=0\nNumMailbox=1\nName0=Carol\nHost0=127.0.0.1\nPort0="
               + QByteArray::number(server.imapPort()) + "\nUserName0=carol\nPassword0=" + carol->password.toUtf8()
               + "\nPOPorIMAP0=0\nIdle0=1\n");
    file.close();
    TForm1Settings settings;
    settings.SettingsFile = settingsFile;
    settings.LangsFolder = QCoreApplication::applicationDirPath() + QStringLiteral("/../langs");
    settings.ReportSaveFailures = false;
    TForm1 form(settings);
    form.show();
    if (!Spin(
            [&] {
                return !form.Watchers()->Status().isEmpty()
                    && form.Watchers()->Status().first().State == TWatchState::Watching;
            },
            20000)) {
        std::printf("the watcher did not connect\n");
        return 1;
    }
    QElapsedTimer clock;
    clock.start();
    qint64 delivered = 0;
    int announcements = 0;
    QObject::connect(&form, &TForm1::NewMailAnnounced, [&] { ++announcements; });
    QList<qint64> toRow, toNotification;
    QStringList files;
    int missed = 0;
    for (int i = 0; i < count; ++i) {
        const QString subject = QStringLiteral("bench-%1-%2").arg(::getpid()).arg(i);
        const int announcedBefore = announcements;
        delivered = clock.elapsed();
        files.append(Deliver(carol->maildir, subject));
        const auto listed = [&] {
            return form.Messages()
                       ->match(form.Messages()->index(0, TMessageListModel::ColSubject), Qt::DisplayRole, subject, 1,
                               Qt::MatchExactly)
                       .size()
                == 1;
        };
        if (Spin(listed, 5000))
            toRow.append(clock.elapsed() - delivered);
        else
            ++missed;
        if (Spin([&] { return announcements > announcedBefore; }, 3000))
            toNotification.append(clock.elapsed() - delivered);
        Spin([] { return false; }, int(std::max<qint64>(0, 1000 - (clock.elapsed() - delivered))));
    }
    std::printf("latency: %d deliveries a second apart to a watched inbox, no schedule\n", count);
    PrintSpread("delivery to row", toRow);
    PrintSpread("delivery to notification", toNotification);
    std::printf("%-28s %d\n", "missed", missed);
    for (const QString& path : std::as_const(files))
        QFile::remove(path);
    return 0;
}

long Status(const char* key)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(key))
            return line.mid(qstrlen(key)).trimmed().split(' ').first().toLong();
    }
    return -1;
}

double CpuSeconds()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

int Scale(const LiveServer& server, int count)
{
    TMailBoxList list;
    const QStringList users = server.userNames();
    for (int i = 0; i < count; ++i) {
        const auto user = server.user(users.at(i % users.size()));
        auto box = std::make_unique<TMailBox>();
        box->Name = QStringLiteral("box %1").arg(i + 1);
        box->Host = server.host();
        box->Port = server.imapPort();
        box->UserName = user->name;
        box->Password = user->password;
        box->Protocol = TMailProtocol::IMAP4;
        box->Idle = true;
        list.Add(std::move(box));
    }
    const long threadsBefore = Status("Threads:");
    const long rssBefore = Status("VmRSS:");
    TIdleWatchers watchers([] { return TIdleWatchers::TSettings{TStringTable(), 20, nullptr}; });
    QElapsedTimer clock;
    clock.start();
    watchers.Apply(list);
    const auto allWatching = [&] {
        const auto status = watchers.Status();
        return std::all_of(status.begin(), status.end(),
                           [](const auto& s) { return s.State == TWatchState::Watching; });
    };
    const bool up = Spin(allWatching, 60000);
    std::printf("scale: %d watchers, %s in %lld ms\n", count, up ? "all watching" : "NOT all watching",
                clock.elapsed());
    Spin([] { return false; }, 2000);
    const double cpuBefore = CpuSeconds();
    QThread::sleep(10);
    const double cpu = CpuSeconds() - cpuBefore;
    const long threads = Status("Threads:") - threadsBefore;
    const long rss = Status("VmRSS:") - rssBefore;
    std::printf("%-28s %ld\n", "threads added", threads);
    std::printf("%-28s %ld KiB in all, %.1f KiB a watcher\n", "memory added (RSS)", rss, double(rss) / count);
    std::printf("%-28s %.3f s over 10 s (%.2f%% of one core)\n", "CPU while quiet", cpu, cpu * 10.0);
    clock.restart();
    watchers.StopAll(20000);
    std::printf("%-28s %lld ms\n", "StopAll (DONE and LOGOUT)", clock.elapsed());
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const LiveServer server = LiveServer::fromEnvironment();
    if (!server.available()) {
        std::printf("no test server: %s\n", qPrintable(server.unavailableReason()));
        return 2;
    }
    const QString mode = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("latency");
    const int count = argc > 2 ? std::atoi(argv[2]) : (mode == QStringLiteral("scale") ? 100 : 50);
    return mode == QStringLiteral("scale") ? Scale(server, count) : Latency(server, count);
}
