// Detail::CMemPool and CBuffer.
#include "infra/buffer.h"
#include "infra/mempool.h"
#include "infra/print.h"
#include "support/testsupport.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

namespace {

using Orlix::Memory::CBuffer;
using Orlix::Memory::Detail::CMemPool;

std::uintptr_t address(const void* p)
{
    return reinterpret_cast<std::uintptr_t>(p);
}

TEST(MemPool, BlocksComeInChunkOrderAndReleasesAreReusedFirst)
{
    CMemPool tiny(1, 10); // blocks are at least a pointer
    EXPECT_EQ(tiny.blockSize(), sizeof(void*));
    void* a = tiny.malloc();
    EXPECT_EQ(address(tiny.malloc()) - address(a), sizeof(void*));

    CMemPool pool(16, 4);
    void* blocks[4];
    for (void*& block : blocks)
        block = pool.malloc();
    for (int i = 1; i < 4; ++i)
        EXPECT_EQ(address(blocks[i]) - address(blocks[i - 1]), 16u);
    void* fifth = pool.malloc(); // a second chunk
    EXPECT_TRUE(address(fifth) < address(blocks[0]) || address(fifth) >= address(blocks[3]) + 16);
    pool.free(blocks[1]);
    pool.free(blocks[2]);
    EXPECT_EQ(pool.malloc(), blocks[2]);
    EXPECT_EQ(pool.malloc(), blocks[1]);
    pool.free(nullptr); // ignored
    EXPECT_NE(pool.malloc(), nullptr);
}

TEST(MemPoolDeathTest, ZeroBlocksPerChunkIsRejected)
{
    EXPECT_DEATH(CMemPool(16, 0), "assertion \\(count > 0\\) failed");
}

TEST(Buffer, AppendingItsOwnBytesSurvivesTheMoveToALargerBlock)
{
    // Large enough that the heap serves it from its own mapping, which growth moves away.
    constexpr unsigned int kSize = 1u << 20;
    std::vector<unsigned char> expected(kSize);
    for (unsigned int i = 0; i < kSize; ++i)
        expected[i] = static_cast<unsigned char>(i * 7 + i / 251);
    CBuffer buffer;
    ASSERT_EQ(buffer.putBuffer(expected.data(), kSize), kSize);
    // The whole buffer, then a part from its middle, appended to itself.
    ASSERT_EQ(buffer.putBuffer(buffer.getBuffer(), kSize), kSize);
    ASSERT_EQ(buffer.putBuffer(buffer.getBuffer() + 100, 1000), 1000u);
    expected.insert(expected.end(), expected.begin(), expected.end());
    expected.insert(expected.end(), expected.begin() + 100, expected.begin() + 1100);
    ASSERT_EQ(buffer.size(), expected.size());
    EXPECT_EQ(std::memcmp(buffer.getBuffer(), expected.data(), expected.size()), 0);
}

TEST(Buffer, GrowthBeyondThirtyTwoBitsFailsAndKeepsTheContents)
{
    Orlix::Infra::setPrintLogLevel(4);
    OrlixTest::PrintCapture capture;
    CBuffer buffer;
    unsigned char data[4] = {1, 2, 3, 4};
    buffer.putBuffer(data, 4);
    buffer.setIncreasedSize(0xF0000000u);
    EXPECT_EQ(buffer.putBuffer(data, 0xFFFFFFF0u), 0u);
    EXPECT_TRUE(capture.contains("CBuffer putbuffer ReMalloc fail:\n"));
    EXPECT_EQ(buffer.size(), 4u);
    EXPECT_EQ(std::memcmp(buffer.getBuffer(), data, 4), 0);
}

// Random operations checked against std::vector and the growth rules: the first call that
// needs memory takes exactly what it asks for (setIncreasedSize: the step); later growth is
// exact or, with a step, to the next multiple of it, except reserve, which is always exact;
// resize(0) keeps the memory; reset forgets memory and step.
TEST(Buffer, RandomOperationsMatchAVectorAndTheGrowthRules)
{
    std::mt19937 random(7);
    CBuffer buffer;
    std::vector<unsigned char> model;
    size_t capacity = 0, step = 0;
    bool hasMemory = false;
    auto grow = [&](size_t need, bool stepped) {
        if (!hasMemory)
            capacity = need;
        else if (need > capacity)
            capacity = stepped && step != 0 ? (need + step - 1) / step * step : need;
        hasMemory = true;
    };
    for (int i = 0; i < 3000; ++i) {
        const unsigned int n = random() % 300;
        switch (random() % 10) {
        case 0: {
            buffer.resize(n);
            grow(n, true);
            // Newly exposed bytes are unspecified: give them a known value in both.
            const size_t old = model.size();
            model.resize(n);
            for (size_t k = old; k < n; ++k)
                buffer.getBuffer()[k] = model[k] = static_cast<unsigned char>(k);
            break;
        }
        case 1:
            buffer.reserve(n);
            grow(n, false);
            break;
        case 2:
            if (random() % 4 == 0) {
                buffer.reset();
                model.clear();
                hasMemory = false;
                capacity = step = 0;
            } else {
                step = random() % 3 == 0 ? 0 : n;
                buffer.setIncreasedSize(static_cast<unsigned int>(step));
                grow(hasMemory ? 0 : step, false); // sets the step, grows nothing
            }
            break;
        default: {
            std::vector<unsigned char> data(n);
            for (auto& byte : data)
                byte = static_cast<unsigned char>(random());
            ASSERT_EQ(buffer.putBuffer(data.data(), n), n);
            grow(model.size() + n, true);
            model.insert(model.end(), data.begin(), data.end());
        }
        }
        ASSERT_EQ(buffer.size(), model.size()) << "operation " << i;
        ASSERT_EQ(buffer.capacity(), capacity) << "operation " << i;
        if (model.empty()) {
            ASSERT_EQ(buffer.getBuffer(), nullptr);
        } else {
            ASSERT_EQ(std::memcmp(buffer.getBuffer(), model.data(), model.size()), 0);
            ASSERT_EQ(address(buffer.getBuffer()) % alignof(std::max_align_t), 0u);
        }
    }
}

} // namespace
