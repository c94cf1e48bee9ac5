// One running copy per settings file: later starts hand over to the running copy, a hidden start
// leaves it as it is, and a copy that was killed does not block the next start.
#include "support/temp_files.h"
#include "ui/single_instance.h"

#include <QProcess>
#include <QSignalSpy>
#include <gtest/gtest.h>

namespace brevio {
namespace {

using test::TempFolder;

TEST(SingleInstance, LaterStartsHandOverInOneProcess)
{
    TempFolder folder;
    const QString file = folder.Write("Brevio.INI", "[Options]\n");
    TSingleInstance running(file);
    ASSERT_TRUE(running.Claim(true));
    QSignalSpy shown(&running, &TSingleInstance::ShowRequested);

    // Another spelling of the same file is the same file.
    TSingleInstance hidden(folder.Root() + "/./Brevio.INI");
    EXPECT_FALSE(hidden.Claim(false));
    TSingleInstance second(file);
    EXPECT_FALSE(second.Claim(true));
    // Only the second start asked for the window: the hidden one sent nothing.
    ASSERT_TRUE(shown.wait(10000));
    EXPECT_EQ(shown.size(), 1);

    // Another settings file is another program.
    TSingleInstance other(folder.Write("Other.INI", ""));
    EXPECT_TRUE(other.Claim(true));
}

// Reads the probe's next output line.
QByteArray NextLine(QProcess& probe)
{
    while (!probe.canReadLine() && probe.waitForReadyRead(30000)) {
    }
    return probe.readLine().trimmed();
}

TEST(SingleInstance, SecondProgramHandsOverAndKilledCopyIsTakenOver)
{
    TempFolder folder;
    const QString file = folder.Write("Brevio.INI", "[Options]\n");
    const auto start = [&](QProcess& probe, const char* how) {
        probe.start(QStringLiteral(INSTANCE_PROBE_PATH), {file, QString::fromLatin1(how)});
        return NextLine(probe);
    };

    QProcess first;
    ASSERT_EQ(start(first, "show"), "running");
    QProcess hidden;
    EXPECT_EQ(start(hidden, "hidden"), "handed over");
    EXPECT_TRUE(hidden.waitForFinished());
    QProcess second;
    EXPECT_EQ(start(second, "show"), "handed over");
    EXPECT_EQ(NextLine(first), "show");
    EXPECT_TRUE(second.waitForFinished());
    EXPECT_EQ(second.exitCode(), 0);

    // Killed, the first copy leaves its lock file and its socket behind.
    first.kill();
    first.waitForFinished();
    QProcess third;
    EXPECT_EQ(start(third, "show"), "running");
    third.kill();
    third.waitForFinished();
    QLocalServer::removeServer(TSingleInstance::ServerName(file));
}

}  // namespace
}  // namespace brevio
