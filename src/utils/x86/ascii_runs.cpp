// Block copies of ASCII runs for the code page 936 conversions: 16 bytes with SSE2 (always
// there on x86-64), 32 with AVX2, 64 with AVX-512 BW. The AVX variants are compiled through
// function attributes only (see utils/charset_paths.h).
#if defined(__x86_64__)

#include "utils/charset_paths.h"
#include "utils/x86/text_blocks.h"

#include <immintrin.h>

// g++ 12 takes the deliberately undefined operand of some AVX-512 intrinsics for an
// uninitialized variable.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

#define ORLIX_AVX2 __attribute__((target("avx2,bmi,bmi2")))
#define ORLIX_AVX512 __attribute__((target("avx2,bmi,bmi2,avx512f,avx512bw,avx512vl")))

namespace Orlix {
namespace Utils {
namespace Detail {

// A block is taken when every byte is in 0x01..0x7F: as signed bytes, all above zero. The
// zero terminator and every byte of a multi-byte character fail that test.

ORLIX_NO_SANITIZE_ADDRESS std::size_t asciiCopySse2(unsigned char* dst, const unsigned char* src,
                                                    std::size_t max)
{
    std::size_t n = 0;
    while (n + 16 <= max && blockReadable(src + n, 16)) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + n));
        if (_mm_movemask_epi8(_mm_cmpgt_epi8(v, _mm_setzero_si128())) != 0xFFFF)
            break;
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + n), v);
        n += 16;
    }
    return n;
}

ORLIX_NO_SANITIZE_ADDRESS std::size_t asciiWidenSse2(unsigned short* dst, const unsigned char* src,
                                                     std::size_t max)
{
    std::size_t n = 0;
    const __m128i zero = _mm_setzero_si128();
    while (n + 16 <= max && blockReadable(src + n, 16)) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + n));
        if (_mm_movemask_epi8(_mm_cmpgt_epi8(v, zero)) != 0xFFFF)
            break;
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + n), _mm_unpacklo_epi8(v, zero));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + n + 8), _mm_unpackhi_epi8(v, zero));
        n += 16;
    }
    return n;
}

ORLIX_AVX2 ORLIX_NO_SANITIZE_ADDRESS std::size_t
asciiCopyAvx2(unsigned char* dst, const unsigned char* src, std::size_t max)
{
    std::size_t n = 0;
    while (n + 32 <= max && blockReadable(src + n, 32)) {
        const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + n));
        if (static_cast<unsigned>(
                _mm256_movemask_epi8(_mm256_cmpgt_epi8(v, _mm256_setzero_si256()))) != 0xFFFFFFFFu)
            break;
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + n), v);
        n += 32;
    }
    return n;
}

ORLIX_AVX2 ORLIX_NO_SANITIZE_ADDRESS std::size_t
asciiWidenAvx2(unsigned short* dst, const unsigned char* src, std::size_t max)
{
    std::size_t n = 0;
    while (n + 32 <= max && blockReadable(src + n, 32)) {
        const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + n));
        if (static_cast<unsigned>(
                _mm256_movemask_epi8(_mm256_cmpgt_epi8(v, _mm256_setzero_si256()))) != 0xFFFFFFFFu)
            break;
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + n),
                            _mm256_cvtepu8_epi16(_mm256_castsi256_si128(v)));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + n + 16),
                            _mm256_cvtepu8_epi16(_mm256_extracti128_si256(v, 1)));
        n += 32;
    }
    return n;
}

ORLIX_AVX512 ORLIX_NO_SANITIZE_ADDRESS std::size_t
asciiCopyAvx512(unsigned char* dst, const unsigned char* src, std::size_t max)
{
    std::size_t n = 0;
    while (n + 64 <= max && blockReadable(src + n, 64)) {
        const __m512i v = _mm512_loadu_si512(src + n);
        if (_mm512_cmpgt_epi8_mask(v, _mm512_setzero_si512()) != ~0ull)
            break;
        _mm512_storeu_si512(dst + n, v);
        n += 64;
    }
    return n;
}

ORLIX_AVX512 ORLIX_NO_SANITIZE_ADDRESS std::size_t
asciiWidenAvx512(unsigned short* dst, const unsigned char* src, std::size_t max)
{
    std::size_t n = 0;
    while (n + 64 <= max && blockReadable(src + n, 64)) {
        const __m512i v = _mm512_loadu_si512(src + n);
        if (_mm512_cmpgt_epi8_mask(v, _mm512_setzero_si512()) != ~0ull)
            break;
        _mm512_storeu_si512(dst + n, _mm512_cvtepu8_epi16(_mm512_castsi512_si256(v)));
        _mm512_storeu_si512(dst + n + 32, _mm512_cvtepu8_epi16(_mm512_extracti64x4_epi64(v, 1)));
        n += 64;
    }
    return n;
}

} // namespace Detail
} // namespace Utils
} // namespace Orlix

#endif // __x86_64__
