// IClient: the client record, its state operations, status procedures, abort and the
// current user per thread.
#include "infra/client.h"

#include "component/clientinstancelist.h"
#include "component/oldunknown.h"
#include "component/serverquery.h"
#include "component/statusproclist.h"
#include "infra/error.h"
#include "infra/mutex.h"
#include "infra/print.h"
#include "infra/time.h"
#include "infra3/clock.h"
#include "infra3/diag.h"

#include <atomic>
#include <cstring>
#include <string>
#include <string_view>

namespace Orlix {
namespace Component {

namespace {

// Five minutes: a client that never got logged in is swept once idle for longer.
constexpr uint64 idleLimitMs = 300000;
constexpr int statusProcCapacity = 8;

enum ClientState : int
{
    stateCreated = 0,
    stateLoggedIn = 1,
    stateBroken = 2
};

// The current user of each thread. A C++ thread_local gives each thread its own value (0 until
// set) with no allocation and no dependence on static-initialisation order.
thread_local int t_currentUser = 0;

const char* textOf(const char* text)
{
    return text != nullptr ? text : "";
}

uint64 nowMs()
{
    return Infra::Detail::monotonicMilliSecond();
}

} // namespace

struct IClient::ClientInternal
{
    std::string classId;
    std::string text1;
    std::int32_t number1 = 0;
    std::size_t serverKey = 0; // Detail::serverKeyOf(text1, number1), set with them
    std::string userName;      // guarded by mutex
    std::string text2, text3, text6, text7, text8;
    std::uint8_t flag1 = 0, flag2 = 0;
    std::int32_t number2 = 0;
    std::string text4, text5;
    std::uint8_t flag3 = 0;
    std::int32_t number3 = 0, number4 = 0;
    std::string text9, text10, text11;

    bool userNameSaved = false; // guarded by mutex
    // State and activity time are read by the idle sweep under the client list's lock while
    // a login runs on another thread without it: both are atomic for that reason.
    std::atomic<int> state{stateCreated};
    Infra::CTime loginTime; // guarded by mutex
    std::atomic<uint64> lastActive{0};
    bool sweepExempt = false;
    std::atomic<long> inUse{0};
    void* customData = nullptr;
    Detail::TStatusProcList<IClient::Proc> statusProcs{statusProcCapacity};

