#pragma once
// The window that shows the error log's entries, newest first.

#include <QStringList>

class QWidget;

namespace brevio {

// Shows `entries` in a modal "Log" window; does nothing when there are none. Returns whether a
// window was shown.
bool ShowLogWindow(QWidget* parent, const QStringList& entries);

}  // namespace brevio
