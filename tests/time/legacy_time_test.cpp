// Legacy ::CTime: conversions against mktime/localtime_r in a zone with daylight saving,
// roll-over, the overflow report, comparisons and its own text settings.
#include "infra/legacy_time.h"

#include "infra/time.h"
#include "support/testsupport.h"
#include "time/zones.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <ctime>
#include <random>
#include <string>

using Orlix::int64;
using Orlix::uint64;

namespace {

std::string show(int y, int mo, int d, int h, int mi, int s)
{
    char text[80];
    std::snprintf(text, sizeof(text), "%04d-%02d-%02d %02d:%02d:%02d", y, mo, d, h, mi, s);
    return text;
}

std::string show(const SystemTime& t)
{
    return show(t.year, t.month, t.day, t.hour, t.minute, t.second);
}

std::string show(const std::tm& tm)
{
    return show(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
}

std::tm local(int64 seconds)
{
    const time_t t = static_cast<time_t>(seconds);
    std::tm tm{};
    localtime_r(&t, &tm);
    return tm;
}

// What the legacy makeTime() must give: mktime of the fields as standard time, negatives as 0.
int64 referenceMakeTime(int y, int mo, int d, int h, int mi, int s)
{
    std::tm tm{};
    tm.tm_year = y - 1900;
    tm.tm_mon = mo - 1;
    tm.tm_mday = d;
    tm.tm_hour = h;
    tm.tm_min = mi;
    tm.tm_sec = s;
    tm.tm_isdst = 0;
    const int64 seconds = mktime(&tm);
    return seconds < 0 ? 0 : seconds;
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

        // Fields nudged out of range roll over exactly as mktime rolls them.
        const int y = expected.tm_year + 1900;
        const int mo = expected.tm_mon + 1 + nudge(random) / 4;
        const int d = expected.tm_mday + nudge(random);
        const int h = expected.tm_hour + nudge(random) / 2;
        const int mi = expected.tm_min + nudge(random);
        const int s = expected.tm_sec + nudge(random);
        const int64 reference = referenceMakeTime(y, mo, d, h, mi, s);
        CTime raw;
        raw.year = y, raw.month = mo, raw.day = d, raw.hour = h, raw.minute = mi, raw.second = s;
        ASSERT_EQ(static_cast<int64>(raw.makeTime()), reference) << show(raw);
        const CTime built(y, mo, d, h, mi, s);
        ASSERT_EQ(show(built), show(local(reference))) << show(raw);
    }
}

TEST(LegacyTimeConversion, FieldsAreReadAsStandardTime)
{
    OrlixTest::useDaylightSavingZone();
    // In summer the constructor's round trip through mktime (no daylight saving) and
    // localtime_r (with it) moves the wall-clock time one hour on.
    EXPECT_EQ(show(CTime(2016, 7, 1, 12, 0, 0)), "2016-07-01 13:00:00");
    EXPECT_EQ(show(CTime(2016, 1, 1, 12, 0, 0)), "2016-01-01 12:00:00");
}

TEST(LegacyTimeConversion, RollsOverInsteadOfClamping)
{
    OrlixTest::useZone("UTC0");
    EXPECT_EQ(show(CTime(2016, 4, 31, 0, 0, 0)), "2016-05-01 00:00:00");
    EXPECT_EQ(show(CTime(2015, 2, 29, 0, 0, 0)), "2015-03-01 00:00:00");
    EXPECT_EQ(show(CTime(2016, 12, 31, 23, 59, 60)), "2017-01-01 00:00:00");
    EXPECT_EQ(show(CTime(1969, 6, 1, 0, 0, 0)), "1970-01-01 00:00:00"); // negative -> 0
    CTime huge;
    huge.year = -2147483647 - 1; // year - 1900 does not fit mktime's fields
    EXPECT_EQ(huge.makeTime(), 0u);
}

TEST(LegacyTimeConversion, SecondsBeyondTheCalendarReportAnOverflow)
{
    OrlixTest::useZone("UTC0");
    OrlixTest::PrintCapture capture;
    for (const uint64 seconds : {uint64{1} << 63, uint64{1} << 62}) {
        capture.clear();
        CTime t(2016, 3, 7, 9, 5, 2);
        t.breakTime(seconds);
        EXPECT_EQ(show(t), "2016-03-07 09:05:02");
        EXPECT_TRUE(capture.contains("CTime::breakTime overflowed!\n")) << seconds;
        EXPECT_TRUE(capture.contains("this:")) << seconds;
    }
}

TEST(LegacyTimeArithmetic, GoesThroughMakeTime)
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

    // Comparisons see instants, so fields that roll over to the same instant are equal.
    CTime rolled;
    rolled.year = 2016, rolled.month = 12, rolled.day = 32, rolled.hour = 0, rolled.minute = 0,
    rolled.second = -1;
    EXPECT_TRUE(rolled == t);
    EXPECT_TRUE(moved < t && t > moved && moved <= t && t >= moved && moved != t);
    EXPECT_FALSE(t < t);
    EXPECT_TRUE(t <= t && t >= t);
}

