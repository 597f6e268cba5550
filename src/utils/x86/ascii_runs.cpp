// Block copies of ASCII runs for the code page 936 conversions: 16 bytes with SSE2 (always
// there on x86-64), 32 with AVX2, 64 with AVX-512 BW; and blocks of three-byte UTF-8
// sequences, five at a time with SSSE3 on every vector path (a wider block is rarely whole
// in mixed text, and a block that is not costs more than it saves). The variants beyond SSE2
// are compiled through function attributes only (see utils/charset_paths.h).
#if defined(__x86_64__)

#include "utils/charset_paths.h"
#include "utils/x86/text_blocks.h"

#include <immintrin.h>

#include <cstring>

// g++ 12 takes the deliberately undefined operand of some AVX-512 intrinsics for an
// uninitialized variable.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

#define ORLIX_SSSE3 __attribute__((target("ssse3")))
#define ORLIX_AVX2 __attribute__((target("avx2,bmi,bmi2")))
#define ORLIX_AVX512 __attribute__((target("avx2,bmi,bmi2,avx512f,avx512bw,avx512vl")))

namespace Orlix {
namespace Utils {
namespace Detail {

// A block is taken when every byte is in 0x01..0x7F: as signed bytes, all above zero. The
// zero terminator and every byte of a multi-byte character fail that test.

ORLIX_NO_SANITIZE_MEMORY std::size_t asciiCopySse2(unsigned char* dst, const unsigned char* src,
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

ORLIX_NO_SANITIZE_MEMORY std::size_t asciiWidenSse2(unsigned short* dst, const unsigned char* src,
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

ORLIX_AVX2 ORLIX_NO_SANITIZE_MEMORY std::size_t
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

ORLIX_AVX2 ORLIX_NO_SANITIZE_MEMORY std::size_t
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

ORLIX_AVX512 ORLIX_NO_SANITIZE_MEMORY std::size_t
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

ORLIX_AVX512 ORLIX_NO_SANITIZE_MEMORY std::size_t
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

// Three-byte sequences. A block of 16 source bytes holds five candidates, at offsets 0, 3,
// 6, 9 and 12; two shuffles put each one's bytes into a 16-bit lane (the lead byte alone,
// and the second and third bytes swapped), from which the lane checks the form (a lead byte
// 0xE0..0xEF, two continuation bytes), assembles the code point and rejects the overlong
// ones (below U+0800). The lanes after the fifth get zero bytes and so always fail. The
// table lookups are scalar; a code point without an entry ends the run like a malformed
// one, and the per-character code takes it from there.

namespace {

// Per 16-bit lane, for the candidate whose bytes are b0 (lead, in lead) and b2 | b1 << 8
// (in tail): the code point where the candidate is taken, else 0; and in *ok all ones where
// it is taken.
ORLIX_SSSE3 inline __m128i threeLanes(__m128i lead, __m128i tail, __m128i* ok)
{
    const __m128i cp =
        _mm_or_si128(_mm_or_si128(_mm_and_si128(tail, _mm_set1_epi16(0x003F)),
                                  _mm_and_si128(_mm_srli_epi16(tail, 2), _mm_set1_epi16(0x0FC0))),
                     _mm_slli_epi16(lead, 12));
    const __m128i formed = _mm_and_si128(
        _mm_cmpeq_epi16(_mm_and_si128(tail, _mm_set1_epi16(static_cast<short>(0xC0C0))),
                        _mm_set1_epi16(static_cast<short>(0x8080))),
        _mm_cmpeq_epi16(_mm_and_si128(lead, _mm_set1_epi16(0x00F0)), _mm_set1_epi16(0x00E0)));
    const __m128i overlong = _mm_cmpeq_epi16(
        _mm_and_si128(cp, _mm_set1_epi16(static_cast<short>(0xF800))), _mm_setzero_si128());
    *ok = _mm_andnot_si128(overlong, formed);
    return _mm_and_si128(cp, *ok);
}

} // namespace

ORLIX_SSSE3 ORLIX_NO_SANITIZE_MEMORY std::size_t utf8ThreeSsse3(unsigned char* dst,
                                                                 const unsigned char* src,
                                                                 std::size_t max,
                                                                 const std::uint16_t* table)
{
    const __m128i leadBytes =
        _mm_setr_epi8(0, -1, 3, -1, 6, -1, 9, -1, 12, -1, -1, -1, -1, -1, -1, -1);
    const __m128i tailBytes =
        _mm_setr_epi8(2, 1, 5, 4, 8, 7, 11, 10, 14, 13, -1, -1, -1, -1, -1, -1);
    std::size_t chars = 0;
    while (3 * chars + 16 <= max && blockReadable(src + 3 * chars, 16)) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 3 * chars));
        __m128i ok;
        const __m128i cp =
            threeLanes(_mm_shuffle_epi8(v, leadBytes), _mm_shuffle_epi8(v, tailBytes), &ok);
        // Two mask bits per lane; those of lanes 5..7 are always clear.
        const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(ok));
        // The entries, stored as they are; those of lanes 5..7 are zero.
        __m128i e = _mm_setzero_si128();
        e = _mm_insert_epi16(e, table[_mm_extract_epi16(cp, 0)], 0);
        e = _mm_insert_epi16(e, table[_mm_extract_epi16(cp, 1)], 1);
        e = _mm_insert_epi16(e, table[_mm_extract_epi16(cp, 2)], 2);
        e = _mm_insert_epi16(e, table[_mm_extract_epi16(cp, 3)], 3);
        e = _mm_insert_epi16(e, table[_mm_extract_epi16(cp, 4)], 4);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 2 * chars), e);
        const unsigned missing =
            static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi16(e, _mm_setzero_si128())));
        // Branches, not arithmetic on the loaded entries, decide how far to move: they are
        // predicted, while a count computed from the entries would make the next block and
        // all that follows wait for this block's table loads.
        if (mask == 0x3FFu && missing == 0xFC00u) {
            chars += 5;
            continue;
        }
        // The run ends in this block, at the first lane not taken or without an entry
        // (lane 5 at the latest).
        const unsigned stop = ~mask | missing;
        std::size_t k = 0;
        while ((stop >> (2 * k) & 1u) == 0)
            ++k;
        chars += k;
        break;
    }
    return chars;
}

} // namespace Detail
} // namespace Utils
} // namespace Orlix

#endif // __x86_64__
