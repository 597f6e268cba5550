// The timer manager, its pooled threads and the timer record (internal).
//
// Scheduling state (the list of started timers, every timer record's scheduling fields, the
// idle pool and the pooled threads' hand-over fields) is guarded by one recursive lock,
// TimerManagerInternal::mutex(). The lock lives for the whole process, not inside the
// manager: a pooled thread that finishes a callback after the manager was destroyed at exit
// (or a CTimer destroyed after that) still synchronises through it.
//
// Started timers are kept in a 4-ary min-heap keyed by (due time, reverse entry order), so
// that the earliest due timer comes first and, among equal due times, the one entered last
// (the key is a total order, so the heap fires timers in exactly the order a sorted list
// would). Each heap slot holds the key next to the record pointer and each record keeps its
// slot index, so sifting compares adjacent memory without touching the records. Costs:
// entering is O(log4 n) compares but O(1) on average for random due times (a new key rarely
// climbs more than a level or two); leaving is O(log4 n) (the last slot fills the hole and
// sinks); the tick reads the top slot. The array only grows (to the largest number of timers
// ever started at once), so starting and stopping allocate nothing in the steady state.
#ifndef ORLIX_SRC_INFRA3_TIMER_INTERNAL_H
#define ORLIX_SRC_INFRA3_TIMER_INTERNAL_H

#include "infra/mutex.h"
#include "infra/semaphore.h"
#include "infra/thread.h"
#include "infra/timer.h"
#include "infra3/thread_internal.h"

#include <atomic>
#include <string>
#include <unordered_set>
#include <vector>

namespace Orlix {
namespace Infra {

namespace Detail {

// Position of a started timer in the manager's list.
struct TimerKey
{
    uint64 due;   // m_nextTime
    uint64 order; // ~entry sequence: entered later sorts first
    bool operator<(const TimerKey& other) const
    {
        return due != other.due ? due < other.due : order < other.order;
    }
};

constexpr std::size_t kNotInHeap = static_cast<std::size_t>(-1);

} // namespace Detail

struct CTimer::TimerInternal
{
    explicit TimerInternal(const char* name);
    void setName(const char* name);

    // Scheduling fields: under TimerManagerInternal::mutex().
    uint64 m_runningTime = 0;  // microseconds spent in the callback while m_stat was on
    uint64 m_nextTime = 0;     // next due time
    uint64 m_lastCallTime = 0; // manager clock when the current or last call was handed out
    unsigned int m_period = 0; // 0: one-shot
    unsigned int m_timeout = 0;
    TFunction1<void, unsigned long> m_proc;
    unsigned long m_param = 0;
    char m_name[Detail::kMaxNameLength + 1];
    std::size_t m_heapIndex = Detail::kNotInHeap; // slot in the manager's heap while m_linked
    bool m_linked = false;
    // Set when the owning CTimer is destroyed while a callback still runs after the manager
    // ended: the pooled thread frees the record when the callback returns.
    bool m_orphaned = false;

    // Written under the lock, read anywhere.
    std::atomic<bool> m_started{false};
    std::atomic<bool> m_called{false};
    std::atomic<CTimerThread*> m_runningThread{nullptr};
    std::atomic<bool> m_stat{false}; // written by enableStat without the lock
};

// A pooled timer thread: waits for a call, makes it without any lock, returns to the pool.
class CTimerThread : public CThread
{
public:
    explicit CTimerThread(TimerManagerInternal* manager);
    ~CTimerThread() override;

private:
    friend class TimerManagerInternal;
    void threadProc() override;

    // Hand-over fields, written under the lock before m_semaphore is posted.
    TFunction1<void, unsigned long> m_proc;
    unsigned long m_param = 0;
    CSemaphore m_semaphore{0};
    CTimerThread* m_next = nullptr;           // idle list link
    CTimer::TimerInternal* m_timer = nullptr; // the timer being served; null when idle
    std::atomic<bool> m_exit{false};
    TimerManagerInternal* const m_manager;
    bool m_orphaned = false; // the manager ended while this thread was busy; under the lock
};

class TimerManagerInternal : public CThread
{
public:
    // The manager, created on first use (starting its thread) and destroyed at exit.
    static TimerManagerInternal* instance();
    // The manager if it exists now; never creates it.
    static TimerManagerInternal* peek();
    // The scheduling lock (see the top of this header).
    static CRecursiveMutex& mutex();

    TimerManagerInternal();
    ~TimerManagerInternal() override;

    // The manager's clock: the reading of its last tick.
    uint64 now() const { return m_now; }

    // Enter and leave the list; under the lock. remove does nothing for an unlinked timer.
    void insertTimer(CTimer::TimerInternal* timer);
    void removeTimer(CTimer::TimerInternal* timer);

    // Fires timer (under the lock): takes it out of the list, moves a periodic timer on by
    // whole periods and re-enters it, then hands the call to a pooled thread. False when the
    // call was dropped.
    bool dispatchTimer(CTimer::TimerInternal* timer);

    bool limitIdlePooled(int count);
    void dumpTimers();

    // Observers for tests: idle pooled threads, and all pooled threads alive.
    int idleCount();
    int pooledCount();
    // For tests: the number of started timers in the list, or -1 when the list breaks its
    // order (a slot before one of its children) or a record's position or flag disagrees.
    long checkListForTesting();

private:
    friend class CTimerThread;
    void threadProc() override;

    // An idle pooled thread, created when none is idle; null when no thread could be started.
    CTimerThread* getTimerThread();
    // Puts thread on the front of the idle list (under the lock) and returns the threads cut
    // off by the idle limit, which the caller ends after releasing the lock.
    std::vector<CTimerThread*> putTimerThread(CTimerThread* thread);
    // Ends and frees pooled threads that are idle and out of the pool.
    static void endThreads(const std::vector<CTimerThread*>& threads);

    CTimerThread* m_idle = nullptr;
    uint64 m_now;
    // One started timer: its key next to its record (see the top of this header).
    struct HeapSlot
    {
        Detail::TimerKey key;
        CTimer::TimerInternal* timer;
    };
    // Moves the slot at index towards the top / the bottom until the heap order holds, keeping
    // every moved record's m_heapIndex current.
    void siftUp(std::size_t index);
    void siftDown(std::size_t index);
    void place(std::size_t index, const HeapSlot& slot)
    {
        m_timers[index] = slot;
        slot.timer->m_heapIndex = index;
    }

    std::vector<HeapSlot> m_timers; // 4-ary min-heap of the started timers
    CRecursiveMutex& m_mutex;
    int m_idleLimit = -1;
    int m_idleCount = 0;
    uint64 m_sequence = 0;                    // entries into m_timers so far
    std::unordered_set<CTimerThread*> m_pool; // every pooled thread alive, idle or busy
};

} // namespace Infra
} // namespace Orlix

#endif // ORLIX_SRC_INFRA3_TIMER_INTERNAL_H
