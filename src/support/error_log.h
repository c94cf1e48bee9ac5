#pragma once
// The in-memory error log of mail checks: one line per failure, newest first, each "hh:mm - text".
// Thread-safe, since checks run on a worker thread while the window reads the log.

#include <QMutex>
#include <QStringList>
#include <QTime>

namespace brevio {

class TErrorLog {
public:
    // Adds an entry stamped with the current local time, above all older entries.
    void Add(const QString& text);
    // Adds an entry stamped with `time` (for callers that keep their own clock, and tests).
    void Add(const QString& text, const QTime& time);
    void Clear();
    QStringList Entries() const;  // newest first
    int Count() const;
    bool IsEmpty() const;
    bool HasEntries() const { return !IsEmpty(); }

    // The entry text for `text` added at `time`: "hh:mm - text".
    static QString FormatEntry(const QString& text, const QTime& time);

private:
    mutable QMutex mutex_;
    QStringList entries_;
};

}  // namespace brevio
