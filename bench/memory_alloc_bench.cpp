// The packet manager's buddy pool against the general-purpose allocators a user would
// otherwise call: glibc's malloc/free, jemalloc's mallocx/dallocx and mimalloc's
// mi_malloc/mi_free (each optional peer only when its library was found). Each iteration
// releases one of 64 live blocks and allocates a new one of a mixed size (16 bytes to 4 KiB,
// log-uniform, the same sequence for every allocator), so every allocator works with a
// realistic live set.
// The fixed-size pool (CMemPool, 64-byte blocks) is compared with the same allocators here,
// in the same process, with 64 blocks live.
// Measured on one thread and on two threads at once (each thread its own live set; the pool
// and the allocators are shared).
#include "infra/mempool.h"
#include "infra/packetmanager.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <random>
#include <vector>

#ifdef ORLIX_BENCH_JEMALLOC
#include <jemalloc/jemalloc.h>
#endif
#ifdef ORLIX_BENCH_MIMALLOC
#include <mimalloc.h>
#endif

// glibc's allocator under its own names: with jemalloc or mimalloc linked in, plain malloc()
// may be one of them.
extern "C" void* __libc_malloc(size_t size);
extern "C" void __libc_free(void* p);

namespace {

using Orlix::Memory::CPacketManager;

constexpr size_t kLive = 64;
constexpr size_t kSizes = 4096;

const std::vector<unsigned int>& mixedSizes()
{
    static const std::vector<unsigned int> sizes = [] {
        std::mt19937 random(42);
        std::uniform_real_distribution<double> exponent(4.0, 12.0); // 16 B .. 4 KiB
        std::vector<unsigned int> out(kSizes);
        for (unsigned int& size : out)
            size = static_cast<unsigned int>(std::pow(2.0, exponent(random)));
        return out;
    }();
    return sizes;
}

struct PoolAllocator
{
    static void* allocate(unsigned int size) { return CPacketManager::instance()->malloc(size); }
    static void release(void* p) { CPacketManager::instance()->free(p); }
};

struct GlibcAllocator
{
    static void* allocate(unsigned int size) { return __libc_malloc(size); }
    static void release(void* p) { __libc_free(p); }
};

#ifdef ORLIX_BENCH_JEMALLOC
struct JemallocAllocator
{
    static void* allocate(unsigned int size) { return mallocx(size, 0); }
    static void release(void* p) { dallocx(p, 0); }
};
#endif

#ifdef ORLIX_BENCH_MIMALLOC
struct MimallocAllocator
{
    static void* allocate(unsigned int size) { return mi_malloc(size); }
    static void release(void* p) { mi_free(p); }
};
#endif

template <class Allocator>
void BM_MallocFreeMixed(benchmark::State& state)
{
    const std::vector<unsigned int>& sizes = mixedSizes();
    std::vector<void*> live(kLive, nullptr);
    size_t next = static_cast<size_t>(state.thread_index()) * 1000;
    for (void*& slot : live) {
        slot = Allocator::allocate(sizes[next++ % kSizes]);
        static_cast<unsigned char*>(slot)[0] = 1;
    }
    size_t slot = 0;
    for (auto _ : state) {
        Allocator::release(live[slot]);
        void* p = Allocator::allocate(sizes[next++ % kSizes]);
        static_cast<unsigned char*>(p)[0] = 1; // touch it, as a user would
        live[slot] = p;
        slot = (slot + 1) % kLive;
    }
    for (void* p : live)
        Allocator::release(p);
    state.SetItemsProcessed(state.iterations());
}

BENCHMARK_TEMPLATE(BM_MallocFreeMixed, PoolAllocator)->Threads(1)->Threads(2)->UseRealTime();
BENCHMARK_TEMPLATE(BM_MallocFreeMixed, GlibcAllocator)->Threads(1)->Threads(2)->UseRealTime();
#ifdef ORLIX_BENCH_JEMALLOC
BENCHMARK_TEMPLATE(BM_MallocFreeMixed, JemallocAllocator)->Threads(1)->Threads(2)->UseRealTime();
#endif
#ifdef ORLIX_BENCH_MIMALLOC
BENCHMARK_TEMPLATE(BM_MallocFreeMixed, MimallocAllocator)->Threads(1)->Threads(2)->UseRealTime();
#endif

// ---------------------------------------------------------------- fixed-size blocks

constexpr size_t kLiveBlocks = 64;
constexpr unsigned int kBlockSize = 64;

struct MemPoolAllocator
{
    static Orlix::Memory::Detail::CMemPool& pool()
    {
        static Orlix::Memory::Detail::CMemPool blocks(kBlockSize, 256);
        return blocks;
    }
    static void* allocate(unsigned int) { return pool().malloc(); }
    static void release(void* p) { pool().free(p); }
};

template <class Allocator>
void BM_FixedBlocks64(benchmark::State& state)
{
    std::vector<void*> live(kLiveBlocks);
    for (void*& p : live)
        p = Allocator::allocate(kBlockSize);
    size_t slot = 0;
    for (auto _ : state) {
        Allocator::release(live[slot]);
        live[slot] = Allocator::allocate(kBlockSize);
        static_cast<unsigned char*>(live[slot])[0] = 1;
        slot = (slot * 7 + 1) % kLiveBlocks; // not strictly LIFO
    }
    for (void* p : live)
        Allocator::release(p);
    state.SetItemsProcessed(state.iterations());
}

BENCHMARK_TEMPLATE(BM_FixedBlocks64, MemPoolAllocator);
BENCHMARK_TEMPLATE(BM_FixedBlocks64, GlibcAllocator);
#ifdef ORLIX_BENCH_JEMALLOC
BENCHMARK_TEMPLATE(BM_FixedBlocks64, JemallocAllocator);
#endif
#ifdef ORLIX_BENCH_MIMALLOC
BENCHMARK_TEMPLATE(BM_FixedBlocks64, MimallocAllocator);
#endif

} // namespace

int main(int argc, char** argv)
{
    // 16 MiB in 1 KiB chunks: ample for two threads' live sets of 64 blocks of up to 4 KiB.
    CPacketManager::PoolParameter pool = {16 * 1024 * 1024, 1024, 4};
    CPacketManager::config(CPacketManager::policyPool, nullptr, &pool);
    CPacketManager::instance();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
