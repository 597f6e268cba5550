// Timers: firing, order, dropping, stop variants, periods, statistics, the idle pool, waiting
// for callbacks, the watchdog and the timer table.
#include "threads_test_util.h"

#include "infra/threadmanager.h"
#include "infra/timer.h"
#include "infra3/clock.h"
#include "infra3/singleton.h"
#include "infra3/timer_internal.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <memory>
#include <sstream>
#include <thread>
#include <vector>

using Orlix::uint64;
using Orlix::Infra::CRecursiveMutex;
using Orlix::Infra::CThread;
using Orlix::Infra::CThreadManager;
using Orlix::Infra::CTimer;
using Orlix::Infra::CTimerManager;
using Orlix::Infra::flex_string;
using Orlix::Infra::TFunction1;
using Orlix::Infra::TGuard;
using Orlix::Infra::TimerManagerInternal;
using namespace OrlixTest;

namespace {

// A callback target that counts its calls, watches for overlapping calls and, inside each
// call, waits for its gate when told to block, then runs an optional action.
class Probe
{
public:
    bool blocks = false;
    Gate gate;
    std::function<void(unsigned long)> action;
    std::atomic<int> entered{0}, completed{0}, maxInside{0}, threadId{0};
    std::atomic<unsigned long> param{0};

    TFunction1<void, unsigned long> delegate()
    {
        return TFunction1<void, unsigned long>(&Probe::call, this);
    }

private:
    void call(unsigned long p)
    {
        const int now = ++m_inside;
        int seen = maxInside.load();
        while (now > seen && !maxInside.compare_exchange_weak(seen, now)) {
        }
        threadId = CThread::getCurrentThreadID();
        param = p;
        ++entered;
        if (blocks)
            gate.wait();
        if (action)
            action(p);
        ++completed;
        --m_inside;
    }
    std::atomic<int> m_inside{0};
};

TimerManagerInternal* manager()
{
    return TimerManagerInternal::instance();
}

std::string dumpText()
{
    const CTimerManager* timers = CTimerManager::instance(); // printing changes nothing
    return printedBare([timers] { timers->dumpTimers(); });
}

// One row of the timer table.
struct Row
{
    std::string name, state;
    unsigned long long next = 0, runningMs = 0;
    unsigned long period = 0, timeout = 0;
    int used = 0;
};

// The table's rows (the three heading lines skipped); elapsed receives the heading's reading.
std::vector<Row> dumpRows(unsigned long long* elapsed = nullptr)
{
    std::istringstream in(dumpText());
    std::string line;
    std::getline(in, line);
    if (elapsed != nullptr)
        std::sscanf(line.c_str(), "Timers: ( %llu Milli-Seconds Elapsed )", elapsed);
    std::getline(in, line);
    std::getline(in, line);
    std::vector<Row> rows;
    while (std::getline(in, line) && !line.empty()) {
        Row row;
        char name[64] = {}, state[16] = {};
        std::sscanf(line.c_str(), "%63s %llu %llu %lu %d/%lu %15s", name, &row.next, &row.runningMs,
                    &row.period, &row.used, &row.timeout, state);
        row.name = name;
        row.state = state;
        rows.push_back(row);
    }
    return rows;
}

Row rowOf(const char* name)
{
    for (const Row& row : dumpRows()) {
        if (row.name == name)
            return row;
    }
    ADD_FAILURE() << "no row " << name;
    return Row();
}

// Makes exactly one idle pooled thread exist and returns its identifier.
int warmOnePooledThread()
{
    Probe warm;
    CTimer timer("warm-up");
    EXPECT_TRUE(timer.start(warm.delegate(), 0, 0));
    EXPECT_TRUE(waitFor([&] { return warm.completed == 1 && !timer.isRunning(); }));
    EXPECT_EQ(manager()->idleCount(), 1);
    return warm.threadId;
}

} // namespace

