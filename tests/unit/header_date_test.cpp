#include "mime/header_date.h"

#include "support/qt_printers.h"

#include <QTimeZone>

#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>
#include <random>

using namespace brevio;

namespace {

// Runs every case in Central European time (UTC+1, daylight saving UTC+2 from the last Sunday
// of March to the last Sunday of October), given as a POSIX rule so no zone database is needed.
class HeaderDate : public ::testing::Test {
protected:
    void SetUp() override
    {
        savedTz_ = qgetenv("TZ");
        hadTz_ = qEnvironmentVariableIsSet("TZ");
        qputenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3");
        tzset();
    }
    void TearDown() override
    {
        if (hadTz_)
            qputenv("TZ", savedTz_);
        else
            qunsetenv("TZ");
        tzset();
    }

private:
    QByteArray savedTz_;
    bool hadTz_ = false;
};

QDateTime Local(int y, int mo, int d, int h, int mi, int s)
{
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s), Qt::LocalTime);
}

}  // namespace

TEST_F(HeaderDate, ConvertsToLocalTimeWithTheRulesOfThatDate)
{
    const struct {
        const char* header;
        QDateTime local;
    } cases[] = {
        {"Fri, 7 Sep 2001 10:20:30 +0300", Local(2001, 9, 7, 9, 20, 30)},    // summer: UTC+2
        {"Wed, 10 Jan 2001 10:20:30 +0300", Local(2001, 1, 10, 8, 20, 30)},  // winter: UTC+1
        {"Sun, 25 Mar 2001 00:30:00 +0000", Local(2001, 3, 25, 1, 30, 0)},   // just before the change
        {"Sun, 25 Mar 2001 01:30:00 +0000", Local(2001, 3, 25, 3, 30, 0)},   // just after it
        {"Fri, 7 Sep 2001 10:20:30 -0430", Local(2001, 9, 7, 16, 50, 30)},
        {"Fri, 7 Sep 2001 10:20:30 +03:00", Local(2001, 9, 7, 9, 20, 30)},
        {"07-Sep-2001 10:20:30 GMT", Local(2001, 9, 7, 12, 20, 30)},
        {"Fri, 7 Sep 2001 10:20:30 UT", Local(2001, 9, 7, 12, 20, 30)},
        {"Fri, 7 Sep 2001 10:20:30 Z", Local(2001, 9, 7, 12, 20, 30)},
        {"Fri, 7 Sep 2001 10:20:30 EDT", Local(2001, 9, 7, 16, 20, 30)},
        {"Mon, 15 Jan 2001 10:00:00 EST", Local(2001, 1, 15, 16, 0, 0)},
        {"Mon, 15 Jan 2001 10:00:00 CST", Local(2001, 1, 15, 17, 0, 0)},
        {"Fri, 7 Sep 2001 10:20:30 CDT", Local(2001, 9, 7, 17, 20, 30)},
        {"Mon, 15 Jan 2001 10:00:00 MST", Local(2001, 1, 15, 18, 0, 0)},
        {"Fri, 7 Sep 2001 10:20:30 MDT", Local(2001, 9, 7, 18, 20, 30)},
        {"Mon, 15 Jan 2001 10:00:00 PST", Local(2001, 1, 15, 19, 0, 0)},
        {"Fri, 7 Sep 2001 10:20:30 PDT", Local(2001, 9, 7, 19, 20, 30)},
        {"Fri, 7 Sep 2001 10:20:30 XYZ", Local(2001, 9, 7, 12, 20, 30)},  // unknown zone: UTC
        {"Fri, 7 Sep 2001 10:20:30", Local(2001, 9, 7, 12, 20, 30)},      // no zone: UTC
        {"Fri, 07 Sep 2001 10:20:30 -0700 (PDT)", Local(2001, 9, 7, 19, 20, 30)},
        {"7 Sep 2001 10:20 +0000", Local(2001, 9, 7, 12, 20, 0)},  // no day name, no seconds
        {"Fri,7 Sep 01 10:20:30 +0000", Local(2001, 9, 7, 12, 20, 30)},
        {"fri, 7 sep 2001 10:20:30 +0000", Local(2001, 9, 7, 12, 20, 30)},
        {"Friday, 7 September 2001 10:20:30 +0000", Local(2001, 9, 7, 12, 20, 30)},
        {"Fri Sep  7 10:20:30 2001", Local(2001, 9, 7, 12, 20, 30)},  // asctime form
        {"2001-09-07 10:20:30 +0300", Local(2001, 9, 7, 9, 20, 30)},
        {"Fri, 7 Sep 2001 10:20:30+0300", Local(2001, 9, 7, 9, 20, 30)},
        {"Fri, 7 Sep 2001 23:59:60 +0000", Local(2001, 9, 8, 1, 59, 59)},  // leap second
        {"Sat, 1 Jan 79 00:00:00 +0000", Local(2079, 1, 1, 1, 0, 0)},
        {"Tue, 1 Jan 80 00:00:00 +0000", Local(1980, 1, 1, 1, 0, 0)},
        {"1 Jan 101 00:00:00 +0000", Local(2001, 1, 1, 1, 0, 0)},
        {"Fri, 7 Sep 2001", Local(2001, 9, 7, 2, 0, 0)},
    };
    for (const auto& c : cases) {
        // The same moment, and the same wall-clock date and time a row shows.
        const QDateTime got = HeaderToLocalDateTime(c.header);
        EXPECT_EQ(got, c.local) << c.header;
        EXPECT_EQ(got.toString(u"yyyy-MM-dd HH:mm:ss"), c.local.toString(u"yyyy-MM-dd HH:mm:ss")) << c.header;
    }
}