TEST(LegacyTimeBasics, ConstantsCopiesAndClocks)
{
    EXPECT_EQ(show(CTime::minTime), "2000-01-01 00:00:00");
    EXPECT_EQ(show(CTime::maxTime), "2038-01-01 00:00:00");

    SystemTime record{2016, 3, 7, 1, 9, 5, 2, 123};
    const CTime copy(record);
    EXPECT_EQ(show(copy), "2016-03-07 09:05:02");
    EXPECT_EQ(copy.wday, 1);
    EXPECT_EQ(copy.reserved, 123);

    OrlixTest::useZone("UTC0");
    for (int attempt = 0; attempt < 100; ++attempt) {
        const Orlix::Infra::CTime before = Orlix::Infra::CTime::getCurrentTime();
        const CTime now = CTime::getCurrentTime();
        const Orlix::Infra::CTime after = Orlix::Infra::CTime::getCurrentTime();
        if (before != after)
            continue;
        EXPECT_EQ(show(now), show(before.year, before.month, before.day, before.hour,
                                  before.minute, before.second));
        break;
    }

    const uint64 start = CTime::getCurrentMilliSecond();
    CTime::sleep(2);
    EXPECT_GE(CTime::getCurrentMilliSecond(), start + 2);
    EXPECT_GE(CTime::getCurrentMicroSecond() / 1000, start + 2);
}

TEST(LegacyTimeText, SettingsAreTheLegacyClassesOwn)
{
    EXPECT_EQ(CTime::getFormat(), "yyyy-MM-dd HH:mm:ss");
    EXPECT_EQ(CTime::getDateFormat(), 0);
    EXPECT_EQ(CTime::getSpliter(), '-');
    EXPECT_EQ(CTime::getDateSeparator(), 1);
    EXPECT_FALSE(CTime::get12Hour());
    EXPECT_EQ(CTime::getTimeFormat(), 0);

    CTime::setFormat(std::string("dd/MM/yyyy hh:mm tt"));
    EXPECT_EQ(CTime::getFormat(), "dd/MM/yyyy hh:mm tt");
    EXPECT_EQ(CTime::getDateFormat(), 2);
    EXPECT_EQ(CTime::getSpliter(), '/');
    EXPECT_EQ(CTime::getDateSeparator(), 2);
    EXPECT_EQ(CTime::getTimeFormat(), 1);
    // The main class's settings are untouched.
    EXPECT_EQ(Orlix::Infra::CTime::getFormat(), "yyyy-MM-dd HH:mm:ss");

    CTime::setFormat(1, 0, 0);
    EXPECT_EQ(CTime::getDateFormat(), 1);
    EXPECT_EQ(CTime::getSpliter(), '.');
    EXPECT_EQ(CTime::getDateSeparator(), 0);
    EXPECT_FALSE(CTime::get12Hour());
    CTime::setFormat(7, 3, 2); // order stored unchecked; the others keep their values
    EXPECT_EQ(CTime::getDateFormat(), 7);
    EXPECT_EQ(CTime::getSpliter(), '.');
    EXPECT_FALSE(CTime::get12Hour());
    EXPECT_EQ(CTime::getFormat(), "dd/MM/yyyy hh:mm tt");
}

TEST(LegacyTimeText, FormatUsesTheLegacySettings)
{
    OrlixTest::useZone("UTC0");
    const CTime t(2016, 3, 7, 9, 5, 2);
    char buf[128];
    t.format(buf, "yyyy-MM-dd HH:mm:ss");
    EXPECT_STREQ(buf, "2016-03-07 09:05:02");
    t.format(buf);
    EXPECT_STREQ(buf, "2016-03-07 09:05:02");
    t.format(buf, "dd.MM.yyyy");
    EXPECT_STREQ(buf, "2016-03-07");

    CTime::setFormat(std::string("MM/dd/yyyy hh:mm:ss tt"));
    t.format(buf);
    EXPECT_STREQ(buf, "03/07/2016 09:05:02 AM");
    t.format(buf, "yy/M/d h:mm tt");
    EXPECT_STREQ(buf, "3/7/16 9:05 AM");

    CTime::setFormat(5, 1, 0); // an order other than 0 and 1 prints as day, month, year
    t.format(buf, "yyyy-MM-dd HH:mm");
    EXPECT_STREQ(buf, "07-03-2016 09:05");
}

TEST(LegacyTimeTextDeathTest, BadPicturesFailTheStandardAssertion)
{
    EXPECT_DEATH(CTime::setFormat(std::string("HH:mm")), "Assertion `0' failed");
    EXPECT_DEATH(CTime::setFormat(std::string("yyyy-HH")), "Assertion `0' failed");
    char* none = nullptr;
    EXPECT_DEATH(CTime(2016, 3, 7, 9, 5, 2).format(none, "yyyy"), "assertion \\(buf\\) failed");
}
