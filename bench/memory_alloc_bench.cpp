// The packet manager's buddy pool against the general-purpose allocators a user would
// otherwise call: glibc's malloc/free and jemalloc's. Each iteration releases one of 64 live
// blocks and allocates a new one of a mixed size (64 bytes to 8 KiB, log-uniform, the same
// sequence for every allocator), so every allocator works with a realistic live set.
// Measured on one thread and on two threads at once (each thread its own live set; the pool
// and the allocators are shared).
#include "infra/packetmanager.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <random>
#include <vector>

#ifdef ORLIX_BENCH_JEMALLOC
#include <jemalloc/jemalloc.h>
#endif

// glibc's allocator under its own names: with jemalloc linked in, plain malloc() is jemalloc.
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
        std::uniform_real_distribution<double> exponent(6.0, 13.0); // 64 B .. 8 KiB
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

} // namespace

int main(int argc, char** argv)
{
    // 16 MiB in 1 KiB chunks: ample for two threads' live sets of 64 blocks of up to 8 KiB.
    CPacketManager::PoolParameter pool = {16 * 1024 * 1024, 1024, 4};
    CPacketManager::config(CPacketManager::policyPool, nullptr, &pool);
    CPacketManager::instance();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