TEST(Timer, DelayZeroHandsOutTheCallBeforeReturningRefusalsAndNames)
{
    Probe probe;
    probe.blocks = true;
    CTimer timer("now");
    const CTimer& view = timer; // the queries change nothing
    EXPECT_FALSE(view.isStarted());
    EXPECT_FALSE(view.isCalled());
    EXPECT_STREQ(view.getName(), "now");
    ASSERT_TRUE(timer.start(probe.delegate(), 0, 0, 77));
    // Handed out already: the one-shot timer is stopped, called and running.
    EXPECT_FALSE(view.isStarted());
    EXPECT_TRUE(view.isCalled());
    EXPECT_TRUE(view.isRunning());
    probe.gate.open();
    ASSERT_TRUE(waitFor([&] { return probe.completed == 1 && !timer.isRunning(); }));
    EXPECT_EQ(probe.param, 77u);
    EXPECT_NE(probe.threadId, CThread::getCurrentThreadID());
    // A new start clears "called" until it fires again.
    ASSERT_TRUE(timer.start(probe.delegate(), 100000, 0));
    EXPECT_TRUE(timer.isStarted());
    EXPECT_FALSE(timer.isCalled());
    EXPECT_TRUE(timer.stop());

    PrintCapture capture;
    CTimer refused("0123456789012345678901234567890123456789");
    EXPECT_STREQ(refused.getName(), "0123456789012345678901234567890");
    refused.setName("refused");
    EXPECT_FALSE(refused.stop());
    EXPECT_FALSE(refused.stop(true));
    EXPECT_FALSE(refused.start(TFunction1<void, unsigned long>(), 10, 10));
    EXPECT_FALSE(refused.isStarted());
    EXPECT_TRUE(capture.contains("CTimer::start 'refused' refused: empty callback!"));
    EXPECT_TRUE(refused.stopAndWait()) << "nothing to wait for";
}

// A lambda is a timer procedure as it stands. Its captures live in the timer until it is
// destroyed; the pooled thread that ran a call keeps no copy once the call has returned.
TEST(Timer, ALambdaIsAProcedureAndIsReleasedWithItsTimer)
{
    std::atomic<unsigned long> got{0};
    auto token = std::make_shared<int>(0);
    {
        CTimer timer("lambda");
        ASSERT_TRUE(timer.start([&got, token](unsigned long p) { got = p + *token; }, 0, 0, 9));
        ASSERT_TRUE(waitFor([&] { return got == 9 && !timer.isRunning(); }));
        EXPECT_EQ(token.use_count(), 2); // the timer's own copy
    }
    EXPECT_EQ(token.use_count(), 1);
}

TEST(Timer, StopTrueFiresAPendingOneShotAndOnlyStopsAPeriodic)
{
    Probe once;
    CTimer oneShot("one-shot");
    ASSERT_TRUE(oneShot.start(once.delegate(), 100000, 0, 5));
    EXPECT_TRUE(oneShot.stop(true));
    EXPECT_FALSE(oneShot.isStarted());
    EXPECT_TRUE(oneShot.isCalled());
    ASSERT_TRUE(waitFor([&] { return once.completed == 1; }));
    EXPECT_EQ(once.param, 5u);
    EXPECT_FALSE(oneShot.stop(true)) << "already stopped";

    Probe periodic;
    CTimer repeating("periodic");
    {
        // No tick between start and stop.
        TGuard<CRecursiveMutex> hold(TimerManagerInternal::mutex());
        ASSERT_TRUE(repeating.start(periodic.delegate(), 20, 20));
        EXPECT_TRUE(repeating.stop(true));
    }
    EXPECT_FALSE(repeating.isStarted());
    EXPECT_FALSE(repeating.isCalled());
    CThread::sleep(100); // well past its due time
    EXPECT_EQ(periodic.entered, 0);
}

