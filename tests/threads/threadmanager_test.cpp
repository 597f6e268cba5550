// The thread registry: registration while bodies run, lookups, timed-out listing and the
// thread table.
#include "infra/print.h"
#include "infra/thread.h"
#include "infra/threadmanager.h"
#include "infra3/clock.h"
#include "support/testsupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <memory>
#include <string>

using Orlix::Infra::CThread;
using Orlix::Infra::CThreadLite;
using Orlix::Infra::CThreadManager;
using Orlix::Infra::flex_string;
using Orlix::Infra::TFunction1;
using OrlixTest::PrintCapture;
using OrlixTest::waitFor;

namespace {

void idleBody(CThreadLite& self)
{
    while (self.looping())
        CThread::sleep(1);
}

// A running thread that only polls its stop flag; started by the constructor.
struct Running
{
    explicit Running(const char* name, int priority = 64)
        : thread(TFunction1<void, CThreadLite&>(&idleBody), name, priority, 0, 0)
    {
        EXPECT_TRUE(thread.createThread());
        EXPECT_TRUE(waitFor([&] {
            return thread.getThreadID() > 0 &&
                   CThreadManager::instance()->hasThread(thread.getThreadID());
        }));
    }
    int id() { return thread.getThreadID(); }
    CThreadLite thread;
};

// Captures the table with every prefix element hidden, so the text is exactly what the
// manager formats.
std::string dumpTable()
{
    Orlix::Infra::PrintOptions bare;
    bare.hideTime = bare.hideColor = bare.hideModule = bare.hideLevel = bare.hideThreadId =
        bare.hideVersion = bare.hideFunction = bare.hideFile = bare.hideLine = true;
    Orlix::Infra::setPrintOptions(bare);
    Orlix::Infra::setPrintLogLevel(4);
    PrintCapture capture;
    CThreadManager::instance()->dumpThreads();
    Orlix::Infra::setPrintLogLevel(3);
    Orlix::Infra::setPrintOptions(Orlix::Infra::PrintOptions());
    return capture.text();
}

std::string row(const char* name, int id, int priority, const char* state)
{
    char text[128];
    std::snprintf(text, sizeof(text), "%24s   %8d  %3d  %s\n", name, id, priority, state);
    return text;
}

const std::string kHeader = "Threads:\n"
                            "               Name            TID  Prior State\n" +
                            std::string(55, '_') + "\n";

} // namespace

TEST(ThreadManager, EmptyTableHasHeaderAndMainRowOnly)
{
    EXPECT_EQ(dumpTable(), kHeader + row("Main", -1, 64, "Normal") + "\n");
    EXPECT_EQ(dumpTable(), kHeader + "                    Main         -1   64  Normal\n" + "\n");
    CThreadManager::instance()->registerMainThread();
    EXPECT_EQ(dumpTable(),
              kHeader + row("Main", CThread::getCurrentThreadID(), 64, "Normal") + "\n");
}

TEST(ThreadManager, RowsNewestFirstWithStateAndLongNamesWhole)
{
    Running first("first", 70);
    Running second("a-name-longer-than-24-chars", 1);
    const std::string table = dumpTable();
    EXPECT_EQ(table, kHeader + row("Main", -1, 64, "Normal") +
                         row("a-name-longer-than-24-chars", second.id(), 1, "Normal") +
                         row("first", first.id(), 70, "Normal") + "\n")
        << table;
}

TEST(ThreadManager, LookupsFollowTheBody)
{
    CThreadManager* manager = CThreadManager::instance();
    flex_string name = "unchanged";
    EXPECT_FALSE(manager->getThreadNameByID(CThread::getCurrentThreadID(), name));
    EXPECT_EQ(name, "unchanged");

    int id = 0;
    {
        Running worker("lookup");
        id = worker.id();
        EXPECT_TRUE(manager->hasThread(id));
        EXPECT_TRUE(manager->getThreadNameByID(id, name));
        EXPECT_EQ(name, "lookup");
        ASSERT_TRUE(worker.thread.destroyThread());
        // The body has returned: it is no longer registered.
        EXPECT_FALSE(manager->hasThread(id));
    }
    name = "kept";
    EXPECT_FALSE(manager->getThreadNameByID(id, name));
    EXPECT_EQ(name, "kept");
    EXPECT_FALSE(manager->hasThread(id));
}

TEST(ThreadManager, TimedOutThreadsAreListedAndShown)
{
    CThreadManager* manager = CThreadManager::instance();
    Running worker("worker");
    Running net("net");
    flex_string names = "stale";
    EXPECT_FALSE(manager->getTimeOutThreads(names));
    EXPECT_EQ(names, "");

    worker.thread.setTimeout(100000);
    net.thread.setTimeout(100000);
    EXPECT_FALSE(manager->getTimeOutThreads(names));
    Orlix::Infra::Detail::advanceClockForTesting(200000);
    ASSERT_TRUE(manager->getTimeOutThreads(names));
    EXPECT_EQ(names,
              "net(" + std::to_string(net.id()) + ")worker(" + std::to_string(worker.id()) + ")");
    EXPECT_EQ(dumpTable(), kHeader + row("Main", -1, 64, "Normal") +
                               row("net", net.id(), 64, "Timeout") +
                               row("worker", worker.id(), 64, "Timeout") + "\n");

    net.thread.setTimeout(0);
    ASSERT_TRUE(manager->getTimeOutThreads(names));
    EXPECT_EQ(names, "worker(" + std::to_string(worker.id()) + ")");
    EXPECT_EQ(dumpTable(), kHeader + row("Main", -1, 64, "Normal") +
                               row("net", net.id(), 64, "Normal") +
                               row("worker", worker.id(), 64, "Timeout") + "\n");
    worker.thread.setTimeout(0);
    EXPECT_FALSE(manager->getTimeOutThreads(names));
    EXPECT_EQ(names, "");
}

TEST(ThreadManager, ChurnLeavesTheRegistryEmpty)
{
    // Bodies start and end while others are registered; the list ends up empty.
    constexpr int kThreads = 8;
    constexpr int kRounds = 25;
    std::unique_ptr<Running> threads[kThreads];
    for (int round = 0; round < kRounds; ++round) {
        for (auto& thread : threads)
            thread = std::make_unique<Running>("churn");
        for (auto& thread : threads)
            thread.reset();
    }
    EXPECT_EQ(dumpTable(), kHeader + row("Main", -1, 64, "Normal") + "\n");
}
