// Packets and pools shared between threads. Built and run under ThreadSanitizer too.
#include "memory_test_util.h"

#include "infra/mempool.h"
#include "infra/packet.h"
#include "memory/spinlock.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <mutex>
#include <random>
#include <thread>
#include <vector>

namespace {

using namespace OrlixTest;
using Orlix::Memory::CPacket;

// The pools' lock: every increment of a plain counter under it survives, also when a holder
// lingers (now and then it sleeps inside the lock), so that the waiters outlast their spin
// and go to sleep, and must be woken by the unlock. Under ThreadSanitizer this also checks
// that an unlock orders the holder's writes before the next holder's reads.
TEST(MemoryConcurrency, PoolLockExcludesAndWakesItsSleepers)
{
    Orlix::Memory::Detail::CPoolLock lock;
    long counter = 0;
    const int threads = 4;
    const int rounds = 3000;
    auto work = [&](int seed) {
        for (int i = 0; i < rounds; ++i) {
            Orlix::Memory::Detail::CPoolLockGuard guard(lock);
            const long seen = counter;
            if ((i + seed) % 500 == 0)
                std::this_thread::sleep_for(std::chrono::microseconds(200));
            counter = seen + 1;
        }
    };
    std::vector<std::thread> others;
    for (int t = 1; t < threads; ++t)
        others.emplace_back(work, t);
    work(0);
    for (std::thread& other : others)
        other.join();
    EXPECT_EQ(counter, long(threads) * rounds);
}

// The road of a packet, many times: batches made and filled on one thread are copied to
// another that checks and releases them, while the maker drops its own handles in a random
// order at the same time, so the last release (and the return to the pool) happens on either
// side.
TEST(MemoryConcurrency, PacketsHandedToAnotherThreadReturnToThePool)
{
    configurePool(CPacketManager::policyPool, 4 * 1024 * 1024);
    std::mt19937 random(99);
    int corrupt = 0;
    for (int round = 0; round < 150; ++round) {
        std::vector<CPacket> batch;
        for (int i = 0; i < 20; ++i) {
            const unsigned int size = 1 + random() % 6000;
            batch.emplace_back(size, random() % 64);
            ASSERT_TRUE(batch.back().valid()) << "round " << round;
            for (unsigned int b = 0; b < size; ++b)
                batch.back().getBuffer()[b] = static_cast<unsigned char>(i + b);
        }
        std::thread reader([copies = batch, &corrupt]() mutable {
            for (size_t i = 0; i < copies.size(); ++i) {
                for (unsigned int b = 0; b < copies[i].size(); ++b)
                    corrupt += copies[i].getBuffer()[b] != static_cast<unsigned char>(i + b);
                copies[i].reset();
            }
        });
        std::shuffle(batch.begin(), batch.end(), random);
        while (!batch.empty())
            batch.pop_back();
        reader.join();
    }
    EXPECT_EQ(corrupt, 0);
    expectPoolWhole();
}

// Two threads take and release blocks of random sizes from one allocator, each filling its
// blocks with its own mark and checking the mark before the release. Returns the clashes.
int hammerFromTwoThreads(const std::function<unsigned char*(size_t)>& take,
                         const std::function<void(unsigned char*)>& give, size_t maxSize)
{
    std::atomic<int> clashes{0};
    auto work = [&](unsigned char mark) {
        std::mt19937 random(mark);
        std::vector<std::pair<unsigned char*, size_t>> live;
        for (int i = 0; i < 8000; ++i) {
            if (live.size() < 24 && random() % 3 != 0) {
                const size_t size = 1 + random() % maxSize;
                if (unsigned char* p = take(size)) {
                    std::memset(p, mark, size);
                    live.emplace_back(p, size);
                }
            } else if (!live.empty()) {
                const auto block = live.back();
                live.pop_back();
                for (size_t k = 0; k < block.second; k += 61)
                    if (block.first[k] != mark || block.first[block.second - 1] != mark)
                        ++clashes;
                give(block.first);
            }
        }
        for (const auto& block : live)
            give(block.first);
    };
    std::thread other(work, static_cast<unsigned char>(0x11));
    work(0x22);
    other.join();
    return clashes.load();
}

TEST(MemoryConcurrency, PoolAndFixedSizePoolServeTwoThreadsAtOnce)
{
    configurePool(CPacketManager::policyPool, 1 << 20);
    CPacketManager* manager = CPacketManager::instance();
    EXPECT_EQ(hammerFromTwoThreads(
                  [&](size_t n) {
                      return static_cast<unsigned char*>(
                          manager->malloc(static_cast<unsigned int>(n)));
                  },
                  [&](unsigned char* p) { manager->free(p); }, 9000),
              0);
    expectPoolWhole();

    // Blocks of 20 bytes put the links at offsets that are no multiple of a pointer's
    // alignment; 7 blocks per chunk make the threads spread over many chunks.
    Orlix::Memory::Detail::CMemPool pool(20, 7);
    EXPECT_EQ(
        hammerFromTwoThreads([&](size_t) { return static_cast<unsigned char*>(pool.malloc()); },
                             [&](unsigned char* p) { pool.free(p); }, 20),
        0);
}

// Every core at once (at least two threads) on both pools and on packets passed between
// threads: each thread takes pool blocks and fixed-size blocks, marks them, checks its marks
// before giving them back, and drops packets into a shared tray from which any thread may
// take and release them. Afterwards the pool must be whole again, and its next placements
// must be those of an untouched pool: a free list or its bookkeeping left inconsistent by a
// race would hand out another chunk (or the same chunk twice).
TEST(MemoryConcurrency, PoolsServeEveryCoreAtOnceAndComeBackWhole)
{
    configurePool(CPacketManager::policyPool, 2 * 1024 * 1024);
    CPacketManager* manager = CPacketManager::instance();
    Orlix::Memory::Detail::CMemPool fixed(24, 5);
    const unsigned int threads = std::max(2u, std::thread::hardware_concurrency());

    std::mutex trayMutex;
    std::vector<CPacket> tray;
    std::atomic<int> clashes{0};
    std::atomic<int> refused{0};
    std::atomic<unsigned int> ready{0};

    auto work = [&](unsigned int seed) {
        // Start together, so that the threads really overlap.
        ++ready;
        while (ready.load() < threads)
            std::this_thread::yield();
        std::mt19937 random(seed);
        const unsigned char mark = static_cast<unsigned char>(0x40 + seed);
        struct Block
        {
            unsigned char* p;
            size_t size;
            bool fixed;
        };
        std::vector<Block> live;
        // Marks at both ends of a block (a pool block or a fixed-size one) catch every
        // overlap with another thread's block; the memset over the whole block would only
        // slow the threads down and make their pool calls meet less often.
        auto fill = [&](unsigned char* p, size_t size) {
            p[0] = mark;
            p[size - 1] = mark;
        };
        auto check = [&](const Block& block) {
            clashes += block.p[0] != mark;
            clashes += block.p[block.size - 1] != mark;
        };
        for (int i = 0; i < 20000; ++i) {
            const unsigned int action = random() % 8;
            if (action < 3 && live.size() < 16) {
                const size_t size = 1 + random() % 5000;
                unsigned char* p =
                    static_cast<unsigned char*>(manager->malloc(static_cast<unsigned int>(size)));
                if (p == nullptr) {
                    ++refused;
                    continue;
                }
                fill(p, size);
                live.push_back({p, size, false});
            } else if (action < 5 && live.size() < 16) {
                unsigned char* p = static_cast<unsigned char*>(fixed.malloc());
                fill(p, 24);
                live.push_back({p, 24, true});
            } else if (action < 7) {
                CPacket packet(1 + random() % 3000, random() % 40);
                if (!packet.valid()) {
                    ++refused;
                    continue;
                }
                fill(packet.getBuffer(), packet.size());
                std::lock_guard<std::mutex> guard(trayMutex);
                if (tray.size() > 32) {
                    std::swap(tray[random() % tray.size()], tray.back());
                    tray.pop_back(); // released here, maybe made elsewhere
                }
                tray.push_back(packet);
            } else if (!live.empty()) {
                std::swap(live[random() % live.size()], live.back());
                const Block block = live.back();
                live.pop_back();
                check(block);
                if (block.fixed)
                    fixed.free(block.p);
                else
                    manager->free(block.p);
            }
        }
        for (const Block& block : live) {
            check(block);
            if (block.fixed)
                fixed.free(block.p);
            else
                manager->free(block.p);
        }
    };

    std::vector<std::thread> workers;
    for (unsigned int t = 1; t < threads; ++t)
        workers.emplace_back(work, t);
    work(0);
    for (std::thread& worker : workers)
        worker.join();
    tray.clear();

    EXPECT_EQ(clashes.load(), 0);
    // 2 MiB cannot run dry on a few cores: each thread holds at most 16 blocks of up to
    // 8 KiB, and the tray at most 33 packets of up to 4 KiB.
    if (threads <= 4) {
        EXPECT_EQ(refused.load(), 0);
    }
    expectPoolWhole();
    void* last = manager->malloc(1);
    void* second = manager->malloc(1024);
    void* pair = manager->malloc(2048);
    PacketManagerInternal* pool = PacketManagerInternal::instance();
    const int blocks = static_cast<int>(pool->blockCount());
    EXPECT_EQ(chunkIndexOf(last), blocks - 1);
    EXPECT_EQ(chunkIndexOf(second), blocks - 2);
    EXPECT_EQ(chunkIndexOf(pair), blocks - 4);
    manager->free(pair);
    manager->free(second);
    manager->free(last);
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

    for (int round = 0; round < 300; ++round) {
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

} // namespace
