// Locks, semaphores and thread-local slots: single-threaded behaviour and simple hand-offs.
// The contended cases live in sync_concurrency_test.cpp.
#include "infra/legacy_mutex.h"
#include "infra/mutex.h"
#include "infra/readwritemutex.h"
#include "infra/semaphore.h"
#include "infra/threadspecific.h"
#include "support/testsupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

using namespace Orlix::Infra;
using InfraMutex = Orlix::Infra::CMutex; // ::CMutex is the legacy class
using OrlixTest::PrintCapture;

TEST(Mutex, NestsAndTryEnterSeesOtherOwners)
{
    InfraMutex m;
    EXPECT_TRUE(m.enter());
    EXPECT_TRUE(m.enter()); // re-entrant
    EXPECT_TRUE(m.tryEnter());
    bool otherGotIt = true;
    std::thread([&] { otherGotIt = m.tryEnter(); }).join();
    EXPECT_FALSE(otherGotIt);
    m.leave();
    m.leave();
    m.leave();
    std::thread([&] {
        otherGotIt = m.tryEnter();
        if (otherGotIt)
            m.leave();
    }).join();
    EXPECT_TRUE(otherGotIt);
}

TEST(RecursiveMutex, OtherThreadEntersOnlyAfterTheLastLeave)
{
    CRecursiveMutex m;
    m.enter();
    m.enter();
    m.enter();
    std::atomic<bool> entered{false};
    std::thread other([&] {
        m.enter();
        entered = true;
        m.leave();
    });
    m.leave();
    m.leave();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_FALSE(entered.load());
    m.leave();
    other.join();
    EXPECT_TRUE(entered.load());
}

TEST(Semaphore, CountsUnits)
{
    CSemaphore s(2);
    EXPECT_EQ(s.tryPend(), 0);
    EXPECT_EQ(s.tryPend(), 0);
    EXPECT_EQ(s.tryPend(), -1);
    EXPECT_EQ(s.post(), 0);
    EXPECT_EQ(s.tryPend(), 0);
    CSemaphore zero;
    EXPECT_EQ(zero.tryPend(), -1);
}

TEST(Semaphore, TimedPendTimesOutAndIsWokenByPost)
{
    CSemaphore s;
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

TEST(Semaphore, PostStopsAtTheMaximum)
{
    CSemaphore s(0x7fffffff);
    EXPECT_EQ(s.post(), -1);
    EXPECT_EQ(s.tryPend(), 0);
    EXPECT_EQ(s.post(), 0);
}

TEST(ReadWriteMutex, ReadersShareWritersExclude)
{
    for (auto mode : {CReadWriteMutex::priorityDefault, CReadWriteMutex::priorityWrite}) {
        CReadWriteMutex rw(mode);
        EXPECT_TRUE(rw.enterReading());
        std::atomic<bool> secondReaderIn{false};
        std::thread([&] {
            rw.enterReading();
            secondReaderIn = true;
            rw.leave();
        }).join();
        EXPECT_TRUE(secondReaderIn.load());
        EXPECT_TRUE(rw.leave());

        EXPECT_TRUE(rw.enterWriting());
        std::atomic<bool> readerIn{false};
        std::thread reader([&] {
            rw.enterReading();
            readerIn = true;
            rw.leave();
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        EXPECT_FALSE(readerIn.load());
        EXPECT_TRUE(rw.leave());
        reader.join();
        EXPECT_TRUE(readerIn.load());
    }
}

TEST(ReadWriteMutex, LeaveWithoutHoldFailsInBothModes)
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
}

TEST(ReadWriteMutex, UnknownPriorityWarnsOnceAndFallsBack)
{
    PrintCapture capture;
    CReadWriteMutex rw(static_cast<CReadWriteMutex::RWPriority>(5));
    const std::string text = capture.text();
    EXPECT_NE(text.find("this:"), std::string::npos);
    EXPECT_NE(text.find(", Input rwpriority level error, priorityDefault used!\n"),
              std::string::npos);
    EXPECT_EQ(text.find("Input rwpriority"), text.rfind("Input rwpriority"));
    // Default mode: an unbalanced leave logs the default-mode error.
    EXPECT_FALSE(rw.leave());
    EXPECT_TRUE(capture.contains("No lock, maybe err\n"));
}

TEST(ReadWriteMutex, DestroyingAHeldDefaultLockReportsIt)
{
    PrintCapture capture;
    {
        CReadWriteMutex rw;
        rw.enterReading();
        rw.enterReading();
    }
    EXPECT_TRUE(capture.contains("has lock Read count(2), maybe err\n"));
    capture.clear();
    {
        CReadWriteMutex rw;
        rw.enterWriting();
    }
    EXPECT_TRUE(capture.contains("has lock write, maybe err\n"));
}

TEST(ThreadSpecific, ValuesArePerThread)
{
    CThreadSpecific slot;
    ASSERT_TRUE(slot.valid());
    void* value = &slot;
    EXPECT_TRUE(slot.getValue(&value));
    EXPECT_EQ(value, nullptr);
    int mine = 1;
    EXPECT_TRUE(slot.setValue(&mine));
    void* seenByOther = &mine;
    std::thread([&] { slot.getValue(&seenByOther); }).join();
    EXPECT_EQ(seenByOther, nullptr);
    EXPECT_TRUE(slot.getValue(&value));
    EXPECT_EQ(value, &mine);
}

TEST(LegacyMutex, GuardAndNesting)
{
    ::CMutex m;
    {
        ::CGuard guard(m);
        EXPECT_TRUE(m.TryEnter()); // re-entrant for the owner
        EXPECT_TRUE(m.Leave());
        bool other = true;
        std::thread([&] { other = m.TryEnter(); }).join();
        EXPECT_FALSE(other);
    }
    bool other = false;
    std::thread([&] {
        other = m.TryEnter();
        if (other)
            m.Leave();
    }).join();
    EXPECT_TRUE(other);
}

TEST(LegacyMutex, AbandonedByADeadOwnerReportsFalseButIsHeld)
{
    ::CMutex m;
    std::thread([&] { EXPECT_TRUE(m.Enter()); }).join(); // ends while holding it
    EXPECT_FALSE(m.Enter());
    EXPECT_TRUE(m.Leave());
    EXPECT_TRUE(m.Enter()); // consistent again
    EXPECT_TRUE(m.Leave());
}
