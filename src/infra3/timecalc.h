// Calendar arithmetic shared by CTime, its text forms and the set-time path (internal).
//
// Pure functions on broken-down fields: no time zone, no clock, no state. Valid for the
// years 1970 to 2038 that a normalised CTime covers; within them the day numbers equal the
// Gregorian count (the simplified leap rule "every fourth year" agrees with the real one until
// 2100).
#ifndef ORLIX_SRC_INFRA3_TIMECALC_H
#define ORLIX_SRC_INFRA3_TIMECALC_H

#include "infra/defs.h"
#include "infra/time.h"

namespace Orlix {
namespace Infra {
namespace Detail {

// Divisible by 4 and not by 100, or divisible by 400.
inline bool isLeapYear(int64 year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

// Clamps the date and time fields into range (year 1970..2038, month 1..12, day 1..last day,
// hour past 23 making 23:59:59, minute and second 0..59) and computes the weekday. The
// reserved field is left as it is.
void normaliseFields(SystemTime& fields);

// Days since 1970-01-01 of a normalised date.
int64 dayNumber(int year, int month, int day);

// Weekday (0 = Sunday) of a normalised date.
int weekday(int year, int month, int day);

// Seconds since 1970-01-01 00:00:00 of normalised fields taken as UTC.
int64 zoneFreeSeconds(const SystemTime& fields);

// Sets the date, time and weekday fields from seconds since 1970 taken as UTC. Nothing is
// clamped; the reserved field is left as it is.
void fieldsFromSeconds(int64 seconds, SystemTime& fields);

} // namespace Detail
} // namespace Infra
} // namespace Orlix

#endif // ORLIX_SRC_INFRA3_TIMECALC_H
