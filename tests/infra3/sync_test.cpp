// Locks, semaphores, thread-local slots and the error-message table, alone and under
// contention. Built and run under ThreadSanitizer in CI: plain (non-atomic) data guarded by
// the locks below must show no race.
#include "infra/error.h"
#include "infra/legacy_mutex.h"
#include "infra/mutex.h"
#include "infra/readwritemutex.h"
#include "infra/semaphore.h"
#include "infra/threadspecific.h"
#include "infra3/readwritemutex_probe.h"
#include "support/testsupport.h"

#include <gtest/gtest.h>

#ifdef __linux__
#include <sys/syscall.h>
#include <unistd.h>
#endif

#include <atomic>
#include <chrono>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

using namespace Orlix::Infra;
using InfraMutex = Orlix::Infra::CMutex; // ::CMutex is the legacy class
using Orlix::Infra::Detail::ReadWriteMutexProbe;
using OrlixTest::PrintCapture;
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

// Starts a thread that calls enter() and checks, after a pause, that it is still waiting;
// release() must then let it through.
template <class Enter, class Release>
void expectBlockedUntil(Enter enter, Release release)
{
    std::atomic<bool> entered{false};
    std::thread other([&] {
        enter();
        entered = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_FALSE(entered.load());
    release();
    other.join();
    EXPECT_TRUE(entered.load());
}

// Order in which threads passed a point: add() from any thread, steps() after the joins.
struct Trail
{
    std::mutex mutex;
    std::string steps;
    void add(const char* step)
    {
        std::lock_guard<std::mutex> guard(mutex);
        steps += step;
    }
};

// kThreads threads each enter the lock kRounds times (kDepth times nested) and count in
// plain data.
template <class Lock, class Guard = TGuard<Lock>, int kDepth = 1>
void expectSerialised()
{
    long plain = 0;
    Lock lock;
    runThreads(kThreads, [&](int) {
        for (int i = 0; i < kRounds; ++i) {
            Guard outer(lock);
            std::optional<Guard> inner;
            if (kDepth > 1)
                inner.emplace(lock);
            ++plain;
        }
    });
    EXPECT_EQ(plain, long(kThreads) * kRounds);
}

} // namespace

TEST(Mutex, NestedEntriesHoldUntilTheLastLeave)
{
    InfraMutex m;
    EXPECT_TRUE(m.enter());
    EXPECT_TRUE(m.enter()); // re-entrant
    EXPECT_TRUE(m.tryEnter());
    m.leave();
    m.leave();
    bool otherGotIt = true;
    std::thread([&] { otherGotIt = m.tryEnter(); }).join();
    EXPECT_FALSE(otherGotIt);
    expectBlockedUntil(
        [&] {
            m.enter();
            m.leave();
        },
        [&] { m.leave(); });

    CRecursiveMutex r;
    r.enter();
    r.enter();
    r.leave();
    expectBlockedUntil(
        [&] {
            r.enter();
            r.leave();
        },
        [&] { r.leave(); });

    ::CMutex legacy;
    {
        ::CGuard guard(legacy);
        EXPECT_TRUE(legacy.TryEnter()); // re-entrant for the owner
        EXPECT_TRUE(legacy.Leave());
        std::thread([&] { otherGotIt = legacy.TryEnter(); }).join();
        EXPECT_FALSE(otherGotIt);
    }
    std::thread([&] {
        otherGotIt = legacy.TryEnter();
        if (otherGotIt)
            legacy.Leave();
    }).join();
    EXPECT_TRUE(otherGotIt);
}

// True when the kernel keeps the threads' robust-mutex lists, which is how a mutex whose owner
// died is found. qemu-user implements neither get_robust_list nor set_robust_list: there an
// abandoned mutex stays locked for ever.
bool robustMutexesTracked()
{
#if defined(__linux__) && defined(SYS_get_robust_list)
    void* head = nullptr;
    std::size_t length = 0;
    return syscall(SYS_get_robust_list, 0, &head, &length) == 0;
#else
    return true;
#endif
}

TEST(Mutex, LegacyMutexAbandonedByADeadOwnerReportsFalseButIsHeld)
{
    if (!robustMutexesTracked())
        GTEST_SKIP() << "this emulator (qemu-user) does not implement robust mutexes: a mutex "
                        "whose owner died is never released";
    ::CMutex m;
    std::thread([&] { EXPECT_TRUE(m.Enter()); }).join(); // ends while holding it
    EXPECT_FALSE(m.Enter());
    EXPECT_TRUE(m.Leave());
    EXPECT_TRUE(m.Enter()); // consistent again
    EXPECT_TRUE(m.Leave());
}

TEST(MutexContention, EveryMutexSerialisesPlainData)
{
    expectSerialised<InfraMutex>();
    expectSerialised<CRecursiveMutex, TGuard<CRecursiveMutex>, 2>();
    expectSerialised<::CMutex, ::CGuard>();
}

TEST(Semaphore, CountsUnitsUpToTheMaximumAndTimesOut)
{
    CSemaphore s(2);
    EXPECT_EQ(s.tryPend(), 0);
    EXPECT_EQ(s.tryPend(), 0);
    EXPECT_EQ(s.tryPend(), -1);
    EXPECT_EQ(s.post(), 0);
    EXPECT_EQ(s.tryPend(), 0);
    EXPECT_EQ(CSemaphore().tryPend(), -1);
    CSemaphore full(0x7fffffff);
    EXPECT_EQ(full.post(), -1);
    EXPECT_EQ(full.tryPend(), 0);
    EXPECT_EQ(full.post(), 0);

    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(s.pend(10u), -1);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(9));
    std::thread poster([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        s.post();
    });
    EXPECT_EQ(s.pend(10000u), 0);
    poster.join();
}

