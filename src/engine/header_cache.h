#pragma once
// The headers already seen, so a check fetches only the new ones. Per account (protocol, server,
// port, user) and folder it keeps, under each message's UID (IMAP4, valid while the folder's
// UIDVALIDITY holds) or unique id (POP3), what a row shows of the message: subject, sender, date
// and size, and the spam verdict; for an IMAP4 folder also its UIDNEXT at the last whole listing, which lets a check
// of a folder where nothing changed skip the server's listing altogether. The cache lives in
// one file in the user's cache folder, written atomically; a file that cannot be read is
// dropped and rebuilt.

#include "engine/cached_entries.h"
#include "engine/mailbox_settings.h"
#include "engine/message_identity.h"
#include "mime/mail_message.h"

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QString>

#include <future>

namespace brevio {

class THeaderCache {
public:
    // The most messages the file keeps; past it the folders of accounts not checked in this
    // session are dropped first, then nothing is kept at all.
    static constexpr qsizetype kMaxEntries = 1'000'000;
    // A header whose row texts are longer than this is never cached (fetched every time).
    static constexpr qsizetype kMaxEntryChars = 4096;

    // `fileName` empty: DefaultFileName().
    explicit THeaderCache(QString fileName = {});
    THeaderCache(const THeaderCache&) = delete;
    THeaderCache& operator=(const THeaderCache&) = delete;

    // "headers.cache" in QStandardPaths::CacheLocation.
    static QString DefaultFileName();
    QString FileName() const { return fileName_; }

    // Reads the file; a missing, unreadable or damaged file leaves the cache empty (it is
    // rebuilt by the next Save). Never fails.
    void Load();
    // Load on a thread of its own, so the file is read while the check connects; the first use
    // of the cache waits for it. Only when there is a file to read.
    void StartLoading();
    // Writes the file atomically (the old one stays until the new one is complete), unless
    // nothing changed since it was read or written. Returns false when it could not be written;
    // the checks are no worse for it.
    bool Save();

    // The key of an account: protocol, server, port and user name.
    static QString AccountKey(const TMailBoxSettings& box);

    // The kept headers of a folder (POP3: the empty folder name, UIDVALIDITY 0) by message id;
    // empty when the folder is unknown or its UIDVALIDITY has changed since.
    TCachedEntries Folder(const QString& account, const QByteArray& folder, quint32 uidValidity);
    // Keeps `entries` for the folder. `complete`: they are everything the folder holds now, so
    // they replace what was kept (messages gone from the server leave the cache); otherwise
    // they are added. A new UIDVALIDITY drops the folder's old entries either way.
    // `uidNext` (IMAP4, 0 when not known): after this, the folder's entries are every message it
    // held while its UIDNEXT was this, and its HIGHESTMODSEQ `highestModSeq` (0: none).
    void Store(const QString& account, const QByteArray& folder, quint32 uidValidity,
               TCachedEntries entries, bool complete, quint32 uidNext = 0, quint64 highestModSeq = 0);
    // Keeps a whole POP3 listing (complete, in listing order) as the account's entries, as Store
    // would keep its messages that have a unique id of their own. The first listing of an account
    // is kept as it was found and its entries made only when they are asked for (Folder, Store);
    // the file is written from it directly, so a big first check holds each header once.
    void StoreListing(const QString& account, QList<TFoundMessage> listing);
    // The UIDNEXT of the folder's last whole listing (see Store); 0 when not known or its
    // UIDVALIDITY has changed since.
    quint32 UidNext(const QString& account, const QByteArray& folder, quint32 uidValidity) const;
    // The UIDVALIDITY under which the folder's entries are kept; 0 when none are.
    quint32 UidValidity(const QString& account, const QByteArray& folder) const;
    // The HIGHESTMODSEQ kept with that UIDNEXT; 0 when none is known.
    quint64 HighestModSeq(const QString& account, const QByteArray& folder, quint32 uidValidity) const;

    qsizetype EntryCount() const;

private:
    struct TFolder {
        quint32 UidValidity = 0;
        quint32 UidNext = 0;  // see Store
        quint64 HighestModSeq = 0;
        TCachedEntries Entries;
        // A listing kept by StoreListing whose entries are not made yet (Entries is empty then).
        QList<TFoundMessage> Listing;
        bool HasListing = false;
        bool Touched = false;  // stored in this session
        // The first RawCount entries as the file read held them, at fileBytes_[RawFrom, RawEnd):
        // written again as they are, so a folder that only grew is not written entry by entry.
        bool HasRaw = false;
        quint32 RawCount = 0;
        qsizetype RawFrom = 0;
        qsizetype RawEnd = 0;
    };
    using TAccount = QHash<QByteArray, TFolder>;

    // The folder kept for `account`, whatever its UIDVALIDITY; nullptr when none is.
    const TFolder* Find(const QString& account, const QByteArray& folder) const;
    // The folder kept for `account` under `uidValidity`; nullptr when none is.
    const TFolder* Kept(const QString& account, const QByteArray& folder, quint32 uidValidity) const;
    // Makes the entries of a folder kept as a listing.
    static void MakeEntries(TFolder& folder);
    static qsizetype CountOf(const TFolder& folder);
    // Reads the file into the cache (Load without the wait).
    void Read();
    // Waits for StartLoading's reading to end.
    void WaitLoaded() const;
    // The accounts to write: all of them, or over the bound only the folders stored this session.
    QHash<QString, TAccount> AccountsToSave() const;
    // Writes the file through a temporary one; false when that failed.
    bool WriteFile(const QHash<QString, TAccount>& accounts) const;

    QString fileName_;
    QHash<QString, TAccount> accounts_;
    QByteArray fileBytes_;  // the file as read, while folders keep their entries' bytes in it
    bool changed_ = false;  // since the file was read or written
    // Last, so it is waited for before the rest goes.
    mutable std::future<void> loading_;
};

}  // namespace brevio
