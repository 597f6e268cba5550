// POSIX implementation of thread start, wait, priority and cancellation.
#include "platform/threads.h"

#include "platform/posix/deadline.h"
#include "platform/thread.h"

#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <ctime>

namespace Orlix {
namespace Platform {

// The handle. Waiting uses a plain mutex and condition variable with cancellation disabled
// around every wait, so that a thread cancelled while it waits for another can never leave
// the mutex held (pthread_cond_wait re-acquires it before unwinding).
//
// The mutex is a leaf taken only by waitThread() and by the thread's own exit: no other lock
// is ever taken while it is held, and it is never taken while the library holds a lock of its
// own (createThread sets the priority, and the timer pool closes handles, under a thread
// object's lock). The queries and the priority hand-over therefore use atomics only.
struct NativeThread
{
    pthread_t handle{};
    ThreadEntry entry = nullptr;
    void* argument = nullptr;
    static constexpr int kNoNice = INT_MIN;

    std::atomic<int> shares{2}; // the owner's and the thread's
    pthread_mutex_t mutex = PTHREAD_MUTEX_INITIALIZER;
    pthread_cond_t changed;
    std::atomic<int> tid{0};           // set when the thread has started
    std::atomic<bool> finished{false}; // set under mutex (for the waiters), read anywhere
    std::atomic<int> nice{kNoNice};    // a nice value for the thread to apply, or kNoNice
    // Set before the thread starts (pthread_create orders it before the thread's reads): a
    // SCHED_RR priority for the thread to apply to itself, or 0 for none.
    int realtimePriority = 0;
};

namespace {

// Keeps the calling thread from acting on cancellation for the scope's lifetime.
class NoCancellation
{
public:
    NoCancellation() { pthread_setcancelstate(PTHREAD_CANCEL_DISABLE, &m_old); }
    ~NoCancellation() { pthread_setcancelstate(m_old, nullptr); }
    NoCancellation(const NoCancellation&) = delete;
    NoCancellation& operator=(const NoCancellation&) = delete;

private:
    int m_old = PTHREAD_CANCEL_ENABLE;
};

void release(NativeThread* thread)
{
    if (thread->shares.fetch_sub(1, std::memory_order_acq_rel) == 1) {
        pthread_cond_destroy(&thread->changed);
        pthread_mutex_destroy(&thread->mutex);
        delete thread;
    }
}

// Marks the thread finished and drops its share, also when the start routine is unwound by
// cancellation.
class FinishOnExit
{
public:
    explicit FinishOnExit(NativeThread* thread) : m_thread(thread) {}
    ~FinishOnExit()
    {
        pthread_mutex_lock(&m_thread->mutex);
        m_thread->finished.store(true, std::memory_order_release);
        pthread_cond_broadcast(&m_thread->changed);
        pthread_mutex_unlock(&m_thread->mutex);
        release(m_thread);
    }
    FinishOnExit(const FinishOnExit&) = delete;
    FinishOnExit& operator=(const FinishOnExit&) = delete;

private:
    NativeThread* m_thread;
};

int niceValueForLevel(int level)
{
    if (level >= 15)
        return -15;
    if (level >= 2)
        return -10;
    if (level == 1)
        return -5;
    if (level == 0)
        return 0;
    if (level == -1)
        return 5;
    if (level >= -14)
        return 10;
    return 19;
}

bool refusedForPrivilege(int error)
{
    return error == EPERM || error == EACCES;
}

// Sets the nice value of thread tid; a refusal for lack of privilege keeps the current one.
int applyNice(int tid, int nice)
{
    if (setpriority(PRIO_PROCESS, static_cast<id_t>(tid), nice) == 0)
        return 0;
    const int error = errno;
    // ESRCH: the thread ended in the meantime; there is nothing left to schedule.
    return (refusedForPrivilege(error) || error == ESRCH) ? 0 : error;
}

// Whether a thread started now by the calling thread would begin with the given nice value:
// a new thread inherits its starter's. Asking costs a light system call on the starter's side;
// setting the value costs the new thread a much dearer one (the kernel re-weighs the thread),
// which the normal priority started from a normal thread, the usual case, then skips.
bool startsWithNice(int nice)
{
    errno = 0;
    const int own = getpriority(PRIO_PROCESS, 0); // 0: the calling thread itself
    return own == nice && !(own == -1 && errno != 0);
}

// The SCHED_RR priority for a library priority (1 highest .. 127 lowest).
int realtimePriorityFor(int priority)
{
    const int high = sched_get_priority_max(SCHED_RR);
    const int low = sched_get_priority_min(SCHED_RR);
    const int p = priority < 1 ? 1 : (priority > 127 ? 127 : priority);
    return high - (p - 1) * (high - low) / 126;
}

void* startRoutine(void* argument)
{
    auto* thread = static_cast<NativeThread*>(argument);
    FinishOnExit finish(thread);
    if (thread->realtimePriority != 0) {
        sched_param param{};
        param.sched_priority = thread->realtimePriority;
        pthread_setschedparam(pthread_self(), SCHED_RR, &param); // refusal: keeps SCHED_OTHER
    }
    // The other half of setThreadPriority's hand-over: publish the id, then look for a value
    // left before it was published. Both sides store before they load (sequentially
    // consistent), so at least one of them sees the other's store and applies the value; both
    // applying it is harmless.
    // Through the cached id of the thread: the body asks for it again right away.
    const int tid = currentThreadId();
    thread->tid.store(tid);
    const int nice = thread->nice.load();
    if (nice != NativeThread::kNoNice)
        applyNice(tid, nice);
    thread->entry(thread->argument);
    return nullptr;
}

} // namespace

int effectiveStackSize(int requested)
{
    if (requested <= 0)
        return 0;
    const long page = sysconf(_SC_PAGESIZE) > 0 ? sysconf(_SC_PAGESIZE) : 4096;
    long size = requested;
    const long minimum = static_cast<long>(PTHREAD_STACK_MIN);
    if (size < minimum)
        size = minimum;
    size = (size + page - 1) / page * page;
    return size > INT_MAX ? static_cast<int>(INT_MAX / page * page) : static_cast<int>(size);
}

namespace {

// Cost: one allocation for the handle and pthread_create. With a scheduling, the new thread
// applies it itself (one setpriority, or one pthread_setschedparam) before its entry runs, so
// the caller neither waits for the thread to publish its kernel id nor makes that call; a nice
// value the thread inherits anyway is not set at all (startsWithNice).
NativeThread* startScheduled(ThreadEntry entry, void* argument, int stackSize,
                             const ThreadScheduling* scheduling, int* error)
{
    auto* thread = new NativeThread;
    thread->entry = entry;
    thread->argument = argument;
    if (scheduling != nullptr) {
        const int nice = niceValueForLevel(scheduling->level);
        if (scheduling->realtime)
            thread->realtimePriority = realtimePriorityFor(scheduling->priority);
        else if (!startsWithNice(nice))
            thread->nice.store(nice, std::memory_order_relaxed);
    }
    pthread_condattr_t condAttr;
    pthread_condattr_init(&condAttr);
    pthread_condattr_setclock(&condAttr, CLOCK_MONOTONIC);
    pthread_cond_init(&thread->changed, &condAttr);
    pthread_condattr_destroy(&condAttr);

    pthread_attr_t attr;
    pthread_attr_init(&attr);
    // Normal scheduling: a thread started by a real-time thread does not inherit the real-time
    // policy; the scheduling given (or setThreadPriority()) decides. Explicit scheduling
    // attributes make the C library hold the new thread until the starter has set them (a
    // system call and a wake-up per start), so they are used only when the starter does not
    // run under the normal policy itself; otherwise inheriting gives the same result.
    if (sched_getscheduler(0) != SCHED_OTHER) {
        pthread_attr_setinheritsched(&attr, PTHREAD_EXPLICIT_SCHED);
        pthread_attr_setschedpolicy(&attr, SCHED_OTHER);
        sched_param param{};
        param.sched_priority = 0;
        pthread_attr_setschedparam(&attr, &param);
    }
    int rc = 0;
    const int size = effectiveStackSize(stackSize);
    if (size > 0)
        rc = pthread_attr_setstacksize(&attr, static_cast<size_t>(size));
    if (rc == 0)
        rc = pthread_create(&thread->handle, &attr, &startRoutine, thread);
    pthread_attr_destroy(&attr);
    if (rc != 0) {
        pthread_cond_destroy(&thread->changed);
        pthread_mutex_destroy(&thread->mutex);
        delete thread;
        if (error != nullptr)
            *error = rc;
        return nullptr;
    }
    return thread;
}

} // namespace

NativeThread* startThread(ThreadEntry entry, void* argument, int stackSize, int* error)
{
    return startScheduled(entry, argument, stackSize, nullptr, error);
}

NativeThread* startThread(ThreadEntry entry, void* argument, int stackSize,
                          const ThreadScheduling& scheduling, int* error)
{
    return startScheduled(entry, argument, stackSize, &scheduling, error);
}

bool waitThread(NativeThread* thread, unsigned int timeoutMs)
{
    NoCancellation noCancel;
    const timespec deadline = monotonicDeadline(timeoutMs);
    pthread_mutex_lock(&thread->mutex);
    while (!thread->finished.load(std::memory_order_relaxed)) {
        if (pthread_cond_timedwait(&thread->changed, &thread->mutex, &deadline) == ETIMEDOUT)
            break;
    }
    const bool finished = thread->finished.load(std::memory_order_relaxed);
    pthread_mutex_unlock(&thread->mutex);
    return finished;
}

bool threadActive(NativeThread* thread)
{
    return !thread->finished.load(std::memory_order_acquire);
}

bool isCurrentThread(NativeThread* thread)
{
    return pthread_equal(pthread_self(), thread->handle) != 0;
}

int setThreadPriority(NativeThread* thread, int level, bool realtime, int priority)
{
    if (realtime) {
        sched_param param{};
        param.sched_priority = realtimePriorityFor(priority);
        const int rc = pthread_setschedparam(thread->handle, SCHED_RR, &param);
        return (rc == 0 || refusedForPrivilege(rc)) ? 0 : rc;
    }
    // The nice value needs the kernel id, which the thread publishes as its first step.
    // Rather than wait for it, a thread that has not got that far applies the value itself
    // (startRoutine has the other half of the hand-over).
    const int nice = niceValueForLevel(level);
    thread->nice.store(nice);
    const int tid = thread->tid.load();
    return tid == 0 ? 0 : applyNice(tid, nice);
}

int cancelThread(NativeThread* thread)
{
    return pthread_cancel(thread->handle);
}

void closeThread(NativeThread* thread)
{
    if (thread == nullptr)
        return;
    if (!isCurrentThread(thread) && !threadActive(thread)) {
        NoCancellation noCancel;
        pthread_join(thread->handle, nullptr);
    } else {
        pthread_detach(thread->handle);
    }
    release(thread);
}

void retainThread(NativeThread* thread)
{
    thread->shares.fetch_add(1, std::memory_order_relaxed);
}

void releaseThread(NativeThread* thread)
{
    release(thread);
}

int currentNiceValue()
{
    errno = 0;
    return getpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)));
}

bool currentIsRoundRobin()
{
    int policy = 0;
    sched_param param{};
    pthread_getschedparam(pthread_self(), &policy, &param);
    return policy == SCHED_RR;
}

long currentStackSize()
{
    pthread_attr_t attr;
    if (pthread_getattr_np(pthread_self(), &attr) != 0)
        return 0;
    void* address = nullptr;
    size_t size = 0;
    pthread_attr_getstack(&attr, &address, &size);
    pthread_attr_destroy(&attr);
    return static_cast<long>(size);
}

} // namespace Platform
} // namespace Orlix
