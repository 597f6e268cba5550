// Base64 with AVX2: 24 input bytes become 32 characters per step, 32 characters become 24
// bytes. Compiled for AVX2 through function attributes only; the library chooses this path
// when the CPU has AVX2 (see utils/base64_paths.h).
#if defined(__x86_64__)

#include "utils/base64_paths.h"
#include "utils/x86/text_blocks.h"

#include <immintrin.h>

#include <cstddef>
#include <cstdint>

#define ORLIX_AVX2 __attribute__((target("avx2,bmi,bmi2")))

namespace Orlix {
namespace Utils {
namespace Detail {

namespace {

// Six-bit values (one per byte, 0..63) to alphabet characters: the value plus an offset
// chosen by its range. subs(v, 51) is 0 for 0..51 and 1..12 for 52..63; values below 26
// are then moved to slot 13.
ORLIX_AVX2 inline __m256i valuesToAscii(__m256i v)
{
    const __m256i offsets =
        _mm256_setr_epi8(71, -4, -4, -4, -4, -4, -4, -4, -4, -4, -4, -19, -16, 65, 0, 0, 71, -4, -4,
                         -4, -4, -4, -4, -4, -4, -4, -4, -19, -16, 65, 0, 0);
    __m256i slot = _mm256_subs_epu8(v, _mm256_set1_epi8(51));
    const __m256i low = _mm256_cmpgt_epi8(_mm256_set1_epi8(26), v);
    slot = _mm256_or_si256(slot, _mm256_and_si256(low, _mm256_set1_epi8(13)));
    return _mm256_add_epi8(v, _mm256_shuffle_epi8(offsets, slot));
}

// Each lane holds four groups of three bytes in its first 12 bytes; the result holds the
// 16 six-bit values of the lane, one per byte, in text order.
ORLIX_AVX2 inline __m256i splitGroups(__m256i in)
{
    // Group g (bytes b0 b1 b2) becomes the dword b1 b0 b2 b1: its low word is b0:b1, its
    // high word b1:b2, so each six-bit field sits at a fixed place in one 16-bit word.
    const __m256i spread = _mm256_setr_epi8(1, 0, 2, 1, 4, 3, 5, 4, 7, 6, 8, 7, 10, 9, 11, 10, 1, 0,
                                            2, 1, 4, 3, 5, 4, 7, 6, 8, 7, 10, 9, 11, 10);
    const __m256i d = _mm256_shuffle_epi8(in, spread);
    // Fields 0 and 2 (bits 15..10 of the low word, 11..6 of the high word) shifted down to
    // bytes 0 and 2; fields 1 and 3 (bits 9..4, 5..0) shifted up to bytes 1 and 3.
    const __m256i f02 = _mm256_mulhi_epu16(_mm256_and_si256(d, _mm256_set1_epi32(0x0FC0FC00)),
                                           _mm256_set1_epi32(0x04000040));
    const __m256i f13 = _mm256_mullo_epi16(_mm256_and_si256(d, _mm256_set1_epi32(0x003F03F0)),
                                           _mm256_set1_epi32(0x01000010));
    return _mm256_or_si256(f02, f13);
}

// The values of 32 characters, or false when one of them is outside the alphabet. Each
// character is classified by its two nibbles: hiClass marks the high nibble's row of the
// ASCII table, loInvalid the rows in which the low nibble is not an alphabet character.
ORLIX_AVX2 inline bool charsToValues(__m256i c, __m256i& values)
{
    const __m256i hiClass =
        _mm256_setr_epi8(0x10, 0x10, 0x01, 0x02, 0x04, 0x08, 0x04, 0x08, 0x10, 0x10, 0x10, 0x10,
                         0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x01, 0x02, 0x04, 0x08, 0x04, 0x08,
                         0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x10);
    // Row 2 keeps only '+' (0x2B) and '/' (0x2F); row 3 the digits 0..9; rows 4 and 6 lose
    // 0x40 and 0x60; rows 5 and 7 lose 0x5B..0x5F and 0x7B..0x7F.
    const __m256i loInvalid =
        _mm256_setr_epi8(0x15, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x13, 0x1A,
                         0x1B, 0x1B, 0x1B, 0x1A, 0x15, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11,
                         0x11, 0x11, 0x13, 0x1A, 0x1B, 0x1B, 0x1B, 0x1A);
    const __m256i nibble = _mm256_set1_epi8(0x0F);
    const __m256i hi = _mm256_and_si256(_mm256_srli_epi16(c, 4), nibble);
    const __m256i lo = _mm256_and_si256(c, nibble);
    const __m256i bad =
        _mm256_and_si256(_mm256_shuffle_epi8(hiClass, hi), _mm256_shuffle_epi8(loInvalid, lo));
    if (!_mm256_testz_si256(bad, bad))
        return false;
    // Offset by row; '/' shares row 2 with '+' and takes slot 1 instead.
    const __m256i offsets =
        _mm256_setr_epi8(0, 16, 19, 4, -65, -65, -71, -71, 0, 0, 0, 0, 0, 0, 0, 0, 0, 16, 19, 4,
                         -65, -65, -71, -71, 0, 0, 0, 0, 0, 0, 0, 0);
    const __m256i slot = _mm256_add_epi8(hi, _mm256_cmpeq_epi8(c, _mm256_set1_epi8('/')));
    values = _mm256_add_epi8(c, _mm256_shuffle_epi8(offsets, slot));
    return true;
}

// 32 six-bit values to 24 bytes, stored at out.
ORLIX_AVX2 inline void storeGroups(unsigned char* out, __m256i values)
{
    // a b c d -> (a << 6 | b), (c << 6 | d) -> a << 18 | b << 12 | c << 6 | d per dword.
    const __m256i pairs = _mm256_maddubs_epi16(values, _mm256_set1_epi32(0x01400140));
    const __m256i words = _mm256_madd_epi16(pairs, _mm256_set1_epi32(0x00011000));
    const __m256i order = _mm256_setr_epi8(2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1,
                                           2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1);
    const __m256i lanes = _mm256_shuffle_epi8(words, order);
    const __m256i packed =
        _mm256_permutevar8x32_epi32(lanes, _mm256_setr_epi32(0, 1, 2, 4, 5, 6, 3, 7));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm256_castsi256_si128(packed));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + 16), _mm256_extracti128_si256(packed, 1));
}

} // namespace

