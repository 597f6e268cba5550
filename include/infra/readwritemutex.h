/// @file
/// CReadWriteMutex: a read-write lock with a choice of fairness.
///
/// Any number of readers, or one writer, hold the lock at a time. Two modes:
///  - priorityDefault: a writer blocks new readers at once and waits (yielding) for the
///    readers inside to leave. Cheap for readers: entering is one short lock and an atomic
///    increment.
///  - priorityWrite: no polling; waiting writers are served before waiting readers, and a
///    leaving writer hands the lock straight to the next waiting writer. Readers waiting behind
///    writers enter together once no writer waits.
///
/// For example:
///
///     Orlix::Infra::CReadWriteMutex lock(Orlix::Infra::CReadWriteMutex::priorityWrite);
///     lock.enterReading(); ... lock.leave();
///
/// Thread-safety: every operation may be called from any thread. The lock is not re-entrant:
/// a reader that calls enterWriting(), or a writer that calls enterReading(), waits for
/// itself. Not copyable.
///
/// Failure: leave() without a hold returns false (in priorityDefault mode it also logs
/// "No lock, maybe err"). An unknown priority logs a warning and falls back to
/// priorityDefault. Destroying a held priorityDefault lock logs an error.
#ifndef ORLIX_INFRA_READWRITEMUTEX_H
#define ORLIX_INFRA_READWRITEMUTEX_H

#include "infra/defs.h"

namespace Orlix {
namespace Infra {

namespace Detail {
struct ReadWriteMutexProbe;
} // namespace Detail

/// A read-write lock: many readers or one writer, in one of two fairness modes.
class ORLIX_API CReadWriteMutex
{
public:
    /// The fairness mode, fixed at construction.
    enum RWPriority : int
    {
        priorityDefault = 0, ///< writers poll for readers to drain
        priorityWrite = 1    ///< waiting writers go first, no polling
    };

    /// A priorityDefault lock.
    CReadWriteMutex();
    /// A lock in the given mode; a value other than 0 or 1 logs a warning and uses
    /// priorityDefault.
    explicit CReadWriteMutex(RWPriority priority);
    /// Destroys the lock. A priorityDefault lock still held logs "has lock Read count(N), maybe
    /// err" or "has lock write, maybe err" at error level; no thread may still be waiting on it.
    ~CReadWriteMutex();
    CReadWriteMutex(const CReadWriteMutex&) = delete;
    CReadWriteMutex& operator=(const CReadWriteMutex&) = delete;

    /// Waits until the calling thread holds the lock for reading; returns true.
    bool enterReading();
    /// Waits until the calling thread holds the lock for writing; returns true.
    bool enterWriting();
    /// Releases the calling reader's or writer's hold; false when nothing is held.
    bool leave();

private:
    friend struct Detail::ReadWriteMutexProbe; ///< lets tests observe who is waiting
    struct ReadWriteMutexInternal;
    ReadWriteMutexInternal* m_internal;
};

} // namespace Infra
} // namespace Orlix

#endif // ORLIX_INFRA_READWRITEMUTEX_H
