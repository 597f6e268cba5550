// Helpers shared by the memory suites.
#ifndef ORLIX_TESTS_MEMORY_MEMORY_TEST_UTIL_H
#define ORLIX_TESTS_MEMORY_MEMORY_TEST_UTIL_H

#include "infra/packetmanager.h"
#include "memory/packetmanager_internal.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace OrlixTest {

using Orlix::Memory::CPacketManager;
using Orlix::Memory::PacketManagerInternal;

// Configures policy with a pool of total bytes in chunks of chunk bytes.
inline void configurePool(CPacketManager::Policy policy, size_t total = 2097152,
                          size_t chunk = 1024, size_t align = 4)
{
    CPacketManager::PoolParameter param = {total, chunk, align};
    CPacketManager::config(policy, nullptr, &param);
}

// A memory operator that counts its calls; malloc refuses requests of refuseFrom bytes or more.
struct CountingOperator
{
    int mallocs = 0, frees = 0, copies = 0;
    size_t lastSize = 0;
    void* lastBlock = nullptr;
    size_t refuseFrom = static_cast<size_t>(-1);

    void* allocate(size_t size)
    {
        ++mallocs;
        lastSize = size;
        return lastBlock = size >= refuseFrom ? nullptr : std::malloc(size);
    }
    void release(void* p)
    {
        ++frees;
        std::free(p);
    }
    void* copy(void* dst, const void* src, size_t len)
    {
        ++copies;
        return std::memcpy(dst, src, len);
    }
    CPacketManager::MemoryOperator bind()
    {
        CPacketManager::MemoryOperator op;
        op.malloc = Orlix::Infra::TFunction1<void*, size_t>(&CountingOperator::allocate, this);
        op.free = Orlix::Infra::TFunction1<void, void*>(&CountingOperator::release, this);
        op.memcpy = Orlix::Infra::TFunction3<void*, void*, const void*, size_t>(
            &CountingOperator::copy, this);
        return op;
    }
};

// The chunk index of a pool address.
inline int chunkIndexOf(const void* p)
{
    PacketManagerInternal* pool = PacketManagerInternal::instance();
    return static_cast<int>((static_cast<const unsigned char*>(p) - pool->alignedBuffer()) /
                            static_cast<std::ptrdiff_t>(pool->chunkSize()));
}

// The pool with nothing allocated: the free lists hold one block per set bit of the block
// count, the largest at chunk 0 and each next one behind it, and every chunk is free.
inline void expectPoolWhole()
{
    PacketManagerInternal* pool = PacketManagerInternal::instance();
    ASSERT_TRUE(pool->hasPool());
    const unsigned int blocks = pool->blockCount();
    int start = 0;
    for (int order = pool->orderCount() - 1; order >= 0; --order) {
        const std::vector<int> list = pool->freeListIndices(order);
        if ((blocks >> order) & 1u) {
            EXPECT_EQ(list, std::vector<int>{start}) << "order " << order;
            start += 1 << order;
        } else {
            EXPECT_TRUE(list.empty()) << "order " << order;
        }
    }
    EXPECT_EQ(CPacketManager::instance()->getFreeSize(), pool->totalSize());
}

} // namespace OrlixTest

#endif // ORLIX_TESTS_MEMORY_MEMORY_TEST_UTIL_H
