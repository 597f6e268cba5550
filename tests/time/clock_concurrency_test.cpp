// The monotonic millisecond clock under concurrent callers.
#include "infra/time.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

using Orlix::uint64;
using Orlix::Infra::CTime;

// Every reading must be at least the largest reading any thread published before it was
// taken, and no thread may see its own readings go back. The threads run until the clock
// has moved on by 30 ms, so many millisecond boundaries are crossed concurrently.
TEST(MonotonicClockConcurrency, NeverDecreasesAcrossThreads)
{
    const int kThreads = 4;
    std::atomic<uint64> published{0};
    std::atomic<int> violations{0};
    const uint64 end = CTime::getCurrentMilliSecond() + 30;

    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i) {
        threads.emplace_back([&] {
            uint64 own = 0;
            for (;;) {
                const uint64 floor = published.load(std::memory_order_acquire);
                const uint64 now = CTime::getCurrentMilliSecond();
                if (now < floor || now < own)
                    violations.fetch_add(1);
                own = now;
                uint64 seen = published.load(std::memory_order_relaxed);
                while (seen < now &&
                       !published.compare_exchange_weak(seen, now, std::memory_order_release))
                {
                }
                if (now >= end)
                    break;
            }
        });
    }
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(violations.load(), 0);
    EXPECT_GE(published.load(), end);
}

// Both readings come from one counter: no thread sees the microseconds behind the milliseconds.
TEST(MonotonicClockConcurrency, MicrosecondsAgreeWithMillisecondsOnEveryThread)
{
    std::atomic<int> violations{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < 3; ++i) {
        threads.emplace_back([&] {
            for (int n = 0; n < 20000; ++n) {
                const uint64 ms = CTime::getCurrentMilliSecond();
                const uint64 us = CTime::getCurrentMicroSecond();
                if (us / 1000 < ms)
                    violations.fetch_add(1);
            }
        });
    }
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(violations.load(), 0);
}
