#pragma once
// Finding header values in the raw header lines of a message.

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

namespace brevio {

// Index of the first line whose name (the text before its first ":") equals `name`, letter case
// ignored; -1 when there is none. A blank before the colon makes the name differ.
qsizetype FindHeaderLine(const QList<QByteArray>& lines, QByteArrayView name);

// The value of the header that starts at `lines[index]`: the text after the colon, with folded
// continuation lines (those starting with a blank or TAB) joined by one blank, trimmed.
QByteArray HeaderValueAt(const QList<QByteArray>& lines, qsizetype index);

// The value of the first header called `name`; empty when absent.
QByteArray HeaderValue(const QList<QByteArray>& lines, QByteArrayView name);

}  // namespace brevio
