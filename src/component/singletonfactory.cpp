// The component registry: creators by name, shared instances per server, creators found in
// shared libraries.
#include "component/oldunknown.h"

#include "infra/error.h"
#include "infra/mutex.h"
#include "infra/print.h"
#include "platform/dynlib.h"

#include <cstdio>
#include <cstring>
#include <list>
#include <map>
#include <string>

namespace Orlix {
namespace Component {

namespace {

// What identifies a per-server instance: five fields of the ServerInfo it was made for.
struct InstanceRecord
{
    IUnknown* object = nullptr;
    bool hasServer = false;
    std::string text1;
    std::int32_t number1 = 0;
    std::string userName;
    std::string text2;
    std::int32_t flag1 = 0;
};

struct ComponentEntry
{
    ComponentCreator creator = nullptr;
    std::list<InstanceRecord> instances; // in creation order
    void* module = nullptr;              // the shared library loaded for this name
};

const char* textOf(const char* text)
{
    return text != nullptr ? text : "";
}

bool sameServer(const InstanceRecord& record, const ServerInfo* info)
{
    if (info == nullptr)
        return !record.hasServer;
    return record.hasServer && record.text1 == textOf(info->text1) &&
           record.number1 == info->number1 && record.userName == textOf(info->userName) &&
           record.text2 == textOf(info->text2) && record.flag1 == info->flag1;
}

// The registry lives until the process ends and is never destroyed: components released by
// other exit-time code (a static holder, an atexit handler) must still find it. It is made on
// first use, so a creator may be registered from another file's static initialiser.
struct Registry
{
    Infra::CMutex mutex;
    std::map<std::string, ComponentEntry, std::less<>> components; // guarded by mutex
};

Registry& registry()
{
    static Registry* const instance = new Registry;
    return *instance;
}

// The creator for name: the registered one, else the shared library's. Called with the
// registry lock held; creates an empty entry for an unknown name.
ComponentCreator creatorFor(Registry& reg, const char* name)
{
    ComponentCreator creator = reg.components[name].creator;
    return creator != nullptr ? creator : getDynamicCreator(name);
}

// Runs creator without the registry lock, so that creators may use the registry themselves.
IUnknown* callCreator(Registry& reg, ComponentCreator creator, const ServerInfo* info)
{
    reg.mutex.leave();
    IUnknown* object = creator(info);
    reg.mutex.enter();
    return object;
}

} // namespace

namespace Detail {

DynamicNames dynamicNamesFor(const char* name)
{
    DynamicNames names{};
    // snprintf writes at most 31 characters and a terminator; a longer name is cut there.
    std::snprintf(names.fileName, sizeof(names.fileName), Platform::sharedLibraryPattern, name);
    std::snprintf(names.symbol, sizeof(names.symbol), "create%sObject", name);
    return names;
}

} // namespace Detail

ComponentCreator getDynamicCreator(const char* name)
{
    if (name == nullptr)
        return nullptr;
    const Detail::DynamicNames names = Detail::dynamicNamesFor(name);
    ComponentEntry& entry = registry().components[name];
    if (entry.module == nullptr)
        entry.module = Platform::openSharedLibrary(names.fileName);
    if (entry.module == nullptr)
        return nullptr;
    Platform::SharedLibraryFunction function =
        Platform::findSharedLibraryFunction(entry.module, names.symbol);
    if (function == nullptr) {
        Infra::logError("getDynamicCreator get proc '%s' failed!\n", names.symbol);
        return nullptr;
    }
    return reinterpret_cast<ComponentCreator>(function);
}

bool registerComponent(const char* name, IUnknown* (*creator)(const ServerInfo*))
{
    // A null name could never be asked for: refused rather than registered.
    if (name == nullptr) {
        Infra::setLastError(errCreateObjectFailed);
        return false;
    }
    Registry& reg = registry();
    Infra::TGuard<Infra::CMutex> guard(reg.mutex);
    auto found = reg.components.find(name);
    if (found == reg.components.end()) {
        reg.components[name].creator = creator;
    } else {
        Infra::logWarn("registerComponentCreator creator for '%s' already exist!\n", name);
        found->second.creator = creator;
    }
    return true;
}

IUnknown* createComponentObject(const char* name, const ServerInfo* info)
{
    if (name == nullptr) {
        Infra::setLastError(errCreateObjectFailed);
        return nullptr;
    }
    Registry& reg = registry();
    Infra::TGuard<Infra::CMutex> guard(reg.mutex);
    ComponentCreator creator = creatorFor(reg, name);
    if (creator == nullptr)
        return nullptr;
    IUnknown* object = callCreator(reg, creator, info);
    if (object != nullptr)
        Detail::UnknownAccess::of(object).componentName = name;
    return object;
}

IUnknown* getComponentInstance(const char* name, const ServerInfo* info)
{
    if (name == nullptr) {
        Infra::setLastError(errGetInstanceFailed);
        return nullptr;
    }
    Registry& reg = registry();
    Infra::TGuard<Infra::CMutex> guard(reg.mutex);
    auto found = reg.components.find(name);
    if (found != reg.components.end()) {
        for (const InstanceRecord& record : found->second.instances) {
            // An instance whose last reference is gone is on its way out: its release takes
            // it off this list once it gets the lock, so it must not be handed out again.
            if (sameServer(record, info) && addRefUnlessDisposing(record.object))
                return record.object;
        }
    }
    ComponentCreator creator = creatorFor(reg, name);
    if (creator == nullptr)
        return nullptr;
    IUnknown* object = callCreator(reg, creator, info);
    if (object == nullptr)
        return nullptr;

    InstanceRecord record;
    record.object = object;
    record.hasServer = info != nullptr;
    if (info != nullptr) {
        record.text1 = textOf(info->text1);
        record.number1 = info->number1;
        record.userName = textOf(info->userName);
        record.text2 = textOf(info->text2);
        record.flag1 = info->flag1;
    }
    // The entry is looked up again: the map may have changed while the creator ran.
    reg.components[name].instances.push_back(std::move(record));
    auto& internal = Detail::UnknownAccess::of(object);
    internal.isInstance = true;
    internal.componentName = name;
    return object;
}

bool destroyComponent(IUnknown* object, const char* name, bool isInstance)
{
    Registry& reg = registry();
    {
        Infra::TGuard<Infra::CMutex> guard(reg.mutex);
        if (isInstance) {
            auto& s_componentMap = reg.components;
            auto pi = s_componentMap.find(name);
            ORLIX_ASSERT(pi != s_componentMap.end());
            auto& instances = (*pi).second.instances;
            auto pj = instances.begin();
            while (pj != instances.end() && pj->object != object)
                ++pj;
            ORLIX_ASSERT(pj != (*pi).second.instances.end());
            instances.erase(pj);
        }
    }
    object->destroy();
    return true;
}

} // namespace Component
} // namespace Orlix
