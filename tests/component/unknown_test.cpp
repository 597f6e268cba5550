// Component objects: reference counting and hand-out, object tables, the registry and
// creators loaded from shared libraries.
#include "component/oldunknown.h"
#include "component_testing.h"
#include "infra/error.h"
#include "support/testsupport.h"

#include <gtest/gtest.h>

#include <cstring>
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

TEST(ComponentRefCount, FirstHandOutTakesOverTheCreationReference)
{
    std::atomic<int> destroyed{0};
    auto* object = new Counted(&destroyed);
    EXPECT_EQ(getRefCount(object), 1);
    EXPECT_EQ(CComponentHelper::makeComponentInstance(object), object);
    EXPECT_EQ(getRefCount(object), 1) << "the first hand-out is free";
    CComponentHelper::makeComponentInstance(object);
    EXPECT_EQ(getRefCount(object), 2) << "every later hand-out counts";
    EXPECT_EQ(CComponentHelper::release(object), 1);
    EXPECT_EQ(CComponentHelper::release(object), 0);
    EXPECT_EQ(destroyed.load(), 1);
}

TEST(ComponentRefCount, MakeComponentObjectNeverCountsButMarksHandedOut)
{
    std::atomic<int> destroyed{0};
    auto* object = new Counted(&destroyed);
    CComponentHelper::makeComponentObject(object);
    CComponentHelper::makeComponentObject(object);
    EXPECT_EQ(getRefCount(object), 1);
    // Handed out already: the next shared hand-out adds a reference.
    CComponentHelper::makeComponentInstance(object);
    EXPECT_EQ(getRefCount(object), 2);
    EXPECT_EQ(object->addRef(), 3) << "addRef always counts";
    object->release();
    object->release();
    object->release();
    EXPECT_EQ(destroyed.load(), 1);
}

TEST(ComponentRefCount, NullHandOutsSetTheirErrorCodes)
{
    setLastError(0);
    EXPECT_EQ(CComponentHelper::makeComponentObject(nullptr), nullptr);
    EXPECT_EQ(getLastError(), 0x1003000D);
    EXPECT_EQ(CComponentHelper::makeComponentInstance(nullptr), nullptr);
    EXPECT_EQ(getLastError(), 0x1003000E);
    EXPECT_EQ(CComponentHelper::addRef(nullptr), 0);
    EXPECT_EQ(CComponentHelper::release(nullptr), 0);
}

TEST(ComponentRefCountDeathTest, InternalOperationsRejectNull)
{
    EXPECT_DEATH(Orlix::Component::decreaseRefCount(nullptr), "assertion \\(object\\) failed");
    EXPECT_DEATH(Orlix::Component::makeInstanceForTable(nullptr), "assertion \\(object\\) failed");
}

// ---- Object tables ----

class NameKey : public key_base
{
public:
    explicit NameKey(IUnknown* wanted) : m_wanted(wanted) {}
    bool matches(IUnknown* object) const override { return object == m_wanted; }

private:
    IUnknown* m_wanted;
};

class AnyKey : public key_base
{
public:
    bool matches(IUnknown* /*object*/) const override { return true; }
};

TEST(ObjectTable, InsertAndFindsCountOneTwoThreeAndLastReleaseErases)
{
    std::atomic<int> destroyed{0};
    CObjectTable table;
    auto* object = new Counted(&destroyed);
    table.lock();
    table.insert(object);
    EXPECT_EQ(getRefCount(object), 1);
    EXPECT_EQ(table.find(NameKey(object)), object);
    EXPECT_EQ(getRefCount(object), 2);
    EXPECT_EQ(table.find(NameKey(object)), object);
    EXPECT_EQ(getRefCount(object), 3);
    table.unlock();

    object->release();
    object->release();
    EXPECT_EQ(table.count(), 1u);
    EXPECT_EQ(destroyed.load(), 0);
    object->release();
    EXPECT_EQ(destroyed.load(), 1);
    EXPECT_EQ(table.count(), 0u);
}

TEST(ObjectTable, ReleaseWhileHoldingTheTableLock)
{
    std::atomic<int> destroyed{0};
    CObjectTable table;
    auto* object = new Counted(&destroyed);
    table.lock();
    table.insert(object);
    EXPECT_EQ(object->release(), 0); // the table's lock is re-entrant
    EXPECT_EQ(table.count(), 0u);
    table.unlock();
    EXPECT_EQ(destroyed.load(), 1);
}

TEST(ObjectTable, FindTakesTheFirstMatchAndNullWhenNone)
{
    std::atomic<int> destroyed{0};
    CObjectTable table;
    auto* first = new Counted(&destroyed);
    auto* second = new Counted(&destroyed);
    table.lock();
    EXPECT_EQ(table.find(AnyKey()), nullptr);
    table.insert(first);
    table.insert(second);
    EXPECT_EQ(table.find(AnyKey()), first);
    EXPECT_EQ(getRefCount(second), 1) << "objects that were not found keep their count";
    EXPECT_EQ(table.find(NameKey(nullptr)), nullptr);
    table.unlock();
    first->release();
    first->release();
    second->release();
    EXPECT_EQ(destroyed.load(), 2);
}