// Local time follows TZ when it changes while the program runs, the conversions before included.
TEST_F(HeaderDate, FollowsAChangedTimeZone)
{
    const struct {
        const char* tz;
        const char* local;
    } cases[] = {
        {"UTC0", "2001-09-07 07:20:30"},
        {"EST5EDT,M3.2.0,M11.1.0", "2001-09-07 03:20:30"},
        {"", "2001-09-07 07:20:30"},  // empty: UTC
        {"CET-1CEST,M3.5.0,M10.5.0/3", "2001-09-07 09:20:30"},
    };
    for (const auto& c : cases) {
        qputenv("TZ", c.tz);
        tzset();
        const QDateTime got = HeaderToLocalDateTime("Fri, 7 Sep 2001 10:20:30 +0300");
        EXPECT_EQ(got.toString(u"yyyy-MM-dd HH:mm:ss"), QString::fromLatin1(c.local)) << c.tz;
        EXPECT_EQ(ToLocalTime(got).toString(u"yyyy-MM-dd HH:mm:ss"), QString::fromLatin1(c.local)) << c.tz;
    }
}

TEST_F(HeaderDate, BrokenDatesGiveNoDate)
{
    const char* cases[] = {
        "",
        "garbage",
        "Fri, 31 Apr 2001 10:00:00 +0000",  // no such day
        "Fri, 7 Sep 2001 24:00:00 +0000",
        "Fri, 7 Sep 2001 10:61:00 +0000",
        "Fri, 7 Foo 2001 10:00:00 +0000",
        "Fri, 7 Sep 10:20:30 +0000",     // no year
        "Fri, Sep 2001 10:20:30 +0000",  // no day
        "Fri, 7 Sep 2001 10:x:30 +0000",
        "Fri, 7 Sep 2001 99999999999999:00 +0000",
    };
    for (const char* header : cases)
        EXPECT_FALSE(HeaderToLocalDateTime(header).isValid()) << header;
}

// The quick local date and time of a listing agree with the full conversion for moments on
// either side of every change of offset, in any order (the kept span must never outlive a
// change), in zones east and west, in the southern half and with a half-hour shift.
TEST_F(HeaderDate, QuickLocalDateAndTimeAgreeAroundEveryChange)
{
    const char* zones[] = {
        "CET-1CEST,M3.5.0,M10.5.0/3",
        "EST5EDT,M3.2.0,M11.1.0",
        "<+1030>-10:30<+11>-11,M10.1.0,M4.1.0",
        "UTC0",
        "Europe/Moscow",  // from the zone database when present: changes of rule over the years
    };
    for (const char* zone : zones) {
        qputenv("TZ", zone);
        tzset();
        const QDateTime from(QDate(1970, 1, 2), QTime(0, 0), Qt::UTC);
        const QDateTime to(QDate(2040, 1, 1), QTime(0, 0), Qt::UTC);
        QList<qint64> moments{from.toMSecsSinceEpoch(), to.toMSecsSinceEpoch(), -86'400'000};
        for (const QTimeZone::OffsetData& change : QTimeZone::systemTimeZone().transitions(from, to)) {
            const qint64 at = change.atUtc.toMSecsSinceEpoch();
            for (qint64 delta : {-3'600'000LL, -1LL, 0LL, 1LL, 3'600'000LL})
                moments.append(at + delta);
        }
        // A fixed shuffle: forwards, backwards and jumps.
        std::mt19937 random(7);
        std::shuffle(moments.begin(), moments.end(), random);
        for (qint64 msecs : std::as_const(moments)) {
            const QDateTime moment = QDateTime::fromMSecsSinceEpoch(msecs, Qt::UTC);
            const QDateTime expected = ToLocalTime(moment);
            const TLocalDateTime got = LocalDateAndTime(moment);
            EXPECT_EQ(got.Date, expected.date()) << zone << ' ' << msecs;
            EXPECT_EQ(got.Time, expected.time()) << zone << ' ' << msecs;
        }
    }
    EXPECT_FALSE(LocalDateAndTime(QDateTime()).Date.isValid());
}
