// The packet manager's pool (internal).
//
// PacketManagerInternal is the process-wide singleton behind CPacketManager and the packets.
// It is built on first use from the configuration that CPacketManager::config() stored, and
// from then on the policy, the pool's geometry and the memory operator are fixed.
//
// Pool layout. The region obtained from the operator is (m_blockCount + 1) chunks, so that
// m_pAlignedBuffer, the region rounded up to a chunk boundary, still has m_blockCount whole
// chunks behind it. Every chunk has one BufferNode in m_nodes (indexed by chunk number), and
// every order j has one BufferList head in m_bufferLists. A block of order k is 2^k chunks
// whose first index is a multiple of 2^k; it is represented by the node of its first chunk,
// whose `order` field says what the block is:
//     k + 1      head of a free block of order k (and linked in list k);
//     -(k + 1)   head of an allocated block of order k;
//     0          any other chunk (inside a block).
// The lists are circular, doubly linked through the nodes themselves, and used last-in
// first-out. Beside them m_freeMask has bit j set exactly when list j is not empty, so an
// allocation finds the first usable order with one find-first-set instead of a walk over
// the list heads. All list, mask and `order` changes happen under m_mutex; the geometry is
// fixed at construction and read without it.
//
// Costs. An allocation or a release is one pool-lock round trip (see memory/spinlock.h)
// around at most m_orderCount split or merge steps of a few pointer writes each; logging and
// the size computation run outside the lock, and nothing in the locked region allocates or
// calls out. A release defers its merge to the next operation (m_pending), so that a request
// which would only undo it (the release and re-request of a packet's block, the common case
// of a packet's life in an otherwise idle pool) costs a test instead of m_orderCount merges
// and as many splits.
#ifndef ORLIX_SRC_MEMORY_PACKETMANAGER_INTERNAL_H
#define ORLIX_SRC_MEMORY_PACKETMANAGER_INTERNAL_H

#include "infra/packetmanager.h"

#include "infra3/singleton.h"
#include "memory/spinlock.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace Orlix {
namespace Memory {

// One chunk's record; also the layout of a free-list head (realIdx and addr unused there).
struct BufferNode
{
    std::int32_t realIdx;
    std::int32_t order;
    unsigned char* addr;
    BufferNode* pre;
    BufferNode* next;
};

using BufferList = BufferNode;

class PacketManagerInternal
{
public:
    using Policy = CPacketManager::Policy;

    // The singleton, built on first call; ends the configuration phase. Inline: once the
    // manager exists this is one load and a test (every packet asks for it).
    static PacketManagerInternal* instance()
    {
        PacketManagerInternal* manager = Infra::Detail::CSingleton<PacketManagerInternal>::peek();
        return manager != nullptr ? manager : create();
    }

    // Stores configuration while the configuration phase lasts (see CPacketManager::config);
    // the arguments were checked by the caller.
    static void storeConfig(Policy policy, const CPacketManager::MemoryOperator* memop,
                            const CPacketManager::PoolParameter* param);

    // The policy in force: the configured one, or policySystem when the pool's memory could
    // not be obtained.
    Policy getPolicy() const { return m_policy; }

    // n rounded up to a multiple of the alignment.
    size_t alignUp(size_t n) const { return (n + m_alignment - 1) & ~(size_t(m_alignment) - 1); }

    // Allocates under the policy; a pool allocation writes the block's real size into size.
    void* m_malloc(size_t& size) { return (this->*m_mallocSlot)(size); }
    // Releases what m_malloc returned; null does nothing.
    void m_free(void* p) { (this->*m_freeSlot)(p); }
    // Copies len bytes; under the pool policies the operator copies only inside the pool.
    void* m_memcpy(void* dst, const void* src, size_t len)
    {
        return (this->*m_memcpySlot)(dst, src, len);
    }

    // The operations behind the slots under the pool policies, for callers that know the
    // policy (the packets): the same as m_malloc and m_free without the indirect call.
    void* Pool_Malloc(size_t& size);
    void Pool_Free(void* p);

    // True when p lies in the pool's span; meaningful only while a pool is built (under
    // policyPool and policyPoolData). One subtraction and one compare.
    bool inPool(const void* p) const
    {
        const std::uintptr_t begin = reinterpret_cast<std::uintptr_t>(m_pAlignedBuffer);
        return reinterpret_cast<std::uintptr_t>(p) - begin < m_totalSize;
    }

    // True when a pool is built (pool policy in force).
    bool hasPool() const { return m_pOriginBuffer != nullptr; }
    // The pool's usable size, 0 without a pool.
    size_t totalSize() const { return hasPool() ? m_totalSize : 0; }
    // Free bytes of the pool (sum over the free lists), 0 without a pool.
    size_t freeSize();
    // The region obtained for the pool, or null.
    unsigned char* originBuffer() const { return m_pOriginBuffer; }
    // Logs every free list at info level (does nothing without a pool).
    void dumpFreeLists();