// Earliest due first; among equal due times the timer started last first. The first call
// handed out in a tick takes the one idle pooled thread; the others get new threads.
TEST(Timer, FiringOrderIsDueTimeThenLastStartedFirst)
{
    const int warm = warmOnePooledThread();
    Probe first, second, late;
    CTimer firstTimer("first"), secondTimer("second"), lateTimer("late");
    {
        // All count their delay from the same tick.
        TGuard<CRecursiveMutex> hold(TimerManagerInternal::mutex());
        ASSERT_TRUE(firstTimer.start(first.delegate(), 30, 0));
        ASSERT_TRUE(secondTimer.start(second.delegate(), 30, 0));
        ASSERT_TRUE(lateTimer.start(late.delegate(), 60, 0)); // started last, due later
    }
    ASSERT_TRUE(waitFor([&] { return first.completed + second.completed + late.completed == 3; }));
    EXPECT_EQ(second.threadId, warm);
    EXPECT_NE(first.threadId, warm);
}

TEST(Timer, TableListsTimersInFiringOrder)
{
    Probe probe;
    CTimer a("a"), b("b"), c("c"), d("d");
    {
        TGuard<CRecursiveMutex> hold(TimerManagerInternal::mutex());
        for (CTimer* timer : {&a, &b, &c})
            ASSERT_TRUE(timer->start(probe.delegate(), 5000, 0));
        ASSERT_TRUE(d.start(probe.delegate(), 2000, 0));
    }
    std::vector<Row> rows = dumpRows();
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0].name + rows[1].name + rows[2].name + rows[3].name, "dcba");
    // Restarted to the same due time, b enters the list again: now it goes ahead of c.
    {
        TGuard<CRecursiveMutex> hold(TimerManagerInternal::mutex());
        const uint64 delay = rows[1].next - manager()->now();
        ASSERT_TRUE(b.start(probe.delegate(), static_cast<unsigned int>(delay), 0));
    }
    rows = dumpRows();
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[1].name + rows[2].name, "bc");
    EXPECT_TRUE(b.stop());
    EXPECT_EQ(dumpRows().size(), 3u) << "stopped timers are not listed";
}

TEST(Timer, TableTextIsExactAndARunningRowShowsHowLongTheCallRuns)
{
    unsigned long long elapsed = 0;
    const std::string empty = dumpText();
    std::sscanf(empty.c_str(), "Timers: ( %llu Milli-Seconds Elapsed )", &elapsed);
    const std::string header = "            Name            NextTime RunningTime Period   "
                               "Used/Timeout State\n" +
                               std::string(76, '_') + "\n";
    EXPECT_EQ(empty, "Timers: ( " + std::to_string(elapsed) + " Milli-Seconds Elapsed )\n" +
                         header + "\n");

    Probe probe;
    CTimer timer("table-row");
    uint64 now = 0;
    {
        TGuard<CRecursiveMutex> hold(TimerManagerInternal::mutex());
        now = manager()->now();
        ASSERT_TRUE(timer.start(probe.delegate(), 90000, 250, 0, 77));
    }
    char expected[160];
    std::snprintf(expected, sizeof(expected), "%24s %11llu %11llu %6lu %6d/%6lu %s\n", "table-row",
                  static_cast<unsigned long long>(now + 90000), 0ull, 250ul, 0, 77ul, "Idle");
    const std::string text = dumpText();
    EXPECT_NE(text.find(header + expected + "\n"), std::string::npos) << text;

    Probe busy;
    busy.blocks = true;
    CTimer busyTimer("busy");
    ASSERT_TRUE(busyTimer.start(busy.delegate(), 0, 1000000, 0, 300));
    Row row = rowOf("busy");
    EXPECT_EQ(row.state, "Running");
    EXPECT_EQ(row.timeout, 300u);
    Orlix::Infra::Detail::advanceClockForTesting(5000);
    EXPECT_TRUE(waitFor([&] { return rowOf("busy").used >= 5000; }));
    busy.gate.open();
    ASSERT_TRUE(waitFor([&] { return !busyTimer.isRunning(); }));
    row = rowOf("busy");
    EXPECT_EQ(row.state, "Idle");
    EXPECT_EQ(row.used, 0);
}

