// Setting the system time: the built-in setters (through a fake OS setter, never the real
// clock), their bounds and tolerance, the hooks, the listeners and the error codes.
#include "infra/error.h"
#include "infra/legacy_time.h"
#include "infra/print.h"
#include "infra/time.h"

#include "infra3/timeset.h"
#include "support/testsupport.h"
#include "time/timetest.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

// The legacy ::CTime and ::SystemTime are visible here too; name the main ones explicitly.
namespace Infra = Orlix::Infra;
using Infra::getLastError;
using Infra::setLastError;
using Infra::SystemTimeEx;
using Infra::TFunction1;
using Infra::TFunction2;
using OrlixTest::show;

namespace {

// What the fake OS setter was asked to do, and what it answers.
std::vector<SystemTimeEx> g_systemCalls;
bool g_systemAccepts = true;

bool fakeSetter(const SystemTimeEx& time)
{
    g_systemCalls.push_back(time);
    return g_systemAccepts;
}

SystemTimeEx makeEx(int y, int mo, int d, int h, int mi, int s, int ms)
{
    SystemTimeEx ex{};
    ex.year = y, ex.month = mo, ex.day = d, ex.hour = h, ex.minute = mi, ex.second = s;
    ex.millisecond = ms;
    ex.wday = 5; // never trusted
    ex.reserved[0] = ex.reserved[3] = -1;
    return ex;
}

// Records listener and hook calls as text.
std::vector<std::string> g_log;

struct Listener
{
    const char* name;
    bool result;
    bool onModify(Infra::SystemTime time)
    {
        g_log.push_back(std::string(name) + " " + show(time));
        return result;
    }
};

void failingHook(const Infra::CTime& time, int tolerance)
{
    g_log.push_back("hook " + show(time) + " " + std::to_string(tolerance));
    setLastError(Infra::CTime::errorHardwareClock);
}

void recordingHookEx(const SystemTimeEx& t, int tolerance)
{
    g_log.push_back("hookEx " + show(t) + " ms " + std::to_string(t.millisecond) + " wday " +
                    std::to_string(t.wday) + " reserved " +
                    std::to_string(t.reserved[0] | t.reserved[3]) + " " +
                    std::to_string(tolerance));
}

class SetTimeTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        OrlixTest::useZone("UTC0");
        Infra::Detail::replaceLocalTimeSetter(&fakeSetter);
    }
    void TearDown() override { Infra::Detail::replaceLocalTimeSetter(nullptr); }
};

} // namespace

TEST_F(SetTimeTest, TimesOutsideTheBoundsAreSetAsTheNearerBound)
{
    EXPECT_TRUE(Infra::CTime::setCurrentTimeEx(Infra::CTime(1999, 6, 1, 12, 0, 0), 0));
    Infra::CTime::setCurrentTime(Infra::CTime(2038, 6, 1, 12, 0, 0), 0);
    EXPECT_TRUE(Infra::CTime::setCurrentTime(makeEx(2016, 2, 30, 10, 45, 10, 250), 0));
    ::CTime::setCurrentTime(::CTime(2016, 3, 7, 9, 5, 2), 0); // the legacy class forwards
    ASSERT_EQ(g_systemCalls.size(), 4u);
    EXPECT_EQ(show(g_systemCalls[0]), "2000-01-01 00:00:00");
    EXPECT_EQ(g_systemCalls[0].millisecond, 0);
    EXPECT_EQ(show(g_systemCalls[1]), "2038-01-01 00:00:00");
    EXPECT_EQ(show(g_systemCalls[2]), "2016-02-28 10:45:10"); // minute and second kept
    EXPECT_EQ(g_systemCalls[2].millisecond, 250);
    EXPECT_EQ(show(g_systemCalls[3]), "2016-03-07 09:05:02");
}

TEST_F(SetTimeTest, TimesWithinTheToleranceAreLeftAlone)
{
    const Infra::CTime now = Infra::CTime::getCurrentTime();
    // The clock only moves towards a time ahead of it, so these stay within tolerance.
    EXPECT_TRUE(Infra::CTime::setCurrentTimeEx(now + 3, 5));
    EXPECT_TRUE(Infra::CTime::setCurrentTimeEx(now + 5, 5)); // the bound counts as within
    EXPECT_TRUE(g_systemCalls.empty());

    EXPECT_TRUE(Infra::CTime::setCurrentTimeEx(now + 65, 5));
    EXPECT_TRUE(Infra::CTime::setCurrentTimeEx(now - 60, 5));
    EXPECT_TRUE(Infra::CTime::setCurrentTimeEx(now + 1, 0)); // tolerance 0: always set
    EXPECT_EQ(g_systemCalls.size(), 3u);
}

