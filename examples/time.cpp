// Calendar time: CTime's fields, clamping, arithmetic, text in a picture language, lenient
// parsing, and the monotonic clock that every time-out of the library uses.
//
// Build: g++ -std=c++17 time.cpp $(pkg-config --cflags --libs orlix)
#include <infra/thread.h>
#include <infra/time.h>

#include <cstdio>
#include <cstring>

// infra/orlix.h also brings the legacy global ::CTime: name the class you mean.
using Time = Orlix::Infra::CTime;

int main()
{
    bool ok = true;
    char text[64];

    // Six fields; the weekday is computed (0 = Sunday).
    const Time meeting(2016, 3, 7, 9, 5, 2);
    meeting.format(text); // the process-wide format, "yyyy-MM-dd HH:mm:ss" by default
    std::printf("meeting: %s, weekday %d\n", text, meeting.wday);
    ok = ok && std::strcmp(text, "2016-03-07 09:05:02") == 0 && meeting.wday == 1;

    // Out-of-range fields are clamped, never rolled over.
    const Time clamped(2016, 2, 30, 25, 0, 0);
    clamped.format(text);
    std::printf("2016-02-30 25:00:00 becomes %s\n", text);
    ok = ok && std::strcmp(text, "2016-02-28 23:59:59") == 0;

    // Arithmetic in seconds; a difference of two times is seconds too.
    const Time nextDay = meeting + 86400;
    ok = ok && nextDay - meeting == 86400 && nextDay > meeting;

    // Pictures: y M d H/h m s t; mask bits take separator, order and 12-hour mode from the
    // picture instead of from the process-wide format.
    const int fromPicture = Time::keepSeparator | Time::pictureOrder | Time::picture12Hour;
    meeting.format(text, "MM/dd/yy h:mm tt", fromPicture);
    std::printf("US style: %s\n", text);
    ok = ok && std::strcmp(text, "03/07/16 9:05 AM") == 0;

    // Parsing reads six numbers, separated by anything; the picture gives the date order.
    Time back;
    ok = ok && back.parse("7.3.2016 9h05m02s", "dd.MM.yyyy HH:mm:ss") && back == meeting;

    // Seconds since 1970 (UTC) and back, through the local time zone.
    ok = ok && Time(meeting.makeTime()) == meeting;

    // The wall clock, and the monotonic clock (milliseconds since the library was loaded;
    // the system time never moves it). Measure time-outs on the latter.
    Time::getCurrentTime().format(text);
    const Orlix::uint64 start = Time::getCurrentMilliSecond();
    Orlix::Infra::CThread::sleep(20);
    const Orlix::uint64 took = Time::getCurrentMilliSecond() - start;
    std::printf("now %s; a 20 ms sleep took %llu ms\n", text,
                static_cast<unsigned long long>(took));
    ok = ok && took >= 19;

    std::printf("time: %s\n", ok ? "ok" : "FAILED");
    return ok ? 0 : 1;
}
