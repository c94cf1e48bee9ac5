#pragma once
// The message list as text for scripts and people: tab-separated values, JSON or aligned
// columns. Used by the command-line checker.

#include "engine/check_run.h"

#include <QByteArray>
#include <QList>
#include <QStringEncoder>
#include <QStringView>

#include <functional>
#include <memory>
#include <optional>

namespace brevio {

enum class TExportFormat { Table, Tsv, Json };

QByteArray ExportMessageRows(const QList<TMessageRow>& rows, TExportFormat format);

class TIdWriter;

// The TSV form of ExportMessageRows, row by row, handed to `write` a piece of some 64 KiB at a
// time, so a big listing is never held whole, neither as rows nor as text. The header line
// comes first; Finish() hands over what is left.
class TTsvWriter {
public:
    explicit TTsvWriter(std::function<void(QByteArrayView piece)> write);
    TTsvWriter(const TTsvWriter&) = delete;
    TTsvWriter& operator=(const TTsvWriter&) = delete;
    ~TTsvWriter();

    void Add(const TMessageRow& row);
    // The row TMessageRowBuilder makes of `found`, at `position` (from 0) of `mailBox`'s listing,
    // written without making it.
    void Add(const TMailBoxSettings& mailBox, const TFoundMessage& found, qsizetype position);
    // The rows of `found` from `from` on, each at its place in `found`. A long run is made on two
    // threads. `asExpected`: the messages from `from` on begin with those of the last Draft, as
    // they were, so their rows are written as drafted.
    void Add(const TMailBoxSettings& mailBox, const QList<TFoundMessage>& found, qsizetype from,
             bool asExpected = false);
    // Makes ahead the rows `messages` would have at `place` of `mailBox`'s listing (the first
    // 16 MiB of them), for as long as `answered` says no, for Add to write once it gets them as
    // expected. Nothing is written meanwhile; any earlier draft is dropped.
    void Draft(const TMailBoxSettings& mailBox, const QList<TFoundMessage>& messages, qsizetype place,
               const std::function<bool()>& answered);
    void Finish();

private:
    struct TFields;
    void Add(const TFields& row);
    // The rows of found[from..] at their places plus `shift`, a long run on two threads; stops
    // before a block when `stop` (may be empty) says so. Returns where it stopped.
    qsizetype AddRun(const TMailBoxSettings& mailBox, const QList<TFoundMessage>& found, qsizetype from,
                     qsizetype shift, const std::function<bool()>& stop);
    // A writer for rows that follow another's header line.
    static std::unique_ptr<TTsvWriter> WithoutHeader(std::function<void(QByteArrayView piece)> write);
    static constexpr qsizetype kPiece = 64 * 1024;
    // The most bytes a number and the byte after it take.
    static constexpr qsizetype kDecimalRoom = 24;
    // Makes room for `bytes` more at the end of the text and returns where it starts; the text
    // is cut back to what was written afterwards.
    char* Room(qsizetype bytes);
    // Writes `value` and `end` at `out`, which has room for them; returns the end.
    char* Field(char* out, QStringView value, char end);
    // The same without an end: one piece of a field.
    char* Field(char* out, QStringView value);
    static char* Decimal(char* out, qint64 value, char end);

    std::function<void(QByteArrayView piece)> write_;
    std::unique_ptr<TIdWriter> ids_;
    std::unique_ptr<TMessageRowBuilder> folders_;  // the folders' display names
    // Makes the second half of each block of a long run, on a thread of its own, into helperText_.
    std::unique_ptr<TTsvWriter> helper_;
    QByteArray helperText_;
    std::unique_ptr<TTsvWriter> drafter_;  // makes the draft's rows
    QStringEncoder utf8_;
    QByteArray text_;
    struct {
        const TMailBoxSettings* MailBox = nullptr;
        qsizetype Place = 0;
        qsizetype Count = 0;  // rows made
        QByteArray Text;
    } draft_;
};

void WriteTsvRows(const QList<TMessageRow>& rows, const std::function<void(QByteArrayView piece)>& write);

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