    // Guards the fields a login writes (user name, login time) against concurrent logins of a
    // shared client and readers on other threads.
    Infra::CMutex mutex;
};

// ---- Construction ----

IClient::IClient() : m_internal(nullptr) {}

IClient::~IClient()
{
    delete m_internal;
}

// ---- Optional operations ----

bool IClient::checkAuthorityString(const char* /*text*/)
{
    Infra::setLastError(errNotImplemented);
    return false;
}

bool IClient::setCurrentTime(const Infra::CTime& /*time*/, int /*flag*/)
{
    Infra::setLastError(errNotImplemented);
    return false;
}

bool IClient::getChallenge(ServerChallenge& /*challenge*/)
{
    Infra::setLastError(errNotImplemented);
    return false;
}

bool IClient::getCurrentTime(Infra::CTime& /*time*/)
{
    Infra::setLastError(errNotImplemented);
    return false;
}

bool IClient::loginFirst()
{
    Infra::setLastError(errNotImplemented);
    return false;
}

bool IClient::loginAgain(const ServerInfo& /*info*/)
{
    Infra::setLastError(errNotImplemented);
    return false;
}

// ---- Status procedures and abort ----

bool IClient::attachStatusProc(Proc proc)
{
    ORLIX_ASSERT(m_internal);
    return m_internal->statusProcs.attach(proc) > 0;
}

bool IClient::detachStatusProc(Proc proc)
{
    ORLIX_ASSERT(m_internal);
    return m_internal->statusProcs.detach(proc) >= 0;
}

bool IClient::abort(int reason)
{
    ORLIX_ASSERT(m_internal);
    // Held for the duration: a procedure may release its own references to the client.
    Detail::CComponentHelper::addRef(this);
    TComPtr<IClient> self(this);
    m_internal->statusProcs.emit(m_internal->customData, ClassID(m_internal->classId.c_str()), self,
                                 statusAborted, reason);
    return logout();
}

// ---- Record accessors ----

bool IClient::getServerInfo(ServerInfo& info) const
{
    ORLIX_ASSERT(m_internal);
    const ClientInternal& c = *m_internal;
    bool noUserName = false;
    {
        Infra::TGuard<Infra::CMutex> guard(m_internal->mutex);
        info.userName = c.userName.c_str();
        noUserName = c.userName.empty();
    }
    info.text1 = c.text1.c_str();
    info.number1 = c.number1;
    info.text2 = c.text2.c_str();
    info.text3 = c.text3.c_str();
    info.flag1 = c.flag1;
    info.flag2 = c.flag2;
    info.text4 = c.text4.c_str();
    info.text5 = c.text5.c_str();
    info.text6 = c.text6.c_str();
    info.text7 = c.text7.c_str();
    info.number2 = c.number2;
    info.text8 = c.text8.c_str();
    info.flag3 = c.flag3;
    info.number3 = c.number3;
    info.number4 = c.number4;
    info.text9 = c.text9.c_str();
    info.text10 = c.text10.c_str();
    info.text11 = c.text11.c_str();
    if (noUserName)
        Infra::logWarn(ORLIX_OBJ_FMT "userName of client is a null string!\n", ORLIX_OBJ_ARGS);
    return true;
}

bool IClient::saveUserName(const char* name)
{
    bool alreadySaved = false;
    {
        Infra::TGuard<Infra::CMutex> guard(m_internal->mutex);
        alreadySaved = m_internal->userNameSaved;
        if (!alreadySaved) {
            m_internal->userName = textOf(name);
            m_internal->userNameSaved = true;
        }
    }
    if (alreadySaved)
        Infra::logWarn(ORLIX_OBJ_FMT "username of client has already saved.\n", ORLIX_OBJ_ARGS);
    return true;
}

bool IClient::getLoginTime(Infra::CTime& time) const
{
    ORLIX_ASSERT(m_internal);
    Infra::TGuard<Infra::CMutex> guard(m_internal->mutex);
    time = m_internal->loginTime;
    return true;
}

void IClient::setCustomData(void* data)
{
    ORLIX_ASSERT(m_internal);
    m_internal->customData = data;
}

void* IClient::getCustomData() const
{
    ORLIX_ASSERT(m_internal);
    return m_internal->customData;
}

int IClient::getCurrentUserID()
{
    return t_currentUser;
}

bool Detail::CComponentHelper::setAsCurrentUser(IClient* client)
{
    if (client == nullptr)
        return false;
    int id = -1;
    client->getUserID(&id);
    t_currentUser = id;
    return true;
}

// ---- State operations ----

#define ORLIX_ASSERT_CLIENT() ORLIX_ASSERT(client != NULL && client->m_internal != NULL)

void clientCreateInternal(IClient* client, const ClassID& classId, const ServerInfo& info,
                          bool sweepExempt)
{
    ORLIX_ASSERT(client != NULL && client->m_internal == NULL);
    auto* c = new IClient::ClientInternal;
    c->classId = textOf(classId.name);
    c->text1 = textOf(info.text1);
    c->number1 = info.number1;
    c->serverKey = Detail::serverKeyOf(c->text1, c->number1);
    c->userName = textOf(info.userName);
    c->text2 = textOf(info.text2);
    c->text3 = textOf(info.text3);
    c->text6 = textOf(info.text6);
    c->text7 = textOf(info.text7);
    c->text8 = textOf(info.text8);
    c->flag1 = info.flag1;
    c->flag2 = info.flag2;
    c->number2 = info.number2;
    c->text4 = textOf(info.text4);
    c->text5 = textOf(info.text5);
    c->flag3 = info.flag3;
    c->number3 = info.number3;
    c->number4 = info.number4;
    c->text9 = textOf(info.text9);
    c->text10 = textOf(info.text10);
    c->text11 = textOf(info.text11);
    c->sweepExempt = sweepExempt;
    c->lastActive.store(nowMs(), std::memory_order_relaxed);
    client->m_internal = c;
}

bool clientLogin(IClient* client)
{
    ORLIX_ASSERT_CLIENT();
    client->m_internal->lastActive.store(nowMs(), std::memory_order_relaxed);
    if (!client->login())
        return false;
    {
        Infra::TGuard<Infra::CMutex> guard(client->m_internal->mutex);
        client->m_internal->loginTime = Infra::CTime::getCurrentTime();
    }
    client->m_internal->state.store(stateLoggedIn, std::memory_order_release);
    return true;
}

bool clientUpdateBroken(IClient* client)
{
    ORLIX_ASSERT_CLIENT();
    // Every factory lookup that finds a logged-in client comes here. The activity time is
    // read only for a client in state created (the idle sweep), and no client returns to that
    // state once it left it, so any other client skips the clock read (a shared clock with an
    // atomic update, the dearest step of this call apart from checkBroken itself).
    IClient::ClientInternal& c = *client->m_internal;
    if (c.state.load(std::memory_order_acquire) == stateCreated)
        c.lastActive.store(nowMs(), std::memory_order_relaxed);
    if (!client->checkBroken())
        return false;
    client->m_internal->state.store(stateBroken, std::memory_order_release);
    return true;
}

bool clientIsCreated(IClient* client)
{
    ORLIX_ASSERT_CLIENT();
    return client->m_internal->state.load(std::memory_order_acquire) == stateCreated;
}

bool clientIsLogined(IClient* client)
{
    ORLIX_ASSERT_CLIENT();
    return client->m_internal->state.load(std::memory_order_acquire) == stateLoggedIn;
}

bool clientIsBroken(IClient* client)
{
    ORLIX_ASSERT_CLIENT();
    return client->m_internal->state.load(std::memory_order_acquire) == stateBroken;
}

bool clientIsIdle(IClient* client)
{
    ORLIX_ASSERT_CLIENT();
    const IClient::ClientInternal& c = *client->m_internal;
    if (c.state.load(std::memory_order_acquire) != stateCreated || c.sweepExempt)
        return false;
    // Unsigned difference: the clock never goes back, so this is the idle time.
    return nowMs() - c.lastActive.load(std::memory_order_relaxed) > idleLimitMs;
}

bool clientIsSameAs(IClient* client, const ClassID& classId, int userId)
{
    ORLIX_ASSERT_CLIENT();
    int id = -1;
    client->getUserID(&id);
    return client->m_internal->classId == textOf(classId.name) && id == userId;
}

bool clientIsSameAs(IClient* client, const ClassID& classId, const ServerInfo& info)
{
    ORLIX_ASSERT_CLIENT();
    return Detail::clientMatches(client, Detail::ServerQuery(classId, info));
}

namespace Detail {

struct ClientAccess
{
    static IClient::ClientInternal& of(IClient* client) { return *client->m_internal; }
};

namespace {

std::string_view viewOf(const char* text)
{
    return text != nullptr ? std::string_view(text) : std::string_view();
}

} // namespace

ServerQuery::ServerQuery(const ClassID& classId, const ServerInfo& info)
    : text1(viewOf(info.text1)), info(info), serverKey(serverKeyOf(text1, info.number1))
{
    const std::string_view name = viewOf(classId.name);
    classPrefix = name.substr(0, name.find('.'));
}

namespace {

// own == text, a null text counting as the empty one. Inline and without measuring text
// first: the texts compared are short and mostly empty, where a strlen plus a memcmp call
// cost more than the compare itself.
bool sameText(const std::string& own, const char* text)
{
    if (text == nullptr)
        return own.empty();
    const std::size_t size = own.size();
    const char* data = own.data();
    for (std::size_t i = 0; i < size; ++i) {
        if (text[i] != data[i]) // also stops at the end of a shorter text
            return false;
    }
    return text[size] == '\0';
}

} // namespace

std::size_t serverKeyOf(std::string_view text1, std::int32_t number1)
{
    // FNV-1a over the text, then the number: cheap for the short addresses clients carry.
    std::uint64_t hash = 14695981039346656037ull;
    for (const char ch : text1)
        hash = (hash ^ static_cast<unsigned char>(ch)) * 1099511628211ull;
    hash = (hash ^ static_cast<std::uint32_t>(number1)) * 1099511628211ull;
    return static_cast<std::size_t>(hash);
}

// Cost: one word compare for a client of another server (see serverKeyOf); for the matching
// client, the class prefix and every identifying text (inline, see sameText) and the user
// name under the client's lock.
bool clientMatches(IClient* client, const ServerQuery& q)
{
    const auto& c = ClientAccess::of(client);
    if (c.serverKey != q.serverKey)
        return false;
    // The client's class id must start with the queried class prefix (the text before the
    // first '.'): a "Device" client serves "Device.Config", and "Dev.Config" as well.
    const std::string_view own(c.classId);
    if (own.size() < q.classPrefix.size() ||
        own.compare(0, q.classPrefix.size(), q.classPrefix) != 0)
        return false;
    const ServerInfo& info = q.info;
    if (c.number1 != info.number1 || std::string_view(c.text1) != q.text1)
        return false;
    {
        Infra::TGuard<Infra::CMutex> guard(ClientAccess::of(client).mutex);
        if (!sameText(c.userName, info.userName))
            return false;
    }
    if (!sameText(c.text2, info.text2) || !sameText(c.text3, info.text3))
        return false;
    if (c.flag1 != info.flag1 || c.flag2 != info.flag2 || c.number2 != info.number2)
        return false;
    if (!sameText(c.text4, info.text4) || !sameText(c.text5, info.text5) ||
        !sameText(c.text9, info.text9) || !sameText(c.text10, info.text10))
        return false;
    if (c.flag3 != info.flag3 || c.number3 != info.number3)
        return false;
    return sameText(c.text8, info.text8) && sameText(c.text6, info.text6);
}

} // namespace Detail

long clientGetAndMarkUsing(IClient* client)
{
    ORLIX_ASSERT_CLIENT();
    return client->m_internal->inUse.exchange(1, std::memory_order_acq_rel);
}

bool Detail::clientHoldsListReference(IClient* client)
{
    return ClientAccess::of(client).inUse.load(std::memory_order_acquire) == 0;
}

} // namespace Component
} // namespace Orlix
