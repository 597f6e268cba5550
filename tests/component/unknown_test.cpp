// Component objects: reference counting and hand-out, object tables, the registry, creators
// loaded from shared libraries, and the preconditions of the whole component family.
#include "component_testing.h"
#include "support/testsupport.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace ComponentTesting;
using Orlix::Component::Detail::CObjectTable;
using Orlix::Component::Detail::key_base;

std::atomic<int> g_destroyed{0};
std::atomic<int> g_created{0};

IUnknown* makeCounted(const ServerInfo* /*info*/)
{
    g_created.fetch_add(1);
    return new Counted(&g_destroyed);
}

IUnknown* makeNothing(const ServerInfo* /*info*/)
{
    return nullptr;
}

TEST(ComponentRefCount, OnlyTheFirstHandOutIsFree)
{
    auto* shared = new Counted(&g_destroyed);
    EXPECT_EQ(CComponentHelper::makeComponentInstance(shared), shared);
    EXPECT_EQ(getRefCount(shared), 1) << "the first hand-out takes the creation reference";
    CComponentHelper::makeComponentInstance(shared);
    EXPECT_EQ(getRefCount(shared), 2);

    auto* fresh = new Counted(&g_destroyed);
    CComponentHelper::makeComponentObject(fresh);
    CComponentHelper::makeComponentObject(fresh);
    EXPECT_EQ(getRefCount(fresh), 1) << "makeComponentObject never counts";
    CComponentHelper::makeComponentInstance(fresh);
    EXPECT_EQ(getRefCount(fresh), 2) << "but marks the object handed out";
    EXPECT_EQ(fresh->addRef(), 3);
    for (IUnknown* object : {shared, shared, fresh, fresh, fresh})
        CComponentHelper::release(object);
    EXPECT_EQ(g_destroyed.load(), 2);

    setLastError(0);
    EXPECT_EQ(CComponentHelper::makeComponentObject(nullptr), nullptr);
    EXPECT_EQ(getLastError(), 0x1003000D);
    EXPECT_EQ(CComponentHelper::makeComponentInstance(nullptr), nullptr);
    EXPECT_EQ(getLastError(), 0x1003000E);
    EXPECT_EQ(CComponentHelper::addRef(nullptr), 0);
    EXPECT_EQ(CComponentHelper::release(nullptr), 0);
}

// Matches wanted, or anything when any is set.
struct Is : key_base
{
    Is(IUnknown* wanted, bool any = false) : wanted(wanted), any(any) {}
    bool matches(IUnknown* object) const override { return any || object == wanted; }
    IUnknown* wanted;
    bool any;
};

TEST(ObjectTable, InsertIsTheFirstHandOutFindsCountAndTheLastReleaseErases)
{
    CObjectTable table;
    auto* a = new Counted(&g_destroyed);
    auto* b = new Counted(&g_destroyed);
    table.lock();
    EXPECT_EQ(table.find(Is(nullptr, true)), nullptr);
    for (IUnknown* object : {a, b, a, b})
        table.insert(object);
    EXPECT_EQ(getRefCount(a), 2) << "the second insert is a later hand-out";
    EXPECT_EQ(table.find(Is(nullptr, true)), a) << "the first match";
    EXPECT_EQ(table.find(Is(a)), a);
    EXPECT_EQ(getRefCount(a), 4);
    EXPECT_EQ(getRefCount(b), 2) << "objects not found keep their count";
    EXPECT_EQ(table.find(Is(nullptr)), nullptr);

    table.erase(b); // every occurrence; erasing again changes nothing
    table.erase(b);
    ASSERT_EQ(table.count(), 2u);
    EXPECT_EQ(table.get(1), a);
    for (int i = 0; i < 3; ++i)
        a->release();
    EXPECT_EQ(a->release(), 0) << "released while holding the (re-entrant) table lock";
    EXPECT_EQ(table.count(), 0u);
    table.unlock();
    b->release();
    b->release(); // no longer listed, disposed of all the same
    EXPECT_EQ(g_destroyed.load(), 2);

    auto* survivor = new Counted(&g_destroyed);
    {
        CObjectTable gone;
        gone.lock();
        gone.insert(survivor);
        gone.unlock();
    }
    EXPECT_EQ(g_destroyed.load(), 2) << "the table held no reference";
    survivor->release(); // must not touch the table that is gone
    EXPECT_EQ(g_destroyed.load(), 3);
}

