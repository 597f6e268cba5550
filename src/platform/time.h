// Operating-system layer: wall-clock readings.
//
// Internal to the library.
#ifndef ORLIX_PLATFORM_TIME_H
#define ORLIX_PLATFORM_TIME_H

namespace Orlix {
namespace Platform {

// A broken-down calendar reading with milliseconds.
struct CalendarReading
{
    int year;        // full year, e.g. 2026
    int month;       // 1..12
    int day;         // 1..31
    int wday;        // 0 = Sunday .. 6 = Saturday
    int hour;        // 0..23
    int minute;      // 0..59
    int second;      // 0..59 (60 on a leap second)
    int millisecond; // 0..999
};

// The current local time (the process's time zone).
CalendarReading localTime();

// The current UTC time.
CalendarReading utcTime();

// Nanoseconds of the system's monotonic clock (CLOCK_MONOTONIC): never goes back, not
// affected by changes of the system time, arbitrary origin.
long long monotonicNanoseconds();

} // namespace Platform
} // namespace Orlix

#endif // ORLIX_PLATFORM_TIME_H
