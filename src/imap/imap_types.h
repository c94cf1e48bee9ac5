#pragma once
// Values the IMAP4 client hands out: message flags, LIST entries, the selected folder's state
// and the records of a multi-message fetch.

#include "mime/mail_message.h"

#include <QByteArray>
#include <QFlags>
#include <QList>

namespace brevio {

enum class TMessageFlag {
    Answered = 0x01,
    Flagged = 0x02,
    Deleted = 0x04,
    Draft = 0x08,
    Seen = 0x10,
    Recent = 0x20,
};
Q_DECLARE_FLAGS(TMessageFlags, TMessageFlag)

// One folder of a LIST reply (RFC 3501 §7.2.2).
struct TImapListEntry {
    QByteArray Name;               // as the server sent it, decoded from quoted or literal form
    QByteArray Delimiter;          // hierarchy delimiter; empty for NIL
    QList<QByteArray> Attributes;  // "\Noselect", "\HasNoChildren", ... as sent

    // False for "\Noselect" and "\NonExistent" folders (RFC 3501, RFC 5258), which cannot be
    // selected.
    bool Selectable() const;

    bool operator==(const TImapListEntry&) const = default;
};

enum class TImapAccessMode { ReadOnly, ReadWrite };

// The selected folder's state from the SELECT reply.
struct TImapFolderInfo {
    QByteArray Name;
    qint32 TotalMessages = 0;
    qint32 RecentMessages = 0;
    qint32 FirstUnseen = 0;
    quint32 UidValidity = 0;    // 0: the server gave none
    quint32 UidNext = 0;        // 0: the server gave none
    quint64 HighestModSeq = 0;  // 0: the server gave none, or NOMODSEQ (RFC 7162 §3.1.2)
    TImapAccessMode AccessMode = TImapAccessMode::ReadOnly;
    TMessageFlags MailBoxFlags;
    TMessageFlags PermanentFlags;
    QList<quint32> ExpungedNumbers;

    bool operator==(const TImapFolderInfo&) const = default;
};

// One message of a multi-message fetch: its sequence number and the message record with Uid,
// Size (-1 when not given), Folder and the parsed header.
struct TImapFetchedMessage {
    quint32 SequenceNumber = 0;
    TMailMessage Message;
};

// One message of a pipelined listing: only what a listed message keeps (see TListedHeader),
// with Uid, Size (-1 when not given) and Folder.
struct TImapListedMessage {
    quint32 SequenceNumber = 0;
    TListedHeader Message;
};

}  // namespace brevio

Q_DECLARE_OPERATORS_FOR_FLAGS(brevio::TMessageFlags)
