// Factories: registration, the factory lookup with its shared clients, the client factory
// wrapper, the idle sweep, ClassIDList and the error texts.
#include "component/clientinstancelist.h"
#include "component_testing.h"
#include "infra/print.h"
#include "support/testsupport.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace ComponentTesting;
using Orlix::Infra::getErrMsg;

CClientInstanceList* clientList()
{
    return CClientInstanceList::instance();
}

TEST(FactoryRegistry, LookupsByInterfaceAndWholeClassIdTheClassIdListAndTheErrorTexts)
{
    ServiceFactory b("B"), first("A"), second("A"), never("Z");
    never.unregisterFactory("Svc"); // lists Z all the same
    EXPECT_STREQ(getErrMsg(0x10030000), "") << "unregistering does not register the texts";
    for (ServiceFactory* factory : {&b, &first, &second})
        EXPECT_TRUE(factory->registerFactory("Svc"));
    EXPECT_TRUE(b.unregisterFactory("Svc"));
    EXPECT_STREQ(getErrMsg(0x10030000), "Component error: interface not found!");
    EXPECT_STREQ(getErrMsg(0x10030005), "Component error: tring login!");
    EXPECT_STREQ(getErrMsg(0x10030015), "Component error: User or password not valid!");
    EXPECT_STREQ(getErrMsg(0x10030010), "") << "the not-implemented code has no text";

    ClassIDList ids("Svc");
    ASSERT_EQ(ids.count(), 3u);
    EXPECT_EQ(ids[0] + ids[1] + ids[2], "ABZ");
    EXPECT_EQ(ClassIDList("Other").count(), 0u);

    IClient* client = nullptr;
    const struct
    {
        const char* iid;
        const char* classId;
        IFactoryUnknown* result;
        int error;
    } cases[] = {
        {"Svc", "A", &second, 0}, // registering again keeps the last factory
        {"Svc", "B", nullptr, 0}, // unregistered: listed, but no factory
        {"Nope", "A", nullptr, 0x10030000},
        {"Svc", "C", nullptr, 0x10030001},
        {"Svc", "A.b", nullptr, 0x10030001}, // the class id is looked up whole
    };
    for (const auto& c : cases) {
        setLastError(0);
        EXPECT_EQ(CComponentHelper::getComponentFactory(c.iid, ClassID(c.classId), ServerInfo::none,
                                                        client),
                  c.result)
            << c.iid << " " << c.classId;
        EXPECT_EQ(getLastError(), c.error) << c.iid << " " << c.classId;
        EXPECT_EQ(client, nullptr);
    }

    // Many interfaces and classes registered after the first lookups (the registry grows
    // under them): every one is still found, from ids that are copies, not the registered
    // texts themselves.
    std::vector<std::string> names;
    for (int i = 0; i < 200; ++i)
        names.push_back("Grow" + std::to_string(i));
    std::vector<std::unique_ptr<ServiceFactory>> grown;
    for (const std::string& name : names) {
        grown.push_back(std::make_unique<ServiceFactory>(name.c_str()));
        EXPECT_TRUE(grown.back()->registerFactory(name.c_str()));
        EXPECT_TRUE(grown.back()->registerFactory("Grown"));
    }
    for (std::size_t i = 0; i < names.size(); ++i) {
        const std::string iid = names[i];
        const std::string classId = names[i];
        EXPECT_EQ(CComponentHelper::getComponentFactory(iid.c_str(), ClassID(classId.c_str()),
                                                        ServerInfo::none, client),
                  grown[i].get())
            << iid;
        EXPECT_EQ(CComponentHelper::getComponentFactory("Grown", ClassID(classId.c_str()),
                                                        ServerInfo::none, client),
                  grown[i].get())
            << iid;
    }
    EXPECT_EQ(CComponentHelper::getComponentFactory("Svc", ClassID("A"), ServerInfo::none, client),
              &second);
    EXPECT_EQ(ClassIDList("Grown").count(), names.size());
    for (std::size_t i = 0; i < names.size(); ++i) {
        EXPECT_TRUE(grown[i]->unregisterFactory(names[i].c_str()));
        EXPECT_TRUE(grown[i]->unregisterFactory("Grown"));
    }
}