TEST_F(SetTimeTest, ARefusalSetsTheErrorAndSkipsTheListeners)
{
    Listener listener{"a", true};
    Infra::CTime::attachModifyProc(
        TFunction1<bool, Infra::SystemTime>(&Listener::onModify, &listener));
    const Infra::CTime t(2016, 3, 7, 9, 5, 2);

    g_systemAccepts = false;
    EXPECT_FALSE(Infra::CTime::setCurrentTimeEx(t, 0));
    EXPECT_EQ(getLastError(), 0x1000000E);
    setLastError(0);
    Infra::CTime::setCurrentTime(t, 0);
    EXPECT_EQ(getLastError(), 0x1000000E);
    EXPECT_FALSE(Infra::CTime::setCurrentTime(makeEx(2016, 3, 7, 0, 0, 0, 0), 0));
    EXPECT_TRUE(g_log.empty());

    // A later success is reported as one and leaves an unrelated earlier code alone.
    g_systemAccepts = true;
    EXPECT_TRUE(Infra::CTime::setCurrentTimeEx(t, 0));
    setLastError(42);
    EXPECT_TRUE(Infra::CTime::setCurrentTimeEx(t, 0));
    EXPECT_EQ(getLastError(), 42);
}

TEST_F(SetTimeTest, ListenersRunInAttachOrderWithTheTimeSet)
{
    {
        OrlixTest::PrintCapture capture;
        Infra::setPrintLogLevel(4);
        Infra::CTime::setCurrentTime(Infra::CTime(2016, 3, 7, 9, 5, 2), 0);
        EXPECT_TRUE(
            capture.contains("CTime::setCurrentTime() success without callback function\n"));
    }
    Listener a{"a", false}; // results are ignored
    Listener b{"b", true};
    const TFunction1<bool, Infra::SystemTime> procA(&Listener::onModify, &a);
    EXPECT_TRUE(Infra::CTime::attachModifyProc(procA));
    EXPECT_TRUE(Infra::CTime::attachModifyProc(
        TFunction1<bool, Infra::SystemTime>(&Listener::onModify, &b)));
    EXPECT_TRUE(Infra::CTime::attachModifyProc(procA)); // a duplicate is called twice

    EXPECT_TRUE(Infra::CTime::setCurrentTimeEx(Infra::CTime(1999, 1, 1, 0, 0, 0), 0));
    const std::vector<std::string> expected = {"a 2000-01-01 00:00:00", "b 2000-01-01 00:00:00",
                                               "a 2000-01-01 00:00:00"};
    EXPECT_EQ(g_log, expected);
}

TEST_F(SetTimeTest, DetachRemovesOneAttachmentSoItsObjectCanGo)
{
    using Proc = TFunction1<bool, Infra::SystemTime>;
    Listener a{"a", true};
    Listener b{"b", true};
    const Proc procA(&Listener::onModify, &a);
    const Proc procB(&Listener::onModify, &b);
    EXPECT_FALSE(Infra::CTime::detachModifyProc(procA)) << "nothing attached yet";
    Infra::CTime::attachModifyProc(procA);
    Infra::CTime::attachModifyProc(procB);
    Infra::CTime::attachModifyProc(procA);

    // One of the two equal attachments goes, the earliest.
    EXPECT_TRUE(Infra::CTime::detachModifyProc(procA));
    EXPECT_TRUE(Infra::CTime::setCurrentTimeEx(Infra::CTime(2016, 3, 7, 9, 5, 2), 0));
    EXPECT_EQ(g_log, (std::vector<std::string>{"b 2016-03-07 09:05:02", "a 2016-03-07 09:05:02"}));

    // A listener bound to an object is detached before the object goes; then nothing calls
    // it (the sanitizer build would see a call on the freed object).
    auto* temporary = new Listener{"temporary", true};
    const Proc procTemporary(&Listener::onModify, temporary);
    Infra::CTime::attachModifyProc(procTemporary);
    Listener unrelated{"unrelated", true};
    EXPECT_FALSE(Infra::CTime::detachModifyProc(Proc(&Listener::onModify, &unrelated)))
        << "the same function bound to another object is not attached";
    EXPECT_TRUE(Infra::CTime::detachModifyProc(procTemporary));
    delete temporary;
    EXPECT_TRUE(Infra::CTime::detachModifyProc(procA));
    EXPECT_FALSE(Infra::CTime::detachModifyProc(procA));
    g_log.clear();
    EXPECT_TRUE(Infra::CTime::setCurrentTimeEx(Infra::CTime(2016, 3, 7, 9, 5, 3), 0));
    EXPECT_EQ(g_log, std::vector<std::string>{"b 2016-03-07 09:05:03"});

    // With the last one detached the setter is back to having no listener.
    EXPECT_TRUE(Infra::CTime::detachModifyProc(procB));
    OrlixTest::PrintCapture capture;
    Infra::setPrintLogLevel(4);
    Infra::CTime::setCurrentTime(Infra::CTime(2016, 3, 7, 9, 5, 4), 0);
    EXPECT_TRUE(capture.contains("CTime::setCurrentTime() success without callback function\n"));
    EXPECT_EQ(g_log.size(), 1u);
}

