// Locks and semaphores under contention. Built and run under ThreadSanitizer in CI: plain
// (non-atomic) data guarded by the locks below must show no race.
#include "infra/legacy_mutex.h"
#include "infra/mutex.h"
#include "infra/readwritemutex.h"
#include "infra/semaphore.h"
#include "infra3/readwritemutex_probe.h"
#include "support/testsupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

using namespace Orlix::Infra;
using InfraMutex = Orlix::Infra::CMutex; // ::CMutex is the legacy class
using Orlix::Infra::Detail::ReadWriteMutexProbe;
using OrlixTest::waitFor;

namespace {

constexpr int kThreads = 4;
constexpr int kRounds = 20000;

template <class Body>
void runThreads(int count, Body body)
{
    std::vector<std::thread> threads;
    for (int t = 0; t < count; ++t)
        threads.emplace_back(body, t);
    for (auto& thread : threads)
        thread.join();
}

// Order in which threads passed a point, guarded by its own std::mutex.
class Trail
{
public:
    void add(const std::string& step)
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_steps += step;
    }
    std::string steps()
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        return m_steps;
    }

private:
    std::mutex m_mutex;
    std::string m_steps;
};

} // namespace

TEST(MutexContention, EveryMutexSerialisesPlainData)
{
    long plain = 0;
    InfraMutex mutex;
    runThreads(kThreads, [&](int) {
        for (int i = 0; i < kRounds; ++i) {
            TGuard<InfraMutex> guard(mutex);
            ++plain;
        }
    });
    EXPECT_EQ(plain, long(kThreads) * kRounds);

    plain = 0;
    CRecursiveMutex recursive;
    runThreads(kThreads, [&](int) {
        for (int i = 0; i < kRounds; ++i) {
            TGuard<CRecursiveMutex> outer(recursive);
            TGuard<CRecursiveMutex> inner(recursive);
            ++plain;
        }
    });
    EXPECT_EQ(plain, long(kThreads) * kRounds);

    plain = 0;
    ::CMutex legacy;
    runThreads(kThreads, [&](int) {
        for (int i = 0; i < kRounds; ++i) {
            ::CGuard guard(legacy);
            ++plain;
        }
    });
    EXPECT_EQ(plain, long(kThreads) * kRounds);
}

TEST(ReadWriteContention, ReadersNeverSeeAHalfWrite)
{
    for (auto mode : {CReadWriteMutex::priorityDefault, CReadWriteMutex::priorityWrite}) {
        CReadWriteMutex rw(mode);
        long a = 0, b = 0;
        std::atomic<long> tornReads{0};
        runThreads(kThreads, [&](int t) {
            for (int i = 0; i < 5000; ++i) {
                if (t == 0 || i % 10 == 0) {
                    rw.enterWriting();
                    ++a;
                    ++b;
                    rw.leave();
                } else {
                    rw.enterReading();
                    if (a != b)
                        ++tornReads;
                    rw.leave();
                }
            }
        });
        EXPECT_EQ(tornReads.load(), 0);
        EXPECT_EQ(a, 5000 + 3 * 500);
        EXPECT_EQ(b, a);
    }
}

TEST(ReadWritePriority, WaitingWriterGoesBeforeNewReaders)
{
    CReadWriteMutex rw(CReadWriteMutex::priorityWrite);
    Trail trail;
    rw.enterReading(); // the first reader is inside

    std::thread writer([&] {
        rw.enterWriting();
        trail.add("W");
        rw.leave();
    });
    ASSERT_TRUE(waitFor([&] { return ReadWriteMutexProbe::waitingWriters(rw) == 1; }));

    std::thread lateReader([&] {
        rw.enterReading();
        trail.add("R");
        rw.leave();
    });
    ASSERT_TRUE(waitFor([&] { return ReadWriteMutexProbe::waitingReaders(rw) == 1; }));

    trail.add("r");
    rw.leave(); // the first reader leaves: the writer, not the late reader, comes next
    writer.join();
    lateReader.join();
    EXPECT_EQ(trail.steps(), "rWR");
}

TEST(ReadWritePriority, WriterHandsOverToWriterThenReadersEnterTogether)
{
    CReadWriteMutex rw(CReadWriteMutex::priorityWrite);
    Trail trail;
    rw.enterWriting();

    std::atomic<bool> secondWriterInside{false};
    std::atomic<bool> releaseSecondWriter{false};
    std::thread secondWriter([&] {
        rw.enterWriting();
        trail.add("W");
        secondWriterInside = true;
        waitFor([&] { return releaseSecondWriter.load(); });
        rw.leave();
    });
    ASSERT_TRUE(waitFor([&] { return ReadWriteMutexProbe::waitingWriters(rw) == 1; }));

    constexpr int kReaders = 3;
    std::atomic<int> readersInside{0};
    std::atomic<int> maxTogether{0};
    std::vector<std::thread> readers;
    for (int i = 0; i < kReaders; ++i) {
        readers.emplace_back([&] {
            rw.enterReading();
            const int now = ++readersInside;
            int seen = maxTogether.load();
            while (now > seen && !maxTogether.compare_exchange_weak(seen, now)) {
            }
            // Stay until every reader got in: they hold the lock together.
            waitFor([&] { return readersInside.load() == kReaders; });
            trail.add("R");
            rw.leave();
        });
    }
    ASSERT_TRUE(waitFor([&] { return ReadWriteMutexProbe::waitingReaders(rw) == kReaders; }));

    trail.add("w");
    rw.leave(); // straight to the waiting writer
    ASSERT_TRUE(waitFor([&] { return secondWriterInside.load(); }));
    EXPECT_EQ(readersInside.load(), 0);
    EXPECT_EQ(ReadWriteMutexProbe::waitingReaders(rw), kReaders);
    releaseSecondWriter = true;

    secondWriter.join();
    for (auto& reader : readers)
        reader.join();
    EXPECT_EQ(trail.steps(), "wWRRR");
    EXPECT_EQ(maxTogether.load(), kReaders);
}

TEST(SemaphoreContention, ProducersAndConsumersBalance)
{
    CSemaphore items(0);
    std::atomic<long> consumed{0};
    constexpr int kItems = 5000;
    std::vector<std::thread> threads;
    for (int p = 0; p < 2; ++p) {
        threads.emplace_back([&] {
            for (int i = 0; i < kItems; ++i)
                ASSERT_EQ(items.post(), 0);
        });
        threads.emplace_back([&] {
            for (int i = 0; i < kItems; ++i) {
                ASSERT_EQ(items.pend(), 0);
                ++consumed;
            }
        });
    }
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(consumed.load(), 2L * kItems);
    EXPECT_EQ(items.tryPend(), -1);
}
