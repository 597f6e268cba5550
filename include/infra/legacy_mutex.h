/// @file
/// Legacy lock classes in the global namespace: CMutex and CGuard.
///
/// Kept for older callers. ::CMutex is a re-entrant lock that also reports when its previous
/// owner thread ended while holding it: Enter() then returns false although the caller now
/// holds the lock (and the lock is usable again). New code uses Orlix::Infra::CMutex.
///
/// Thread-safety: every operation may be called from any thread. Not copyable.
///
/// Failure: Enter()/TryEnter() return false when the lock was not acquired normally
/// (abandoned by a dead owner, or busy for TryEnter()); Leave() returns false when the caller
/// did not hold the lock.
#ifndef ORLIX_INFRA_LEGACY_MUTEX_H
#define ORLIX_INFRA_LEGACY_MUTEX_H

#include "infra/defs.h"

/// The legacy re-entrant lock, which also reports a hold inherited from an owner thread that
/// ended while holding it.
class ORLIX_API CMutex
{
public:
    /// Kind of mutex; the constructor accepts any value and always makes the same lock.
    typedef int Type;

    /// Creates an unowned lock.
    explicit CMutex(Type type = 0);
    /// Destroys the lock; it must not be held.
    ~CMutex();
    CMutex(const CMutex&) = delete;
    CMutex& operator=(const CMutex&) = delete;

    /// Waits without limit. True when the lock was acquired normally; false when it was
    /// acquired from an owner that ended while holding it, or on failure.
    bool Enter();
    /// As Enter() without waiting; false also when another thread holds the lock.
    bool TryEnter();
    /// Releases one level of the calling thread's hold; true on success.
    bool Leave();

private:
    struct MutexInternal;
    MutexInternal* m_internal;
};

/// Holds a legacy CMutex for the guard's lifetime: Enter() on construction, Leave() on
/// destruction.
class ORLIX_API CGuard
{
public:
    /// Enters mutex; mutex must outlive the guard.
    explicit CGuard(CMutex& mutex);
    /// Leaves the mutex once.
    ~CGuard();
    CGuard(const CGuard&) = delete;
    CGuard& operator=(const CGuard&) = delete;

private:
    CMutex& m_mutex;
};

#endif // ORLIX_INFRA_LEGACY_MUTEX_H