namespace {

// A listener that detaches listeners during its call: itself, or the one after it.
struct Detacher
{
    const char* name;
    TFunction1<bool, Infra::SystemTime> target;
    bool onModify(Infra::SystemTime time)
    {
        g_log.push_back(std::string(name) + " " + show(time));
        g_log.push_back(Infra::CTime::detachModifyProc(target) ? "detached" : "not attached");
        return true;
    }
};

} // namespace

TEST_F(SetTimeTest, AListenerMayDetachDuringItsCall)
{
    using Proc = TFunction1<bool, Infra::SystemTime>;
    Listener later{"later", true};
    Detacher self{"self", {}};
    self.target = Proc(&Detacher::onModify, &self);
    Detacher other{"other", Proc(&Listener::onModify, &later)};
    Infra::CTime::attachModifyProc(self.target);
    Infra::CTime::attachModifyProc(Proc(&Detacher::onModify, &other));
    Infra::CTime::attachModifyProc(other.target);

    // "later" was in the list when the setter started, but is detached before its turn.
    Infra::CTime::setCurrentTime(Infra::CTime(2016, 3, 7, 9, 5, 2), 0);
    Infra::CTime::setCurrentTime(Infra::CTime(2016, 3, 7, 9, 5, 3), 0);
    const std::vector<std::string> expected = {"self 2016-03-07 09:05:02",  "detached",
                                               "other 2016-03-07 09:05:02", "detached",
                                               "other 2016-03-07 09:05:03", "not attached"};
    EXPECT_EQ(g_log, expected);
}

TEST_F(SetTimeTest, HooksReplaceTheBuiltInSettersAndCanChainToThem)
{
    const TFunction2<void, const Infra::CTime&, int> custom(&failingHook);
    const TFunction2<void, const Infra::CTime&, int> builtIn =
        Infra::CTime::attachSetCurrentTimeHook(custom);

    // The hook gets a normalised copy and the tolerance; 0x1000000F counts as a failure.
    Infra::CTime unnormalised(2016, 2, 1, 0, 0, 0);
    unnormalised.day = 30;
    unnormalised.hour = 25;
    EXPECT_FALSE(Infra::CTime::setCurrentTimeEx(unnormalised, 7));
    EXPECT_EQ(getLastError(), 0x1000000F);
    EXPECT_TRUE(g_systemCalls.empty());

    // The previous hook is the built-in setter; reattaching it returns the custom one.
    builtIn(Infra::CTime(2016, 3, 7, 9, 5, 2), 0);
    ASSERT_EQ(g_systemCalls.size(), 1u);
    EXPECT_TRUE(Infra::CTime::attachSetCurrentTimeHook(builtIn) == custom);

    // The Ex hook gets a fresh record: weekday computed, reserved fields 0.
    Infra::CTime::attachSetCurrentTimeHookEx(
        TFunction2<void, const SystemTimeEx&, int>(&recordingHookEx));
    EXPECT_TRUE(Infra::CTime::setCurrentTime(makeEx(2016, 3, 7, 9, 45, 10, 999), 3));
    const std::vector<std::string> expected = {
        "hook 2016-02-28 23:59:59 7", "hookEx 2016-03-07 09:45:10 ms 999 wday 1 reserved 0 3"};
    EXPECT_EQ(g_log, expected);
    EXPECT_EQ(g_systemCalls.size(), 1u);
}

// Lambdas with captures are listeners and hooks as they stand.
TEST_F(SetTimeTest, LambdasAreListenersAndHooks)
{
    std::vector<std::string> seen;
    auto saw = [&seen](const std::string& entry) {
        return std::find(seen.begin(), seen.end(), entry) != seen.end();
    };
    EXPECT_TRUE(Infra::CTime::attachModifyProc([&seen](Infra::SystemTime time) {
        seen.push_back("proc " + show(time));
        return true;
    }));
    EXPECT_TRUE(Infra::CTime::setCurrentTimeEx(Infra::CTime(1999, 1, 1, 0, 0, 0), 0));
    EXPECT_TRUE(saw("proc 2000-01-01 00:00:00"));

    Infra::CTime::attachSetCurrentTimeHook([&seen](const Infra::CTime& time, int tolerance) {
        seen.push_back("hook " + show(time) + " " + std::to_string(tolerance));
    });
    Infra::CTime::setCurrentTimeEx(Infra::CTime(2016, 3, 7, 9, 5, 2), 1);
    EXPECT_TRUE(saw("hook 2016-03-07 09:05:02 1"));

    Infra::CTime::attachSetCurrentTimeHookEx([&seen](const SystemTimeEx& time, int tolerance) {
        seen.push_back("hookEx " + show(time) + " " + std::to_string(tolerance));
    });
    Infra::CTime::setCurrentTime(makeEx(2016, 3, 7, 9, 45, 10, 0), 3);
    EXPECT_TRUE(saw("hookEx 2016-03-07 09:45:10 3"));
}