// A null interface or class id names no registry entry: each operation fails with the code of
// the id it lacks, and a lookup for a server fails before any client is looked for.
TEST(FactoryRegistry, NullIdsFailWithTheirErrorCodes)
{
    ServiceFactory known("A"), nameless(nullptr);
    ASSERT_TRUE(known.registerFactory("Svc"));
    const auto failedWith = [](bool failed, int code) {
        const bool result = failed && getLastError() == code;
        setLastError(0);
        return result;
    };
    setLastError(0);
    EXPECT_TRUE(failedWith(!known.registerFactory(nullptr), 0x10030000));
    EXPECT_TRUE(failedWith(!known.unregisterFactory(nullptr), 0x10030000));
    EXPECT_TRUE(failedWith(!nameless.registerFactory("Svc"), 0x10030001));
    EXPECT_TRUE(failedWith(!nameless.unregisterFactory("Svc"), 0x10030001));
    EXPECT_TRUE(failedWith(ClassIDList(nullptr).count() == 0, 0x10030000));
    EXPECT_EQ(ClassIDList("Svc").count(), 1u);

    const std::size_t listed = clientList()->countForTesting();
    const ServerInfo host = server("10.0.0.1");
    IClient* client = reinterpret_cast<IClient*>(&client); // any non-null value
    for (const ServerInfo* info : {&ServerInfo::none, &host}) {
        EXPECT_TRUE(failedWith(
            CComponentHelper::getComponentFactory(nullptr, ClassID("A"), *info, client) == nullptr,
            0x10030000));
        EXPECT_EQ(client, nullptr);
        client = reinterpret_cast<IClient*>(&client);
        EXPECT_TRUE(failedWith(CComponentHelper::getComponentFactory("Svc", ClassID(nullptr), *info,
                                                                     client) == nullptr,
                               0x10030001));
        EXPECT_EQ(client, nullptr);
    }
    for (int userId : {-1, 7}) {
        EXPECT_TRUE(failedWith(
            CComponentHelper::getComponentFactory(nullptr, ClassID("A"), userId, client) == nullptr,
            0x10030000));
        EXPECT_TRUE(failedWith(CComponentHelper::getComponentFactory("Svc", ClassID(nullptr),
                                                                     userId, client) == nullptr,
                               0x10030001));
        EXPECT_EQ(client, nullptr);
    }
    EXPECT_EQ(clientList()->countForTesting(), listed) << "no client is made for a null class id";
    EXPECT_EQ(CComponentHelper::getComponentFactory("Svc", ClassID("A"), ServerInfo::none, client),
              &known);
    known.unregisterFactory("Svc");
}

// A client factory under "Client"/"Device" (user id 7) and a service factory under
// "Media"/"Device.Config"; the periodic sweep is stopped and the debug lines are on.
class FactoryTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        clientFactory.registerFactory("Client");
        media.registerFactory("Media");
        Orlix::Infra::setPrintLogLevel(6);
        clientList()->stopSweepForTesting();
    }

    IFactoryUnknown* lookUp(const ServerInfo& info, IClient*& client,
                            const char* classId = "Device.Config", const char* iid = "Media")
    {
        return CComponentHelper::getComponentFactory(iid, ClassID(classId), info, client);
    }
    IFactoryUnknown* lookUpByUser(const char* classId, int userId, IClient*& client)
    {
        return CComponentHelper::getComponentFactory("Media", ClassID(classId), userId, client);
    }
    IClient::IFactory* clientWrapper(const char* classId = "Device")
    {
        IClient* none = nullptr;
        return dynamic_cast<IClient::IFactory*>(CComponentHelper::getComponentFactory(
            "Client", ClassID(classId), ServerInfo::none, none));
    }

    ClientLog log;
    TestClientFactory clientFactory{"Device", log};
    ServiceFactory media{"Device.Config"};
};

