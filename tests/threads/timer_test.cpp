// Timers: firing, order, dropping, stop variants, periods, statistics, the idle pool, waiting
// for callbacks, the watchdog and the timer table.
#include "infra/print.h"
#include "infra/thread.h"
#include "infra/threadmanager.h"
#include "infra/timer.h"
#include "infra3/clock.h"
#include "infra3/singleton.h"
#include "infra3/timer_internal.h"
#include "support/testsupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
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
using OrlixTest::PrintCapture;
using OrlixTest::waitFor;

namespace {

// A latch the test opens to let blocked callbacks go on.
class Gate
{
public:
    void wait()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait(lock, [&] { return m_open; });
    }
    void open()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_open = true;
        m_changed.notify_all();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_open = false;
};

// A callback target that counts its calls, watches for overlapping calls and runs an optional
// action inside each call.
class Probe
{
public:
    std::function<void(unsigned long)> action;
    std::atomic<int> entered{0};
    std::atomic<int> completed{0};
    std::atomic<int> maxInside{0};
    std::atomic<int> threadId{0};
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

// One row of the timer table.
struct Row
{
    std::string name;
    unsigned long long next = 0;
    unsigned long long runningMs = 0;
    unsigned long period = 0;
    int used = 0;
    unsigned long timeout = 0;
    std::string state;
};

void bareInfoPrinting()
{
    Orlix::Infra::PrintOptions bare;
    bare.hideTime = bare.hideColor = bare.hideModule = bare.hideLevel = bare.hideThreadId =
        bare.hideVersion = bare.hideFunction = bare.hideFile = bare.hideLine = true;
    Orlix::Infra::setPrintOptions(bare);
    Orlix::Infra::setPrintLogLevel(4);
}

// The timer table exactly as printed.
std::string dumpText()
{
    PrintCapture capture;
    bareInfoPrinting();
    CTimerManager::instance()->dumpTimers();
    Orlix::Infra::setPrintLogLevel(3);
    return capture.text();
}

// The table's rows (the four fixed lines skipped); elapsed receives the heading's reading.
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
        char name[64] = {};
        char state[16] = {};
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

TEST(Timer, DelayZeroHandsOutTheCallBeforeReturning)
{
    Gate gate;
    Probe probe;
    probe.action = [&](unsigned long) { gate.wait(); };
    CTimer timer("now");
    EXPECT_FALSE(timer.isStarted());
    EXPECT_FALSE(timer.isCalled());
    ASSERT_TRUE(timer.start(probe.delegate(), 0, 0, 77));
    // Handed out already: the one-shot timer is stopped, called and running.
    EXPECT_FALSE(timer.isStarted());
    EXPECT_TRUE(timer.isCalled());
    EXPECT_TRUE(timer.isRunning());
    gate.open();
    ASSERT_TRUE(waitFor([&] { return probe.completed == 1 && !timer.isRunning(); }));
    EXPECT_EQ(probe.param, 77u);
    EXPECT_NE(probe.threadId, CThread::getCurrentThreadID());
    // A new start clears "called" until it fires again.
    ASSERT_TRUE(timer.start(probe.delegate(), 100000, 0));
    EXPECT_TRUE(timer.isStarted());
    EXPECT_FALSE(timer.isCalled());
    EXPECT_TRUE(timer.stop());
}

TEST(Timer, RefusedStartsAndStops)
{
    PrintCapture capture;
    CTimer timer("refused");
    EXPECT_FALSE(timer.stop());
    EXPECT_FALSE(timer.stop(true));
    EXPECT_FALSE(timer.start(TFunction1<void, unsigned long>(), 10, 10));
    EXPECT_FALSE(timer.isStarted());
    EXPECT_TRUE(capture.contains("CTimer::start 'refused' refused: empty callback!"));
    EXPECT_TRUE(timer.stopAndWait()) << "nothing to wait for";
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

TEST(Timer, EarlierDueTimeIsHandedOutFirst)
{
    const int warm = warmOnePooledThread();
    Gate gate;
    Probe early;
    Probe late;
    // The early call holds the warm thread until the late one has started elsewhere.
    early.action = [&](unsigned long) { gate.wait(); };
    late.action = [&](unsigned long) { gate.open(); };
    CTimer lateTimer("late");
    CTimer earlyTimer("early");
    {
        // Both count their delay from the same tick.
        TGuard<CRecursiveMutex> hold(TimerManagerInternal::mutex());
        ASSERT_TRUE(lateTimer.start(late.delegate(), 60, 0));
        ASSERT_TRUE(earlyTimer.start(early.delegate(), 30, 0));
    }
    ASSERT_TRUE(waitFor([&] { return early.completed == 1 && late.completed == 1; }));
    EXPECT_EQ(early.threadId, warm);
    EXPECT_NE(late.threadId, warm);
}

TEST(Timer, AmongEqualDueTimesTheLastStartedFiresFirst)
{
    const int warm = warmOnePooledThread();
    Probe first;
    Probe second;
    CTimer firstTimer("first");
    CTimer secondTimer("second");
    {
        TGuard<CRecursiveMutex> hold(TimerManagerInternal::mutex());
        ASSERT_TRUE(firstTimer.start(first.delegate(), 30, 0));
        ASSERT_TRUE(secondTimer.start(second.delegate(), 30, 0));
    }
    // Both fire in one tick, under the lock: the first handed out takes the idle thread.
    ASSERT_TRUE(waitFor([&] { return first.completed == 1 && second.completed == 1; }));
    EXPECT_EQ(second.threadId, warm);
    EXPECT_NE(first.threadId, warm);
}

TEST(Timer, TableListsTimersInFiringOrder)
{
    Probe probe;
    CTimer a("a");
    CTimer b("b");
    CTimer c("c");
    CTimer d("d");
    {
        TGuard<CRecursiveMutex> hold(TimerManagerInternal::mutex());
        ASSERT_TRUE(a.start(probe.delegate(), 5000, 0));
        ASSERT_TRUE(b.start(probe.delegate(), 5000, 0));
        ASSERT_TRUE(c.start(probe.delegate(), 5000, 0));
        ASSERT_TRUE(d.start(probe.delegate(), 2000, 0));
    }
    std::vector<Row> rows = dumpRows();
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0].name, "d");
    EXPECT_EQ(rows[1].name, "c");
    EXPECT_EQ(rows[2].name, "b");
    EXPECT_EQ(rows[3].name, "a");
    // Restarted to the same due time, b enters the list again: now it goes ahead of c.
    {
        TGuard<CRecursiveMutex> hold(TimerManagerInternal::mutex());
        const uint64 delay = rows[1].next - manager()->now();
        ASSERT_TRUE(b.start(probe.delegate(), static_cast<unsigned int>(delay), 0));
    }
    rows = dumpRows();
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[1].name, "b");
    EXPECT_EQ(rows[2].name, "c");
    EXPECT_TRUE(b.stop());
    rows = dumpRows();
    ASSERT_EQ(rows.size(), 3u) << "stopped timers are not listed";
}

