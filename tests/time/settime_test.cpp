// Setting the system time: the built-in setters (through a fake OS setter, never the real
// clock), their bounds and tolerance, the hooks, the listeners and the error codes.
#include "infra/error.h"
#include "infra/legacy_time.h"
#include "infra/print.h"
#include "infra/time.h"

#include "infra3/timeset.h"
#include "support/testsupport.h"
#include "time/zones.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using Orlix::Infra::getLastError;
using Orlix::Infra::setLastError;
using Orlix::Infra::SystemTimeEx;
using Orlix::Infra::TFunction1;
using Orlix::Infra::TFunction2;

// The legacy ::CTime and ::SystemTime are visible here too; name the main ones explicitly.
namespace Infra = Orlix::Infra;

namespace {

// What the fake OS setter was asked to do, and what it answers.
std::vector<SystemTimeEx> g_setCalls;
bool g_systemAccepts = true;

bool fakeSetter(const SystemTimeEx& time)
{
    g_setCalls.push_back(time);
    return g_systemAccepts;
}

std::string show(int y, int mo, int d, int h, int mi, int s)
{
    char text[64];
    std::snprintf(text, sizeof(text), "%04d-%02d-%02d %02d:%02d:%02d", y, mo, d, h, mi, s);
    return text;
}

std::string show(const SystemTimeEx& t)
{
    return show(t.year, t.month, t.day, t.hour, t.minute, t.second);
}

std::string show(const Infra::SystemTime& t)
{
    return show(t.year, t.month, t.day, t.hour, t.minute, t.second);
}

// Records listener calls by name.
struct Listener
{
    std::string name;
    std::vector<std::string>* log;
    bool result;
    bool onModify(Infra::SystemTime time)
    {
        log->push_back(name + " " + show(time));
        return result;
    }
};

class SetTimeTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        OrlixTest::useZone("UTC0");
        m_previous = Orlix::Infra::Detail::replaceLocalTimeSetter(&fakeSetter);
        g_setCalls.clear();
        g_systemAccepts = true;
    }
    void TearDown() override { Orlix::Infra::Detail::replaceLocalTimeSetter(m_previous); }

private:
    Orlix::Infra::Detail::LocalTimeSetter m_previous = nullptr;
};

} // namespace

TEST_F(SetTimeTest, TimesOutsideTheBoundsAreSetAsTheNearerBound)
{
    EXPECT_TRUE(Infra::CTime::setCurrentTimeEx(Infra::CTime(1999, 6, 1, 12, 0, 0), 0));
    Infra::CTime::setCurrentTime(Infra::CTime(2038, 6, 1, 12, 0, 0), 0);
    Infra::CTime::setCurrentTime(Infra::CTime(2016, 3, 7, 9, 5, 2), 0);
    ASSERT_EQ(g_setCalls.size(), 3u);
    EXPECT_EQ(show(g_setCalls[0]), "2000-01-01 00:00:00");
    EXPECT_EQ(show(g_setCalls[1]), "2038-01-01 00:00:00");
    EXPECT_EQ(show(g_setCalls[2]), "2016-03-07 09:05:02");
    EXPECT_EQ(g_setCalls[2].millisecond, 0);
}

TEST_F(SetTimeTest, TimesWithinTheToleranceAreLeftAlone)
{
    const Infra::CTime now = Infra::CTime::getCurrentTime();
    // The clock can only move towards a time ahead of it, so these stay within tolerance.
    EXPECT_TRUE(Infra::CTime::setCurrentTimeEx(now + 3, 5));
    EXPECT_TRUE(Infra::CTime::setCurrentTimeEx(now + 5, 5)); // the bound itself counts as within
    EXPECT_TRUE(g_setCalls.empty());

    EXPECT_TRUE(Infra::CTime::setCurrentTimeEx(now + 65, 5));
    EXPECT_TRUE(Infra::CTime::setCurrentTimeEx(now - 60, 5));
    EXPECT_TRUE(Infra::CTime::setCurrentTimeEx(now + 1, 0)); // tolerance 0: always set
    EXPECT_EQ(g_setCalls.size(), 3u);
}