TEST(Timer, CallsOfOneTimerNeverOverlap)
{
    Probe once;
    once.blocks = true;
    CTimer oneShot("overlap");
    ASSERT_TRUE(oneShot.start(once.delegate(), 0, 0));
    ASSERT_TRUE(waitFor([&] { return once.entered == 1; }));
    // The previous call still runs: this one is dropped, yet counts as called.
    EXPECT_FALSE(oneShot.start(once.delegate(), 0, 0));
    EXPECT_TRUE(oneShot.isCalled());
    EXPECT_FALSE(oneShot.isStarted());

    // A periodic timer whose first call outlasts about ten periods is called again only
    // after that call has returned.
    Probe periodic;
    periodic.action = [&](unsigned long) {
        if (periodic.entered == 1)
            once.gate.wait();
    };
    CTimer repeating("slow-periodic");
    ASSERT_TRUE(repeating.start(periodic.delegate(), 0, 10));
    ASSERT_TRUE(waitFor([&] { return periodic.entered == 1; }));
    CThread::sleep(100);
    EXPECT_EQ(periodic.entered, 1);
    once.gate.open();
    ASSERT_TRUE(waitFor([&] { return periodic.completed >= 3 && !oneShot.isRunning(); }));
    ASSERT_TRUE(repeating.stopAndWait());
    EXPECT_EQ(once.completed, 1);
    EXPECT_EQ(periodic.maxInside, 1);
}

TEST(Timer, MissedPeriodsAreSkippedAndSetPeriodTimeMovesTheDueTime)
{
    Probe probe;
    CTimer timer("skipper");
    uint64 start = 0;
    {
        TGuard<CRecursiveMutex> hold(TimerManagerInternal::mutex());
        start = manager()->now();
        ASSERT_TRUE(timer.start(probe.delegate(), 100000, 100000));
    }
    // Ten and a half periods pass at once.
    Orlix::Infra::Detail::advanceClockForTesting(1050000);
    ASSERT_TRUE(waitFor([&] { return probe.completed == 1; }));
    unsigned long long elapsed = 0;
    const std::vector<Row> rows = dumpRows(&elapsed);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ((rows[0].next - start) % 100000, 0u) << "due times stay on the period grid";
    EXPECT_GT(rows[0].next, elapsed);
    EXPECT_LE(rows[0].next, elapsed + 100000);
    CThread::sleep(60);
    EXPECT_EQ(probe.entered, 1);

    // A new period moves the next due time by the difference.
    timer.setPeriodTime(99000);
    EXPECT_EQ(rowOf("skipper").next + 1000, rows[0].next);
    EXPECT_EQ(rowOf("skipper").period, 99000u);
    timer.setPeriodTime(101000);
    EXPECT_EQ(rowOf("skipper").next, rows[0].next + 1000);
    EXPECT_TRUE(timer.stop());
}

TEST(Timer, StatisticsCountTimeInTheCallbackAfterStart)
{
    Probe measured;
    measured.action = [](unsigned long) { CThread::sleep(30); };
    Probe unmeasured;
    unmeasured.action = [](unsigned long) { CThread::sleep(5); };
    CTimer on("measured");
    CTimer off("unmeasured");
    off.enableStat(true); // start() turns it off again
    ASSERT_TRUE(off.start(unmeasured.delegate(), 20, 20));
    ASSERT_TRUE(on.start(measured.delegate(), 20, 20));
    on.enableStat(true);
    EXPECT_TRUE(waitFor([&] { return rowOf("measured").runningMs >= 60; }));
    ASSERT_TRUE(waitFor([&] { return unmeasured.completed >= 2; }));
    EXPECT_EQ(rowOf("unmeasured").runningMs, 0u);
    on.enableStat(false);
    EXPECT_TRUE(on.stopAndWait());
    EXPECT_TRUE(off.stopAndWait());
}

