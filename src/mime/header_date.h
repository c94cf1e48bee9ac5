#pragma once
// Reading the Date header.

#include <QByteArrayView>
#include <QDateTime>

namespace brevio {

// Reads an RFC 5322 date ("Fri, 7 Sep 2001 10:20:30 +0300") and converts it to local time with
// the zone rules in force at that date. Lenient: the day name may be missing, the year may have
// two digits, the seconds may be missing, comments such as "(PDT)" are ignored, "-" may separate
// day, month and year, and the asctime form "Fri Sep  7 10:20:30 2001" is read too. Numeric
// zones and the zone names UT, UTC, GMT, Z, EST, EDT, CST, CDT, MST, MDT, PST and PDT are
// honoured; a missing or unknown zone counts as UTC. A value that is not a date gives an invalid
// QDateTime.
QDateTime HeaderToLocalDateTime(QByteArrayView value);
// The same moment in UTC.
QDateTime HeaderToUtcDateTime(QByteArrayView value);

// The moment in local time, with the zone rules in force at that moment: the same date and time
// as QDateTime::toLocalTime() gives. The system time zone is loaded once per thread and again
// only when the TZ environment value changes (or after a minute, in case the system's zone
// was changed): the C library's local time looks the zone file up on every conversion, which
// dominates listing tens of thousands of headers. Falls back to toLocalTime() when the system
// zone cannot be loaded.
QDateTime ToLocalTime(const QDateTime& moment);

// The date and time ToLocalTime(moment) shows, found without making a QDateTime in a zone (each
// of which allocates): the zone's offset is kept for the span of time in which it does not
// change, so a listing's dates mostly need no zone lookup at all. Both invalid for an invalid
// moment.
struct TLocalDateTime {
    QDate Date;
    QTime Time;
};
TLocalDateTime LocalDateAndTime(const QDateTime& moment);

}  // namespace brevio
