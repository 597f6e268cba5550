// Threads and timers: a worker thread with a stop flag and a watchdog deadline, a thread
// class of your own, a periodic and a one-shot timer on the library's pooled timer threads,
// and the thread and timer tables.
//
// Build: g++ -std=c++17 threads_timers.cpp $(pkg-config --cflags --libs orlix)
#include <infra/print.h>
#include <infra/semaphore.h>
#include <infra/thread.h>
#include <infra/threadmanager.h>
#include <infra/timer.h>

#include <atomic>
#include <cstdio>

using namespace Orlix::Infra;

namespace {

// A worker's body runs once per createThread() and loops while looping() is true. Each round
// renews the watchdog deadline: a thread stuck past it is listed by the thread manager.
class Poller
{
public:
    void run(CThreadLite& self)
    {
        while (self.looping()) {
            self.setTimeout(1000); // "alive for another second"
            ++m_rounds;
            CThread::sleep(10);
        }
    }
    int rounds() const { return m_rounds; }

private:
    std::atomic<int> m_rounds{0};
};

// A thread class of your own: override threadProc(). A subclass whose body uses its own
// members stops the thread in its own destructor, before those members are gone.
class Blinker : public CThread
{
public:
    Blinker() : CThread("blinker", 64, 0, 0) {}
    ~Blinker() override
    {
        if (!isThreadOver())
            destroyThread();
    }
    int blinks() const { return m_blinks; }

private:
    void threadProc() override
    {
        while (looping()) {
            ++m_blinks;
            CThread::sleep(20);
        }
    }
    std::atomic<int> m_blinks{0};
};

// Timer callbacks run on pooled threads; calls of one timer never overlap.
struct Ticks
{
    std::atomic<int> count{0};
    CSemaphore oneShotFired;
    void tick(unsigned long /*param*/) { ++count; }
    void once(unsigned long param)
    {
        std::printf("one-shot timer fired with param %lu\n", param);
        oneShotFired.post();
    }
};

} // namespace

int main()
{
    CThreadManager* threads = CThreadManager::instance();
    threads->registerMainThread(); // the "Main" row of the table

    Poller poller;
    CThreadLite worker(TFunction1<void, CThreadLite&>(&Poller::run, &poller), "poller", 64, 0, 0);
    Blinker blinker;
    const bool started = worker.createThread() && blinker.createThread();

    Ticks ticks;
    CTimer periodic("tick");
    // First call now, then every 20 ms, with param 7 and a 100 ms watchdog per call.
    periodic.start(TFunction1<void, unsigned long>(&Ticks::tick, &ticks), 0, 20, 7, 100);
    CTimer oneShot("once");
    oneShot.start(TFunction1<void, unsigned long>(&Ticks::once, &ticks), 50, 0, 42);

    // Wait for the one-shot (with a generous limit), and for the workers to have run a bit.
    const bool fired = ticks.oneShotFired.pend(5000) == 0;
    for (int i = 0; i < 500 && (poller.rounds() < 2 || blinker.blinks() < 2 || ticks.count < 2);
         ++i)
        CThread::sleep(10);

    flex_string name;
    const bool listed = threads->getThreadNameByID(worker.getThreadID(), name) && name == "poller";
    flex_string late; // e.g. "poller(4711)" for a thread stuck past its deadline
    std::printf("threads past their deadline: %s\n",
                threads->getTimeOutThreads(late) ? late.c_str() : "none");

    setPrintLogLevel(4); // the tables print at info level
    threads->dumpThreads();
    CTimerManager::instance()->dumpTimers();
    setPrintLogLevel(3);

    periodic.stopAndWait(); // stopped, and no call running any more
    worker.destroyThread(); // clears the stop flag, waits for the body to return
    blinker.destroyThread();
    std::printf("poller went %d rounds, blinker blinked %d times, %d ticks\n", poller.rounds(),
                blinker.blinks(), ticks.count.load());

    const bool ok = started && fired && listed && ticks.count >= 2 && worker.isThreadOver() &&
                    blinker.isThreadOver();
    std::printf("threads and timers: %s\n", ok ? "ok" : "FAILED");
    return ok ? 0 : 1;
}
