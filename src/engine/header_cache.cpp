#include "engine/header_cache.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtEndian>
#include <QSaveFile>
#include <QStandardPaths>

#include <algorithm>
#include <bit>
#include <cmath>
#include <numeric>

namespace brevio {

namespace {

// The file starts with these; another version is read as no cache (version 3 had no spam
// verdicts, version 4 no HIGHESTMODSEQ: their headers are fetched once more).
constexpr quint32 kMagic = 0x42524843;  // "BRHC"
constexpr quint32 kVersion = 5;
// A file larger than this is not read (it cannot hold a bounded cache).
constexpr qint64 kMaxFileBytes = 512LL * 1024 * 1024;
// The fewest bytes an entry takes: five lengths, a flag, a time, a size and the spam verdict.
constexpr qint64 kMinEntryBytes = 5 * 4 + 1 + 8 + 4 + 2 * (1 + 8) + 5;

// The file holds little-endian numbers, and byte arrays and texts (UTF-16) as a 32-bit byte
// count (all ones for a null one) followed by their bytes: the layout of QDataStream, written
// and read here by hand, without a stream's per-field overhead (a cache of 50,000 headers holds
// 250,000 texts).

// Writes into a buffer of its own, handed to the file by Spill once it holds a piece. Each value
// goes straight to the buffer's next free byte: a cache of 50,000 headers is a million values.
class TFileWriter {
public:
    explicit TFileWriter(QIODevice& file) : file_(file), buffer_(2 * kPiece, Qt::Uninitialized)
    {
        at_ = buffer_.data();
        end_ = at_ + buffer_.size();
    }

    void Number(quint32 value) { Fixed(value); }
    void Moment(qint64 value) { Fixed(value); }
    void Flag(bool value) { Fixed(quint8(value ? 1 : 0)); }
    void Byte(quint8 value) { Fixed(value); }
    void Real(double value) { Fixed(std::bit_cast<quint64>(value)); }
    void Bytes(const QByteArray& bytes)
    {
        Number(bytes.isNull() ? 0xFFFFFFFF : quint32(bytes.size()));
        Ensure(bytes.size());
        at_ = std::copy(bytes.cbegin(), bytes.cend(), at_);
    }
    void Text(const QString& text)
    {
        Number(text.isNull() ? 0xFFFFFFFF : quint32(text.size() * 2));
        Ensure(text.size() * 2);
        qToLittleEndian<char16_t>(text.utf16(), text.size(), at_);
        at_ += text.size() * 2;
    }

    // Hands the buffer to the file once it holds a piece (`all`: whatever it holds).
    void Spill(bool all = false)
    {
        const qsizetype used = at_ - buffer_.data();
        if (used < kPiece && !all)
            return;
        ok_ = ok_ && file_.write(buffer_.constData(), used) == used;
        at_ = buffer_.data();
    }

    // Bytes already in the file's form, as they are.
    void Raw(QByteArrayView bytes)
    {
        if (bytes.isEmpty())
            return;
        Spill(true);
        ok_ = ok_ && file_.write(bytes.data(), bytes.size()) == bytes.size();
    }

    // Writes what is left; false when any write failed.
    bool Finish()
    {
        Spill(true);
        return ok_;
    }

private:
    static constexpr qsizetype kPiece = qsizetype{64} * 1024;

    template <typename T>
    void Fixed(T value)
    {
        Ensure(qsizetype(sizeof(T)));
        qToLittleEndian<T>(value, at_);
        at_ += sizeof(T);
    }

    // Room for `bytes` more.
    void Ensure(qsizetype bytes)
    {
        if (end_ - at_ < bytes)
            Grow(bytes);
    }

    void Grow(qsizetype bytes)
    {
        const qsizetype used = at_ - buffer_.data();
        buffer_.resize(std::max(2 * buffer_.size(), used + bytes));
        at_ = buffer_.data() + used;
        end_ = buffer_.data() + buffer_.size();
    }

    QIODevice& file_;
    QByteArray buffer_;
    char* at_ = nullptr;   // the next byte to write
    char* end_ = nullptr;  // the buffer's end
    bool ok_ = true;
};

// Reads the file's bytes. Reading past the end, or a count beyond it, leaves the reader failed
// and gives empty values.
class TFileReader {
public:
    explicit TFileReader(const QByteArray& data)
        : begin_(data.constData()), at_(data.constData()), end_(data.constData() + data.size())
    {
    }

