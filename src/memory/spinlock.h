// The lock of the memory pools (internal).
//
// Detail::CPoolLock guards critical sections of a few dozen instructions that never block,
// never allocate and never call out (a free-list pop or push, a buddy split or merge). For
// those a general mutex costs more than the work it guards: pthread_mutex_lock and _unlock
// are two calls through the PLT and a good deal of bookkeeping per pair.
//
// States: 0 free, 1 held, 2 held and a waiter may be asleep on the word.
//
// Cost, uncontended: lock() is one compare-and-swap, unlock() one exchange (it must read the
// state it replaces, to learn whether somebody sleeps); both are inlined, and everything
// about waiting lives out of line in lockSlow() and wake(). While the process has never
// started a second thread (the C library's single-thread flag, which libstdc++'s shared_ptr
// and the C library's own locks consult the same way), both are plain stores: no other
// thread exists that could hold or contend the lock, and a critical section never starts a
// thread, so no section that began without an atomic can overlap a second thread.
//
// Contended: the waiter spins on a plain load with a pause hint for a short while (the
// holder is expected within a hundred nanoseconds), then marks the word 2 and sleeps on it
// in the kernel (a futex wait on Linux) until the holder's unlock wakes one sleeper. So a
// holder that was preempted gets its core back instead of a waiter burning it, and the
// waiter costs nothing while it waits. A woken waiter takes the word as 2 again (another
// sleeper may remain), so no wake-up is lost. There is no fairness; none is wanted for
// sections this short. Where no futex exists the waiter yields the processor instead of
// sleeping.
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

#if defined(__linux__)
#include <linux/futex.h>
#include <sys/syscall.h>
#include <unistd.h>
#define ORLIX_MEMORY_HAVE_FUTEX 1
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
            m_state.store(kHeld, std::memory_order_relaxed);
            return;
        }
        int expected = kFree;
        if (m_state.compare_exchange_strong(expected, kHeld, std::memory_order_acquire,
                                            std::memory_order_relaxed))
            return;
        lockSlow();
    }

    void unlock()
    {
        if (processIsSingleThreaded()) {
            m_state.store(kFree, std::memory_order_relaxed);
            return;
        }
        if (m_state.exchange(kFree, std::memory_order_release) == kSleepers)
            wake();
    }

private:
    static constexpr int kFree = 0;
    static constexpr int kHeld = 1;
    static constexpr int kSleepers = 2;
    static constexpr int kSpinLimit = 100;

    __attribute__((noinline)) void lockSlow()
    {
        for (int spins = 0; spins < kSpinLimit; ++spins) {
            pause();
            int state = m_state.load(std::memory_order_relaxed);
            if (state == kFree &&
                m_state.compare_exchange_weak(state, kHeld, std::memory_order_acquire,
                                              std::memory_order_relaxed))
                return;
        }
        // From here on the word says 2 whenever this thread holds it or waits for it, so
        // every unlock meanwhile wakes somebody.
        while (m_state.exchange(kSleepers, std::memory_order_acquire) != kFree)
            sleep();
    }

    void sleep()
    {
#ifdef ORLIX_MEMORY_HAVE_FUTEX
        // Returns at once when the word is no longer 2 (the holder unlocked meanwhile).
        syscall(SYS_futex, reinterpret_cast<int*>(&m_state), FUTEX_WAIT_PRIVATE, kSleepers,
                nullptr, nullptr, 0);
#else
        std::this_thread::yield();
#endif
    }

    __attribute__((noinline)) void wake()
    {
#ifdef ORLIX_MEMORY_HAVE_FUTEX
        syscall(SYS_futex, reinterpret_cast<int*>(&m_state), FUTEX_WAKE_PRIVATE, 1, nullptr,
                nullptr, 0);
#endif
    }

    static void pause()
    {
#if defined(__x86_64__) || defined(__i386__)
        __builtin_ia32_pause();
#elif defined(__aarch64__)
        asm volatile("yield");
#endif
    }

    std::atomic<int> m_state{kFree};
    static_assert(sizeof(std::atomic<int>) == sizeof(int), "the futex word is a plain int");
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
