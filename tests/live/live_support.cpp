#include "live_support.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>

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
    ++counter_;
    const QString name = QStringLiteral("%1.M%2P%3.scratch")
                             .arg(QDateTime::currentSecsSinceEpoch())
                             .arg(counter_)
                             .arg(::getpid());
    const QString path = QDir(maildir_).filePath(QStringLiteral("new/") + name);
    QDir().mkpath(QDir(maildir_).filePath(QStringLiteral("new")));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return {};
    QByteArray text = "From: Scratch Sender <scratch@example.org>\r\n"
                      "To: carol@example.org\r\n"
                      "Subject: " + subject.toUtf8() + "\r\n"
                      "Date: Mon, 2 Dec 2024 10:00:00 +0000\r\n"
                      "Message-ID: <" + name.toUtf8() + "@example.org>\r\n"
                      "\r\n"
                      "Scratch body.\r\n";
    file.write(text.replace("\r\n", lineEnd_));
    file.close();
    // The server's mail processes run as the system user "mail".
    if (const passwd* mail = ::getpwnam("mail"))
        [[maybe_unused]] int rc = ::chown(path.toLocal8Bit().constData(), mail->pw_uid, mail->pw_gid);
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

QStringList Subjects(const TRunResult& result)
{
    QStringList subjects;
    for (const TMessageRow& row : result.Rows)
        subjects.append(row.Subject);
    return subjects;
}

}  // namespace brevio::test
