// Memory::CPacket: layouts per policy, views, caller buffers, deferred packets and handles.
// Every TEST is its own process, so each chooses its policy before its first packet.
// Expected capacities come from the record size R of this platform, not from fixed numbers.
#include "memory_test_util.h"

#include "infra/packet.h"
#include "infra/print.h"
#include "memory/packet_internal.h"
#include "support/testsupport.h"

#include <gtest/gtest.h>

#include <memory>
#include <utility>
#include <vector>

namespace {

using namespace OrlixTest;
using Orlix::Infra::setPrintLogLevel;
using Orlix::Memory::CPacket;

const size_t R = Orlix::Memory::Detail::packetRecordSize();

size_t alignUp(size_t n)
{
    return PacketManagerInternal::instance()->alignUp(n);
}

char* text(const char* s)
{
    return const_cast<char*>(s);
}

bool inPool(const void* p)
{
    PacketManagerInternal* pool = PacketManagerInternal::instance();
    const unsigned char* c = static_cast<const unsigned char*>(p);
    return c >= pool->alignedBuffer() && c < pool->alignedBuffer() + pool->totalSize();
}

// Records the calls of a release procedure; frees the pointer when asked to.
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

CountingOperator g_heap;

// ---------------------------------------------------------------------------------------------
// Layouts by policy
// ---------------------------------------------------------------------------------------------

TEST(PacketSystemPolicy, OneBlockHoldsDataExtraAreaAndRecord)
{
    CPacketManager::MemoryOperator op = g_heap.bind();
    CPacketManager::config(CPacketManager::policySystem, &op, nullptr);
    {
        CPacket packet(1000, 0);
        EXPECT_EQ(g_heap.lastSize, 1000 + alignUp(R));
        EXPECT_EQ(packet.getBuffer(), g_heap.lastBlock);
        EXPECT_EQ(packet.size(), 1000u);
        EXPECT_EQ(packet.capacity(), 1000u);
        EXPECT_EQ(packet.getExtraData(), nullptr);
        // A new packet counts as full: appending waits until resize() makes room, and is cut
        // to the room there is.
        EXPECT_EQ(packet.putBuffer(text("abcde"), 5), 0u);
        EXPECT_TRUE(packet.resize(10));
        EXPECT_EQ(packet.putBuffer(text("abcde"), 5), 5u);
        EXPECT_EQ(std::memcmp(packet.getBuffer() + 10, "abcde", 5), 0);
        EXPECT_FALSE(packet.resize(1001));
        EXPECT_EQ(packet.size(), 15u);
        EXPECT_TRUE(packet.resize(997));
        EXPECT_EQ(packet.putBuffer(text("vwxyz"), 5), 3u);
        EXPECT_EQ(packet.size(), 1000u);
        EXPECT_EQ(std::memcmp(packet.getBuffer() + 997, "vwx", 3), 0);
    }
    EXPECT_EQ(g_heap.frees, 1);
    {
        CPacket packet(1001, 20); // sizes are aligned; the extra area follows the capacity
        EXPECT_EQ(packet.capacity(), alignUp(1001));
        EXPECT_EQ(g_heap.lastSize, alignUp(1001) + alignUp(20 + R));
        EXPECT_EQ(packet.getExtraSize(), 20u);
        EXPECT_EQ(packet.getExtraData(), packet.getBuffer() + packet.capacity());
        std::memset(packet.getBuffer(), 0x5A, packet.capacity()); // leaves the record intact
        std::memset(packet.getExtraData(), 0xA5, 20);
        EXPECT_EQ(packet.size(), 1001u);
    }
    EXPECT_EQ(g_heap.mallocs, 2);
    EXPECT_EQ(g_heap.frees, 2);

    // The extra size is stored in 8 bits, but the whole area is laid out.
    CPacket wide(10, 300);
    EXPECT_EQ(wide.getExtraSize(), 44u);
    ASSERT_NE(wide.getExtraData(), nullptr);
    std::memset(wide.getExtraData(), 0, 300);
    CPacket exact(10, 256);
    ASSERT_TRUE(exact.valid());
    EXPECT_EQ(exact.getExtraSize(), 0u);
    EXPECT_EQ(exact.getExtraData(), nullptr);
}

TEST(PacketPoolPolicy, DataAndRecordShareOnePoolBlock)
{
    configurePool(CPacketManager::policyPool);
    setPrintLogLevel(4);
    CPacketManager* manager = CPacketManager::instance();
    {
        CPacket packet(1000, 0); // 1000 + R > 1024: a two-chunk block
        EXPECT_EQ(packet.capacity(), 2048 - alignUp(R));
        EXPECT_TRUE(inPool(packet.getBuffer()));
        CPacket road(3000, 0); // four chunks
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

        PrintCapture capture;
        EXPECT_FALSE(CPacket(2097152, 8).valid());
        EXPECT_TRUE(capture.contains("PacketInternal::create(): NO enough, need size(2097152) "
                                     "ext(8)\n"));

        // Copies share one record; the last handle to go returns the block.
        const unsigned int withAll = manager->getFreeSize();
        CPacket copy(packet);
        EXPECT_EQ(copy.getBuffer(), packet.getBuffer());
        const CPacket& alias = copy;
        copy = alias; // itself, then the same record: nothing changes
        copy = packet;
        packet.reset();
        EXPECT_FALSE(packet.valid());
        EXPECT_EQ(manager->getFreeSize(), withAll);
        copy = road; // drops the last handle of packet's record
        EXPECT_EQ(manager->getFreeSize(), withAll + 2048);
        road = CPacket();
        EXPECT_EQ(manager->getFreeSize(), withAll + 2048);
    }
    expectPoolWhole();
}

TEST(PacketPoolDataPolicy, DataFromThePoolRecordFromTheHeap)
{
    configurePool(CPacketManager::policyPoolData, 64 * 1024);
    setPrintLogLevel(4);
    CPacketManager* manager = CPacketManager::instance();
    {
        CPacket empty(0, 16);
        ASSERT_TRUE(empty.valid());
        EXPECT_EQ(empty.getBuffer(), nullptr);
        EXPECT_EQ(empty.capacity(), 0u);
        EXPECT_EQ(empty.putBuffer(text("x"), 1), 0u);
        ASSERT_NE(empty.getExtraData(), nullptr);
        EXPECT_EQ(manager->getFreeSize(), 65536u);

        CPacket packet(1000, 16);
        EXPECT_EQ(packet.capacity(), 1024u);
        EXPECT_EQ(packet.size(), 1000u);
        EXPECT_TRUE(inPool(packet.getBuffer()));
        EXPECT_FALSE(inPool(packet.getExtraData()));
        EXPECT_EQ(manager->getFreeSize(), 65536u - 1024);

        PrintCapture capture;
        EXPECT_FALSE(CPacket(65537, 0).valid());
        EXPECT_TRUE(
            capture.contains("PacketInternal::create(): 2 NO enough, need size(65537) ext(0)\n"));
    }
    expectPoolWhole();
}

TEST(PacketNonePolicy, CreationBySizeFailsButEmptyPacketsBuffersAndViewsWork)
{
    CPacketManager::config(CPacketManager::policyNone, nullptr, nullptr);
    setPrintLogLevel(6);
    PacketManagerInternal::instance();
    PrintCapture capture;
    EXPECT_FALSE(CPacket(100, 0).valid());
    ASSERT_EQ(capture.pieces().size(), 1u);
    EXPECT_TRUE(capture.contains("tracepoint: src/memory/packet.cpp, "));

    char storage[32] = "0123456789";
    CPacket wrapped(storage, 32, CPacket::Deleter());
    CPacket view(wrapped, 2, 4, 0);
    ASSERT_TRUE(view.valid());
    EXPECT_EQ(std::memcmp(view.getBuffer(), "2345", 4), 0);

    CPacket empty;
    EXPECT_FALSE(empty.valid());
    EXPECT_EQ(empty.size() + empty.capacity() + empty.getExtraSize(), 0u);
    EXPECT_EQ(empty.getBuffer(), nullptr);
    EXPECT_EQ(empty.getExtraData(), nullptr);
    EXPECT_EQ(empty.putBuffer(text("x"), 1), 0u);
    EXPECT_FALSE(empty.resize(0));
    empty.reset();
    EXPECT_FALSE(CPacket(empty).valid());
}

// ---------------------------------------------------------------------------------------------
// Views and deleters
// ---------------------------------------------------------------------------------------------

TEST(PacketView, LiesInsideItsParentSharesItsDataAndKeepsItAlive)
{
    PrintCapture capture;
    DeleterProbe probe;
    probe.freeIt = true;
    unsigned char* storage = static_cast<unsigned char*>(std::malloc(100));
    for (int i = 0; i < 100; ++i)
        storage[i] = static_cast<unsigned char>(i);
    CPacket parent(storage, 100, probe.bind());
    EXPECT_FALSE(CPacket(parent, 100, 0, 0).valid());
    EXPECT_TRUE(capture.contains("PacketInternal::create() offset or size is invalid!! "
                                 "huge_size(100), offset(100), size(0)\n"));
    EXPECT_FALSE(CPacket(parent, 10, 91, 0).valid());
    EXPECT_FALSE(CPacket(CPacket(), 0, 0, 0).valid());
    CPacket none(parent, 50, 0, 8);
    ASSERT_TRUE(none.valid());
    EXPECT_EQ(none.size() + none.capacity(), 0u);
    EXPECT_EQ(none.getExtraSize(), 8u);
    EXPECT_NE(none.getExtraData(), nullptr);
    EXPECT_EQ(CPacket(parent, 0, 100, 0).capacity(), 100u);

    CPacket view(parent, 40, 20, 0);
    parent.reset();
    none.reset();
    EXPECT_EQ(view.getBuffer()[0], 40);
    EXPECT_TRUE(view.resize(0));
    EXPECT_EQ(view.putBuffer(text("xy"), 2), 2u); // writes into the parent's data
    EXPECT_EQ(storage[40], 'x');
    CPacket viewOfView(view, 1, 1, 0);
    view.reset();
    EXPECT_EQ(viewOfView.getBuffer()[0], 'y');
    EXPECT_EQ(probe.calls, 0);
    viewOfView.reset();
    EXPECT_EQ(probe.calls, 1);
    EXPECT_EQ(probe.pointer, storage);
    EXPECT_EQ(probe.length, 100u);
}

// A caller buffer's deleter runs once, with the size at that moment, when the last handle
// goes; a deferred packet's runs with (context, capacity), and only if data was attached.
TEST(PacketDeleter, RunsOnceWhenTheLastHandleGoes)
{
    DeleterProbe probe, unattached, attached;
    probe.freeIt = true;
    void* storage = std::malloc(64);
    int context = 0;
    unsigned char data[800] = {};
    {
        CPacket packet(storage, 64, probe.bind());
        EXPECT_EQ(packet.capacity(), 64u);
        EXPECT_EQ(packet.getExtraData(), nullptr);
        CPacket copy = packet;
        CPacket another;
        another = copy;
        EXPECT_TRUE(copy.resize(10));
        packet.reset();
        copy.reset();
        EXPECT_EQ(probe.calls, 0);

        CPacket idle(500, unattached.bind(), &context, 24);
        EXPECT_EQ(idle.getBuffer(), nullptr);
        EXPECT_EQ(idle.size(), 500u);
        EXPECT_EQ(idle.capacity(), 500u);
        EXPECT_EQ(idle.getExtraSize(), 24u);
        std::memset(idle.getExtraData(), 0, 24);

        CPacket deferred(500, attached.bind(), &context, 0);
        // Attaching takes the pointer as it is: no copy, no capacity check.
        EXPECT_EQ(deferred.putBuffer(data, 800), 800u);
        EXPECT_EQ(deferred.getBuffer(), data);
        EXPECT_EQ(deferred.size(), 800u);
        CPacket deferredCopy = deferred;
    }
    EXPECT_EQ(probe.calls, 1);
    EXPECT_EQ(probe.pointer, storage);
    EXPECT_EQ(probe.length, 10u);
    EXPECT_EQ(unattached.calls, 0);
    EXPECT_EQ(attached.calls, 1);
    EXPECT_EQ(attached.pointer, &context);
    EXPECT_EQ(attached.length, 500u);

    unsigned char local[16] = {}; // an empty deleter: only the record is freed
    {
        CPacket packet(local, 16, CPacket::Deleter());
        packet.resize(0);
        EXPECT_EQ(packet.putBuffer(text("hello"), 5), 5u);
    }
    EXPECT_EQ(std::memcmp(local, "hello", 5), 0);
}

// A lambda is a release procedure as it stands, for a caller's buffer and for a deferred
// packet; it runs once, and what it captured goes with the last handle.
TEST(PacketDeleter, ALambdaIsAReleaseProcedure)
{
    std::vector<std::pair<void*, unsigned int>> released;
    auto token = std::make_shared<int>(0);
    unsigned char local[32] = {};
    int context = 0;
    {
        CPacket packet(local, 32, [&released, token](void* p, unsigned int n) {
            released.emplace_back(p, n);
        });
        CPacket copy = packet;
        CPacket deferred(
            12, [&released, token](void* p, unsigned int n) { released.emplace_back(p, n); },
            &context, 0);
        EXPECT_EQ(deferred.putBuffer(local, 8), 8u);
        EXPECT_GT(token.use_count(), 1);
    }
    ASSERT_EQ(released.size(), 2u);
    EXPECT_EQ(released[0], std::make_pair(static_cast<void*>(&context), 12u));
    EXPECT_EQ(released[1], std::make_pair(static_cast<void*>(local), 32u));
    EXPECT_EQ(token.use_count(), 1);
}

} // namespace
