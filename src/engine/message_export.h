#pragma once
// The message list as text for scripts and people: tab-separated values, JSON or aligned
// columns. Used by the command-line checker.

#include "engine/check_run.h"

#include <QByteArray>
#include <QList>
#include <QStringView>

#include <functional>
#include <optional>

namespace brevio {

enum class TExportFormat { Table, Tsv, Json };

// What the exports take from a message besides its row: the date and the size as the server had
// them, not as the row's texts show them. Kept this small so a big listing stays small.
struct TListedDetails {
    QDateTime Date;
    qint32 Size = -1;

    TListedDetails() = default;
    // Implicit, so a listed message is made from the message it shows.
    TListedDetails(const TListedHeader& message) : Date(message.Date), Size(message.Size) {}
};

// A row of the list with what the exports need of its message.
struct TListedMessage {
    TMessageRow Row;
    TListedDetails Message;
};

QByteArray ExportMessageRows(const QList<TListedMessage>& messages, TExportFormat format);
// The TSV form of ExportMessageRows handed to `write` a piece of some 64 KiB at a time, so a big
// listing is never held whole as text.
void WriteTsvRows(const QList<TListedMessage>& messages, const std::function<void(QByteArrayView piece)>& write);

// The Id column: a text that names one message on its server, the same in every listing while
// the message stays, for deleting it later from the command line. IMAP4:
// "imap:MAILBOX:FOLDER:UIDVALIDITY:UID"; POP3: "pop3:MAILBOX:UIDL". MAILBOX is the mailbox's
// name (UTF-8), FOLDER the folder's name as the server sends it; in the texts every byte but
// A-Z, a-z, 0-9, "-", "." and "_" is written as "%" and two upper-case hex digits, so an Id
// never holds a comma, a colon of its own, white space or a character the shell treats
// specially. Empty for a message the server gave no lasting name (POP3 without UIDL).
QString MessageIdText(const QString& mailBoxName, const TMessageIdentity& id);
// `text` as MessageIdText writes it (hex digits of either case accepted); nothing when it is not
// an Id.
std::optional<QString> CanonicalMessageId(QStringView text);

// How many terminal columns `text` takes: East Asian wide and fullwidth characters two,
// combining marks and other zero-width characters none, the rest one.
int DisplayWidth(QStringView text);

}  // namespace brevio
