#pragma once
// The message list as text for scripts and people: tab-separated values, JSON or aligned
// columns. Used by the command-line checker.

#include "engine/check_run.h"

#include <QByteArray>
#include <QList>

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

}  // namespace brevio