TEST(Timer, TableTextIsExact)
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
}

TEST(Timer, RunningRowShowsHowLongTheCallRuns)
{
    Gate gate;
    Probe probe;
    probe.action = [&](unsigned long) { gate.wait(); };
    CTimer timer("busy");
    ASSERT_TRUE(timer.start(probe.delegate(), 0, 1000000, 0, 300));
    Row row = rowOf("busy");
    EXPECT_EQ(row.state, "Running");
    EXPECT_EQ(row.timeout, 300u);
    Orlix::Infra::Detail::advanceClockForTesting(5000);
    EXPECT_TRUE(waitFor([&] { return rowOf("busy").used >= 5000; }));
    gate.open();
    ASSERT_TRUE(waitFor([&] { return !timer.isRunning(); }));
    row = rowOf("busy");
    EXPECT_EQ(row.state, "Idle");
    EXPECT_EQ(row.used, 0);
}

TEST(Timer, CallsOfOneTimerNeverOverlap)
{
    Gate gate;
    Probe once;
    once.action = [&](unsigned long) { gate.wait(); };
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
            gate.wait();
    };
    CTimer repeating("slow-periodic");
    ASSERT_TRUE(repeating.start(periodic.delegate(), 0, 10));
    ASSERT_TRUE(waitFor([&] { return periodic.entered == 1; }));
    CThread::sleep(100);
    EXPECT_EQ(periodic.entered, 1);
    gate.open();
    ASSERT_TRUE(waitFor([&] { return periodic.completed >= 3 && !oneShot.isRunning(); }));
    ASSERT_TRUE(repeating.stopAndWait());
    EXPECT_EQ(once.completed, 1);
    EXPECT_EQ(periodic.maxInside, 1);
}

TEST(Timer, MissedPeriodsAreSkippedNotMadeUp)
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
}

