// Components under concurrent use: shared client lookups and releases, reference counts from
// several threads, status procedures detached while they run, racing instance creation.
#include "component/clientinstancelist.h"
#include "component/statusproclist.h"
#include "component_testing.h"
#include "support/testsupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace ComponentTesting;

constexpr int threadCount = 6;

// Runs body(i) on count threads that all start their work at the same moment.
template <class Body>
void runOnThreads(int count, Body body)
{
    std::atomic<int> waiting{count};
    std::vector<std::thread> threads;
    for (int i = 0; i < count; ++i)
        threads.emplace_back([&, i] {
            waiting.fetch_sub(1);
            while (waiting.load() > 0)
                std::this_thread::yield();
            body(i);
        });
    for (std::thread& t : threads)
        t.join();
}

TEST(ComponentConcurrency, SimultaneousLookupsShareOneClientAndReleaseItOnce)
{
    ClientLog log;
    TestClientFactory clients("Device", log);
    clients.registerFactory("Client");
    ServiceFactory media("Device.Config");
    media.registerFactory("Media");
    CClientInstanceList* list = CClientInstanceList::instance(); // its sweep keeps running

    for (int round = 0; round < 10; ++round) {
        const std::string host = "host-" + std::to_string(round);
        std::vector<IClient*> got(threadCount, nullptr);
        std::atomic<int> factoriesFound{0};
        runOnThreads(threadCount, [&](int i) {
            IFactoryUnknown* factory = CComponentHelper::getComponentFactory(
                "Media", ClassID("Device.Config"), server(host.c_str()), got[i]);
            if (factory == &media)
                factoriesFound.fetch_add(1);
        });
        ASSERT_EQ(factoriesFound.load(), threadCount);
        for (IClient* client : got)
            ASSERT_EQ(client, got[0]) << "round " << round;
        EXPECT_EQ(list->countForTesting(), 1u);
        EXPECT_EQ(getRefCount(got[0]), threadCount);

        const int destroyedBefore = log.destroyed.load();
        std::atomic<int> zeros{0};
        runOnThreads(threadCount, [&](int i) {
            if (CComponentHelper::release(got[i]) == 0)
                zeros.fetch_add(1);
        });
        EXPECT_EQ(zeros.load(), 1);
        EXPECT_EQ(log.destroyed.load(), destroyedBefore + 1);
        EXPECT_EQ(list->countForTesting(), 0u);
    }
    EXPECT_EQ(log.created.load(), 10);
    EXPECT_EQ(log.logouts.load(), 10);
}

TEST(ComponentConcurrency, AddRefReleasePairsFromTwoThreadsKeepTheCount)
{
    std::atomic<int> destroyed{0};
    auto* object = new Counted(&destroyed);
    runOnThreads(2, [&](int) {
        for (int i = 0; i < 20000; ++i) {
            object->addRef();
            object->release();
        }
    });
    EXPECT_EQ(getRefCount(object), 1);
    EXPECT_EQ(destroyed.load(), 0);
    object->release();
    EXPECT_EQ(destroyed.load(), 1);
}

// An instance that is not freed when disposed of, so that a request handing it out after its
// disposal shows as a flag instead of a use of freed memory.
class Mortal : public IUnknown
{
public:
    void destroy() override { disposals.fetch_add(1); }
    const char* describe() const override { return "Mortal"; }
    std::atomic<int> disposals{0};
};

std::vector<std::unique_ptr<Mortal>> g_mortals;
std::mutex g_mortalsMutex;

IUnknown* makeMortal(const ServerInfo* /*info*/)
{
    std::this_thread::yield(); // widens the window in which requests race to create
    std::lock_guard<std::mutex> guard(g_mortalsMutex);
    g_mortals.push_back(std::make_unique<Mortal>());
    return g_mortals.back().get();
}

TEST(ComponentConcurrency, RacingInstanceRequestsAndReleasesDisposeOfEachInstanceOnce)
{
    // Requests race to create the shared instance (both records may stay) and with its last
    // release: a request gets a live instance or makes a new one, never one whose count is 0.
    registerComponent("Churn", &makeMortal);
    std::atomic<int> handedOutDead{0};
    runOnThreads(threadCount, [&](int) {
        for (int i = 0; i < 3000; ++i) {
            IUnknown* object = getComponentInstance("Churn", nullptr);
            if (static_cast<Mortal*>(object)->disposals.load() != 0)
                handedOutDead.fetch_add(1);
            object->release();
        }
    });
    EXPECT_EQ(handedOutDead.load(), 0);
    std::lock_guard<std::mutex> guard(g_mortalsMutex);
    for (const auto& mortal : g_mortals)
        ASSERT_EQ(mortal->disposals.load(), 1);
}

using Delegate = Orlix::Infra::TFunction1<void, int>;
using ProcList = Detail::TStatusProcList<Delegate>;

void freeProc(int) {}

struct SelfDetacher
{
    ProcList* list = nullptr;
    int calls = 0;
    void run(int)
    {
        ++calls;
        // The list's lock is not held during the call, and the emitting thread never waits for
        // its own call to end.
        list->detach(Delegate(&SelfDetacher::run, this), true);
        list->attach(Delegate(&freeProc));
    }
};

TEST(ComponentConcurrency, AProcedureMayChangeTheListWhileItRuns)
{
    ProcList list(8);
    SelfDetacher self;
    self.list = &list;
    list.attach(Delegate(&SelfDetacher::run, &self));
    list.emit(0);
    list.emit(0);
    EXPECT_EQ(self.calls, 1);
    EXPECT_EQ(list.count(), 1);
}

struct SlowProc
{
    std::atomic<bool> entered{false};
    std::atomic<bool> release{false};
    std::atomic<bool> finished{false};
    void run(int)
    {
        entered = true;
        while (!release.load())
            std::this_thread::yield();
        finished = true;
    }
};

TEST(ComponentConcurrency, DetachCanWaitForARunningProcedure)
{
    ProcList list(8);
    SlowProc proc;
    list.attach(Delegate(&SlowProc::run, &proc));
    std::thread emitter([&] { list.emit(1); });
    ASSERT_TRUE(OrlixTest::waitFor([&] { return proc.entered.load(); }));

    std::atomic<bool> finishedWhenDetached{false};
    std::thread detacher([&] {
        list.detach(Delegate(&SlowProc::run, &proc), true);
        finishedWhenDetached = proc.finished.load();
    });
    // Give the detacher time to get into its wait; correctness does not depend on it.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    proc.release = true;
    detacher.join();
    emitter.join();
    EXPECT_TRUE(finishedWhenDetached.load()) << "detach returned while the call was running";
    EXPECT_TRUE(proc.finished.load());
    EXPECT_EQ(list.count(), 0);
}

} // namespace
