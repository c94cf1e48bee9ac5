// brevio-check as a user runs it: a settings file, the real server, its output and exit status.
#include "live_support.h"

#include "engine/mailbox_list.h"
#include "support/temp_files.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

namespace brevio::test {
namespace {

#ifdef BREVIO_CHECK_PATH

struct TRunOutput {
    int ExitCode = -1;
    QString Out;
    QString Err;
};

TRunOutput RunChecker(const QStringList& arguments)
{
    // The checker's header cache goes to a folder of the test run, never the user's own.
    static const QTemporaryDir cacheHome;
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_CACHE_HOME"), cacheHome.path());
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(BREVIO_CHECK_PATH), arguments);
    process.waitForFinished(120000);
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError())};
}

class CheckerLive : public ::testing::Test {
protected:
    void SetUp() override
    {
        server = LiveServer::fromEnvironment();
        if (!server.available())
            GTEST_SKIP() << server.unavailableReason().toStdString();
        settings = folder.Path(QStringLiteral("brevio.INI"));
    }

    void SaveSettings(const TMailBoxList& list) { list.Save(settings); }

    LiveServer server;
    TempFolder folder;
    QString settings;
};

// The TSV lines of alice's seeded INBOX, as the checker must print them (POP3 sees INBOX only).
QStringList ExpectedInboxLines(const QString& mailbox, const QString& folderColumn)
{
    QStringList lines;
    const QList<SeedMessage> seeded = SeedManifest::load().folder(QStringLiteral("alice"), QStringLiteral("INBOX"));
    for (const SeedMessage& m : seeded) {
        const QDateTime local = m.dateUtc.isValid() ? m.dateUtc.toLocalTime() : QDateTime();
        lines.append(QStringList{QString::number(m.seq), m.subject, QString(), mailbox,
                                 QString::number(m.size),
                                 local.isValid() ? local.toString(QStringLiteral("yyyy-MM-dd")) : QString(),
                                 local.isValid() ? local.toString(QStringLiteral("HH:mm:ss")) : QString(),
                                 folderColumn}
                         .join(u'\t'));
    }
    return lines;
}

// Compares every column but From (its display form has rules of its own, tested elsewhere).
QStringList WithoutFrom(const QStringList& lines)
{
    QStringList result;
    for (const QString& line : lines) {
        QStringList fields = line.split(u'\t');
        if (fields.size() == 8)
            fields[2].clear();
        result.append(fields.join(u'\t'));
    }
    return result;
}

TEST_F(CheckerLive, TsvListsTheSeededInboxOverEveryProtocolAndSecurity)
{
    struct Config {
        const char* Name;
        TProtocol Protocol;
        TSecurity Security;
    };
    const Config configs[] = {
        {"pop-plain", TProtocol::Pop3, TSecurity::None},   {"pop-tls", TProtocol::Pop3, TSecurity::Tls},
        {"pop-starttls", TProtocol::Pop3, TSecurity::StartTls}, {"imap-plain", TProtocol::Imap4, TSecurity::None},
        {"imap-tls", TProtocol::Imap4, TSecurity::Tls},    {"imap-starttls", TProtocol::Imap4, TSecurity::StartTls},
    };
    TMailBoxList list;
    for (const Config& c : configs)
        list.Add(MakeMailBox(server, QStringLiteral("alice"), c.Protocol, c.Security, QString::fromLatin1(c.Name)));
    SaveSettings(list);

    for (const Config& c : configs) {
        SCOPED_TRACE(c.Name);
        const TRunOutput run = RunChecker({QStringLiteral("--settings"), settings, QStringLiteral("--format"),
                                           QStringLiteral("tsv"), QStringLiteral("--mailbox"),
                                           QString::fromLatin1(c.Name)});
        EXPECT_EQ(run.ExitCode, 0) << run.Err.toStdString();
        QStringList lines = run.Out.split(u'\n', Qt::SkipEmptyParts);
        ASSERT_FALSE(lines.isEmpty());
        EXPECT_EQ(lines.takeFirst(), QStringLiteral("No\tSubject\tFrom\tMailbox\tSize\tDate\tTime\tFolder"));
        if (c.Protocol == TProtocol::Imap4) {
            // IMAP4 lists every folder; keep the INBOX rows.
            QStringList inbox;
            for (const QString& line : std::as_const(lines)) {
                if (line.endsWith(QStringLiteral("\tINBOX")))
                    inbox.append(line);
            }
            EXPECT_EQ(lines.size(), 12);
            lines = inbox;
        }
        const QString folderColumn = c.Protocol == TProtocol::Imap4 ? QStringLiteral("INBOX") : QString();
        QStringList expected = ExpectedInboxLines(QString::fromLatin1(c.Name), folderColumn);
        if (c.Protocol == TProtocol::Imap4) {
            // The row number counts on across folders; INBOX need not come first.
            for (QString& line : expected)
                line = line.section(u'\t', 1);
            for (QString& line : lines)
                line = line.section(u'\t', 1);
            for (QString& line : expected)
                line.prepend(QStringLiteral("#\t"));
            for (QString& line : lines)
                line.prepend(QStringLiteral("#\t"));
        }
        // From is column 2 after the number.
        EXPECT_EQ(WithoutFrom(lines), WithoutFrom(expected));
    }
}

