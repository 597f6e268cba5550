// Timers under load: several threads start, restart, stop, stopAndWait, re-period and
// recreate a thousand timers while their callbacks run (some of which start or stop their own
// timer). Checked throughout: calls of one timer never overlap, no call runs after stopAndWait
// returned, and when everything is over no thread of the library is left. A second case churns
// thousands of far-off timers from one thread per core while another keeps checking the
// manager's list, and then fires a batch of them to check their order.
#include "infra/thread.h"
#include "infra/threadmanager.h"
#include "infra/timer.h"
#include "infra3/singleton.h"
#include "infra3/timer_internal.h"
#include "support/testsupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <iterator>
#include <memory>
#include <random>
#include <thread>
#include <vector>

using Orlix::Infra::CThread;
using Orlix::Infra::CTimer;
using Orlix::Infra::TFunction1;
using Orlix::Infra::TimerManagerInternal;

namespace {

long threadsOfThisProcess()
{
    return std::distance(std::filesystem::directory_iterator("/proc/self/task"),
                         std::filesystem::directory_iterator());
}

std::atomic<long> g_overlaps{0};
std::atomic<long> g_callsAfterStopAndWait{0};
std::atomic<long> g_calls{0};

// One timer, owned by one worker thread: only that worker and the timer's own callback touch
// it, so "after stopAndWait returned, no call until the owner starts it again" is checkable.
class Slot
{
public:
    enum Habit // what the callback does to its own timer now and then
    {
        none,
        restartsItself,
        stopsItself
    };

    explicit Slot(Habit habit) : m_habit(habit), m_timer(new CTimer("stress")) {}
    ~Slot() { delete m_timer.load(); }

    void start(bool periodic, unsigned int delay, unsigned int period)
    {
        if (m_quiet.load()) {
            EXPECT_EQ(m_calls.load(), m_callsAtQuiet) << "a call ran after stopAndWait returned";
        }
        m_quiet = false;
        timer().start(delegate(), delay, periodic ? period : 0, 0, 50);
    }
    void stopAndWait()
    {
        timer().stopAndWait();
        quieten();
    }
    // Destroys the timer (the destructor waits for a running call) and makes a new one.
    void recreate()
    {
        delete m_timer.load();
        quieten();
        m_timer = new CTimer("stress");
    }
    CTimer& timer() { return *m_timer.load(); }

private:
    TFunction1<void, unsigned long> delegate()
    {
        return TFunction1<void, unsigned long>(&Slot::call, this);
    }
    void quieten()
    {
        if (m_inside.load() != 0)
            ++g_callsAfterStopAndWait;
        m_callsAtQuiet = m_calls.load();
        m_quiet = true;
    }
    void call(unsigned long)
    {
        if (m_inside.fetch_add(1) != 0)
            ++g_overlaps;
        if (m_quiet.load())
            ++g_callsAfterStopAndWait;
        const int n = ++m_calls;
        ++g_calls;
        if (m_habit == restartsItself && n % 3 == 0)
            timer().start(delegate(), static_cast<unsigned int>(n % 3), n % 2 != 0 ? 2 : 0);
        else if (m_habit == stopsItself && n % 4 == 0)
            timer().stop(n % 8 == 0);
        if (n % 16 == 0)
            CThread::sleep(1);
        m_inside.fetch_sub(1);
    }

    const Habit m_habit;
    std::atomic<CTimer*> m_timer;
    std::atomic<int> m_inside{0}, m_calls{0};
    std::atomic<bool> m_quiet{true};
    int m_callsAtQuiet = 0; // owner only
};

void work(std::vector<std::unique_ptr<Slot>>& slots, unsigned int seed, int operations)
{
    std::mt19937 random(seed);
    for (int i = 0; i < operations; ++i) {
        Slot& slot = *slots[random() % slots.size()];
        const unsigned int delay = random() % 4;
        const unsigned int period = 1 + random() % 4;
        const unsigned int choice = random() % 10;
        if (choice < 4)
            slot.start(choice >= 2, delay, period);
        else if (choice < 6)
            slot.timer().stop(choice == 5);
        else if (choice < 8)
            slot.stopAndWait();
        else if (choice == 8)
            slot.timer().setPeriodTime(period);
        else if (random() % 8 == 0)
            slot.recreate();
        else
            slot.start(true, 0, period);
    }
    for (auto& slot : slots)
        slot->stopAndWait();
}

} // namespace

TEST(TimerStress, ManyThreadsManyTimersNoOverlapNoLateCallsNoThreadLeft)
{
    constexpr int kWorkers = 4;
    constexpr int kTimersPerWorker = 256;
    constexpr int kOperationsPerWorker = 3000;
    // A sanitizer may start a helper thread of its own with the first thread; count after it.
    std::thread([] {}).join();
    const long baseline = threadsOfThisProcess();

    {
        std::vector<std::vector<std::unique_ptr<Slot>>> slots(kWorkers);
        std::vector<std::thread> workers;
        for (int w = 0; w < kWorkers; ++w) {
            for (int t = 0; t < kTimersPerWorker; ++t)
                slots[w].push_back(std::make_unique<Slot>(static_cast<Slot::Habit>(t % 3)));
            workers.emplace_back(work, std::ref(slots[w]), 1234u + w, kOperationsPerWorker);
        }
        for (auto& worker : workers)
            worker.join();
        EXPECT_EQ(g_overlaps.load(), 0);
        EXPECT_EQ(g_callsAfterStopAndWait.load(), 0);
        EXPECT_GT(g_calls.load(), kWorkers * 100);
        RecordProperty("calls", std::to_string(g_calls.load()));
        for (auto& list : slots)
            for (auto& slot : list)
                EXPECT_FALSE(slot->timer().isRunning());
    }

    // What process exit does; afterwards no thread of the library is left. At most the
    // baseline: an emulator (qemu-user) may count a helper thread of its own in the baseline
    // that ends while the test runs.
    Orlix::Infra::Detail::CSingleton<TimerManagerInternal>::destroy();
    EXPECT_TRUE(OrlixTest::waitFor([&] { return threadsOfThisProcess() <= baseline; }))
        << threadsOfThisProcess() << " threads, " << baseline << " before";
}