TEST(Timer, SetPeriodTimeMovesTheNextDueTime)
{
    Probe probe;
    CTimer timer("period");
    ASSERT_TRUE(timer.start(probe.delegate(), 100000, 1000));
    const Row before = rowOf("period");
    timer.setPeriodTime(500);
    const Row after = rowOf("period");
    EXPECT_EQ(after.next + 500, before.next);
    EXPECT_EQ(after.period, 500u);
    timer.setPeriodTime(1500);
    EXPECT_EQ(rowOf("period").next, before.next + 500);
    EXPECT_TRUE(timer.isStarted());

    // On a stopped timer the values change too; a due time cannot fall below 0.
    CTimer stopped("stopped");
    stopped.setPeriodTime(10);
    EXPECT_FALSE(stopped.isStarted());
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
    auto runTogether = [&](std::vector<int>* threadIds) {
        Gate gate;
        Probe probes[kTimers];
        std::vector<std::unique_ptr<CTimer>> timers;
        for (int i = 0; i < kTimers; ++i) {
            probes[i].action = [&](unsigned long) { gate.wait(); };
            timers.push_back(std::make_unique<CTimer>("pooled"));
            EXPECT_TRUE(timers.back()->start(probes[i].delegate(), 0, 0));
        }
        EXPECT_TRUE(waitFor([&] {
            for (const Probe& probe : probes) {
                if (probe.entered == 0)
                    return false;
            }
            return true;
        }));
        EXPECT_EQ(manager()->idleCount(), 0);
        EXPECT_EQ(manager()->pooledCount(), kTimers) << "created only when none was idle";
        gate.open();
        for (auto& timer : timers)
            EXPECT_TRUE(timer->stopAndWait());
        if (threadIds != nullptr) {
            for (const Probe& probe : probes)
                threadIds->push_back(probe.threadId);
        }
    };

    EXPECT_TRUE(CTimerManager::instance()->limitIdlePooled(2));
    std::vector<int> ids;
    runTogether(&ids);
    ASSERT_TRUE(waitFor([&] { return manager()->pooledCount() == 2; }));
    EXPECT_EQ(manager()->idleCount(), 2);
    int registered = 0;
    for (int id : ids)
        registered += CThreadManager::instance()->hasThread(id) ? 1 : 0;
    EXPECT_TRUE(waitFor([&] {
        registered = 0;
        for (int id : ids)
            registered += CThreadManager::instance()->hasThread(id) ? 1 : 0;
        return registered == 2;
    })) << "three of the five threads ended";

    EXPECT_TRUE(CTimerManager::instance()->limitIdlePooled(0));
    runTogether(nullptr);
    ASSERT_TRUE(waitFor([&] { return manager()->idleCount() == kTimers; }));
    EXPECT_TRUE(CTimerManager::instance()->limitIdlePooled(-4));
    runTogether(nullptr);
    ASSERT_TRUE(waitFor([&] { return manager()->idleCount() == kTimers; }));
    EXPECT_EQ(manager()->pooledCount(), kTimers);
}

TEST(Timer, StopAndWaitWaitsForTheRunningCallbackAndLogsOnce)
{
    std::atomic<bool> done{false};
    Gate gate;
    Probe probe;
    probe.action = [&](unsigned long) {
        gate.wait();
        CThread::sleep(30);
        done = true;
    };
    CTimer timer("waiter");
    PrintCapture capture;
    Orlix::Infra::setPrintLogLevel(4);
    ASSERT_TRUE(timer.start(probe.delegate(), 0, 0));
    ASSERT_TRUE(waitFor([&] { return probe.entered == 1; }));
    // The callback goes on only once stopAndWait has said that it waits.
    std::thread opener([&] {
        waitFor([&] { return capture.contains("wait callback exit!"); });
        gate.open();
    });
    EXPECT_TRUE(timer.stopAndWait());
    opener.join();
    EXPECT_TRUE(done);
    EXPECT_FALSE(timer.isRunning());
    Orlix::Infra::setPrintLogLevel(3);
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
    Probe restarting;
    CTimer restarter("restarter");
    restarting.action = [&](unsigned long) {
        CThread::sleep(50); // stopAndWait is waiting by now
        restarter.start(restarting.delegate(), 10, 10);
    };
    ASSERT_TRUE(restarter.start(restarting.delegate(), 0, 0));
    ASSERT_TRUE(waitFor([&] { return restarting.entered == 1; }));
    EXPECT_TRUE(restarter.stopAndWait());
    EXPECT_FALSE(restarter.isStarted());
    EXPECT_FALSE(restarter.isRunning());
    const int calls = restarting.entered;
    CThread::sleep(60);
    EXPECT_EQ(restarting.entered, calls) << "no call after stopAndWait returned";
    EXPECT_EQ(self.entered, 1);
}

TEST(Timer, WatchdogMarksAPooledThreadWhileItsCallRuns)
{
    Gate gate;
    Probe probe;
    probe.action = [&](unsigned long) { gate.wait(); };
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
    EXPECT_NE(names.find("watched-call(" + std::to_string(id) + ")"), std::string::npos) << names;
    gate.open();
    ASSERT_TRUE(waitFor([&] { return !timer.isRunning(); }));
    ASSERT_TRUE(CThreadManager::instance()->getThreadNameByID(id, name));
    EXPECT_EQ(name, "[Pooled]");
    // The manager's own deadline is renewed each tick; wait for one past the jump.
    EXPECT_TRUE(waitFor([&] { return !CThreadManager::instance()->getTimeOutThreads(names); }));
}

TEST(Timer, NamesKeep31Characters)
{
    CTimer timer("0123456789012345678901234567890123456789");
    EXPECT_STREQ(timer.getName(), "0123456789012345678901234567890");
    timer.setName("short");
    EXPECT_STREQ(timer.getName(), "short");
}

TEST(Timer, ManagerEndingWhileACallbackRunsLeavesItToFinish)
{
    Gate gate;
    Probe probe;
    probe.action = [&](unsigned long) { gate.wait(); };
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
    gate.open();
    EXPECT_TRUE(waitFor([&] { return !CThreadManager::instance()->hasThread(id); }))
        << "the pooled thread ended after its callback";

    // Timers work again with a fresh manager.
    Probe again;
    ASSERT_TRUE(idleTimer.start(again.delegate(), 0, 0));
    EXPECT_TRUE(waitFor([&] { return again.completed == 1; }));
}
