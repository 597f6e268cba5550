// Component objects: reference counting and hand-out, object tables, the registry and
// creators loaded from shared libraries.
#include "component/oldunknown.h"
#include "component_testing.h"
#include "infra/error.h"
#include "support/testsupport.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace ComponentTesting;
using Orlix::Component::createComponentObject;
using Orlix::Component::getComponentInstance;
using Orlix::Component::getRefCount;
using Orlix::Component::registerComponent;
using Orlix::Component::Detail::CComponentHelper;
using Orlix::Component::Detail::CObjectTable;
using Orlix::Component::Detail::dynamicNamesFor;
using Orlix::Component::Detail::key_base;
using Orlix::Infra::getLastError;
using Orlix::Infra::setLastError;

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

// ---- Reference counting and hand-out ----

TEST(ComponentRefCount, OnlyTheFirstHandOutIsFree)
{
    std::atomic<int> destroyed{0};
    auto* shared = new Counted(&destroyed);
    EXPECT_EQ(CComponentHelper::makeComponentInstance(shared), shared);
    EXPECT_EQ(getRefCount(shared), 1) << "the first hand-out takes the creation reference";
    CComponentHelper::makeComponentInstance(shared);
    EXPECT_EQ(getRefCount(shared), 2) << "every later hand-out counts";

    auto* fresh = new Counted(&destroyed);
    CComponentHelper::makeComponentObject(fresh);
    CComponentHelper::makeComponentObject(fresh);
    EXPECT_EQ(getRefCount(fresh), 1) << "makeComponentObject never counts";
    CComponentHelper::makeComponentInstance(fresh);
    EXPECT_EQ(getRefCount(fresh), 2) << "but marks the object handed out";
    EXPECT_EQ(fresh->addRef(), 3);

    for (IUnknown* object : {shared, shared, fresh, fresh, fresh})
        CComponentHelper::release(object);
    EXPECT_EQ(destroyed.load(), 2);

    setLastError(0);
    EXPECT_EQ(CComponentHelper::makeComponentObject(nullptr), nullptr);
    EXPECT_EQ(getLastError(), 0x1003000D);
    EXPECT_EQ(CComponentHelper::makeComponentInstance(nullptr), nullptr);
    EXPECT_EQ(getLastError(), 0x1003000E);
    EXPECT_EQ(CComponentHelper::addRef(nullptr), 0);
    EXPECT_EQ(CComponentHelper::release(nullptr), 0);
}

TEST(ComponentDeathTest, PreconditionsAreAssertions)
{
    EXPECT_DEATH(Orlix::Component::decreaseRefCount(nullptr), "assertion \\(object\\) failed");
    EXPECT_DEATH(Orlix::Component::makeInstanceForTable(nullptr), "assertion \\(object\\) failed");
    CObjectTable table;
    EXPECT_EQ(table.count(), 0u);
    EXPECT_DEATH(table.get(table.count()),
                 "assertion \\(index < m_internal->objects.size\\(\\)\\)");
    Counted stray;
    registerComponent("Known", &makeCounted);
    EXPECT_DEATH(Orlix::Component::destroyComponent(&stray, "NeverSeen", true),
                 "assertion \\(pi != s_componentMap.end\\(\\)\\)");
    EXPECT_DEATH(Orlix::Component::destroyComponent(&stray, "Known", true),
                 "assertion \\(pj != \\(\\*pi\\).second.instances.end\\(\\)\\)");
}

// ---- Object tables ----

// Matches wanted, or anything when any is set.
class Is : public key_base
{
public:
    explicit Is(IUnknown* wanted, bool any = false) : m_wanted(wanted), m_any(any) {}
    bool matches(IUnknown* object) const override { return m_any || object == m_wanted; }

private:
    IUnknown* m_wanted;
    bool m_any;
};

TEST(ObjectTable, InsertAndFindsCountOneTwoThreeAndTheLastReleaseErases)
{
    std::atomic<int> destroyed{0};
    CObjectTable table;
    auto* object = new Counted(&destroyed);
    table.lock();
    table.insert(object);
    EXPECT_EQ(getRefCount(object), 1);
    EXPECT_EQ(table.find(Is(object)), object);
    EXPECT_EQ(getRefCount(object), 2);
    EXPECT_EQ(table.find(Is(object)), object);
    EXPECT_EQ(getRefCount(object), 3);
    object->release();
    object->release();
    EXPECT_EQ(table.count(), 1u);
    EXPECT_EQ(object->release(), 0) << "released while holding the (re-entrant) table lock";
    EXPECT_EQ(table.count(), 0u);
    table.unlock();
    EXPECT_EQ(destroyed.load(), 1);
}

