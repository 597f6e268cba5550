// Chapter: calendar time. The current time in a few pictures, reading a text back, calendar
// arithmetic, and the monotonic clock every time-out of the library is measured on.
#include "tour.h"

#include <infra/orlix.h>

#include <cstdio>

namespace {

// The legacy layer has a global ::CTime too; name the library's own class explicitly.
using Time = Orlix::Infra::CTime;

void currentTime()
{
    tourHeading("The current time in a few pictures");
    const Time now = Time::getCurrentTime();
    char text[128];
    now.format(text); // the process-wide format, "yyyy-MM-dd HH:mm:ss" unless changed
    std::printf("%-34s %s\n", "the process-wide format:", text);

    // Mask bits take the separator, the date order and the 12-hour mode from the picture
    // instead of from the process-wide format.
    const int fromPicture = Time::keepSeparator | Time::pictureOrder | Time::picture12Hour;
    const char* pictures[] = {"dd.MM.yyyy HH:mm", "MM/dd/yy h:mm:ss tt", "yyyyMMdd-HHmmss",
                              "d.M.yyyy"};
    for (const char* picture : pictures) {
        now.format(text, picture, fromPicture);
        std::printf("%-34s %s\n", picture, text);
    }
    // Without the mask the stored order and separator apply to any picture's date runs.
    now.format(text, "dd.MM.yyyy", 0);
    std::printf("%-34s %s\n", "dd.MM.yyyy with mask 0:", text);

    std::printf("seconds since 1970 (UTC): %llu\n",
                static_cast<unsigned long long>(Time::getCurrentUTCtime()));
}

void parsing()
{
    tourHeading("Reading a time back");
    Time::setFormatString("dd.MM.yyyy HH:mm:ss"); // order dmy, separator '.', 24-hour
    const Time now = Time::getCurrentTime();
    char text[64];
    now.format(text);
    Time back;
    const bool ok = back.parse(text); // the stored format gives the date order
    std::printf("\"%s\" parses %s and %s the original\n", text, ok ? "fine" : "badly",
                back == now ? "equals" : "differs from");

    // The parser is lenient: any non-digits separate the six numbers.
    back.parse("7/3/2016, 9h05m02s");
    const int asWritten = Time::keepSeparator | Time::pictureOrder;
    back.format(text, "yyyy-MM-dd HH:mm:ss", asWritten);
    std::printf("\"7/3/2016, 9h05m02s\" reads as %s\n", text);

    // Out-of-range values are clamped, not rolled over.
    back.parse("30.02.2016 25:00:00");
    back.format(text, "yyyy-MM-dd HH:mm:ss", asWritten);
    std::printf("\"30.02.2016 25:00:00\" reads as %s\n", text);
    Time::setFormatString("yyyy-MM-dd HH:mm:ss");
}

void arithmetic()
{
    tourHeading("Calendar arithmetic and the monotonic clock");
    const Time newYearsEve(2016, 12, 31, 23, 59, 59);
    char text[64];
    (newYearsEve + 1).format(text);
    std::printf("2016-12-31 23:59:59 + 1 s = %s\n", text);
    std::printf(
        "days from 2016-03-01 back to 2016-02-01: %lld (a leap year)\n",
        static_cast<long long>((Time(2016, 3, 1, 0, 0, 0) - Time(2016, 2, 1, 0, 0, 0)) / 86400));
    static const char* const weekdays[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                           "Thursday", "Friday", "Saturday"};
    std::printf("1970-01-01 was a %s\n", weekdays[Time(1970, 1, 1, 0, 0, 0).wday]);

    const Orlix::uint64 start = Time::getCurrentMilliSecond();
    Orlix::Infra::CThread::sleep(20);
    std::printf("a 20 ms sleep took %llu ms on the monotonic clock\n",
                static_cast<unsigned long long>(Time::getCurrentMilliSecond() - start));
}

} // namespace

void tourTime()
{
    currentTime();
    parsing();
    arithmetic();
}
