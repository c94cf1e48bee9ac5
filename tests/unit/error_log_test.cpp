// The in-memory error log.
#include "support/error_log.h"

#include <gtest/gtest.h>

namespace brevio {
namespace {

TEST(ErrorLog, NewestFirstWithHoursAndMinutes)
{
    TErrorLog log;
    EXPECT_TRUE(log.IsEmpty());
    log.Add("(pop.a) Connection refused", QTime(9, 5, 59));
    log.Add("(imap.b) 100% broken %1", QTime(9, 5, 1));
    log.Add("later", QTime(23, 0));
    EXPECT_EQ(log.Entries(),
              (QStringList{"23:00 - later", "09:05 - (imap.b) 100% broken %1", "09:05 - (pop.a) Connection refused"}));
    EXPECT_EQ(log.Count(), 3);
    EXPECT_TRUE(log.HasEntries());
    log.Clear();
    EXPECT_TRUE(log.IsEmpty());
    EXPECT_TRUE(log.Entries().isEmpty());
}

TEST(ErrorLog, CurrentTimeStamp)
{
    TErrorLog log;
    log.Add("x");
    const QString entry = log.Entries().value(0);
    EXPECT_TRUE(QTime::fromString(entry.left(5), "hh:mm").isValid()) << entry.toStdString();
    EXPECT_EQ(entry.mid(5), " - x");
}

}  // namespace
}  // namespace brevio