TEST_F(SetTimeTest, ARefusalSetsTheErrorAndSkipsTheListeners)
{
    std::vector<std::string> log;
    Listener listener{"a", &log, true};
    Infra::CTime::attachModifyProc(TFunction1<bool, Infra::SystemTime>(&Listener::onModify, &listener));

    g_systemAccepts = false;
    EXPECT_FALSE(Infra::CTime::setCurrentTimeEx(Infra::CTime(2016, 3, 7, 9, 5, 2), 0));
    EXPECT_EQ(getLastError(), Infra::CTime::errorTimeRefused);
    EXPECT_EQ(getLastError(), 0x1000000E);

    setLastError(0);
    Infra::CTime::setCurrentTime(Infra::CTime(2016, 3, 7, 9, 5, 2), 0);
    EXPECT_EQ(getLastError(), 0x1000000E);

    SystemTimeEx ex{};
    ex.year = 2016;
    ex.month = 3;
    ex.day = 7;
    EXPECT_FALSE(Infra::CTime::setCurrentTime(ex, 0));
    EXPECT_TRUE(log.empty());

    // A later success is reported as such, and leaves an unrelated earlier code alone.
    g_systemAccepts = true;
    EXPECT_TRUE(Infra::CTime::setCurrentTimeEx(Infra::CTime(2016, 3, 7, 9, 5, 2), 0));
    setLastError(42);
    EXPECT_TRUE(Infra::CTime::setCurrentTimeEx(Infra::CTime(2016, 3, 7, 9, 5, 2), 0));
    EXPECT_EQ(getLastError(), 42);
}

TEST_F(SetTimeTest, ListenersRunInAttachOrderWithTheTimeSet)
{
    std::vector<std::string> log;
    Listener a{"a", &log, false}; // results are ignored
    Listener b{"b", &log, true};
    const TFunction1<bool, Infra::SystemTime> procA(&Listener::onModify, &a);
    EXPECT_TRUE(Infra::CTime::attachModifyProc(procA));
    EXPECT_TRUE(Infra::CTime::attachModifyProc(TFunction1<bool, Infra::SystemTime>(&Listener::onModify, &b)));
    EXPECT_TRUE(Infra::CTime::attachModifyProc(procA)); // a duplicate is called twice

    EXPECT_TRUE(Infra::CTime::setCurrentTimeEx(Infra::CTime(1999, 1, 1, 0, 0, 0), 0));
    const std::vector<std::string> expected = {"a 2000-01-01 00:00:00", "b 2000-01-01 00:00:00",
                                               "a 2000-01-01 00:00:00"};
    EXPECT_EQ(log, expected);
}

TEST_F(SetTimeTest, WithoutListenersSuccessIsReportedAtInfoLevel)
{
    OrlixTest::PrintCapture capture;
    Orlix::Infra::setPrintLogLevel(4);
    Infra::CTime::setCurrentTime(Infra::CTime(2016, 3, 7, 9, 5, 2), 0);
    EXPECT_TRUE(capture.contains("CTime::setCurrentTime() success without callback function\n"));
}

TEST_F(SetTimeTest, ExSetterPassesMillisecondsAndNormalisesTheDate)
{
    SystemTimeEx ex{};
    ex.year = 2016;
    ex.month = 2;
    ex.day = 30;
    ex.wday = 6;
    ex.hour = 10;
    ex.minute = 45;
    ex.second = 10;
    ex.millisecond = 250;
    EXPECT_TRUE(Infra::CTime::setCurrentTime(ex, 0));
    ASSERT_EQ(g_setCalls.size(), 1u);
    EXPECT_EQ(show(g_setCalls[0]), "2016-02-28 10:45:10");
    EXPECT_EQ(g_setCalls[0].millisecond, 250);
}