TEST(ObjectTable, EraseRemovesEveryOccurrenceAndKeepsOrder)
{
    std::atomic<int> destroyed{0};
    CObjectTable table;
    auto* a = new Counted(&destroyed);
    auto* b = new Counted(&destroyed);
    table.lock();
    table.insert(a);
    table.insert(b);
    table.insert(a);
    table.insert(b);
    table.erase(a);
    ASSERT_EQ(table.count(), 2u);
    EXPECT_EQ(table.get(0), b);
    EXPECT_EQ(table.get(1), b);
    table.erase(a); // not in the table any more: unchanged
    EXPECT_EQ(table.count(), 2u);
    table.unlock();
    // a was inserted twice (count 2); b too. Releasing b to 0 erases it; a is no longer
    // listed but still disposed of normally.
    a->release();
    a->release();
    b->release();
    b->release();
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

TEST(ObjectTableDeathTest, GetPastTheEndIsAnAssertion)
{
    CObjectTable table;
    EXPECT_EQ(table.count(), 0u);
    EXPECT_DEATH(table.get(table.count()),
                 "assertion \\(index < m_internal->objects.size\\(\\)\\)");
}

// ---- The registry ----

TEST(ComponentRegistry, RegisteringTwiceWarnsOnceAndKeepsTheSecondCreator)
{
    OrlixTest::PrintCapture capture;
    EXPECT_TRUE(registerComponent("Twice", &makeNothing));
    EXPECT_EQ(capture.text(), "");
    EXPECT_TRUE(registerComponent("Twice", &makeCounted));
    EXPECT_TRUE(capture.contains("registerComponentCreator creator for 'Twice' already exist!\n"));
    IUnknown* object = createComponentObject("Twice", nullptr);
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(object->release(), 0);
    EXPECT_EQ(g_destroyed.load(), 1);
}

TEST(ComponentRegistry, CreatedObjectsAreFreshEachTime)
{
    registerComponent("Fresh", &makeCounted);
    IUnknown* a = createComponentObject("Fresh", nullptr);
    IUnknown* b = createComponentObject("Fresh", nullptr);
    ASSERT_NE(a, nullptr);
    EXPECT_NE(a, b);
    EXPECT_EQ(getRefCount(a), 1);
    a->release();
    b->release();
    EXPECT_EQ(g_destroyed.load(), 2);
}

TEST(ComponentRegistry, InstanceWithoutServerIsSharedAndForgottenAtLastRelease)
{
    registerComponent("Shared", &makeCounted);
    IUnknown* first = getComponentInstance("Shared", nullptr);
    IUnknown* second = getComponentInstance("Shared", nullptr);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first, second);
    EXPECT_EQ(getRefCount(first), 2);
    EXPECT_EQ(g_created.load(), 1);

    first->release();
    EXPECT_EQ(g_destroyed.load(), 0);
    second->release();
    EXPECT_EQ(g_destroyed.load(), 1);

    // The record went with the instance: the next request makes a new one.
    IUnknown* third = getComponentInstance("Shared", nullptr);
    EXPECT_EQ(g_created.load(), 2);
    third->release();
}

TEST(ComponentRegistry, InstancesAreKeyedByFiveServerFields)
{
    registerComponent("PerServer", &makeCounted);
    ServerInfo base = server("host-a");
    base.text2 = "t2";
    base.flag1 = 1;
    ServerInfo otherText3 = base;
    otherText3.text3 = "different";
    ServerInfo otherFlag1 = base;
    otherFlag1.flag1 = 2;

    IUnknown* a = getComponentInstance("PerServer", &base);
    IUnknown* sameServer = getComponentInstance("PerServer", &otherText3);
    IUnknown* otherServer = getComponentInstance("PerServer", &otherFlag1);
    IUnknown* noServer = getComponentInstance("PerServer", nullptr);
    EXPECT_EQ(a, sameServer) << "text3 does not identify the server";
    EXPECT_NE(a, otherServer) << "flag1 does";
    EXPECT_NE(a, noServer) << "an instance for a server never serves a request without one";
    EXPECT_EQ(getRefCount(a), 2);

    // A null text equals "".
    ServerInfo nullText = base;
    nullText.text2 = nullptr;
    ServerInfo emptyText = base;
    emptyText.text2 = "";
    IUnknown* n = getComponentInstance("PerServer", &nullText);
    IUnknown* e = getComponentInstance("PerServer", &emptyText);
    EXPECT_EQ(n, e);

    for (IUnknown* object : {a, sameServer, otherServer, noServer, n, e})
        object->release();
    EXPECT_EQ(g_destroyed.load(), g_created.load());
}

TEST(ComponentRegistry, UnknownNamesAndNullCreatorsGiveNullQuietly)
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
}

IUnknown* makeViaRegistry(const ServerInfo* info)
{
    // Creators run without the registry lock, so they may use the registry themselves.
    return createComponentObject("Inner", info);
}

