// CMemPool against a model of its free list. Input: block size and blocks per chunk, then
// operations (take a block, return one of the blocks in use). The model knows what the pool
// promises: blocks are at least a pointer wide, a new chunk's blocks come out in ascending
// order one block apart, returned blocks are reused last in, first out, and no two blocks in
// use overlap. Every block in use is filled with its own pattern, which must still be there
// when it is returned (the pool keeps its links only in free blocks).
#include "fuzz_check.h"

#include "infra/mempool.h"

#include <cstring>
#include <map>
#include <vector>

using Orlix::Memory::Detail::CMemPool;
using OrlixFuzz::check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    OrlixFuzz::Input in(data, size);
    const unsigned int asked = in.byte() % 80;
    const unsigned int count = 1 + in.byte() % 12;
    CMemPool pool(asked, count);
    const unsigned int blockSize = pool.blockSize();
    check(blockSize == (asked < sizeof(void*) ? sizeof(void*) : asked), "block size");

    std::vector<unsigned char*> expectFree;        // the model's free list, next block at the back
    std::map<unsigned char*, unsigned char> inUse; // block -> its fill byte
    unsigned char fill = 0;
    while (!in.empty()) {
        const std::uint8_t op = in.byte();
        if ((op & 3) != 0 || inUse.empty()) {
            unsigned char* block = static_cast<unsigned char*>(pool.malloc());
            check(block != nullptr, "malloc returned null");
            if (expectFree.empty()) {
                // A new chunk: the rest of it comes next, in ascending order.
                for (unsigned int i = count - 1; i >= 1; --i)
                    expectFree.push_back(block + size_t(i) * blockSize);
            } else {
                check(block == expectFree.back(), "malloc did not return the model's block");
                expectFree.pop_back();
            }
            auto next = inUse.lower_bound(block);
            check(next == inUse.end() || next->first >= block + blockSize,
                  "overlaps a later block");
            if (next != inUse.begin()) {
                --next;
                check(next->first + blockSize <= block, "overlaps an earlier block");
            }
            ++fill;
            std::memset(block, fill, blockSize);
            inUse[block] = fill;
        } else {
            auto it = inUse.begin();
            std::advance(it, in.byte() % inUse.size());
            for (unsigned int i = 0; i < blockSize; ++i)
                check(it->first[i] == it->second, "a block in use was changed");
            pool.free(it->first);
            expectFree.push_back(it->first);
            inUse.erase(it);
        }
    }
    for (const auto& block : inUse) {
        for (unsigned int i = 0; i < blockSize; ++i)
            check(block.first[i] == block.second, "a block in use was changed");
    }
    pool.free(nullptr); // ignored
    if (!expectFree.empty())
        check(pool.malloc() == expectFree.back(), "free(nullptr) changed the free list");
    return 0;
}