namespace {

std::vector<SystemTimeEx> g_exHookCalls;
int g_exHookTolerance = 0;

void recordingHookEx(const SystemTimeEx& time, int tolerance)
{
    g_exHookCalls.push_back(time);
    g_exHookTolerance = tolerance;
}

std::vector<std::string> g_hookCalls;

void hardwareClockFails(const Infra::CTime& time, int tolerance)
{
    g_hookCalls.push_back(show(time) + " tolerance " + std::to_string(tolerance));
    setLastError(Infra::CTime::errorHardwareClock);
}

} // namespace

TEST_F(SetTimeTest, HooksReplaceTheBuiltInSettersAndCanChainToThem)
{
    const TFunction2<void, const Infra::CTime&, int> builtIn =
        Infra::CTime::attachSetCurrentTimeHook(TFunction2<void, const Infra::CTime&, int>(&hardwareClockFails));
    EXPECT_FALSE(builtIn.empty());

    // The hook gets a normalised copy and the tolerance; 0x1000000F counts as a failure.
    Infra::CTime unnormalised(2016, 2, 1, 0, 0, 0);
    unnormalised.day = 30;
    unnormalised.hour = 25;
    EXPECT_FALSE(Infra::CTime::setCurrentTimeEx(unnormalised, 7));
    EXPECT_EQ(getLastError(), 0x1000000F);
    ASSERT_EQ(g_hookCalls.size(), 1u);
    EXPECT_EQ(g_hookCalls[0], "2016-02-28 23:59:59 tolerance 7");
    EXPECT_TRUE(g_setCalls.empty());

    // The previous hook, called directly, is the built-in setter.
    builtIn(Infra::CTime(2016, 3, 7, 9, 5, 2), 0);
    ASSERT_EQ(g_setCalls.size(), 1u);
    EXPECT_EQ(show(g_setCalls[0]), "2016-03-07 09:05:02");

    // Reattaching returns the custom hook.
    const TFunction2<void, const Infra::CTime&, int> custom(&hardwareClockFails);
    EXPECT_TRUE(Infra::CTime::attachSetCurrentTimeHook(builtIn) == custom);
}

TEST_F(SetTimeTest, ExHookGetsAFreshRecordWithComputedWeekday)
{
    Infra::CTime::attachSetCurrentTimeHookEx(TFunction2<void, const SystemTimeEx&, int>(&recordingHookEx));
    SystemTimeEx ex{};
    ex.year = 2016;
    ex.month = 3;
    ex.day = 7;
    ex.wday = 5; // wrong on purpose: 2016-03-07 is a Monday
    ex.hour = 9;
    ex.minute = 45;
    ex.second = 10;
    ex.millisecond = 999;
    for (int& r : ex.reserved)
        r = -1;
    EXPECT_TRUE(Infra::CTime::setCurrentTime(ex, 3));
    ASSERT_EQ(g_exHookCalls.size(), 1u);
    const SystemTimeEx& got = g_exHookCalls[0];
    EXPECT_EQ(show(got), "2016-03-07 09:45:10");
    EXPECT_EQ(got.wday, 1);
    EXPECT_EQ(got.millisecond, 999);
    for (int r : got.reserved)
        EXPECT_EQ(r, 0);
    EXPECT_EQ(g_exHookTolerance, 3);
    EXPECT_TRUE(g_setCalls.empty());
}

TEST_F(SetTimeTest, LegacySetterForwardsToTheHook)
{
    ::CTime::setCurrentTime(::CTime(2016, 3, 7, 9, 5, 2), 0);
    ASSERT_EQ(g_setCalls.size(), 1u);
    EXPECT_EQ(show(g_setCalls[0]), "2016-03-07 09:05:02");
}

TEST(SetTimeSwitches, DisableTimezoneAndSetDstReportSuccess)
{
    EXPECT_EQ(Infra::CTime::disableTimezone(), 0);
    EXPECT_TRUE(Infra::CTime::setDst(true));
    EXPECT_TRUE(Infra::CTime::setDst(false));
}
