#pragma once
// The runs that walk the mailboxes (check all, check one, scheduled check, delete marked) and
// the rows of the message list they leave behind. A run is a value in and a value out: it
// works on a snapshot of the mailboxes' settings and names the messages to delete by identity,
// so whoever starts it (the main window, the command-line checker, the tests) keeps its own
// objects to itself while the run goes on another thread.

#include "engine/mailbox_settings.h"
#include "engine/message_identity.h"
#include "net/line_channel.h"
#include "support/string_table.h"

#include <QDateTime>
#include <QList>
#include <QLocale>
#include <QString>

#include <algorithm>
#include <functional>

namespace brevio {

class TCheckContext;
class TMailBoxList;

enum class TRunKind {
    CheckAll,      // every mailbox without IgnoreCheckAllCommand
    CheckOne,      // one chosen mailbox, whatever its flags
    Scheduled,     // every mailbox without IgnoreCheckOnSchedule
    DeleteMarked,  // delete the request's messages (no listing of its own)
    Watched,       // one watched mailbox whose inbox changed; nobody is asked anything
};

// A message the user ticked, with the position of its mailbox in the run's snapshot.
struct TMessageToDelete {
    int MailBoxIndex = -1;
    TMessageIdentity Id;
};

struct TRunRequest {
    TRunKind Kind = TRunKind::CheckAll;
    bool Scheduled = false;             // started by the timer: nobody is asked anything
    QList<TMailBoxSettings> MailBoxes;  // the snapshot, in list order
    int MailBoxIndex = -1;              // CheckOne
    QList<TMessageToDelete> Deletes;    // DeleteMarked, in ticking order
    TStringTable Strings;               // the message texts of the run
    int NetworkTimeoutSeconds = 60;     // how long a connect, read or write may block
    bool Pipelining = true;             // commands ahead of their replies (FPipelining)
    bool HeaderCache = true;            // fetch only headers not seen before (FHeaderCache)
    QList<quint64> MailBoxIds{};        // the mailboxes' ids in the window's list (TMailBoxList::Id),
                                        // in snapshot order; empty: not known
};

// One row of the message list: the column texts that are its own, the values the number, size,
// date and time columns are written from (TMessageRowTexts, when shown), the spam verdict the
// Spam column draws, plus what the delete command and the sender lists need. A big mailbox's
// rows stay small: the texts that differ only by their locale are made when they are shown.
struct TMessageRow {
    int MailBoxIndex = -1;  // position of the mailbox in the run's snapshot
    qint32 Number = 0;      // position in its mailbox, from 1
    quint64 MailBoxId = 0;  // the mailbox's id in the window's list (0: not known)
    TMessageIdentity Id;    // where the message lies on its server
    QString Subject;
    QString From;
    QString MailBox;
    QString Folder;         // display form of the IMAP4 folder; empty for POP3
    QString FromAddress;    // the sender's address alone; empty when it could not be read
    QDateTime Date;         // the moment, in UTC; invalid without a date
    qint32 Size = -1;       // bytes, as the server gave it; -1 when it gave none
    TSpamVerdict Spam;

    // The size as a number of bytes (0 when the server gave none).
    qint64 SizeBytes() const { return std::max<qint64>(0, Size); }

    bool operator==(const TMessageRow&) const = default;
};

// The texts of a row's number, size, date and time columns: the number and size in plain
// decimal, the date in the locale's short date format and the time in its long time format,
// in local time; the date and time are empty without a date. One per list or export, as it
// keeps what rows share (the time format, the text of the last date).
class TMessageRowTexts {
public:
    explicit TMessageRowTexts(const QLocale& locale = QLocale());

