// Packets, the fixed-size pool and the growable buffer against what a user would otherwise
// write:
//  - a packet made, copied twice and destroyed, against std::make_shared of a byte vector
//    with two shared_ptr copies (the vector zero-fills its bytes, the packet does not), once
//    alone and once with 64 packets in flight;
//  - CMemPool blocks against malloc/free of the same size, with 64 blocks live;
//  - CBuffer::putBuffer growing a buffer to 64 KiB in 64-byte appends (exact growth and a
//    4 KiB step) against std::vector::insert at the end.
// The packet policy is the pool (1 KiB chunks) unless ORLIX_BENCH_PACKET_POLICY=system.
#include "infra/buffer.h"
#include "infra/mempool.h"
#include "infra/packet.h"
#include "infra/packetmanager.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace {

using Orlix::Memory::CBuffer;
using Orlix::Memory::CPacket;
using Orlix::Memory::CPacketManager;
using Orlix::Memory::Detail::CMemPool;

// ---------------------------------------------------------------- packets

void BM_PacketCreateCopyDestroy(benchmark::State& state)
{
    const unsigned int size = static_cast<unsigned int>(state.range(0));
    for (auto _ : state) {
        CPacket packet(size, 0);
        packet.getBuffer()[0] = 1;
        CPacket first(packet);
        CPacket second(first);
        benchmark::DoNotOptimize(second.getBuffer());
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_PacketCreateCopyDestroy)->Arg(64)->Arg(1500)->Arg(3000);

void BM_SharedVectorCreateCopyDestroy(benchmark::State& state)
{
    const size_t size = static_cast<size_t>(state.range(0));
    for (auto _ : state) {
        auto packet = std::make_shared<std::vector<unsigned char>>(size);
        (*packet)[0] = 1;
        auto first = packet;
        auto second = first;
        benchmark::DoNotOptimize(second->data());
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SharedVectorCreateCopyDestroy)->Arg(64)->Arg(1500)->Arg(3000);

// The same with 64 packets in flight (a pipeline's queue): each iteration makes a packet,
// copies it into the ring (dropping the oldest) and drops a second copy. With nothing live,
// as above, every pool release merges all the way up and the next request splits all the way
// down again: the buddy pool's worst case.
constexpr size_t kInFlight = 64;

void BM_PacketInFlight(benchmark::State& state)
{
    const unsigned int size = static_cast<unsigned int>(state.range(0));
    std::vector<CPacket> ring(kInFlight);
    size_t slot = 0;
    for (auto _ : state) {
        CPacket packet(size, 0);
        packet.getBuffer()[0] = 1;
        ring[slot] = packet;
        CPacket second(packet);
        benchmark::DoNotOptimize(second.getBuffer());
        slot = (slot + 1) % kInFlight;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_PacketInFlight)->Arg(64)->Arg(1500)->Arg(3000);

void BM_SharedVectorInFlight(benchmark::State& state)
{
    const size_t size = static_cast<size_t>(state.range(0));
    std::vector<std::shared_ptr<std::vector<unsigned char>>> ring(kInFlight);
    size_t slot = 0;
    for (auto _ : state) {
        auto packet = std::make_shared<std::vector<unsigned char>>(size);
        (*packet)[0] = 1;
        ring[slot] = packet;
        auto second = packet;
        benchmark::DoNotOptimize(second->data());
        slot = (slot + 1) % kInFlight;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SharedVectorInFlight)->Arg(64)->Arg(1500)->Arg(3000);

// ---------------------------------------------------------------- fixed-size blocks

constexpr size_t kLiveBlocks = 64;
constexpr unsigned int kBlockSize = 64;

void BM_MemPoolMallocFree(benchmark::State& state)
{
    CMemPool pool(kBlockSize, 256);
    std::vector<void*> live(kLiveBlocks);
    for (void*& p : live)
        p = pool.malloc();
    size_t slot = 0;
    for (auto _ : state) {
        pool.free(live[slot]);
        live[slot] = pool.malloc();
        static_cast<unsigned char*>(live[slot])[0] = 1;
        slot = (slot * 7 + 1) % kLiveBlocks; // not strictly LIFO
    }
    for (void* p : live)
        pool.free(p);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_MemPoolMallocFree);

void BM_MallocFreeFixed(benchmark::State& state)
{
    std::vector<void*> live(kLiveBlocks);
    for (void*& p : live)
        p = std::malloc(kBlockSize);
    size_t slot = 0;
    for (auto _ : state) {
        std::free(live[slot]);
        live[slot] = std::malloc(kBlockSize);
        static_cast<unsigned char*>(live[slot])[0] = 1;
        slot = (slot * 7 + 1) % kLiveBlocks;
    }
    for (void* p : live)
        std::free(p);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_MallocFreeFixed);

// ---------------------------------------------------------------- growable buffer

constexpr unsigned int kPiece = 64;
constexpr unsigned int kTotal = 64 * 1024;

void BM_BufferPutBufferGrowth(benchmark::State& state)
{
    const unsigned int step = static_cast<unsigned int>(state.range(0));
    unsigned char piece[kPiece];
    std::memset(piece, 'x', sizeof(piece));
    for (auto _ : state) {
        CBuffer buffer;
        if (step > 0)
            buffer.setIncreasedSize(step);
        for (unsigned int done = 0; done < kTotal; done += kPiece)
            buffer.putBuffer(piece, kPiece);
        benchmark::DoNotOptimize(buffer.getBuffer());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kTotal);
}
BENCHMARK(BM_BufferPutBufferGrowth)->Arg(0)->Arg(4096);

void BM_VectorInsertGrowth(benchmark::State& state)
{
    unsigned char piece[kPiece];
    std::memset(piece, 'x', sizeof(piece));
    for (auto _ : state) {
        std::vector<unsigned char> buffer;
        for (unsigned int done = 0; done < kTotal; done += kPiece)
            buffer.insert(buffer.end(), piece, piece + kPiece);
        benchmark::DoNotOptimize(buffer.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kTotal);
}
BENCHMARK(BM_VectorInsertGrowth);

} // namespace

int main(int argc, char** argv)
{
    const char* policy = std::getenv("ORLIX_BENCH_PACKET_POLICY");
    if (policy == nullptr || std::strcmp(policy, "system") != 0) {
        CPacketManager::PoolParameter pool = {16 * 1024 * 1024, 1024, 4};
        CPacketManager::config(CPacketManager::policyPool, nullptr, &pool);
    }
    CPacketManager::instance();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
