#pragma once
// The runs that walk the mailbox list (check all, check one, scheduled check, delete marked) and
// the rows of the message list they leave behind. No window here: the main window, the
// command-line checker and the tests call these on their worker thread and show the results.

#include "net/line_channel.h"

#include <QList>
#include <QLocale>
#include <QString>

namespace brevio {

class TCheckContext;
class TMailBoxList;

enum class TRunKind {
    CheckAll,      // every mailbox without IgnoreCheckAllCommand
    CheckOne,      // one chosen mailbox, whatever its flags
    Scheduled,     // every mailbox without IgnoreCheckOnSchedule
    DeleteMarked,  // delete the marks of every mailbox (no listing of its own)
};

// One row of the message list: the eight column texts plus what the delete command needs.
struct TMessageRow {
    int MailBoxIndex = -1;  // position of the mailbox in the list
    int MessageIndex = -1;  // position of the message in the mailbox's Messages
    QString Number;         // position in its mailbox, from 1
    QString Subject;
    QString From;
    QString MailBox;
    QString Size;           // bytes, plain decimal
    QString Date;           // the locale's short date format; empty without a date
    QString Time;           // the locale's long time format; empty without a date
    QString Folder;         // display form of the IMAP4 folder; empty for POP3
    qint64 SizeBytes = 0;   // the size as a number (0 when the server gave none)
};

struct TRunResult {
    TRunKind Kind = TRunKind::CheckAll;
    QList<TMessageRow> Rows;  // empty for DeleteMarked
};

// Runs one kind of run over `list` on the calling thread. `mailBoxIndex` is used by CheckOne
// only. Never throws for mailbox failures: each mailbox catches its own and logs it. The abort
// request ends only the mailbox it hits: it is reset before each mailbox. `factory` makes the
// transports (empty: real sockets).
TRunResult ExecuteRun(TMailBoxList& list, TRunKind kind, TCheckContext& context,
                      int mailBoxIndex = -1, const QLocale& locale = QLocale(),
                      const TTransportFactory& factory = {});

// Empties every mailbox's messages, then checks the mailboxes at `indexes`, in list order.
void CheckMailBoxes(TMailBoxList& list, const QList<int>& indexes, TCheckContext& context,
                    const TTransportFactory& factory = {});

// The indexes a run of `kind` visits (CheckOne: just `mailBoxIndex`, when valid).
QList<int> MailBoxesOfRun(const TMailBoxList& list, TRunKind kind, int mailBoxIndex = -1);

// The rows for everything the mailboxes of `list` hold now, mailbox by mailbox in list order.
QList<TMessageRow> BuildMessageRows(const TMailBoxList& list, const QLocale& locale = QLocale());

// Marks the message behind `row` for deletion in its mailbox. Returns false when the row no
// longer matches the list (the list was replaced since).
bool MarkRowForDeletion(TMailBoxList& list, const TMessageRow& row);

}  // namespace brevio
