// Clients: the record and its state operations, identity tests, status procedures, abort,
// the current user and TComPtr.
#include "component_testing.h"
#include "infra/time.h"
#include "support/testsupport.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace ComponentTesting;
using Orlix::uint64;
using Orlix::Infra::CTime;
using Orlix::Infra::Detail::monotonicMilliSecond;

// Clients with a record, as a factory leaves them (user id 42); released by the fixture.
class ClientTest : public ::testing::Test
{
protected:
    TestClient* makeClient(const char* classId = "Device", const ServerInfo& info = server("h"),
                           bool sweepExempt = false)
    {
        auto* client = new TestClient(log, 42);
        clientCreateInternal(client, ClassID(classId), info, sweepExempt);
        m_clients.push_back(client);
        return client;
    }
    void TearDown() override
    {
        for (IClient* client : m_clients)
            CComponentHelper::release(client);
    }

    ClientLog log;

private:
    std::vector<IClient*> m_clients;
};

TEST_F(ClientTest, StateMovesOnlyOnSuccessfulLoginsAndBrokenChecks)
{
    TestClient* client = makeClient();
    EXPECT_TRUE(clientIsCreated(client));
    log.loginSucceeds = false;
    EXPECT_FALSE(clientLogin(client));
    EXPECT_TRUE(clientIsCreated(client));
    log.loginSucceeds = true;
    EXPECT_TRUE(clientLogin(client));
    EXPECT_TRUE(clientIsLogined(client));
    CTime at;
    EXPECT_TRUE(client->getLoginTime(at));
    EXPECT_EQ(at.year, CTime::getCurrentTime().year);

    EXPECT_FALSE(clientUpdateBroken(client));
    EXPECT_TRUE(clientIsLogined(client));
    log.broken = true;
    EXPECT_TRUE(clientUpdateBroken(client));
    EXPECT_TRUE(clientIsBroken(client));
    log.loginSucceeds = false;
    EXPECT_FALSE(clientLogin(client));
    EXPECT_TRUE(clientIsBroken(client)) << "a failed login leaves the state as it was";
    log.loginSucceeds = true;
    EXPECT_TRUE(clientLogin(client));
    EXPECT_TRUE(clientIsLogined(client));
}

// Whether client was idle, with the age it was judged at: evaluated within one clock
// millisecond, so that the age is exact.
bool idleAt(IClient* client, uint64& age, uint64 since)
{
    for (;;) {
        const uint64 before = monotonicMilliSecond();
        const bool idle = clientIsIdle(client);
        if (monotonicMilliSecond() == before) {
            age = before - since;
            return idle;
        }
    }
}

TEST_F(ClientTest, IdleMeansCreatedNotExemptAndUntouchedForMoreThanFiveMinutes)
{
    TestClient* client = nullptr;
    uint64 created = 0;
    do { // made within one clock millisecond, so that its activity time is known
        created = monotonicMilliSecond();
        client = makeClient();
    } while (monotonicMilliSecond() != created);
    TestClient* loggedIn = makeClient();
    TestClient* exempt = makeClient("Device", server("h"), true);
    ASSERT_TRUE(clientLogin(loggedIn));

    uint64 age = 0;
    EXPECT_FALSE(idleAt(client, age, created));
    advanceClockForTesting(300000 - age);
    const bool idle = idleAt(client, age, created);
    EXPECT_EQ(idle, age > 300000) << "age " << age;
    advanceClockForTesting(1);
    EXPECT_TRUE(idleAt(client, age, created)) << "age " << age;

    advanceClockForTesting(24u * 3600 * 1000);
    EXPECT_FALSE(clientIsIdle(loggedIn));
    EXPECT_FALSE(clientIsIdle(exempt));
    log.loginSucceeds = false;
    clientLogin(client); // an attempt, even a failed one, is activity
    EXPECT_FALSE(clientIsIdle(client));
    advanceClockForTesting(300001);
    EXPECT_TRUE(clientIsIdle(client));
    EXPECT_FALSE(clientUpdateBroken(client)); // so is a check of a created client's connection
    EXPECT_TRUE(clientIsCreated(client));
    EXPECT_FALSE(clientIsIdle(client));
}

