// POSIX implementation of the time-zone and local-time services.
#include "platform/calendar.h"

#include <time.h>

namespace Orlix {
namespace Platform {

long timezoneOffsetSeconds()
{
    // tzset() re-reads TZ (cheaply when it did not change), so a program that changes TZ
    // while it runs sees the new zone; `timezone` is the standard offset it computed.
    tzset();
    return timezone;
}

long long makeLocalTime(std::tm& fields)
{
    const time_t seconds = mktime(&fields);
    return static_cast<long long>(seconds);
}

bool breakLocalTime(long long seconds, std::tm& fields)
{
    const time_t t = static_cast<time_t>(seconds);
    std::tm result;
    if (localtime_r(&t, &result) == nullptr)
        return false;
    fields = result;
    return true;
}

bool setLocalTime(int year, int month, int day, int hour, int minute, int second,
                  int millisecond)
{
    std::tm fields{};
    fields.tm_year = year - 1900;
    fields.tm_mon = month - 1;
    fields.tm_mday = day;
    fields.tm_hour = hour;
    fields.tm_min = minute;
    fields.tm_sec = second;
    fields.tm_isdst = -1; // let the zone rules decide, as a local wall-clock time
    const time_t seconds = mktime(&fields);
    if (seconds == static_cast<time_t>(-1))
        return false;
    timespec ts;
    ts.tv_sec = seconds;
    ts.tv_nsec = static_cast<long>(millisecond) * 1000000L;
    return clock_settime(CLOCK_REALTIME, &ts) == 0;
}

} // namespace Platform
} // namespace Orlix
