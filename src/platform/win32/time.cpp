// Win32 implementation of the wall-clock readings (GetLocalTime, GetSystemTime) and the
// monotonic clock (QueryPerformanceCounter).
#include "platform/time.h"

#include "platform/win32/win32.h"

namespace Orlix {
namespace Platform {

namespace {

CalendarReading fromSystemTime(const SYSTEMTIME& st)
{
    CalendarReading r;
    r.year = st.wYear;
    r.month = st.wMonth;
    r.day = st.wDay;
    r.wday = st.wDayOfWeek;
    r.hour = st.wHour;
    r.minute = st.wMinute;
    r.second = st.wSecond;
    r.millisecond = st.wMilliseconds;
    return r;
}

long long performanceFrequency()
{
    static const long long frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f); // never fails from Windows XP on
        return static_cast<long long>(f.QuadPart);
    }();
    return frequency;
}

} // namespace

CalendarReading localTime()
{
    SYSTEMTIME st;
    GetLocalTime(&st);
    return fromSystemTime(st);
}

CalendarReading utcTime()
{
    SYSTEMTIME st;
    GetSystemTime(&st);
    return fromSystemTime(st);
}

long long monotonicNanoseconds()
{
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    const long long frequency = performanceFrequency();
    const long long ticks = static_cast<long long>(counter.QuadPart);
    // Whole seconds and the remainder apart: ticks * 10^9 would overflow after a few days
    // at a 10 MHz counter.
    return ticks / frequency * 1000000000LL + ticks % frequency * 1000000000LL / frequency;
}

} // namespace Platform
} // namespace Orlix
