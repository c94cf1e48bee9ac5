// Spam verdicts end to end: messages scored by Debian's SpamAssassin (local tests only, no
// network) are delivered into carol's otherwise empty INBOX, and brevio-check lists their verdicts
// over IMAP4 and POP3: GTUBE as spam, a plain message as ham, and a message whose receiving
// server recorded a DMARC failure above a forged pass as a DMARC failure.
#include "live_support.h"

#include "engine/mailbox_list.h"
#include "support/temp_files.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>

namespace brevio::test {
namespace {

#ifdef BREVIO_CHECK_PATH

// The messages of tests/live/spam_messages, scored in one run of SpamAssassin over an mbox (its
// start-up is the slow part); empty when SpamAssassin is not installed or failed.
QList<QByteArray> ScoredMessages()
{
    const QString program = QStandardPaths::findExecutable(QStringLiteral("spamassassin"));
    if (program.isEmpty())
        return {};
    QByteArray mbox;
    const QDir folder(QStringLiteral(BREVIO_SOURCE_DIR "/tests/live/spam_messages"));
    for (const QString& name : folder.entryList({QStringLiteral("*.eml")}, QDir::Files, QDir::Name)) {
        QFile file(folder.filePath(name));
        if (!file.open(QIODevice::ReadOnly))
            return {};
        mbox += "From brevio@test.example Mon Dec  7 08:00:00 2026\n" + file.readAll().replace("\r\n", "\n") + "\n";
    }
    // Its user preferences go to a folder of the run, not to the user's home.
    const QTemporaryDir home;
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), home.path());
    process.setProcessEnvironment(environment);
    process.start(program, {QStringLiteral("-L"), QStringLiteral("--mbox")});
    process.write(mbox);
    process.closeWriteChannel();
    if (!process.waitForFinished(150000) || process.exitStatus() != QProcess::NormalExit)
        return {};
    QList<QByteArray> messages;
    static const QRegularExpression separator(QStringLiteral("^From [^\\n]*\\n"), QRegularExpression::MultilineOption);
    for (const QString& message : QString::fromUtf8(process.readAllStandardOutput()).split(separator))
        if (!message.trimmed().isEmpty())
            messages.append(message.toUtf8().replace("\n", "\r\n"));
    return messages;
}

TEST(SpamLive, ScoredMessagesShowTheirVerdictsOverImapAndPop3)
{
    const LiveServer server = LiveServer::fromEnvironment();
    if (!server.available())
        GTEST_SKIP() << server.unavailableReason().toStdString();
    const QList<QByteArray> scored = ScoredMessages();
    if (scored.isEmpty())
        GTEST_SKIP() << "spamassassin is not installed (scripts/lib.sh installs it for the tests)";
    ASSERT_EQ(scored.size(), 4);
    TScratchMail mail(server.folderPath(QStringLiteral("carol"), QStringLiteral("INBOX")));
    mail.Empty();
    for (const QByteArray& message : scored)
        mail.DeliverRaw(message);

    TempFolder folder;
    const QString settings = folder.Path(QStringLiteral("brevio.INI"));
    TMailBoxList list;
    list.Add(MakeMailBox(server, QStringLiteral("carol"), TProtocol::Pop3, TSecurity::None, QStringLiteral("pop")));
    list.Add(MakeMailBox(server, QStringLiteral("carol"), TProtocol::Imap4, TSecurity::Tls, QStringLiteral("imap")));
    list.Save(settings);

    // By subject: the verdict, the least score, DMARC's result (the topmost header's).
    const struct {
        const char* Subject;
        const char* Spam;
        double MinScore;
        const char* Dmarc;
    } expected[] = {
        {"Cheap pills", "spam", 1000, ""},
        {"Lunch on Friday", "ham", -100, ""},
        {"Your account needs attention", "ham", -100, "fail"},
        {"Photos from the trip", "spam", 1000, ""},
    };
    for (const char* mailbox : {"pop", "imap"}) {
        SCOPED_TRACE(mailbox);
        const TRunOutput run =
            RunChecker({QStringLiteral("--settings"), settings, QStringLiteral("--mailbox"),
                        QString::fromLatin1(mailbox), QStringLiteral("--format"), QStringLiteral("json")});
        ASSERT_EQ(run.ExitCode, 0) << run.Err.toStdString();
        const QJsonArray rows = QJsonDocument::fromJson(run.Out.toUtf8()).array();
        ASSERT_EQ(rows.size(), 4);
        for (const auto& e : expected) {
            SCOPED_TRACE(e.Subject);
            const auto row = std::find_if(rows.begin(), rows.end(), [&](const QJsonValue& value) {
                return value.toObject().value(QStringLiteral("subject")).toString() == QLatin1String(e.Subject);
            });
            ASSERT_NE(row, rows.end());
            const QJsonObject object = row->toObject();
            EXPECT_EQ(object.value(QStringLiteral("spam")).toString(), QLatin1String(e.Spam));
            EXPECT_GE(object.value(QStringLiteral("score")).toDouble(-1000), e.MinScore);
            EXPECT_EQ(object.value(QStringLiteral("dmarc")).toString(), QLatin1String(e.Dmarc));
        }
    }
}

#endif

}  // namespace
}  // namespace brevio::test