TEST_F(FactoryTest, TheClientInterfaceHandsOutOneWrapperPerFactory)
{
    IClient::IFactory* wrapper = clientWrapper();
    ASSERT_NE(wrapper, nullptr);
    EXPECT_NE(dynamic_cast<IClientFactoryWrap*>(wrapper), nullptr);
    EXPECT_STREQ(wrapper->getClassID(), "Device");
    TestClient stale(log, 0);
    IClient* client = &stale; // overwritten by the lookup
    EXPECT_EQ(lookUp(server("h"), client, "Device", "Client"), wrapper) << "whatever the server";
    EXPECT_EQ(client, nullptr);
    EXPECT_EQ(clientList()->countForTesting(), 0u) << "no client is looked up for \"Client\"";
    clientFactory.makesClients = false;
    EXPECT_EQ(wrapper->create(server("h")), nullptr);
    EXPECT_EQ(clientList()->countForTesting(), 0u);

    // The local class's wrapper always makes a new client.
    TestClientFactory local("Local", log);
    local.registerFactory("Client");
    IClient* a = clientWrapper("Local")->create(server("h"));
    IClient* b = clientWrapper("Local")->create(server("h"));
    EXPECT_NE(a, b);
    EXPECT_EQ(getRefCount(a), 1);
    EXPECT_EQ(clientList()->countForTesting(), 2u);
    CComponentHelper::release(a);
    CComponentHelper::release(b);
    EXPECT_EQ(log.destroyed.load(), 2);

    clientFactory.unregisterFactory("Client");
    EXPECT_EQ(clientWrapper(), nullptr);
}

TEST_F(FactoryTest, WrapperCreateSharesClientsAndEveryLaterHolderCounts)
{
    IClient::IFactory* wrapper = clientWrapper();
    IClient* first = wrapper->create(server("h"));
    IClient* second = wrapper->create(server("h"));
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first, second);
    EXPECT_EQ(getRefCount(first), 2);
    EXPECT_EQ(log.created.load(), 1);
    EXPECT_EQ(IClient::getCurrentUserID(), 7);
    EXPECT_EQ(wrapper->instance(7), first) << "found by user, no reference added";
    EXPECT_EQ(getRefCount(first), 2);
    IClient* other = wrapper->create(server("other-host"));
    EXPECT_NE(other, first);
    CComponentHelper::release(other);
    EXPECT_EQ(log.orderText(), "logout,destroy,") << "only the other host's client is gone";

    // Lookups that find a created client are holders of their own, the first one included.
    IClient* looked = nullptr;
    ASSERT_EQ(lookUp(server("h"), looked), &media);
    EXPECT_EQ(looked, first);
    EXPECT_EQ(getRefCount(first), 3);
    for (IClient* holder : {looked, first})
        EXPECT_GT(CComponentHelper::release(holder), 0);
    EXPECT_EQ(CComponentHelper::release(second), 0);
    EXPECT_EQ(log.orderText(), "logout,destroy,logout,destroy,");
    EXPECT_EQ(clientList()->countForTesting(), 0u);
}

TEST_F(FactoryTest, LookupsByServerAndByUserShareOneLoggedInClient)
{
    IClient* first = nullptr;
    EXPECT_EQ(lookUp(server("h"), first), &media);
    ASSERT_NE(first, nullptr);
    EXPECT_TRUE(clientIsLogined(first));
    EXPECT_EQ(getRefCount(first), 1) << "the list's creation reference went at the first use";
    ServerInfo sameServer = server("h");
    sameServer.text7 = "not identifying";
    sameServer.number4 = 99;
    IClient* second = nullptr;
    int currentUser = 0;
    std::thread([&] { // a thread with no current user yet
        EXPECT_EQ(lookUp(sameServer, second), &media);
        currentUser = IClient::getCurrentUserID();
    })
        .join();
    EXPECT_EQ(second, first);
    EXPECT_EQ(currentUser, 7) << "the found client's user is the current user";
    EXPECT_EQ(getRefCount(first), 2);
    EXPECT_EQ(log.created.load(), 1);

    // By user id: the exact class, no login; -1 asks for no client.
    ServiceFactory deviceMedia("Device");
    deviceMedia.registerFactory("Media");
    IClient* byUser = nullptr;
    EXPECT_EQ(lookUpByUser("Device", 7, byUser), &deviceMedia);
    EXPECT_EQ(byUser, first);
    EXPECT_EQ(getRefCount(first), 3);
    EXPECT_EQ(log.logins.load(), 1);
    OrlixTest::PrintCapture capture;
    setLastError(0);
    EXPECT_EQ(lookUpByUser("Device.Config", 7, byUser), nullptr);
    EXPECT_EQ(lookUpByUser("Device", 8, byUser), nullptr);
    EXPECT_EQ(byUser, nullptr);
    EXPECT_EQ(getLastError(), 0);
    EXPECT_EQ(capture.text(), "");
    EXPECT_EQ(lookUpByUser("Device", -1, byUser), &deviceMedia);
    EXPECT_EQ(byUser, nullptr);

    CComponentHelper::release(first);
    CComponentHelper::release(first);
    EXPECT_TRUE(clientList()->containsForTesting(first));
    CComponentHelper::release(second);
    EXPECT_EQ(clientList()->countForTesting(), 0u);
    EXPECT_EQ(log.orderText(), "logout,destroy,");

    // ServerInfo::none means no server; an all-zero record is a server all the same.
    EXPECT_EQ(lookUp(ServerInfo::none, first), &media);
    EXPECT_EQ(first, nullptr);
    EXPECT_EQ(lookUp(ServerInfo(), first), &media);
    ASSERT_NE(first, nullptr);
    CComponentHelper::release(first);
}

