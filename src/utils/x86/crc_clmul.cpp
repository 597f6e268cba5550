// CRC by carry-less-multiply folding on x86-64: PCLMULQDQ over 128-bit lanes, VPCLMULQDQ
// over 256- or 512-bit vectors.
//
// The message is a polynomial; the CRC is M x^32 mod p. Folding keeps one or more 128-bit
// accumulators congruent to the message read so far: an accumulator A = H x^64 + L that has
// D more bits of message behind it is replaced by H (x^(D+64) mod p) + L (x^D mod p), two
// carry-less multiplies whose products fit in 96 bits, plus the next D bits of data. Wider
// vectors fold several independent lanes at once; the lanes are then folded into one. The
// last lane is reduced to 64 bits by two more multiplies and to 32 by Barrett reduction.
// Inputs below 16 bytes go to the tables; the constants and the data layout are
// described in utils/crc_paths.h.
#include "utils/x86/crc_clmul.h"

#if defined(__x86_64__)

#include <immintrin.h>

#define ORLIX_TARGET_SSE __attribute__((target("sse4.1,pclmul")))
#define ORLIX_TARGET_AVX2 __attribute__((target("avx2,sse4.1,pclmul,vpclmulqdq")))
#define ORLIX_TARGET_AVX512                                                                        \
    __attribute__((target("avx512f,avx512bw,avx512vl,avx2,sse4.1,pclmul,vpclmulqdq")))

// The 128-bit code is inlined into the wider kernels, so that it is VEX-encoded there too:
// SSE-encoded instructions after 256- or 512-bit ones, with the upper register halves in use,
// run several times slower on some processors, and the kernels return with them cleared.
#define ORLIX_INLINE inline __attribute__((always_inline))

