// Memory::CPacket: layouts per policy, views, caller buffers, deferred packets and handles.
// Every TEST is its own process, so each chooses its policy before its first packet.
#include "memory_test_util.h"

#include "infra/packet.h"
#include "infra/print.h"
#include "memory/packet_internal.h"
#include "support/testsupport.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

using namespace OrlixTest;
using Orlix::Memory::CPacket;

const size_t R = Orlix::Memory::Detail::packetRecordSize();

size_t alignUp(size_t n)
{
    return PacketManagerInternal::instance()->alignUp(n);
}

bool inPool(const void* p)
{
    PacketManagerInternal* pool = PacketManagerInternal::instance();
    const unsigned char* c = static_cast<const unsigned char*>(p);
    return c >= pool->alignedBuffer() && c < pool->alignedBuffer() + pool->totalSize();
}

// Records every call of a release procedure.
struct DeleterProbe
{
    int calls = 0;
    void* pointer = nullptr;
    unsigned int length = 0;
    bool freeIt = false;

    void onRelease(void* p, unsigned int n)
    {
        ++calls;
        pointer = p;
        length = n;
        if (freeIt)
            std::free(p);
    }
    CPacket::Deleter bind() { return CPacket::Deleter(&DeleterProbe::onRelease, this); }
};

// A memory operator that counts blocks, for the one-allocation layouts.
struct CountingHeap
{
    int mallocs = 0;
    int frees = 0;
    size_t lastSize = 0;
    void* lastBlock = nullptr;
    void* lastFreed = nullptr;
    void* allocate(size_t n)
    {
        ++mallocs;
        lastSize = n;
        return lastBlock = std::malloc(n);
    }
    void release(void* p)
    {
        ++frees;
        lastFreed = p;
        std::free(p);
    }
};
CountingHeap g_heap;

void useCountingHeap()
{
    CPacketManager::MemoryOperator op;
    op.malloc = Orlix::Infra::TFunction1<void*, size_t>(&CountingHeap::allocate, &g_heap);
    op.free = Orlix::Infra::TFunction1<void, void*>(&CountingHeap::release, &g_heap);
    op.memcpy = Orlix::Infra::TFunction3<void*, void*, const void*, size_t>(&std::memcpy);
    CPacketManager::config(CPacketManager::policySystem, &op, nullptr);
}

// ---------------------------------------------------------------------------------------------
// Layouts by policy
// ---------------------------------------------------------------------------------------------

TEST(PacketSystemPolicy, OneBlockHoldsDataExtraAndRecord)
{
    useCountingHeap();
    {
        CPacket packet(1000, 0);
        ASSERT_TRUE(packet.valid());
        EXPECT_EQ(g_heap.mallocs, 1);
        EXPECT_EQ(g_heap.lastSize, 1000 + alignUp(R));
        EXPECT_EQ(packet.getBuffer(), g_heap.lastBlock);
        EXPECT_EQ(packet.size(), 1000u);
        EXPECT_EQ(packet.capacity(), 1000u);
        EXPECT_EQ(packet.getExtraData(), nullptr);

        // A new packet counts as full: appending waits for resize() to make room.
        EXPECT_EQ(packet.putBuffer(const_cast<char*>("abcde"), 5), 0u);
        EXPECT_TRUE(packet.resize(10));
        EXPECT_EQ(packet.putBuffer(const_cast<char*>("abcde"), 5), 5u);
        EXPECT_EQ(packet.size(), 15u);
        EXPECT_EQ(std::memcmp(packet.getBuffer() + 10, "abcde", 5), 0);
        EXPECT_FALSE(packet.resize(1001));
        EXPECT_EQ(packet.size(), 15u);
        EXPECT_TRUE(packet.resize(1000));
    }
    EXPECT_EQ(g_heap.frees, 1);
    EXPECT_EQ(g_heap.lastFreed, g_heap.lastBlock);
}

TEST(PacketSystemPolicy, SizesAreAlignedAndTheExtraAreaFollowsTheCapacity)
{
    useCountingHeap();
    CPacket packet(1001, 20);
    ASSERT_TRUE(packet.valid());
    EXPECT_EQ(packet.capacity(), alignUp(1001));
    EXPECT_EQ(g_heap.lastSize, alignUp(1001) + alignUp(20 + R));
    EXPECT_EQ(packet.getExtraSize(), 20u);
    EXPECT_EQ(packet.getExtraData(), packet.getBuffer() + packet.capacity());
    // Filling data and extra area completely leaves the record intact.
    std::memset(packet.getBuffer(), 0x5A, packet.capacity());
    std::memset(packet.getExtraData(), 0xA5, 20);
    EXPECT_EQ(packet.size(), 1001u);
    EXPECT_EQ(packet.capacity(), alignUp(1001));
}

