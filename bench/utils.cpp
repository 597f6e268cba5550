// Utils throughput, each Orlix function beside its usual alternative, on 64-byte and 1 MiB
// inputs. Every pair does the same work per iteration: one whole message digested, one
// buffer encrypted in CBC from the IV, or checksummed. Compare the
// bytes_per_second of the two lines of a pair.
#include "infra/crc.h"
#include "infra/des.h"
#include "infra/md5.h"
#include "infra/sha1.h"

#include <benchmark/benchmark.h>
#include <openssl/evp.h>
#include <zlib.h>

#include <random>
#include <vector>

namespace {

std::vector<unsigned char> randomBytes(std::size_t n)
{
    std::mt19937 rng(42);
    std::vector<unsigned char> v(n);
    for (auto& b : v)
        b = static_cast<unsigned char>(rng());
    return v;
}

void sizes(benchmark::internal::Benchmark* b)
{
    b->Arg(64)->Arg(1 << 20);
}

void setBytes(benchmark::State& state)
{
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}

// Digests ---------------------------------------------------------------------------------

void BM_Md5_Orlix(benchmark::State& state)
{
    const auto data = randomBytes(static_cast<std::size_t>(state.range(0)));
    Orlix::Utils::CMd5 md5;
    unsigned char out[16];
    for (auto _ : state) {
        md5.init();
        md5.update(data.data(), static_cast<unsigned int>(data.size()));
        md5.final(out);
        benchmark::DoNotOptimize(out);
    }
    setBytes(state);
}

void BM_Sha1_Orlix(benchmark::State& state)
{
    const auto data = randomBytes(static_cast<std::size_t>(state.range(0)));
    Orlix::Utils::CSha1 sha;
    unsigned char out[20];
    for (auto _ : state) {
        // The first update after a final() starts a new message.
        sha.update(data.data(), static_cast<unsigned int>(data.size()));
        sha.final(out, sizeof(out));
        benchmark::DoNotOptimize(out);
    }
    setBytes(state);
}

void digestOpenSsl(benchmark::State& state, const EVP_MD* md)
{
    const auto data = randomBytes(static_cast<std::size_t>(state.range(0)));
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
    setBytes(state);
}

void BM_Md5_OpenSsl(benchmark::State& state)
{
    digestOpenSsl(state, EVP_md5());
}

void BM_Sha1_OpenSsl(benchmark::State& state)
{
    digestOpenSsl(state, EVP_sha1());
}

// Triple DES, three keys, CBC --------------------------------------------------------------

const unsigned char kKey[24] = {1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12,
                                13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24};
const unsigned char kIv[8] = {8, 7, 6, 5, 4, 3, 2, 1};

void BM_Des3Cbc_Orlix(benchmark::State& state)
{
    const auto data = randomBytes(static_cast<std::size_t>(state.range(0)));
    std::vector<unsigned char> out(data.size());
    Orlix::Utils::CTripleDes des(kKey, 24, Orlix::Utils::CTripleDes::blockType8, kIv);
    for (auto _ : state) {
        des.encrypt(out.data(), data.data(), static_cast<unsigned int>(data.size()));
        benchmark::DoNotOptimize(out.data());
    }
    setBytes(state);
}

void BM_Des3Cbc_OpenSsl(benchmark::State& state)
{
    const auto data = randomBytes(static_cast<std::size_t>(state.range(0)));
    std::vector<unsigned char> out(data.size() + 8);
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    EVP_EncryptInit_ex(ctx, EVP_des_ede3_cbc(), nullptr, kKey, kIv);
    EVP_CIPHER_CTX_set_padding(ctx, 0);
    int n = 0;
    for (auto _ : state) {
        EVP_EncryptInit_ex(ctx, nullptr, nullptr, nullptr, kIv); // restart the chain
        EVP_EncryptUpdate(ctx, out.data(), &n, data.data(), static_cast<int>(data.size()));
        benchmark::DoNotOptimize(out.data());
    }
    EVP_CIPHER_CTX_free(ctx);
    setBytes(state);
}

// CRC-32 -------------------------------------------------------------------------------------

void BM_Crc32_Orlix(benchmark::State& state)
{
    const auto data = randomBytes(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(
            Orlix::Utils::crc32(data.data(), static_cast<unsigned int>(data.size())));
    setBytes(state);
}

void BM_Crc32_Zlib(benchmark::State& state)
{
    const auto data = randomBytes(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(::crc32(0L, data.data(), static_cast<uInt>(data.size())));
    setBytes(state);
}

} // namespace

BENCHMARK(BM_Md5_Orlix)->Apply(sizes);
BENCHMARK(BM_Md5_OpenSsl)->Apply(sizes);
BENCHMARK(BM_Sha1_Orlix)->Apply(sizes);
BENCHMARK(BM_Sha1_OpenSsl)->Apply(sizes);
BENCHMARK(BM_Des3Cbc_Orlix)->Apply(sizes);
BENCHMARK(BM_Des3Cbc_OpenSsl)->Apply(sizes);
BENCHMARK(BM_Crc32_Orlix)->Apply(sizes);
BENCHMARK(BM_Crc32_Zlib)->Apply(sizes);

BENCHMARK_MAIN();
