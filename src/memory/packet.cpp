// Memory::CPacket and its control record.
#include "memory/packet_internal.h"

#include "infra/error.h"
#include "infra/print.h"
#include "infra3/diag.h"
#include "memory/packetmanager_internal.h"
#include "memory/spinlock.h"

#include <climits>
#include <cstdlib>
#include <new>

namespace Orlix {
namespace Memory {

namespace {

constexpr size_t R = sizeof(OldPacketInternal);

// The record is placed at the end of blocks whose sizes are multiples of the packet
// manager's alignment, which is never below a pointer's size.
static_assert(alignof(OldPacketInternal) <= sizeof(void*),
              "the control record must not need more than pointer alignment");

std::uint32_t clampToUnsigned(size_t n)
{
    return n > UINT_MAX ? UINT_MAX : static_cast<std::uint32_t>(n);
}

void logHeapFailure(size_t bytes)
{
    logError(ORLIX_FN_FMT "PacketInternal::create(): malloc failured! size(%zu)\n", ORLIX_FN_ARGS,
             bytes);
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Creation
// ---------------------------------------------------------------------------------------------

OldPacketInternal* OldPacketInternal::placeAtEnd(void* block, size_t blockSize)
{
    return new (static_cast<unsigned char*>(block) + blockSize - R) OldPacketInternal;
}

PacketInternal* OldPacketInternal::createBySize(unsigned int size, unsigned int extSize)
{
    PacketManagerInternal* manager = PacketManagerInternal::instance();
    const size_t H = manager->alignUp(size_t(extSize) + R);

    switch (manager->getPolicy()) {
    case CPacketManager::policySystem:
    case CPacketManager::policyPool: {
        // Cost under the pool: the pool's request (see Pool_Malloc; called directly, the
        // policy being known) and the record's construction at the block's end.
        size_t T = manager->alignUp(size) + H;
        unsigned char* block = static_cast<unsigned char*>(
            manager->getPolicy() == CPacketManager::policyPool ? manager->Pool_Malloc(T)
                                                               : manager->m_malloc(T));
        if (block == nullptr) {
            logInfo("PacketInternal::create(): NO enough, need size(%zu) ext(%zu)\n", size_t(size),
                    size_t(extSize));
            return nullptr;
        }
        OldPacketInternal* record = placeAtEnd(block, T);
        record->m_data = block;
        record->m_size = size;
        record->m_capacity = clampToUnsigned(T - H);
        record->m_extraData = block + (T - H);
        record->m_extraSize = static_cast<std::uint8_t>(extSize);
        return record;
    }
    case CPacketManager::policyPoolData: {
        size_t D = size;
        unsigned char* data = nullptr;
        if (size > 0) {
            data = static_cast<unsigned char*>(manager->m_malloc(D));
            if (data == nullptr) {
                logInfo("PacketInternal::create(): 2 NO enough, need size(%zu) ext(%zu)\n",
                        size_t(size), size_t(extSize));
                return nullptr;
            }
        }
        void* heap = std::malloc(H);
        if (heap == nullptr) {
            manager->m_free(data);
            logHeapFailure(H);
            return nullptr;
        }
        OldPacketInternal* record = placeAtEnd(heap, H);
        record->m_data = data;
        record->m_size = size;
        record->m_capacity = size > 0 ? clampToUnsigned(D) : 0;
        record->m_extraData = heap;
        record->m_extraSize = static_cast<std::uint8_t>(extSize);
        return record;
    }
    default:
        logDebug("tracepoint: %s, %d.\n", __FILE__, __LINE__);
        return nullptr;
    }
}

PacketInternal* OldPacketInternal::createView(const CPacket& parent, unsigned int offset,
                                              unsigned int size, unsigned int extSize)
{
    PacketManagerInternal* manager = PacketManagerInternal::instance();
    const unsigned int parentSize = parent.size();
    if (!(offset < parentSize && size <= parentSize - offset)) {
        logWarn(ORLIX_FN_FMT "PacketInternal::create() offset or size is invalid!! "
                             "huge_size(%zu), offset(%zu), size(%zu)\n",
                ORLIX_FN_ARGS, size_t(parentSize), size_t(offset), size_t(size));
        return nullptr;
    }
    const size_t H = manager->alignUp(size_t(extSize) + R);
    void* heap = std::malloc(H);
    if (heap == nullptr) {
        logHeapFailure(H);
        return nullptr;
    }
    CPacket* parentCopy = new (std::nothrow) CPacket(parent);
    if (parentCopy == nullptr) {
        std::free(heap);
        logHeapFailure(sizeof(CPacket));
        return nullptr;
    }
    OldPacketInternal* record = placeAtEnd(heap, H);
    unsigned char* parentData = parent.getBuffer();
    record->m_data = parentData != nullptr ? parentData + offset : nullptr;
    record->m_size = size;
    record->m_capacity = size;
    record->m_extraData = heap;
    record->m_extraSize = static_cast<std::uint8_t>(extSize);
    record->m_kind = kindView;
    record->m_parent = parentCopy;
    return record;
}

PacketInternal* OldPacketInternal::createUserBuffer(void* buffer, unsigned int size,
                                                    const CPacket::Deleter& deleter)
{
    PacketManagerInternal::instance();
    OldPacketInternal* record = new (std::nothrow) OldPacketInternal;
    if (record == nullptr) {
        logHeapFailure(R);
        return nullptr;
    }
    record->m_data = static_cast<unsigned char*>(buffer);
    record->m_size = size;
    record->m_capacity = size;
    record->m_kind = kindUserBuffer;
    record->m_deleter = deleter;
    return record;
}

// The extra area of a deferred packet is a separate heap block. When it cannot be had the
// creation fails: a packet that reports an extra size without an area behind it would
// invite the caller to write through a null pointer.
PacketInternal* OldPacketInternal::createDeferred(unsigned int size,
                                                  const CPacket::Deleter& deleter, void* context,
                                                  unsigned int extSize)
{
    PacketManagerInternal::instance();
    void* extra = nullptr;
    if (extSize > 0) {
        extra = std::malloc(extSize);
        if (extra == nullptr) {
            logHeapFailure(extSize);
            return nullptr;
        }
    }
    OldPacketInternal* record = new (std::nothrow) OldPacketInternal;
    if (record == nullptr) {
        std::free(extra);
        logHeapFailure(R);
        return nullptr;
    }
    record->m_size = size;
    record->m_capacity = size;
    record->m_extraData = extra;
    record->m_extraSize = static_cast<std::uint8_t>(extSize);
    record->m_deferred = true;
    record->m_attachDeleter = deleter;
    record->m_attachContext = context;
    return record;
}

// ---------------------------------------------------------------------------------------------
// The record's operations
// ---------------------------------------------------------------------------------------------

// Cost: one locked increment. Relaxed: a new handle is made from an existing one, which
// already orders everything before it. While the process has only ever had one thread the
// increment is a plain load and store of the same atomic (no other thread exists to see the
// count between them), as libstdc++'s shared_ptr does.
int OldPacketInternal::addRef()
{
    if (Detail::processIsSingleThreaded()) {
        const std::int32_t count = m_refCount.load(std::memory_order_relaxed) + 1;
        m_refCount.store(count, std::memory_order_relaxed);
        return count;
    }
    return m_refCount.fetch_add(1, std::memory_order_relaxed) + 1;
}

// The decrement releases this thread's writes to the data and the acquire side makes every
// other handle's writes visible to the thread that runs destroy() (and the deleters).
// Cost: one locked decrement, except for the last handle. A count of 1 seen by a holder
// means no other handle exists that could copy the record meanwhile, so the last release
// skips the read-modify-write: its acquire load pairs with the other handles' release
// decrements just as the decrement's acquire side would.
int OldPacketInternal::release()
{
    const std::int32_t current = m_refCount.load(std::memory_order_acquire);
    if (current == 1) {
        destroy();
        return 0;
    }
    if (Detail::processIsSingleThreaded()) {
        m_refCount.store(current - 1, std::memory_order_relaxed);
        return current - 1;
    }
    const std::int32_t count = m_refCount.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (count == 0)
        destroy();
    return count;
}

unsigned int OldPacketInternal::putBuffer(void* data, unsigned int len)
{
    if (m_deferred) {
        m_data = static_cast<unsigned char*>(data);
        m_size = len;
        return len;
    }
    const unsigned int n = len < m_capacity - m_size ? len : m_capacity - m_size;
    if (n > 0) {
        PacketManagerInternal::instance()->m_memcpy(m_data + m_size, data, n);
        m_size += n;
    }
    return n;
}

bool OldPacketInternal::resize(unsigned int n)
{
    if (n > m_capacity)
        return false;
    m_size = n;
    return true;
}

void OldPacketInternal::cleanup()
{
    if (m_deferred) {
        std::free(m_extraData);
        if (m_data != nullptr && !m_attachDeleter.empty())
            m_attachDeleter(m_attachContext, m_capacity);
        return;
    }
    if (m_kind == kindView) {
        delete m_parent;
    } else if (m_kind == kindUserBuffer) {
        if (!m_deleter.empty())
            m_deleter(m_data, m_size);
    }
}

void OldPacketInternal::destroy()
{
    // Under the pool policy the only records inside the pool are those of packets made by
    // size (views, deferred and caller-buffer records come from the heap), so the record's
    // address alone tells its kind, without reading the record's other cache lines. Such a
    // record owns nothing (its delegates are empty, it has no parent), so its storage goes
    // back with the block without running its destructor, which would only clear them.
    // Cost: the address test and the pool's release (see Pool_Free).
    PacketManagerInternal* const manager = PacketManagerInternal::instance();
    if (manager->getPolicy() == CPacketManager::policyPool && manager->inPool(this)) {
        manager->Pool_Free(m_data);
        return;
    }
    if (m_deferred) {
        cleanup();
        delete this;
        return;
    }
    switch (m_kind) {
    case kindAllocated: {
        // A packet made by size has nothing to clean up (no deleter, no parent): under the
        // system policy its end is one release of its block, which holds the record and the
        // extra area too (the pool's packets were handled above).
        const CPacketManager::Policy policy = manager->getPolicy();
        if (policy == CPacketManager::policySystem) {
            unsigned char* block = m_data;
            this->~OldPacketInternal();
            manager->m_free(block);
        } else if (policy == CPacketManager::policyPoolData) {
            unsigned char* data = m_data;
            void* heap = m_extraData; // the record lives at this heap block's end
            this->~OldPacketInternal();
            manager->m_free(data);
            std::free(heap);
        }
        return;
    }
    case kindView: {
        void* heap = m_extraData;
        cleanup();
        this->~OldPacketInternal();
        std::free(heap);
        return;
    }
    case kindUserBuffer:
        cleanup();
        delete this;
        return;
    default:
        Infra::Detail::assertionFailedMsg("false", "PacketInternal::destroy(): unreachable!\n",
                                          ORLIX_FUNCTION, __FILE__, __LINE__);
    }
}

// ---------------------------------------------------------------------------------------------
// CPacket
// ---------------------------------------------------------------------------------------------

namespace {

// OldPacketInternal is the one (final) implementation of PacketInternal, so the handle calls
// the record's operations directly rather than through its virtual table: the copies, the
// reads and the last release of a packet are then inlined here, a few instructions each.
OldPacketInternal* recordOf(PacketInternal* record)
{
    return static_cast<OldPacketInternal*>(record);
}

} // namespace

CPacket::CPacket() : m_internal(nullptr) {}

CPacket::CPacket(unsigned int size, unsigned int extSize)
    : m_internal(OldPacketInternal::createBySize(size, extSize))
{}

CPacket::CPacket(void* buffer, unsigned int size, Deleter deleter)
    : m_internal(OldPacketInternal::createUserBuffer(buffer, size, deleter))
{}

CPacket::CPacket(unsigned int size, Deleter deleter, void* context, unsigned int extSize)
    : m_internal(OldPacketInternal::createDeferred(size, deleter, context, extSize))
{}

CPacket::CPacket(const CPacket& parent, unsigned int offset, unsigned int size,
                 unsigned int extSize)
    : m_internal(OldPacketInternal::createView(parent, offset, size, extSize))
{}

CPacket::CPacket(const CPacket& other) : m_internal(other.m_internal)
{
    if (m_internal != nullptr)
        recordOf(m_internal)->addRef();
}

// Takes the new reference before letting go of the old one, so that assigning a packet from
// something the old record keeps alive (a view's parent) stays safe.
CPacket& CPacket::operator=(const CPacket& other)
{
    if (m_internal == other.m_internal)
        return *this;
    PacketInternal* old = m_internal;
    m_internal = other.m_internal;
    if (m_internal != nullptr)
        recordOf(m_internal)->addRef();
    if (old != nullptr)
        recordOf(old)->release();
    return *this;
}

CPacket::~CPacket()
{
    if (m_internal != nullptr)
        recordOf(m_internal)->release();
}

bool CPacket::valid() const
{
    return m_internal != nullptr;
}

void CPacket::reset()
{
    PacketInternal* old = m_internal;
    m_internal = nullptr;
    if (old != nullptr)
        recordOf(old)->release();
}

unsigned int CPacket::size() const
{
    return m_internal != nullptr ? recordOf(m_internal)->size() : 0;
}

unsigned int CPacket::capacity() const
{
    return m_internal != nullptr ? recordOf(m_internal)->capacity() : 0;
}

unsigned int CPacket::getExtraSize() const
{
    return m_internal != nullptr ? recordOf(m_internal)->getExtraSize() : 0;
}

unsigned char* CPacket::getBuffer() const
{
    return m_internal != nullptr ? recordOf(m_internal)->getBuffer() : nullptr;
}

void* CPacket::getExtraData() const
{
    return m_internal != nullptr ? recordOf(m_internal)->getExtraData() : nullptr;
}

unsigned int CPacket::putBuffer(void* data, unsigned int len)
{
    return m_internal != nullptr ? recordOf(m_internal)->putBuffer(data, len) : 0;
}

bool CPacket::resize(unsigned int n)
{
    return m_internal != nullptr && recordOf(m_internal)->resize(n);
}

} // namespace Memory
} // namespace Orlix
