// Win32 implementation of the time-zone and local-time services: the C runtime's _tzset,
// _timezone, _mktime64 and _localtime64_s, and SetLocalTime for the system clock.
//
// The C runtime reads the TZ variable in its own format only ("CET-1", "EST5EDT": a name, the
// hours west of UTC, an optional daylight name); without TZ it takes the zone from the
// system's settings. Zone names such as "Europe/Berlin" mean nothing to it (UTC is used).
#include "platform/calendar.h"

#include "platform/win32/win32.h"

#include <cstdlib>
#include <ctime>
#include <mutex>
#include <string>
#include <time.h>

namespace Orlix {
namespace Platform {

namespace {

// The offset and the TZ value it was computed for (see the POSIX implementation: the offset
// is recomputed only when TZ's value changes).
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
        _tzset();
        // Seconds west of UTC (add to local time to get UTC); the runtime's variable, which
        // every runtime DLL exports (_get_timezone is missing from the oldest).
        const long offset = _timezone;
        cache.valid = true;
        cache.tzSet = tz != nullptr;
        cache.tz = tz != nullptr ? tz : "";
        cache.offset = offset;
    }
    return cache.offset;
}

long long makeLocalTime(std::tm& fields)
{
    return static_cast<long long>(_mktime64(&fields));
}

bool breakLocalTime(long long seconds, std::tm& fields)
{
    const __time64_t t = static_cast<__time64_t>(seconds);
    std::tm result;
    if (_localtime64_s(&result, &t) != 0)
        return false;
    fields = result;
    return true;
}

bool setLocalTime(int year, int month, int day, int hour, int minute, int second, int millisecond)
{
    if (year < 1601 || year > 30827 || month < 1 || month > 12 || day < 1 || day > 31 ||
        hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59 ||
        millisecond < 0 || millisecond > 999)
        return false;
    SYSTEMTIME st{};
    st.wYear = static_cast<WORD>(year);
    st.wMonth = static_cast<WORD>(month);
    st.wDay = static_cast<WORD>(day);
    st.wHour = static_cast<WORD>(hour);
    st.wMinute = static_cast<WORD>(minute);
    st.wSecond = static_cast<WORD>(second);
    st.wMilliseconds = static_cast<WORD>(millisecond);
    // The day of the week is ignored; an impossible date (30 February) is refused.
    return SetLocalTime(&st) != FALSE;
}

} // namespace Platform
} // namespace Orlix
