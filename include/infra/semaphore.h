/// @file
/// CSemaphore: a counting semaphore.
///
/// The count starts at the constructor's value and may rise to 0x7fffffff. pend() takes one
/// unit, waiting for it when the count is 0; post() adds one. Timed waits run on the monotonic
/// clock, so a change of the system time does not affect them.
///
/// Thread-safety: every operation may be called from any thread. Not copyable.
///
/// Failure: the pend family and post() return 0 on success and -1 on failure (time-out, an
/// empty semaphore for tryPend(), a count that would pass the maximum for post()). A semaphore
/// that the system cannot create ends the process through the library's assertion.
#ifndef ORLIX_INFRA_SEMAPHORE_H
#define ORLIX_INFRA_SEMAPHORE_H

#include "infra/defs.h"

namespace Orlix {
namespace Infra {

/// A counting semaphore with untimed, timed and non-blocking waits.
class ORLIX_API CSemaphore
{
public:
    /// Creates the semaphore with initialCount units (0 when omitted).
    explicit CSemaphore(int initialCount = 0);
    /// Destroys the semaphore; no thread may still be waiting on it.
    ~CSemaphore();
    CSemaphore(const CSemaphore&) = delete;
    CSemaphore& operator=(const CSemaphore&) = delete;

    /// Takes a unit, waiting without limit. 0 on success, -1 on failure.
    int pend();
    /// Takes a unit, waiting at most timeout milliseconds. 0 on success, -1 on time-out.
    int pend(unsigned int timeout);
    /// Takes a unit only if one is available now. 0 on success, -1 otherwise.
    int tryPend();
    /// Adds a unit. 0 on success, -1 when the count would pass 0x7fffffff.
    int post();

private:
    struct SemaphoreInternal;
    SemaphoreInternal* m_internal;
};

} // namespace Infra
} // namespace Orlix

#endif // ORLIX_INFRA_SEMAPHORE_H