    bool Ok() const { return ok_; }
    qint64 Left() const { return end_ - at_; }
    qsizetype Offset() const { return at_ - begin_; }

    quint32 Number() { return Fixed<quint32>(); }
    qint64 Moment() { return Fixed<qint64>(); }
    bool Flag() { return Fixed<quint8>() != 0; }
    quint8 Byte() { return Fixed<quint8>(); }
    double Real() { return std::bit_cast<double>(Fixed<quint64>()); }

    QByteArray Bytes() { return BytesView().toByteArray(); }

    // The bytes in place, without a copy: valid while the data is.
    QByteArrayView BytesView()
    {
        const qsizetype size = Size(1);
        const QByteArrayView bytes(at_, size);
        at_ += size;
        return bytes;
    }

    QString Text()
    {
        const qsizetype size = Size(2);
        QString text(size / 2, Qt::Uninitialized);
        qFromLittleEndian<char16_t>(at_, size / 2, text.data());
        at_ += size;
        return text;
    }

private:
    template <typename T>
    T Fixed()
    {
        if (!Take(sizeof(T)))
            return 0;
        const T value = qFromLittleEndian<T>(at_);
        at_ += sizeof(T);
        return value;
    }

    // A byte count that fits what is left and is a whole number of `unit`s; 0 for a null one.
    qsizetype Size(qsizetype unit)
    {
        const quint32 size = Number();
        if (size == 0xFFFFFFFF || !ok_)
            return 0;
        if (size % unit != 0 || !Take(size)) {
            ok_ = false;
            return 0;
        }
        return size;
    }

    bool Take(qint64 bytes)
    {
        ok_ = ok_ && bytes <= Left();
        return ok_;
    }

