// Clients: the record and its state operations, identity tests, status procedures, abort and
// the current user.
#include "component/oldunknown.h"
#include "component/statusproclist.h"
#include "component_testing.h"
#include "infra/error.h"
#include "infra/time.h"
#include "infra3/clock.h"
#include "support/testsupport.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace ComponentTesting;
using Orlix::uint64;
using Orlix::Component::clientCreateInternal;
using Orlix::Component::clientIsBroken;
using Orlix::Component::clientIsCreated;
using Orlix::Component::clientIsIdle;
using Orlix::Component::clientIsLogined;
using Orlix::Component::clientIsSameAs;
using Orlix::Component::clientLogin;
using Orlix::Component::clientUpdateBroken;
using Orlix::Component::getRefCount;
using Orlix::Component::ServerChallenge;
using Orlix::Component::TComPtr;
using Orlix::Component::Detail::CComponentHelper;
using Orlix::Infra::CTime;
using Orlix::Infra::getLastError;
using Orlix::Infra::setLastError;
using Orlix::Infra::Detail::advanceClockForTesting;
using Orlix::Infra::Detail::monotonicMilliSecond;

// A client with a record, as a factory would leave it; released (and so disposed of) by the
// fixture.
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

// ---- State ----

TEST_F(ClientTest, StateMovesOnlyOnSuccessfulLoginsAndBrokenChecks)
{
    TestClient* client = makeClient();
    EXPECT_TRUE(clientIsCreated(client));
    CTime at;
    client->getLoginTime(at);
    EXPECT_EQ(at.year, 0) << "no login time before the first login";

    log.loginSucceeds = false;
    EXPECT_FALSE(clientLogin(client));
    EXPECT_TRUE(clientIsCreated(client));
    log.loginSucceeds = true;
    const CTime now = CTime::getCurrentTime();
    EXPECT_TRUE(clientLogin(client));
    EXPECT_TRUE(clientIsLogined(client));
    EXPECT_TRUE(client->getLoginTime(at));
    EXPECT_EQ(at.year, now.year);
    EXPECT_EQ(at.day, now.day);

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
    EXPECT_EQ(log.logins.load(), 4);
}

// The idle test reads the clock itself; evaluate it within one millisecond of the clock so
// that the age it saw is known exactly.
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
    do { // create within one clock millisecond, so that its activity time is known
        created = monotonicMilliSecond();
        client = makeClient();
    } while (monotonicMilliSecond() != created);
    TestClient* loggedIn = makeClient();
    TestClient* exempt = makeClient("Device", server("h"), true);
    ASSERT_TRUE(clientLogin(loggedIn));

    uint64 age = 0;
    EXPECT_FALSE(idleAt(client, age, created));
    advanceClockForTesting(300000 - age);
    bool idle = idleAt(client, age, created);
    EXPECT_EQ(idle, age > 300000) << "age " << age;
    advanceClockForTesting(1);
    EXPECT_TRUE(idleAt(client, age, created)) << "age " << age;

    advanceClockForTesting(24u * 3600 * 1000);
    EXPECT_FALSE(clientIsIdle(loggedIn));
    EXPECT_FALSE(clientIsIdle(exempt));
    // A login attempt, even a failed one, counts as activity.
    log.loginSucceeds = false;
    clientLogin(client);
    EXPECT_FALSE(clientIsIdle(client));
}

// ---- Identity ----