ORLIX_AVX2 int base64EncodeAvx2(char* dst, const char* src, int len)
{
    const unsigned char* in = reinterpret_cast<const unsigned char*>(src);
    char* out = dst;
    // Each step reads 28 bytes (two 16-byte loads 12 bytes apart) and consumes 24.
    std::ptrdiff_t left = len;
    while (left >= 28) {
        const __m256i block = _mm256_inserti128_si256(
            _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in))),
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 12)), 1);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), valuesToAscii(splitGroups(block)));
        in += 24;
        out += 32;
        left -= 24;
    }
    return static_cast<int>(out - dst) +
           base64EncodePortable(out, reinterpret_cast<const char*>(in), static_cast<int>(left));
}

// Reads whole 32-byte blocks, which may reach past the terminator: see TextBlocks.
ORLIX_AVX2 ORLIX_NO_SANITIZE_MEMORY int base64DecodeAvx2(char* dst, const char* src)
{
    const char* in = src;
    unsigned char* out = reinterpret_cast<unsigned char*>(dst);
    while (blockReadable(in, 32)) {
        __m256i values;
        if (!charsToValues(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(in)), values))
            break;
        storeGroups(out, values);
        in += 32;
        out += 24;
    }
    return static_cast<int>(out - reinterpret_cast<unsigned char*>(dst)) +
           base64DecodePortable(reinterpret_cast<char*>(out), in);
}

ORLIX_AVX2 ORLIX_NO_SANITIZE_MEMORY int base64AlphabetRunAvx2(const char* src)
{
    const char* in = src;
    __m256i values;
    while (blockReadable(in, 32) &&
           charsToValues(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(in)), values))
        in += 32;
    return static_cast<int>(in - src) + base64AlphabetRunPortable(in);
}

} // namespace Detail
} // namespace Utils
} // namespace Orlix

#endif // __x86_64__
