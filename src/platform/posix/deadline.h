// Absolute deadlines on the monotonic clock, for the POSIX timed waits (internal to the
// POSIX implementation).
//
// pthread_cond_timedwait on a condition created with CLOCK_MONOTONIC, and sem_clockwait with
// CLOCK_MONOTONIC, take an absolute time on that clock; a change of the wall clock then
// neither shortens nor stretches a wait.
#ifndef ORLIX_PLATFORM_POSIX_DEADLINE_H
#define ORLIX_PLATFORM_POSIX_DEADLINE_H

#include <ctime>

namespace Orlix {
namespace Platform {

// The monotonic clock's reading timeoutMs milliseconds from now.
inline timespec monotonicDeadline(unsigned int timeoutMs)
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    ts.tv_sec += static_cast<time_t>(timeoutMs / 1000);
    ts.tv_nsec += static_cast<long>(timeoutMs % 1000) * 1000000L;
    if (ts.tv_nsec >= 1000000000L) {
        ts.tv_sec += 1;
        ts.tv_nsec -= 1000000000L;
    }
    return ts;
}

} // namespace Platform
} // namespace Orlix

#endif // ORLIX_PLATFORM_POSIX_DEADLINE_H