TEST(PacketSystemPolicy, ExtraSizeIsStoredInEightBits)
{
    CPacket wide(10, 300);
    ASSERT_TRUE(wide.valid());
    EXPECT_EQ(wide.getExtraSize(), 44u);
    ASSERT_NE(wide.getExtraData(), nullptr);
    std::memset(wide.getExtraData(), 0, 300); // the full 300 bytes are laid out
    CPacket exact(10, 256);
    ASSERT_TRUE(exact.valid());
    EXPECT_EQ(exact.getExtraSize(), 0u);
    EXPECT_EQ(exact.getExtraData(), nullptr);
}

TEST(PacketPoolPolicy, DataAndRecordShareOnePoolBlock)
{
    configurePool(CPacketManager::policyPool);
    CPacketManager* manager = CPacketManager::instance();
    {
        CPacket packet(1000, 0); // 1000 + R > 1024: a two-chunk block
        ASSERT_TRUE(packet.valid());
        EXPECT_EQ(packet.capacity(), 2048 - alignUp(R));
        EXPECT_EQ(manager->getFreeSize(), 2097152u - 2048);
        EXPECT_TRUE(inPool(packet.getBuffer()));

        CPacket road(3000, 0); // the Overview's packet: four chunks
        EXPECT_EQ(road.capacity(), 4096 - alignUp(R));
        EXPECT_EQ(manager->getFreeSize(), 2097152u - 2048 - 4096);

        CPacket snug(static_cast<unsigned int>(1024 - alignUp(R)), 0);
        EXPECT_EQ(snug.capacity(), 1024 - alignUp(R));

        CPacket withExtra(100, 32);
        EXPECT_EQ(withExtra.capacity(), 1024 - alignUp(32 + R));
        EXPECT_EQ(withExtra.getExtraData(), withExtra.getBuffer() + withExtra.capacity());
        std::memset(withExtra.getBuffer(), 1, withExtra.capacity());
        std::memset(withExtra.getExtraData(), 2, 32);
        EXPECT_EQ(withExtra.size(), 100u);
    }
    expectPoolWhole();
}

TEST(PacketPoolPolicy, PacketLargerThanThePoolFails)
{
    configurePool(CPacketManager::policyPool, 64 * 1024);
    Orlix::Infra::setPrintLogLevel(4);
    PrintCapture capture;
    CPacket packet(64 * 1024, 8);
    EXPECT_FALSE(packet.valid());
    EXPECT_TRUE(capture.contains("PacketInternal::create(): NO enough, need size(65536) ext(8)\n"));
    expectPoolWhole();
}

TEST(PacketPoolDataPolicy, DataFromThePoolRecordFromTheHeap)
{
    configurePool(CPacketManager::policyPoolData);
    CPacketManager* manager = CPacketManager::instance();
    {
        CPacket empty(0, 16);
        ASSERT_TRUE(empty.valid());
        EXPECT_EQ(empty.getBuffer(), nullptr);
        EXPECT_EQ(empty.capacity(), 0u);
        EXPECT_EQ(empty.putBuffer(const_cast<char*>("x"), 1), 0u);
        ASSERT_NE(empty.getExtraData(), nullptr);
        std::memset(empty.getExtraData(), 0, 16);
        EXPECT_EQ(manager->getFreeSize(), 2097152u);

        CPacket packet(1000, 16);
        ASSERT_TRUE(packet.valid());
        EXPECT_EQ(packet.capacity(), 1024u);
        EXPECT_EQ(packet.size(), 1000u);
        EXPECT_TRUE(inPool(packet.getBuffer()));
        EXPECT_FALSE(inPool(packet.getExtraData()));
        EXPECT_EQ(manager->getFreeSize(), 2097152u - 1024);
    }
    expectPoolWhole();
}

TEST(PacketPoolDataPolicy, DataLargerThanThePoolFails)
{
    configurePool(CPacketManager::policyPoolData, 64 * 1024);
    Orlix::Infra::setPrintLogLevel(4);
    PrintCapture capture;
    EXPECT_FALSE(CPacket(65537, 0).valid());
    EXPECT_TRUE(
        capture.contains("PacketInternal::create(): 2 NO enough, need size(65537) ext(0)\n"));
    expectPoolWhole();
}

