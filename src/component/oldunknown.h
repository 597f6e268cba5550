// Component bookkeeping shared by the component sources (internal).
//
// The record behind every IUnknown, and the library-internal operations on it that the
// registry, the object table and the client list use.
#ifndef ORLIX_SRC_COMPONENT_OLDUNKNOWN_H
#define ORLIX_SRC_COMPONENT_OLDUNKNOWN_H

#include "infra/component.h"

#include <atomic>
#include <string>

namespace Orlix {
namespace Component {

struct IUnknown::UnknownInternal
{
    std::atomic<int> refCount{1};
    // 1 once the object has been handed to a user: the first hand-out takes over the
    // creation reference, later ones add one.
    std::atomic<int> handedOut{0};
    // Set once by the registry before the object is handed out; read by release().
    bool isInstance = false;
    std::string componentName;
    std::atomic<Detail::CObjectTable*> objectTable{nullptr};
};

namespace Detail {

// The one door to IUnknown's private record.
struct UnknownAccess
{
    using Record = IUnknown::UnknownInternal;
    static Record& of(IUnknown* object) { return *object->m_internal; }
};

} // namespace Detail

// Takes one reference without disposing of anything; returns the new count.
int decreaseRefCount(IUnknown* object);
// The current reference count.
int getRefCount(IUnknown* object);
// Adds a reference as addRef() does, unless the count already reached 0 (the object is on its
// way to destroy()); returns false then and changes nothing.
bool addRefUnlessDisposing(IUnknown* object);
// Records the table object lives in (release() erases it from there at 0).
void setObjectTable(IUnknown* object, Detail::CObjectTable* table);
// Hands out an object of a table: the first hand-out is free, later ones add a reference.
void makeInstanceForTable(IUnknown* object);
// Takes object out of the registry's instance records (when isInstance) and destroys it.
bool destroyComponent(IUnknown* object, const char* name, bool isInstance);
// The creator exported by the shared library named after name, or null (registry lock held).
ComponentCreator getDynamicCreator(const char* name);

namespace Detail {

// The file name and creator symbol the registry looks for when name has no creator: the
// platform's library pattern and "create%sObject", each cut to 31 characters.
struct DynamicNames
{
    char fileName[32];
    char symbol[32];
};
DynamicNames dynamicNamesFor(const char* name);

} // namespace Detail

} // namespace Component
} // namespace Orlix

#endif // ORLIX_SRC_COMPONENT_OLDUNKNOWN_H
