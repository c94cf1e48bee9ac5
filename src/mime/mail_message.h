#pragma once
// The message record: what the header lines of one message say, plus what the server told us
// about it (size, folder, unique ids). Filled by header parsing and the mailbox checks.

#include "mime/spam_verdict.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <algorithm>
#include <array>

namespace brevio {

struct TEmailAddressText;

// One e-mail address: display name and address. Text() gives the form shown in the list.
struct TEmailAddress {
    QString Name;
    QString Address;
    QString Raw;  // the text as it came, kept when it could not be parsed

    QString Text() const;
    // Text() as the pieces it is joined from, for writing it out without making it: views of
    // this address's texts (valid while it is) and of the quoted pieces it holds itself.
    TEmailAddressText TextPieces() const;
    void SetText(const QString& text);
};

// Moved, the held pieces keep their place; a copy would view the original's, so there is none.
struct TEmailAddressText {
    TEmailAddressText() = default;
    TEmailAddressText(TEmailAddressText&&) = default;
    TEmailAddressText(const TEmailAddressText&) = delete;
    TEmailAddressText& operator=(const TEmailAddressText&) = delete;

    static constexpr int kMaxPieces = 7;
    std::array<QStringView, kMaxPieces> Pieces;
    int Count = 0;
    // A quoted local part or display name, when the address needs one (rarely).
    QString QuotedAddress;
    QString EscapedName;

    qsizetype Size() const
    {
        qsizetype size = 0;
        for (int i = 0; i < Count; ++i)
            size += Pieces[i].size();
        return size;
    }
};

using TEmailAddressList = QList<TEmailAddress>;

enum class TMessagePriority { Highest = 1, High = 2, Normal = 3, Low = 4, Lowest = 5 };

struct TMailMessage {
    // The header lines as received, one entry per physical line.
    QList<QByteArray> RawHeaders;

    // Decoded to Unicode. 8-bit bytes outside encoded words are read as UTF-8 when valid, else in
    // CharSet (a KOI8-R subject is converted here), so callers never recode it.
    QString Subject;
    TEmailAddress From;
    QDateTime Date;  // local time; invalid when the message had no readable date
    QString ContentType;
    QString CharSet;   // upper case, from ContentType
    qint32 Size = -1;  // bytes on the server; -1 when the server gave none

    // IMAP4: the folder as the server names it (modified UTF-7 bytes); empty for POP3.
    QByteArray Folder;
    // IMAP4: the message's UID in Folder; 0 when unknown.
    quint32 Uid = 0;
    // IMAP4: the UIDVALIDITY of Folder when the message was read; 0 when unknown.
    quint32 UidValidity = 0;
    // POP3: the unique id from UIDL; empty when the server has none.
    QByteArray UniqueId;

    // Fields parsed from the header but not shown.
    TEmailAddressList Recipients;
    TEmailAddressList CCList;
    TEmailAddressList ReplyTo;
    TEmailAddress Sender;
    TEmailAddress ReceiptRecipient;
    QString Organization;
    QString References;
    QString MessageId;
    QStringList NewsGroups;
    QString ContentTransferEncoding;
    QString ContentDisposition;
    TMessagePriority Priority = TMessagePriority::Normal;
    // What the receiving servers said about the message (see ReadSpamVerdict).
    TSpamVerdict Spam;

    // Fills the fields above from RawHeaders. Never throws: each field is read on its own, and a
    // field that cannot be read keeps its empty value (an address its raw text, see Raw).
    // `trustedAuthServId`: see ReadSpamVerdict.
    void ParseHeaders(QByteArrayView trustedAuthServId = {});
};

// What a listed message keeps: what its row and the exports show (subject, sender, date, size)
// and where it lies. The header lines and the fields nobody shows are not kept, so a big
// mailbox's listing holds little per message. The spam verdict is kept too: it is a few bytes.
struct TListedHeader {
    QString Subject;
    TEmailAddress From;
    // The moment in UTC (kept inline, no zone data per message); shown through ToLocalTime().
    QDateTime Date;
    qint32 Size = -1;
    QByteArray Folder;
    quint32 Uid = 0;
    quint32 UidValidity = 0;
    QByteArray UniqueId;
    TSpamVerdict Spam;

    TListedHeader() = default;
    // Takes over those fields of a parsed message.
    explicit TListedHeader(TMailMessage&& message);
};

// Reads from a message's header lines only what a listed message keeps (subject, sender, date),
// exactly as TMailMessage::ParseHeaders reads them, and the spam verdict; the listing of a big
// mailbox need not read the dozen other fields only to drop them. Size and where the message
// lies are left empty.
TListedHeader ParseListedHeader(const QList<QByteArray>& lines, QByteArrayView trustedAuthServId = {});

// What one message's header may keep in memory. A server may send a header of millions of short
// lines (a 4 MiB block of one-byte lines); a message keeps its first lines up to these bounds
// and drops the rest, so a check's memory does not grow with what a server sends.
inline constexpr qsizetype kMaxHeaderLines = 10'000;
inline constexpr qsizetype kMaxHeaderBytes = qsizetype{1024} * 1024;  // line bytes plus two per line break

// Collects the non-empty header lines of one message within the bounds above.
class THeaderLineCollector {
public:
    // Keeps `line` unless it is empty or the bounds are reached; later lines are dropped even
    // when they would fit, so the kept lines are always a beginning of the header.
    void Add(QByteArray line);
    // Room for `count` lines (within the bound), so adding them does not grow the list by steps.
    void Reserve(qsizetype count) { lines_.reserve(std::min(count, kMaxHeaderLines)); }
    QList<QByteArray> Take() { return std::move(lines_); }

private:
    QList<QByteArray> lines_;
    qsizetype bytes_ = 0;
    bool full_ = false;
};

// The non-empty lines of a header block (CR LF or LF line ends), unchanged otherwise, within the
// bounds above.
QList<QByteArray> SplitHeaderLines(const QByteArray& block);

// ParseListedHeader of a header block's lines, as SplitHeaderLines finds them.
TListedHeader ParseListedHeaderBlock(const QByteArray& block, QByteArrayView trustedAuthServId = {});

}  // namespace brevio
