// Helpers shared by the memory suites.
#ifndef ORLIX_TESTS_MEMORY_MEMORY_TEST_UTIL_H
#define ORLIX_TESTS_MEMORY_MEMORY_TEST_UTIL_H

#include "infra/packetmanager.h"
#include "memory/packetmanager_internal.h"

#include <gtest/gtest.h>

#include <cstddef>
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
