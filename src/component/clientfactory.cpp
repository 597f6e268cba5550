// The shared client list, its idle sweep, the client factory wrapper and the client release
// path.
#include "component/clientinstancelist.h"

#include "component/clientfactory_internal.h"
#include "component/oldunknown.h"
#include "component/serverquery.h"
#include "infra/clientfactory.h"
#include "infra/error.h"
#include "infra/mutex.h"
#include "infra/print.h"
#include "infra/timer.h"
#include "infra3/diag.h"
#include "infra3/singleton.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <vector>

namespace Orlix {
namespace Component {

namespace {

constexpr unsigned int sweepPeriodMs = 60;
constexpr unsigned int sweepWatchdogMs = 60000;

bool isLocalClass(const char* classId)
{
    return classId != nullptr && std::strcmp(classId, ClassID::local.name) == 0;
}

// Serialises the look-up-then-create steps of every wrapper, so that two threads asking for
// the same class and server end with one client. Never destroyed: wrappers may be used by
// exit-time code.
Infra::CRecursiveMutex& clientCreateMutex()
{
    static Infra::CRecursiveMutex* const s_clientCreateMutex = new Infra::CRecursiveMutex;
    return *s_clientCreateMutex;
}

// Wrappers are made once per factory and live until the process ends (never freed), so a
// wrapper pointer a caller got stays valid wherever it is kept.
struct WrapperCache
{
    Infra::CMutex mutex;
    std::map<IFactoryUnknown*, IClientFactoryWrap*> wrappers; // guarded by mutex
};

WrapperCache& wrapperCache()
{
    static WrapperCache* const s_wrapperCache = new WrapperCache;
    return *s_wrapperCache;
}

// Logs a client out and disposes of it once its last reference is gone.
void disposeClient(IClient* client)
{
    client->logout();
    client->destroy();
}

} // namespace

// ---- CClientInstanceList ----

struct CClientInstanceList::ClientInstanceListInternal
{
    Infra::CRecursiveMutex mutex;
    std::vector<IClient*> clients; // in insertion order; guarded by mutex
    Infra::CTimer timer{"ClientCheck"};
};

CClientInstanceList* CClientInstanceList::instance()
{
    return Infra::Detail::CSingleton<CClientInstanceList>::instance(
        __FILE__, "Orlix::Component::CClientInstanceList::instance", __LINE__);
}

CClientInstanceList::CClientInstanceList() : m_internal(new ClientInstanceListInternal)
{
    // Delay 0: the first sweep runs at once.
    m_internal->timer.start(Infra::TFunction1<void, unsigned long>(
                                &CClientInstanceList::removeIdleClientInstance, this),
                            0, sweepPeriodMs, 0, sweepWatchdogMs);
}

CClientInstanceList::~CClientInstanceList()
{
    m_internal->timer.stopAndWait();
    delete m_internal;
}

void CClientInstanceList::add(IClient* client)
{
    if (client == nullptr)
        return;
    Infra::TGuard<Infra::CRecursiveMutex> guard(m_internal->mutex);
    m_internal->clients.push_back(client);
}

IClient* CClientInstanceList::findMatching(bool (*match)(IClient*, const void*),
                                           const void* context)
{
    for (IClient* client : m_internal->clients) {
        if (match(client, context))
            return client;
    }
    return nullptr;
}

namespace {

struct UserKey
{
    const ClassID* classId;
    int userId;
};

bool matchesUser(IClient* client, const void* context)
{
    const auto* key = static_cast<const UserKey*>(context);
    return clientIsSameAs(client, *key->classId, key->userId);
}

bool matchesServer(IClient* client, const void* context)
{
    return Detail::clientMatches(client, *static_cast<const Detail::ServerQuery*>(context));
}

bool matchesLiveServer(IClient* client, const void* context)
{
    return !clientIsBroken(client) && matchesServer(client, context);
}

IClient* handOut(IClient* client)
{
    return static_cast<IClient*>(Detail::CComponentHelper::makeComponentInstance(client));
}

} // namespace

IClient* CClientInstanceList::findByUser(const ClassID& classId, int userId)
{
    const UserKey key{&classId, userId};
    Infra::TGuard<Infra::CRecursiveMutex> guard(m_internal->mutex);
    return findMatching(&matchesUser, &key);
}

IClient* CClientInstanceList::findByUserAndHandOut(const ClassID& classId, int userId)
{
    const UserKey key{&classId, userId};
    Infra::TGuard<Infra::CRecursiveMutex> guard(m_internal->mutex);
    IClient* client = findMatching(&matchesUser, &key);
    return client != nullptr ? handOut(client) : nullptr;
}

IClient* CClientInstanceList::findByServer(const ClassID& classId, const ServerInfo& info)
{
    const Detail::ServerQuery key(classId, info);
    Infra::TGuard<Infra::CRecursiveMutex> guard(m_internal->mutex);
    IClient* client = findMatching(&matchesServer, &key);
    return client != nullptr ? handOut(client) : nullptr;
}

IClient* CClientInstanceList::findLiveByServer(const ClassID& classId, const ServerInfo& info)
{
    const Detail::ServerQuery key(classId, info);
    Infra::TGuard<Infra::CRecursiveMutex> guard(m_internal->mutex);
    return findMatching(&matchesLiveServer, &key);
}

IClient* CClientInstanceList::findLiveByServerAndAddRef(const ClassID& classId,
                                                        const ServerInfo& info)
{
    const Detail::ServerQuery key(classId, info);
    Infra::TGuard<Infra::CRecursiveMutex> guard(m_internal->mutex);
    IClient* client = findMatching(&matchesLiveServer, &key);
    if (client != nullptr)
        client->addRef();
    return client;
}

int CClientInstanceList::releaseClientInstance(IClient* client)
{
    ORLIX_ASSERT(client != NULL);
    int n = 0;
    {
        Infra::TGuard<Infra::CRecursiveMutex> guard(m_internal->mutex);
        n = decreaseRefCount(client);
        if (n == 0) {
            auto& clients = m_internal->clients;
            auto it = std::find(clients.begin(), clients.end(), client);
            if (it != clients.end())
                clients.erase(it);
        }
    }
    if (n == 0)
        disposeClient(client);
    return n;
}

void CClientInstanceList::removeIdleClientInstance(unsigned long /*param*/)
{
    std::vector<IClient*> idle;
    {
        Infra::TGuard<Infra::CRecursiveMutex> guard(m_internal->mutex);
        auto& clients = m_internal->clients;
        // One pass that keeps the survivors in order: neighbours are both examined. Only a
        // reference the list itself holds may be dropped here: a client whose first use took
        // that reference over belongs to its holder, however idle it is.
        auto keep = std::stable_partition(clients.begin(), clients.end(), [](IClient* client) {
            return !(clientIsIdle(client) && getRefCount(client) <= 1 &&
                     Detail::clientHoldsListReference(client));
        });
        idle.assign(keep, clients.end());
        clients.erase(keep, clients.end());
    }
    for (IClient* client : idle) {
        ORLIX_ASSERT(client != NULL);
        if (decreaseRefCount(client) == 0)
            disposeClient(client);
    }
}

std::size_t CClientInstanceList::countForTesting()
{
    Infra::TGuard<Infra::CRecursiveMutex> guard(m_internal->mutex);
    return m_internal->clients.size();
}

bool CClientInstanceList::containsForTesting(IClient* client)
{
    Infra::TGuard<Infra::CRecursiveMutex> guard(m_internal->mutex);
    const auto& clients = m_internal->clients;
    return std::find(clients.begin(), clients.end(), client) != clients.end();
}

void CClientInstanceList::stopSweepForTesting()
{
    m_internal->timer.stopAndWait();
}

// ---- Release path ----

int ClientFactory::releaseClientObject(IClient* client)
{
    ORLIX_ASSERT(client != NULL);
    return CClientInstanceList::instance()->releaseClientInstance(client);
}

// ---- IClient::IFactory ----

const char* IClient::IFactory::iid()
{
    return "Client";
}

IClient* IClient::IFactory::instance(int userId)
{
    return CClientInstanceList::instance()->findByUser(ClassID(getClassID()), userId);
}

// ---- IClientFactoryWrap ----

IClientFactoryWrap::IClientFactoryWrap(IFactoryUnknown* factory)
    : m_original(dynamic_cast<IClient::IFactory*>(factory))
{
    ORLIX_ASSERT(m_original != NULL);
}

const char* IClientFactoryWrap::getClassID()
{
    return m_original->getClassID();
}

IClient* IClientFactoryWrap::create(const ServerInfo& info)
{
    return createListed(info, false);
}

IClient* IClientFactoryWrap::createForServer(const ServerInfo& info)
{
    return createListed(info, true);
}

IClient* IClientFactoryWrap::createListed(const ServerInfo& info, bool forServer)
{
    CClientInstanceList* list = CClientInstanceList::instance();
    Infra::TGuard<Infra::CRecursiveMutex> guard(clientCreateMutex());
    const ClassID classId(getClassID());
    const bool local = isLocalClass(classId.name);
    if (!local) {
        if (IClient* existing = list->findLiveByServerAndAddRef(classId, info))
            return existing;
    }
    IClient* client = m_original->create(info);
    if (client == nullptr)
        return nullptr;
    clientCreateInternal(client, classId, info, !forServer);
    // The creation reference goes to this call's caller: the client counts as handed out, so
    // that every later lookup that finds it adds a reference of its own.
    Detail::CComponentHelper::makeComponentObject(client);
    if (forServer) {
        // A second reference for the list, dropped at the client's first use.
        Detail::CComponentHelper::addRef(client);
    } else {
        clientGetAndMarkUsing(client);
    }
    if (!local) {
        if (IClient* other = list->findLiveByServer(classId, info))
            Infra::logError(ORLIX_OBJ_FMT
                            "remote client instance %p has been in CClientInstanceList already.\n",
                            ORLIX_OBJ_ARGS, static_cast<void*>(other));
    }
    list->add(client);
    Detail::CComponentHelper::setAsCurrentUser(client);
    return client;
}

IClientFactoryWrap* Detail::getClientFactoryWrap(IFactoryUnknown* factory)
{
    WrapperCache& cache = wrapperCache();
    Infra::TGuard<Infra::CMutex> guard(cache.mutex);
    IClientFactoryWrap*& wrapper = cache.wrappers[factory];
    if (wrapper == nullptr)
        wrapper = new IClientFactoryWrap(factory);
    return wrapper;
}

} // namespace Component
} // namespace Orlix
