// Installs the build into a temporary prefix, as a package would, and runs what was installed.
#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTcpServer>

#include "support/program_folders.h"
#include "support/temp_files.h"

namespace brevio {
namespace {

struct TRun {
    int ExitCode = -1;
    QString Out;
    QString Err;
};

TRun RunProgram(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.start(program, arguments);
    TRun run;
    if (!process.waitForFinished(120000))
        return run;
    run.ExitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.Out = QString::fromUtf8(process.readAllStandardOutput());
    run.Err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

class InstallTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        prefix_ = new test::TempFolder;
        install_ = RunProgram(QStringLiteral(CMAKE_COMMAND_PATH),
                       {"--install", BREVIO_BUILD_DIR, "--prefix", prefix_->Root()});
    }
    static void TearDownTestSuite() { delete prefix_; }

    void SetUp() override { ASSERT_EQ(install_.ExitCode, 0) << install_.Err.toStdString(); }

    static QString Installed(const QString& path) { return prefix_->Path(path); }

    static inline test::TempFolder* prefix_ = nullptr;
    static inline TRun install_;
};

TEST_F(InstallTest, LaysOutProgramsDataLauncherAndIcons)
{
    const char* files[] = {
        "bin/brevio",
        "bin/brevio-check",
        "share/brevio/langs/lang.ENG",
        "share/brevio/langs/lang.RUS",
        "share/brevio/help/Introduction.htm",
        "share/brevio/help/Options.htm",
        "share/brevio/help/MailBoxOptions.htm",
        "share/brevio/bmp/F9.bmp",
        "share/applications/brevio.desktop",
        "share/icons/hicolor/scalable/apps/brevio.svg",
        "share/icons/hicolor/16x16/apps/brevio.png",
        "share/icons/hicolor/22x22/apps/brevio.png",
        "share/icons/hicolor/48x48/apps/brevio.png",
    };
    for (const char* file : files)
        EXPECT_TRUE(QFileInfo(Installed(file)).isFile()) << file;
    EXPECT_TRUE(QFileInfo(Installed("bin/brevio")).isExecutable());

    QFile desktop(Installed("share/applications/brevio.desktop"));
    ASSERT_TRUE(desktop.open(QIODevice::ReadOnly));
    const QString entry = QString::fromUtf8(desktop.readAll());
    EXPECT_TRUE(entry.contains("\nExec=brevio\n"));
    EXPECT_TRUE(entry.contains("\nIcon=brevio\n"));
    EXPECT_TRUE(entry.contains("\nCategories=Network;Email;\n"));

    // Nothing of the build or the tests comes along.
    EXPECT_FALSE(QFileInfo::exists(Installed("bin/unit_tests")));
    EXPECT_FALSE(QFileInfo::exists(Installed("bin/brevio_version_block")));
}

TEST_F(InstallTest, InstalledProgramsFindTheirFiles)
{
    const QString brevio = Installed("bin/brevio");
    for (const char* name : {"langs", "help", "bmp"})
        EXPECT_EQ(ProgramFolderFor(brevio, name), Installed(QStringLiteral("share/brevio/") + name)) << name;
    // Its settings go to the user's configuration folder, never beside it.
    EXPECT_FALSE(IsSelfContainedCopy(brevio));

    const TRun version = RunProgram(brevio, {"--version"});
    EXPECT_EQ(version.ExitCode, 0);
    EXPECT_EQ(version.Out, "brevio " BREVIO_VERSION "\n");
}

TEST_F(InstallTest, InstalledCheckerSpeaksTheChosenLanguage)
{
    // A port nobody listens on: the check fails at once, after saying in Russian what it does.
    QTcpServer closed;
    ASSERT_TRUE(closed.listen(QHostAddress::LocalHost));
    const quint16 port = closed.serverPort();
    closed.close();
    test::TempFolder folder;
    const QString settings = folder.Write(
        "Brevio.INI", "[Main]\nFCurrentLanguage=RUS\nNumMailbox=1\nName0=box\nHost0=127.0.0.1\nPort0=" +
                          QByteArray::number(port) + "\nUserName0=u\nPassword0=p\nPOPorIMAP0=1\n");
    const TRun check = RunProgram(Installed("bin/brevio-check"), {"--settings", settings, "--verbose"});
    EXPECT_EQ(check.ExitCode, 1) << check.Err.toStdString();
    EXPECT_TRUE(check.Err.contains(QStringLiteral("Соединение с сервером (box)"))) << check.Err.toStdString();
    // Nothing was created beside the installed program.
    EXPECT_FALSE(QFileInfo::exists(Installed("bin/langs")));
}

}  // namespace
}  // namespace brevio
