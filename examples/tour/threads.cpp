// Chapter: threads and timers. A worker thread that polls its stop flag and keeps its
// watchdog fed, a periodic timer whose slow calls overrun their watchdog time-out, a one-shot
// timer, and the thread and timer tables.
#include "tour.h"

#include <infra/orlix.h>

#include <atomic>
#include <chrono>
#include <cstdio>

namespace {

using Orlix::Infra::CThread;
using Orlix::Infra::CThreadLite;
using Orlix::Infra::CThreadManager;
using Orlix::Infra::CTimer;
using Orlix::Infra::CTimerManager;
using Orlix::Infra::flex_string;
using Orlix::Infra::setPrintLogLevel;
using Orlix::Infra::TFunction1;

using Clock = std::chrono::steady_clock;

long msSince(Clock::time_point start)
{
    return static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

// A worker's body runs once per createThread and loops while looping() is true. Each round
// renews its watchdog deadline: a worker stuck for longer than 200 ms would be listed by the
// thread manager.
class Worker
{
public:
    void run(CThreadLite& self)
    {
        while (self.looping()) {
            self.setTimeout(200);
            ++m_rounds;
            CThread::sleep(20);
        }
    }
    int rounds() const { return m_rounds; }

private:
    std::atomic<int> m_rounds{0};
};

// Timer callbacks run on pooled threads, never two calls of one timer at a time. Every third
// heartbeat is slow: it overruns the 30 ms watchdog the timer gives each call.
class Heartbeat
{
public:
    void beat(unsigned long param)
    {
        const int n = ++m_beats;
        if (n % 3 == 0) {
            m_slow = true;
            CThread::sleep(60);
            m_slow = false;
        }
        std::printf("heartbeat %d (param %lu)%s\n", n, param, n % 3 == 0 ? ", a slow one" : "");
    }
    bool inSlowCall() const { return m_slow; }
    int beats() const { return m_beats; }

private:
    std::atomic<int> m_beats{0};
    std::atomic<bool> m_slow{false};
};

struct Reminder
{
    Clock::time_point started;
    void fire(unsigned long)
    {
        std::printf("one-shot timer fired %ld ms after it was started\n", msSince(started));
    }
};

} // namespace

void tourThreads()
{
    tourHeading("Threads and timers");
    const Clock::time_point start = Clock::now();
    CThreadManager* threads = CThreadManager::instance();
    threads->registerMainThread();

    Worker work;
    CThreadLite worker(TFunction1<void, CThreadLite&>(&Worker::run, &work), "tour-worker", 64, 0,
                       0);
    worker.createThread();

    Heartbeat heart;
    CTimer heartbeat("heartbeat");
    heartbeat.start(TFunction1<void, unsigned long>(&Heartbeat::beat, &heart), 0, 100, 7, 30);
    heartbeat.enableStat(true); // measure the time spent in calls ("RunningTime"); after start

    Reminder reminder{Clock::now()};
    CTimer oneShot("reminder");
    oneShot.start(TFunction1<void, unsigned long>(&Reminder::fire, &reminder), 300, 0);

    // Catch a slow heartbeat after its watchdog has run out.
    while (!heart.inSlowCall() && msSince(start) < 2000)
        CThread::sleep(2);
    CThread::sleep(40);
    flex_string late;
    if (threads->getTimeOutThreads(late))
        std::printf("timed-out threads: %s\n", late.c_str());

    while (msSince(start) < 700)
        CThread::sleep(10);
    setPrintLogLevel(4); // the tables print at info level
    threads->dumpThreads();
    CTimerManager::instance()->dumpTimers();
    setPrintLogLevel(3);

    heartbeat.stopAndWait(); // stopped, and no call running any more
    worker.destroyThread();  // clears the stop flag and waits for the body
    std::printf("worker went %d rounds, the heartbeat beat %d times, one-shot %s\n", work.rounds(),
                heart.beats(), oneShot.isCalled() ? "called" : "not called");
    std::printf("chapter took %ld ms\n", msSince(start));
}
