// Packets and pools shared between threads. Built and run under ThreadSanitizer too.
#include "memory_test_util.h"

#include "infra/mempool.h"
#include "infra/packet.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <random>
#include <thread>
#include <vector>

namespace {

using namespace OrlixTest;
using Orlix::Memory::CPacket;

// A bounded blocking queue of packets (so the pool never runs dry while the consumer lags);
// an empty packet tells the consumer to stop.
class PacketQueue
{
public:
    void push(const CPacket& packet)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_room.wait(lock, [this] { return m_packets.size() < 64; });
        m_packets.push_back(packet);
        m_ready.notify_one();
    }
    CPacket pop()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_ready.wait(lock, [this] { return !m_packets.empty(); });
        CPacket packet = m_packets.front();
        m_packets.pop_front();
        m_room.notify_one();
        return packet;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_ready;
    std::condition_variable m_room;
    std::deque<CPacket> m_packets;
};

bool patternHolds(const CPacket& packet)
{
    const unsigned char seed = packet.getBuffer()[0];
    for (unsigned int i = 1; i < packet.size(); ++i)
        if (packet.getBuffer()[i] != static_cast<unsigned char>(seed + i))
            return false;
    return true;
}

// The road of a packet, many times: made and filled on one thread, copied to another that
// checks and releases it, while the maker drops its own handle at a random moment, so the
// last release (and the return to the pool) happens on either side.
TEST(MemoryConcurrency, PacketsHandedToAnotherThreadReturnToThePool)
{
    configurePool(CPacketManager::policyPool, 4 * 1024 * 1024);
    PacketQueue queue;
    std::atomic<int> corrupt{0};
    std::atomic<int> received{0};
    std::thread consumer([&] {
        for (;;) {
            CPacket packet = queue.pop();
            if (!packet.valid())
                return;
            if (!patternHolds(packet))
                ++corrupt;
            ++received;
        }
    });

    std::mt19937 random(99);
    std::vector<CPacket> kept;
    int sent = 0;
    bool allMade = true;
    for (int i = 0; i < 3000 && allMade; ++i) {
        const unsigned int size = 1 + random() % 6000;
        CPacket packet(size, random() % 64);
        allMade = packet.valid();
        if (!allMade)
            break;
        for (unsigned int b = 0; b < size; ++b)
            packet.getBuffer()[b] = static_cast<unsigned char>(i + b);
        queue.push(packet);
        ++sent;
        if (random() % 2 == 0)
            kept.push_back(packet); // still ours while the consumer may drop its copy
        if (kept.size() > 8)
            kept.erase(kept.begin() + static_cast<long>(random() % kept.size()));
    }
    kept.clear();
    queue.push(CPacket());
    consumer.join();
    EXPECT_TRUE(allMade);
    EXPECT_EQ(received.load(), sent);
    EXPECT_EQ(corrupt.load(), 0);
    expectPoolWhole();
}

TEST(MemoryConcurrency, PoolServesTwoThreadsAtOnce)
{
    configurePool(CPacketManager::policyPool, 1 << 20);
    CPacketManager* manager = CPacketManager::instance();
    std::atomic<int> overlaps{0};
    auto work = [&](unsigned int seed) {
        std::mt19937 random(seed);
        std::vector<std::pair<unsigned char*, size_t>> live;
        for (int i = 0; i < 4000; ++i) {
            if (live.size() < 16 && random() % 3 != 0) {
                const size_t size = 1 + random() % 9000;
                unsigned char* p =
                    static_cast<unsigned char*>(manager->malloc(static_cast<unsigned int>(size)));
                if (p != nullptr) {
                    std::memset(p, static_cast<int>(seed), size);
                    live.emplace_back(p, size);
                }
            } else if (!live.empty()) {
                const auto block = live.back();
                live.pop_back();
                for (size_t k = 0; k < block.second; k += 61)
                    if (block.first[k] != static_cast<unsigned char>(seed))
                        ++overlaps;
                manager->free(block.first);
            }
        }
        for (const auto& block : live)
            manager->free(block.first);
    };
    std::thread other(work, 1u);
    work(2u);
    other.join();
    EXPECT_EQ(overlaps.load(), 0);
    expectPoolWhole();
}

TEST(MemoryConcurrency, CallerBufferDeleterRunsOnceWhicheverThreadIsLast)
{
    std::atomic<int> deleted{0};
    struct Probe
    {
        std::atomic<int>* counter;
        void onRelease(void* p, unsigned int)
        {
            ++*counter;
            delete[] static_cast<char*>(p);
        }
    } probe{&deleted};

    const int rounds = 300;
    for (int round = 0; round < rounds; ++round) {
        CPacket packet(new char[32], 32, CPacket::Deleter(&Probe::onRelease, &probe));
        std::vector<std::thread> holders;
        for (int t = 0; t < 3; ++t)
            holders.emplace_back([copy = packet]() mutable {
                CPacket again = copy;
                copy.reset();
            });
        packet.reset();
        for (std::thread& holder : holders)
            holder.join();
        ASSERT_EQ(deleted.load(), round + 1);
    }
}

TEST(MemoryConcurrency, FixedSizePoolServesTwoThreads)
{
    Orlix::Memory::Detail::CMemPool pool(40, 16);
    std::atomic<int> clashes{0};
    auto work = [&](unsigned char mark) {
        std::vector<unsigned char*> live;
        for (int i = 0; i < 20000; ++i) {
            if (live.size() < 32 && (i % 3) != 2) {
                unsigned char* block = static_cast<unsigned char*>(pool.malloc());
                std::memset(block, mark, 40);
                live.push_back(block);
            } else if (!live.empty()) {
                unsigned char* block = live.back();
                live.pop_back();
                if (block[39] != mark || block[8] != mark)
                    ++clashes;
                pool.free(block);
            }
        }
        for (unsigned char* block : live)
            pool.free(block);
    };
    std::thread other(work, static_cast<unsigned char>(0x11));
    work(0x22);
    other.join();
    EXPECT_EQ(clashes.load(), 0);
}

} // namespace
