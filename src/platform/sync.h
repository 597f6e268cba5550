// Operating-system layer: synchronisation primitives.
//
// Internal to the library (never installed). The modules above use these classes, never
// <pthread.h> or <windows.h> directly: src/platform/posix and src/platform/win32 implement
// them. All classes are non-copyable and safe to use from any thread.
//
// On Windows the members are the Win32 objects themselves, kept opaque here (handles as
// void*, the critical section as storage of its size) so that <windows.h> and its macros
// stay out of every module that takes a lock.
#ifndef ORLIX_PLATFORM_SYNC_H
#define ORLIX_PLATFORM_SYNC_H

#ifndef _WIN32
#include <pthread.h>
#include <semaphore.h>
#endif

#include <atomic>

namespace Orlix {
namespace Platform {

// A re-entrant lock: the owning thread may enter it again; each enter needs one leave.
class CriticalSection
{
public:
    CriticalSection();
    ~CriticalSection();
    CriticalSection(const CriticalSection&) = delete;
    CriticalSection& operator=(const CriticalSection&) = delete;

#ifdef _WIN32
    void enter();
    // True when the lock was taken without waiting.
    bool tryEnter();
    void leave();

private:
    alignas(8) unsigned char m_section[40]; // a CRITICAL_SECTION (size checked in sync.cpp)
#else
    // Inline: these sit on every lock's hot path, one call away from pthreads.
    void enter() { pthread_mutex_lock(&m_mutex); }
    // True when the lock was taken without waiting.
    bool tryEnter() { return pthread_mutex_trylock(&m_mutex) == 0; }
    void leave() { pthread_mutex_unlock(&m_mutex); }

private:
    pthread_mutex_t m_mutex;
#endif
};

// A manual-reset event: once set it releases every waiter until it is reset. As with a Win32
// event, set() releases every thread waiting at that moment even when reset() follows at
// once, before a waiter got to run.
class ManualResetEvent
{
public:
    explicit ManualResetEvent(bool initiallySet = false);
    ~ManualResetEvent();
    ManualResetEvent(const ManualResetEvent&) = delete;
    ManualResetEvent& operator=(const ManualResetEvent&) = delete;

    void set();
    void reset();
    // Waits until the event is set. Returns immediately when it already is.
    void wait();
    // Waits at most timeoutMs milliseconds; true when the event was set in time.
    bool waitFor(unsigned int timeoutMs);

private:
#ifdef _WIN32
    void* m_event; // a manual-reset event object
#else
    pthread_mutex_t m_mutex;
    pthread_cond_t m_cond;
    std::atomic<bool> m_set;    // written under m_mutex; read without it by reset()
    unsigned long m_generation; // counts set() calls that released waiters
#endif
};

// A counting semaphore with a maximum count. Timed waits run on the monotonic clock, so a
// change of the wall clock does not shorten or stretch them.
class Semaphore
{
public:
    Semaphore(int initial, int maximum);
    ~Semaphore();
    Semaphore(const Semaphore&) = delete;
    Semaphore& operator=(const Semaphore&) = delete;

    // False when the semaphore could not be created (then every operation fails).
    bool valid() const { return m_valid; }
    // Waits for a unit without limit; false on failure.
    bool wait();
    // Waits at most timeoutMs milliseconds; false on time-out or failure.
    bool waitFor(unsigned int timeoutMs);
    // Takes a unit only if one is available now.
    bool tryWait();
    // Adds one unit; false when the count would pass the maximum.
    bool post();

private:
#ifdef _WIN32
    void* m_sem; // a semaphore object with the maximum given
#else
    sem_t m_sem;
#endif
    int m_maximum;
    bool m_valid;
};

// A process-shared-capable, robust, recursive mutex: when its owner thread ends while
// holding it, the next lock succeeds and reports the abandonment.
class RobustMutex
{
public:
    RobustMutex();
    ~RobustMutex();
    RobustMutex(const RobustMutex&) = delete;
    RobustMutex& operator=(const RobustMutex&) = delete;

    enum class LockResult
    {
        acquired,
        abandoned,
        failed
    };
    LockResult lock();
    LockResult tryLock();
    bool unlock();

private:
#ifdef _WIN32
    void* m_mutex; // a mutex object: re-entrant, and abandoned when its owner thread ends
#else
    LockResult finish(int rc);
    pthread_mutex_t m_mutex;
#endif
};

// A thread-local slot holding one pointer per thread (null until set).
class TlsSlot
{
public:
    TlsSlot();
    ~TlsSlot();
    TlsSlot(const TlsSlot&) = delete;
    TlsSlot& operator=(const TlsSlot&) = delete;

    // False when the system ran out of slots.
    bool valid() const { return m_valid; }
    bool set(const void* value);
    void* get() const;

private:
#ifdef _WIN32
    unsigned long m_key; // a TlsAlloc index
#else
    pthread_key_t m_key;
#endif
    bool m_valid;
};

} // namespace Platform
} // namespace Orlix

#endif // ORLIX_PLATFORM_SYNC_H
