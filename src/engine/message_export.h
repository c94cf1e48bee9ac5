#pragma once
// The message list as text for scripts and people: tab-separated values, JSON or aligned
// columns. Used by the command-line checker.

#include "engine/check_run.h"

#include <QByteArray>
#include <QList>

namespace brevio {

class TMailBoxList;

enum class TExportFormat { Table, Tsv, Json };

// `rows` must have been built from `list` as it is now.
QByteArray ExportMessageRows(const TMailBoxList& list, const QList<TMessageRow>& rows,
                             TExportFormat format);

}  // namespace brevio
