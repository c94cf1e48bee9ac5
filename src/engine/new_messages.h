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
    // Counts the rows that the previous check of their mailbox did not list, then remembers, for
    // every mailbox at `checked` (indexes into `mailBoxes`), what it lists now. A mailbox checked
    // for the first time counts all its rows. A mailbox is the same one as long as its server,
    // port, protocol and user are.
    int Update(const QList<TMailBoxSettings>& mailBoxes, const QList<int>& checked, const QList<TMessageRow>& rows);

private:
    QHash<QString, QSet<QByteArray>> seen_;
};

}  // namespace brevio