TEST_F(CheckerLive, ExitStatusTellsCleanLoggedAndUsageErrors)
{
    TMailBoxList list;
    list.Add(MakeMailBox(server, QStringLiteral("bob"), TProtocol::Pop3, TSecurity::None, QStringLiteral("good")));
    auto bad = MakeMailBox(server, QStringLiteral("bob"), TProtocol::Imap4, TSecurity::None, QStringLiteral("bad"));
    bad->Password = QStringLiteral("wrong");
    list.Add(std::move(bad));
    SaveSettings(list);

    struct Case {
        QStringList Arguments;
        int ExitCode;
        const char* ErrContains;
    };
    const QString missing = folder.Path(QStringLiteral("missing.INI"));
    const Case cases[] = {
        {{"--settings", settings, "--mailbox", "good"}, 0, ""},
        {{"--settings", settings}, 1, "(127.0.0.1) "},
        {{"--settings", missing}, 2, "cannot read settings file"},
        {{"--settings", settings, "--format", "xml"}, 2, "unknown format"},
        {{"--settings", settings, "--mailbox", "nobody"}, 2, "no mailbox named"},
        {{"--settings", settings, "--delete", "0"}, 2, "--delete"},
        {{"--settings", settings, "--mailbox", "good", "--delete", "9"}, 2, "there is no row 9"},
        {{"--bogus"}, 2, "bogus"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Arguments.join(u' ').toStdString());
        const TRunOutput run = RunChecker(c.Arguments);
        EXPECT_EQ(run.ExitCode, c.ExitCode) << run.Err.toStdString();
        EXPECT_TRUE(run.Err.contains(QString::fromLatin1(c.ErrContains))) << run.Err.toStdString();
    }
    // Nothing ever writes the settings file back.
    TMailBoxList reread;
    reread.Load(settings);
    EXPECT_EQ(reread.Items(1)->Password, QStringLiteral("wrong"));
}

TEST_F(CheckerLive, JsonAndDeleteByRowThenListAgain)
{
    const QString maildir = server.folderPath(QStringLiteral("carol"), QStringLiteral("INBOX"));
    TScratchMail mail(maildir);
    mail.Empty();
    for (const char* subject : {"alpha", "beta", "gamma"})
        mail.Deliver(QString::fromLatin1(subject));
    TMailBoxList list;
    list.Add(MakeMailBox(server, QStringLiteral("carol"), TProtocol::Imap4, TSecurity::StartTls, QStringLiteral("carol")));
    SaveSettings(list);

    const TRunOutput first = RunChecker({QStringLiteral("--settings"), settings, QStringLiteral("--format"),
                                         QStringLiteral("json")});
    ASSERT_EQ(first.ExitCode, 0) << first.Err.toStdString();
    const QJsonArray rows = QJsonDocument::fromJson(first.Out.toUtf8()).array();
    ASSERT_EQ(rows.size(), 3);
    int betaRow = 0;
    for (int i = 0; i < rows.size(); ++i) {
        const QJsonObject row = rows.at(i).toObject();
        EXPECT_EQ(row.value(QStringLiteral("mailbox")).toString(), QStringLiteral("carol"));
        EXPECT_EQ(row.value(QStringLiteral("folder")).toString(), QStringLiteral("INBOX"));
        EXPECT_GT(row.value(QStringLiteral("uid")).toInteger(), 0);
        EXPECT_TRUE(row.value(QStringLiteral("date")).toString().startsWith(QStringLiteral("2024-12-02T")));
        if (row.value(QStringLiteral("subject")).toString() == QLatin1String("beta"))
            betaRow = i + 1;
    }
    ASSERT_GT(betaRow, 0);

    const TRunOutput second = RunChecker({QStringLiteral("--settings"), settings, QStringLiteral("--format"),
                                          QStringLiteral("tsv"), QStringLiteral("--delete"),
                                          QString::number(betaRow)});
    ASSERT_EQ(second.ExitCode, 0) << second.Err.toStdString();
    EXPECT_FALSE(second.Out.contains(QStringLiteral("\tbeta\t")));
    EXPECT_TRUE(second.Out.contains(QStringLiteral("\talpha\t")));
    EXPECT_TRUE(second.Out.contains(QStringLiteral("\tgamma\t")));
}

// The listing is the same without the cache, with an empty one and with one that knows every
// header.
TEST_F(CheckerLive, TsvIsTheSameWithAndWithoutTheHeaderCache)
{
    TMailBoxList list;
    list.Add(MakeMailBox(server, QStringLiteral("alice"), TProtocol::Imap4, TSecurity::None, QStringLiteral("imap")));
    list.Add(MakeMailBox(server, QStringLiteral("alice"), TProtocol::Pop3, TSecurity::None, QStringLiteral("pop")));
    SaveSettings(list);
    const QStringList arguments{QStringLiteral("--settings"), settings, QStringLiteral("--format"), QStringLiteral("tsv")};
    const TRunOutput uncached = RunChecker(arguments + QStringList{QStringLiteral("--no-cache")});
    ASSERT_EQ(uncached.ExitCode, 0) << uncached.Err.toStdString();
    EXPECT_GT(uncached.Out.count(u'\n'), 10);
    for (const char* label : {"cold", "warm"}) {
        SCOPED_TRACE(label);
        const TRunOutput cached = RunChecker(arguments);
        ASSERT_EQ(cached.ExitCode, 0) << cached.Err.toStdString();
        EXPECT_EQ(cached.Out, uncached.Out);
    }
}

#endif

}  // namespace
}  // namespace brevio::test
