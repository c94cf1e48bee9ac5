// Installs the build into a temporary prefix, as a package would, and runs what was installed.
#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
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
        "share/doc/brevio/copyright",
        "share/doc/brevio/changelog.Debian.gz",
        "share/man/man1/brevio.1.gz",
        "share/man/man1/brevio-check.1.gz",
        "share/metainfo/org.example.brevio.metainfo.xml",
        "share/lintian/overrides/brevio",
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

QByteArray ReadFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The text of a gzip file, or an empty one when it cannot be read.
QString Gunzipped(const QString& path)
{
    const TRun run = RunProgram(QStringLiteral("gzip"), {"-dc", path});
    return run.ExitCode == 0 ? run.Out : QString();
}

TEST_F(InstallTest, CompressedFilesAreMadeAsDebianWantsThem)
{
    // gzip's header: compressed at the highest level (XFL 2), with neither the file's name
    // (FLG bit 3) nor its time (MTIME), so the package's bytes depend on the sources alone.
    for (const char* file :
         {"share/doc/brevio/changelog.Debian.gz", "share/man/man1/brevio.1.gz", "share/man/man1/brevio-check.1.gz"}) {
        const QByteArray bytes = ReadFile(Installed(file));
        ASSERT_GT(bytes.size(), 10) << file;
        EXPECT_EQ(bytes.left(3), QByteArray("\x1f\x8b\x08", 3)) << file;
        EXPECT_EQ(bytes.at(3) & 0x08, 0) << file << ": stores the file name";
        EXPECT_EQ(bytes.mid(4, 4), QByteArray(4, '\0')) << file << ": stores a time";
        EXPECT_EQ(bytes.at(8), 2) << file << ": not compressed at the highest level";
        EXPECT_FALSE(Gunzipped(Installed(file)).isEmpty()) << file;
    }
}

TEST_F(InstallTest, CopyrightAndChangelogCarryTheLicenceAndTheVersion)
{
    const QString copyright = QString::fromUtf8(ReadFile(Installed("share/doc/brevio/copyright")));
    EXPECT_TRUE(copyright.startsWith("Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n"));
    EXPECT_TRUE(copyright.contains("\nCopyright: 2026 VEQ labs\nLicense: Expat\n"));
    // The whole permission notice, every line indented; an empty line would end the paragraph.
    const QString licence = QString::fromUtf8(ReadFile(BREVIO_SOURCE_DIR "/LICENSE"));
    const qsizetype notice = licence.indexOf("Permission is hereby granted");
    ASSERT_GE(notice, 0);
    for (const QString& line : licence.mid(notice).trimmed().split('\n')) {
        const QString indented = line.isEmpty() ? QStringLiteral(" .") : " " + line;
        EXPECT_TRUE(copyright.contains("\n" + indented + "\n")) << line.toStdString();
    }
    const QString paragraph = copyright.mid(copyright.indexOf("\nLicense: Expat\n") + 1);
    EXPECT_FALSE(paragraph.trimmed().contains("\n\n"));

    const QString changelog = Gunzipped(Installed("share/doc/brevio/changelog.Debian.gz"));
    EXPECT_TRUE(changelog.startsWith("brevio (" BREVIO_PACKAGE_VERSION ") unstable; urgency=medium\n\n"))
        << changelog.toStdString();
    static const QRegularExpression trailer(
        "\n -- VEQ labs <[^@ >]+@[^ >]+>  [A-Z][a-z]{2}, \\d{2} [A-Z][a-z]{2} \\d{4} "
        "\\d{2}:\\d{2}:\\d{2} \\+0000\n$");
    EXPECT_TRUE(trailer.match(changelog).hasMatch()) << changelog.toStdString();
}