TEST(ComponentRegistry, RegisteringTwiceWarnsAndKeepsTheSecondCreator)
{
    OrlixTest::PrintCapture capture;
    EXPECT_TRUE(registerComponent("Twice", &makeNothing));
    EXPECT_EQ(capture.text(), "");
    EXPECT_TRUE(registerComponent("Twice", &makeCounted));
    EXPECT_TRUE(capture.contains("registerComponentCreator creator for 'Twice' already exist!\n"));
    // Created objects are fresh each time and not recorded.
    IUnknown* a = createComponentObject("Twice", nullptr);
    IUnknown* b = createComponentObject("Twice", nullptr);
    ASSERT_NE(a, nullptr);
    EXPECT_NE(a, b);
    EXPECT_EQ(getRefCount(a), 1);
    EXPECT_EQ(a->release(), 0);
    b->release();
    EXPECT_EQ(g_destroyed.load(), 2);
}

TEST(ComponentRegistry, InstancesAreSharedPerServerAndForgottenAtTheLastRelease)
{
    registerComponent("PerServer", &makeCounted);
    ServerInfo base = server("host-a");
    base.text2 = "t2";
    base.flag1 = 1;
    ServerInfo otherText3 = base, otherFlag1 = base, nullText2 = base, emptyText2 = base;
    otherText3.text3 = "different";
    otherFlag1.flag1 = 2;
    nullText2.text2 = nullptr;
    emptyText2.text2 = "";

    IUnknown* a = getComponentInstance("PerServer", &base);
    IUnknown* sameServer = getComponentInstance("PerServer", &otherText3);
    IUnknown* otherServer = getComponentInstance("PerServer", &otherFlag1);
    IUnknown* noServer = getComponentInstance("PerServer", nullptr);
    IUnknown* n = getComponentInstance("PerServer", &nullText2);
    EXPECT_EQ(getComponentInstance("PerServer", &emptyText2), n) << "a null text equals \"\"";
    EXPECT_EQ(a, sameServer) << "text3 does not identify the server";
    EXPECT_NE(a, otherServer) << "flag1 does";
    EXPECT_NE(a, noServer) << "an instance for a server never serves a request without one";
    EXPECT_EQ(getRefCount(a), 2);
    EXPECT_EQ(getComponentInstance("PerServer", nullptr), noServer);
    EXPECT_EQ(getRefCount(noServer), 2);
    EXPECT_EQ(g_created.load(), 4);

    for (IUnknown* object : {a, otherServer, noServer, n, n, noServer})
        object->release();
    EXPECT_EQ(g_destroyed.load(), 3);
    sameServer->release(); // the last holder of a
    EXPECT_EQ(g_destroyed.load(), 4);
    // The records went with the instances: the next request makes a new one.
    getComponentInstance("PerServer", nullptr)->release();
    EXPECT_EQ(g_created.load(), 5);
}

IUnknown* makeViaRegistry(const ServerInfo* info)
{
    return createComponentObject("Inner", info); // creators run without the registry lock
}

TEST(ComponentRegistry, MissingCreatorsFailQuietlyAndCreatorsMayUseTheRegistry)
{
    OrlixTest::PrintCapture capture;
    setLastError(0);
    EXPECT_EQ(createComponentObject("NoSuchComponentAnywhere", nullptr), nullptr);
    EXPECT_EQ(getComponentInstance("NoSuchComponentAnywhere", nullptr), nullptr);
    EXPECT_EQ(getLastError(), 0);
    EXPECT_EQ(capture.text(), "");

    registerComponent("MakesNothing", &makeNothing);
    EXPECT_EQ(getComponentInstance("MakesNothing", nullptr), nullptr);
    // No record was made for the failure: a later creator's object becomes the instance.
    registerComponent("MakesNothing", &makeCounted);
    IUnknown* object = getComponentInstance("MakesNothing", nullptr);
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(getRefCount(object), 1);
    object->release();

    registerComponent("Inner", &makeCounted);
    registerComponent("Outer", &makeViaRegistry);
    IUnknown* outer = getComponentInstance("Outer", nullptr);
    ASSERT_NE(outer, nullptr);
    EXPECT_EQ(getComponentInstance("Outer", nullptr), outer);
    outer->release();
    outer->release();
    EXPECT_EQ(g_destroyed.load(), 2);
}

