/// @file
/// The packet manager: the process-wide source of packet memory.
///
/// Packets (packet.h) never call the heap directly; they ask the packet manager, which works
/// under one of five policies chosen once, before first use:
///
///  - policySystem (the default): every request goes to the memory operator, by default the
///    C library's malloc, free and memcpy.
///  - policyPool: the manager obtains one region at start-up, cuts it into chunks of
///    chunkSize bytes and serves every request as a power-of-two run of chunks (a buddy
///    allocator: split on allocation, merge with the free buddy on release). A packet's data
///    and control record share one pool block.
///  - policyPoolData: the same pool for packet data; packet control records come from the
///    heap.
///  - policyNone: no pool; packets cannot be created by size (caller buffers and views still
///    work).
///  - policyDefault: only meaningful as an argument of config(): keeps the policy in force.
///
/// Configuring a pool before first use:
///
///     Orlix::Memory::CPacketManager::PoolParameter pool = {4 * 1024 * 1024, 1024, 8};
///     Orlix::Memory::CPacketManager::config(Orlix::Memory::CPacketManager::policyPool,
///                                           nullptr, &pool);
///     Orlix::Memory::CPacketManager* pm = Orlix::Memory::CPacketManager::instance();
///     void* block = pm->malloc(3000);    // a 4096-byte block of the pool
///     pm->free(block);
///
/// Configuration phase. config() works only until the manager exists: the first instance()
/// call, any query below, or the first packet ends it. Later calls log a warning and change
/// nothing. Configure during single-threaded start-up.
///
/// The pool. The region is obtained once, all at once, and never grows. A request takes the
/// smallest free block of 2^k chunks that holds it, splitting a larger block if needed; the
/// caller gets the highest-addressed part and the lower halves go back to the free lists. A
/// released block merges with its buddy as long as the buddy is free. Neither path allocates.
///
/// Thread-safety: malloc, free, memcpy and the queries may be called from any thread; the
/// pool's free lists are guarded by one lock (one atomic exchange to take it) held only for
/// the list work.
///
/// Failure: an invalid pool parameter, an empty operator delegate or a policy outside
/// 0..4 passed to config() is a caller error reported by an assertion (the process ends).
/// When the pool's region cannot be obtained the manager logs an error and serves every
/// request through the memory operator instead (as policySystem). A pool request that no free
/// block can satisfy (and a request of 0 bytes) returns null and logs "CPacket No Free Space"
/// at info level. Releasing a pointer the pool did not hand out (outside the pool, inside a
/// block, or already released) stops the process with an assertion that names the fault.
#ifndef ORLIX_INFRA_PACKETMANAGER_H
#define ORLIX_INFRA_PACKETMANAGER_H

#include "infra/defs.h"
#include "infra/function.h"

#include <cstddef>

namespace Orlix {
namespace Infra {
namespace Detail {
template <class T>
class CSingleton;
} // namespace Detail
} // namespace Infra

namespace Memory {

class PacketManagerInternal;

/// The process-wide source of packet memory, working under one allocation policy chosen
/// before first use.
class ORLIX_API CPacketManager
{
public:
    /// Allocation policy; see packetmanager.h.
    enum Policy : int
    {
        policyDefault = 0,  ///< config() only: keep the policy in force
        policySystem = 1,   ///< every request goes to the memory operator (the default)
        policyPool = 2,     ///< data and control records from the buddy pool
        policyPoolData = 3, ///< data from the pool, control records from the heap
        policyNone = 4      ///< no memory by size; caller buffers and views only
    };

    /// The three primitive memory operations. Under policySystem and policyNone every request
    /// goes to them; under the pool policies malloc obtains the pool's region, free returns it
    /// at process exit and memcpy copies between two addresses inside the pool. The sizes are
    /// size_t so that the C library's functions bind directly:
    ///
    ///     op.malloc = Orlix::Infra::TFunction1<void*, size_t>(&std::malloc);
    struct MemoryOperator
    {
        Infra::TFunction1<void*, size_t> malloc;                     ///< allocates size bytes
        Infra::TFunction1<void, void*> free;                         ///< releases what malloc gave
        Infra::TFunction3<void*, void*, const void*, size_t> memcpy; ///< copies (dst, src, len)
    };

    /// Sizes of the pool, in bytes.
    struct PoolParameter
    {
        /// The pool's usable size: a multiple of chunkSize, below 4 GiB. Default 2 MiB.
        size_t totalSize;
        /// The smallest block: a power of two, at least 1024. Default 1024.
        size_t chunkSize;
        /// The alignment packets use for the sizes they lay out: at least 4, rounded down to
        /// a power of two and raised to the pointer size on platforms with wider pointers, so
        /// that a packet's control record at the end of its block is aligned. Default 4.
        size_t alignSize;
    };

    /// Sets the configuration. A non-zero policy replaces the policy in force; a non-null
    /// memop or param replaces that part. May be called any number of times before the
    /// configuration phase ends, each call overriding what it gives. Afterwards it logs
    /// "PacketManagerInternal::config() failured: Packet Manager has been configured!" at
    /// warning level and changes nothing. Asserts the policy is 0..4, the parameter checks
    /// listed at PoolParameter and that no delegate of memop is empty.
    static void config(Policy policy, MemoryOperator* memop, PoolParameter* param);

    /// The process-wide manager, created on first call (which ends the configuration phase
    /// and builds the pool under the pool policies). Destroyed at process exit.
    static CPacketManager* instance();

    /// Allocates size bytes under the policy in force; null on failure. A pool request gets a
    /// block of 2^k chunks, possibly larger than asked.
    void* malloc(unsigned int size);

    /// Releases memory obtained from malloc(). Null does nothing.
    void free(void* p);

    /// Copies len bytes from src to dst and returns what the selected copy returns (dst).
    void* memcpy(void* dst, const void* src, unsigned int len);

    /// The pool's totalSize under the pool policies, 0 otherwise.
    unsigned int getBufferSize() const;

    /// The free bytes of the pool under the pool policies, 0 otherwise. Equals
    /// getBufferSize() exactly when every block has been released.
    unsigned int getFreeSize() const;

    /// The region obtained for the pool, or null when there is no pool.
    unsigned char* getPoolBuffer() const;

    /// Logs the pool's free lists at info level: under policyPool "CPacketManager: dump
    /// FreeList" followed by one line per order and one per free block; under policySystem and
    /// policyPoolData only "CPacketManager dump: SYS Policy"; nothing under policyNone.
    void dumpNodes() const;

    /// Drops the pointer to the pool; the pool itself lives until process exit.
    ~CPacketManager();

    CPacketManager(const CPacketManager&) = delete;
    CPacketManager& operator=(const CPacketManager&) = delete;

private:
    CPacketManager();
    template <class T>
    friend class Infra::Detail::CSingleton;

    PacketManagerInternal* m_internal;
};

} // namespace Memory
} // namespace Orlix

#endif // ORLIX_INFRA_PACKETMANAGER_H