    const char* begin_;
    const char* at_;
    const char* end_;
    bool ok_ = true;
};

// An enumeration's value as one byte; a byte beyond `last` reads as `unknown`.
template <typename E>
E EnumFrom(quint8 byte, E last, E unknown)
{
    return byte <= quint8(last) ? E(byte) : unknown;
}

void WriteVerdict(TFileWriter& out, const TSpamVerdict& v)
{
    out.Byte(quint8(v.Judgement));
    out.Byte(quint8(v.Filter));
    out.Flag(v.HasScore);
    out.Real(v.Score);
    out.Flag(v.HasThreshold);
    out.Real(v.Threshold);
    for (TAuthResult result : {v.Spf, v.Dkim, v.Dmarc})
        out.Byte(quint8(result));
}

TSpamVerdict ReadVerdict(TFileReader& in)
{
    TSpamVerdict v;
    v.Judgement = EnumFrom(in.Byte(), TSpamJudgement::Spam, TSpamJudgement::Unknown);
    v.Filter = EnumFrom(in.Byte(), TSpamFilter::Rspamd, TSpamFilter::Unknown);
    v.HasScore = in.Flag();
    v.Score = in.Real();
    v.HasThreshold = in.Flag();
    v.Threshold = in.Real();
    for (TAuthResult* result : {&v.Spf, &v.Dkim, &v.Dmarc})
        *result = EnumFrom(in.Byte(), TAuthResult::Other, TAuthResult::Other);
    // A damaged number is no score.
    v.HasScore = v.HasScore && std::isfinite(v.Score);
    v.HasThreshold = v.HasThreshold && std::isfinite(v.Threshold);
    return v;
}

// An entry's header, as WriteEntry writes it after the id.
TCachedHeader ReadHeader(TFileReader& in)
{
    TCachedHeader header;
    header.Subject = in.Text();
    header.From.Name = in.Text();
    header.From.Address = in.Text();
    header.From.Raw = in.Text();
    const bool dated = in.Flag();
    const qint64 msecs = in.Moment();
    if (dated)
        header.Date = QDateTime::fromMSecsSinceEpoch(msecs, Qt::UTC);
    header.Size = qint32(in.Number());
    header.Spam = ReadVerdict(in);
    return header;
}

template <typename Header>
qsizetype Chars(const Header& header)
{
    return header.Subject.size() + header.From.Name.size() + header.From.Address.size() + header.From.Raw.size();
}

// One entry: its id, then its header.
template <typename Header>
void WriteEntry(TFileWriter& out, const QByteArray& id, const Header& h)
{
    out.Bytes(id);
    out.Text(h.Subject);
    out.Text(h.From.Name);
    out.Text(h.From.Address);
    out.Text(h.From.Raw);
    out.Flag(h.Date.isValid());
    out.Moment(h.Date.isValid() ? h.Date.toMSecsSinceEpoch() : 0);
    out.Number(quint32(h.Size));
    WriteVerdict(out, h.Spam);
    out.Spill();
}

// A folder's entries: their count, then each entry; the first `rawCount` of them as `raw`, the
// bytes they were read from.
void WriteEntries(TFileWriter& out, const TCachedEntries& entries, quint32 rawCount = 0, QByteArrayView raw = {})
{
    out.Number(quint32(entries.size()));
    out.Raw(raw);
    quint32 index = 0;
    for (auto e = entries.cbegin(); e != entries.cend(); ++e) {
        if (index++ >= rawCount)
            WriteEntry(out, e.key(), e.value());
    }
}

// The messages of a whole POP3 listing that are kept, in listing order: those whose unique id
// is not empty and theirs alone (two messages of one id name neither for sure), with texts short
// enough to keep.
QList<qsizetype> KeptOfListing(const QList<TFoundMessage>& listing)
{
    const auto id = [&listing](qsizetype i) -> const QByteArray& { return listing.at(i).Message.UniqueId; };
    QList<qsizetype> byId(listing.size());
    std::iota(byId.begin(), byId.end(), qsizetype(0));
    std::sort(byId.begin(), byId.end(), [&id](qsizetype a, qsizetype b) { return id(a) < id(b); });
    QList<qsizetype> kept;
    kept.reserve(byId.size());
    for (qsizetype i = 0; i < byId.size();) {
        qsizetype j = i + 1;
        while (j < byId.size() && id(byId.at(j)) == id(byId.at(i)))
            ++j;
        const TListedHeader& message = listing.at(byId.at(i)).Message;
        if (j == i + 1 && !message.UniqueId.isEmpty() && Chars(message) <= THeaderCache::kMaxEntryChars)
            kept.append(byId.at(i));
        i = j;
    }
    std::sort(kept.begin(), kept.end());
    return kept;
}

TCachedEntries EntriesOfListing(const QList<TFoundMessage>& listing)
{
    const QList<qsizetype> kept = KeptOfListing(listing);
    TCachedEntries entries;
    entries.reserve(kept.size());
    for (const qsizetype i : kept)
        entries.insert(listing.at(i).Message.UniqueId, TCachedHeader::Of(listing.at(i).Message));
    return entries;
}

// A listing's kept messages as WriteEntries writes entries, without making the entries.
void WriteListing(TFileWriter& out, const QList<TFoundMessage>& listing)
{
    const QList<qsizetype> kept = KeptOfListing(listing);
    out.Number(quint32(kept.size()));
    for (const qsizetype i : kept)
        WriteEntry(out, listing.at(i).Message.UniqueId, listing.at(i).Message);
}

}  // namespace

TCachedHeader TCachedHeader::Of(const TListedHeader& message)
{
    return {message.Subject, message.From, message.Date, message.Size, message.Spam};
}

void TCachedHeader::ApplyTo(TListedHeader& message) const
{
    message.Subject = Subject;
    message.From = From;
    message.Date = Date;
    message.Size = Size;
    message.Spam = Spam;
}

THeaderCache::THeaderCache(QString fileName) : fileName_(fileName.isEmpty() ? DefaultFileName() : std::move(fileName))
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

void THeaderCache::StartLoading()
{
    WaitLoaded();
    if (!QFileInfo::exists(fileName_)) {
        accounts_.clear();
        changed_ = false;
        return;
    }
    loading_ = std::async(std::launch::async, [this] { Read(); });
}

void THeaderCache::WaitLoaded() const
{
    if (loading_.valid())
        loading_.get();
}

void THeaderCache::MakeEntries(TFolder& folder)
{
    if (!folder.HasListing)
        return;
    folder.Entries = EntriesOfListing(folder.Listing);
    folder.Listing = {};
    folder.HasListing = false;
}

qsizetype THeaderCache::CountOf(const TFolder& folder)
{
    // A listing's count is an upper bound of its entries: good enough for the file's bound.
    return folder.HasListing ? folder.Listing.size() : folder.Entries.size();
}

TCachedEntries THeaderCache::Folder(const QString& account, const QByteArray& folder, quint32 uidValidity)
{
    WaitLoaded();
    const auto a = accounts_.find(account);
    if (a == accounts_.end())
        return {};
    const auto f = a->find(folder);
    if (f == a->end() || f->UidValidity != uidValidity)
        return {};
    MakeEntries(*f);
    return f->Entries;
}

void THeaderCache::StoreListing(const QString& account, QList<TFoundMessage> listing)
{
    WaitLoaded();
    const auto a = accounts_.constFind(account);
    if (listing.isEmpty() || (a != accounts_.constEnd() && a->contains(QByteArray()))) {
        // Compared with what is kept (the same ids are the same messages: nothing to write).
        Store(account, {}, 0, EntriesOfListing(listing), true);
        return;
    }
    TFolder& kept = accounts_[account][QByteArray()];
    kept = TFolder();
    kept.Listing = std::move(listing);
    kept.HasListing = true;
    kept.Touched = true;
    changed_ = true;
}

void THeaderCache::Store(const QString& account, const QByteArray& folder, quint32 uidValidity,
                         TCachedEntries entries, bool complete, quint32 uidNext,
                         quint64 highestModSeq)
{
    WaitLoaded();
    const bool dropped = entries.removeIf([](QByteArrayView id, const TCachedHeader& header) {
        return Chars(header) > kMaxEntryChars || id.isEmpty();
    }) > 0;
    TAccount& keptAccount = accounts_[account];
    const bool known = keptAccount.contains(folder);
    TFolder& kept = keptAccount[folder];
    MakeEntries(kept);
    // The bytes read stay the folder's first entries only while it merely grows at its end.
    kept.HasRaw = kept.HasRaw && !complete && kept.UidValidity == uidValidity && kept.Entries.Precedes(entries);
    if (complete || kept.UidValidity != uidValidity) {
        // The same ids as kept are the same messages: nothing new to write.
        bool same = known && kept.UidValidity == uidValidity && kept.Entries.size() == entries.size();
        for (auto it = entries.cbegin(); same && it != entries.cend(); ++it)
            same = kept.Entries.contains(it.key());
        changed_ = changed_ || !same;
        kept.Entries = std::move(entries);
    } else {
        changed_ = changed_ || !known || !entries.isEmpty();
        for (auto it = entries.cbegin(); it != entries.cend(); ++it)
            kept.Entries.insert(it.key(), it.value());
    }
    // A message left out (too long to keep) would be missing from a listing told by UIDNEXT.
    const quint32 keptUidNext = dropped ? 0 : uidNext;
    // A newer HIGHESTMODSEQ alone is no reason to write the file: the one written holds as well
    // for the same entries (the server only has more to tell about it).
    const quint64 keptModSeq = keptUidNext != 0 ? highestModSeq : 0;
    changed_ = changed_ || kept.UidNext != keptUidNext || (kept.HighestModSeq == 0) != (keptModSeq == 0);
    kept.UidNext = keptUidNext;
    kept.HighestModSeq = keptModSeq;
    kept.UidValidity = uidValidity;
    kept.Touched = true;
}

const THeaderCache::TFolder* THeaderCache::Find(const QString& account, const QByteArray& folder) const
{
    WaitLoaded();
    const auto a = accounts_.constFind(account);
    if (a == accounts_.constEnd())
        return nullptr;
    const auto f = a->constFind(folder);
    return f != a->constEnd() ? &*f : nullptr;
}

const THeaderCache::TFolder* THeaderCache::Kept(const QString& account, const QByteArray& folder,
                                                 quint32 uidValidity) const
{
    const TFolder* kept = Find(account, folder);
    return kept && kept->UidValidity == uidValidity ? kept : nullptr;
}

quint32 THeaderCache::UidNext(const QString& account, const QByteArray& folder, quint32 uidValidity) const
{
    const TFolder* kept = Kept(account, folder, uidValidity);
    return kept ? kept->UidNext : 0;
}

quint32 THeaderCache::UidValidity(const QString& account, const QByteArray& folder) const
{
    const TFolder* kept = Find(account, folder);
    return kept ? kept->UidValidity : 0;
}

quint64 THeaderCache::HighestModSeq(const QString& account, const QByteArray& folder, quint32 uidValidity) const
{
    const TFolder* kept = Kept(account, folder, uidValidity);
    return kept ? kept->HighestModSeq : 0;
}

qsizetype THeaderCache::EntryCount() const
{
    WaitLoaded();
    qsizetype count = 0;
    for (const TAccount& account : accounts_) {
        for (const TFolder& folder : account)
            count += CountOf(folder);
    }
    return count;
}

void THeaderCache::Load()
{
    WaitLoaded();
    Read();
}

void THeaderCache::Read()
{
    accounts_.clear();
    fileBytes_.clear();
    QFile file(fileName_);
    // A file that is there but cannot be read is replaced by the next Save.
    changed_ = file.exists();
    if (file.size() > kMaxFileBytes || !file.open(QIODevice::ReadOnly))
        return;
    const QByteArray data = file.readAll();  // bounded above
    TFileReader in(data);
    if (in.Number() != kMagic || in.Number() != kVersion)
        return;
    QHash<QString, TAccount> accounts;
    qsizetype total = 0;
    const quint32 accountCount = in.Number();
    for (quint32 a = 0; a < accountCount && in.Ok(); ++a) {
        const QString accountKey = in.Text();
        const quint32 folderCount = in.Number();
        TAccount& account = accounts[accountKey];
        for (quint32 f = 0; f < folderCount && in.Ok(); ++f) {
            const QByteArray name = in.Bytes();
            TFolder folder;
            folder.UidValidity = in.Number();
            folder.UidNext = in.Number();
            const qint64 modSeq = in.Moment();  // 1 to 2^63-1; anything else is none
            folder.HighestModSeq = modSeq > 0 ? quint64(modSeq) : 0;
            const quint32 entryCount = in.Number();
            folder.RawFrom = in.Offset();
            // Room for the entries at once, as many as the rest of the file can hold at most, and
            // for the few a re-check adds: growing the list would move every entry.
            constexpr qint64 kRoomToGrow = 256;
            folder.Entries.reserve(
                std::min<qint64>({qint64(entryCount), qint64(kMaxEntries - total), in.Left() / kMinEntryBytes})
                + kRoomToGrow);
            for (quint32 e = 0; e < entryCount && in.Ok(); ++e) {
                const QByteArrayView id = in.BytesView();
                TCachedHeader header = ReadHeader(in);
                if (++total > kMaxEntries)
                    return;
                folder.Entries.insert(id, std::move(header));
            }
            folder.RawEnd = in.Offset();
            folder.RawCount = entryCount;
            // Entries out of order or named twice are written anew.
            folder.HasRaw = folder.Entries.Order();
            account.emplace(name, std::move(folder));
        }
    }
    // A file cut short or damaged anywhere is dropped as a whole.
    if (in.Number() != kMagic || !in.Ok() || in.Left() != 0)
        return;
    accounts_ = std::move(accounts);
    fileBytes_ = data;
    changed_ = false;
}

bool THeaderCache::Save()
{
    WaitLoaded();
    if (!changed_)
        return true;
    if (!WriteFile(AccountsToSave()))
        return false;
    changed_ = false;
    return true;
}

QHash<QString, THeaderCache::TAccount> THeaderCache::AccountsToSave() const
{
    // Over the bound, only what this session stored is kept; if that alone is too much, the
    // cache is given up rather than written without bound.
    QHash<QString, TAccount> accounts = accounts_;
    if (EntryCount() <= kMaxEntries)
        return accounts;
    qsizetype kept = 0;
    for (auto a = accounts.begin(); a != accounts.end();) {
        for (auto f = a->begin(); f != a->end();) {
            if (f->Touched) {
                kept += CountOf(*f);
                ++f;
            } else {
                f = a->erase(f);
            }
        }
        a = a->isEmpty() ? accounts.erase(a) : std::next(a);
    }
    if (kept > kMaxEntries)
        accounts.clear();
    return accounts;
}

bool THeaderCache::WriteFile(const QHash<QString, TAccount>& accounts) const
{
    QDir().mkpath(QFileInfo(fileName_).absolutePath());
    QSaveFile file(fileName_);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    // Subjects and senders of the user's mail: readable by the owner only, like the settings.
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    TFileWriter out(file);
    out.Number(kMagic);
    out.Number(kVersion);
    out.Number(quint32(accounts.size()));
    for (auto a = accounts.cbegin(); a != accounts.cend(); ++a) {
        out.Text(a.key());
        out.Number(quint32(a->size()));
        for (auto f = a->cbegin(); f != a->cend(); ++f) {
            out.Bytes(f.key());
            out.Number(f->UidValidity);
            out.Number(f->UidNext);
            out.Moment(qint64(f->HighestModSeq));
            if (f->HasListing)
                WriteListing(out, f->Listing);
            else if (f->HasRaw)
                WriteEntries(out, f->Entries, f->RawCount,
                             QByteArrayView(fileBytes_).sliced(f->RawFrom, f->RawEnd - f->RawFrom));
            else
                WriteEntries(out, f->Entries);
        }
    }
    out.Number(kMagic);
    if (!out.Finish()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

}  // namespace brevio