TEST(Timer, IdleLimitEndsSurplusThreadsAndCanBeLifted)
{
    constexpr int kTimers = 5;
    std::vector<int> ids; // the pooled threads' identifiers
    auto runTogether = [&] {
        Gate gate;
        Probe probes[kTimers];
        std::vector<std::unique_ptr<CTimer>> timers;
        for (Probe& probe : probes) {
            probe.action = [&](unsigned long) { gate.wait(); };
            timers.push_back(std::make_unique<CTimer>("pooled"));
            EXPECT_TRUE(timers.back()->start(probe.delegate(), 0, 0));
        }
        EXPECT_TRUE(waitFor([&] {
            return std::all_of(std::begin(probes), std::end(probes),
                               [](const Probe& probe) { return probe.entered == 1; });
        }));
        EXPECT_EQ(manager()->idleCount(), 0);
        EXPECT_EQ(manager()->pooledCount(), kTimers) << "created only when none was idle";
        gate.open();
        ids.clear();
        for (int i = 0; i < kTimers; ++i) {
            EXPECT_TRUE(timers[i]->stopAndWait());
            ids.push_back(probes[i].threadId);
        }
    };

    EXPECT_TRUE(CTimerManager::instance()->limitIdlePooled(2));
    runTogether();
    ASSERT_TRUE(waitFor([&] { return manager()->pooledCount() == 2; }));
    EXPECT_EQ(manager()->idleCount(), 2);
    EXPECT_TRUE(waitFor([&] {
        return std::count_if(ids.begin(), ids.end(),
                             [](int id) { return CThreadManager::instance()->hasThread(id); }) == 2;
    })) << "three of the five threads ended";

    EXPECT_TRUE(CTimerManager::instance()->limitIdlePooled(0));
    runTogether();
    ASSERT_TRUE(waitFor([&] { return manager()->idleCount() == kTimers; }));
    EXPECT_TRUE(CTimerManager::instance()->limitIdlePooled(-4));
    runTogether();
    ASSERT_TRUE(waitFor([&] { return manager()->idleCount() == kTimers; }));
    EXPECT_EQ(manager()->pooledCount(), kTimers);
}

TEST(Timer, StopAndWaitWaitsForTheRunningCallbackAndLogsOnce)
{
    Probe probe;
    probe.blocks = true;
    probe.action = [](unsigned long) { CThread::sleep(30); };
    CTimer timer("waiter");
    PrintCapture capture;
    Orlix::Infra::setPrintLogLevel(4);
    ASSERT_TRUE(timer.start(probe.delegate(), 0, 0));
    ASSERT_TRUE(waitFor([&] { return probe.entered == 1; }));
    // The callback goes on only once stopAndWait has said that it waits.
    std::thread opener([&] {
        waitFor([&] { return capture.contains("wait callback exit!"); });
        probe.gate.open();
    });
    EXPECT_TRUE(timer.stopAndWait());
    opener.join();
    EXPECT_EQ(probe.completed, 1);
    EXPECT_FALSE(timer.isRunning());
    const std::string text = capture.text();
    const std::string message = "CTimer::Stop 'waiter' wait callback exit!\n";
    const size_t first = text.find(message);
    ASSERT_NE(first, std::string::npos) << text;
    EXPECT_EQ(text.find(message, first + 1), std::string::npos) << "logged once";
}