TEST_F(FactoryTest, FailedLookupsSetTheErrorAndGiveTheirReferenceBack)
{
    OrlixTest::PrintCapture capture;
    IClient* client = nullptr;
    ServiceFactory cameraMedia("Camera.Config");
    cameraMedia.registerFactory("Media");
    EXPECT_EQ(lookUp(server("h"), client, "Camera.Config"), nullptr);
    EXPECT_EQ(getLastError(), 0x10030002);
    EXPECT_TRUE(capture.contains(
        "iid (Media) could not been got because clientInstance could not be created.\n"));
    clientFactory.makesClients = false;
    EXPECT_EQ(lookUp(server("h"), client), nullptr);
    EXPECT_EQ(getLastError(), 0x10030003);
    clientFactory.makesClients = true;

    EXPECT_EQ(lookUp(server("h"), client, "Device.Config", "Printer"), nullptr);
    EXPECT_EQ(getLastError(), 0x10030000);
    EXPECT_EQ(client, nullptr);
    // Made and logged in, then given back: only the list's creation reference is left.
    ASSERT_EQ(clientList()->countForTesting(), 1u);
    IClient* listed = clientFactory.instance(7);
    ASSERT_NE(listed, nullptr);
    EXPECT_EQ(getRefCount(listed), 1);
    EXPECT_EQ(lookUp(server("h"), client), &media); // its first use
    EXPECT_EQ(client, listed);
    EXPECT_EQ(getRefCount(listed), 1);
    CComponentHelper::release(client);
    EXPECT_EQ(log.destroyed.load(), 1);
}

// ---- Login failures, broken connections and the idle sweep ----

TEST_F(FactoryTest, AFailedFirstLoginKeepsTheClientListedForALaterLogin)
{
    OrlixTest::PrintCapture capture;
    log.loginSucceeds = false;
    IClient* client = nullptr;
    EXPECT_EQ(lookUp(server("h"), client), nullptr);
    EXPECT_EQ(client, nullptr);
    EXPECT_TRUE(capture.contains("iid=Media could not been generated because log failed.\n"));
    EXPECT_TRUE(capture.contains("src/component/componentfactory.cpp:"));
    ASSERT_EQ(clientList()->countForTesting(), 1u);
    IClient* listed = clientFactory.instance(7);
    EXPECT_TRUE(clientIsCreated(listed));
    EXPECT_EQ(getRefCount(listed), 1);

    capture.clear();
    EXPECT_EQ(lookUp(server("h"), client), nullptr);
    EXPECT_TRUE(capture.contains("iid=Media could not been got because log failed.\n"));
    EXPECT_EQ(getRefCount(listed), 1);

    log.loginSucceeds = true;
    EXPECT_EQ(lookUp(server("h"), client), &media);
    EXPECT_EQ(client, listed);
    EXPECT_TRUE(clientIsLogined(client));
    EXPECT_EQ(getRefCount(client), 1);
    EXPECT_EQ(log.created.load(), 1);
    CComponentHelper::release(client);
    EXPECT_EQ(clientList()->countForTesting(), 0u);
}

