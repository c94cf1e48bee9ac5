#include "engine/header_cache.h"

#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

#include <algorithm>

namespace brevio {

namespace {

// The file starts with these; another version is read as no cache.
constexpr quint32 kMagic = 0x42524843;  // "BRHC"
constexpr quint32 kVersion = 3;
constexpr QDataStream::Version kStreamVersion = QDataStream::Qt_6_0;
// Little-endian, as the machines it runs on: texts are then read without swapping every byte pair.
constexpr QDataStream::ByteOrder kByteOrder = QDataStream::LittleEndian;
// A file larger than this is not read (it cannot hold a bounded cache).
constexpr qint64 kMaxFileBytes = 512LL * 1024 * 1024;
// The fewest bytes an entry takes: five lengths, a flag and a time.
constexpr qint64 kMinEntryBytes = 5 * 4 + 1 + 8;

qsizetype Chars(const TCachedHeader& header)
{
    return header.Subject.size() + header.From.Name.size() + header.From.Address.size() + header.From.Raw.size();
}

}  // namespace

TCachedHeader TCachedHeader::Of(const TListedHeader& message)
{
    return {message.Subject, message.From, message.Date};
}

void TCachedHeader::ApplyTo(TListedHeader& message) const
{
    message.Subject = Subject;
    message.From = From;
    message.Date = Date;
}

THeaderCache::THeaderCache(QString fileName)
    : fileName_(fileName.isEmpty() ? DefaultFileName() : std::move(fileName))
{
}

QString THeaderCache::DefaultFileName()
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::CacheLocation))
        .filePath(QStringLiteral("headers.cache"));
}

QString THeaderCache::AccountKey(const TMailBoxSettings& box)
{
    const QString protocol = box.Protocol == TMailProtocol::POP3 ? QStringLiteral("pop3") : QStringLiteral("imap4");
    return protocol + u' ' + box.Host.trimmed().toLower() + u' ' + QString::number(box.Port) + u' ' + box.UserName;
}

QHash<QByteArray, TCachedHeader> THeaderCache::Folder(const QString& account, const QByteArray& folder,
                                                      quint32 uidValidity) const
{
    const auto a = accounts_.constFind(account);
    if (a == accounts_.constEnd())
        return {};
    const auto f = a->constFind(folder);
    if (f == a->constEnd() || f->UidValidity != uidValidity)
        return {};
    return f->Entries;
}

void THeaderCache::Store(const QString& account, const QByteArray& folder, quint32 uidValidity,
                         QHash<QByteArray, TCachedHeader> entries, bool complete)
{
    for (auto it = entries.begin(); it != entries.end();) {
        if (Chars(it.value()) > kMaxEntryChars || it.key().isEmpty())
            it = entries.erase(it);
        else
            ++it;
    }
    TFolder& kept = accounts_[account][folder];
    if (complete || kept.UidValidity != uidValidity) {
        kept.Entries = std::move(entries);
    } else {
        for (auto it = entries.cbegin(); it != entries.cend(); ++it)
            kept.Entries.insert(it.key(), it.value());
    }
    kept.UidValidity = uidValidity;
    kept.Touched = true;
}

qsizetype THeaderCache::EntryCount() const
{
    qsizetype count = 0;
    for (const TAccount& account : accounts_) {
        for (const TFolder& folder : account)
            count += folder.Entries.size();
    }
    return count;
}

void THeaderCache::Load()
{
    accounts_.clear();
    QFile file(fileName_);
    if (file.size() > kMaxFileBytes || !file.open(QIODevice::ReadOnly))
        return;
    QDataStream in(&file);
    in.setVersion(kStreamVersion);
    in.setByteOrder(kByteOrder);
    quint32 magic = 0;
    quint32 version = 0;
    in >> magic >> version;
    if (magic != kMagic || version != kVersion)
        return;
    QHash<QString, TAccount> accounts;
    qsizetype total = 0;
    quint32 accountCount = 0;
    in >> accountCount;
    for (quint32 a = 0; a < accountCount && in.status() == QDataStream::Ok; ++a) {
        QString accountKey;
        quint32 folderCount = 0;
        in >> accountKey >> folderCount;
        TAccount& account = accounts[accountKey];
        for (quint32 f = 0; f < folderCount && in.status() == QDataStream::Ok; ++f) {
            QByteArray name;
            TFolder folder;
            quint32 entryCount = 0;
            in >> name >> folder.UidValidity >> entryCount;
            // Room for the entries at once, as many as the rest of the file can hold at most.
            folder.Entries.reserve(std::min<qint64>({qint64(entryCount), qint64(kMaxEntries - total),
                                                     (file.size() - file.pos()) / kMinEntryBytes}));
            for (quint32 e = 0; e < entryCount && in.status() == QDataStream::Ok; ++e) {
                QByteArray id;
                TCachedHeader header;
                bool dated = false;
                qint64 msecs = 0;
                in >> id >> header.Subject >> header.From.Name >> header.From.Address >> header.From.Raw >> dated
                    >> msecs;
                if (dated)
                    header.Date = QDateTime::fromMSecsSinceEpoch(msecs, Qt::UTC);
                if (++total > kMaxEntries)
                    return;
                folder.Entries.insert(id, header);
            }
            account.insert(name, std::move(folder));
        }
    }
    quint32 end = 0;
    in >> end;
    // A file cut short or damaged anywhere is dropped as a whole.
    if (in.status() != QDataStream::Ok || end != kMagic || !in.atEnd())
        return;
    accounts_ = std::move(accounts);
}

bool THeaderCache::Save() const
{
    // Over the bound, only what this session stored is kept; if that alone is too much, the
    // cache is given up rather than written without bound.
    QHash<QString, TAccount> accounts = accounts_;
    if (EntryCount() > kMaxEntries) {
        qsizetype kept = 0;
        for (auto a = accounts.begin(); a != accounts.end();) {
            for (auto f = a->begin(); f != a->end();) {
                if (f->Touched) {
                    kept += f->Entries.size();
                    ++f;
                } else {
                    f = a->erase(f);
                }
            }
            a = a->isEmpty() ? accounts.erase(a) : std::next(a);
        }
        if (kept > kMaxEntries)
            accounts.clear();
    }

    QDir().mkpath(QFileInfo(fileName_).absolutePath());
    QSaveFile file(fileName_);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    // Subjects and senders of the user's mail: readable by the owner only, like the settings.
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    QDataStream out(&file);
    out.setVersion(kStreamVersion);
    out.setByteOrder(kByteOrder);
    out << kMagic << kVersion << quint32(accounts.size());
    for (auto a = accounts.cbegin(); a != accounts.cend(); ++a) {
        out << a.key() << quint32(a->size());
        for (auto f = a->cbegin(); f != a->cend(); ++f) {
            out << f.key() << f->UidValidity << quint32(f->Entries.size());
            for (auto e = f->Entries.cbegin(); e != f->Entries.cend(); ++e) {
                const TCachedHeader& h = e.value();
                const bool dated = h.Date.isValid();
                out << e.key() << h.Subject << h.From.Name << h.From.Address << h.From.Raw << dated
                    << (dated ? h.Date.toMSecsSinceEpoch() : qint64(0));
            }
        }
    }
    out << kMagic;
    if (out.status() != QDataStream::Ok) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

}  // namespace brevio
