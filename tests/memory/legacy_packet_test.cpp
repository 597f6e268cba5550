// The legacy ::CPacket, IPacketManager and CSharePacketHelper.
#include "memory_test_util.h"

#include "infra/legacy_packet.h"
#include "infra/print.h"
#include "support/testsupport.h"

#include <gtest/gtest.h>

#include <climits>

namespace {

using namespace OrlixTest;

char* text(const char* s)
{
    return const_cast<char*>(s);
}

TEST(LegacyPacket, ConfigChoosesPoolDataAndTheHeaderSize)
{
    IPacketManager::config(4194304, 1024, 64);
    IPacketManager* manager = IPacketManager::instance();
    ASSERT_NE(manager, nullptr);
    EXPECT_EQ(PacketManagerInternal::instance()->getPolicy(), CPacketManager::policyPoolData);
    EXPECT_EQ(manager->GetBufferSize(), 4194304u);

    ::CPacket packet(100);
    ASSERT_TRUE(packet.Valid());
    EXPECT_EQ(packet.GetHeaderSize(), 64u);
    EXPECT_EQ(packet.GetSize(), 1024u);
    EXPECT_EQ(packet.GetLength(), 100u);
    EXPECT_EQ(packet.GetLeft(), 924u);
    EXPECT_EQ(manager->GetFreeSize(), 4194304u - 1024);
    std::memset(packet.GetHeader(), 0xAB, 64);
    packet.ClearHeader();
    for (int i = 0; i < 64; ++i)
        ASSERT_EQ(packet.GetHeader()[i], 0) << i;
    EXPECT_EQ(packet.SetLength(2000), 0u);
    EXPECT_EQ(packet.SetLength(0), 1u);
    EXPECT_EQ(packet.PutBuffer(text("hello"), 5), 5u);
    EXPECT_EQ(std::memcmp(packet.GetBuffer(), "hello", 5), 0);
}

TEST(LegacyPacket, DefaultHeaderIs128LaterConfigStillSetsItAndInvalidPacketsDoNothing)
{
    ::CPacket before(10);
    EXPECT_EQ(before.GetHeaderSize(), 128u);
    struct Probe
    {
        int calls = 0;
        void onRelease(void*, unsigned int) { ++calls; }
    } probe;
    char data[10] = {};
    {
        ::CPacket deferred(
            10, [&probe](void* p, unsigned int n) { probe.onRelease(p, n); },
            nullptr); // a lambda is a deleter as it stands
        EXPECT_EQ(deferred.GetHeaderSize(), 128u);
        deferred.ClearHeader();
        EXPECT_EQ(deferred.PutBuffer(data, 10), 10u);
    }
    EXPECT_EQ(probe.calls, 1);
    PrintCapture capture;
    IPacketManager::config(1 << 20, 1024, 32); // too late for the pool: only the header changes
    EXPECT_TRUE(capture.contains("Packet Manager has been configured!"));
    EXPECT_EQ(PacketManagerInternal::instance()->getPolicy(), CPacketManager::policySystem);
    EXPECT_EQ(::CPacket(10).GetHeaderSize(), 32u);
    EXPECT_EQ(before.GetHeaderSize(), 128u);

    // The packet's sizes are 32-bit; a wider request (often an underflowed subtraction) must
    // not come back as a small packet made of its low bits. Invalid packets do nothing.
    EXPECT_TRUE(::CPacket(1000ul).Valid());
#if ULONG_MAX > 0xFFFFFFFFul
    ::CPacket failed(0x100000010ul);
#else
    ::CPacket failed; // a 32-bit unsigned long (Windows) cannot ask for more than 32 bits
#endif
    ::CPacket none;
    ::CPacket copy(none);
    for (::CPacket* p : {&failed, &none, &copy}) {
        EXPECT_TRUE(p->Invalid());
        EXPECT_FALSE(p->Valid());
        EXPECT_EQ(p->GetSize() + p->GetLength() + p->GetLeft() + p->GetHeaderSize(), 0u);
        EXPECT_EQ(p->SetLength(0), 0u);
        EXPECT_EQ(p->PutBuffer(text("x"), 1), 0u);
        EXPECT_EQ(p->GetBuffer(), nullptr);
        EXPECT_EQ(p->GetHeader(), nullptr);
        p->ClearHeader();
        EXPECT_FALSE(Orlix::Memory::CPacket(*p).valid());
    }

    Orlix::Infra::setPrintLogLevel(4);
    capture.clear();
    IPacketManager::instance()->DumpNodes();
    EXPECT_TRUE(capture.contains("CPacketManager dump: SYS Policy\n"));
}

TEST(LegacyPacket, CopiesConversionsAndTheShareHelperShareOnePacket)
{
    ::CPacket packet(16);
    packet.SetLength(0);
    Orlix::Memory::CPacket modern = packet;
    EXPECT_EQ(modern.getBuffer(), packet.GetBuffer());
    modern.putBuffer(text("abc"), 3);
    EXPECT_EQ(packet.GetLength(), 3u);

    ::CPacket back(modern);
    ::CPacket assigned;
    assigned = back;
    EXPECT_EQ(assigned.GetBuffer(), packet.GetBuffer());
    ::CPacket other(8);
    assigned = other; // into an existing inner packet
    EXPECT_EQ(assigned.GetBuffer(), other.GetBuffer());
    assigned = ::CPacket();
    EXPECT_TRUE(assigned.Invalid());
    EXPECT_TRUE(::CPacket(Orlix::Memory::CPacket()).Invalid());

    // The share helper is inactive: packets pass through it unchanged.
    CSharePacketHelper* helper = CSharePacketHelper::instance();
    BaseArg arg;
    EXPECT_FALSE(helper->initSharePacket(&arg));
    EXPECT_EQ(helper->toDescribePacket(packet).GetBuffer(), packet.GetBuffer());
    EXPECT_EQ(helper->toOriginalPacket(packet).GetBuffer(), packet.GetBuffer());
}

} // namespace
