/// @file
/// Mutexes: CMutex, CRecursiveMutex and the scope guard TGuard.
///
/// Both mutexes are re-entrant: the thread that holds one may enter it again and must leave
/// it as often as it entered. CMutex is the plain lock of the library; CRecursiveMutex keeps
/// its owner and nesting depth itself (other threads may read the owner without the lock).
///
///     Orlix::Infra::CMutex lock;
///     {
///         Orlix::Infra::TGuard<Orlix::Infra::CMutex> guard(lock); // enter() ... leave()
///         ...
///     }
///
/// Thread-safety: every operation may be called from any thread. Copying is not allowed: each
/// object owns one system lock.
///
/// Failure: enter() and leave() always report true; tryEnter() reports whether it got the
/// lock. Leaving a mutex the calling thread does not hold is a caller error (CRecursiveMutex
/// does not check it).
#ifndef ORLIX_INFRA_MUTEX_H
#define ORLIX_INFRA_MUTEX_H

#include "infra/defs.h"

namespace Orlix {
namespace Infra {

/// The library's plain lock: re-entrant, one system lock per object (see the top of this
/// header).
class ORLIX_API CMutex
{
public:
    /// Creates the lock, free.
    CMutex();
    /// Destroys the lock; it must not be held.
    ~CMutex();
    CMutex(const CMutex&) = delete;
    CMutex& operator=(const CMutex&) = delete;

    /// Waits until the lock is held by the calling thread; returns true. Nests.
    bool enter();
    /// Takes the lock only if that needs no waiting; true when it was taken.
    bool tryEnter();
    /// Leaves one level of the calling thread's hold; returns true.
    bool leave();

private:
    struct MutexInternal;
    MutexInternal* m_internal;
};

/// A re-entrant lock that tracks its owner thread and nesting depth itself.
class ORLIX_API CRecursiveMutex
{
public:
    /// Creates the lock, free (no owner, depth 0).
    CRecursiveMutex();
    /// Destroys the lock; it must not be held.
    ~CRecursiveMutex();
    CRecursiveMutex(const CRecursiveMutex&) = delete;
    CRecursiveMutex& operator=(const CRecursiveMutex&) = delete;

    /// Enters the lock; the owner only counts one level deeper. Returns true.
    bool enter();
    /// Leaves one level; the lock is released when the depth reaches 0. Only the owner may
    /// call it. Returns true.
    bool leave();

private:
    struct RecursiveMutexInternal;
    RecursiveMutexInternal* m_internal;
};

/// Holds a lock for the lifetime of the guard: enter() in the constructor, leave() in the
/// destructor. Works with any class offering enter() and leave().
template <class Lockable>
class TGuard
{
public:
    /// Enters lock; lock must outlive the guard.
    explicit TGuard(Lockable& lock) : m_lock(lock) { m_lock.enter(); }
    /// Leaves the lock once.
    ~TGuard() { m_lock.leave(); }
    TGuard(const TGuard&) = delete;
    TGuard& operator=(const TGuard&) = delete;

private:
    Lockable& m_lock;
};

} // namespace Infra
} // namespace Orlix

#endif // ORLIX_INFRA_MUTEX_H
