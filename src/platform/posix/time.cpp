// POSIX implementation of the wall-clock readings.
#include "platform/time.h"

#include <ctime>

namespace Orlix {
namespace Platform {

namespace {

CalendarReading fromTm(const std::tm& tm, long nanoseconds)
{
    CalendarReading r;
    r.year = tm.tm_year + 1900;
    r.month = tm.tm_mon + 1;
    r.day = tm.tm_mday;
    r.wday = tm.tm_wday;
    r.hour = tm.tm_hour;
    r.minute = tm.tm_min;
    r.second = tm.tm_sec;
    r.millisecond = static_cast<int>(nanoseconds / 1000000L);
    return r;
}

} // namespace

CalendarReading localTime()
{
    timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    std::tm tm;
    localtime_r(&ts.tv_sec, &tm);
    return fromTm(tm, ts.tv_nsec);
}

CalendarReading utcTime()
{
    timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    std::tm tm;
    gmtime_r(&ts.tv_sec, &tm);
    return fromTm(tm, ts.tv_nsec);
}

long long monotonicNanoseconds()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<long long>(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
}

} // namespace Platform
} // namespace Orlix