namespace Orlix {
namespace Utils {
namespace Detail {

namespace {

ORLIX_TARGET_SSE inline __m128i constants128(const std::uint64_t pair[2])
{
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(pair));
}

ORLIX_TARGET_SSE inline __m128i load128(const unsigned char* p)
{
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

// The lane x moved forward over the distance its constants k stand for, plus data.
ORLIX_TARGET_SSE inline __m128i fold128(__m128i x, __m128i k, __m128i data)
{
    const __m128i hi = _mm_clmulepi64_si128(x, k, 0x00);
    const __m128i lo = _mm_clmulepi64_si128(x, k, 0x11);
    return _mm_xor_si128(_mm_xor_si128(hi, lo), data);
}

// Byte shuffles for the last partial block: entries 16..31 are 0..15, the rest select zero.
alignas(64) const unsigned char kShiftTable[48] = {
    0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80,
    0,    1,    2,    3,    4,    5,    6,    7,    8,    9,    10,   11,   12,   13,   14,   15,
    0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80};

// Feeds the rest of the message (any length; at least 16 bytes lie before p) into the lane
// x and reduces it to the 32-bit reflected register, returned inverted as k asks.
ORLIX_TARGET_SSE ORLIX_INLINE std::uint32_t finish(const CrcFoldConstants& k, __m128i x,
                                                   const unsigned char* p, const unsigned char* end)
{
    const __m128i k1 = constants128(k.fold[1]);
    while (end - p >= 16) {
        x = fold128(x, k1, load128(p));
        p += 16;
    }
    if (p != end) {
        // r bytes remain. The lane shifted by r bytes splits into the bytes that leave it
        // (a lane of its own, 128 bits before the last one, folded by 128 bits) and the
        // rest, which the last r bytes of the message complete.
        const auto r = static_cast<int>(end - p);
        const __m128i keep =
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(kShiftTable + 16 + r));
        const __m128i out = _mm_loadu_si128(reinterpret_cast<const __m128i*>(kShiftTable + r));
        const __m128i last = load128(end - 16);
        const __m128i window = _mm_blendv_epi8(last, _mm_shuffle_epi8(x, keep), out);
        x = fold128(_mm_shuffle_epi8(x, out), k1, window);
    }
    // A x^32 = H x^96 + L x^32 == H (x^96 mod p) + L x^32, below x^96 ...
    const __m128i k9563 =
        _mm_set_epi64x(static_cast<long long>(k.k63), static_cast<long long>(k.k95));
    __m128i v = _mm_clmulepi64_si128(x, k9563, 0x00);
    v = _mm_xor_si128(v, _mm_slli_si128(_mm_srli_si128(x, 8), 4));
    // ... whose part above x^64 is folded down once more, leaving T below x^64 ...
    const __m128i t = _mm_srli_si128(_mm_xor_si128(_mm_clmulepi64_si128(v, k9563, 0x10), v), 8);
    // ... and T mod p = T - floor(floor(T / x^32) mu / x^32) p (Barrett, exact over GF(2)).
    const __m128i barrett =
        _mm_set_epi64x(static_cast<long long>(k.poly), static_cast<long long>(k.mu));
    const __m128i low32 = _mm_set_epi32(0, 0, 0, -1);
    __m128i q = _mm_clmulepi64_si128(_mm_and_si128(t, low32), barrett, 0x00);
    q = _mm_clmulepi64_si128(_mm_and_si128(q, low32), barrett, 0x10);
    return static_cast<std::uint32_t>(_mm_extract_epi32(_mm_xor_si128(q, t), 1)) ^ k.invert;
}

// Four lanes of 16 bytes, a, b, c, d in message order, folded into one.
ORLIX_TARGET_SSE ORLIX_INLINE __m128i combine4(const CrcFoldConstants& k, __m128i a, __m128i b,
                                               __m128i c, __m128i d)
{
    const __m128i ab = fold128(a, constants128(k.fold[3]), fold128(b, constants128(k.fold[2]), d));
    return _mm_xor_si128(ab, fold128(c, constants128(k.fold[1]), _mm_setzero_si128()));
}

// The first 16 bytes with the register entering their first bits.
ORLIX_TARGET_SSE inline __m128i first128(std::uint32_t reg, const unsigned char* p)
{
    return _mm_xor_si128(load128(p), _mm_cvtsi32_si128(static_cast<int>(reg)));
}

// 16 to 63 bytes and the tail of the longer paths' first lanes start here; from 64 bytes on
// four lanes run side by side.
ORLIX_TARGET_SSE ORLIX_INLINE std::uint32_t
sseBody(const CrcFoldConstants& k, __m128i x0, const unsigned char* p, const unsigned char* end)
{
    if (end - p >= 48) {
        __m128i x1 = load128(p), x2 = load128(p + 16), x3 = load128(p + 32);
        p += 48;
        const __m128i k4 = constants128(k.fold[4]);
        while (end - p >= 64) {
            x0 = fold128(x0, k4, load128(p));
            x1 = fold128(x1, k4, load128(p + 16));
            x2 = fold128(x2, k4, load128(p + 32));
            x3 = fold128(x3, k4, load128(p + 48));
            p += 64;
        }
        x0 = combine4(k, x0, x1, x2, x3);
    }
    return finish(k, x0, p, end);
}

} // namespace

template <const CrcFoldConstants& K, CrcFunction Small>
ORLIX_TARGET_SSE inline std::uint32_t crcClmulSse(std::uint32_t reg, const unsigned char* data,
                                                  std::size_t len)
{
    if (len < 16)
        return Small(reg, data, len);
    const CrcFoldConstants& k = K;
    reg ^= k.invert;
    return sseBody(k, first128(reg, data), data + 16, data + len);
}

namespace {

ORLIX_TARGET_AVX2 inline __m256i constants256(const std::uint64_t pair[2])
{
    return _mm256_broadcastsi128_si256(constants128(pair));
}

ORLIX_TARGET_AVX2 inline __m256i load256(const unsigned char* p)
{
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}

ORLIX_TARGET_AVX2 inline __m256i fold256(__m256i x, __m256i k, __m256i data)
{
    const __m256i hi = _mm256_clmulepi64_epi128(x, k, 0x00);
    const __m256i lo = _mm256_clmulepi64_epi128(x, k, 0x11);
    return _mm256_xor_si256(_mm256_xor_si256(hi, lo), data);
}

} // namespace

template <const CrcFoldConstants& K, CrcFunction Small>
ORLIX_TARGET_AVX2 inline std::uint32_t crcClmulAvx2(std::uint32_t reg, const unsigned char* data,
                                                    std::size_t len)
{
    if (len < 16)
        return Small(reg, data, len);
    const CrcFoldConstants& k = K;
    reg ^= k.invert;
    const unsigned char* p = data;
    const unsigned char* const end = data + len;
    if (len < 256)
        return sseBody(k, first128(reg, p), p + 16, end);
    // Four vectors of two lanes: 128 bytes per step, each lane moving 1024 bits.
    __m256i y0 = _mm256_xor_si256(load256(p),
                                  _mm256_zextsi128_si256(_mm_cvtsi32_si128(static_cast<int>(reg))));
    __m256i y1 = load256(p + 32), y2 = load256(p + 64), y3 = load256(p + 96);
    p += 128;
    const __m256i k8 = constants256(k.fold[8]);
    while (end - p >= 128) {
        y0 = fold256(y0, k8, load256(p));
        y1 = fold256(y1, k8, load256(p + 32));
        y2 = fold256(y2, k8, load256(p + 64));
        y3 = fold256(y3, k8, load256(p + 96));
        p += 128;
    }
    const __m256i k2 = constants256(k.fold[2]);
    y0 = fold256(y0, constants256(k.fold[6]), fold256(y1, constants256(k.fold[4]), y3));
    y0 = _mm256_xor_si256(y0, fold256(y2, k2, _mm256_setzero_si256()));
    while (end - p >= 32) {
        y0 = fold256(y0, k2, load256(p));
        p += 32;
    }
    const __m128i x = fold128(_mm256_castsi256_si128(y0), constants128(k.fold[1]),
                              _mm256_extracti128_si256(y0, 1));
    return finish(k, x, p, end);
}

namespace {

ORLIX_TARGET_AVX512 inline __m512i constants512(const std::uint64_t pair[2])
{
    return _mm512_maskz_broadcast_i32x4(0xFFFF, constants128(pair));
}

ORLIX_TARGET_AVX512 inline __m512i load512(const unsigned char* p)
{
    return _mm512_loadu_si512(p);
}

ORLIX_TARGET_AVX512 inline __m512i fold512(__m512i x, __m512i k, __m512i data)
{
    const __m512i hi = _mm512_clmulepi64_epi128(x, k, 0x00);
    const __m512i lo = _mm512_clmulepi64_epi128(x, k, 0x11);
    return _mm512_ternarylogic_epi64(hi, lo, data, 0x96); // hi ^ lo ^ data
}

} // namespace

template <const CrcFoldConstants& K, CrcFunction Small>
ORLIX_TARGET_AVX512 inline std::uint32_t crcClmulAvx512(std::uint32_t reg,
                                                        const unsigned char* data, std::size_t len)
{
    if (len < 16)
        return Small(reg, data, len);
    const CrcFoldConstants& k = K;
    reg ^= k.invert;
    const unsigned char* p = data;
    const unsigned char* const end = data + len;
    if (len < 256)
        return sseBody(k, first128(reg, p), p + 16, end);
    // Four vectors of four lanes: 256 bytes per step, each lane moving 2048 bits.
    __m512i z0 = _mm512_xor_si512(load512(p),
                                  _mm512_zextsi128_si512(_mm_cvtsi32_si128(static_cast<int>(reg))));
    __m512i z1 = load512(p + 64), z2 = load512(p + 128), z3 = load512(p + 192);
    p += 256;
    const __m512i k16 = constants512(k.fold[16]);
    while (end - p >= 256) {
        z0 = fold512(z0, k16, load512(p));
        z1 = fold512(z1, k16, load512(p + 64));
        z2 = fold512(z2, k16, load512(p + 128));
        z3 = fold512(z3, k16, load512(p + 192));
        p += 256;
    }
    const __m512i k4 = constants512(k.fold[4]);
    z0 = fold512(z0, constants512(k.fold[12]), fold512(z1, constants512(k.fold[8]), z3));
    z0 = _mm512_xor_si512(z0, fold512(z2, k4, _mm512_setzero_si512()));
    while (end - p >= 64) {
        z0 = fold512(z0, k4, load512(p));
        p += 64;
    }
    const __m128i x = combine4(
        k, _mm512_maskz_extracti32x4_epi32(0xF, z0, 0), _mm512_maskz_extracti32x4_epi32(0xF, z0, 1),
        _mm512_maskz_extracti32x4_epi32(0xF, z0, 2), _mm512_maskz_extracti32x4_epi32(0xF, z0, 3));
    return finish(k, x, p, end);
}

ORLIX_TARGET_SSE std::uint32_t crc32ClmulSse(std::uint32_t crc, const unsigned char* data,
                                             std::size_t len)
{
    return crcClmulSse<kCrc32Fold, crc32Portable>(crc, data, len);
}

ORLIX_TARGET_SSE std::uint32_t crc16ClmulSse(std::uint32_t crc, const unsigned char* data,
                                             std::size_t len)
{
    return crcClmulSse<kCrc16Fold, crc16Portable>(crc, data, len);
}

ORLIX_TARGET_AVX2 std::uint32_t crc32ClmulAvx2(std::uint32_t crc, const unsigned char* data,
                                               std::size_t len)
{
    return crcClmulAvx2<kCrc32Fold, crc32Portable>(crc, data, len);
}

ORLIX_TARGET_AVX2 std::uint32_t crc16ClmulAvx2(std::uint32_t crc, const unsigned char* data,
                                               std::size_t len)
{
    return crcClmulAvx2<kCrc16Fold, crc16Portable>(crc, data, len);
}

ORLIX_TARGET_AVX512 std::uint32_t crc32ClmulAvx512(std::uint32_t crc, const unsigned char* data,
                                                   std::size_t len)
{
    return crcClmulAvx512<kCrc32Fold, crc32Portable>(crc, data, len);
}

ORLIX_TARGET_AVX512 std::uint32_t crc16ClmulAvx512(std::uint32_t crc, const unsigned char* data,
                                                   std::size_t len)
{
    return crcClmulAvx512<kCrc16Fold, crc16Portable>(crc, data, len);
}

} // namespace Detail
} // namespace Utils
} // namespace Orlix

#endif // __x86_64__