// A null name names no component: refused with the family's codes, nothing is created or
// recorded, and the registry keeps working for real names.
TEST(ComponentRegistry, NullNamesAreRefusedWithTheirErrorCodes)
{
    OrlixTest::PrintCapture capture;
    const int createdBefore = g_created.load();
    setLastError(0);
    EXPECT_FALSE(registerComponent(nullptr, &makeCounted));
    EXPECT_EQ(getLastError(), 0x1003000D);
    setLastError(0);
    EXPECT_EQ(createComponentObject(nullptr, nullptr), nullptr);
    EXPECT_EQ(getLastError(), 0x1003000D);
    setLastError(0);
    const ServerInfo info = ServerInfo();
    EXPECT_EQ(getComponentInstance(nullptr, &info), nullptr);
    EXPECT_EQ(getLastError(), 0x1003000E);
    setLastError(0);
    EXPECT_EQ(getComponentInstance(nullptr, nullptr), nullptr);
    EXPECT_EQ(getLastError(), 0x1003000E);
    EXPECT_EQ(g_created.load(), createdBefore);
    EXPECT_EQ(capture.text(), "");

    EXPECT_TRUE(registerComponent("AfterNull", &makeCounted));
    IUnknown* object = createComponentObject("AfterNull", nullptr);
    ASSERT_NE(object, nullptr);
    object->release();
}

TEST(DynamicCreator, FileAndSymbolNamesAreCutAt31Characters)
{
    const struct
    {
        std::size_t length;
        const char* posixFile;   // with 'n' for each character of the name shown
        const char* windowsFile; // the same on Windows, where plugins are <name>.dll
        const char* symbol;
    } cases[] = {
        {19, "libnnnnnnnnnnnnnnnnnnn.so", "nnnnnnnnnnnnnnnnnnn.dll",
         "creatennnnnnnnnnnnnnnnnnnObject"},
        {20, "libnnnnnnnnnnnnnnnnnnnn.so", "nnnnnnnnnnnnnnnnnnnn.dll",
         "creatennnnnnnnnnnnnnnnnnnnObjec"},
        {25, "libnnnnnnnnnnnnnnnnnnnnnnnnn.so", "nnnnnnnnnnnnnnnnnnnnnnnnn.dll",
         "creatennnnnnnnnnnnnnnnnnnnnnnnn"},
        {26, "libnnnnnnnnnnnnnnnnnnnnnnnnnn.s", "nnnnnnnnnnnnnnnnnnnnnnnnnn.dll",
         "creatennnnnnnnnnnnnnnnnnnnnnnnn"},
        {27, "libnnnnnnnnnnnnnnnnnnnnnnnnnnn.", "nnnnnnnnnnnnnnnnnnnnnnnnnnn.dll",
         "creatennnnnnnnnnnnnnnnnnnnnnnnn"},
        {28, "libnnnnnnnnnnnnnnnnnnnnnnnnnnnn", "nnnnnnnnnnnnnnnnnnnnnnnnnnnn.dl",
         "creatennnnnnnnnnnnnnnnnnnnnnnnn"},
        {40, "libnnnnnnnnnnnnnnnnnnnnnnnnnnnn", "nnnnnnnnnnnnnnnnnnnnnnnnnnnnnnn",
         "creatennnnnnnnnnnnnnnnnnnnnnnnn"},
    };
    for (const auto& c : cases) {
        const auto names = Detail::dynamicNamesFor(std::string(c.length, 'n').c_str());
#ifdef _WIN32
        EXPECT_STREQ(names.fileName, c.windowsFile) << c.length;
#else
        EXPECT_STREQ(names.fileName, c.posixFile) << c.length;
#endif
        EXPECT_STREQ(names.symbol, c.symbol) << c.length;
    }
}

