// The library's monotonic clock.
#include "infra3/clock.h"

#include "platform/time.h"

#include <atomic>

namespace Orlix {
namespace Infra {
namespace Detail {

namespace {

// The counter reading at library load, in nanoseconds. A function-local static so that a
// static initialiser elsewhere that reads the clock early still sees a proper base.
long long baseNanoseconds()
{
    static const long long base = Platform::monotonicNanoseconds();
    return base;
}

// Takes the base while the library is loaded.
const long long g_baseAtLoad = baseNanoseconds();

std::atomic<uint64> g_lastMilliSecond{0};
std::atomic<uint64> g_testOffsetMicroSeconds{0};

uint64 elapsedMicroSeconds()
{
    const long long elapsed = Platform::monotonicNanoseconds() - baseNanoseconds();
    return static_cast<uint64>(elapsed / 1000) +
           g_testOffsetMicroSeconds.load(std::memory_order_relaxed);
}

} // namespace

uint64 monotonicMilliSecond()
{
    const uint64 now = elapsedMicroSeconds() / 1000;
    uint64 last = g_lastMilliSecond.load(std::memory_order_relaxed);
    while (now > last) {
        if (g_lastMilliSecond.compare_exchange_weak(last, now, std::memory_order_relaxed))
            return now;
    }
    return last;
}

uint64 monotonicMicroSecond()
{
    return elapsedMicroSeconds();
}

void advanceClockForTesting(uint64 milliseconds)
{
    g_testOffsetMicroSeconds.fetch_add(milliseconds * 1000, std::memory_order_relaxed);
}

} // namespace Detail
} // namespace Infra
} // namespace Orlix