TEST_F(FactoryTest, BrokenClientsAreLoggedInAgain)
{
    IClient* first = nullptr;
    ASSERT_EQ(lookUp(server("h"), first), &media);
    log.broken = true;
    IClient* second = nullptr;
    EXPECT_EQ(lookUp(server("h"), second), &media);
    EXPECT_EQ(second, first);
    EXPECT_EQ(log.logins.load(), 2);
    EXPECT_TRUE(clientIsLogined(first));

    // Broken again and the new login fails: the lookup gives its reference back.
    OrlixTest::PrintCapture capture;
    log.loginSucceeds = false;
    IClient* third = nullptr;
    EXPECT_EQ(lookUp(server("h"), third), nullptr);
    EXPECT_TRUE(capture.contains("iid=Media could not been got because re-log failed.\n"));
    EXPECT_TRUE(clientIsBroken(first));
    EXPECT_EQ(getRefCount(first), 2);

    // The wrapper never hands out a broken client: it makes another one, and that is no
    // "already listed" case.
    IClient* fresh = clientWrapper()->create(server("h"));
    EXPECT_NE(fresh, first);
    EXPECT_FALSE(capture.contains("has been in CClientInstanceList already"));
    CComponentHelper::release(fresh);

    log.broken = false;
    log.loginSucceeds = true;
    EXPECT_EQ(lookUp(server("h"), third), &media) << "a broken client is logged in at once";
    EXPECT_EQ(third, first);
    EXPECT_TRUE(clientIsLogined(first));
    for (IClient* c : {first, second, third})
        CComponentHelper::release(c);
    EXPECT_EQ(log.destroyed.load(), 2);
}

TEST_F(FactoryTest, OnePassRemovesIdleNeighboursAndLeavesExemptAndHeldClients)
{
    log.loginSucceeds = false;
    IClient* ignored = nullptr;
    lookUp(server("idle-1"), ignored);
    lookUp(server("idle-2"), ignored);
    IClient* exempt = clientWrapper()->create(server("exempt")); // created, never logged in
    TestClientFactory heldFactory("Held", log, 9);
    heldFactory.registerFactory("Client");
    ServiceFactory heldMedia("Held");
    heldMedia.registerFactory("Media");
    lookUp(server("held"), ignored, "Held");
    // Found by user id (no login): its first use took over the list's creation reference, so
    // the one reference left is the caller's, not the list's.
    IClient* held = nullptr;
    ASSERT_EQ(lookUpByUser("Held", 9, held), &heldMedia);
    ASSERT_EQ(getRefCount(held), 1);
    ASSERT_TRUE(clientIsCreated(held));
    lookUp(server("idle-3"), ignored);
    ASSERT_EQ(clientList()->countForTesting(), 5u);

    clientList()->removeIdleClientInstance(0);
    EXPECT_EQ(clientList()->countForTesting(), 5u) << "not idle yet";
    advanceClockForTesting(300001);
    clientList()->removeIdleClientInstance(0);
    EXPECT_EQ(clientList()->countForTesting(), 2u);
    EXPECT_TRUE(clientList()->containsForTesting(exempt));
    EXPECT_TRUE(clientList()->containsForTesting(held));
    EXPECT_EQ(log.orderText(), "logout,destroy,logout,destroy,logout,destroy,");

    CComponentHelper::release(exempt);
    CComponentHelper::release(held);
    clientList()->removeIdleClientInstance(0);
    EXPECT_EQ(clientList()->countForTesting(), 0u);
    EXPECT_EQ(log.destroyed.load(), 5);
}

TEST(ClientSweep, TheTimerSweepsIdleClientsByItself)
{
    ClientLog log;
    log.loginSucceeds = false;
    TestClientFactory clients("Device", log);
    clients.registerFactory("Client");
    IClient* client = nullptr;
    CComponentHelper::getComponentFactory("Media", ClassID("Device.Config"), server("h"), client);
    ASSERT_EQ(clientList()->countForTesting(), 1u);
    advanceClockForTesting(300001);
    EXPECT_TRUE(OrlixTest::waitFor([&] { return log.destroyed.load() == 1; }));
    EXPECT_EQ(clientList()->countForTesting(), 0u);
}

} // namespace
