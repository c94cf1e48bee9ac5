#pragma once
// The message list as text for scripts and people: tab-separated values, JSON or aligned
// columns. Used by the command-line checker.

#include "engine/check_run.h"

#include <QByteArray>
#include <QList>

namespace brevio {

enum class TExportFormat { Table, Tsv, Json };

// A row of the list with the message it shows: the exports give the date and the size as the
// server had them, not as the row's texts show them.
struct TListedMessage {
    TMessageRow Row;
    TMailMessage Message;
};

QByteArray ExportMessageRows(const QList<TListedMessage>& messages, TExportFormat format);

}  // namespace brevio
