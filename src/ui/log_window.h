#pragma once
// The window that shows the error log's entries, newest first.

#include <QDialog>
#include <QStringList>

class QPlainTextEdit;

namespace brevio {

class TFooter;
class TFooterBtn;

class TfrmLog : public QDialog {
    Q_OBJECT
public:
    // A window that shows a copy of `entries`, one per line: editing it changes nothing in the log.
    explicit TfrmLog(const QStringList& entries, QWidget* parent = nullptr);

    QPlainTextEdit* memLog = nullptr;
    TFooter* Footer1 = nullptr;
    TFooterBtn* btnOK = nullptr;
};

// Shows `entries` in the modal log window; does nothing when there are none. Returns whether a
// window was shown.
bool ShowLogWindow(QWidget* parent, const QStringList& entries);

}  // namespace brevio