TEST(Timer, StopAndWaitInsideItsOwnCallback)
{
    // From inside its own callback it only stops the timer.
    std::atomic<int> result{-1};
    Probe self;
    CTimer selfStopping("self-stop");
    self.action = [&](unsigned long) { result = selfStopping.stopAndWait() ? 1 : 0; };
    ASSERT_TRUE(selfStopping.start(self.delegate(), 0, 10));
    ASSERT_TRUE(waitFor([&] { return self.completed == 1; }));
    EXPECT_EQ(result, 1);
    EXPECT_FALSE(selfStopping.isStarted());

    // A callback that restarts its timer while stopAndWait waits for it is stopped again.
    // The restart's first call is due long after stopAndWait's next look (10 ms rounds), so
    // a loaded machine cannot fire it inside the wait; left started, the timer would show.
    Probe restarting;
    CTimer restarter("restarter");
    restarting.action = [&](unsigned long) {
        CThread::sleep(50); // stopAndWait is waiting by now
        restarter.start(restarting.delegate(), 1000, 10);
    };
    ASSERT_TRUE(restarter.start(restarting.delegate(), 0, 0));
    ASSERT_TRUE(waitFor([&] { return restarting.entered == 1; }));
    EXPECT_TRUE(restarter.stopAndWait());
    EXPECT_FALSE(restarter.isStarted()) << "the restart was stopped again";
    EXPECT_FALSE(restarter.isRunning());
    EXPECT_EQ(restarting.entered, 1);
    EXPECT_EQ(self.entered, 1);
}

TEST(Timer, WatchdogMarksAPooledThreadWhileItsCallRuns)
{
    Probe probe;
    probe.blocks = true;
    CTimer timer("watched-call");
    // A watchdog far beyond any stall of a loaded machine, passed with the clock seam.
    ASSERT_TRUE(timer.start(probe.delegate(), 0, 0, 0, 100000));
    ASSERT_TRUE(waitFor([&] { return probe.entered == 1; }));
    const int id = probe.threadId;
    flex_string names;
    EXPECT_FALSE(CThreadManager::instance()->getTimeOutThreads(names));
    flex_string name;
    ASSERT_TRUE(CThreadManager::instance()->getThreadNameByID(id, name));
    EXPECT_EQ(name, "watched-call") << "the pooled thread carries the timer's name";
    Orlix::Infra::Detail::advanceClockForTesting(100001);
    ASSERT_TRUE(CThreadManager::instance()->getTimeOutThreads(names));
    // The list cuts each "(id)" to 7 characters.
    const std::string entry = "watched-call" + ("(" + std::to_string(id) + ")").substr(0, 7);
    EXPECT_NE(names.find(entry.c_str()), std::string::npos) << names;
    probe.gate.open();
    ASSERT_TRUE(waitFor([&] { return !timer.isRunning(); }));
    ASSERT_TRUE(CThreadManager::instance()->getThreadNameByID(id, name));
    EXPECT_EQ(name, "[Pooled]");
    // The manager's own deadline is renewed each tick; wait for one past the jump.
    EXPECT_TRUE(waitFor([&] { return !CThreadManager::instance()->getTimeOutThreads(names); }));
}

TEST(Timer, ManagerEndingWhileACallbackRunsLeavesItToFinish)
{
    Probe probe;
    probe.blocks = true;
    auto timer = std::make_unique<CTimer>("at-exit");
    Probe idle;
    CTimer idleTimer("idle-one");
    ASSERT_TRUE(idleTimer.start(idle.delegate(), 100000, 100000));
    ASSERT_TRUE(timer->start(probe.delegate(), 0, 100000));
    ASSERT_TRUE(waitFor([&] { return probe.entered == 1; }));
    const int id = probe.threadId;

    // What process exit does: the manager ends while the callback runs.
    Orlix::Infra::Detail::CSingleton<TimerManagerInternal>::destroy();
    EXPECT_EQ(TimerManagerInternal::peek(), nullptr);
    EXPECT_FALSE(timer->isStarted());
    EXPECT_FALSE(idleTimer.isStarted()) << "started timers left the ended manager's list";
    EXPECT_TRUE(timer->isRunning());
    timer.reset(); // returns at once; the pooled thread frees the record later
    probe.gate.open();
    EXPECT_TRUE(waitFor([&] { return !CThreadManager::instance()->hasThread(id); }))
        << "the pooled thread ended after its callback";

    // Timers work again with a fresh manager.
    Probe again;
    ASSERT_TRUE(idleTimer.start(again.delegate(), 0, 0));
    EXPECT_TRUE(waitFor([&] { return again.completed == 1; }));
}
