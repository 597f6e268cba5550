// Checksum and digest throughput at 64 bytes, 4 KiB and 1 MiB, in bytes per second.
//
// Crc32/<path>, Crc16/<path> and Sha1Blocks/<path> force each implementation the library
// has (the ones this CPU cannot run are not registered); Crc32/orlix, Crc16/orlix,
// Sha1/orlix and Md5/orlix go through the public functions and so through the path chosen
// at first use. Every iteration computes one complete checksum or digest of the buffer
// (Sha1Blocks: its whole 64-byte blocks only). Memcpy copies the buffer: the ceiling for
// anything that reads it once.
#include "infra/crc.h"
#include "infra/md5.h"
#include "infra/sha1.h"
#include "utils/crc_paths.h"
#include "utils/digest_blocks.h"

#include <benchmark/benchmark.h>
#include <openssl/evp.h>
#include <zlib.h>

#if defined(ORLIX_BENCH_ISAL)
#include <immintrin.h>
#include <isa-l/crc.h>
#endif
#if defined(ORLIX_BENCH_LIBDEFLATE)
#include <libdeflate.h>
#endif

#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

namespace D = Orlix::Utils::Detail;

const std::int64_t kSizes[] = {64, 4096, 1 << 20};

std::vector<unsigned char> randomBytes(std::size_t n)
{
    std::mt19937 rng(42);
    std::vector<unsigned char> v(n);
    for (auto& b : v)
        b = static_cast<unsigned char>(rng());
    return v;
}

void setBytes(benchmark::State& state)
{
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}

// Registers fn(state) under name at every size.
template <typename Fn>
void add(const std::string& name, Fn fn)
{
    auto* b = benchmark::RegisterBenchmark(name.c_str(), [fn](benchmark::State& state) {
        const auto data = randomBytes(static_cast<std::size_t>(state.range(0)));
        fn(state, data);
        setBytes(state);
    });
    for (std::int64_t size : kSizes)
        b->Arg(size);
}

using Data = std::vector<unsigned char>;

#if defined(ORLIX_BENCH_ISAL)
__attribute__((target("avx"))) void clearUpperVectorStateAvx()
{
    _mm256_zeroupper();
}

void clearUpperVectorState()
{
    if (__builtin_cpu_supports("avx"))
        clearUpperVectorStateAvx();
}
#endif

void registerCrc()
{
    for (const D::CrcPath& path : D::crc32Paths()) {
        if (!path.usable)
            continue;
        const D::CrcFunction fn = path.fn;
        add(std::string("Crc32/orlix-") + path.name, [fn](benchmark::State& state, const Data& data) {
            for (auto _ : state)
                benchmark::DoNotOptimize(fn(0, data.data(), data.size()));
        });
    }
    add("Crc32/orlix", [](benchmark::State& state, const Data& data) {
        for (auto _ : state)
            benchmark::DoNotOptimize(
                Orlix::Utils::crc32(data.data(), static_cast<unsigned int>(data.size())));
    });
#if defined(ORLIX_BENCH_ISAL)
    add("Crc32/isal_crc32_gzip_refl", [](benchmark::State& state, const Data& data) {
        for (auto _ : state)
            benchmark::DoNotOptimize(crc32_gzip_refl(0, data.data(), data.size()));
        // Its vector code returns with the upper halves of the vector registers dirty, which
        // slows every later SSE-encoded instruction (the pclmul and SHA-NI paths) severalfold
        // on this CPU family; clear them so the lines after this one are not skewed.
        clearUpperVectorState();
    });
#endif
#if defined(ORLIX_BENCH_LIBDEFLATE)
    add("Crc32/libdeflate", [](benchmark::State& state, const Data& data) {
        for (auto _ : state)
            benchmark::DoNotOptimize(libdeflate_crc32(0, data.data(), data.size()));
    });
#endif
    add("Crc32/zlib", [](benchmark::State& state, const Data& data) {
        for (auto _ : state)
            benchmark::DoNotOptimize(::crc32(0L, data.data(), static_cast<uInt>(data.size())));
    });

    for (const D::CrcPath& path : D::crc16Paths()) {
        if (!path.usable)
            continue;
        const D::CrcFunction fn = path.fn;
        add(std::string("Crc16/orlix-") + path.name, [fn](benchmark::State& state, const Data& data) {
            for (auto _ : state)
                benchmark::DoNotOptimize(fn(0, data.data(), data.size()));
        });
    }
    add("Crc16/orlix", [](benchmark::State& state, const Data& data) {
        for (auto _ : state)
            benchmark::DoNotOptimize(
                Orlix::Utils::crc16(0, data.data(), static_cast<unsigned int>(data.size())));
    });
}

void digestOpenSsl(benchmark::State& state, const Data& data, const EVP_MD* md)
{
    EVP_MD_CTX* ctx = EVP_MD_CTX_new();
    unsigned char out[EVP_MAX_MD_SIZE];
    unsigned int n = 0;
    for (auto _ : state) {
        EVP_DigestInit_ex(ctx, md, nullptr);
        EVP_DigestUpdate(ctx, data.data(), data.size());
        EVP_DigestFinal_ex(ctx, out, &n);
        benchmark::DoNotOptimize(out);
    }
    EVP_MD_CTX_free(ctx);
}

void registerDigests()
{
    for (const D::Sha1Path& path : D::sha1Paths()) {
        if (!path.usable)
            continue;
        const D::Sha1BlockFunction fn = path.fn;
        add(std::string("Sha1Blocks/orlix-") + path.name,
            [fn](benchmark::State& state, const Data& data) {
                std::uint32_t s[5] = {};
                for (auto _ : state) {
                    fn(s, data.data(), data.size() / 64);
                    benchmark::DoNotOptimize(s);
                }
            });
    }
    add("Sha1/orlix", [](benchmark::State& state, const Data& data) {
        Orlix::Utils::CSha1 sha;
        unsigned char out[20];
        for (auto _ : state) {
            // The first update after a final() starts a new message.
            sha.update(data.data(), static_cast<unsigned int>(data.size()));
            sha.final(out, sizeof(out));
            benchmark::DoNotOptimize(out);
        }
    });
    add("Sha1/openssl_evp",
        [](benchmark::State& state, const Data& data) { digestOpenSsl(state, data, EVP_sha1()); });
    add("Sha1/openssl_oneshot", [](benchmark::State& state, const Data& data) {
        unsigned char out[EVP_MAX_MD_SIZE];
        unsigned int n = 0;
        for (auto _ : state) {
            EVP_Digest(data.data(), data.size(), out, &n, EVP_sha1(), nullptr);
            benchmark::DoNotOptimize(out);
        }
    });
    add("Md5/orlix", [](benchmark::State& state, const Data& data) {
        Orlix::Utils::CMd5 md5;
        unsigned char out[16];
        for (auto _ : state) {
            md5.init();
            md5.update(data.data(), static_cast<unsigned int>(data.size()));
            md5.final(out);
            benchmark::DoNotOptimize(out);
        }
    });
    add("Md5/openssl_evp",
        [](benchmark::State& state, const Data& data) { digestOpenSsl(state, data, EVP_md5()); });
    add("Memcpy", [](benchmark::State& state, const Data& data) {
        std::vector<unsigned char> copy(data.size());
        for (auto _ : state) {
            std::memcpy(copy.data(), data.data(), data.size());
            benchmark::DoNotOptimize(copy.data());
            benchmark::ClobberMemory();
        }
    });
}

} // namespace

int main(int argc, char** argv)
{
    registerCrc();
    registerDigests();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
