// The factory registry, the factory lookup with its shared clients, the component error
// texts and ClassIDList.
#include "component/clientfactory_internal.h"
#include "component/clientinstancelist.h"
#include "infra/clientfactory.h"
#include "infra/error.h"
#include "infra/mutex.h"
#include "infra/print.h"
#include "infra3/diag.h"

#include <atomic>
#include <cstring>
#include <map>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace Orlix {
namespace Component {

namespace {

// Transparent comparison: lookups by a C string build no temporary std::string.
using ClassMap = std::map<std::string, IFactoryUnknown*, std::less<>>;

// The factory registry lives until the process ends and is never destroyed, so that factories
// may be registered from static initialisers and looked up from exit-time code.
//
// Two views of the same entries: the ordered maps (ClassIDList lists class ids in order) and a
// hash index for the lookups. Entries are never erased (unregistering stores null), and map
// nodes never move, so the index's keys view the maps' own strings and its values point at the
// maps' values. Cost of a lookup: one hash and (usually) one compare per level, no copy of
// either id and no allocation.
struct FactoryRegistry
{
    using ClassIndex = std::unordered_map<std::string_view, IFactoryUnknown**>;

    Infra::CRecursiveMutex mutex;
    std::map<std::string, ClassMap, std::less<>>
        factories; // iid -> class id -> factory; guarded by mutex
    std::unordered_map<std::string_view, ClassIndex> index; // the same; guarded by mutex
};

FactoryRegistry& factoryRegistry()
{
    static FactoryRegistry* const s_factoryMap = new FactoryRegistry;
    return *s_factoryMap;
}

// True, with the last error set, when the interface id or the class id is null: neither
// can name a registry entry.
bool refuseNullIds(const char* iid, const char* classId)
{
    if (iid == nullptr) {
        Infra::setLastError(errInterfaceNotFound);
        return true;
    }
    if (classId == nullptr) {
        Infra::setLastError(errClassNotFound);
        return true;
    }
    return false;
}

bool store(const char* iid, const char* classId, IFactoryUnknown* factory)
{
    if (refuseNullIds(iid, classId))
        return false;
    FactoryRegistry& reg = factoryRegistry();
    Infra::TGuard<Infra::CRecursiveMutex> guard(reg.mutex);
    const auto byIid = reg.factories.try_emplace(iid).first;
    const auto byClass = byIid->second.try_emplace(classId, nullptr);
    byClass.first->second = factory;
    if (byClass.second)
        reg.index[byIid->first][byClass.first->first] = &byClass.first->second;
    return true;
}

// The class prefix of a class id: the text before its first '.'.
std::string classPrefix(const char* classId)
{
    const char* dot = std::strchr(classId, '.');
    return dot != nullptr ? std::string(classId, static_cast<std::size_t>(dot - classId))
                          : std::string(classId);
}

// A new listed client for classId and info from the client factory of the class prefix;
// carries the list's and the caller's references.
IClient* createClientForServer(const ClassID& classId, const ServerInfo& info)
{
    const std::string prefix = classPrefix(classId.name);
    IClient* ignored = nullptr;
    IFactoryUnknown* factory = Detail::CComponentHelper::getComponentFactory(
        IClient::IFactory::iid(), ClassID(prefix.c_str()), ServerInfo::none, ignored);
    auto* wrapper = dynamic_cast<IClientFactoryWrap*>(factory);
    if (wrapper == nullptr) {
        Infra::setLastError(errClientNotFound);
        return nullptr;
    }
    IClient* client = wrapper->createForServer(info);
    if (client == nullptr) {
        Infra::setLastError(errClientNotExist);
        return nullptr;
    }
    return client;
}

// Finds (or makes) the client of classId for info and logs it in as its state needs. Null,
// with the lookup's reference given back and a log line, when that fails.
IClient* loggedInClientFor(const char* iid, const ClassID& classId, const ServerInfo& info)
{
    IClient* found = CClientInstanceList::instance()->findByServer(classId, info);
    if (found == nullptr) {
        found = createClientForServer(classId, info);
        if (found == nullptr) {
            Infra::logError(ORLIX_FN_FMT "iid (%s) could not been got because clientInstance "
                                         "could not be created.\n",
                            ORLIX_FN_ARGS, iid);
            return nullptr;
        }
        if (!clientLogin(found)) {
            Detail::CComponentHelper::release(found);
            Infra::logDebug(ORLIX_FN_FMT "iid=%s could not been generated because log failed.\n",
                            ORLIX_FN_ARGS, iid);
            return nullptr;
        }
        return found;
    }
    if (clientIsLogined(found)) {
        // A connection that broke since the last lookup is logged in again.
        if (clientUpdateBroken(found) && !clientLogin(found)) {
            Detail::CComponentHelper::release(found);
            Infra::logDebug(ORLIX_FN_FMT "iid=%s could not been got because re-log failed.\n",
                            ORLIX_FN_ARGS, iid);
            return nullptr;
        }
        return found;
    }
    // Created (an earlier first login failed) or broken.
    if (!clientLogin(found)) {
        Detail::CComponentHelper::release(found);
        Infra::logDebug(ORLIX_FN_FMT "iid=%s could not been got because log failed.\n",
                        ORLIX_FN_ARGS, iid);
        return nullptr;
    }
    return found;
}

// Gives the list's creation reference of found back on the client's first use.
void releaseOnFirstUse(IClient* found)
{
    if (found != nullptr && clientGetAndMarkUsing(found) == 0)
        Detail::CComponentHelper::release(found);
}

// Steps shared by both lookups once the client part is done: the registry lookup proper.
IFactoryUnknown* lookUpFactory(const char* iid, bool isClient, const ClassID& classId,
                               IClient* found, IClient*& client)
{
    IFactoryUnknown* result = nullptr;
    bool failed = false;
    {
        FactoryRegistry& reg = factoryRegistry();
        Infra::TGuard<Infra::CRecursiveMutex> guard(reg.mutex);
        const auto byIid = reg.index.find(std::string_view(iid));
        if (byIid == reg.index.end()) {
            Infra::setLastError(errInterfaceNotFound);
            failed = true;
        } else {
            const auto byClass = byIid->second.find(std::string_view(classId.name));
            if (byClass == byIid->second.end()) {
                Infra::setLastError(errClassNotFound);
                failed = true;
            } else {
                if (found != nullptr) {
                    Detail::CComponentHelper::setAsCurrentUser(found);
                    client = found;
                }
                IFactoryUnknown* factory = *byClass->second;
                if (isClient) {
                    result = factory != nullptr ? Detail::getClientFactoryWrap(factory) : nullptr;
                } else {
                    releaseOnFirstUse(found);
                    result = factory;
                }
            }
        }
    }
    // Given back outside the registry lock: the last release logs the client out.
    if (failed)
        Detail::CComponentHelper::release(found);
    return result;
}

} // namespace

// ---- Error texts ----

void Detail::registerComponentErrorTexts()
{
    // Set before the texts are stored: the first caller registers them, later ones skip.
    static std::atomic<bool> s_registered{false};
    if (s_registered.exchange(true, std::memory_order_acq_rel))
        return;
    static const struct
    {
        int code;
        const char* text;
    } texts[] = {
        {errInterfaceNotFound, "Component error: interface not found!"},
        {errClassNotFound, "Component error: class not found!"},
        {errClientNotFound, "Component error: client not found!"},
        {errClientNotExist, "Component error: client not exist!"},
        {errNotLoggedIn, "Component error: not login yet!"},
        {errTryingLogin, "Component error: tring login!"},
        {errUserNameInvalid, "Component error: user's name not valid!"},
        {errPasswordInvalid, "Component error: password not valid!"},
        {errPeerBlocked, "Component error: peer has been blocked!"},
        {errPeerInBlacklist, "Component error: peer in blacklist!"},
        {errUserNameUsed, "Component error: user's name has been used!"},
        {errTooManyConnections, "Component error: too many connections!"},
        {errNoAuthority, "Component error: no authority!"},
        {errCreateObjectFailed, "Component error: creating object failed!"},
        {errGetInstanceFailed, "Component error: getting instance failed!"},
        {errLoginChallenge, "Component error: login challenge!"},
        {errUserOrPasswordInvalid, "Component error: User or password not valid!"},
    };
    for (const auto& entry : texts)
        Infra::setErrMsg(entry.code, entry.text);
}

// ---- IFactoryUnknown ----

IFactoryUnknown::~IFactoryUnknown() = default;

bool IFactoryUnknown::registerFactory(const char* iid)
{
    Detail::registerComponentErrorTexts();
    return store(iid, getClassID(), this);
}

bool IFactoryUnknown::unregisterFactory(const char* iid)
{
    return store(iid, getClassID(), nullptr);
}

// ---- The factory lookup ----

IFactoryUnknown* Detail::CComponentHelper::getComponentFactory(const char* iid,
                                                               const ClassID& classId,
                                                               const ServerInfo& info,
                                                               IClient*& client)
{
    client = nullptr;
    if (refuseNullIds(iid, classId.name))
        return nullptr;
    const bool isClient = std::strcmp(iid, IClient::IFactory::iid()) == 0;
    IClient* found = nullptr;
    // ServerInfo::none is recognised by address: it means "no server", whatever it holds.
    if (!isClient && &info != &ServerInfo::none) {
        found = loggedInClientFor(iid, classId, info);
        if (found == nullptr)
            return nullptr;
    }
    return lookUpFactory(iid, isClient, classId, found, client);
}

IFactoryUnknown* Detail::CComponentHelper::getComponentFactory(const char* iid,
                                                               const ClassID& classId, int userId,
                                                               IClient*& client)
{
    client = nullptr;
    if (refuseNullIds(iid, classId.name))
        return nullptr;
    const bool isClient = std::strcmp(iid, IClient::IFactory::iid()) == 0;
    IClient* found = nullptr;
    if (!isClient && userId != -1) {
        found = CClientInstanceList::instance()->findByUserAndHandOut(classId, userId);
        if (found == nullptr)
            return nullptr;
    }
    return lookUpFactory(iid, isClient, classId, found, client);
}

// ---- ClassIDList ----

struct ClassIDList::ClassIDListInternal
{
    std::vector<Infra::flex_string> ids;
};

ClassIDList::ClassIDList(const char* iid) : m_internal(new ClassIDListInternal)
{
    if (iid == nullptr) {
        Infra::setLastError(errInterfaceNotFound);
        return;
    }
    FactoryRegistry& reg = factoryRegistry();
    Infra::TGuard<Infra::CRecursiveMutex> guard(reg.mutex);
    const auto byIid = reg.factories.find(iid);
    if (byIid == reg.factories.end())
        return;
    for (const auto& entry : byIid->second)
        m_internal->ids.emplace_back(entry.first.c_str());
}

ClassIDList::~ClassIDList()
{
    delete m_internal;
}

unsigned ClassIDList::count() const
{
    return static_cast<unsigned>(m_internal->ids.size());
}

Infra::flex_string ClassIDList::operator[](int index) const
{
    ORLIX_ASSERT((size_t)index < m_internal->ids.size());
    return m_internal->ids[static_cast<std::size_t>(index)];
}

} // namespace Component
} // namespace Orlix
