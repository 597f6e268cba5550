// Time zones for the time tests. Only the test process's own TZ is changed.
#ifndef ORLIX_TESTS_TIME_ZONES_H
#define ORLIX_TESTS_TIME_ZONES_H

#include <cstdlib>
#include <ctime>
#include <filesystem>

namespace OrlixTest {

// Makes tz the zone of this process (and of the C library's local-time functions).
inline void useZone(const char* tz)
{
    setenv("TZ", tz, 1);
    tzset();
}

// A zone with daylight saving and a standard offset east of Greenwich: the Berlin zone file
// when the system has it, else the same rules written as a POSIX TZ string (which the C
// library understands without zone files), so the tests never depend on tzdata.
inline void useDaylightSavingZone()
{
    if (std::filesystem::exists("/usr/share/zoneinfo/Europe/Berlin"))
        useZone("Europe/Berlin");
    else
        useZone("CET-1CEST,M3.5.0,M10.5.0/3");
}

} // namespace OrlixTest

#endif // ORLIX_TESTS_TIME_ZONES_H