    static QString Number(const TMessageRow& row) { return QString::number(row.Number); }
    static QString Size(const TMessageRow& row) { return QString::number(row.Size); }
    QString Date(const TMessageRow& row) const;
    QString Time(const TMessageRow& row) const;

private:
    QLocale locale_;
    QString timeFormat_;
    mutable QDate lastDate_;
    mutable QString lastDateText_;
};

// A certificate the user chose to trust during a run, for the mailbox at MailBoxIndex of the
// run's snapshot; Host and UserName say which mailbox that was, in case the list changed since.
struct TTrustedCertificate {
    int MailBoxIndex = -1;
    QString Host;
    QString UserName;
    QString Fingerprint;
};

struct TRunResult {
    TRunKind Kind = TRunKind::CheckAll;
    QList<TMessageRow> Rows;  // empty for DeleteMarked
    QList<TTrustedCertificate> TrustedCertificates;
    // The mailboxes (indexes of the snapshot) whose check did not finish: the connection or the
    // login failed, a folder could not be listed, or the user aborted it. What they listed is
    // in Rows all the same.
    QList<int> UnfinishedMailBoxes{};
    // Filled by whoever hands the result on without its rows: how many there were, and how many
    // the previous check of their mailbox did not list.
    qsizetype RowCount = 0;
    int NewMessages = 0;
};

// Called on the running thread after each mailbox's check with that mailbox's rows.
using TMailBoxRowsCallback = std::function<void(int mailBoxIndex, const QList<TMessageRow>& rows)>;

// Runs `request` on the calling thread. Never throws for mailbox failures: each mailbox
// catches its own and logs it. The abort request ends only the mailbox it hits: it is reset
// before each mailbox. `factory` makes the transports (empty: real sockets).
TRunResult ExecuteRun(const TRunRequest& request, TCheckContext& context, const TTransportFactory& factory = {},
                      const TMailBoxRowsCallback& onMailBoxRows = {});

// Called after each mailbox's check with its index and what it found, which the callback may
// take over (it is let go after the call either way).
using TMailBoxFoundCallback = std::function<void(int mailBoxIndex, QList<TFoundMessage>& found)>;

// See a mailbox's messages while its listing runs (see TCheckContext::Listed and Expect).
struct TListingCallbacks {
    std::function<void(int mailBoxIndex, const QList<TFoundMessage>& found, bool asExpected)> Listed;
    std::function<void(int mailBoxIndex, const QList<TFoundMessage>& messages, qsizetype place,
                       const std::function<bool()>& answered)>
        Expected;
};

// Checks the mailboxes of `mailBoxes` at `indexes`, each once, in list order, each with a clean
// abort request. `trusted` (when given) collects the certificates the user trusted, `unfinished`
// (when given) the indexes of the mailboxes whose check did not finish. `onListing` (when given)
// sees each mailbox's messages while they come; `onMailBox` then gets them all.
void CheckMailBoxes(const QList<TMailBoxSettings>& mailBoxes, const QList<int>& indexes, TCheckContext& context,
                    const TMailBoxFoundCallback& onMailBox, const TTransportFactory& factory = {},
                    QList<TTrustedCertificate>* trusted = nullptr, QList<int>* unfinished = nullptr,
                    const TListingCallbacks& onListing = {});

// The indexes a run of `kind` visits (CheckOne: just `mailBoxIndex`, when valid).
QList<int> MailBoxesOfRun(const QList<TMailBoxSettings>& mailBoxes, TRunKind kind, int mailBoxIndex = -1);

// Makes the rows of a listing. The folder text is worked out once per run of rows in the same
// folder (rows in a row mostly share it, and then share the text too, which saves an allocation
// per row in a big mailbox).
class TMessageRowBuilder {
public:
    // The row of one found message at `position` (from 0) of its mailbox's listing.
    TMessageRow Build(int mailBoxIndex, const TMailBoxSettings& mailBox, const TFoundMessage& found,
                      qsizetype position);
    // The display form of the found message's folder (kept while the messages share it).
    const QString& FolderText(const TFoundMessage& found);

private:
    bool folderKnown_ = false;
    QByteArray lastFolder_;
    TImapNameEncoding lastEncoding_ = TImapNameEncoding::ModifiedUtf7;
    QString lastFolderText_;
};

// The rows for what one mailbox's check found, numbered from 1.
QList<TMessageRow> BuildMailBoxRows(int mailBoxIndex, const TMailBoxSettings& mailBox,
                                    const QList<TFoundMessage>& found);

// Keeps the certificates of `result` in `list`: each goes to the mailbox at its index when that
// is still the same mailbox (same host and user name). Returns true when a mailbox changed.
bool StoreTrustedCertificates(TMailBoxList& list, const TRunResult& result);

}  // namespace brevio