TEST_F(ClientTest, ServersMatchByClassPrefixAndEveryIdentifyingFieldUsersByExactClass)
{
    ServerInfo base = server("h", 1, "u");
    for (auto text :
         {&ServerInfo::text3, &ServerInfo::text4, &ServerInfo::text5, &ServerInfo::text6,
          &ServerInfo::text8, &ServerInfo::text9, &ServerInfo::text10})
        base.*text = "t";
    base.text2 = nullptr; // equals ""
    TestClient* client = makeClient("Device", base);
    const struct
    {
        const char* classId;
        bool sameServer, sameUser;
    } cases[] = {
        {"Device", true, true},    {"Device.Config", true, false},  {"Dev.Config", true, false},
        {"Dev", true, false},      {".Anything", true, false}, // an empty prefix
        {"Devices", false, false}, {"Camera.Config", false, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(clientIsSameAs(client, ClassID(c.classId), base), c.sameServer) << c.classId;
        EXPECT_EQ(clientIsSameAs(client, ClassID(c.classId), 42), c.sameUser) << c.classId;
    }
    EXPECT_FALSE(clientIsSameAs(client, ClassID("Device"), 41));

    int field = 0;
    auto differs = [&](auto member, auto value) {
        ServerInfo other = base;
        other.*member = value;
        return !clientIsSameAs(client, ClassID("Device"), other);
    };
    for (auto text :
         {&ServerInfo::text1, &ServerInfo::userName, &ServerInfo::text2, &ServerInfo::text3,
          &ServerInfo::text4, &ServerInfo::text5, &ServerInfo::text9, &ServerInfo::text10,
          &ServerInfo::text8, &ServerInfo::text6})
        EXPECT_TRUE(differs(text, "x")) << "text " << field++;
    for (auto number : {&ServerInfo::number1, &ServerInfo::number2, &ServerInfo::number3})
        EXPECT_TRUE(differs(number, 12345)) << "number " << field++;
    for (auto flag : {&ServerInfo::flag1, &ServerInfo::flag2, &ServerInfo::flag3})
        EXPECT_TRUE(differs(flag, 9)) << "flag " << field++;
    ServerInfo ignored = base;
    ignored.text2 = "";
    ignored.text7 = "seven";
    ignored.number4 = 4444;
    ignored.text11 = "eleven";
    ignored.reserved[0] = 0xff;
    EXPECT_TRUE(clientIsSameAs(client, ClassID("Device"), ignored));

    // The address counts as text like the others: a null one is the empty one, both ways,
    // and the same address with another number is another server.
    TestClient* noAddress = makeClient("Device", server(nullptr, 7));
    EXPECT_TRUE(clientIsSameAs(noAddress, ClassID("Device"), server("", 7)));
    EXPECT_TRUE(clientIsSameAs(noAddress, ClassID("Device"), server(nullptr, 7)));
    EXPECT_FALSE(clientIsSameAs(noAddress, ClassID("Device"), server("", 8)));
    TestClient* emptyAddress = makeClient("Device", server("", 7));
    EXPECT_TRUE(clientIsSameAs(emptyAddress, ClassID("Device"), server(nullptr, 7)));
}

TEST_F(ClientTest, TheRecordKeepsItsOwnServerInfoAndSavesTheUserNameOnce)
{
    std::string host = "host-1";
    ServerInfo info = server(host.c_str(), 77, nullptr);
    info.text5 = nullptr;
    info.flag2 = 5;
    info.number4 = 123;
    TestClient* client = makeClient("Device", info);
    host = "changed";

    OrlixTest::PrintCapture capture;
    ServerInfo out;
    EXPECT_TRUE(client->getServerInfo(out));
    EXPECT_STREQ(out.text1, "host-1");
    EXPECT_EQ(out.number1, 77);
    EXPECT_STREQ(out.text5, "") << "null texts come back empty";
    EXPECT_EQ(out.flag2, 5);
    EXPECT_EQ(out.number4, 123);
    EXPECT_TRUE(capture.contains("userName of client is a null string!\n"));
    EXPECT_TRUE(capture.contains("src/component/client.cpp:")) << capture.text();

    capture.clear();
    EXPECT_TRUE(client->saveUserName("bob"));
    EXPECT_EQ(capture.text(), "");
    EXPECT_TRUE(client->saveUserName("carol"));
    EXPECT_TRUE(capture.contains("username of client has already saved.\n"));
    client->getServerInfo(out);
    EXPECT_STREQ(out.userName, "bob");
}

TEST_F(ClientTest, OptionalOperationsAreNotImplementedByDefault)
{
    TestClient* client = makeClient();
    ServerChallenge challenge;
    CTime time;
    const std::function<bool()> calls[] = {
        [&] { return client->checkAuthorityString("x"); },
        [&] { return client->setCurrentTime(time, 0); },
        [&] { return client->getChallenge(challenge); },
        [&] { return client->getCurrentTime(time); },
        [&] { return client->loginFirst(); },
        [&] { return client->loginAgain(ServerInfo()); },
    };
    for (const auto& call : calls) {
        setLastError(0);
        EXPECT_FALSE(call());
        EXPECT_EQ(getLastError(), 0x10030010);
    }
}

struct Recorder
{
    std::string name;
    std::vector<std::string>* calls;
    void run(void* data, ClassID id, TComPtr<IClient> client, IClient::Status status, int reason)
    {
        calls->push_back(name + " " + static_cast<const char*>(data) + " " + id.name + " " +
                         std::to_string(status) + " " + std::to_string(reason) + " refs " +
                         std::to_string(getRefCount(client.get())));
    }
};

TEST_F(ClientTest, StatusProceduresTakeEightSlotsAndAbortCallsThemInSlotOrder)
{
    using Proc = IClient::Proc;
    TestClient* client = makeClient("Device.Config");
    char data[] = "data";
    client->setCustomData(data);
    std::vector<std::string> calls;
    std::vector<Recorder> r(9, Recorder{"", &calls});
    r[0].name = "a", r[1].name = "b", r[2].name = "c";
    auto proc = [&](int i, unsigned tag = 1) { return Proc(&Recorder::run, &r[i], tag); };
    EXPECT_FALSE(client->attachStatusProc(Proc()));
    EXPECT_FALSE(client->attachStatusProc(proc(0, 0xFFFFFFFFu))) << "a wildcard";
    ASSERT_TRUE(client->attachStatusProc(proc(0)));
    ASSERT_TRUE(client->attachStatusProc(proc(1)));
    ASSERT_TRUE(client->detachStatusProc(proc(0)));
    ASSERT_TRUE(client->attachStatusProc(proc(2))); // takes slot 0 again

    const int refsBefore = getRefCount(client);
    EXPECT_TRUE(client->abort(7));
    EXPECT_EQ(getRefCount(client), refsBefore);
    // During the call the procedure's TComPtr copy and abort's own hold add two references.
    const std::string tail = " data Device.Config 2 7 refs " + std::to_string(refsBefore + 2);
    EXPECT_EQ(calls, std::vector<std::string>({"c" + tail, "b" + tail}));
    EXPECT_EQ(log.orderText(), "logout,");

    for (int i : {3, 4, 6})
        EXPECT_TRUE(client->attachStatusProc(proc(i))) << i;
    for (unsigned tag : {17u, 18u, 19u}) // tagged bindings of r[6] besides the plain one
        EXPECT_TRUE(client->attachStatusProc(proc(6, tag))) << tag;
    EXPECT_FALSE(client->attachStatusProc(proc(1))) << "a duplicate";
    EXPECT_FALSE(client->attachStatusProc(proc(7))) << "a ninth";
    EXPECT_FALSE(client->detachStatusProc(proc(7)));
    EXPECT_FALSE(client->detachStatusProc(Proc()));
    EXPECT_TRUE(client->detachStatusProc(proc(6, 0xFFFFFFFFu))) << "every tagged binding";
    for (int i : {0, 7, 8})
        EXPECT_TRUE(client->attachStatusProc(proc(i))) << i;
    for (int i : {1, 2, 3, 4, 6, 0, 7, 8}) // the last one leaves none attached: still a success
        EXPECT_TRUE(client->detachStatusProc(proc(i))) << i;
    EXPECT_FALSE(client->detachStatusProc(proc(1)));
}

// A lambda is a status procedure as it stands, detached through a copy of the delegate that
// was attached; the record's accessors read through a const client.
TEST_F(ClientTest, ALambdaIsAStatusProcedureAndAccessorsTakeAConstClient)
{
    TestClient* client = makeClient("Device");
    std::vector<int> reasons;
    const IClient::Proc proc = [&reasons](void*, ClassID, TComPtr<IClient>, IClient::Status,
                                          int reason) { reasons.push_back(reason); };
    EXPECT_TRUE(client->attachStatusProc(proc));
    EXPECT_FALSE(client->attachStatusProc(proc)) << "a copy is a duplicate";
    EXPECT_TRUE(client->abort(5));
    EXPECT_EQ(reasons, std::vector<int>{5});
    EXPECT_TRUE(client->detachStatusProc(proc));
    EXPECT_FALSE(client->detachStatusProc(proc));

    char data[] = "d";
    client->setCustomData(data);
    const IClient& view = *client;
    EXPECT_EQ(view.getCustomData(), data);
    OrlixTest::PrintCapture capture; // the record has no user name yet: a warning
    ServerInfo info;
    EXPECT_TRUE(view.getServerInfo(info));
    EXPECT_STREQ(info.text1, "h");
    CTime loginTime;
    EXPECT_TRUE(view.getLoginTime(loginTime));
}

TEST_F(ClientTest, CurrentUserIsPerThread)
{
    EXPECT_EQ(IClient::getCurrentUserID(), 0);
    EXPECT_FALSE(CComponentHelper::setAsCurrentUser(nullptr));
    EXPECT_TRUE(CComponentHelper::setAsCurrentUser(makeClient()));
    EXPECT_EQ(IClient::getCurrentUserID(), 42);
    int elsewhere = -1;
    std::thread([&] { elsewhere = IClient::getCurrentUserID(); }).join();
    EXPECT_EQ(elsewhere, 0);
}

TEST(ComPtr, CopiesCountAndTheLastHolderReleasesClientsThroughTheList)
{
    std::atomic<int> destroyed{0};
    auto* object = new Counted(&destroyed);
    auto* companion = new Counted(&destroyed);
    {
        TComPtr<Counted> held(object, companion); // adopts the creation references
        TComPtr<Counted> copy = held;
        EXPECT_EQ(getRefCount(object), 2);
        EXPECT_EQ(getRefCount(companion), 2);
        TComPtr<Counted> moved = std::move(copy);
        EXPECT_EQ(getRefCount(object), 2) << "moving takes over the reference";
        EXPECT_FALSE(copy);
        moved.reset();
        EXPECT_EQ(getRefCount(object), 1);
        EXPECT_EQ(held.get(), object);
    }
    EXPECT_EQ(destroyed.load(), 2);

    ClientLog log;
    auto* client = new TestClient(log, 1);
    clientCreateInternal(client, ClassID("Device"), server("h"), false);
    TComPtr<IClient>{client};
    EXPECT_EQ(log.orderText(), "logout,destroy,");
}

} // namespace
