// Operating-system layer: the local time zone, local-time conversions of the C library, and
// setting the system clock.
//
// Internal to the library. Everything that depends on the process's time zone (the TZ
// variable and the zone files behind it) or that changes the machine's clock sits here, so
// that the calendar code above stays pure arithmetic.
#ifndef ORLIX_PLATFORM_CALENDAR_H
#define ORLIX_PLATFORM_CALENDAR_H

#include <ctime>

namespace Orlix {
namespace Platform {

// Seconds to add to local standard time to get UTC (positive west of Greenwich), as the C
// library computes it for the current value of TZ (re-read whenever that value changes).
// Daylight saving plays no part.
long timezoneOffsetSeconds();

// The C library's mktime on fields (which it normalises in place). Returns the seconds since
// 1970 UTC, or -1 when the fields cannot be represented.
long long makeLocalTime(std::tm& fields);

// The C library's localtime_r. False when seconds cannot be broken down (out of the range of
// the calendar type); fields are then unchanged.
bool breakLocalTime(long long seconds, std::tm& fields);

// Sets the system's clock to the given local time (mktime, then clock_settime on the real-time
// clock). False when the time cannot be represented or the system refuses (for example for
// lack of privilege). The library calls this only through the replaceable setter of
// infra3/timeset.h.
bool setLocalTime(int year, int month, int day, int hour, int minute, int second, int millisecond);

} // namespace Platform
} // namespace Orlix

#endif // ORLIX_PLATFORM_CALENDAR_H
