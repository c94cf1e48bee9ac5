#include "support/error_log.h"

#include <QMutexLocker>

namespace brevio {

QString TErrorLog::FormatEntry(const QString& text, const QTime& time)
{
    return QStringLiteral("%1 - %2").arg(time.toString(QStringLiteral("hh:mm")), text);
}

void TErrorLog::Add(const QString& text)
{
    Add(text, QTime::currentTime());
}

void TErrorLog::Add(const QString& text, const QTime& time)
{
    const QString entry = FormatEntry(text, time);
    QMutexLocker lock(&mutex_);
    entries_.prepend(entry);
}

void TErrorLog::Clear()
{
    QMutexLocker lock(&mutex_);
    entries_.clear();
}

QStringList TErrorLog::Entries() const
{
    QMutexLocker lock(&mutex_);
    return entries_;
}

int TErrorLog::Count() const
{
    QMutexLocker lock(&mutex_);
    return int(entries_.size());
}

bool TErrorLog::IsEmpty() const
{
    QMutexLocker lock(&mutex_);
    return entries_.isEmpty();
}

}  // namespace brevio
