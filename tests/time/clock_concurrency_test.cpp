// The monotonic millisecond clock under concurrent callers.
#include "infra/time.h"

#include "infra3/timeset.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

using Orlix::uint64;
using Orlix::Infra::CTime;
using Orlix::Infra::SystemTime;
using Orlix::Infra::SystemTimeEx;
using Orlix::Infra::TFunction1;

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
                       !published.compare_exchange_weak(seen, now, std::memory_order_release)) {
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

namespace {

std::atomic<int> g_systemSets{0};
std::atomic<int> g_listenerCalls{0};

bool countingSetter(const SystemTimeEx& /*time*/)
{
    g_systemSets.fetch_add(1);
    return true;
}

bool countingListener(SystemTime /*time*/)
{
    g_listenerCalls.fetch_add(1);
    return true;
}

} // namespace

// Listeners may be attached while other threads set the time: each setting call sees a
// consistent list (every listener attached before it started, in order), and nothing races.
TEST(SetTimeConcurrency, ListenersAttachWhileOtherThreadsSetTheTime)
{
    Orlix::Infra::Detail::replaceLocalTimeSetter(&countingSetter); // never the real clock
    const int kSetters = 2;
    const int kSets = 200;
    const int kAttaches = 50;
    std::vector<std::thread> threads;
    for (int i = 0; i < kSetters; ++i) {
        threads.emplace_back([] {
            for (int n = 0; n < kSets; ++n)
                CTime::setCurrentTimeEx(CTime(2016, 3, 7, 9, 5, n % 60), 0);
        });
    }
    threads.emplace_back([] {
        for (int n = 0; n < kAttaches; ++n)
            CTime::attachModifyProc(TFunction1<bool, SystemTime>(&countingListener));
    });
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(g_systemSets.load(), kSetters * kSets);
    EXPECT_LE(g_listenerCalls.load(), kSetters * kSets * kAttaches);

    // Once every attach has finished, one more set calls all of them.
    const int before = g_listenerCalls.load();
    EXPECT_TRUE(CTime::setCurrentTimeEx(CTime(2016, 3, 7, 9, 5, 2), 0));
    EXPECT_EQ(g_listenerCalls.load() - before, kAttaches);
    Orlix::Infra::Detail::replaceLocalTimeSetter(nullptr);
}

namespace {

// A listener that holds its call open until released, recording whether a detach of it on
// another thread had already returned when the call ended.
struct SlowListener
{
    std::atomic<bool> entered{false};
    std::atomic<bool> release{false};
    std::atomic<bool> detached{false};
    std::atomic<bool> detachedDuringCall{false};
    bool onModify(SystemTime /*time*/)
    {
        entered.store(true);
        while (!release.load())
            std::this_thread::yield();
        detachedDuringCall.store(detached.load());
        return true;
    }
};

} // namespace

// Detaching a listener that another thread is calling returns only after that call ends, so
// the listener's object may go as soon as the detach returns.
TEST(SetTimeConcurrency, DetachWaitsForACallInProgressOnAnotherThread)
{
    Orlix::Infra::Detail::replaceLocalTimeSetter(&countingSetter);
    auto* listener = new SlowListener;
    const TFunction1<bool, SystemTime> proc(&SlowListener::onModify, listener);
    CTime::attachModifyProc(proc);
    std::thread setter([] { CTime::setCurrentTimeEx(CTime(2016, 3, 7, 9, 5, 2), 0); });
    while (!listener->entered.load())
        std::this_thread::yield();
    std::thread detacher([&] {
        EXPECT_TRUE(CTime::detachModifyProc(proc));
        listener->detached.store(true);
    });
    // Give a detach that does not wait time to return before the call ends (a correct one
    // never does, however long this is).
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    listener->release.store(true);
    detacher.join();
    setter.join();
    EXPECT_FALSE(listener->detachedDuringCall.load());
    delete listener;
    EXPECT_TRUE(CTime::setCurrentTimeEx(CTime(2016, 3, 7, 9, 5, 3), 0)); // calls nothing freed
    Orlix::Infra::Detail::replaceLocalTimeSetter(nullptr);
}
