#pragma once
// Which listed messages are new: those that the previous check of the same mailbox did not list.
// The list always shows everything on the server; only the new-mail announcement counts this way,
// so an unchanged mailbox is not announced again at every scheduled check.

#include "engine/check_run.h"
#include "engine/mailbox_settings.h"

#include <QHash>
#include <QList>
#include <QSet>

namespace brevio {

class TNewMessageTracker {
public:
    // A file larger than this is not a record this program wrote; it is ignored.
    static constexpr qint64 kMaxFileBytes = qint64{256} * 1024 * 1024;

    // Counts the rows that the previous check of their mailbox did not list, then remembers, for
    // every mailbox at `checked` (indexes into `mailBoxes`), what it lists now. A mailbox checked
    // for the first time counts all its rows. A mailbox at `unfinished` (a failed login, a lost
    // connection, the user's abort) may have listed only part of what it holds: it keeps what it
    // listed before and adds what it listed now, so its old mail is not new at the next check.
    // A mailbox is the same one as long as its server, port, protocol and user are.
    int Update(const QList<TMailBoxSettings>& mailBoxes, const QList<int>& checked, const QList<TMessageRow>& rows,
               const QList<int>& unfinished = {});

    // "listed.record" beside the header cache, in the user's cache folder.
    static QString DefaultFileName();
    // Reads what an earlier session remembered and adds it for the mailboxes this session has not
    // checked yet. A missing, damaged or foreign file adds nothing. Never fails.
    void Load(const QString& fileName);
    // Writes the record atomically, readable by its owner only, unless nothing changed since it
    // was read or written. False when it could not be written.
    bool Save(const QString& fileName);

private:
    QHash<QString, QSet<QByteArray>> seen_;
    bool changed_ = false;
};

}  // namespace brevio
