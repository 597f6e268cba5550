// Detail::CMemPool: equal-sized blocks on an intrusive free list.
#include "infra/mempool.h"

#include "infra/error.h"
#include "memory/spinlock.h"

#include <cstring>
#include <new>

namespace Orlix {
namespace Memory {
namespace Detail {

namespace {

// The front of every chunk: the first block's address and the previous chunk (the chunks
// form a stack). The blocks follow right behind it.
struct ChunkHeader
{
    unsigned char* firstBlock;
    ChunkHeader* previous;
};

// A free block keeps the next free block's address in its first bytes. Block sizes need not
// be multiples of a pointer's alignment, so the link is copied rather than dereferenced.
void* nextOf(const void* block)
{
    void* next;
    std::memcpy(&next, block, sizeof(next));
    return next;
}

void setNext(void* block, void* next)
{
    std::memcpy(block, &next, sizeof(next));
}

} // namespace

struct CMemPool::MemPoolInternal
{
    ChunkHeader* m_chunks = nullptr; // under m_mutex
    unsigned int m_blockSize = 0;
    unsigned int m_blocksPerChunk = 0;
    void* m_freeList = nullptr; // under m_mutex
    // The locked sections are a pop or a push of the free list and never allocate (a new
    // chunk is obtained and linked outside the lock), so the pool lock fits: a
    // compare-and-swap to lock and an exchange to unlock, both inlined (plain stores while
    // the process has one thread), and a waiter that outlasts a short spin sleeps until the
    // unlock wakes it. Measured per malloc/free pair on one thread: CMutex 23 ns,
    // std::mutex 9-31 ns, this lock about half of std::mutex.
    CPoolLock m_mutex;
};

namespace {

// A new chunk with its blocks linked in address order, the last one to null.
ChunkHeader* makeChunk(size_t blockSize, size_t blocks)
{
    void* memory = ::operator new(sizeof(ChunkHeader) + blockSize * blocks);
    ChunkHeader* chunk = static_cast<ChunkHeader*>(memory);
    chunk->firstBlock = static_cast<unsigned char*>(memory) + sizeof(ChunkHeader);
    chunk->previous = nullptr;
    unsigned char* block = chunk->firstBlock;
    for (size_t i = 0; i + 1 < blocks; ++i, block += blockSize)
        setNext(block, block + blockSize);
    setNext(block, nullptr);
    return chunk;
}

} // namespace

CMemPool::CMemPool(unsigned int blockSize, unsigned int count) : m_internal(new MemPoolInternal)
{
    ORLIX_ASSERT(count > 0);
    m_internal->m_blockSize =
        blockSize < sizeof(void*) ? static_cast<unsigned int>(sizeof(void*)) : blockSize;
    m_internal->m_blocksPerChunk = count;
}

CMemPool::~CMemPool()
{
    ChunkHeader* chunk = m_internal->m_chunks;
    while (chunk != nullptr) {
        ChunkHeader* previous = chunk->previous;
        ::operator delete(chunk);
        chunk = previous;
    }
    delete m_internal;
}

// Cost: one pool-lock round trip and a pop (two loads, one store). Only when the free list is
// empty does it leave the lock, take a chunk from the heap and link its blocks (the heap
// call and the linking run unlocked, so other threads keep being served meanwhile), and lock
// again to push the chunk and hand out its first block. Blocks that other threads freed in
// between stay behind the new chunk's blocks on the list.
void* CMemPool::malloc()
{
    MemPoolInternal& pool = *m_internal;
    {
        CPoolLockGuard guard(pool.m_mutex);
        void* block = pool.m_freeList;
        if (block != nullptr) {
            pool.m_freeList = nextOf(block);
            return block;
        }
    }
    ChunkHeader* chunk = makeChunk(pool.m_blockSize, pool.m_blocksPerChunk);
    unsigned char* last =
        chunk->firstBlock + size_t(pool.m_blockSize) * (pool.m_blocksPerChunk - 1);
    CPoolLockGuard guard(pool.m_mutex);
    chunk->previous = pool.m_chunks;
    pool.m_chunks = chunk;
    setNext(last, pool.m_freeList);
    void* block = chunk->firstBlock;
    pool.m_freeList = nextOf(block);
    return block;
}

void CMemPool::free(void* p)
{
    if (p == nullptr)
        return;
    // Cost: one pool-lock round trip and a push (one load, two stores).
    MemPoolInternal& pool = *m_internal;
    CPoolLockGuard guard(pool.m_mutex);
    setNext(p, pool.m_freeList);
    pool.m_freeList = p;
}

unsigned int CMemPool::blockSize() const
{
    return m_internal->m_blockSize;
}

} // namespace Detail
} // namespace Memory
} // namespace Orlix
