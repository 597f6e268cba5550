// Chapter: memory. The road of one packet through the buddy pool, plus the fixed-size pool
// and the growable buffer.
//
// The packet manager takes its configuration only before its first use, so this chapter
// configures the pool policy at its very start and must stay the first code in the program
// that touches the packet manager or creates a packet. Chapters that run later may create
// packets freely: they then get them from this pool.
#include "tour.h"

#include <infra/orlix.h>

#include <cstdio>
#include <cstring>
#include <thread>

namespace {

using Orlix::Infra::CThread;
using Orlix::Infra::setPrintLogLevel;
using Orlix::Memory::CBuffer;
using Orlix::Memory::CPacketManager;
using Orlix::Memory::Detail::CMemPool;
// ::CPacket is the legacy class; name the modern one explicitly.
using Packet = Orlix::Memory::CPacket;

void roadOfOnePacket()
{
    tourHeading("Memory: the road of one packet");

    // Before first use: a pool of 2 MiB in 1024-byte chunks.
    CPacketManager::PoolParameter pool = {2 * 1024 * 1024, 1024, 4};
    CPacketManager::config(CPacketManager::policyPool, nullptr, &pool);
    CPacketManager* manager = CPacketManager::instance(); // builds the pool
    const unsigned int whole = manager->getFreeSize();
    std::printf("pool of %u bytes, %u free\n", manager->getBufferSize(), whole);

    // 3000 bytes of data plus the packet's control record: one block of four chunks.
    Packet packet(3000, 0);
    std::printf("packet: size %u, capacity %u; pool now %u bytes free (%u taken)\n", packet.size(),
                packet.capacity(), manager->getFreeSize(), whole - manager->getFreeSize());

    // Fill it: a new packet counts as full, so empty it first and append.
    packet.resize(0);
    char line[64];
    while (packet.size() + sizeof(line) <= 3000) {
        const int n = std::snprintf(line, sizeof(line), "record %u;", packet.size());
        packet.putBuffer(line, static_cast<unsigned int>(n));
    }
    std::printf("thread %d filled %u bytes\n", CThread::getCurrentThreadID(), packet.size());

    // Copy it (the count rises to 2, no data is copied), let the writer's handle go, and hand
    // the copy to another thread. Starting a thread orders everything written before it, so
    // the reader sees the data; its handle is the last one, so the block returns to the pool
    // on the reader's thread and merges with its free buddies there.
    Packet handedOver = packet;
    packet.reset();
    std::thread reader([&handedOver, manager] {
        Packet mine = handedOver;
        handedOver.reset();
        std::printf("thread %d reads %u bytes: \"%.17s...\"\n", CThread::getCurrentThreadID(),
                    mine.size(), reinterpret_cast<const char*>(mine.getBuffer()));
        mine.reset(); // the last handle: the block goes back to the pool here
        std::printf("thread %d released it; %u bytes free\n", CThread::getCurrentThreadID(),
                    manager->getFreeSize());
    });
    reader.join();
    std::printf("pool %s\n", manager->getFreeSize() == whole ? "whole again" : "NOT whole");

    // The free lists, at info level: one free block of order 11 covering the whole pool.
    setPrintLogLevel(4);
    manager->dumpNodes();
    setPrintLogLevel(3);
}

void fixedPoolAndBuffer()
{
    tourHeading("Memory: fixed-size pool and growable buffer");

    CMemPool sessions(48, 32); // 48-byte blocks, 32 to a chunk
    void* a = sessions.malloc();
    void* b = sessions.malloc();
    std::printf("two blocks %td bytes apart\n",
                static_cast<unsigned char*>(b) - static_cast<unsigned char*>(a));
    sessions.free(a);
    std::printf("the block just released comes back first: %s\n",
                sessions.malloc() == a ? "yes" : "no");

    CBuffer buffer;
    unsigned char hello[] = {'h', 'e', 'l', 'l', 'o'};
    buffer.putBuffer(hello, sizeof(hello));
    std::printf("buffer: size %u, capacity %u\n", buffer.size(), buffer.capacity());
    buffer.setIncreasedSize(256);
    for (int i = 0; i < 100; ++i)
        buffer.putBuffer(hello, sizeof(hello));
    std::printf("after 100 more appends with a 256-byte step: size %u, capacity %u\n",
                buffer.size(), buffer.capacity());
}

} // namespace

void tourMemory()
{
    roadOfOnePacket();
    fixedPoolAndBuffer();
}
