// brevio-check as a user runs it: a settings file, the real server, its output and exit status.
#include "live_support.h"

#include "engine/mailbox_list.h"
#include "support/temp_files.h"

#include <gtest/gtest.h>

#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

namespace brevio::test {
namespace {

#ifdef BREVIO_CHECK_PATH

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
        lines.append(QStringList{QString::number(m.seq), m.subject, QString(), mailbox, QString::number(m.size),
                                 local.isValid() ? local.toString(QStringLiteral("yyyy-MM-dd")) : QString(),
                                 local.isValid() ? local.toString(QStringLiteral("HH:mm:ss")) : QString(), folderColumn,
                                 QString()}
                         .join(u'\t'));
    }
    return lines;
}

// Compares every column but From (its display form has rules of its own, tested elsewhere) and
// Id (its own test below).
QStringList WithoutFrom(const QStringList& lines)
{
    QStringList result;
    for (const QString& line : lines) {
        QStringList fields = line.split(u'\t');
        if (fields.size() == 10) {
            fields[2].clear();
            fields.removeLast();
        }
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
        {"pop-plain", TProtocol::Pop3, TSecurity::None},
        {"pop-tls", TProtocol::Pop3, TSecurity::Tls},
        {"pop-starttls", TProtocol::Pop3, TSecurity::StartTls},
        {"imap-plain", TProtocol::Imap4, TSecurity::None},
        {"imap-tls", TProtocol::Imap4, TSecurity::Tls},
        {"imap-starttls", TProtocol::Imap4, TSecurity::StartTls},
    };
    TMailBoxList list;
    for (const Config& c : configs)
        list.Add(MakeMailBox(server, QStringLiteral("alice"), c.Protocol, c.Security, QString::fromLatin1(c.Name)));
    SaveSettings(list);

    for (const Config& c : configs) {
        SCOPED_TRACE(c.Name);
        const TRunOutput run =
            RunChecker({QStringLiteral("--settings"), settings, QStringLiteral("--format"), QStringLiteral("tsv"),
                        QStringLiteral("--mailbox"), QString::fromLatin1(c.Name)});
        EXPECT_EQ(run.ExitCode, 0) << run.Err.toStdString();
        QStringList lines = run.Out.split(u'\n', Qt::SkipEmptyParts);
        ASSERT_FALSE(lines.isEmpty());
        EXPECT_EQ(lines.takeFirst(), QStringLiteral("No\tSubject\tFrom\tMailbox\tSize\tDate\tTime\tFolder\tSpam\tId"));
        if (c.Protocol == TProtocol::Imap4) {
            // IMAP4 lists every folder; keep the INBOX rows.
            QStringList inbox;
            for (const QString& line : std::as_const(lines)) {
                if (line.section(u'\t', 7, 7) == QLatin1String("INBOX"))
                    inbox.append(line);
            }
            EXPECT_EQ(lines.size(), 12);
            lines = inbox;
        }
        const QString idStart = c.Protocol == TProtocol::Imap4 ? QStringLiteral("imap:%1:INBOX:").arg(c.Name)
                                                               : QStringLiteral("pop3:%1:").arg(c.Name);
        for (const QString& line : std::as_const(lines))
            EXPECT_TRUE(line.section(u'\t', 9).startsWith(idStart)) << line.toStdString();
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
        // Row numbers name whatever lies there when the list is read again: refused.
        {{"--settings", settings, "--mailbox", "good", "--delete", "2,16"}, 2, "ids from the Id column"},
        {{"--settings", settings, "--delete", "pop3:good:"}, 2, "not a message id"},
        {{"--settings", settings, "--delete", "pop3:good:a,"}, 2, "without UIDL"},
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

// The subjects of a TSV listing, in order, and the Id of each.
QHash<QString, QString> IdsBySubject(const QString& tsv, QStringList* subjects = nullptr)
{
    QHash<QString, QString> ids;
    for (const QString& line : tsv.split(u'\n', Qt::SkipEmptyParts).mid(1)) {
        const QStringList fields = line.split(u'\t');
        ids.insert(fields.value(1), fields.constLast());  // the Id is the last column
        if (subjects)
            subjects->append(fields.value(1));
    }
    return ids;
}

// --delete names messages by their ids: another program removing a message listed before the
// one to delete moves every row number after it, and still exactly the named message goes. An
// Id no longer on the server is reported and nothing is deleted in its place.
TEST_F(CheckerLive, DeleteByIdAfterAnotherProgramRemovedAMessageBeforeIt)
{
    const QString maildir = server.folderPath(QStringLiteral("carol"), QStringLiteral("INBOX"));
    TMailBoxList list;
    list.Add(
        MakeMailBox(server, QStringLiteral("carol"), TProtocol::Pop3, TSecurity::None, QStringLiteral("carol pop")));
    list.Add(MakeMailBox(server, QStringLiteral("carol"), TProtocol::Imap4, TSecurity::StartTls,
                         QStringLiteral("carol, imap")));
    SaveSettings(list);

    for (const char* name : {"carol pop", "carol, imap"}) {
        SCOPED_TRACE(name);
        const bool imap = QByteArray(name).endsWith("imap");
        TScratchMail mail(maildir);
        mail.Empty();
        QHash<QString, QString> paths;
        for (const char* subject : {"alpha", "beta", "gamma", "delta"})
            paths.insert(QString::fromLatin1(subject), mail.Deliver(QString::fromLatin1(subject)));
        const QStringList arguments{QStringLiteral("--settings"), settings, QStringLiteral("--mailbox"),
                                    QString::fromLatin1(name), QStringLiteral("--format")};

        const TRunOutput json = RunChecker(arguments + QStringList{QStringLiteral("json")});
        ASSERT_EQ(json.ExitCode, 0) << json.Err.toStdString();
        const QJsonArray rows = QJsonDocument::fromJson(json.Out.toUtf8()).array();
        ASSERT_EQ(rows.size(), 4);
        for (const QJsonValue& value : rows) {
            // One type per field, whatever the protocol.
            const QJsonObject row = value.toObject();
            EXPECT_TRUE(row.value(QStringLiteral("uid")).isDouble());
            EXPECT_TRUE(row.value(QStringLiteral("uidl")).isString());
            EXPECT_EQ(row.value(QStringLiteral("uid")).toInteger() > 0, imap);
            EXPECT_EQ(row.value(QStringLiteral("uidl")).toString().isEmpty(), imap);
            EXPECT_EQ(row.value(QStringLiteral("folder")).toString(), imap ? QStringLiteral("INBOX") : QString());
            EXPECT_TRUE(row.value(QStringLiteral("date")).toString().startsWith(QStringLiteral("2024-12-02T")));
        }
        const TRunOutput listed = RunChecker(arguments + QStringList{QStringLiteral("tsv")});
        ASSERT_EQ(listed.ExitCode, 0) << listed.Err.toStdString();
        QStringList order;
        const QHash<QString, QString> listedIds = IdsBySubject(listed.Out, &order);
        ASSERT_EQ(order.size(), 4);
        const QString target = listedIds.value(order[2]);
        ASSERT_TRUE(target.startsWith(QLatin1String(imap ? "imap:carol%2C%20imap:INBOX:" : "pop3:carol%20pop:")))
            << target.toStdString();

        // Another program takes the first message away: the third is now the second, the
        // fourth the third, and deleting "row 3" would take the wrong one.
        mail.Remove(paths.value(order[0]));
        const auto sorted = [](QStringList subjects) {
            subjects.sort();
            return subjects;
        };

        const auto deleting = [&](const QString& id) {
            return RunChecker(arguments + QStringList{QStringLiteral("tsv"), QStringLiteral("--delete"), id});
        };
        const QString unknown =
            target.section(u':', 0, -2) + (imap ? QStringLiteral(":999999") : QStringLiteral(":gone"));
        const TRunOutput refused = deleting(unknown);
        EXPECT_EQ(refused.ExitCode, 1);
        EXPECT_TRUE(refused.Err.contains(unknown)) << refused.Err.toStdString();
        QStringList left;
        IdsBySubject(refused.Out, &left);
        EXPECT_EQ(sorted(left), sorted(order.mid(1)));

        const TRunOutput deleted = deleting(target);
        EXPECT_EQ(deleted.ExitCode, 0) << deleted.Err.toStdString();
        left.clear();
        const QHash<QString, QString> ids = IdsBySubject(deleted.Out, &left);
        EXPECT_EQ(sorted(left), sorted({order[1], order[3]}));
        // The messages left keep their ids.
        EXPECT_EQ(ids.value(order[3]), listedIds.value(order[3]));
    }
}

// The listing is the same without the cache, with an empty one and with one that knows every
// header; also for a folder of many fetch commands' worth, written as its headers came and at
// once from the cache.
TEST_F(CheckerLive, TsvIsTheSameWithAndWithoutTheHeaderCache)
{
    TScratchMail mail(server.folderPath(QStringLiteral("carol"), QStringLiteral("INBOX")));
    mail.Empty();
    for (int i = 1; i <= 5000; ++i)
        mail.Deliver(QStringLiteral("Message %1").arg(i));
    TMailBoxList list;
    list.Add(MakeMailBox(server, QStringLiteral("alice"), TProtocol::Imap4, TSecurity::None, QStringLiteral("imap")));
    list.Add(MakeMailBox(server, QStringLiteral("alice"), TProtocol::Pop3, TSecurity::None, QStringLiteral("pop")));
    list.Add(MakeMailBox(server, QStringLiteral("carol"), TProtocol::Imap4, TSecurity::None, QStringLiteral("big")));
    SaveSettings(list);
    const QStringList arguments{QStringLiteral("--settings"), settings, QStringLiteral("--format"),
                                QStringLiteral("tsv")};
    const TRunOutput uncached = RunChecker(arguments + QStringList{QStringLiteral("--no-cache")});
    ASSERT_EQ(uncached.ExitCode, 0) << uncached.Err.toStdString();
    EXPECT_GT(uncached.Out.count(u'\n'), 5010);
    for (const char* label : {"cold", "warm"}) {
        SCOPED_TRACE(label);
        const TRunOutput cached = RunChecker(arguments);
        ASSERT_EQ(cached.ExitCode, 0) << cached.Err.toStdString();
        EXPECT_EQ(cached.Out, uncached.Out);
    }
    mail.Empty();
}

#endif

}  // namespace
}  // namespace brevio::test
