// Orlix::Infra::CTime: clamping, conversions against the C library, arithmetic, comparison,
// time zones and the current-time readings.
#include "infra/time.h"

#include "infra3/clock.h"
#include "platform/time.h"
#include "time/zones.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <ctime>
#include <random>
#include <string>

using Orlix::int64;
using Orlix::uint64;
using Orlix::Infra::CTime;
using Orlix::Infra::SystemTime;

namespace {

// The first second of 2039: every normalised CTime lies before it.
const int64 kEndOfRange = 2177452800;

std::string show(const SystemTime& t)
{
    char text[80];
    std::snprintf(text, sizeof(text), "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day,
                  t.hour, t.minute, t.second);
    return text;
}

std::string show(const std::tm& tm)
{
    char text[80];
    std::snprintf(text, sizeof(text), "%04d-%02d-%02d %02d:%02d:%02d", tm.tm_year + 1900,
                  tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
    return text;
}

std::tm utc(int64 seconds)
{
    const time_t t = static_cast<time_t>(seconds);
    std::tm tm{};
    gmtime_r(&t, &tm);
    return tm;
}

CTime fromTm(const std::tm& tm)
{
    return CTime(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
}

// Instants spread over the whole range, plus the ones around leap days and year ends where an
// off-by-one would show.
std::vector<int64> instants(int count)
{
    std::vector<int64> all = {0,          59,         86399,      86400,      68169599,
                              68169600,   68256000,   951782399,  951782400,  951868800,
                              978307199,  1456703999, 1456704000, 1456790400, 2147483647,
                              2145916800, kEndOfRange - 1};
    std::mt19937_64 random(20160307);
    std::uniform_int_distribution<int64> pick(0, kEndOfRange - 1);
    while (static_cast<int>(all.size()) < count)
        all.push_back(pick(random));
    return all;
}

} // namespace

TEST(CTimeClamp, OutOfRangeFieldsAreClampedNotRolledOver)
{
    EXPECT_EQ(show(CTime(2016, 2, 30, 25, 0, 0)), "2016-02-28 23:59:59");
    EXPECT_EQ(show(CTime(2016, 2, 29, 0, 0, 0)), "2016-02-29 00:00:00");
    EXPECT_EQ(show(CTime(2015, 2, 29, 0, 0, 0)), "2015-02-28 00:00:00");
    EXPECT_EQ(show(CTime(2000, 2, 29, 0, 0, 0)), "2000-02-29 00:00:00"); // divisible by 400
    EXPECT_EQ(show(CTime(2016, 2, 31, 0, 0, 0)), "2016-02-28 00:00:00"); // only the 29th stays
    EXPECT_EQ(show(CTime(2038, 2, 29, 0, 0, 0)), "2038-02-28 00:00:00");
    EXPECT_EQ(show(CTime(2016, 4, 31, 12, 60, 99)), "2016-04-30 12:59:59");
    EXPECT_EQ(show(CTime(2039, 13, 32, 24, 0, 0)), "2038-12-31 23:59:59");
    EXPECT_EQ(show(CTime(2016, 6, 15, 24, -5, -5)), "2016-06-15 23:59:59");

    const CTime low(1969, 0, 0, -1, -1, -1);
    EXPECT_EQ(show(low), "1970-01-01 00:00:00");
    EXPECT_EQ(low.wday, 4); // a Thursday
}

TEST(CTimeClamp, MakeTimeClampsFieldsSetDirectly)
{
    CTime::disableTimezone();
    CTime t(2016, 1, 1, 0, 0, 0);
    t.day = 40; // only makeTime's private copy is clamped
    EXPECT_EQ(t.makeTime(), CTime(2016, 1, 31, 0, 0, 0).makeTime());
    EXPECT_EQ(t.day, 40);
}

TEST(CTimeConversion, ZoneFreeExamples)
{
    CTime::disableTimezone();
    EXPECT_EQ(CTime(1970, 1, 2, 0, 0, 0).makeTime(), 86400u);
    CTime t;
    t.breakTime(951782400);
    EXPECT_EQ(show(t), "2000-02-29 00:00:00");
    EXPECT_EQ(t.wday, 2);
}

TEST(CTimeConversion, ZoneFreeConversionsAgreeWithTimegmAndGmtime)
{
    CTime::disableTimezone();
    for (const int64 seconds : instants(20000)) {
        const std::tm expected = utc(seconds);
        const CTime broken(static_cast<uint64>(seconds));
        ASSERT_EQ(show(broken), show(expected)) << seconds;
        ASSERT_EQ(broken.wday, expected.tm_wday) << seconds;

        const CTime built = fromTm(expected);
        ASSERT_EQ(static_cast<int64>(built.makeTime()), seconds) << show(expected);
        ASSERT_EQ(built.wday, expected.tm_wday) << show(expected);
    }
}

TEST(CTimeConversion, BreakTimeDoesNotClampBeyond2038)
{
    CTime::disableTimezone();
    const int64 y2100 = 4102444800; // 2100-01-01, still inside the simplified leap rule's reach
    CTime t(static_cast<uint64>(y2100 - 1));
    EXPECT_EQ(show(t), "2099-12-31 23:59:59");
}

TEST(CTimeZone, SwitchOnAppliesTheStandardOffsetOnly)
{
    OrlixTest::useZone("XST5"); // five hours west of Greenwich, no daylight saving
    EXPECT_EQ(CTime(1970, 1, 1, 0, 0, 0).makeTime(), 5u * 3600);
    EXPECT_EQ(show(CTime(uint64{5 * 3600})), "1970-01-01 00:00:00");

    // With daylight saving, the summer offset still is the standard one.
    OrlixTest::useDaylightSavingZone();
    std::tm summer{};
    summer.tm_year = 116;
    summer.tm_mon = 6;
    summer.tm_mday = 1;
    summer.tm_hour = 12;
    const int64 asUtc = timegm(&summer);
    EXPECT_EQ(static_cast<int64>(CTime(2016, 7, 1, 12, 0, 0).makeTime()), asUtc - 3600);
    EXPECT_EQ(show(CTime(static_cast<uint64>(asUtc))), "2016-07-01 13:00:00");

    CTime::disableTimezone();
    EXPECT_EQ(static_cast<int64>(CTime(2016, 7, 1, 12, 0, 0).makeTime()), asUtc);
}

TEST(CTimeZone, LocalMidnightOf1970EastOfGreenwichRoundTrips)
{
    OrlixTest::useZone("XST-8");
    const uint64 seconds = CTime(1970, 1, 1, 0, 0, 0).makeTime();
    EXPECT_EQ(static_cast<int64>(seconds), -8 * 3600); // wrapped below zero
    EXPECT_EQ(show(CTime(seconds)), "1970-01-01 00:00:00");
}

TEST(CTimeArithmetic, AgreesWithSecondsWhateverTheZone)
{
    OrlixTest::useDaylightSavingZone(); // the switch stays on: arithmetic must ignore it
    EXPECT_EQ(show(CTime(2016, 12, 31, 23, 59, 59) + 1), "2017-01-01 00:00:00");
    EXPECT_EQ(show(CTime(2016, 3, 1, 0, 0, 0) - 1), "2016-02-29 23:59:59");

    std::mt19937_64 random(7);
    std::uniform_int_distribution<int64> pick(0, kEndOfRange - 1);
    for (int i = 0; i < 5000; ++i) {
        const int64 a = pick(random);
        const int64 b = pick(random);
        const CTime ta = fromTm(utc(a));
        const CTime tb = fromTm(utc(b));
        ASSERT_EQ(ta - tb, a - b);
        ASSERT_EQ(show(ta + (b - a)), show(utc(b)));
        ASSERT_EQ(show(ta - (a - b)), show(utc(b)));
        CTime moved = ta;
        moved += b - a;
        ASSERT_EQ(moved, tb);
        moved -= b - a;
        ASSERT_EQ(moved, ta);
        ASSERT_EQ((ta + (b - a)).wday, utc(b).tm_wday);
    }
}

TEST(CTimeComparison, OrdersLikeTheInstantsAndIgnoresWeekday)
{
    std::mt19937_64 random(11);
    std::uniform_int_distribution<int64> pick(0, kEndOfRange - 1);
    for (int i = 0; i < 5000; ++i) {
        const int64 a = pick(random);
        const int64 b = (i % 4 == 0) ? a : pick(random);
        const CTime ta = fromTm(utc(a));
        const CTime tb = fromTm(utc(b));
        ASSERT_EQ(ta == tb, a == b);
        ASSERT_EQ(ta != tb, a != b);
        ASSERT_EQ(ta < tb, a < b);
        ASSERT_EQ(ta > tb, a > b);
        ASSERT_EQ(ta <= tb, a <= b);
        ASSERT_EQ(ta >= tb, a >= b);
    }

    CTime a(2016, 3, 7, 9, 5, 2);
    CTime b = a;
    b.wday = 6;
    b.reserved = 99;
    EXPECT_TRUE(a == b);
    // Raw fields compare as signed numbers, most significant first.
    b.year = -1;
    b.month = 99;
    EXPECT_TRUE(b < a);
}

TEST(CTimeNow, WallClockReadingsLieBetweenTheCLibrarysReadings)
{
    const time_t before = time(nullptr);
    const uint64 utcNow = CTime::getCurrentUTCtime();
    const uint64 utcMs = CTime::getCurrentUTCMilliSecond();
    const time_t after = time(nullptr);
    EXPECT_GE(utcNow, static_cast<uint64>(before));
    EXPECT_LE(utcNow, static_cast<uint64>(after));
    EXPECT_GE(utcMs, static_cast<uint64>(before) * 1000);
    EXPECT_LT(utcMs, static_cast<uint64>(after + 1) * 1000);

    OrlixTest::useDaylightSavingZone();
    CTime::disableTimezone(); // local fields taken as UTC: comparable with timegm(localtime)
    std::tm tm{};
    const time_t t0 = time(nullptr);
    localtime_r(&t0, &tm);
    const int64 low = timegm(&tm);
    const CTime local = CTime::getCurrentTime();
    const Orlix::Infra::SystemTimeEx ex = CTime::getCurrentTimeEx();
    const time_t t1 = time(nullptr);
    localtime_r(&t1, &tm);
    const int64 high = timegm(&tm);
    EXPECT_GE(static_cast<int64>(local.makeTime()), low);
    EXPECT_LE(static_cast<int64>(local.makeTime()), high);
    const int64 exSeconds =
        static_cast<int64>(CTime(ex.year, ex.month, ex.day, ex.hour, ex.minute, ex.second).makeTime());
    EXPECT_GE(exSeconds, low);
    EXPECT_LE(exSeconds, high);
    EXPECT_EQ(ex.wday, CTime(ex.year, ex.month, ex.day, 0, 0, 0).wday);
    EXPECT_GE(ex.millisecond, 0);
    EXPECT_LE(ex.millisecond, 999);
    for (int r : ex.reserved)
        EXPECT_EQ(r, 0);
}

TEST(CTimeNow, PrintTimeIsTheLocalTimeThePrintPrefixReads)
{
    // Retry until both readings fall into the same second.
    for (int attempt = 0; attempt < 100; ++attempt) {
        const Orlix::Platform::CalendarReading before = Orlix::Platform::localTime();
        const CTime forPrint = CTime::getCurTimeForPrint();
        const Orlix::Platform::CalendarReading after = Orlix::Platform::localTime();
        if (before.second != after.second)
            continue;
        EXPECT_EQ(forPrint.hour, before.hour);
        EXPECT_EQ(forPrint.minute, before.minute);
        EXPECT_EQ(forPrint.second, before.second);
        EXPECT_EQ(forPrint.day, before.day);
        return;
    }
    FAIL() << "the second kept changing";
}

TEST(CTimeNow, MonotonicClocksMoveTogetherAndNeverBack)
{
    uint64 previous = CTime::getCurrentMilliSecond();
    for (int i = 0; i < 1000; ++i) {
        const uint64 ms = CTime::getCurrentMilliSecond();
        const uint64 us = CTime::getCurrentMicroSecond();
        const uint64 later = CTime::getCurrentMilliSecond();
        ASSERT_GE(ms, previous);
        ASSERT_GE(us / 1000, ms);
        ASSERT_GE(later, us / 1000);
        previous = later;
    }
    Orlix::Infra::Detail::advanceClockForTesting(60000);
    EXPECT_GE(CTime::getCurrentMilliSecond(), previous + 60000);
    EXPECT_GE(CTime::getCurrentMicroSecond() / 1000, previous + 60000);
}

TEST(CTimeConstants, BoundsOfTheSetter)
{
    EXPECT_EQ(show(CTime::minTime), "2000-01-01 00:00:00");
    EXPECT_EQ(show(CTime::maxTime), "2038-01-01 00:00:00");
    EXPECT_EQ(CTime::minTime.wday, CTime(2000, 1, 1, 0, 0, 0).wday);
    EXPECT_EQ(CTime::maxTime.wday, CTime(2038, 1, 1, 0, 0, 0).wday);
}