TEST(ComponentRegistry, CreatorsMayUseTheRegistry)
{
    registerComponent("Inner", &makeCounted);
    registerComponent("Outer", &makeViaRegistry);
    IUnknown* object = getComponentInstance("Outer", nullptr);
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(getComponentInstance("Outer", nullptr), object);
    object->release();
    object->release();
    EXPECT_EQ(g_destroyed.load(), 1);
}

TEST(ComponentRegistryDeathTest, DestroyingAnUnknownInstanceIsAnAssertion)
{
    std::atomic<int> destroyed{0};
    Counted stray(&destroyed);
    registerComponent("Known", &makeCounted);
    EXPECT_DEATH(Orlix::Component::destroyComponent(&stray, "NeverSeen", true),
                 "assertion \\(pi != s_componentMap.end\\(\\)\\)");
    EXPECT_DEATH(Orlix::Component::destroyComponent(&stray, "Known", true),
                 "assertion \\(pj != \\(\\*pi\\).second.instances.end\\(\\)\\)");
}

// ---- Creators in shared libraries ----

TEST(DynamicCreatorNames, FileNamesFollowThePlatformPatternCutAt31)
{
    const std::string n25(25, 'a');
    EXPECT_STREQ(dynamicNamesFor("Greeter").fileName, "libGreeter.so");
    EXPECT_STREQ(dynamicNamesFor(n25.c_str()).fileName, ("lib" + n25 + ".so").c_str());
    EXPECT_EQ(std::strlen(dynamicNamesFor(n25.c_str()).fileName), 31u);
    EXPECT_STREQ(dynamicNamesFor(std::string(26, 'b').c_str()).fileName,
                 ("lib" + std::string(26, 'b') + ".s").c_str());
    EXPECT_STREQ(dynamicNamesFor(std::string(27, 'c').c_str()).fileName,
                 ("lib" + std::string(27, 'c') + ".").c_str());
    EXPECT_STREQ(dynamicNamesFor(std::string(40, 'd').c_str()).fileName,
                 ("lib" + std::string(28, 'd')).c_str());
}

TEST(DynamicCreatorNames, SymbolsAreCompleteUpTo19Characters)
{
    const std::string n19(19, 'x');
    EXPECT_STREQ(dynamicNamesFor(n19.c_str()).symbol, ("create" + n19 + "Object").c_str());
    EXPECT_STREQ(dynamicNamesFor(std::string(20, 'y').c_str()).symbol,
                 ("create" + std::string(20, 'y') + "Objec").c_str());
    EXPECT_STREQ(dynamicNamesFor(std::string(30, 'z').c_str()).symbol,
                 ("create" + std::string(25, 'z')).c_str());
}

TEST(DynamicCreator, LoadsAPluginByName)
{
    OrlixTest::PrintCapture capture;
    IUnknown* object = createComponentObject("TestGreeter", nullptr);
    ASSERT_NE(object, nullptr) << "libTestGreeter.so should be on the test's library path";
    EXPECT_STREQ(object->describe(), "greeter from a plugin");
    EXPECT_EQ(object->release(), 0);
    EXPECT_TRUE(capture.contains("plugin greeter destroyed\n"));

    // The library stays loaded and serves shared instances as well.
    IUnknown* a = getComponentInstance("TestGreeter", nullptr);
    IUnknown* b = getComponentInstance("TestGreeter", nullptr);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a, b);
    a->release();
    b->release();
}

TEST(DynamicCreator, LongNamesAreLookedUpUnderTheirCutFileAndSymbol)
{
    // 26 characters: the file is "libTruncatedGreeterPluginName.s" and the creator
    // "createTruncatedGreeterPluginNam", each 31 characters, as the test tree builds them.
    IUnknown* object = createComponentObject("TruncatedGreeterPluginName", nullptr);
    ASSERT_NE(object, nullptr);
    EXPECT_STREQ(object->describe(), "greeter from a plugin");
    object->release();
}

TEST(DynamicCreator, ALibraryWithoutTheCreatorLogsTheSymbol)
{
    OrlixTest::PrintCapture capture;
    EXPECT_EQ(createComponentObject("TestNoSymbol", nullptr), nullptr);
    EXPECT_TRUE(capture.contains("getDynamicCreator get proc 'createTestNoSymbolObject' failed!\n"))
        << capture.text();
    capture.clear();
    // Looked up again on every request (the library stays loaded).
    EXPECT_EQ(getComponentInstance("TestNoSymbol", nullptr), nullptr);
    EXPECT_TRUE(capture.contains("createTestNoSymbolObject"));
}

TEST(DynamicCreator, ARegisteredCreatorWinsOverALibrary)
{
    registerComponent("TestGreeter", &makeCounted);
    IUnknown* object = createComponentObject("TestGreeter", nullptr);
    ASSERT_NE(object, nullptr);
    EXPECT_STREQ(object->describe(), "Counted");
    object->release();
}

} // namespace
