// Orlix::Infra::CTime: clamping, conversions against the C library, arithmetic, comparison,
// time zones and the current-time readings.
#include "infra/time.h"

#include "infra3/clock.h"
#include "platform/time.h"
#include "time/timetest.h"

#include <gtest/gtest.h>

#include <ctime>
#include <random>
#include <vector>

using Orlix::int64;
using Orlix::uint64;
using Orlix::Infra::CTime;
using OrlixTest::show;

namespace {

const int64 kEndOfRange = 2177452800; // 2039-01-01: every normalised CTime lies before it

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

// Random instants over the whole range, after the ones around leap days and year ends where
// an off-by-one would show.
std::vector<int64> instants(int count, unsigned seed)
{
    std::vector<int64> all = {0,          86399,      68169599,   68169600,   68256000,
                              951782399,  951782400,  951868800,  978307199,  1456703999,
                              1456704000, 1456790400, 2147483647, 2145916800, kEndOfRange - 1};
    std::mt19937_64 random(seed);
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
    EXPECT_EQ(show(CTime(2016, 4, 31, 12, 60, 99)), "2016-04-30 12:59:59");
    EXPECT_EQ(show(CTime(2039, 13, 32, 24, 0, 0)), "2038-12-31 23:59:59");
    EXPECT_EQ(show(CTime(2016, 6, 15, 24, -5, -5)), "2016-06-15 23:59:59");
    const CTime low(1969, 0, 0, -1, -1, -1);
    EXPECT_EQ(show(low), "1970-01-01 00:00:00");
    EXPECT_EQ(low.wday, 4); // a Thursday
    EXPECT_EQ(show(CTime::minTime), "2000-01-01 00:00:00");
    EXPECT_EQ(show(CTime::maxTime), "2038-01-01 00:00:00");
    EXPECT_EQ(CTime::maxTime.wday, CTime(2038, 1, 1, 0, 0, 0).wday);

    // makeTime clamps a private copy of fields that were set directly.
    CTime::disableTimezone();
    CTime direct(2016, 1, 1, 0, 0, 0);
    direct.day = 40;
    EXPECT_EQ(direct.makeTime(), CTime(2016, 1, 31, 0, 0, 0).makeTime());
    EXPECT_EQ(direct.day, 40);
}

TEST(CTimeConversion, ZoneFreeConversionsAgreeWithTimegmAndGmtime)
{
    CTime::disableTimezone();
    for (const int64 seconds : instants(20000, 20160307)) {
        const std::tm expected = utc(seconds);
        const CTime broken(static_cast<uint64>(seconds));
        ASSERT_EQ(show(broken), show(expected)) << seconds;
        ASSERT_EQ(broken.wday, expected.tm_wday) << seconds;
        const CTime built = fromTm(expected);
        ASSERT_EQ(static_cast<int64>(built.makeTime()), seconds) << show(expected);
        ASSERT_EQ(built.wday, expected.tm_wday) << show(expected);
    }
    // breakTime does not clamp: seconds past 2038 give later years.
    EXPECT_EQ(show(CTime(uint64{4102444799})), "2099-12-31 23:59:59");
}

TEST(CTimeZone, SwitchOnAppliesTheStandardOffsetOnly)
{
    OrlixTest::useZone("XST5"); // five hours west of Greenwich, no daylight saving
    EXPECT_EQ(CTime(1970, 1, 1, 0, 0, 0).makeTime(), 5u * 3600);
    EXPECT_EQ(show(CTime(uint64{5 * 3600})), "1970-01-01 00:00:00");

    // East of Greenwich, local midnight of 1970 wraps below zero and breaks back.
    OrlixTest::useZone("XST-8");
    const uint64 wrapped = CTime(1970, 1, 1, 0, 0, 0).makeTime();
    EXPECT_EQ(static_cast<int64>(wrapped), -8 * 3600);
    EXPECT_EQ(show(CTime(wrapped)), "1970-01-01 00:00:00");

    // With daylight saving, summer still converts with the standard offset.
    OrlixTest::useDaylightSavingZone();
    std::tm summer{};
    summer.tm_year = 116, summer.tm_mon = 6, summer.tm_mday = 1, summer.tm_hour = 12;
    const int64 asUtc = timegm(&summer);
    EXPECT_EQ(static_cast<int64>(CTime(2016, 7, 1, 12, 0, 0).makeTime()), asUtc - 3600);
    EXPECT_EQ(show(CTime(static_cast<uint64>(asUtc))), "2016-07-01 13:00:00");

    CTime::disableTimezone();
    EXPECT_EQ(static_cast<int64>(CTime(2016, 7, 1, 12, 0, 0).makeTime()), asUtc);
}

TEST(CTimeArithmetic, ArithmeticAndComparisonFollowTheInstantsWhateverTheZone)
{
    OrlixTest::useDaylightSavingZone(); // the switch stays on: neither may use it
    // Below the range nothing is mapped back: the seconds are divided toward zero.
    EXPECT_EQ(show(CTime(1970, 1, 1, 0, 0, 0) - 1), "1970-01-01 00:00:-1");

    const std::vector<int64> a = instants(4000, 7);
    const std::vector<int64> b = instants(4000, 8);
    for (size_t i = 0; i < a.size(); ++i) {
        const int64 sa = a[i];
        const int64 sb = (i % 4 == 0) ? sa : b[i];
        const CTime ta = fromTm(utc(sa));
        const CTime tb = fromTm(utc(sb));
        ASSERT_EQ(ta - tb, sa - sb);
        ASSERT_EQ(show(ta + (sb - sa)), show(utc(sb)));
        ASSERT_EQ((ta - (sa - sb)).wday, utc(sb).tm_wday);
        CTime moved = ta;
        moved += sb - sa;
        ASSERT_TRUE(moved == tb);
        moved -= sb - sa;
        ASSERT_TRUE(moved == ta);
        ASSERT_EQ(std::vector<bool>({ta != tb, ta<tb, ta> tb, ta <= tb, ta >= tb}),
                  std::vector<bool>({sa != sb, sa<sb, sa> sb, sa <= sb, sa >= sb}));
    }

    // Weekday and reserved field take no part; raw fields compare as signed numbers.
    const CTime t(2016, 3, 7, 9, 5, 2);
    CTime other = t;
    other.wday = 6;
    other.reserved = 99;
    EXPECT_TRUE(t == other);
    other.year = -1;
    other.month = 99;
    EXPECT_TRUE(other < t);
}

TEST(CTimeNow, WallClockReadingsLieBetweenTheCLibrarysReadings)
{
    const time_t before = time(nullptr);
    const uint64 utcNow = CTime::getCurrentUTCtime();
    const uint64 utcMs = CTime::getCurrentUTCMilliSecond();
    const time_t after = time(nullptr);
    EXPECT_TRUE(utcNow >= uint64(before) && utcNow <= uint64(after)) << utcNow;
    EXPECT_TRUE(utcMs >= uint64(before) * 1000 && utcMs < uint64(after + 1) * 1000) << utcMs;

    // Local fields taken as UTC are comparable with timegm(localtime_r(now)).
    OrlixTest::useDaylightSavingZone();
    CTime::disableTimezone();
    auto localAsUtc = [] {
        const time_t now = time(nullptr);
        std::tm tm{};
        localtime_r(&now, &tm);
        return static_cast<int64>(timegm(&tm));
    };
    const int64 low = localAsUtc();
    const int64 local = static_cast<int64>(CTime::getCurrentTime().makeTime());
    const Orlix::Infra::SystemTimeEx ex = CTime::getCurrentTimeEx();
    const int64 high = localAsUtc();
    const CTime exTime(ex.year, ex.month, ex.day, ex.hour, ex.minute, ex.second);
    const int64 exLocal = static_cast<int64>(exTime.makeTime());
    EXPECT_TRUE(local >= low && local <= high) << local;
    EXPECT_TRUE(exLocal >= low && exLocal <= high) << exLocal;
    EXPECT_EQ(ex.wday, exTime.wday);
    EXPECT_TRUE(ex.millisecond >= 0 && ex.millisecond <= 999);
    EXPECT_TRUE(ex.reserved[0] == 0 && ex.reserved[1] == 0 && ex.reserved[2] == 0 &&
                ex.reserved[3] == 0);

    // The print prefix reads the same local time.
    for (int attempt = 0; attempt < 100; ++attempt) {
        const Orlix::Platform::CalendarReading first = Orlix::Platform::localTime();
        const CTime forPrint = CTime::getCurTimeForPrint();
        if (first.second == Orlix::Platform::localTime().second) {
            EXPECT_EQ(show(forPrint), show(first));
            return;
        }
    }
    FAIL() << "the second kept changing";
}

TEST(CTimeNow, MonotonicClocksMoveTogetherAndTheTestSeamAdvancesThem)
{
    // Never going back, also across threads, is checked in clock_concurrency_test.cpp.
    const uint64 ms = CTime::getCurrentMilliSecond();
    const uint64 us = CTime::getCurrentMicroSecond();
    const uint64 later = CTime::getCurrentMilliSecond();
    EXPECT_GE(us / 1000, ms);
    EXPECT_GE(later, us / 1000);
    Orlix::Infra::Detail::advanceClockForTesting(60000);
    EXPECT_GE(CTime::getCurrentMilliSecond(), later + 60000);
    EXPECT_GE(CTime::getCurrentMicroSecond() / 1000, later + 60000);
}