TEST_F(ClientTest, ClassIdsMatchByPrefixForServersAndExactlyForUsers)
{
    const ServerInfo info = server("h");
    TestClient* client = makeClient("Device", info);
    const struct
    {
        const char* classId;
        bool sameServer;
        bool sameUser;
    } cases[] = {
        {"Device", true, true},
        {"Device.Config", true, false},
        {"Dev.Config", true, false}, // prefix Dev
        {"Devices", false, false},   // seven characters needed, six present
        {"Camera.Config", false, false},
        {".Anything", true, false}, // an empty prefix
        {"Dev", true, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(clientIsSameAs(client, ClassID(c.classId), info), c.sameServer) << c.classId;
        EXPECT_EQ(clientIsSameAs(client, ClassID(c.classId), 42), c.sameUser) << c.classId;
    }
    EXPECT_FALSE(clientIsSameAs(client, ClassID("Device"), 41));
}

TEST_F(ClientTest, EveryIdentifyingServerFieldCounts)
{
    ServerInfo base = server("h", 1, "u");
    for (auto text :
         {&ServerInfo::text3, &ServerInfo::text4, &ServerInfo::text5, &ServerInfo::text6,
          &ServerInfo::text8, &ServerInfo::text9, &ServerInfo::text10})
        base.*text = "t";
    base.text2 = nullptr; // equals ""
    TestClient* client = makeClient("Device", base);

    int field = 0;
    for (auto text :
         {&ServerInfo::text1, &ServerInfo::userName, &ServerInfo::text2, &ServerInfo::text3,
          &ServerInfo::text4, &ServerInfo::text5, &ServerInfo::text9, &ServerInfo::text10,
          &ServerInfo::text8, &ServerInfo::text6}) {
        ServerInfo other = base;
        other.*text = "x";
        EXPECT_FALSE(clientIsSameAs(client, ClassID("Device"), other)) << "text " << field++;
    }
    for (auto number : {&ServerInfo::number1, &ServerInfo::number2, &ServerInfo::number3}) {
        ServerInfo other = base;
        other.*number += 1;
        EXPECT_FALSE(clientIsSameAs(client, ClassID("Device"), other)) << "number " << field++;
    }
    for (auto flag : {&ServerInfo::flag1, &ServerInfo::flag2, &ServerInfo::flag3}) {
        ServerInfo other = base;
        other.*flag ^= 1;
        EXPECT_FALSE(clientIsSameAs(client, ClassID("Device"), other)) << "flag " << field++;
    }

    ServerInfo ignored = base;
    ignored.text2 = "";
    ignored.text7 = "seven";
    ignored.number4 = 4444;
    ignored.text11 = "eleven";
    ignored.reserved[0] = 0xff;
    EXPECT_TRUE(clientIsSameAs(client, ClassID("Device"), ignored));
}

// ---- Record accessors ----

TEST_F(ClientTest, ServerInfoComesBackFromTheClientsOwnCopy)
{
    std::string host = "host-1";
    ServerInfo info = server(host.c_str(), 77, nullptr);
    info.text5 = nullptr;
    info.flag2 = 5;
    info.number4 = 123;
    TestClient* client = makeClient("Device", info);
    host = "changed"; // the client kept its own copy

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

    // The user name is saved once; later attempts warn and change nothing.
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
    const std::vector<std::function<bool()>> calls = {
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
    static_assert(sizeof(challenge.field5) == sizeof(void*), "one pointer per text");
}

// ---- Status procedures ----

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

using Proc = IClient::Proc;

TEST_F(ClientTest, AbortTellsProceduresInSlotOrderThenLogsOut)
{
    TestClient* client = makeClient("Device.Config");
    char data[] = "data";
    client->setCustomData(data);
    std::vector<std::string> calls;
    Recorder a{"a", &calls}, b{"b", &calls}, c{"c", &calls};
    ASSERT_TRUE(client->attachStatusProc(Proc(&Recorder::run, &a)));
    ASSERT_TRUE(client->attachStatusProc(Proc(&Recorder::run, &b)));
    ASSERT_TRUE(client->detachStatusProc(Proc(&Recorder::run, &a)));
    ASSERT_TRUE(client->attachStatusProc(Proc(&Recorder::run, &c))); // takes slot 0 again

    const int refsBefore = getRefCount(client);
    EXPECT_TRUE(client->abort(7));
    EXPECT_EQ(getRefCount(client), refsBefore);
    // During the call the procedure's TComPtr copy and abort's own hold add two references.
    const std::string tail = " data Device.Config 2 7 refs " + std::to_string(refsBefore + 2);
    EXPECT_EQ(calls, std::vector<std::string>({"c" + tail, "b" + tail}));
    EXPECT_EQ(log.orderText(), "logout,");
}

TEST_F(ClientTest, AttachRefusesDuplicatesAndANinthProcedureDetachEmptiesTheList)
{
    TestClient* client = makeClient();
    std::vector<std::string> calls;
    std::vector<Recorder> recorders(9, Recorder{"", &calls});
    for (int i = 0; i < 8; ++i)
        EXPECT_TRUE(client->attachStatusProc(Proc(&Recorder::run, &recorders[i]))) << i;
    EXPECT_FALSE(client->attachStatusProc(Proc(&Recorder::run, &recorders[0])));
    EXPECT_FALSE(client->attachStatusProc(Proc(&Recorder::run, &recorders[8])));
    EXPECT_FALSE(client->detachStatusProc(Proc(&Recorder::run, &recorders[8])));
    for (int i = 0; i < 8; ++i) // the last one leaves none attached: still a success
        EXPECT_TRUE(client->detachStatusProc(Proc(&Recorder::run, &recorders[i]))) << i;
    EXPECT_FALSE(client->detachStatusProc(Proc(&Recorder::run, &recorders[0])));
}

using Delegate = Orlix::Infra::TFunction1<void, int>;
using ProcList = Orlix::Component::Detail::TStatusProcList<Delegate>;

struct Target
{
    int hits = 0;
    void hit(int n) { hits += n; }
};

void freeProc(int) {}

TEST(StatusProcList, ResultCodes)
{
    ProcList list(2);
    Target t1, t2, t3;
    EXPECT_EQ(list.attach(Delegate()), ProcList::emptyDelegate);
    EXPECT_EQ(list.attach(Delegate(&Target::hit, &t1, 0xFFFFFFFFu)), ProcList::wildcardDelegate);
    EXPECT_EQ(list.attach(Delegate(&Target::hit, &t1)), 1);
    EXPECT_EQ(list.attach(Delegate(&Target::hit, &t1)), ProcList::duplicate);
    EXPECT_EQ(list.attach(Delegate(&freeProc)), 2);
    EXPECT_EQ(list.attach(Delegate(&Target::hit, &t2)), ProcList::full);
    EXPECT_EQ(list.detach(Delegate()), ProcList::emptyDelegate);
    EXPECT_EQ(list.detach(Delegate(&Target::hit, &t3)), ProcList::notAttached);
    EXPECT_EQ(list.detach(Delegate(&freeProc)), 1);
    EXPECT_EQ(list.detach(Delegate(&freeProc)), ProcList::notAttached);
}

TEST(StatusProcList, AWildcardDetachesEveryTaggedBindingOfTheSameTarget)
{
    ProcList list(8);
    Target t, other;
    list.attach(Delegate(&Target::hit, &t, 17));
    list.attach(Delegate(&Target::hit, &other, 17));
    list.attach(Delegate(&Target::hit, &t, 20));
    list.attach(Delegate(&Target::hit, &t)); // untagged: not matched by the wildcard
    EXPECT_EQ(list.detach(Delegate(&Target::hit, &t, 0xFFFFFFFFu)), 2);
    list.emit(1);
    EXPECT_EQ(t.hits, 1);
    EXPECT_EQ(other.hits, 1);
}

struct SelfDetacher
{
    ProcList* list = nullptr;
    int calls = 0;
    void run(int)
    {
        ++calls;
        // The list's lock is not held during the call: changing the list here must work,
        // also asking to wait for idle slots (the emitting thread never waits for itself).
        list->detach(Delegate(&SelfDetacher::run, this), true);
        list->attach(Delegate(&freeProc));
    }
};

TEST(StatusProcList, AProcedureMayChangeTheListWhileItRuns)
{
    ProcList list(8);
    SelfDetacher self;
    self.list = &list;
    list.attach(Delegate(&SelfDetacher::run, &self));
    list.emit(0);
    EXPECT_EQ(self.calls, 1);
    EXPECT_EQ(list.count(), 1);
    list.emit(0);
    EXPECT_EQ(self.calls, 1);
}

// ---- Current user ----

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

// ---- TComPtr ----

TEST(ComPtr, CopiesCountAndTheLastHolderReleasesClientsThroughTheList)
{
    std::atomic<int> destroyed{0};
    auto* object = new Counted(&destroyed);
    auto* companion = new Counted(&destroyed);
    {
        TComPtr<Counted> held(object, companion); // adopts the creation references
        EXPECT_EQ(getRefCount(object), 1);
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
    {
        TComPtr<IClient> holder(client);
    }
    EXPECT_EQ(log.orderText(), "logout,destroy,");
}

// ---- Preconditions ----

TEST(ClientDeathTest, OperationsNeedTheRecord)
{
    ClientLog log;
    TestClient bare(log, 1);
    EXPECT_DEATH(clientIsCreated(&bare),
                 "assertion \\(client != NULL && client->m_internal != NULL\\)");
    EXPECT_DEATH(clientIsCreated(nullptr),
                 "assertion \\(client != NULL && client->m_internal != NULL\\)");
    EXPECT_DEATH(bare.abort(1), "assertion \\(m_internal\\) failed");
    clientCreateInternal(&bare, ClassID("Device"), server("h"), false);
    EXPECT_DEATH(clientCreateInternal(&bare, ClassID("Device"), server("h"), false),
                 "assertion \\(client != NULL && client->m_internal == NULL\\)");
}

} // namespace
