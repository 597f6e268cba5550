// IUnknown's reference counting, the object table and the hand-out operations.
#include "component/oldunknown.h"

#include "infra/client.h"
#include "infra/clientfactory.h"
#include "infra/error.h"
#include "infra/mutex.h"

#include <algorithm>
#include <vector>

namespace Orlix {
namespace Component {

const ClassID ClassID::local("Local");
const ServerInfo ServerInfo::none{};

namespace {

Detail::UnknownAccess::Record& internalOf(IUnknown* object)
{
    return Detail::UnknownAccess::of(object);
}

// The hand-out rule: the first hand-out takes over the creation reference, later ones add one.
void handOutCounted(Detail::UnknownAccess::Record& record)
{
    if (record.handedOut.exchange(1, std::memory_order_acq_rel) == 1)
        record.refCount.fetch_add(1, std::memory_order_relaxed);
}

} // namespace

// ---- IUnknown ----

IUnknown::IUnknown() : m_internal(new UnknownInternal) {}

IUnknown::~IUnknown()
{
    delete m_internal;
}

int IUnknown::addRef()
{
    m_internal->handedOut.store(1, std::memory_order_release);
    return m_internal->refCount.fetch_add(1, std::memory_order_relaxed) + 1;
}

int IUnknown::release()
{
    // The table is read once: the object may be gone by the time the lock is given back.
    Detail::CObjectTable* table = m_internal->objectTable.load(std::memory_order_acquire);
    if (table != nullptr)
        table->lock();
    // acq_rel: whoever reaches 0 sees every other holder's writes before disposing.
    const int result = m_internal->refCount.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (result == 0) {
        // A registry object that a user also put into a table leaves the table as well, so
        // that the table never keeps a pointer to a disposed object.
        if (table != nullptr) {
            table->erase(this);
            table->unlock();
            table = nullptr;
        }
        if (!m_internal->componentName.empty())
            destroyComponent(this, m_internal->componentName.c_str(), m_internal->isInstance);
        else
            destroy();
    }
    if (table != nullptr)
        table->unlock();
    return result;
}

// ---- Library-internal operations ----

int decreaseRefCount(IUnknown* object)
{
    ORLIX_ASSERT(object);
    return internalOf(object).refCount.fetch_sub(1, std::memory_order_acq_rel) - 1;
}

int getRefCount(IUnknown* object)
{
    return internalOf(object).refCount.load(std::memory_order_acquire);
}

bool addRefUnlessDisposing(IUnknown* object)
{
    auto& record = internalOf(object);
    int count = record.refCount.load(std::memory_order_relaxed);
    do {
        if (count == 0)
            return false;
    } while (!record.refCount.compare_exchange_weak(count, count + 1, std::memory_order_relaxed));
    record.handedOut.store(1, std::memory_order_release);
    return true;
}

void setObjectTable(IUnknown* object, Detail::CObjectTable* table)
{
    ORLIX_ASSERT(object);
    internalOf(object).objectTable.store(table, std::memory_order_release);
}

void makeInstanceForTable(IUnknown* object)
{
    ORLIX_ASSERT(object);
    handOutCounted(internalOf(object));
}

namespace Detail {

// ---- key_base ----

key_base::~key_base() = default;

// ---- CObjectTable ----

struct CObjectTable::ObjectTableInternal
{
    Infra::CMutex mutex;
    std::vector<IUnknown*> objects; // guarded by mutex (held by the table's user)
};

CObjectTable::CObjectTable() : m_internal(new ObjectTableInternal) {}

CObjectTable::~CObjectTable()
{
    // Objects may outlive the table (it holds no references): their release() must no longer
    // reach for its lock.
    for (IUnknown* object : m_internal->objects) {
        CObjectTable* self = this;
        internalOf(object).objectTable.compare_exchange_strong(self, nullptr,
                                                               std::memory_order_acq_rel);
    }
    delete m_internal;
}

void CObjectTable::lock()
{
    m_internal->mutex.enter();
}

void CObjectTable::unlock()
{
    m_internal->mutex.leave();
}

IUnknown* CObjectTable::find(const key_base& key) const
{
    for (IUnknown* object : m_internal->objects) {
        if (key.matches(object)) {
            makeInstanceForTable(object);
            return object;
        }
    }
    return nullptr;
}

void CObjectTable::insert(IUnknown* object)
{
    setObjectTable(object, this);
    makeInstanceForTable(object);
    m_internal->objects.push_back(object);
}

void CObjectTable::erase(IUnknown* object)
{
    auto& objects = m_internal->objects;
    objects.erase(std::remove(objects.begin(), objects.end(), object), objects.end());
}

unsigned CObjectTable::count() const
{
    return static_cast<unsigned>(m_internal->objects.size());
}

IUnknown* CObjectTable::get(unsigned index) const
{
    ORLIX_ASSERT(index < m_internal->objects.size());
    return m_internal->objects[index];
}

// ---- CComponentHelper: hand-out and reference operations ----

IUnknown* CComponentHelper::makeComponentObject(IUnknown* object)
{
    if (object == nullptr) {
        Infra::setLastError(errCreateObjectFailed);
        return nullptr;
    }
    auto& record = internalOf(object);
    if (record.objectTable.load(std::memory_order_acquire) == nullptr)
        record.handedOut.store(1, std::memory_order_release);
    return object;
}

IUnknown* CComponentHelper::makeComponentInstance(IUnknown* object)
{
    if (object == nullptr) {
        Infra::setLastError(errGetInstanceFailed);
        return nullptr;
    }
    auto& record = internalOf(object);
    if (record.objectTable.load(std::memory_order_acquire) == nullptr)
        handOutCounted(record);
    return object;
}

int CComponentHelper::addRef(IUnknown* object)
{
    return object != nullptr ? object->addRef() : 0;
}

int CComponentHelper::release(IUnknown* object)
{
    if (object == nullptr)
        return 0;
    if (auto* client = dynamic_cast<IClient*>(object))
        return ClientFactory::releaseClientObject(client);
    return object->release();
}

} // namespace Detail

} // namespace Component
} // namespace Orlix
