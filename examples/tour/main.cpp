// The Orlix tour: run it with scripts/demo.sh. A small sensor gateway lives through one short
// day; tour.h lists the files that tell each step.
//
//     tour [--keep] [logfilter commands...]
//
// --keep leaves the working directory (the log file and the readings) in place. Extra
// logfilter commands, each starting with its option word, run after the gateway's own at
// power-on, for example
//     tour -loglevel 3                 (only warnings and worse)
//     tour -logthread off -logsize 8   (no thread ids; a larger log file)
#include "sensordriver.h"
#include "tour.h"

#include <cstdarg>
#include <cstdio>

using Time = Orlix::Infra::CTime; // the legacy layer has a global ::CTime too

void tourStep(const char* title)
{
    static int number = 0;
    std::printf("\n== %d. %s\n", ++number, title);
    std::fflush(stdout);
}

void tourSay(const char* fmt, ...)
{
    std::va_list args;
    va_start(args, fmt);
    std::printf("   ");
    std::vprintf(fmt, args);
    std::printf("\n");
    va_end(args);
    std::fflush(stdout); // keep the order with the library's lines, which go to stdout too
}

int main(int argc, char** argv)
{
    Gateway gateway;
    gateway.startMs = Time::getCurrentMilliSecond();
    if (!powerOn(gateway, argc, argv))
        return 2;

    Collector collector;
    bool ok = collector.connect();
    if (ok)
        ok = runService(gateway, collector);
    collector.disconnect();
    if (gateway.driver != nullptr)
        gateway.driver->release(); // the last reference: the plugin's object is destroyed

    ok = sealReadings(gateway) && ok;
    ok = cleanUp(gateway) && ok;

    std::printf("\nTour %s in %.1f s.\n", ok ? "finished" : "FAILED",
                static_cast<double>(Time::getCurrentMilliSecond() - gateway.startMs) / 1000.0);
    return ok ? 0 : 1;
}
