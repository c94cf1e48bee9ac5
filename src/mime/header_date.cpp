#include "mime/header_date.h"

#include <QDeadlineTimer>
#include <QVarLengthArray>
#include <QTime>
#include <QTimeZone>

#include <array>
#include <cstdlib>
#include <limits>
#include <optional>
#include <string>

namespace brevio {

namespace {

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool IsLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool AllDigits(QByteArrayView token)
{
    if (token.isEmpty())
        return false;
    for (char c : token) {
        if (!IsDigit(c))
            return false;
    }
    return true;
}

bool AllLetters(QByteArrayView token)
{
    if (token.isEmpty())
        return false;
    for (char c : token) {
        if (!IsLetter(c))
            return false;
    }
    return true;
}

int ToInt(QByteArrayView digits)
{
    int value = 0;
    for (char c : digits) {
        value = value * 10 + (c - '0');
        if (value > 100000)
            return value;  // far out of any valid range; avoids overflow
    }
    return value;
}

// 1-12 for a month name (three letters or longer, "Sept" and "September" included), else 0.
int MonthNumber(QByteArrayView token)
{
    static constexpr std::array<const char*, 12> kMonths = {"jan", "feb", "mar", "apr", "may", "jun",
                                                            "jul", "aug", "sep", "oct", "nov", "dec"};
    if (token.size() < 3 || !AllLetters(token))
        return 0;
    const QByteArrayView head = token.first(3);
    for (int m = 0; m < 12; ++m) {
        if (head.compare(QByteArrayView(kMonths[m]), Qt::CaseInsensitive) == 0)
            return m + 1;
    }
    return 0;
}

bool IsDayName(QByteArrayView token)
{
    static constexpr std::array<const char*, 7> kDays = {"mon", "tue", "wed", "thu", "fri", "sat", "sun"};
    if (token.size() < 3 || !AllLetters(token))
        return false;
    for (const char* day : kDays) {
        if (token.first(3).compare(QByteArrayView(day), Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

// RFC 5322 §4.3 obsolete zone names, in minutes east of UTC.
std::optional<int> NamedZoneMinutes(QByteArrayView token)
{
    struct Zone {
        const char* name;
        int minutes;
    };
    static constexpr std::array<Zone, 12> kZones = {{
        {"UT", 0},
        {"UTC", 0},
        {"GMT", 0},
        {"Z", 0},
        {"EST", -300},
        {"EDT", -240},
        {"CST", -360},
        {"CDT", -300},
        {"MST", -420},
        {"MDT", -360},
        {"PST", -480},
        {"PDT", -420},
    }};
    for (const Zone& zone : kZones) {
        if (token.compare(QByteArrayView(zone.name), Qt::CaseInsensitive) == 0)
            return zone.minutes;
    }
    return std::nullopt;
}

// "+hhmm", "-hhmm", "+hh:mm" or "+hh"; nullopt when the token is not a zone offset.
std::optional<int> NumericZoneMinutes(QByteArrayView token)
{
    if (token.size() < 2 || (token[0] != '+' && token[0] != '-'))
        return std::nullopt;
    QByteArray digits;
    for (char c : token.sliced(1)) {
        if (IsDigit(c))
            digits += c;
        else if (c != ':')
            return std::nullopt;
    }
    int hours = 0;
    int minutes = 0;
    if (digits.size() == 4) {
        hours = ToInt(QByteArrayView(digits).first(2));
        minutes = ToInt(QByteArrayView(digits).sliced(2));
    } else if (digits.size() == 2 || digits.size() == 1) {
        hours = ToInt(digits);
    } else {
        return std::nullopt;
    }
    if (hours > 23 || minutes > 59)
        return std::nullopt;
    const int total = hours * 60 + minutes;
    return token[0] == '-' ? -total : total;
}

// "hh:mm" or "hh:mm:ss"; a leap second 60 is shown as 59.
std::optional<QTime> ParseTime(QByteArrayView token)
{
    int parts[3] = {0, 0, 0};
    int count = 0;
    qsizetype start = 0;
    for (qsizetype i = 0; i <= token.size(); ++i) {
        if (i == token.size() || token[i] == ':' || token[i] == '.') {
            const QByteArrayView part = token.sliced(start, i - start);
            if (count == 3 || !AllDigits(part) || part.size() > 2)
                return std::nullopt;
            parts[count++] = ToInt(part);
            start = i + 1;
        }
    }
    if (count < 2)
        return std::nullopt;
    if (parts[2] == 60)
        parts[2] = 59;
    QTime time(parts[0], parts[1], parts[2]);
    if (!time.isValid())
        return std::nullopt;
    return time;
}

// Splits the value into words at blanks and commas, with comments removed. A word like
// "07-Sep-2001" or "2001-09-07" is split at its dashes; a time with a zone glued to it
// ("10:20:30+0300") is split before the sign. Words are short: kept in place, a date's words
// need no allocation (a listing reads tens of thousands of dates).
using TDateWords = QVarLengthArray<std::string, 12>;

TDateWords Tokenize(QByteArrayView value)
{
    TDateWords words;
    std::string current;
    int commentDepth = 0;
    auto push = [&]() {
        if (current.empty())
            return;
        const bool hasTime = current.find(':') != std::string::npos;
        if (!hasTime && current.size() > 1 && current[0] != '+' && current[0] != '-'
            && current.find('-') != std::string::npos) {
            std::string part;
            for (char c : current) {
                if (c != '-') {
                    part += c;
                } else if (!part.empty()) {
                    words.append(std::move(part));
                    part.clear();
                }
            }
            if (!part.empty())
                words.append(std::move(part));
        } else if (hasTime) {
            qsizetype sign = -1;
            for (qsizetype i = 1; i < qsizetype(current.size()) && sign < 0; ++i) {
                if (current[i] == '+' || current[i] == '-')
                    sign = i;
            }
            if (sign > 0) {
                words.append(current.substr(0, sign));
                words.append(current.substr(sign));
            } else {
                words.append(current);
            }
        } else {
            words.append(current);
        }
        current.clear();
    };
    for (char c : value) {
        if (c == '(') {
            push();
            ++commentDepth;
        } else if (c == ')') {
            if (commentDepth > 0)
                --commentDepth;
        } else if (commentDepth > 0) {
            continue;
        } else if (c == ' ' || c == '\t' || c == ',' || c == '\r' || c == '\n') {
            push();
        } else {
            current += c;
        }
    }
    push();
    return words;
}

// The parts of a date as its words are read, in whatever order the header has them.
struct TDateParts {
    int Day = 0;
    int Month = 0;
    int Year = -1;
    int YearDigits = 0;
    bool YearFirst = false;
    std::optional<QTime> Time;
    std::optional<int> Zone;  // minutes east of UTC

    // Takes one word; false when it is a time that cannot be read, which spoils the whole date.
    bool Read(QByteArrayView word)
    {
        if (AllDigits(word)) {
            ReadNumber(word);
        } else if (word[0] == '+' || word[0] == '-') {
            if (!Zone)
                Zone = NumericZoneMinutes(word);
        } else if (word.contains(':')) {
            if (!Time)
                Time = ParseTime(word);
            return Time.has_value();
        } else if (const int m = MonthNumber(word); m > 0 && Month == 0) {
            Month = m;
        } else if (!IsDayName(word)) {
            ReadZoneName(word);
        }
        return true;
    }

    void ReadNumber(QByteArrayView word)
    {
        if (Year < 0 && Day == 0 && Month == 0 && word.size() >= 4) {
            Year = ToInt(word);  // year first: 2001-09-07
            YearDigits = int(word.size());
            YearFirst = true;
        } else if (YearFirst && Month == 0) {
            Month = ToInt(word);
        } else if (Day == 0) {
            Day = ToInt(word);
        } else if (Year < 0) {
            Year = ToInt(word);
            YearDigits = int(word.size());
        }
    }

    void ReadZoneName(QByteArrayView word)
    {
        if (Zone)
            return;
        if (AllLetters(word)) {
            // RFC 5322 §4.3: other zone names, military letters included, mean an unknown zone.
            Zone = NamedZoneMinutes(word).value_or(0);
        } else if (word.size() > 3 && (word.startsWith("GMT") || word.startsWith("UTC"))) {
            Zone = NumericZoneMinutes(word.sliced(3));
        }
    }

    // The moment in UTC; invalid when a part is missing or out of range.
    QDateTime ToUtc() const
    {
        if (Year < 0 || Month < 1 || Month > 12 || Day < 1)
            return {};
        int year = Year;
        if (YearDigits <= 2)
            year += year < 80 ? 2000 : 1900;
        else if (YearDigits == 3)
            year += 1900;  // RFC 5322 §4.3: three-digit years count from 1900
        const QDate date(year, Month, Day);
        if (!date.isValid())
            return {};
        // The wall-clock time read as UTC, moved by the zone's offset: the same moment as a time
        // in that zone, without the zone data a QDateTime in an offset would allocate.
        const qint64 offsetSeconds = qint64{Zone.value_or(0)} * 60;
        QDateTime moment = QDateTime(date, Time.value_or(QTime(0, 0)), Qt::UTC).addSecs(-offsetSeconds);
        if (!moment.isValid())
            return {};
        return moment;
    }
};

}  // namespace

QDateTime HeaderToLocalDateTime(QByteArrayView value)
{
    return ToLocalTime(HeaderToUtcDateTime(value));
}

QDateTime HeaderToUtcDateTime(QByteArrayView value)
{
    TDateParts parts;
    for (const std::string& text : Tokenize(value)) {
        if (!parts.Read(QByteArrayView(text.data(), qsizetype(text.size()))))
            return {};
    }
    return parts.ToUtc();
}

namespace {

// The system time zone of this thread, loaded once and again only when the TZ environment
// value changes or a minute has passed (in case the system's zone was changed), and the span of
// time around the last moment asked for in which the zone's offset stays the same.
struct TZoneCache {
    bool Loaded = false;
    bool TzSet = false;
    std::string Tz;
    QDeadlineTimer Expires;
    QTimeZone Zone;
    // [SpanFrom, SpanUntil) in milliseconds since the epoch, where the offset is SpanOffset.
    bool HasSpan = false;
    qint64 SpanFrom = 0;
    qint64 SpanUntil = 0;
    int SpanOffset = 0;
};

TZoneCache& CurrentZone()
{
    thread_local TZoneCache cache;
    const char* tz = std::getenv("TZ");
    const bool tzSet = tz != nullptr;
    if (!cache.Loaded || cache.TzSet != tzSet || (tzSet && cache.Tz != tz) || cache.Expires.hasExpired()) {
        cache.Loaded = true;
        cache.TzSet = tzSet;
        cache.Tz = tzSet ? tz : "";
        cache.Expires = QDeadlineTimer(60'000);
        // An empty TZ means UTC to the C library, while the system zone would be read instead.
        cache.Zone = tzSet && *tz == '\0' ? QTimeZone::utc() : QTimeZone::systemTimeZone();
        cache.HasSpan = false;
    }
    return cache;
}

}  // namespace

QDateTime ToLocalTime(const QDateTime& moment)
{
    // Before 1970 Qt's own local time and its time zones disagree on daylight saving under some
    // POSIX TZ rules; those rare dates keep the slow path so the result never changes.
    if (!moment.isValid() || moment.toMSecsSinceEpoch() < 0)
        return moment.toLocalTime();
    const TZoneCache& cache = CurrentZone();
    if (!cache.Zone.isValid())
        return moment.toLocalTime();
    return moment.toTimeZone(cache.Zone);
}

TLocalDateTime LocalDateAndTime(const QDateTime& moment)
{
    if (!moment.isValid())
        return {};
    const qint64 msecs = moment.toMSecsSinceEpoch();
    const auto slow = [&moment]() -> TLocalDateTime {
        const QDateTime local = ToLocalTime(moment);
        return {local.date(), local.time()};
    };
    if (msecs < 0)
        return slow();
    TZoneCache& cache = CurrentZone();
    if (!cache.Zone.isValid())
        return slow();
    if (!cache.HasSpan || msecs < cache.SpanFrom || msecs >= cache.SpanUntil) {
        // The offset holds from the zone's last change before the moment (when that change set
        // this offset; a change exactly at the moment did not) up to its next change after it.
        const int offset = cache.Zone.offsetFromUtc(moment);
        const QTimeZone::OffsetData previous = cache.Zone.previousTransition(moment);
        const QTimeZone::OffsetData next = cache.Zone.nextTransition(moment);
        cache.SpanFrom = !previous.atUtc.isValid() ? 0
            : previous.offsetFromUtc == offset     ? previous.atUtc.toMSecsSinceEpoch()
                                                   : msecs;
        cache.SpanUntil = next.atUtc.isValid() ? next.atUtc.toMSecsSinceEpoch() : std::numeric_limits<qint64>::max();
        cache.SpanOffset = offset;
        cache.HasSpan = true;
    }
    // The local moment split into its day and the time of that day by hand: a QDateTime works
    // out the calendar date for each part asked of it.
    constexpr qint64 kMSecsPerDay = 24 * 60 * 60 * 1000;
    constexpr qint64 kJulianDayOfEpoch = 2440588;  // 1970-01-01
    const qint64 local = msecs + qint64(cache.SpanOffset) * 1000;
    const qint64 day = local >= 0 ? local / kMSecsPerDay : (local - kMSecsPerDay + 1) / kMSecsPerDay;
    return {QDate::fromJulianDay(kJulianDayOfEpoch + day), QTime::fromMSecsSinceStartOfDay(int(local - day * kMSecsPerDay))};
}

}  // namespace brevio