TEST_F(InstallTest, ManualPagesDescribeEveryOptionOfTheirProgram)
{
    // Each option that --help prints has an entry of its own in the manual page: a .TP paragraph
    // whose tag names it (dashes written \- in roff), not merely a mention in the synopsis.
    static const QRegularExpression option(R"((?:^|[\s\[|,])(--?[a-z][a-z-]*))");
    for (const char* program : {"brevio", "brevio-check"}) {
        const QString page = Gunzipped(Installed(QStringLiteral("share/man/man1/%1.1.gz").arg(program)));
        ASSERT_FALSE(page.isEmpty()) << program;
        EXPECT_TRUE(page.startsWith(QStringLiteral(".TH %1 1 ").arg(QString(program).toUpper()))) << program;
        EXPECT_TRUE(page.contains("\"Brevio " BREVIO_VERSION "\"")) << program;
        static const QRegularExpression placeholder("@[A-Z_]+@");
        EXPECT_FALSE(placeholder.match(page).hasMatch()) << program << ": a placeholder was left unfilled";
        EXPECT_TRUE(page.contains(".SH FILES\n")) << program;

        const TRun help = RunProgram(Installed(QStringLiteral("bin/") + program), {"--help"});
        ASSERT_EQ(help.ExitCode, 0) << program;
        QStringList seen;
        for (const QRegularExpressionMatch& match : option.globalMatch(help.Out))
            seen.append(match.captured(1));
        EXPECT_GE(seen.size(), 3) << program;
        for (const QString& name : seen) {
            const QString roff = QRegularExpression::escape(QString(name).replace('-', "\\-"));
            const QRegularExpression entry("\n\\.TP\n\\.B[IR]? (?:[^\n]*[ \"])?" + roff + "(?![a-z]|\\\\-)");
            EXPECT_TRUE(entry.match(page).hasMatch()) << program << " " << name.toStdString();
        }
    }
    EXPECT_TRUE(Gunzipped(Installed("share/man/man1/brevio-check.1.gz")).contains(".SH EXIT STATUS\n"));
}

TEST_F(InstallTest, MetainfoNamesTheLauncherAndTheReleaseAndValidates)
{
    const QString metainfo = QString::fromUtf8(ReadFile(Installed("share/metainfo/org.example.brevio.metainfo.xml")));
    EXPECT_TRUE(metainfo.contains("<id>org.example.brevio</id>"));
    EXPECT_TRUE(metainfo.contains("<launchable type=\"desktop-id\">brevio.desktop</launchable>"));
    EXPECT_TRUE(QFileInfo(Installed("share/applications/brevio.desktop")).isFile());
    EXPECT_TRUE(metainfo.contains("<release version=\"" BREVIO_VERSION "\""));

    // The metadata with the desktop file beside it, as the software centres read them.
    const QString validator = QStandardPaths::findExecutable("appstreamcli");
    if (validator.isEmpty())
        GTEST_SKIP() << "appstreamcli is not installed";
    const TRun check = RunProgram(validator, {"validate-tree", "--no-net", "--pedantic", prefix_->Root()});
    EXPECT_EQ(check.ExitCode, 0) << check.Out.toStdString() << check.Err.toStdString();
}

// The package itself, built into a folder of its own, passes the Debian package checker without
// an error or a warning (the overrides it ships included).
TEST_F(InstallTest, PackagePassesLintian)
{
    const QString lintian = QStandardPaths::findExecutable("lintian");
    if (lintian.isEmpty())
        GTEST_SKIP() << "lintian is not installed";
    test::TempFolder out;
    const TRun pack = RunProgram(QStringLiteral(CPACK_COMMAND_PATH),
                                 {"-G", "DEB", "-B", out.Root(), "--config", BREVIO_BUILD_DIR "/CPackConfig.cmake"});
    ASSERT_EQ(pack.ExitCode, 0) << pack.Out.toStdString() << pack.Err.toStdString();
    const QStringList packages = QDir(out.Root()).entryList({"brevio_" BREVIO_PACKAGE_VERSION "_*.deb"}, QDir::Files);
    ASSERT_EQ(packages.size(), 1) << pack.Out.toStdString();
    const TRun check =
        RunProgram(lintian, {"--fail-on", "error,warning", "--no-tag-display-limit", out.Path(packages.first())});
    EXPECT_EQ(check.ExitCode, 0) << check.Out.toStdString() << check.Err.toStdString();
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
    const QString settings =
        folder.Write("Brevio.INI",
                     "[Main]\nFCurrentLanguage=RUS\nNumMailbox=1\nName0=box\nHost0=127.0.0.1\nPort0="
                         + QByteArray::number(port) + "\nUserName0=u\nPassword0=p\nPOPorIMAP0=1\n");
    const TRun check = RunProgram(Installed("bin/brevio-check"), {"--settings", settings, "--verbose"});
    EXPECT_EQ(check.ExitCode, 1) << check.Err.toStdString();
    EXPECT_TRUE(check.Err.contains(QStringLiteral("Соединение с сервером (box)"))) << check.Err.toStdString();
    // Nothing was created beside the installed program.
    EXPECT_FALSE(QFileInfo::exists(Installed("bin/langs")));
}

}  // namespace
}  // namespace brevio