TEST(PacketNonePolicy, CreationBySizeFailsButBuffersAndViewsWork)
{
    CPacketManager::config(CPacketManager::policyNone, nullptr, nullptr);
    Orlix::Infra::setPrintLogLevel(6);
    PrintCapture capture;
    PacketManagerInternal::instance();
    capture.clear();
    CPacket bySize(100, 0);
    EXPECT_FALSE(bySize.valid());
    const std::vector<std::string> pieces = capture.pieces();
    ASSERT_EQ(pieces.size(), 1u);
    EXPECT_NE(pieces[0].find("tracepoint: src/memory/packet.cpp, "), std::string::npos);

    char storage[32] = "0123456789";
    CPacket wrapped(storage, 32, CPacket::Deleter());
    ASSERT_TRUE(wrapped.valid());
    CPacket view(wrapped, 2, 4, 0);
    ASSERT_TRUE(view.valid());
    EXPECT_EQ(std::memcmp(view.getBuffer(), "2345", 4), 0);
}

// ---------------------------------------------------------------------------------------------
// Views
// ---------------------------------------------------------------------------------------------

TEST(PacketView, OffsetAndSizeMustLieInsideTheParent)
{
    PrintCapture capture;
    CPacket parent(100, 0);
    ASSERT_TRUE(parent.valid());
    EXPECT_FALSE(CPacket(parent, 100, 0, 0).valid());
    EXPECT_TRUE(capture.contains("PacketInternal::create() offset or size is invalid!! "
                                 "huge_size(100), offset(100), size(0)\n"));
    EXPECT_FALSE(CPacket(parent, 10, 91, 0).valid());
    EXPECT_FALSE(CPacket(CPacket(), 0, 0, 0).valid());

    CPacket whole(parent, 0, 100, 0);
    ASSERT_TRUE(whole.valid());
    EXPECT_EQ(whole.getBuffer(), parent.getBuffer());
    EXPECT_EQ(whole.size(), 100u);
    EXPECT_EQ(whole.capacity(), 100u);

    CPacket none(parent, 50, 0, 8);
    ASSERT_TRUE(none.valid());
    EXPECT_EQ(none.size(), 0u);
    EXPECT_EQ(none.capacity(), 0u);
    EXPECT_EQ(none.getExtraSize(), 8u);
    EXPECT_NE(none.getExtraData(), nullptr);
}

TEST(PacketView, ViewSharesDataAndKeepsItsParentAlive)
{
    DeleterProbe probe;
    probe.freeIt = true;
    unsigned char* storage = static_cast<unsigned char*>(std::malloc(100));
    for (int i = 0; i < 100; ++i)
        storage[i] = static_cast<unsigned char>(i);
    CPacket parent(storage, 100, probe.bind());
    CPacket view(parent, 40, 20, 0);
    ASSERT_TRUE(view.valid());
    parent.reset();
    EXPECT_EQ(probe.calls, 0);
    EXPECT_EQ(view.getBuffer()[0], 40);

    // Writing through the view changes the parent's data.
    EXPECT_TRUE(view.resize(0));
    EXPECT_EQ(view.putBuffer(const_cast<char*>("xy"), 2), 2u);
    EXPECT_EQ(storage[40], 'x');

    CPacket viewOfView(view, 1, 1, 0);
    view.reset();
    EXPECT_EQ(probe.calls, 0);
    EXPECT_EQ(viewOfView.getBuffer()[0], 'y');
    viewOfView.reset();
    EXPECT_EQ(probe.calls, 1);
    EXPECT_EQ(probe.pointer, storage);
    EXPECT_EQ(probe.length, 100u);
}

// ---------------------------------------------------------------------------------------------
// Caller buffers and deferred packets
// ---------------------------------------------------------------------------------------------

TEST(PacketCallerBuffer, DeleterRunsOnceWithTheCurrentSize)
{
    DeleterProbe probe;
    probe.freeIt = true;
    void* storage = std::malloc(64);
    {
        CPacket packet(storage, 64, probe.bind());
        EXPECT_EQ(packet.size(), 64u);
        EXPECT_EQ(packet.capacity(), 64u);
        EXPECT_EQ(packet.getExtraData(), nullptr);
        CPacket copy = packet;
        CPacket another;
        another = copy;
        EXPECT_TRUE(copy.resize(10));
        packet.reset();
        copy.reset();
        EXPECT_EQ(probe.calls, 0);
    }
    EXPECT_EQ(probe.calls, 1);
    EXPECT_EQ(probe.pointer, storage);
    EXPECT_EQ(probe.length, 10u);
}

