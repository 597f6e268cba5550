// POSIX implementation of the synchronisation primitives.
#include "platform/sync.h"

#include "platform/posix/deadline.h"

#include <cerrno>
#include <climits>
#include <ctime>

namespace Orlix {
namespace Platform {

// ---------------------------------------------------------------- CriticalSection

CriticalSection::CriticalSection()
{
    pthread_mutexattr_t attr;
    pthread_mutexattr_init(&attr);
    pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutex_init(&m_mutex, &attr);
    pthread_mutexattr_destroy(&attr);
}

CriticalSection::~CriticalSection()
{
    pthread_mutex_destroy(&m_mutex);
}

// ---------------------------------------------------------------- ManualResetEvent

ManualResetEvent::ManualResetEvent(bool initiallySet) : m_set(initiallySet), m_generation(0)
{
    pthread_mutex_init(&m_mutex, nullptr);
    pthread_condattr_t attr;
    pthread_condattr_init(&attr);
    pthread_condattr_setclock(&attr, CLOCK_MONOTONIC);
    pthread_cond_init(&m_cond, &attr);
    pthread_condattr_destroy(&attr);
}

ManualResetEvent::~ManualResetEvent()
{
    pthread_cond_destroy(&m_cond);
    pthread_mutex_destroy(&m_mutex);
}

void ManualResetEvent::set()
{
    pthread_mutex_lock(&m_mutex);
    if (!m_set) {
        m_set = true;
        ++m_generation;
        pthread_cond_broadcast(&m_cond);
    }
    pthread_mutex_unlock(&m_mutex);
}

void ManualResetEvent::reset()
{
    // Resetting an event that is not set changes nothing; skipping the lock then keeps the
    // common case (a read-write lock emptied of readers) cheap. A set() racing with this
    // check is ordered as if it came after the reset.
    if (!m_set.load(std::memory_order_relaxed))
        return;
    pthread_mutex_lock(&m_mutex);
    m_set = false;
    pthread_mutex_unlock(&m_mutex);
}

void ManualResetEvent::wait()
{
    pthread_mutex_lock(&m_mutex);
    const unsigned long generation = m_generation;
    while (!m_set && m_generation == generation)
        pthread_cond_wait(&m_cond, &m_mutex);
    pthread_mutex_unlock(&m_mutex);
}

bool ManualResetEvent::waitFor(unsigned int timeoutMs)
{
    const timespec deadline = monotonicDeadline(timeoutMs);
    pthread_mutex_lock(&m_mutex);
    const unsigned long generation = m_generation;
    int rc = 0;
    while (!m_set && m_generation == generation && rc != ETIMEDOUT)
        rc = pthread_cond_timedwait(&m_cond, &m_mutex, &deadline);
    const bool set = m_set.load() || m_generation != generation;
    pthread_mutex_unlock(&m_mutex);
    return set;
}

// ---------------------------------------------------------------- Semaphore

Semaphore::Semaphore(int initial, int maximum) : m_maximum(maximum)
{
    m_valid = initial >= 0 && initial <= maximum &&
              sem_init(&m_sem, 0, static_cast<unsigned int>(initial)) == 0;
}

Semaphore::~Semaphore()
{
    if (m_valid)
        sem_destroy(&m_sem);
}

bool Semaphore::wait()
{
    if (!m_valid)
        return false;
    int rc;
    do {
        rc = sem_wait(&m_sem);
    } while (rc != 0 && errno == EINTR);
    return rc == 0;
}

bool Semaphore::waitFor(unsigned int timeoutMs)
{
    if (!m_valid)
        return false;
    const timespec deadline = monotonicDeadline(timeoutMs);
    int rc;
    do {
        rc = sem_clockwait(&m_sem, CLOCK_MONOTONIC, &deadline);
    } while (rc != 0 && errno == EINTR);
    return rc == 0;
}

bool Semaphore::tryWait()
{
    if (!m_valid)
        return false;
    int rc;
    do {
        rc = sem_trywait(&m_sem);
    } while (rc != 0 && errno == EINTR);
    return rc == 0;
}

bool Semaphore::post()
{
    if (!m_valid)
        return false;
    // sem_post itself refuses past SEM_VALUE_MAX (INT_MAX on Linux); a smaller maximum is
    // checked here. The check and the post are not one atomic step, so under a race two
    // posters may both pass it; the library only uses the INT_MAX maximum.
    if (m_maximum < INT_MAX) {
        int value = 0;
        sem_getvalue(&m_sem, &value);
        if (value >= m_maximum)
            return false;
    }
    return sem_post(&m_sem) == 0;
}

// ---------------------------------------------------------------- RobustMutex

RobustMutex::RobustMutex()
{
    pthread_mutexattr_t attr;
    pthread_mutexattr_init(&attr);
    pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutexattr_setrobust(&attr, PTHREAD_MUTEX_ROBUST);
    pthread_mutex_init(&m_mutex, &attr);
    pthread_mutexattr_destroy(&attr);
}

RobustMutex::~RobustMutex()
{
    pthread_mutex_destroy(&m_mutex);
}

RobustMutex::LockResult RobustMutex::finish(int rc)
{
    if (rc == 0)
        return LockResult::acquired;
    if (rc == EOWNERDEAD) {
        // The previous owner died holding the lock: take it over and make it usable again,
        // as a Win32 wait reports WAIT_ABANDONED while granting ownership.
        pthread_mutex_consistent(&m_mutex);
        return LockResult::abandoned;
    }
    return LockResult::failed;
}

RobustMutex::LockResult RobustMutex::lock()
{
    return finish(pthread_mutex_lock(&m_mutex));
}

RobustMutex::LockResult RobustMutex::tryLock()
{
    return finish(pthread_mutex_trylock(&m_mutex));
}

bool RobustMutex::unlock()
{
    return pthread_mutex_unlock(&m_mutex) == 0;
}

// ---------------------------------------------------------------- TlsSlot

TlsSlot::TlsSlot()
{
    m_valid = pthread_key_create(&m_key, nullptr) == 0;
}

TlsSlot::~TlsSlot()
{
    if (m_valid)
        pthread_key_delete(m_key);
}

bool TlsSlot::set(const void* value)
{
    return m_valid && pthread_setspecific(m_key, value) == 0;
}

void* TlsSlot::get() const
{
    return m_valid ? pthread_getspecific(m_key) : nullptr;
}

} // namespace Platform
} // namespace Orlix
