// The timer manager's thread and its pool of timer threads.
#include "infra/error.h"
#include "infra/print.h"
#include "infra3/clock.h"
#include "infra3/singleton.h"
#include "infra3/timer_internal.h"

#include <algorithm>
#include <cinttypes>

namespace Orlix {
namespace Infra {

namespace {

constexpr int kTickMilliseconds = 10;
constexpr int kManagerWatchdogMilliseconds = 10000;
const char* const kPooledName = "[Pooled]";

// Pooled threads that were busy when the manager ended. They finish their callback and end on
// their own; their objects are kept here (the process is exiting) rather than freed by a
// thread that would have to wait for them.
std::vector<CTimerThread*>& orphans()
{
    static auto* const list = new std::vector<CTimerThread*>;
    return *list;
}

} // namespace

// ---------------------------------------------------------------- CTimerThread

CTimerThread::CTimerThread(TimerManagerInternal* manager)
    : CThread(kPooledName, 64, 0, 0), m_manager(manager)
{}

CTimerThread::~CTimerThread()
{
    // Ends an idle thread: it wakes, sees m_exit and returns. Waiting for the body directly
    // (rather than through destroyThread) stays quiet when the body has ended already.
    m_exit.store(true);
    m_semaphore.post();
    CThread::ThreadInternal::waitForBody(CThread::m_internal);
}

void CTimerThread::threadProc()
{
    CRecursiveMutex& lock = TimerManagerInternal::mutex();
    while (looping()) {
        if (m_semaphore.pend() != 0)
            continue;
        if (m_exit.load())
            break;
        CTimer::TimerInternal* timer = m_timer;
        if (timer == nullptr)
            continue;
        const bool measure = timer->m_stat.load();
        const uint64 begin = measure ? Detail::monotonicMicroSecond() : 0;
        m_proc(m_param);
        m_proc = TFunction1<void, unsigned long>(); // what a lambda captured is not kept idle
        setTimeout(0);
        setThreadName(kPooledName);

        std::vector<CTimerThread*> cut;
        lock.enter();
        if (measure && timer->m_stat.load())
            timer->m_runningTime += Detail::monotonicMicroSecond() - begin;
        timer->m_runningThread.store(nullptr);
        if (timer->m_orphaned)
            delete timer;
        m_timer = nullptr;
        const bool orphaned = m_orphaned;
        if (!orphaned)
            cut = m_manager->putTimerThread(this);
        lock.leave();
        if (orphaned)
            break;
        TimerManagerInternal::endThreads(cut);
    }
}

// ---------------------------------------------------------------- TimerManagerInternal

TimerManagerInternal* TimerManagerInternal::instance()
{
    return Detail::CSingleton<TimerManagerInternal>::instance(
        __FILE__, "Orlix::Infra::TimerManagerInternal::instance", __LINE__);
}

TimerManagerInternal* TimerManagerInternal::peek()
{
    return Detail::CSingleton<TimerManagerInternal>::peek();
}

CRecursiveMutex& TimerManagerInternal::mutex()
{
    // Never freed: see the top of timer_internal.h.
    static auto* const lock = new CRecursiveMutex;
    return *lock;
}

TimerManagerInternal::TimerManagerInternal()
    : CThread("TimerManager", 1, 0, 0), m_now(Detail::monotonicMilliSecond()), m_mutex(mutex())
{
    createThread();
}

TimerManagerInternal::~TimerManagerInternal()
{
    destroyThread();
    std::vector<CTimerThread*> idle;
    {
        TGuard<CRecursiveMutex> guard(m_mutex);
        for (CTimerThread* thread = m_idle; thread != nullptr; thread = thread->m_next) {
            idle.push_back(thread);
            m_pool.erase(thread);
        }
        m_idle = nullptr;
        m_idleCount = 0;
        // The rest are inside a callback: they end on their own after it (threadProc).
        for (CTimerThread* busy : m_pool) {
            busy->m_orphaned = true;
            CThread::ThreadInternal* record = busy->CThread::m_internal;
            TGuard<CMutex> recordGuard(record->m_mutex);
            Platform::closeThread(record->m_threadHandle); // detaches it
            record->m_threadHandle = nullptr;
            orphans().push_back(busy);
        }
        m_pool.clear();
        // Started timers leave the list, ready for a later manager.
        while (!m_timers.empty()) {
            CTimer::TimerInternal* timer = m_timers.front().timer;
            removeTimer(timer);
            timer->m_started.store(false);
        }
    }
    endThreads(idle);
}

// Heap order: a slot's key is never greater than its (up to four) children's, the children of
// slot i being 4i+1 .. 4i+4. Four children per slot halve the depth of a binary heap and keep
// a slot's children in one or two cache lines, which matters with 100,000 timers started.
void TimerManagerInternal::siftUp(std::size_t index)
{
    const HeapSlot moving = m_timers[index];
    while (index > 0) {
        const std::size_t parent = (index - 1) / 4;
        if (!(moving.key < m_timers[parent].key))
            break;
        place(index, m_timers[parent]);
        index = parent;
    }
    place(index, moving);
}

void TimerManagerInternal::siftDown(std::size_t index)
{
    const std::size_t size = m_timers.size();
    const HeapSlot moving = m_timers[index];
    for (;;) {
        const std::size_t first = index * 4 + 1;
        if (first >= size)
            break;
        const std::size_t last = first + 4 < size ? first + 4 : size;
        std::size_t least = first;
        for (std::size_t child = first + 1; child < last; ++child) {
            if (m_timers[child].key < m_timers[least].key)
                least = child;
        }
        if (!(m_timers[least].key < moving.key))
            break;
        place(index, m_timers[least]);
        index = least;
    }
    place(index, moving);
}

// Cost: one append and a sift up, O(1) on average (see the top of timer_internal.h); no
// allocation once the array has grown to the largest number of timers started at once.
void TimerManagerInternal::insertTimer(CTimer::TimerInternal* timer)
{
    const Detail::TimerKey key{timer->m_nextTime, ~m_sequence++};
    m_timers.push_back(HeapSlot{key, timer});
    siftUp(m_timers.size() - 1);
    timer->m_linked = true;
}

// Cost: the last slot fills the hole and sifts, O(log4 n) compares of adjacent slots.
void TimerManagerInternal::removeTimer(CTimer::TimerInternal* timer)
{
    if (!timer->m_linked)
        return;
    const std::size_t index = timer->m_heapIndex;
    const HeapSlot last = m_timers.back();
    m_timers.pop_back();
    timer->m_linked = false;
    timer->m_heapIndex = Detail::kNotInHeap;
    if (index == m_timers.size())
        return; // it was the last slot
    const Detail::TimerKey removed = m_timers[index].key;
    place(index, last);
    if (last.key < removed)
        siftUp(index);
    else
        siftDown(index);
}

bool TimerManagerInternal::dispatchTimer(CTimer::TimerInternal* timer)
{
    removeTimer(timer);
    if (timer->m_period != 0) {
        const uint64 period = timer->m_period;
        while (timer->m_nextTime <= m_now)
            timer->m_nextTime += period * ((m_now - timer->m_nextTime) / period + 1);
        insertTimer(timer);
    } else {
        timer->m_started.store(false);
        timer->m_called.store(true);
    }
    if (timer->m_runningThread.load() != nullptr)
        return false;
    CTimerThread* thread = getTimerThread();
    if (thread == nullptr)
        return false;
    timer->m_lastCallTime = m_now;
    timer->m_runningThread.store(thread);
    thread->setThreadName(timer->m_name);
    thread->setTimeout(static_cast<int>(timer->m_timeout));
    thread->m_proc = timer->m_proc;
    thread->m_param = timer->m_param;
    thread->m_timer = timer;
    thread->m_semaphore.post();
    return true;
}

CTimerThread* TimerManagerInternal::getTimerThread()
{
    if (m_idle != nullptr) {
        CTimerThread* thread = m_idle;
        m_idle = thread->m_next;
        thread->m_next = nullptr;
        --m_idleCount;
        return thread;
    }
    auto* thread = new CTimerThread(this);
    if (!thread->createThread()) {
        // createThread logged why; the call is dropped.
        delete thread;
        return nullptr;
    }
    m_pool.insert(thread);
    return thread;
}

std::vector<CTimerThread*> TimerManagerInternal::putTimerThread(CTimerThread* thread)
{
    TGuard<CRecursiveMutex> guard(m_mutex);
    ORLIX_ASSERT_TEXT(thread != nullptr, "pThread");
    thread->m_next = m_idle;
    m_idle = thread;
    ++m_idleCount;
    std::vector<CTimerThread*> cut;
    if (m_idleLimit >= 1 && m_idleCount > m_idleLimit) {
        CTimerThread* last = m_idle;
        for (int i = 1; i < m_idleLimit; ++i)
            last = last->m_next;
        for (CTimerThread* extra = last->m_next; extra != nullptr; extra = extra->m_next) {
            cut.push_back(extra);
            m_pool.erase(extra);
        }
        last->m_next = nullptr;
        m_idleCount = m_idleLimit;
    }
    return cut;
}

void TimerManagerInternal::endThreads(const std::vector<CTimerThread*>& threads)
{
    for (CTimerThread* thread : threads)
        delete thread; // ends the thread and waits for it
}

void TimerManagerInternal::threadProc()
{
    while (looping()) {
        CThread::sleep(kTickMilliseconds);
        TGuard<CRecursiveMutex> guard(m_mutex);
        const uint64 previous = m_now;
        m_now = Detail::monotonicMilliSecond();
        setTimeout(kManagerWatchdogMilliseconds, m_now);
        if (m_now == previous)
            continue;
        ORLIX_ASSERT_TEXT(m_now > previous, "0");
        while (!m_timers.empty() && m_timers.front().key.due < m_now)
            dispatchTimer(m_timers.front().timer);
    }
}

bool TimerManagerInternal::limitIdlePooled(int count)
{
    TGuard<CRecursiveMutex> guard(m_mutex);
    m_idleLimit = count;
    return true;
}

void TimerManagerInternal::dumpTimers()
{
    TGuard<CRecursiveMutex> guard(m_mutex);
    logInfo("Timers: ( %" PRIu64 " Milli-Seconds Elapsed )\n", m_now);
    logInfo("            Name            NextTime RunningTime Period   Used/Timeout State\n");
    logInfo("____________________________________________________________________________\n");
    // The table lists the timers in firing order: a sorted copy of the heap (the dump is
    // rare; sorting there keeps every start and stop cheap).
    std::vector<HeapSlot> ordered(m_timers);
    std::sort(ordered.begin(), ordered.end(),
              [](const HeapSlot& a, const HeapSlot& b) { return a.key < b.key; });
    for (const HeapSlot& entry : ordered) {
        const CTimer::TimerInternal* timer = entry.timer;
        const bool running = timer->m_runningThread.load() != nullptr;
        const int used = running ? static_cast<int>(m_now - timer->m_lastCallTime) : 0;
        logInfo("%24s %11" PRIu64 " %11" PRIu64 " %6lu %6d/%6lu %s\n", timer->m_name,
                timer->m_nextTime, timer->m_runningTime / 1000,
                static_cast<unsigned long>(timer->m_period), used,
                static_cast<unsigned long>(timer->m_timeout), running ? "Running" : "Idle");
    }
    logInfo("\n");
}

int TimerManagerInternal::idleCount()
{
    TGuard<CRecursiveMutex> guard(m_mutex);
    return m_idleCount;
}

int TimerManagerInternal::pooledCount()
{
    TGuard<CRecursiveMutex> guard(m_mutex);
    return static_cast<int>(m_pool.size());
}

long TimerManagerInternal::checkListForTesting()
{
    TGuard<CRecursiveMutex> guard(m_mutex);
    for (std::size_t i = 0; i < m_timers.size(); ++i) {
        const HeapSlot& slot = m_timers[i];
        if (slot.timer->m_heapIndex != i || !slot.timer->m_linked ||
            slot.key.due != slot.timer->m_nextTime)
            return -1;
        if (i > 0 && slot.key < m_timers[(i - 1) / 4].key)
            return -1;
    }
    return static_cast<long>(m_timers.size());
}

} // namespace Infra
} // namespace Orlix
