// Usage counters in section "Stats".
#include "settings/ini_file.h"
#include "stats/usage_stats.h"
#include "support/temp_files.h"

#include <gtest/gtest.h>

namespace brevio {
namespace {

using test::TempFolder;

qint64 Value(const TUsageStats& stats, const char* name)
{
    auto* counter = dynamic_cast<TIntegerCounter*>(stats.FindCounter(name));
    return counter ? counter->FValue : -1;
}

TEST(UsageStats, FirstStart)
{
    TempFolder folder;
    {
        TUsageStats stats(folder.Path("s.ini"));
        EXPECT_EQ(stats.Count(), 0);
        stats.RegisterStandardCounters();
        EXPECT_TRUE(stats.IncrementIntegerCounter("Start", 1));
        EXPECT_EQ(stats.Count(), 6);
        EXPECT_FALSE(stats.IsDue());
    }
    TveqIniFile ini(folder.Path("s.ini"));
    EXPECT_EQ(ini.ReadInteger("Stats", "Count", 0), 6);
    EXPECT_EQ(ini.ReadString("Stats", "FCounterName0", {}), "Start");
    EXPECT_EQ(ini.ReadInteger("Stats", "FValue0", 0), 1);
    EXPECT_EQ(ini.ReadInteger("Stats", "FBorderCondition5", 0), 1048576);
}

TEST(UsageStats, DueCheck)
{
    struct Case {
        const char* name;
        QByteArray stats;
        bool due;
    } cases[] = {
        {"start reaches its border", "Count=1\nCounterType0=0\nFValue0=99\nFCounterName0=Start\n", true},
        {"below every border", "Count=1\nCounterType0=0\nFValue0=98\nFCounterName0=Start\n", false},
        {"already shown", "Count=1\nFFeedbackDone=1\nCounterType0=0\nFValue0=500\nFCounterName0=Start\n", false},
        {"disposed bytes", "Count=1\nCounterType0=0\nFValue0=1048576\nFCounterName0=DisposedSize\n", true},
        {"disabled foreign counter",
         "Count=1\nCounterType0=0\nFValue0=5\nFBorderCondition0=1\nFCounterName0=X\nFEnabled0=0\n", false},
        {"enabled foreign real counter", "Count=1\nCounterType0=2\nFValue0=5\nFBorderCondition0=1\nFCounterName0=X\n",
         true},
    };
    for (const Case& c : cases) {
        TempFolder folder;
        TUsageStats stats(folder.Write("s.ini", "[Stats]\n" + c.stats));
        stats.RegisterStandardCounters();
        stats.IncrementIntegerCounter("Start", 1);
        EXPECT_EQ(stats.IsDue(), c.due) << c.name;
    }
}

TEST(UsageStats, RegistrationKeepsValuesOnly)
{
    TempFolder folder;
    folder.Write("s.ini",
                 "[Stats]\nCount=3\nCounterType0=0\nFValue0=42\nFBorderCondition0=1\nFCounterName0=Start\n"
                 "FCounterDescription0=old\nFEnabled0=0\nCounterType1=7\nFCounterName1=Bad\n"
                 "CounterType2=1\nFValue2=5000000000\nFCounterName2=MessageDeleted\n");
    TUsageStats stats(folder.Path("s.ini"));
    EXPECT_EQ(stats.Count(), 2);  // the entry of unknown kind is dropped
    stats.RegisterStandardCounters();
    const TBaseCounter* start = stats.FindCounter("Start");
    EXPECT_EQ(Value(stats, "Start"), 42);
    EXPECT_TRUE(start->FEnabled);
    EXPECT_EQ(start->FCounterDescription, "You run Brevio %d times");
    EXPECT_EQ(start->GetText(), "You run Brevio 42 times");
    // A stored counter of the 64-bit kind under a registered name becomes an integer counter.
    EXPECT_EQ(stats.FindCounter("MessageDeleted")->Kind(), TBaseCounter::IntegerKind);
    EXPECT_EQ(Value(stats, "MessageDeleted"), Q_INT64_C(5000000000));
    EXPECT_EQ(stats.FindCounter("start"), nullptr);  // names compare with case
    EXPECT_FALSE(stats.IncrementIntegerCounter("Unknown", 1));
}

TEST(UsageStats, LargeValuesSurviveAndSaturate)
{
    TempFolder folder;
    {
        TUsageStats stats(folder.Path("s.ini"));
        stats.RegisterStandardCounters();
        stats.IncrementIntegerCounter("DisposedSize", 2147483647);
        stats.IncrementIntegerCounter("DisposedSize", 2147483647);
        stats.IncrementIntegerCounter("MessageDeleted", std::numeric_limits<qint64>::max());
        stats.IncrementIntegerCounter("MessageDeleted", 10);
    }
    TUsageStats stats(folder.Path("s.ini"));
    EXPECT_EQ(Value(stats, "DisposedSize"), Q_INT64_C(4294967294));
    EXPECT_EQ(Value(stats, "MessageDeleted"), std::numeric_limits<qint64>::max());
    EXPECT_EQ(TveqIniFile(folder.Path("s.ini")).ReadString("Stats", "FValue5", {}), "4294967294");
}

TEST(UsageStats, FeedbackFlagAndRealCountersRoundTrip)
{
    TempFolder folder;
    folder.Write("s.ini",
                 "[Stats]\nCount=1\nCounterType0=2\nFValue0=2.5\nFBorderCondition0=10\nFCounterName0=R\n"
                 "FCounterDescription0=Value %.1f units\n");
    {
        TUsageStats stats(folder.Path("s.ini"));
        stats.FFeedbackDone = true;
    }
    TUsageStats stats(folder.Path("s.ini"));
    EXPECT_TRUE(stats.FFeedbackDone);
    auto* real = dynamic_cast<TRealCounter*>(stats.FindCounter("R"));
    ASSERT_NE(real, nullptr);
    EXPECT_DOUBLE_EQ(real->FValue, 2.5);
    EXPECT_DOUBLE_EQ(real->FBorderCondition, 10);
}

TEST(UsageStats, CounterTextFormat)
{
    struct Case {
        QString format, value, expected;
    } cases[] = {
        {"You run Brevio %d times", "3", "You run Brevio 3 times"},
        {"%d of %d", "1", "1 of %d"},
        {"100%% sure: %s", "x", "100% sure: x"},
        {"%5.2f", "1.5", "1.5"},
        {"no placeholder", "1", "no placeholder"},
        {"trailing %", "1", "trailing %"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FormatCounterText(c.format, c.value), c.expected) << c.format.toStdString();
}

}  // namespace
}  // namespace brevio
