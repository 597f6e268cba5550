// The packet manager: configuration, the buddy pool and the public facade.
#include "memory/packetmanager_internal.h"

#include "infra/error.h"
#include "infra/print.h"
#include "infra3/diag.h"
#include "infra3/singleton.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

namespace Orlix {
namespace Memory {

using Detail::CPoolLockGuard;

namespace {

// Index of the highest set bit; 0 for both 0 and 1. One bit-scan instruction and no branch
// (a request's size decides between 0 and the rest at random, which a branch mispredicts).
int floorLog2(std::uint64_t x)
{
    return 63 - __builtin_clzll(x | 1);
}

// The process-wide configuration. A function-local static, so that a caller may configure
// from another translation unit's static initialiser without depending on the order in
// which translation units are initialised.
struct PacketManagerConfig
{
    std::atomic<bool> configurable{true};
    CPacketManager::Policy policy = CPacketManager::policySystem;
    CPacketManager::PoolParameter param = {2097152, 1024, 4};
    CPacketManager::MemoryOperator memop;

    PacketManagerConfig()
    {
        memop.malloc = Infra::TFunction1<void*, size_t>(&std::malloc);
        memop.free = Infra::TFunction1<void, void*>(&std::free);
        memop.memcpy = Infra::TFunction3<void*, void*, const void*, size_t>(&std::memcpy);
    }
};

PacketManagerConfig& configState()
{
    static PacketManagerConfig state;
    return state;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Configuration and construction
// ---------------------------------------------------------------------------------------------

void PacketManagerInternal::storeConfig(Policy policy, const CPacketManager::MemoryOperator* memop,
                                        const CPacketManager::PoolParameter* param)
{
    PacketManagerConfig& state = configState();
    if (policy != CPacketManager::policyDefault)
        state.policy = policy;
    if (param != nullptr)
        state.param = *param;
    if (memop != nullptr)
        state.memop = *memop;
}

PacketManagerInternal* PacketManagerInternal::create()
{
    return Infra::Detail::CSingleton<PacketManagerInternal>::instance(
        __FILE__, "PacketManagerInternal::instance", __LINE__);
}

PacketManagerInternal::PacketManagerInternal()
{
    PacketManagerConfig& state = configState();
    state.configurable.store(false, std::memory_order_release);
    m_policy = state.policy;
    m_totalSize = state.param.totalSize;
    m_chunkSize = state.param.chunkSize;
    m_operator = state.memop;

    useSystemOperations();
    // The control record a packet keeps at the end of its block holds pointers, so sizes are
    // never aligned to less than a pointer (4 on 32-bit platforms, as the minimum alignSize).
    const std::uint64_t alignment = std::uint64_t(1) << floorLog2(state.param.alignSize);
    m_alignment = static_cast<std::uint32_t>(alignment < sizeof(void*) ? sizeof(void*) : alignment);

    if (m_policy == CPacketManager::policySystem) {
        logInfo("CPacketManager: System Policy\n");
        return;
    }
    if (m_policy != CPacketManager::policyPool && m_policy != CPacketManager::policyPoolData)
        return;
    if (!buildPool()) {
        m_policy = CPacketManager::policySystem;
        return;
    }
    m_mallocSlot = &PacketManagerInternal::Pool_Malloc;
    m_freeSlot = &PacketManagerInternal::Pool_Free;
    m_memcpySlot = &PacketManagerInternal::Pool_Memcpy;
}

PacketManagerInternal::~PacketManagerInternal()
{
    if (m_pOriginBuffer != nullptr)
        m_operator.free(m_pOriginBuffer);
    std::free(m_nodes);
    std::free(m_bufferLists);
}

void PacketManagerInternal::useSystemOperations()
{
    m_mallocSlot = &PacketManagerInternal::Sys_Malloc;
    m_freeSlot = &PacketManagerInternal::Sys_Free;
    m_memcpySlot = &PacketManagerInternal::Sys_Memcpy;
}

// Obtains the region and the two tables and seeds the free lists. When any of them cannot be
// had, logs an error, gives back what was obtained and returns false: the manager then serves
// every request through the memory operator, which a long-running program prefers to dying
// at start-up.
bool PacketManagerInternal::buildPool()
{
    m_blockCount = static_cast<std::uint32_t>(m_totalSize / m_chunkSize);
    const size_t regionSize = (size_t(m_blockCount) + 1) * m_chunkSize;
    m_chunkShift = static_cast<std::uint32_t>(floorLog2(m_chunkSize));
    m_orderCount = floorLog2(m_blockCount) + 1;

    unsigned char* region = static_cast<unsigned char*>(m_operator.malloc(regionSize));
    if (region == nullptr) {
        logError(ORLIX_OBJ_FMT "CPacketManager: the pool's %zu bytes could not be obtained from "
                               "the memory operator; falling back to the system policy\n",
                 ORLIX_OBJ_ARGS, regionSize);
        return false;
    }
    const size_t nodeBytes = sizeof(BufferNode) * m_blockCount;
    const size_t listBytes = sizeof(BufferList) * size_t(m_orderCount);
    m_nodes = static_cast<BufferNode*>(std::malloc(nodeBytes > 0 ? nodeBytes : 1));
    m_bufferLists = static_cast<BufferList*>(std::malloc(listBytes));
    if (m_nodes == nullptr || m_bufferLists == nullptr) {
        logError(ORLIX_OBJ_FMT "CPacketManager: the pool's tables (%zu bytes) could not be "
                               "allocated; falling back to the system policy\n",
                 ORLIX_OBJ_ARGS, nodeBytes + listBytes);
        m_operator.free(region);
        std::free(m_nodes);
        std::free(m_bufferLists);
        m_nodes = nullptr;
        m_bufferLists = nullptr;
        return false;
    }
    m_pOriginBuffer = region;
    const std::uintptr_t mask = std::uintptr_t(m_chunkSize) - 1;
    m_pAlignedBuffer =
        region + ((m_chunkSize - (reinterpret_cast<std::uintptr_t>(region) & mask)) & mask);
    seedFreeLists();

    logInfo("CPacketManager: malloc total(%zu) pagesize(%zu)blockCount (%d) ManagermentSize(%zu)\n",
            m_totalSize, m_chunkSize, static_cast<int>(m_blockCount), nodeBytes + listBytes);
    logInfo("                AddrRange(%p-%p)\n", static_cast<void*>(m_pAlignedBuffer),
            static_cast<void*>(m_pAlignedBuffer + m_totalSize));
    return true;
}

// Every chunk starts inside no block; then the block count is split by its set bits, largest
// first from chunk 0 upwards: 3072 chunks become a block of order 11 at 0 and one of order
// 10 at 2048.
void PacketManagerInternal::seedFreeLists()
{
    for (std::uint32_t i = 0; i < m_blockCount; ++i) {
        BufferNode& node = m_nodes[i];
        node.realIdx = static_cast<std::int32_t>(i);
        node.order = 0;
        node.addr = m_pAlignedBuffer + (size_t(i) << m_chunkShift);
        node.pre = nullptr;
        node.next = nullptr;
    }
    for (std::int32_t j = 0; j < m_orderCount; ++j) {
        BufferList& head = m_bufferLists[j];
        head.realIdx = 0;
        head.order = j + 1;
        head.addr = nullptr;
        head.pre = &head;
        head.next = &head;
    }
    std::uint32_t rest = m_blockCount;
    std::uint32_t start = 0;
    for (std::int32_t j = m_orderCount - 1; j >= 0; --j) {
        const std::uint32_t blocks = std::uint32_t(1) << j;
        if (rest < blocks)
            continue;
        rest -= blocks;
        m_nodes[start].order = j + 1;
        pushBack(j, &m_nodes[start]);
        start += blocks;
    }
}

// ---------------------------------------------------------------------------------------------
// Free lists
// ---------------------------------------------------------------------------------------------

void PacketManagerInternal::pushFront(std::int32_t j, BufferNode* node)
{
    BufferList* head = &m_bufferLists[j];
    m_freeMask |= std::uint64_t(1) << j;
    node->pre = head;
    node->next = head->next;
    head->next->pre = node;
    head->next = node;
}

void PacketManagerInternal::pushBack(std::int32_t j, BufferNode* node)
{
    BufferList* head = &m_bufferLists[j];
    m_freeMask |= std::uint64_t(1) << j;
    node->next = head;
    node->pre = head->pre;
    head->pre->next = node;
    head->pre = node;
}

void PacketManagerInternal::unlink(std::int32_t j, BufferNode* node)
{
    node->pre->next = node->next;
    node->next->pre = node->pre;
    // The list is empty again when its head now points to itself.
    const BufferList* head = &m_bufferLists[j];
    if (head->next == head)
        m_freeMask &= ~(std::uint64_t(1) << j);
    node->pre = nullptr;
    node->next = nullptr;
    node->order = 0;
}

// ---------------------------------------------------------------------------------------------
// The operations behind the three slots
// ---------------------------------------------------------------------------------------------

void* PacketManagerInternal::Sys_Malloc(size_t& size)
{
    return m_operator.malloc(size);
}

void PacketManagerInternal::Sys_Free(void* p)
{
    if (p != nullptr)
        m_operator.free(p);
}

void* PacketManagerInternal::Sys_Memcpy(void* dst, const void* src, size_t len)
{
    return m_operator.memcpy(dst, src, len);
}

// Whether releasing the allocated block `index` of order k and then asking for order k
// again would hand out the same block and leave every list, node and mask bit as it is now.
// The release merges upwards while the buddy is free; the request then takes the lowest
// non-empty list of order k or above and splits it, keeping the lower halves. Both cancel
// out exactly when, at every level l that the release would merge, the block lies in the
// upper half (its buddy below it) and that buddy is the only entry of list l: the merge
// empties lists k..m-1 and pushes the merged block to the front of list m, the request
// finds list m first, takes that front entry and splits it back into the same buddies, each
// again the only entry of its list, and returns the top part, the block itself.
inline bool PacketManagerInternal::releaseWouldComeStraightBack(std::int32_t index,
                                                                std::int32_t k) const
{
    std::uint32_t id = static_cast<std::uint32_t>(index);
    for (std::int32_t l = k; l + 1 < m_orderCount; ++l) {
        const std::uint32_t bit = std::uint32_t(1) << l;
        const std::uint32_t buddy = id ^ bit;
        if (buddy >= m_blockCount || m_nodes[buddy].order != l + 1)
            return true; // the merge stops here
        const BufferNode* node = &m_nodes[buddy];
        const BufferList* head = &m_bufferLists[l];
        if ((id & bit) == 0 || head->next != node || head->pre != node)
            return false;
        id = buddy;
    }
    return true;
}

// Cost: the order (one bit scan) outside the lock; the failure log line after it. Inside:
//  - when the previous operation released a block of this order that the request gets
//    straight back without any list changing (m_pending): the test of that (a compare when
//    it passed for this block before, else loads only, one pair per level the release would
//    merge) and two stores;
//  - otherwise allocateLocked: the deferred merge of that release, one find-first-set on
//    m_freeMask to pick the list, an unlink and one list push per split step (at most
//    m_orderCount of them, none when a block of the right order is free).
void* PacketManagerInternal::Pool_Malloc(size_t& size)
{
    // The smallest k with 2^k chunks >= size. Sizes of 0 and beyond the pool are refused
    // before the 32-bit order arithmetic, which could not represent them.
    std::int32_t k = m_orderCount;
    if (size > 0 && size <= m_totalSize)
        k = floorLog2(static_cast<std::uint32_t>(size - 1) >> (m_chunkShift - 1));
    if (k >= m_orderCount)
        return refuse();

    BufferNode* taken;
    m_mutex.lock();
    const std::int32_t pending = m_pending;
    if (pending >= 0 && m_nodes[pending].order == -(k + 1) &&
        (pending == m_verified || releaseWouldComeStraightBack(pending, k))) {
        // The block never left the allocated state: give it back as it is.
        m_pending = -1;
        m_verified = pending;
        taken = &m_nodes[pending];
    } else {
        taken = allocateLocked(k);
    }
    m_mutex.unlock();
    if (taken == nullptr)
        return refuse();
    size = m_chunkSize << k;
    return taken->addr;
}

void* PacketManagerInternal::refuse()
{
    logInfo("CPacket No Free Space\n");
    return nullptr;
}

// The request of order k under the lock when it does not simply take back the block just
// released: returns the block's head node (marked allocated), or null when no list of order
// k or above has a block.
BufferNode* PacketManagerInternal::allocateLocked(std::int32_t k)
{
    if (m_pending >= 0)
        applyPendingRelease();
    m_verified = -1;
    // The lowest non-empty list of order k or above: the one the upward scan would find.
    const std::uint64_t usable = m_freeMask & (~std::uint64_t(0) << k);
    if (usable == 0)
        return nullptr;
    std::int32_t j = __builtin_ctzll(usable);
    BufferNode* taken = m_bufferLists[j].next;
    unlink(j, taken);
    std::int32_t s = taken->realIdx;
    // Keep the lower halves free; the caller gets the highest-addressed part.
    while (j > k) {
        --j;
        m_nodes[s].order = j + 1;
        pushFront(j, &m_nodes[s]);
        s += std::int32_t(1) << j;
    }
    taken = &m_nodes[s];
    taken->order = -(k + 1);
    return taken;
}

// The merge of the deferred release (Pool_Free's steps 3 to 5): a buddy test per merge step
// (an XOR and a load), an unlink per merge and one push.
void PacketManagerInternal::applyPendingRelease()
{
    const std::uint32_t id = static_cast<std::uint32_t>(m_pending);
    m_pending = -1;
    m_verified = -1;
    BufferNode* node = &m_nodes[id];
    std::int32_t v = -node->order;
    node->order = 0;
    std::uint32_t index = id;
    while (v < m_orderCount) {
        const std::uint32_t buddy = index ^ (std::uint32_t(1) << (v - 1));
        if (buddy >= m_blockCount || m_nodes[buddy].order != v)
            break;
        unlink(v - 1, &m_nodes[buddy]);
        index &= ~(std::uint32_t(1) << (v - 1));
        ++v;
    }
    m_nodes[index].order = v;
    pushFront(v - 1, &m_nodes[index]);
}

// Stops with an assertion naming the fault for every pointer that is not the start of an
// allocated block: each such release would otherwise corrupt the free lists silently, and
// all of them are caught by a range test, a mask and the node's own order field.
// Cost: the range and boundary checks outside the lock; inside it the merge of an earlier
// deferred release if one is waiting (only when releases follow each other), the order
// check, and one store, a dozen instructions besides the lock: the merge itself is deferred
// to the next operation on the pool (see m_pending), which mostly finds nothing to merge
// because it is a request that gets this very block back.
void PacketManagerInternal::Pool_Free(void* p)
{
    if (p == nullptr)
        return;
    const std::intptr_t offset =
        reinterpret_cast<std::intptr_t>(p) - reinterpret_cast<std::intptr_t>(m_pAlignedBuffer);
    const std::intptr_t id = offset >> m_chunkShift;
    const std::intptr_t blockCount = m_blockCount;
    const std::intptr_t chunkMask = static_cast<std::intptr_t>(m_chunkSize) - 1;
    ORLIX_ASSERT_MSG(id >= 0, "Pool_Free: the pointer lies below the pool");
    ORLIX_ASSERT_MSG(id < blockCount, "Pool_Free: the pointer lies beyond the end of the pool");
    ORLIX_ASSERT_MSG((offset & chunkMask) == 0,
                     "Pool_Free: the pointer is not on a chunk boundary (inside a block)");

    CPoolLockGuard guard(m_mutex);
    // The checks below read the lists as they are with every earlier release applied.
    if (m_pending >= 0)
        applyPendingRelease();
    const std::int32_t order = m_nodes[id].order;
    ORLIX_ASSERT_MSG(order <= 0, "Pool_Free: the block is already free (released twice)");
    ORLIX_ASSERT_MSG(order < 0, "Pool_Free: the pointer is not the start of an allocated block "
                                "(inside a block, or released twice)");
    m_pending = static_cast<std::int32_t>(id);
}

void* PacketManagerInternal::Pool_Memcpy(void* dst, const void* src, size_t len)
{
    if (inPool(dst) && inPool(src))
        return m_operator.memcpy(dst, src, len);
    return std::memcpy(dst, src, len);
}

// ---------------------------------------------------------------------------------------------
// Queries
// ---------------------------------------------------------------------------------------------

size_t PacketManagerInternal::freeSize()
{
    if (!hasPool())
        return 0;
    size_t chunks = 0;
    CPoolLockGuard guard(m_mutex);
    if (m_pending >= 0)
        applyPendingRelease();
    for (std::int32_t j = 0; j < m_orderCount; ++j) {
        const BufferList* head = &m_bufferLists[j];
        for (const BufferNode* node = head->next; node != head; node = node->next)
            chunks += size_t(1) << j;
    }
    return chunks * m_chunkSize;
}

void PacketManagerInternal::dumpFreeLists()
{
    if (!hasPool())
        return;
    CPoolLockGuard guard(m_mutex);
    if (m_pending >= 0)
        applyPendingRelease();
    for (std::int32_t i = 0; i < m_orderCount; ++i) {
        BufferList* head = &m_bufferLists[i];
        logInfo("BufferList id:%d, order(%d) head(%p), headpre(%p)next(%p)\n", i, head->order,
                static_cast<void*>(head), static_cast<void*>(head->pre),
                static_cast<void*>(head->next));
        int position = 0;
        for (BufferNode* node = head->next; node != head; node = node->next, ++position) {
            logInfo("bufflist(%d)id: %d, realIdx(%d)self(%p)order(%d) pre(%p), next(%p)\n", i,
                    position, node->realIdx, static_cast<void*>(node), node->order,
                    static_cast<void*>(node->pre), static_cast<void*>(node->next));
        }
    }
}

std::vector<int> PacketManagerInternal::freeListIndices(int order)
{
    std::vector<int> indices;
    if (!hasPool() || order < 0 || order >= m_orderCount)
        return indices;
    CPoolLockGuard guard(m_mutex);
    if (m_pending >= 0)
        applyPendingRelease();
    const BufferList* head = &m_bufferLists[order];
    for (const BufferNode* node = head->next; node != head; node = node->next)
        indices.push_back(node->realIdx);
    return indices;
}

int PacketManagerInternal::nodeOrder(int index)
{
    if (!hasPool() || index < 0 || std::uint32_t(index) >= m_blockCount)
        return 0;
    CPoolLockGuard guard(m_mutex);
    if (m_pending >= 0)
        applyPendingRelease();
    return m_nodes[index].order;
}

// ---------------------------------------------------------------------------------------------
// CPacketManager
// ---------------------------------------------------------------------------------------------

void CPacketManager::config(Policy policy, MemoryOperator* memop, PoolParameter* param)
{
    if (!configState().configurable.load(std::memory_order_acquire)) {
        logWarn(ORLIX_FN_FMT "PacketManagerInternal::config() failured: Packet Manager has been "
                             "configured!\n",
                ORLIX_FN_ARGS);
        return;
    }
    ORLIX_ASSERT(policy >= policyDefault && policy <= policyNone);
    if (param != nullptr) {
        ORLIX_ASSERT(param->chunkSize >= 1024 && param->chunkSize > 0 &&
                     param->totalSize % param->chunkSize == 0);
        ORLIX_ASSERT((param->chunkSize & (param->chunkSize - 1)) == 0);
        ORLIX_ASSERT(param->totalSize <= 0xFFFFFFFFu);
        ORLIX_ASSERT(param->alignSize >= 4);
    }
    if (memop != nullptr)
        ORLIX_ASSERT(!memop->malloc.empty() && !memop->free.empty() && !memop->memcpy.empty());
    PacketManagerInternal::storeConfig(policy, memop, param);
}

CPacketManager* CPacketManager::instance()
{
    return Infra::Detail::CSingleton<CPacketManager>::instance(__FILE__, "CPacketManager::instance",
                                                               __LINE__);
}

CPacketManager::CPacketManager() : m_internal(PacketManagerInternal::instance()) {}

CPacketManager::~CPacketManager()
{
    m_internal = nullptr;
}

void* CPacketManager::malloc(unsigned int size)
{
    size_t rounded = size;
    return m_internal->m_malloc(rounded);
}

void CPacketManager::free(void* p)
{
    m_internal->m_free(p);
}

void* CPacketManager::memcpy(void* dst, const void* src, unsigned int len)
{
    return m_internal->m_memcpy(dst, src, len);
}

unsigned int CPacketManager::getBufferSize() const
{
    return static_cast<unsigned int>(PacketManagerInternal::instance()->totalSize());
}

unsigned int CPacketManager::getFreeSize() const
{
    return static_cast<unsigned int>(PacketManagerInternal::instance()->freeSize());
}

unsigned char* CPacketManager::getPoolBuffer() const
{
    return PacketManagerInternal::instance()->originBuffer();
}

void CPacketManager::dumpNodes() const
{
    PacketManagerInternal* pool = PacketManagerInternal::instance();
    switch (pool->getPolicy()) {
    case policyPool:
        logInfo("CPacketManager: dump FreeList\n");
        pool->dumpFreeLists();
        break;
    case policySystem:
    case policyPoolData:
        logInfo("CPacketManager dump: SYS Policy\n");
        break;
    default:
        break;
    }
}

} // namespace Memory
} // namespace Orlix
