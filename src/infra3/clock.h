// The library's monotonic clock (internal).
//
// Every time-out, deadline and idle time of the library is measured on this clock:
// milliseconds (and microseconds) since the library was loaded, from the system's monotonic
// counter. CTime::getCurrentMilliSecond() and CTime::getCurrentMicroSecond() return these
// readings.
#ifndef ORLIX_SRC_INFRA3_CLOCK_H
#define ORLIX_SRC_INFRA3_CLOCK_H

#include "infra/defs.h"

namespace Orlix {
namespace Infra {
namespace Detail {

// Milliseconds since load. Never returns less than an earlier result, on any thread: the
// largest value handed out so far is kept and returned while the counter has not passed it.
uint64 monotonicMilliSecond();

// Microseconds since load, straight from the counter (no non-decreasing guard).
uint64 monotonicMicroSecond();

// Test seam: moves both readings forward by milliseconds for the rest of the process, so
// that tests can reach long idle times and watchdog deadlines without waiting. Never used by
// the library itself.
void advanceClockForTesting(uint64 milliseconds);

} // namespace Detail
} // namespace Infra
} // namespace Orlix

#endif // ORLIX_SRC_INFRA3_CLOCK_H
