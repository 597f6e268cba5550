/// @file
/// Timers: one-shot and periodic callbacks on pooled threads.
///
/// A CTimer calls a delegate once after a delay, or periodically, on a thread taken from a
/// pool, with an optional watchdog time-out per call and optional measurement of the time
/// spent in the callback. All timers share one process-wide timer manager: a thread named
/// "TimerManager" that wakes every 10 ms, hands every due timer to an idle pooled thread
/// ("[Pooled]", created only when none is idle) and moves a periodic timer's due time on by
/// whole periods. CTimerManager prints the timer table and limits the number of idle pooled
/// threads.
///
///     void onTick(unsigned long param) { ... }
///     Orlix::Infra::CTimer timer("heartbeat");
///     timer.start(Orlix::Infra::TFunction1<void, unsigned long>(&onTick),
///                 0,      // delay: first call now
///                 1000,   // period in ms (0: once)
///                 42,     // passed to onTick
///                 500);   // watchdog: a call running longer shows as timed out
///     ...
///     timer.stopAndWait(); // no call is running, none will start
///
/// Any lambda may be the procedure: timer.start([&](unsigned long) { ... }, 100, 0, 0, 0).
///
/// Timing: the manager's resolution is its 10 ms tick. start() counts the delay from the
/// manager's last tick, and a timer fires at the first tick whose clock reading is strictly
/// greater than its due time, so a delay of d ms gives a first call roughly between d - 10 and
/// d + 10 ms later. Among timers due at the same time, the one started (or re-entered) last
/// fires first. A periodic call that is still running when the next one is due makes the
/// manager skip that call, not queue it: calls of one timer never overlap, and missed periods
/// are not made up. All times are milliseconds of the library's monotonic clock.
///
/// Thread-safety: every operation may be called from any thread, and a callback may call
/// start, stop, stopAndWait and setPeriodTime, also on its own timer. Callbacks run without
/// any library lock held; calls of different timers run in parallel. Scheduling is serialised
/// by one lock: start and stop cost O(log n) in the number of started timers, and a tick looks
/// only at the timers that are due.
///
/// Lifetime: ~CTimer waits for a running callback (stopAndWait). At process exit the manager
/// is destroyed: its thread and the idle pooled threads end; a pooled thread that is still
/// inside a callback is left to finish it and then ends on its own (its small thread object is
/// not freed, the process is ending), so a callback running at exit must not rely on objects
/// that exit destroys.
///
/// Failure: stop() on a stopped timer returns false; start() with an empty delegate returns
/// false. A call that could not be handed out (its previous call still running, or no thread
/// could be started) is dropped; start() and stop(true) report that as false.
#ifndef ORLIX_INFRA_TIMER_H
#define ORLIX_INFRA_TIMER_H

#include "infra/defs.h"
#include "infra/function.h"

namespace Orlix {
namespace Infra {

class TimerManagerInternal;
class CTimerThread;
namespace Detail {
template <class T>
class CSingleton;
} // namespace Detail

/// A named one-shot or periodic timer whose callback runs on a pooled thread.
class ORLIX_API CTimer
{
public:
    /// A stopped timer named name (at most 31 characters kept; name must not be null). Does
    /// not create the timer manager.
    explicit CTimer(const char* name);

    /// Stops the timer and waits for a running callback (stopAndWait), then frees it.
    virtual ~CTimer();

    CTimer(const CTimer&) = delete;
    CTimer& operator=(const CTimer&) = delete;

    /// Starts (or restarts with the new values) the timer: first call delay ms after the
    /// manager's last tick, then every period ms (0: once); proc(param) runs on a pooled
    /// thread whose watchdog deadline is timeout ms (0: none) per call. Statistics are turned
    /// off. With delay 0 the first call is handed out before start returns, and the result is
    /// whether it was (false when the previous call is still running). False for an empty
    /// proc; otherwise true.
    bool start(TFunction1<void, unsigned long> proc, unsigned int delay, unsigned int period,
               unsigned long param = 0, unsigned int timeout = 0);

    /// Stops the timer. False when it was not started. A one-shot timer stopped with callNow
    /// is fired at once, and the result is whether that call was handed out; a periodic timer
    /// only stops. A callback already running is not waited for.
    bool stop(bool callNow = false);

    /// stop(false), then waits until no callback of this timer runs (logging
    /// "CTimer::Stop '<name>' wait callback exit!" at info level on the first and every 500th
    /// 10 ms round). A start() that races with it (from another thread or from the running
    /// callback) is ordered before it, so when it returns the timer is stopped and idle. From
    /// inside the timer's own callback it only stops the timer. Returns true.
    bool stopAndWait();

    /// Changes the period. The next due time moves by the difference (a due time that would
    /// fall before the clock's origin becomes due at once). Takes effect also while started.
    void setPeriodTime(unsigned int period);

    /// Turns on or off measuring the time spent in the callback (the "RunningTime" column of
    /// the timer table). start() turns it off, so call this after start().
    void enableStat(bool enable);

    /// The name; the text belongs to the timer and changes with setName.
    const char* getName() const;
    /// Renames the timer (at most 31 characters kept; name must not be null).
    void setName(const char* name);

    /// True while the timer is started (in the manager's list).
    bool isStarted() const;
    /// True once a one-shot timer has fired since the last start (also when that call was
    /// dropped because the previous one was still running).
    bool isCalled() const;
    /// True while a callback of this timer runs.
    bool isRunning() const;

private:
    friend class TimerManagerInternal;
    friend class CTimerThread;

    struct TimerInternal;
    TimerInternal* m_internal;
};

/// The public face of the process-wide timer manager: the timer table and the pool limit.
class ORLIX_API CTimerManager
{
public:
    /// The public face of the process's timer manager; creates the manager on first use.
    static CTimerManager* instance();

    CTimerManager(const CTimerManager&) = delete;
    CTimerManager& operator=(const CTimerManager&) = delete;

    /// Prints the timer table at info level: "Timers: ( <ms> Milli-Seconds Elapsed )", the
    /// column titles, a rule, one row per started timer in firing order (name, next due time,
    /// milliseconds spent in callbacks while statistics were on, period, how long the running
    /// call has run / its watchdog time-out, "Running" or "Idle"), and an empty line.
    void dumpTimers() const;

    /// Keeps at most count idle pooled threads; the rest end the next time a pooled thread
    /// becomes idle. 0 or a negative count lifts the limit (the default). Returns true.
    bool limitIdlePooled(int count);

private:
    template <class T>
    friend class Detail::CSingleton;
    CTimerManager();
    ~CTimerManager();

    TimerManagerInternal* m_internal;
};

} // namespace Infra
} // namespace Orlix

#endif // ORLIX_INFRA_TIMER_H
