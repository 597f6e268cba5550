// Legacy ::CTime: conversions against mktime/localtime_r in a zone with daylight saving,
// roll-over, the overflow report, comparisons and its own text settings.
#include "infra/legacy_time.h"

#include "infra/time.h"
#include "support/testsupport.h"
#include "time/timetest.h"

#include <gtest/gtest.h>

#include <ctime>
#include <random>
#include <string>

using Orlix::int64;
using Orlix::uint64;
using OrlixTest::show;

namespace {

std::tm local(int64 seconds)
{
    const time_t t = static_cast<time_t>(seconds);
    std::tm tm{};
    localtime_r(&t, &tm);
    return tm;
}

std::string formatted(const CTime& t, const char* picture)
{
    char buf[128];
    t.format(buf, picture);
    return buf;
}

} // namespace

TEST(LegacyTimeConversion, AgreesWithMktimeAndLocaltimeInADaylightSavingZone)
{
    OrlixTest::useDaylightSavingZone();
    std::mt19937_64 random(1972);
    std::uniform_int_distribution<int64> pick(0, 2147483647);
    std::uniform_int_distribution<int> nudge(-40, 40);
    for (int i = 0; i < 4000; ++i) {
        const int64 seconds = pick(random);
        const std::tm expected = local(seconds);
        const CTime broken(static_cast<uint64>(seconds));
        ASSERT_EQ(show(broken), show(expected)) << seconds;
        ASSERT_EQ(broken.wday, expected.tm_wday) << seconds;

        // Fields nudged out of range: makeTime is mktime read as standard time (negative
        // results 0), and the constructor rolls over exactly as mktime and localtime_r do.
        std::tm tm = expected;
        tm.tm_mon += nudge(random) / 4, tm.tm_mday += nudge(random);
        tm.tm_hour += nudge(random) / 2, tm.tm_min += nudge(random), tm.tm_sec += nudge(random);
        tm.tm_isdst = 0;
        CTime raw;
        raw.year = tm.tm_year + 1900, raw.month = tm.tm_mon + 1, raw.day = tm.tm_mday;
        raw.hour = tm.tm_hour, raw.minute = tm.tm_min, raw.second = tm.tm_sec;
        const CTime built(raw.year, raw.month, raw.day, raw.hour, raw.minute, raw.second);
        int64 reference = mktime(&tm);
        reference = reference < 0 ? 0 : reference;
        ASSERT_EQ(static_cast<int64>(raw.makeTime()), reference) << show(raw);
        ASSERT_EQ(show(built), show(local(reference))) << show(raw);
    }
    // So in summer the wall-clock time moves one hour on.
    EXPECT_EQ(show(CTime(2016, 7, 1, 12, 0, 0)), "2016-07-01 13:00:00");
    EXPECT_EQ(show(CTime(2016, 1, 1, 12, 0, 0)), "2016-01-01 12:00:00");
}

TEST(LegacyTimeConversion, RollsOverAndReportsOverflow)
{
    OrlixTest::useZone("UTC0");
    EXPECT_EQ(show(CTime(1969, 6, 1, 0, 0, 0)), "1970-01-01 00:00:00"); // negative -> 0
    CTime huge;
    huge.year = -2147483647 - 1; // year - 1900 does not fit mktime's fields
    EXPECT_EQ(huge.makeTime(), 0u);

    OrlixTest::PrintCapture capture;
    for (const uint64 seconds : {uint64{1} << 63, uint64{1} << 62}) {
        capture.clear();
        CTime t(2016, 3, 7, 9, 5, 2);
        t.breakTime(seconds);
        EXPECT_EQ(show(t), "2016-03-07 09:05:02");
        EXPECT_TRUE(capture.contains("this:")) << seconds;
        EXPECT_TRUE(capture.contains("CTime::breakTime overflowed!\n")) << seconds;
    }
}

