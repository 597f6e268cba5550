/// @file
/// A thread-safe pool of equal-sized blocks.
///
/// Detail::CMemPool hands out blocks of one size in constant time. It takes memory from the
/// heap in chunks of many blocks, keeps free blocks on a list threaded through the blocks
/// themselves (no per-block bookkeeping), reuses them last-in first-out, and gives chunks back
/// only when the pool is destroyed.
///
///     Orlix::Memory::Detail::CMemPool pool(sizeof(Session), 64);  // 64 blocks per chunk
///     void* block = pool.malloc();
///     Session* s = new (block) Session;
///     ...
///     s->~Session();
///     pool.free(s);
///
/// Blocks are at least a pointer's size (the free-list link lives in a free block). The
/// blocks of one chunk are laid out back to back behind a two-pointer header, so a block is
/// aligned like a malloc() result only when the block size is a multiple of that alignment.
///
/// Thread-safety: malloc() and free() may be called from any thread; each holds the pool's
/// lock (one atomic exchange to take it) for its few steps. A new chunk is taken from the
/// heap outside the lock.
///
/// Failure: a block count of 0 is a caller error (assertion). When a new chunk cannot be
/// allocated, malloc() fails like operator new (std::bad_alloc). free() of null does nothing;
/// freeing a pointer the pool did not hand out, or a block twice, is not detected and corrupts
/// the free list.
#ifndef ORLIX_INFRA_MEMPOOL_H
#define ORLIX_INFRA_MEMPOOL_H

#include "infra/defs.h"

namespace Orlix {
namespace Memory {
namespace Detail {

class ORLIX_API CMemPool
{
public:
    /// A pool of blocks of max(blockSize, pointer size) bytes, count blocks per chunk. Takes no
    /// memory yet. Asserts count > 0.
    CMemPool(unsigned int blockSize, unsigned int count);

    /// Gives every chunk back to the heap, with any blocks still in use.
    ~CMemPool();

    CMemPool(const CMemPool&) = delete;
    CMemPool& operator=(const CMemPool&) = delete;

    /// A free block; allocates a new chunk when none is free. Blocks of a new chunk are handed
    /// out in ascending address order.
    void* malloc();

    /// Returns p to the pool; the next malloc() hands it out again. Null does nothing.
    void free(void* p);

    /// The block size in effect (at least a pointer's size).
    unsigned int blockSize() const;

private:
    struct MemPoolInternal;
    MemPoolInternal* m_internal;
};

} // namespace Detail
} // namespace Memory
} // namespace Orlix

#endif // ORLIX_INFRA_MEMPOOL_H
