// The thread registry: registration while bodies run, lookups, timed-out listing and the
// thread table.
#include "threads_test_util.h"

#include "infra/threadmanager.h"
#include "infra3/clock.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>

using Orlix::Infra::CThread;
using Orlix::Infra::CThreadManager;
using Orlix::Infra::flex_string;
using namespace OrlixTest;

namespace {

// A running thread that only polls its stop flag; started and registered by the constructor.
struct Running : LambdaThread
{
    explicit Running(const char* name, int priority = 64)
        : LambdaThread(pollUntilStopped, name, priority)
    {
        EXPECT_TRUE((*this)->createThread());
        EXPECT_TRUE(
            waitFor([&] { return id() > 0 && CThreadManager::instance()->hasThread(id()); }));
    }
    int id() { return (*this)->getThreadID(); }
};

std::string dumpTable()
{
    return printedBare([] { CThreadManager::instance()->dumpThreads(); });
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

// How the time-out list shows one thread: its name and "(id)" cut to 7 characters, so an id
// of six digits or more loses its closing parenthesis and more.
std::string listed(const char* name, int id)
{
    return name + ("(" + std::to_string(id) + ")").substr(0, 7);
}

} // namespace

TEST(ThreadManager, TableHasTheMainRowThenRowsNewestFirstWithLongNamesWhole)
{
    EXPECT_EQ(dumpTable(), kHeader + "                    Main         -1   64  Normal\n" + "\n");
    {
        Running first("first", 70);
        Running second("a-name-longer-than-24-chars", 1);
        EXPECT_EQ(dumpTable(), kHeader + row("Main", -1, 64, "Normal") +
                                   row("a-name-longer-than-24-chars", second.id(), 1, "Normal") +
                                   row("first", first.id(), 70, "Normal") + "\n");
    }
    CThreadManager::instance()->registerMainThread();
    EXPECT_EQ(dumpTable(),
              kHeader + row("Main", CThread::getCurrentThreadID(), 64, "Normal") + "\n");
}

TEST(ThreadManager, LookupsFollowTheBody)
{
    const CThreadManager* manager = CThreadManager::instance(); // lookups change nothing
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
        ASSERT_TRUE(worker->destroyThread());
        // The body has returned: it is no longer registered.
        EXPECT_FALSE(manager->hasThread(id));
    }
    name = "kept";
    EXPECT_FALSE(manager->getThreadNameByID(id, name));
    EXPECT_EQ(name, "kept");
}

TEST(ThreadManager, TimedOutThreadsAreListedAndShown)
{
    CThreadManager* manager = CThreadManager::instance();
    Running worker("worker");
    Running net("net");
    flex_string names = "stale";
    EXPECT_FALSE(manager->getTimeOutThreads(names));
    EXPECT_EQ(names, "");

    worker->setTimeout(100000);
    net->setTimeout(100000);
    EXPECT_FALSE(manager->getTimeOutThreads(names));
    Orlix::Infra::Detail::advanceClockForTesting(200000);
    ASSERT_TRUE(manager->getTimeOutThreads(names));
    EXPECT_EQ(names, listed("net", net.id()) + listed("worker", worker.id()));
    EXPECT_EQ(dumpTable(), kHeader + row("Main", -1, 64, "Normal") +
                               row("net", net.id(), 64, "Timeout") +
                               row("worker", worker.id(), 64, "Timeout") + "\n");

    net->setTimeout(0);
    ASSERT_TRUE(manager->getTimeOutThreads(names));
    EXPECT_EQ(names, listed("worker", worker.id()));
    EXPECT_EQ(dumpTable(), kHeader + row("Main", -1, 64, "Normal") +
                               row("net", net.id(), 64, "Normal") +
                               row("worker", worker.id(), 64, "Timeout") + "\n");
    worker->setTimeout(0);
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
