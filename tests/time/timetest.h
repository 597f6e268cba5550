// Helpers shared by the time tests.
#ifndef ORLIX_TESTS_TIME_TIMETEST_H
#define ORLIX_TESTS_TIME_TIMETEST_H

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>

namespace OrlixTest {

// Makes tz the zone of this test process (and of the C library's local-time functions).
inline void useZone(const char* tz)
{
    setenv("TZ", tz, 1);
    tzset();
}

// A zone with daylight saving, east of Greenwich: the Berlin zone file when the system has
// it, else the same rules as a POSIX TZ string (read without zone files), so no test depends
// on tzdata being installed.
inline void useDaylightSavingZone()
{
    if (std::filesystem::exists("/usr/share/zoneinfo/Europe/Berlin"))
        useZone("Europe/Berlin");
    else
        useZone("CET-1CEST,M3.5.0,M10.5.0/3");
}

inline std::string show(int y, int mo, int d, int h, int mi, int s)
{
    char text[80];
    std::snprintf(text, sizeof(text), "%04d-%02d-%02d %02d:%02d:%02d", y, mo, d, h, mi, s);
    return text;
}

// "yyyy-mm-dd hh:mm:ss" of any record with the six calendar fields.
template <class Fields>
std::string show(const Fields& t)
{
    return show(t.year, t.month, t.day, t.hour, t.minute, t.second);
}

inline std::string show(const std::tm& tm)
{
    return show(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
}

} // namespace OrlixTest

#endif // ORLIX_TESTS_TIME_TIMETEST_H
