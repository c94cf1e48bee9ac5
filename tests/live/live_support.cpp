#include "live_support.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <pwd.h>
#include <unistd.h>

namespace brevio::test {

QString ServerFingerprint(const LiveServer& server)
{
    QFile file(server.caFile());
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray pem = file.readAll();
    const qsizetype begin = pem.indexOf("-----BEGIN CERTIFICATE-----");
    const qsizetype end = pem.indexOf("-----END CERTIFICATE-----");
    if (begin < 0 || end < begin)
        return {};
    const qsizetype bodyStart = pem.indexOf('\n', begin) + 1;
    const QByteArray der = QByteArray::fromBase64(pem.mid(bodyStart, end - bodyStart));
    return QString::fromLatin1(QCryptographicHash::hash(der, QCryptographicHash::Sha256).toHex().toUpper());
}

std::unique_ptr<TMailBox> MakeMailBox(const LiveServer& server, const QString& user, TProtocol protocol,
                                      TSecurity security, const QString& name)
{
    auto box = std::make_unique<TMailBox>();
    const std::optional<LiveUser> account = server.user(user);
    box->Name = name.isEmpty() ? user : name;
    box->Host = server.host();
    box->UserName = account ? account->name : user;
    box->Password = account ? account->password : QString();
    box->Protocol = protocol == TProtocol::Pop3 ? TMailProtocol::POP3 : TMailProtocol::IMAP4;
    box->Security = security;
    const bool tls = security == TSecurity::Tls;
    if (protocol == TProtocol::Pop3)
        box->Port = tls ? server.pop3sPort() : server.pop3Port();
    else
        box->Port = tls ? server.imapsPort() : server.imapPort();
    if (security != TSecurity::None)
        box->CertFingerprint = ServerFingerprint(server);
    return box;
}

TScratchMail::TScratchMail(QString maildir, QByteArray lineEnd)
    : maildir_(std::move(maildir)), lineEnd_(std::move(lineEnd))
{
}

TScratchMail::~TScratchMail()
{
    for (const QString& path : std::as_const(written_))
        QFile::remove(path);
    // The server moves new mail to cur/ and renames it; remove what is left of ours there too.
    Empty();
}

QString TScratchMail::Deliver(const QString& subject)
{
    const QString name =
        QStringLiteral("%1.M%2P%3.scratch").arg(QDateTime::currentSecsSinceEpoch()).arg(counter_ + 1).arg(::getpid());
    return DeliverRaw("From: Scratch Sender <scratch@example.org>\r\n"
                      "To: carol@example.org\r\n"
                      "Subject: "
                      + subject.toUtf8()
                      + "\r\n"
                        "Date: Mon, 2 Dec 2024 10:00:00 +0000\r\n"
                        "Message-ID: <"
                      + name.toUtf8()
                      + "@example.org>\r\n"
                        "\r\n"
                        "Scratch body.\r\n");
}

QString TScratchMail::DeliverRaw(QByteArray message)
{
    ++counter_;
    const QString name =
        QStringLiteral("%1.M%2P%3.scratch").arg(QDateTime::currentSecsSinceEpoch()).arg(counter_).arg(::getpid());
    const QString path = QDir(maildir_).filePath(QStringLiteral("new/") + name);
    QDir().mkpath(QDir(maildir_).filePath(QStringLiteral("new")));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return {};
    file.write(message.replace("\r\n", lineEnd_));
    file.close();
    // The server's mail processes run as the system user "mail".
    if (const passwd* mail = ::getpwnam("mail")) [[maybe_unused]]
        int rc = ::chown(path.toLocal8Bit().constData(), mail->pw_uid, mail->pw_gid);
    written_.append(path);
    return path;
}

void TScratchMail::Remove(const QString& path)
{
    // The server may have moved the file from new/ to cur/ and added flags to its name.
    const QString base = QFileInfo(path).fileName();
    for (const char* sub : {"new", "cur"}) {
        QDir dir(QDir(maildir_).filePath(QString::fromLatin1(sub)));
        for (const QString& entry : dir.entryList(QDir::Files)) {
            if (entry.startsWith(base))
                dir.remove(entry);
        }
    }
}

void TScratchMail::Empty()
{
    for (const char* sub : {"new", "cur"}) {
        QDir dir(QDir(maildir_).filePath(QString::fromLatin1(sub)));
        for (const QString& entry : dir.entryList(QDir::Files))
            dir.remove(entry);
    }
}

TServerLogMark::TServerLogMark(const LiveServer& server) : folder_(QFileInfo(server.logFile()).absolutePath())
{
    const QFileInfoList logs = QDir(folder_).entryInfoList({QStringLiteral("*.log")}, QDir::Files, QDir::Name);
    for (const QFileInfo& log : logs)
        sizes_.insert(log.fileName(), log.size());
}

QString TServerLogMark::Since() const
{
    if (folder_.isEmpty())
        return {};
    QString text;
    const QFileInfoList logs = QDir(folder_).entryInfoList({QStringLiteral("*.log")}, QDir::Files, QDir::Name);
    for (const QFileInfo& log : logs) {
        const qint64 mark = sizes_.value(log.fileName(), 0);
        if (log.size() <= mark)
            continue;
        QFile file(log.filePath());
        if (!file.open(QIODevice::ReadOnly))
            continue;
        const QByteArray all = file.readAll();
        text += QStringLiteral("--- %1\n").arg(log.filePath());
        for (const QByteArray& line : all.left(mark).split('\n')) {
            if (line.startsWith("test-server:"))
                text += QString::fromUtf8(line) + u'\n';
        }
        // A busy log keeps only its last lines here.
        QList<QByteArray> added = all.mid(mark).split('\n');
        if (added.size() > 40)
            added = added.mid(added.size() - 40);
        text += QString::fromUtf8(added.join('\n'));
    }
    return text;
}

QStringList Subjects(const TRunResult& result)
{
    QStringList subjects;
    for (const TMessageRow& row : result.Rows)
        subjects.append(row.Subject);
    return subjects;
}

const TLiveConfig kLiveConfigs[6] = {
    {"POP3 plain", TProtocol::Pop3, TSecurity::None},        {"POP3 TLS", TProtocol::Pop3, TSecurity::Tls},
    {"POP3 STARTTLS", TProtocol::Pop3, TSecurity::StartTls}, {"IMAP4 plain", TProtocol::Imap4, TSecurity::None},
    {"IMAP4 TLS", TProtocol::Imap4, TSecurity::Tls},         {"IMAP4 STARTTLS", TProtocol::Imap4, TSecurity::StartTls},
};

void ExpectAliceMatchesTheSeed(const QList<TFoundMessage>& found, const QList<TMessageRow>& allRows, TProtocol protocol,
                               const std::function<QString(const QString&)>& listedFolder)
{
    const SeedManifest manifest = SeedManifest::load();
    const bool pop = protocol == TProtocol::Pop3;
    // Rows are kept by their position in the list; the server's folder order need not be
    // alphabetical.
    QMap<QString, QList<qsizetype>> byFolder;
    for (qsizetype i = 0; i < allRows.size(); ++i)
        byFolder[pop ? QStringLiteral("INBOX") : allRows[i].Folder].append(i);
    const QStringList folders = pop
        ? QStringList{QStringLiteral("INBOX")}
        : QStringList{QStringLiteral("INBOX"), QStringLiteral("Входящие"), QStringLiteral("Archive/2024")};
    EXPECT_EQ(byFolder.keys().size(), folders.size());
    qsizetype expectedRows = 0;
    for (const QString& folder : folders) {
        const QList<SeedMessage> seeded = manifest.folder(QStringLiteral("alice"), folder);
        expectedRows += seeded.size();
        const QString listed = pop ? folder : listedFolder(folder);
        const QList<qsizetype> rows = byFolder.value(listed);
        ASSERT_EQ(rows.size(), seeded.size()) << folder.toStdString();
        for (qsizetype i = 0; i < rows.size(); ++i) {
            const TMessageRow& row = allRows.at(rows.at(i));
            const SeedMessage& m = seeded.at(i);
            const TListedHeader& message = found.at(rows.at(i)).Message;
            SCOPED_TRACE(m.subject.toStdString());
            EXPECT_EQ(row.Subject, m.subject);
            EXPECT_EQ(row.MailBox, QStringLiteral("alice"));
            EXPECT_EQ(row.Size, m.size);
            EXPECT_EQ(message.From.Address, m.fromAddress);
            if (!m.fromAddress.isEmpty()) {
                EXPECT_EQ(message.From.Name, m.fromName);
            }
            EXPECT_EQ(message.Date.isValid(), m.dateUtc.isValid());
            if (m.dateUtc.isValid()) {
                EXPECT_EQ(message.Date.toUTC(), m.dateUtc);
            }
            EXPECT_EQ(row.Date, message.Date);
            EXPECT_EQ(row.Id, found.at(rows.at(i)).Id());
            if (pop) {
                EXPECT_TRUE(row.Folder.isEmpty());
                EXPECT_FALSE(row.Id.UniqueId.isEmpty());
            } else {
                EXPECT_EQ(row.Folder, listed);
                EXPECT_EQ(row.Id.Uid, quint32(m.seq));
                EXPECT_NE(row.Id.UidValidity, 0u);
                EXPECT_EQ(row.Id.Number, i + 1);
            }
            // Numbers count from 1 in each mailbox, across folders for IMAP4.
            EXPECT_EQ(row.Number, rows.at(i) + 1);
        }
    }
    EXPECT_EQ(allRows.size(), expectedRows);
}

#ifdef BREVIO_CHECK_PATH
TRunOutput RunChecker(const QStringList& arguments)
{
    static const QTemporaryDir cacheHome;
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_CACHE_HOME"), cacheHome.path());
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(BREVIO_CHECK_PATH), arguments);
    process.waitForFinished(120000);
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAllStandardOutput()), QString::fromUtf8(process.readAllStandardError())};
}
#endif

}  // namespace brevio::test