TEST(DynamicCreator, LoadsPluginsByTheirFullOrCutNames)
{
    OrlixTest::PrintCapture capture;
    IUnknown* object = createComponentObject("TestGreeter", nullptr);
    ASSERT_NE(object, nullptr) << "libTestGreeter.so should be on the test's library path";
    EXPECT_STREQ(object->describe(), "greeter from a plugin");
    EXPECT_EQ(object->release(), 0);
    EXPECT_TRUE(capture.contains("plugin greeter destroyed\n"));

    // The library stays loaded and serves shared instances as well.
    IUnknown* a = getComponentInstance("TestGreeter", nullptr);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(getComponentInstance("TestGreeter", nullptr), a);
    a->release();
    a->release();

    // The test tree builds "libTruncatedGreeterPluginName.s" exporting
    // "createTruncatedGreeterPluginNam".
    IUnknown* cut = createComponentObject("TruncatedGreeterPluginName", nullptr);
    ASSERT_NE(cut, nullptr);
    cut->release();

    registerComponent("TestGreeter", &makeCounted); // a registered creator wins
    IUnknown* registered = createComponentObject("TestGreeter", nullptr);
    EXPECT_STREQ(registered->describe(), "Counted");
    registered->release();
}

TEST(DynamicCreator, ALibraryWithoutTheCreatorLogsTheSymbolOnEveryRequest)
{
    OrlixTest::PrintCapture capture;
    EXPECT_EQ(createComponentObject("TestNoSymbol", nullptr), nullptr);
    EXPECT_TRUE(capture.contains("getDynamicCreator get proc 'createTestNoSymbolObject' failed!\n"))
        << capture.text();
    capture.clear();
    EXPECT_EQ(getComponentInstance("TestNoSymbol", nullptr), nullptr);
    EXPECT_TRUE(capture.contains("createTestNoSymbolObject"));
}

TEST(ComponentDeathTest, PreconditionsAreAssertions)
{
    EXPECT_DEATH(decreaseRefCount(nullptr), "assertion \\(object\\) failed");
    EXPECT_DEATH(makeInstanceForTable(nullptr), "assertion \\(object\\) failed");
    CObjectTable table;
    EXPECT_DEATH(table.get(0), "assertion \\(index < m_internal->objects.size\\(\\)\\)");
    Counted stray;
    registerComponent("Known", &makeCounted);
    EXPECT_DEATH(destroyComponent(&stray, "NeverSeen", true),
                 "assertion \\(pi != s_componentMap.end\\(\\)\\)");
    EXPECT_DEATH(destroyComponent(&stray, "Known", true),
                 "assertion \\(pj != \\(\\*pi\\).second.instances.end\\(\\)\\)");

    ServiceFactory factory("A");
    factory.registerFactory("Svc");
    ClassIDList ids("Svc");
    for (int index : {1, -1})
        EXPECT_DEATH(ids[index], "assertion \\(\\(size_t\\)index < m_internal->ids.size\\(\\)\\)");
    EXPECT_DEATH(ClientFactory::releaseClientObject(nullptr), "assertion \\(client != NULL\\)");

    ClientLog log;
    TestClient bare(log, 1);
    const char* const needsRecord = "assertion \\(client != NULL && client->m_internal != NULL\\)";
    EXPECT_DEATH(clientIsCreated(&bare), needsRecord);
    EXPECT_DEATH(clientIsCreated(nullptr), needsRecord);
    EXPECT_DEATH(bare.abort(1), "assertion \\(m_internal\\) failed");
    clientCreateInternal(&bare, ClassID("Device"), server("h"), false);
    EXPECT_DEATH(clientCreateInternal(&bare, ClassID("Device"), server("h"), false),
                 "assertion \\(client != NULL && client->m_internal == NULL\\)");
}

} // namespace
