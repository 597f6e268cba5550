// The lock of the memory pools (internal).
//
// Detail::CPoolLock guards critical sections of a few dozen instructions that never block,
// never allocate and never call out (a free-list pop or push, a buddy split or merge). For
// those a general mutex costs more than the work it guards: pthread_mutex_lock and _unlock
// are two calls through the PLT and two locked read-modify-write instructions per pair.
//
// Cost, uncontended: lock() is one atomic exchange (one locked instruction), unlock() a
// plain release store (an ordinary move on x86). While the process has never started a
// second thread (the C library's single-thread flag, which libstdc++'s shared_ptr and the C
// library's own locks consult the same way), lock() is a plain store too: no other thread
// exists that could hold or contend the lock, and a critical section never starts a thread,
// so no section that began unlocked-by-exchange can overlap a second thread. Contended: the waiter
// spins on a plain load with a pause hint for a short while (the holder is expected within
// nanoseconds), then yields the processor on every further try, so that a holder which was
// preempted gets the core back instead of a waiter burning it. There is no fairness and no sleeping
// queue; neither is wanted for sections this short.
#ifndef ORLIX_SRC_MEMORY_SPINLOCK_H
#define ORLIX_SRC_MEMORY_SPINLOCK_H

#include <atomic>
#include <thread>

#if defined(__has_include)
#if __has_include(<sys/single_threaded.h>)
#include <sys/single_threaded.h>
#define ORLIX_MEMORY_HAVE_SINGLE_THREADED 1
#endif
#endif

namespace Orlix {
namespace Memory {
namespace Detail {

// True while the process has only ever had one thread (never true where the C library does
// not say so).
inline bool processIsSingleThreaded()
{
#ifdef ORLIX_MEMORY_HAVE_SINGLE_THREADED
    return __libc_single_threaded != 0;
#else
    return false;
#endif
}

class CPoolLock
{
public:
    CPoolLock() = default;
    CPoolLock(const CPoolLock&) = delete;
    CPoolLock& operator=(const CPoolLock&) = delete;

    void lock()
    {
        if (processIsSingleThreaded()) {
            m_locked.store(true, std::memory_order_relaxed);
            return;
        }
        if (!m_locked.exchange(true, std::memory_order_acquire))
            return;
        lockSlow();
    }

    void unlock() { m_locked.store(false, std::memory_order_release); }

private:
    void lockSlow()
    {
        int spins = 0;
        for (;;) {
            while (m_locked.load(std::memory_order_relaxed)) {
                if (spins < kSpinLimit) {
                    ++spins;
                    pause();
                } else {
                    std::this_thread::yield();
                }
            }
            if (!m_locked.exchange(true, std::memory_order_acquire))
                return;
        }
    }

    static void pause()
    {
#if defined(__x86_64__) || defined(__i386__)
        __builtin_ia32_pause();
#elif defined(__aarch64__)
        asm volatile("yield");
#endif
    }

    static constexpr int kSpinLimit = 128;
    std::atomic<bool> m_locked{false};
};

// A scope guard for CPoolLock (std::lock_guard works too; this one keeps the header small).
class CPoolLockGuard
{
public:
    explicit CPoolLockGuard(CPoolLock& lock) : m_lock(lock) { m_lock.lock(); }
    ~CPoolLockGuard() { m_lock.unlock(); }
    CPoolLockGuard(const CPoolLockGuard&) = delete;
    CPoolLockGuard& operator=(const CPoolLockGuard&) = delete;

private:
    CPoolLock& m_lock;
};

} // namespace Detail
} // namespace Memory
} // namespace Orlix

#endif // ORLIX_SRC_MEMORY_SPINLOCK_H
