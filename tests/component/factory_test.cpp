// Factories: registration, the factory lookup with its shared clients, the client factory
// wrapper, the idle sweep, ClassIDList and the error texts.
#include "component/clientinstancelist.h"
#include "component/oldunknown.h"
#include "component_testing.h"
#include "infra/error.h"
#include "infra/print.h"
#include "infra3/clock.h"
#include "support/testsupport.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace ComponentTesting;
using Orlix::Component::CClientInstanceList;
using Orlix::Component::ClassIDList;
using Orlix::Component::clientIsBroken;
using Orlix::Component::clientIsCreated;
using Orlix::Component::clientIsLogined;
using Orlix::Component::getRefCount;
using Orlix::Component::IClientFactoryWrap;
using Orlix::Component::Detail::CComponentHelper;
using Orlix::Infra::getErrMsg;
using Orlix::Infra::getLastError;
using Orlix::Infra::setLastError;
using Orlix::Infra::Detail::advanceClockForTesting;

CClientInstanceList* clientList()
{
    return CClientInstanceList::instance();
}

IFactoryUnknown* lookUpByUser(const char* classId, int userId, IClient*& client)
{
    return CComponentHelper::getComponentFactory("Media", ClassID(classId), userId, client);
}

// A client factory under "Client"/"Device" and a service factory under "Media"/"Device.Config".
class FactoryTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        clientFactory.registerFactory("Client");
        media.registerFactory("Media");
    }

    IFactoryUnknown* lookUp(const ServerInfo& info, IClient*& client,
                            const char* classId = "Device.Config", const char* iid = "Media")
    {
        return CComponentHelper::getComponentFactory(iid, ClassID(classId), info, client);
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

// ---- Registration, ClassIDList, error texts ----

TEST(FactoryRegistry, FirstRegistrationRegistersTheErrorTexts)
{
    EXPECT_STREQ(getErrMsg(0x10030000), "");
    ServiceFactory factory("A");
    factory.unregisterFactory("X"); // unregistering does not register them
    EXPECT_STREQ(getErrMsg(0x10030000), "");
    factory.registerFactory("X");
    EXPECT_STREQ(getErrMsg(0x10030000), "Component error: interface not found!");
    EXPECT_STREQ(getErrMsg(0x10030005), "Component error: tring login!");
    EXPECT_STREQ(getErrMsg(0x10030015), "Component error: User or password not valid!");
    EXPECT_STREQ(getErrMsg(0x10030010), "") << "the not-implemented code has no text";
}

TEST(FactoryRegistry, LookupsByInterfaceAndWholeClassId)
{
    ServiceFactory first("A"), second("A");
    EXPECT_TRUE(first.registerFactory("Svc"));
    EXPECT_TRUE(second.registerFactory("Svc"));
    IClient* client = nullptr;
    const struct
    {
        const char* iid;
        const char* classId;
        IFactoryUnknown* result;
        int error;
    } cases[] = {
        {"Svc", "A", &second, 0}, // registering again keeps the last factory
        {"Nope", "A", nullptr, 0x10030000},
        {"Svc", "B", nullptr, 0x10030001},
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
}

TEST(FactoryRegistry, UnregisteredFactoriesStayListedButAreNotFound)
{
    ServiceFactory b("B"), a("A"), c("C");
    b.registerFactory("Svc");
    a.registerFactory("Svc");
    c.registerFactory("Svc");
    c.unregisterFactory("Svc");
    ServiceFactory never("Z");
    never.unregisterFactory("Svc"); // creates the entry

    ClassIDList ids("Svc");
    ASSERT_EQ(ids.count(), 4u);
    EXPECT_EQ(ids[0] + ids[1] + ids[2] + ids[3], "ABCZ");
    EXPECT_EQ(ClassIDList("Other").count(), 0u);

    setLastError(0);
    IClient* client = nullptr;
    EXPECT_EQ(CComponentHelper::getComponentFactory("Svc", ClassID("C"), ServerInfo::none, client),
              nullptr);
    EXPECT_EQ(getLastError(), 0);
}

TEST(FactoryRegistryDeathTest, IndexesAndNullClientsAreChecked)
{
    ServiceFactory a("A");
    a.registerFactory("Svc");
    ClassIDList ids("Svc");
    EXPECT_DEATH(ids[1], "assertion \\(\\(size_t\\)index < m_internal->ids.size\\(\\)\\)");
    EXPECT_DEATH(ids[-1], "assertion \\(\\(size_t\\)index < m_internal->ids.size\\(\\)\\)");
    EXPECT_DEATH(Orlix::Component::ClientFactory::releaseClientObject(nullptr),
                 "assertion \\(client != NULL\\) failed");
}

// ---- The client factory wrapper ----

TEST_F(FactoryTest, ClientInterfaceReturnsOneWrapperPerFactory)
{
    IClient::IFactory* wrapper = clientWrapper();
    ASSERT_NE(wrapper, nullptr);
    EXPECT_NE(static_cast<IFactoryUnknown*>(wrapper), &clientFactory);
    EXPECT_NE(dynamic_cast<IClientFactoryWrap*>(wrapper), nullptr);
    EXPECT_STREQ(wrapper->getClassID(), "Device");
    TestClient stale(log, 0);
    IClient* client = &stale; // overwritten by the lookup
    EXPECT_EQ(lookUp(server("h"), client, "Device", "Client"), wrapper)
        << "the same wrapper for every call, whatever the server";
    EXPECT_EQ(client, nullptr);
    EXPECT_EQ(clientList()->countForTesting(), 0u) << "no client is looked up for \"Client\"";

    clientFactory.makesClients = false;
    EXPECT_EQ(wrapper->create(server("h")), nullptr);
    EXPECT_EQ(clientList()->countForTesting(), 0u);

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
    ServiceFactory deviceMedia("Device");
    deviceMedia.registerFactory("Media");
    IClient* byUser = nullptr;
    ASSERT_EQ(lookUpByUser("Device", 7, byUser), &deviceMedia);
    EXPECT_EQ(getRefCount(first), 4);
    for (IClient* holder : {looked, byUser, first})
        EXPECT_GT(CComponentHelper::release(holder), 0);
    EXPECT_EQ(CComponentHelper::release(second), 0);
    EXPECT_EQ(log.orderText(), "logout,destroy,logout,destroy,");
    EXPECT_EQ(clientList()->countForTesting(), 0u);
}

TEST_F(FactoryTest, LocalClassAlwaysCreates)
{
    TestClientFactory local("Local", log);
    local.registerFactory("Client");
    IClient::IFactory* wrapper = clientWrapper("Local");
    IClient* a = wrapper->create(server("h"));
    IClient* b = wrapper->create(server("h"));
    EXPECT_NE(a, b);
    EXPECT_EQ(getRefCount(a), 1);
    EXPECT_EQ(clientList()->countForTesting(), 2u);
    CComponentHelper::release(a);
    CComponentHelper::release(b);
    EXPECT_EQ(log.destroyed.load(), 2);
}

// ---- Lookups with a server ----

TEST_F(FactoryTest, LookupsShareOneLoggedInClient)
{
    IClient* first = nullptr;
    IClient* second = nullptr;
    EXPECT_EQ(lookUp(server("h"), first), &media);
    ASSERT_NE(first, nullptr);
    EXPECT_TRUE(clientIsLogined(first));
    EXPECT_EQ(getRefCount(first), 1) << "the list's creation reference went at the first use";

    ServerInfo sameServer = server("h");
    sameServer.text7 = "not identifying";
    sameServer.number4 = 99;
    EXPECT_EQ(lookUp(sameServer, second, "Device.Other", "Media"), nullptr)
        << "no Media factory for Device.Other";
    EXPECT_EQ(getRefCount(first), 1) << "the failed lookup gave its reference back";
    EXPECT_EQ(lookUp(sameServer, second), &media);
    EXPECT_EQ(second, first);
    EXPECT_EQ(getRefCount(first), 2);
    EXPECT_EQ(log.created.load(), 1);
    EXPECT_EQ(IClient::getCurrentUserID(), 7);

    CComponentHelper::release(first);
    EXPECT_TRUE(clientList()->containsForTesting(first));
    CComponentHelper::release(second);
    EXPECT_EQ(clientList()->countForTesting(), 0u);
    EXPECT_EQ(log.orderText(), "logout,destroy,");
}

TEST_F(FactoryTest, LookupByUserHandsOutListedClientsWithoutLogin)
{
    IClient* byServer = nullptr;
    ASSERT_EQ(lookUp(server("h"), byServer), &media);
    const int logins = log.logins.load();

    IClient* byUser = nullptr;
    EXPECT_EQ(lookUpByUser("Device", 7, byUser), nullptr);
    EXPECT_EQ(byUser, nullptr) << "found (exact class), but Media has no class Device";
    EXPECT_EQ(getRefCount(byServer), 1) << "the found client was given back";
    EXPECT_EQ(lookUpByUser("Device.Config", 7, byUser), nullptr)
        << "the user lookup needs the client's exact class";

    ServiceFactory deviceMedia("Device");
    deviceMedia.registerFactory("Media");
    EXPECT_EQ(lookUpByUser("Device", 7, byUser), &deviceMedia);
    EXPECT_EQ(byUser, byServer);
    EXPECT_EQ(getRefCount(byServer), 2);
    EXPECT_EQ(log.logins.load(), logins);

    OrlixTest::PrintCapture capture;
    setLastError(0);
    EXPECT_EQ(lookUpByUser("Device", 8, byUser), nullptr);
    EXPECT_EQ(byUser, nullptr);
    EXPECT_EQ(getLastError(), 0);
    EXPECT_EQ(capture.text(), "");

    EXPECT_EQ(lookUpByUser("Device", -1, byUser), &deviceMedia);
    EXPECT_EQ(byUser, nullptr);
    CComponentHelper::release(byServer);
    CComponentHelper::release(byServer);
}

TEST_F(FactoryTest, NoServerMeansNoClient)
{
    IClient* client = nullptr;
    EXPECT_EQ(lookUp(ServerInfo::none, client), &media);
    EXPECT_EQ(client, nullptr);
    // A record equal to ServerInfo::none is a server all the same.
    ServerInfo zero;
    EXPECT_EQ(lookUp(zero, client), &media);
    EXPECT_NE(client, nullptr);
    CComponentHelper::release(client);
}

TEST_F(FactoryTest, MissingClientFactoryOrClient)
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
    EXPECT_EQ(client, nullptr);
}

TEST_F(FactoryTest, UnregisteredInterfaceReleasesTheFoundClient)
{
    IClient* client = nullptr;
    EXPECT_EQ(lookUp(server("h"), client, "Device.Config", "Printer"), nullptr);
    EXPECT_EQ(getLastError(), 0x10030000);
    EXPECT_EQ(client, nullptr);
    // Made and logged in, then given back: only the list's creation reference is left.
    ASSERT_EQ(clientList()->countForTesting(), 1u);
    IClient* listed = clientFactory.instance(7);
    ASSERT_NE(listed, nullptr);
    EXPECT_EQ(getRefCount(listed), 1);
    // The next lookup is its first use.
    EXPECT_EQ(lookUp(server("h"), client), &media);
    EXPECT_EQ(client, listed);
    EXPECT_EQ(getRefCount(listed), 1);
    CComponentHelper::release(client);
    EXPECT_EQ(log.destroyed.load(), 1);
}

// ---- Login failures, broken connections and the idle sweep ----

class LoginTest : public FactoryTest
{
protected:
    void SetUp() override
    {
        FactoryTest::SetUp();
        Orlix::Infra::setPrintLogLevel(6); // the failure lines are debug lines
        clientList()->stopSweepForTesting();
    }
};

TEST_F(LoginTest, AFailedFirstLoginKeepsTheClientListedForALaterLogin)
{
    OrlixTest::PrintCapture capture;
    log.loginSucceeds = false;
    IClient* client = nullptr;
    EXPECT_EQ(lookUp(server("h"), client), nullptr);
    EXPECT_EQ(client, nullptr);
    EXPECT_TRUE(capture.contains("iid=Media could not been generated because log failed.\n"));
    EXPECT_TRUE(capture.contains("src/component/componentfactory.cpp:"));
    EXPECT_TRUE(capture.contains("tid:"));
    ASSERT_EQ(clientList()->countForTesting(), 1u);
    IClient* listed = clientFactory.instance(7);
    EXPECT_TRUE(clientIsCreated(listed));
    EXPECT_EQ(getRefCount(listed), 1);

    // Found again while still failing: the other "log failed" line.
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

TEST_F(LoginTest, BrokenClientsAreLoggedInAgain)
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

    // The wrapper never hands out a broken client: it makes another one, without the log
    // line about a client already listed.
    IClient* fresh = clientWrapper()->create(server("h"));
    EXPECT_NE(fresh, first);
    EXPECT_FALSE(capture.contains("has been in CClientInstanceList already"));
    CComponentHelper::release(fresh);

    // A broken client found later is logged in straight away.
    log.broken = false;
    log.loginSucceeds = true;
    EXPECT_EQ(lookUp(server("h"), third), &media);
    EXPECT_EQ(third, first);
    EXPECT_TRUE(clientIsLogined(first));
    for (IClient* c : {first, second, third})
        CComponentHelper::release(c);
    EXPECT_EQ(log.destroyed.load(), 2);
}

TEST_F(LoginTest, OnePassRemovesIdleNeighboursAndLeavesExemptAndHeldClients)
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

TEST_F(FactoryTest, TheTimerSweepsIdleClientsByItself)
{
    log.loginSucceeds = false;
    IClient* client = nullptr;
    lookUp(server("h"), client);
    ASSERT_EQ(clientList()->countForTesting(), 1u);
    advanceClockForTesting(300001);
    EXPECT_TRUE(OrlixTest::waitFor([&] { return log.destroyed.load() == 1; }));
    EXPECT_EQ(clientList()->countForTesting(), 0u);
}

} // namespace