TEST(PacketCallerBuffer, EmptyDeleterFreesOnlyTheRecord)
{
    unsigned char storage[16] = {};
    {
        CPacket packet(storage, 16, CPacket::Deleter());
        ASSERT_TRUE(packet.valid());
        packet.resize(0);
        EXPECT_EQ(packet.putBuffer(const_cast<char*>("hello"), 5), 5u);
    }
    EXPECT_EQ(std::memcmp(storage, "hello", 5), 0); // the caller's memory is untouched
}

TEST(PacketDeferred, DeleterRunsOnlyWhenDataWasAttached)
{
    int context = 0;
    DeleterProbe unattached;
    {
        CPacket packet(500, unattached.bind(), &context, 24);
        ASSERT_TRUE(packet.valid());
        EXPECT_EQ(packet.getBuffer(), nullptr);
        EXPECT_EQ(packet.size(), 500u);
        EXPECT_EQ(packet.capacity(), 500u);
        EXPECT_EQ(packet.getExtraSize(), 24u);
        std::memset(packet.getExtraData(), 0, 24);
    }
    EXPECT_EQ(unattached.calls, 0);

    DeleterProbe attached;
    unsigned char data[800] = {};
    {
        CPacket packet(500, attached.bind(), &context, 0);
        EXPECT_EQ(packet.getExtraData(), nullptr);
        // Attaching takes the pointer as it is, without a copy and without a capacity check.
        EXPECT_EQ(packet.putBuffer(data, 800), 800u);
        EXPECT_EQ(packet.getBuffer(), data);
        EXPECT_EQ(packet.size(), 800u);
        CPacket copy = packet;
    }
    EXPECT_EQ(attached.calls, 1);
    EXPECT_EQ(attached.pointer, &context);
    EXPECT_EQ(attached.length, 500u);
}

// ---------------------------------------------------------------------------------------------
// Handles
// ---------------------------------------------------------------------------------------------

TEST(PacketHandle, CopiesShareOneRecordAndTheLastOneFrees)
{
    configurePool(CPacketManager::policyPool);
    CPacketManager* manager = CPacketManager::instance();
    const unsigned int whole = manager->getFreeSize();
    CPacket first(1000, 0);
    CPacket second(100, 0);
    const unsigned int withBoth = manager->getFreeSize();
    {
        CPacket copy(first);
        EXPECT_EQ(copy.getBuffer(), first.getBuffer());
        const CPacket& alias = copy;
        copy = alias; // itself, and then the same record: nothing changes
        copy = first;
        first.reset();
        EXPECT_FALSE(first.valid());
        EXPECT_EQ(manager->getFreeSize(), withBoth);
        copy = second; // lets go of the last handle of first's record
        EXPECT_EQ(manager->getFreeSize(), withBoth + 2048);
        second = CPacket();
        EXPECT_EQ(manager->getFreeSize(), withBoth + 2048);
    }
    EXPECT_EQ(manager->getFreeSize(), whole);
    expectPoolWhole();
}

TEST(PacketHandle, EmptyPacketAnswersZeroAndNull)
{
    CPacket empty;
    EXPECT_FALSE(empty.valid());
    EXPECT_EQ(empty.size(), 0u);
    EXPECT_EQ(empty.capacity(), 0u);
    EXPECT_EQ(empty.getExtraSize(), 0u);
    EXPECT_EQ(empty.getBuffer(), nullptr);
    EXPECT_EQ(empty.getExtraData(), nullptr);
    EXPECT_EQ(empty.putBuffer(const_cast<char*>("x"), 1), 0u);
    EXPECT_FALSE(empty.resize(0));
    empty.reset();
    CPacket copy(empty);
    EXPECT_FALSE(copy.valid());
}

TEST(PacketHandle, PutBufferIsCutToTheRoomLeft)
{
    CPacket packet(16, 0);
    packet.resize(10);
    const char text[] = "abcdefghij";
    EXPECT_EQ(packet.putBuffer(const_cast<char*>(text), 10), 6u);
    EXPECT_EQ(packet.size(), 16u);
    EXPECT_EQ(std::memcmp(packet.getBuffer() + 10, "abcdef", 6), 0);
    EXPECT_EQ(packet.putBuffer(const_cast<char*>(text), 1), 0u);
}

} // namespace