TEST(ObjectTable, FindTakesTheFirstMatchAndEraseEveryOccurrence)
{
    std::atomic<int> destroyed{0};
    CObjectTable table;
    auto* a = new Counted(&destroyed);
    auto* b = new Counted(&destroyed);
    table.lock();
    EXPECT_EQ(table.find(Is(nullptr, true)), nullptr);
    for (IUnknown* object : {a, b, a, b}) // each inserted twice: count 2
        table.insert(object);
    EXPECT_EQ(table.find(Is(nullptr, true)), a);
    EXPECT_EQ(getRefCount(b), 2) << "objects that were not found keep their count";
    EXPECT_EQ(table.find(Is(nullptr)), nullptr);
    table.erase(a);
    ASSERT_EQ(table.count(), 2u);
    EXPECT_EQ(table.get(0), b);
    EXPECT_EQ(table.get(1), b);
    table.erase(a); // not in the table any more: unchanged
    EXPECT_EQ(table.count(), 2u);
    table.unlock();
    // a is no longer listed but is still disposed of normally; b's last release erases it.
    for (IUnknown* object : {a, a, a, b, b})
        object->release();
    EXPECT_EQ(destroyed.load(), 2);
    EXPECT_EQ(table.count(), 0u);
}

TEST(ObjectTable, ObjectsOutliveTheirTable)
{
    std::atomic<int> destroyed{0};
    auto* object = new Counted(&destroyed);
    {
        CObjectTable table;
        table.lock();
        table.insert(object);
        table.unlock();
    }
    EXPECT_EQ(destroyed.load(), 0) << "the table held no reference";
    object->release(); // must not touch the table that is gone
    EXPECT_EQ(destroyed.load(), 1);
}

// ---- The registry ----

TEST(ComponentRegistry, RegisteringTwiceWarnsOnceAndKeepsTheSecondCreator)
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
    IUnknown* e = getComponentInstance("PerServer", &emptyText2);
    EXPECT_EQ(a, sameServer) << "text3 does not identify the server";
    EXPECT_NE(a, otherServer) << "flag1 does";
    EXPECT_NE(a, noServer) << "an instance for a server never serves a request without one";
    EXPECT_EQ(n, e) << "a null text equals \"\"";
    EXPECT_EQ(getRefCount(a), 2);
    EXPECT_EQ(getComponentInstance("PerServer", nullptr), noServer);
    EXPECT_EQ(getRefCount(noServer), 2);
    EXPECT_EQ(g_created.load(), 4);

    for (IUnknown* object : {a, otherServer, noServer, n, e, noServer})
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
    // Creators run without the registry lock, so they may use the registry themselves.
    return createComponentObject("Inner", info);
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

// ---- Creators in shared libraries ----

TEST(DynamicCreatorNames, FileAndSymbolNamesAreCutAt31Characters)
{
    const struct
    {
        std::size_t length;
        const char* file; // with 'n' for each character of the name shown
        const char* symbol;
    } cases[] = {
        {7, "libnnnnnnn.so", "creatennnnnnnObject"},
        {19, "libnnnnnnnnnnnnnnnnnnn.so", "creatennnnnnnnnnnnnnnnnnnObject"},
        {20, "libnnnnnnnnnnnnnnnnnnnn.so", "creatennnnnnnnnnnnnnnnnnnnObjec"},
        {25, "libnnnnnnnnnnnnnnnnnnnnnnnnn.so", "creatennnnnnnnnnnnnnnnnnnnnnnnn"},
        {26, "libnnnnnnnnnnnnnnnnnnnnnnnnnn.s", "creatennnnnnnnnnnnnnnnnnnnnnnnn"},
        {27, "libnnnnnnnnnnnnnnnnnnnnnnnnnnn.", "creatennnnnnnnnnnnnnnnnnnnnnnnn"},
        {40, "libnnnnnnnnnnnnnnnnnnnnnnnnnnnn", "creatennnnnnnnnnnnnnnnnnnnnnnnn"},
    };
    for (const auto& c : cases) {
        const auto names = dynamicNamesFor(std::string(c.length, 'n').c_str());
        EXPECT_STREQ(names.fileName, c.file) << c.length;
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

    // 26 characters: the test tree builds "libTruncatedGreeterPluginName.s" exporting
    // "createTruncatedGreeterPluginNam", the names cut to 31 characters.
    IUnknown* cut = createComponentObject("TruncatedGreeterPluginName", nullptr);
    ASSERT_NE(cut, nullptr);
    cut->release();

    // A registered creator wins over the library.
    registerComponent("TestGreeter", &makeCounted);
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

} // namespace