// Starts, restarts, stops and re-periods 4,096 timers due days from now (so the list stays
// deep: seven levels of four) from one thread per core, while a checker keeps verifying the
// list under the timer lock. Then every timer is stopped, and timers started with distinct
// short delays (in shuffled order) must be called earliest due first.
TEST(TimerStress, ListStaysOrderedUnderChurnOnAllCoresAndFiresEarliestFirst)
{
    const unsigned int cores = std::max(2u, std::thread::hardware_concurrency());
    constexpr int kTimersPerWorker = 1024;
    constexpr int kOperationsPerWorker = 20000;
    constexpr unsigned int kFarOff = 1000000000u; // about twelve days
    const unsigned int workerCount = std::max(4u, cores);
    const TFunction1<void, unsigned long> never([](unsigned long) { ADD_FAILURE(); });
    TimerManagerInternal* manager = TimerManagerInternal::instance();
    ASSERT_EQ(manager->checkListForTesting(), 0);

    std::vector<std::vector<std::unique_ptr<CTimer>>> timers(workerCount);
    for (auto& list : timers)
        for (int t = 0; t < kTimersPerWorker; ++t)
            list.push_back(std::make_unique<CTimer>("churn"));
    std::atomic<bool> churning{true};
    std::atomic<long> brokenChecks{0};
    std::atomic<long> checks{0};
    std::thread checker([&] {
        while (churning.load()) {
            if (manager->checkListForTesting() < 0)
                ++brokenChecks;
            ++checks;
            std::this_thread::yield();
        }
    });
    std::vector<std::thread> workers;
    for (unsigned int w = 0; w < workerCount; ++w) {
        workers.emplace_back([&, w] {
            std::mt19937 random(77u + w);
            auto& list = timers[w];
            for (int i = 0; i < kOperationsPerWorker; ++i) {
                CTimer& timer = *list[random() % list.size()];
                // Few distinct due times, so that equal keys (ordered by entry) are common.
                const unsigned int delay = kFarOff + (random() % 64) * 1000u;
                switch (random() % 8) {
                case 0:
                case 1:
                case 2:
                    timer.start(never, delay, 0);
                    break;
                case 3:
                    timer.start(never, delay, kFarOff);
                    break;
                case 4:
                case 5:
                    timer.stop();
                    break;
                case 6:
                    timer.setPeriodTime(kFarOff + (random() % 4) * 1000u);
                    break;
                default:
                    timer.start(never, kFarOff, 0); // the same key over and over
                    break;
                }
            }
        });
    }
    for (auto& worker : workers)
        worker.join();
    churning = false;
    checker.join();
    EXPECT_EQ(brokenChecks.load(), 0);
    EXPECT_GT(checks.load(), 0);

    long started = 0;
    for (auto& list : timers)
        for (auto& timer : list)
            started += timer->isStarted() ? 1 : 0;
    EXPECT_EQ(manager->checkListForTesting(), started);
    for (auto& list : timers)
        for (auto& timer : list)
            EXPECT_TRUE(!timer->isStarted() || timer->stop());
    EXPECT_EQ(manager->checkListForTesting(), 0);

    // Firing order over a deep list: due times a tick apart, started in shuffled order. A
    // call is handed out only after every earlier due timer was (in the same tick or an
    // earlier one), so when timer i runs, timer i-1 has been called: no timing involved.
    constexpr int kFiring = 40;
    std::atomic<int> calls{0};
    std::atomic<int> outOfOrder{0};
    std::vector<std::unique_ptr<CTimer>> firing;
    std::vector<int> slots(kFiring);
    for (int i = 0; i < kFiring; ++i) {
        slots[i] = i;
        firing.push_back(std::make_unique<CTimer>("order"));
    }
    std::shuffle(slots.begin(), slots.end(), std::mt19937(5));
    const TFunction1<void, unsigned long> check([&](unsigned long which) {
        if (which > 0 && !firing[which - 1]->isCalled())
            ++outOfOrder;
        ++calls;
    });
    for (auto& timer : timers[0]) // a deep list of far-off timers around the ones that fire
        timer->start(never, kFarOff, 0);
    {
        // Under the timer lock, all delays count from one reading of the clock.
        Orlix::Infra::TGuard<Orlix::Infra::CRecursiveMutex> guard(TimerManagerInternal::mutex());
        for (int slot : slots)
            firing[slot]->start(check, static_cast<unsigned int>(10 + 10 * slot), 0,
                                static_cast<unsigned long>(slot));
        EXPECT_EQ(manager->checkListForTesting(), kTimersPerWorker + kFiring);
    }
    ASSERT_TRUE(OrlixTest::waitFor([&] { return calls.load() == kFiring; }));
    for (auto& timer : firing)
        timer->stopAndWait();
    EXPECT_EQ(outOfOrder.load(), 0);
    for (auto& list : timers)
        for (auto& timer : list)
            timer->stop();
    EXPECT_EQ(manager->checkListForTesting(), 0);
}