TEST(SemaphoreContention, ProducersAndConsumersBalance)
{
    CSemaphore items(0);
    std::atomic<long> consumed{0};
    constexpr int kItems = 5000;
    runThreads(4, [&](int t) {
        for (int i = 0; i < kItems; ++i) {
            if (t % 2 == 0) {
                ASSERT_EQ(items.post(), 0);
            } else {
                ASSERT_EQ(items.pend(), 0);
                ++consumed;
            }
        }
    });
    EXPECT_EQ(consumed.load(), 2L * kItems);
    EXPECT_EQ(items.tryPend(), -1);
}

TEST(ReadWriteContention, ReadersShareAndNeverSeeAHalfWrite)
{
    for (auto mode : {CReadWriteMutex::priorityDefault, CReadWriteMutex::priorityWrite}) {
        CReadWriteMutex rw(mode);
        EXPECT_TRUE(rw.enterReading());
        bool secondReaderIn = false;
        std::thread([&] {
            secondReaderIn = rw.enterReading();
            rw.leave();
        }).join();
        EXPECT_TRUE(secondReaderIn);
        EXPECT_TRUE(rw.leave());

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
    EXPECT_EQ(trail.steps, "rWR");
}

TEST(ReadWritePriority, WriterHandsOverToWriterThenReadersEnterTogether)
{
    CReadWriteMutex rw(CReadWriteMutex::priorityWrite);
    Trail trail;
    rw.enterWriting();
    std::atomic<bool> secondWriterInside{false}, releaseSecondWriter{false};
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
    std::vector<std::thread> readers;
    for (int i = 0; i < kReaders; ++i) {
        readers.emplace_back([&] {
            rw.enterReading();
            ++readersInside;
            // Every reader gets in while the others are still inside: they hold it together.
            EXPECT_TRUE(waitFor([&] { return readersInside.load() == kReaders; }));
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
    EXPECT_EQ(trail.steps, "wWRRR");
}

TEST(ReadWriteMutex, MisuseIsReportedAndLeavesTheLockUsable)
{
    PrintCapture capture;
    CReadWriteMutex defaultMode;
    EXPECT_FALSE(defaultMode.leave());
    EXPECT_TRUE(capture.contains("No lock, maybe err\n"));
    EXPECT_TRUE(defaultMode.enterWriting()); // still usable
    EXPECT_TRUE(defaultMode.leave());

    capture.clear();
    CReadWriteMutex writeMode(CReadWriteMutex::priorityWrite);
    EXPECT_FALSE(writeMode.leave());
    EXPECT_TRUE(capture.text().empty());
    bool otherGotIt = false;
    std::thread([&] {
        otherGotIt = writeMode.enterWriting();
        writeMode.leave();
    }).join();
    EXPECT_TRUE(otherGotIt);

    // An unknown priority warns once with the object prefix and falls back to the default.
    capture.clear();
    CReadWriteMutex unknown(static_cast<CReadWriteMutex::RWPriority>(5));
    const std::string text = capture.text();
    EXPECT_NE(text.find("this:"), std::string::npos);
    EXPECT_NE(text.find(", Input rwpriority level error, priorityDefault used!\n"),
              std::string::npos);
    EXPECT_EQ(text.find("Input rwpriority"), text.rfind("Input rwpriority"));
    capture.clear();
    EXPECT_FALSE(unknown.leave());
    EXPECT_TRUE(capture.contains("No lock, maybe err\n"));

    // Destroying a default-mode lock that is still held reports what was held.
    {
        CReadWriteMutex rw;
        rw.enterReading();
        rw.enterReading();
    }
    EXPECT_TRUE(capture.contains("has lock Read count(2), maybe err\n"));
    {
        CReadWriteMutex rw;
        rw.enterWriting();
    }
    EXPECT_TRUE(capture.contains("has lock write, maybe err\n"));
}

TEST(ThreadSpecific, ValuesArePerThread)
{
    CThreadSpecific slot;
    const CThreadSpecific& view = slot; // reading changes nothing
    ASSERT_TRUE(view.valid());
    void* value = &slot;
    EXPECT_TRUE(view.getValue(&value));
    EXPECT_EQ(value, nullptr);
    int mine = 1;
    EXPECT_TRUE(slot.setValue(&mine));
    void* seenByOther = &mine;
    std::thread([&] { slot.getValue(&seenByOther); }).join();
    EXPECT_EQ(seenByOther, nullptr);
    EXPECT_TRUE(slot.getValue(&value));
    EXPECT_EQ(value, &mine);
}

TEST(ErrorMessageContention, ConcurrentStoresAndReads)
{
    runThreads(kThreads, [](int t) {
        for (int i = 0; i < 500; ++i) {
            const int code = t * 1000 + i;
            setErrMsg(code, std::to_string(code).c_str());
            EXPECT_EQ(std::string(getErrMsg(code)), std::to_string(code));
        }
    });
    EXPECT_STREQ(getErrMsg(3499), "3499");
}
