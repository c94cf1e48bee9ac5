#include "support/live_server.h"

#include <QDir>
#include <QFile>
#include <QTimeZone>

#include <algorithm>
#include <stdexcept>

#ifndef BREVIO_SOURCE_DIR
#error "BREVIO_SOURCE_DIR must name the source tree"
#endif

namespace brevio::test {

namespace {

QString env(const QByteArray& name, QStringList& missing)
{
    QString value = qEnvironmentVariable(name.constData());
    if (value.isEmpty())
        missing << QString::fromLatin1(name);
    return value;
}

quint16 portEnv(const QByteArray& name, QStringList& missing)
{
    bool ok = false;
    const uint port = qEnvironmentVariable(name.constData()).toUInt(&ok);
    if (!ok || port == 0 || port > 65535) {
        missing << QString::fromLatin1(name);
        return 0;
    }
    return static_cast<quint16>(port);
}

void flushShifted(QString& out, QString& run)
{
    if (run.isEmpty())
        return;
    QByteArray utf16;
    for (QChar c : run) {
        utf16.append(static_cast<char>(c.unicode() >> 8));
        utf16.append(static_cast<char>(c.unicode() & 0xff));
    }
    QByteArray b64 = utf16.toBase64(QByteArray::OmitTrailingEquals);
    b64.replace('/', ',');
    out += u'&' + QString::fromLatin1(b64) + u'-';
    run.clear();
}

}  // namespace

LiveServer LiveServer::fromEnvironment(const char* prefix)
{
    LiveServer s;
    const QByteArray p(prefix);
    s.prefix_ = QString::fromLatin1(p);
    s.host_ = env(p + "HOST", s.missing_);
    s.pop3Port_ = portEnv(p + "POP3_PORT", s.missing_);
    s.imapPort_ = portEnv(p + "IMAP_PORT", s.missing_);
    s.pop3sPort_ = portEnv(p + "POP3S_PORT", s.missing_);
    s.imapsPort_ = portEnv(p + "IMAPS_PORT", s.missing_);
    s.caFile_ = env(p + "CA_FILE", s.missing_);
    s.serverDir_ = env(p + "SERVER_DIR", s.missing_);
    s.logFile_ = qEnvironmentVariable(p + "LOG_FILE");
    s.utf8FolderNames_ = qEnvironmentVariable(p + "MAILDIR_NAMES") == QLatin1String("utf8");
    const QStringList names = env(p + "USERS", s.missing_).split(u' ', Qt::SkipEmptyParts);
    for (const QString& name : names) {
        const QByteArray key = p + name.toUpper().toLatin1();
        LiveUser u;
        u.name = name;
        // A password may be empty in principle, so only its presence is required.
        if (!qEnvironmentVariableIsSet(key + "_PASSWORD"))
            s.missing_ << QString::fromLatin1(key + "_PASSWORD");
        u.password = qEnvironmentVariable(key + "_PASSWORD");
        u.maildir = env(key + "_MAILDIR", s.missing_);
        s.users_ << u;
    }
    return s;
}

QString LiveServer::unavailableReason() const
{
    if (available())
        return {};
    // The start script may have said why its server could not run.
    const QString why = qEnvironmentVariable((prefix_ + QStringLiteral("UNAVAILABLE")).toLatin1().constData());
    if (!why.isEmpty())
        return QStringLiteral("test mail server %1* could not start: %2").arg(prefix_, why);
    return QStringLiteral("test mail server %1* not configured (missing or invalid: %2); "
                          "run scripts/test.sh")
        .arg(prefix_, missing_.join(QStringLiteral(", ")));
}

QStringList LiveServer::userNames() const
{
    QStringList names;
    for (const LiveUser& u : users_)
        names << u.name;
    return names;
}

std::optional<LiveUser> LiveServer::user(const QString& name) const
{
    for (const LiveUser& u : users_)
        if (u.name == name)
            return u;
    return std::nullopt;
}

QString LiveServer::folderPath(const QString& userName, const QString& folder) const
{
    const std::optional<LiveUser> u = user(userName);
    if (!u)
        return {};
    if (folder == QLatin1String("INBOX"))
        return u->maildir;
    if (utf8FolderNames_)
        return u->maildir + QStringLiteral("/.") + QString(folder).replace(u'/', u'.');
    return u->maildir + u'/' + maildirFolderName(folder);
}

QString maildirFolderName(const QString& folder)
{
    if (folder == QLatin1String("INBOX"))
        return {};
    QString out;
    for (const QString& level : folder.split(u'/')) {
        out += u'.';
        QString run;
        for (QChar c : level) {
            const char16_t code = c.unicode();
            if (code >= 0x20 && code <= 0x7e) {
                flushShifted(out, run);
                out += code == u'&' ? QStringLiteral("&-") : QString(c);
            } else {
                run += c;
            }
        }
        flushShifted(out, run);
    }
    return out;
}

SeedManifest SeedManifest::load()
{
    return load(QStringLiteral(BREVIO_SOURCE_DIR "/tests/live/seed_manifest.tsv"));
}

SeedManifest SeedManifest::load(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw std::runtime_error("cannot read " + path.toStdString() + ": " + file.errorString().toStdString());
    const QList<QByteArray> lines = file.readAll().split('\n');
    if (lines.isEmpty())
        throw std::runtime_error(path.toStdString() + " is empty");

    // Columns are found by their header names, so adding a column breaks no reader.
    const QList<QByteArray> header = lines.first().split('\t');
    const char* const wanted[] = {"user",     "folder",    "seq",          "unique", "size",
                                  "date_utc", "from_name", "from_address", "subject"};
    qsizetype column[std::size(wanted)];
    for (size_t i = 0; i < std::size(wanted); ++i) {
        column[i] = header.indexOf(QByteArray(wanted[i]));
        if (column[i] < 0)
            throw std::runtime_error(path.toStdString() + ": no column " + wanted[i]);
    }

    SeedManifest manifest;
    for (qsizetype n = 1; n < lines.size(); ++n) {
        if (lines[n].isEmpty())
            continue;
        const QList<QByteArray> f = lines[n].split('\t');
        const std::string where = path.toStdString() + " line " + std::to_string(n + 1);
        if (f.size() != header.size())
            throw std::runtime_error(where + ": expected " + std::to_string(header.size()) + " fields, found "
                                     + std::to_string(f.size()));
        auto text = [&](int i) { return QString::fromUtf8(f[column[i]]); };
        SeedMessage m;
        m.user = text(0);
        m.folder = text(1);
        bool seqOk = false, sizeOk = false;
        m.seq = f[column[2]].toInt(&seqOk);
        m.unique = text(3);
        m.size = f[column[4]].toLongLong(&sizeOk);
        if (!seqOk || m.seq < 1 || !sizeOk || m.size < 1 || m.user.isEmpty() || m.folder.isEmpty()
            || m.unique.isEmpty())
            throw std::runtime_error(where + ": bad user, folder, seq, unique or size");
        if (!f[column[5]].isEmpty()) {
            m.dateUtc = QDateTime::fromString(text(5), Qt::ISODate);
            if (!m.dateUtc.isValid())
                throw std::runtime_error(where + ": bad date_utc");
            m.dateUtc = m.dateUtc.toTimeZone(QTimeZone::utc());
        }
        m.fromName = text(6);
        m.fromAddress = text(7);
        m.subject = text(8);
        manifest.messages_ << m;
    }
    return manifest;
}

QList<SeedMessage> SeedManifest::folder(const QString& user, const QString& folder) const
{
    QList<SeedMessage> result;
    for (const SeedMessage& m : messages_)
        if (m.user == user && m.folder == folder)
            result << m;
    std::sort(result.begin(), result.end(), [](const SeedMessage& a, const SeedMessage& b) { return a.seq < b.seq; });
    return result;
}

}  // namespace brevio::test