TEST(LegacyTimeArithmetic, ArithmeticAndComparisonGoThroughMakeTime)
{
    OrlixTest::useZone("UTC0");
    const CTime t(2016, 12, 31, 23, 59, 59);
    EXPECT_EQ(show(t + 1), "2017-01-01 00:00:00");
    EXPECT_EQ(show(t - 86400), "2016-12-30 23:59:59");
    CTime moved = t;
    moved += 3600;
    EXPECT_EQ(moved - t, 3600);
    moved -= 7200;
    EXPECT_EQ(moved - t, -3600);
    EXPECT_TRUE(moved < t && t > moved && moved <= t && t >= moved && moved != t);

    // Fields that roll over to the same instant compare equal.
    CTime rolled;
    rolled.year = 2016, rolled.month = 12, rolled.day = 32, rolled.second = -1;
    EXPECT_TRUE(rolled == t);

    SystemTime record{2016, 3, 7, 1, 9, 5, 2, 123};
    const CTime copy(record);
    EXPECT_EQ(copy.reserved, 123);
    EXPECT_EQ(show(CTime::minTime), "2000-01-01 00:00:00");
    EXPECT_EQ(show(CTime::maxTime), "2038-01-01 00:00:00");

    for (int attempt = 0; attempt < 100; ++attempt) {
        const Orlix::Infra::CTime before = Orlix::Infra::CTime::getCurrentTime();
        const CTime now = CTime::getCurrentTime();
        if (before == Orlix::Infra::CTime::getCurrentTime()) {
            EXPECT_EQ(show(now), show(before));
            break;
        }
    }
    const uint64 start = CTime::getCurrentMilliSecond();
    CTime::sleep(2);
    EXPECT_GE(CTime::getCurrentMicroSecond() / 1000, start + 2);
}

TEST(LegacyTimeText, SettingsAreTheLegacyClassesOwn)
{
    OrlixTest::useZone("UTC0");
    const CTime t(2016, 3, 7, 9, 5, 2);
    // "<date order> <separator> <separator number> <time mode> <12-hour>"
    const auto settings = [] {
        return std::to_string(CTime::getDateFormat()) + " " + CTime::getSpliter() + " " +
               std::to_string(CTime::getDateSeparator()) + " " +
               std::to_string(CTime::getTimeFormat()) + " " + std::to_string(CTime::get12Hour());
    };
    EXPECT_EQ(formatted(t, nullptr), "2016-03-07 09:05:02");
    EXPECT_EQ(formatted(t, "dd.MM.yyyy"), "2016-03-07");

    CTime::setFormat(std::string("dd/MM/yyyy hh:mm tt"));
    EXPECT_EQ(CTime::getFormat(), "dd/MM/yyyy hh:mm tt");
    EXPECT_EQ(settings(), "2 / 2 1 1");
    EXPECT_EQ(formatted(t, nullptr), "07/03/2016 09:05 AM");
    EXPECT_EQ(Orlix::Infra::CTime::getFormat(), "yyyy-MM-dd HH:mm:ss"); // untouched

    CTime::setFormat(1, 0, 0);
    EXPECT_EQ(settings(), "1 . 0 0 0");
    EXPECT_EQ(formatted(t, "yy/M/d H:mm"), "3.7.16 9:05");

    // Other values: the order is stored unchecked (and prints as day, month, year), the
    // separator and the mode keep their values, the format string is not touched.
    CTime::setFormat(7, 3, 2);
    EXPECT_EQ(settings(), "7 . 0 0 0");
    EXPECT_EQ(CTime::getFormat(), "dd/MM/yyyy hh:mm tt");
    EXPECT_EQ(formatted(t, "yyyy-MM-dd HH:mm"), "07.03.2016 09:05");
}

TEST(LegacyTimeTextDeathTest, BadPicturesFailTheStandardAssertion)
{
    // The C library's own wording of a failed assert(0).
#ifdef _WIN32
    const char* const failedZero = "Assertion failed: 0, file ";
#else
    const char* const failedZero = "Assertion `0' failed";
#endif
    EXPECT_DEATH(CTime::setFormat(std::string("HH:mm")), failedZero);
    EXPECT_DEATH(CTime::setFormat(std::string("yyyy-HH")), failedZero);
    char* none = nullptr;
    EXPECT_DEATH(CTime(2016, 3, 7, 9, 5, 2).format(none, "yyyy"), "assertion \\(buf\\) failed");
}
