// Chapter: the foundation. Levelled printing with its prefix and colours, a print sink,
// per-thread error codes and their messages, delegates, and locks shared by threads.
#include "tour.h"

#include <infra/orlix.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

namespace {

// The legacy layer keeps a few global names (::CMutex, ::CTime, ::CPacket) for older callers,
// so a using-directive for Orlix::Infra would make them ambiguous. Name what you use instead.
using Orlix::Infra::attachPrint;
using Orlix::Infra::CMutex;
using Orlix::Infra::CReadWriteMutex;
using Orlix::Infra::CSemaphore;
using Orlix::Infra::detachPrint;
using Orlix::Infra::dumpHex;
using Orlix::Infra::getErrMsg;
using Orlix::Infra::getLastError;
using Orlix::Infra::logLibName;
using Orlix::Infra::PrintOptions;
using Orlix::Infra::setErrMsg;
using Orlix::Infra::setLastError;
using Orlix::Infra::setPrintLogLevel;
using Orlix::Infra::setPrintOptions;
using Orlix::Infra::TFunction1;
using Orlix::Infra::TGuard;

// A sink sees every printed text, prefix included. This one counts the lines it was given.
class LineCounter
{
public:
    bool onText(const char* text)
    {
        for (const char* p = text; *p != '\0'; ++p)
            m_lines += (*p == '\n') ? 1 : 0;
        return true;
    }
    int lines() const { return m_lines; }

private:
    int m_lines = 0;
};

int twice(int x)
{
    return 2 * x;
}

struct Scaler
{
    int factor;
    int scale(int x) { return factor * x; }
};

void printing()
{
    tourHeading("Levelled printing");
    // The level starts at 3 (warn): info, trace and debug are silent until it is raised.
    logInfo("this info line is not shown at the default level\n");
    setPrintLogLevel(6);
    logFatal("fatal lines are magenta on a terminal\n");
    logError("error lines are red\n");
    logWarn("warnings are yellow\n");
    logInfo("info is green\n");
    logTrace("trace is white\n");
    logDebug("debug is cyan\n");
    logLibName(4, "tour", "a line that names its module\n");
    logInfo("a line may be built ");
    logInfo("from several calls ");
    logInfo("and gets one prefix\n");

    PrintOptions quiet;
    quiet.hideTime = quiet.hideModule = quiet.hideVersion = quiet.hideFunction = true;
    setPrintOptions(quiet);
    logInfo("with most of the prefix hidden\n");
    setPrintOptions(PrintOptions());

    unsigned char bytes[20];
    for (unsigned int i = 0; i < sizeof(bytes); ++i)
        bytes[i] = static_cast<unsigned char>('A' + i);
    dumpHex(bytes, sizeof(bytes));
}

void sinks()
{
    tourHeading("A print sink");
    LineCounter counter;
    TFunction1<bool, const char*> sink(&LineCounter::onText, &counter);
    attachPrint(sink);
    logWarn("one\n");
    logWarn("two\n");
    logWarn("three\n");
    detachPrint(sink);
    std::printf("the sink counted %d lines\n", counter.lines());
}

void errors()
{
    tourHeading("Error codes and messages");
    const int kDiskFull = 0x20000001;
    setErrMsg(kDiskFull, "disk full");
    setLastError(kDiskFull);
    std::printf("last error 0x%08x: %s\n", static_cast<unsigned>(getLastError()),
                getErrMsg(getLastError()));
    std::thread other([] {
        std::printf("another thread sees last error %d: codes are per thread\n", getLastError());
    });
    other.join();
}

void delegates()
{
    tourHeading("Delegates");
    TFunction1<int, int> free(&twice);
    Scaler byTen{10};
    TFunction1<int, int> member(&Scaler::scale, &byTen);
    std::printf("free(21) = %d, member(21) = %d\n", free(21), member(21));
    std::printf("same binding compares equal: %s; different ones: %s\n",
                member == TFunction1<int, int>(&Scaler::scale, &byTen) ? "yes" : "no",
                member == free ? "equal" : "unequal");
}

void locks()
{
    tourHeading("Locks shared by threads");
    CMutex mutex;
    CReadWriteMutex table(CReadWriteMutex::priorityWrite);
    CSemaphore done(0);
    long counter = 0;
    std::atomic<long> reads{0};

    std::vector<std::thread> workers;
    for (int t = 0; t < 4; ++t) {
        workers.emplace_back([&] {
            for (int i = 0; i < 10000; ++i) {
                TGuard<CMutex> guard(mutex);
                ++counter;
            }
            for (int i = 0; i < 1000; ++i) {
                table.enterReading();
                reads.fetch_add(1);
                table.leave();
            }
            done.post();
        });
    }
    for (int t = 0; t < 4; ++t)
        done.pend();
    for (auto& worker : workers)
        worker.join();
    std::printf("4 threads x 10000 increments under a CMutex: %ld\n", counter);
    std::printf("4 threads x 1000 reads under a CReadWriteMutex: %ld\n", reads.load());
}

} // namespace

void tourFoundation()
{
    printing();
    sinks();
    errors();
    delegates();
    locks();
    setPrintLogLevel(3);
}
