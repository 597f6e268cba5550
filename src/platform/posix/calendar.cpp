// POSIX implementation of the time-zone and local-time services.
#include "platform/calendar.h"

#include <cstdlib>
#include <mutex>
#include <string>
#include <time.h>

namespace Orlix {
namespace Platform {

namespace {

// The offset and the TZ value it was computed for. tzset() is not cheap: with TZ unset, glibc
// stats the zone file on every call (about 2 us), and makeTime() asks for the offset each
// time. So the offset is recomputed only when TZ's value changes, which is also when the
// C library's own localtime_r() would notice a change.
struct ZoneCache
{
    std::mutex mutex;
    bool valid = false; // guarded by mutex, as are the fields below
    bool tzSet = false;
    std::string tz;
    long offset = 0;
};

ZoneCache& zoneCache()
{
    static ZoneCache cache;
    return cache;
}

} // namespace

long timezoneOffsetSeconds()
{
    ZoneCache& cache = zoneCache();
    std::lock_guard<std::mutex> guard(cache.mutex);
    const char* tz = std::getenv("TZ");
    const bool same =
        cache.valid && (tz != nullptr) == cache.tzSet && (tz == nullptr || cache.tz == tz);
    if (!same) {
        tzset();
        cache.valid = true;
        cache.tzSet = tz != nullptr;
        cache.tz = tz != nullptr ? tz : "";
        cache.offset = timezone; // seconds west of UTC: add to local time to get UTC
    }
    return cache.offset;
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

bool setLocalTime(int year, int month, int day, int hour, int minute, int second, int millisecond)
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