    // Geometry and list state, for tests and diagnostics.
    unsigned int blockCount() const { return m_blockCount; }
    int orderCount() const { return m_orderCount; }
    size_t chunkSize() const { return m_chunkSize; }
    size_t alignment() const { return m_alignment; }
    unsigned char* alignedBuffer() const { return m_pAlignedBuffer; }
    // The chunk indices in free list `order`, front to back.
    std::vector<int> freeListIndices(int order);
    // The `order` field of chunk index's node (see the top of this file).
    int nodeOrder(int index);

private:
    PacketManagerInternal();
    ~PacketManagerInternal();
    PacketManagerInternal(const PacketManagerInternal&) = delete;
    PacketManagerInternal& operator=(const PacketManagerInternal&) = delete;
    template <class T>
    friend class Infra::Detail::CSingleton;

    static PacketManagerInternal* create();
    bool buildPool();
    void seedFreeLists();
    void useSystemOperations();

    void* Sys_Malloc(size_t& size);
    void Sys_Free(void* p);
    void* Sys_Memcpy(void* dst, const void* src, size_t len);
    void* Pool_Memcpy(void* dst, const void* src, size_t len);

    // List j's membership changes; each keeps bit j of m_freeMask in step.
    void pushFront(std::int32_t j, BufferNode* node);
    void pushBack(std::int32_t j, BufferNode* node);
    void unlink(std::int32_t j, BufferNode* node);
    bool releaseWouldComeStraightBack(std::int32_t index, std::int32_t k) const;
    __attribute__((noinline)) void applyPendingRelease();
    __attribute__((noinline)) BufferNode* allocateLocked(std::int32_t k);
    __attribute__((noinline, cold)) static void* refuse();

    unsigned char* m_pOriginBuffer = nullptr;
    unsigned char* m_pAlignedBuffer = nullptr;
    BufferNode* m_nodes = nullptr; // nodes' order and links: under m_mutex
    std::uint32_t m_chunkShift = 0;
    BufferList* m_bufferLists = nullptr; // under m_mutex
    std::uint32_t m_blockCount = 0;
    std::int32_t m_orderCount = 0;
    // The pool lock rather than the library's re-entrant CMutex or std::mutex: the list work
    // never nests, never blocks and is a few dozen instructions, and the lock's uncontended
    // paths are inlined here (no library call; plain stores while the process has one
    // thread). Measured per malloc/free pair on two threads at once: CMutex 460 ns,
    // std::mutex 45-127 ns.
    // The lock and everything that changes under it besides the nodes and list heads share
    // one cache line and nothing else: a thread that takes the lock brings in all it writes
    // with one transfer, and the fields fixed at construction (above and below) stay cached
    // on every core instead of bouncing with the lock between threads.
    alignas(64) Detail::CPoolLock m_mutex;
    // Bit j set: list j is not empty. Under m_mutex. At most 23 orders exist (4 GiB of 1 KiB
    // chunks), so 64 bits always suffice.
    std::uint64_t m_freeMask = 0;
    // The deferred release. Pool_Free checks the pointer and records its chunk index here
    // instead of merging; the merge (applyPendingRelease) runs at the start of the next
    // operation that reads or changes the lists, under the same lock hold, so every caller
    // sees the lists exactly as if it had run at once. The one exception is the pattern a
    // packet's life makes: a request of the same order that would get this very block back
    // and leave the lists as they are (releaseWouldComeStraightBack) takes it without the
    // merge and the splits. -1: none. Under m_mutex.
    std::int32_t m_pending = -1;
    // The block the last such request took back after the test passed, while nothing else
    // has happened since: releasing and requesting it again would pass the test again, so
    // the test is not repeated. -1: none. Under m_mutex.
    std::int32_t m_verified = -1;
    alignas(64) std::uint32_t m_alignment = 4; // a new cache line: read-only from here
    void* (PacketManagerInternal::*m_mallocSlot)(size_t&) = nullptr;
    void (PacketManagerInternal::*m_freeSlot)(void*) = nullptr;
    void* (PacketManagerInternal::*m_memcpySlot)(void*, const void*, size_t) = nullptr;

    // Copied from the configuration when the manager is built.
    Policy m_policy = CPacketManager::policySystem;
    size_t m_totalSize = 0;
    size_t m_chunkSize = 0;
    CPacketManager::MemoryOperator m_operator;
};

} // namespace Memory
} // namespace Orlix

#endif // ORLIX_SRC_MEMORY_PACKETMANAGER_INTERNAL_H
