#pragma once
// The root of Brevio's exceptions and the two that end a run's work without an error: every
// layer may raise or catch these, so they live at the bottom.

#include <QByteArray>
#include <QString>
#include <exception>

namespace brevio {

// Base of every exception Brevio raises; carries the message text shown in the error log.
class Exception : public std::exception {
public:
    explicit Exception(QString message = {}) : message_(std::move(message)), utf8_(message_.toUtf8()) {}
    const QString& Message() const noexcept { return message_; }
    const char* what() const noexcept override { return utf8_.constData(); }

private:
    QString message_;
    QByteArray utf8_;
};

// The user cancelled the login prompt.
class EAbort : public Exception {
public:
    EAbort() : Exception() {}
};

// The user pressed Escape (or closed the window) during a run: ends the current mailbox silently.
class EUserAbort : public Exception {
public:
    EUserAbort() : Exception() {}
};

}  // namespace brevio
