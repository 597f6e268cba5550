// Base64 with AVX-512 VBMI: 48 input bytes become 64 characters per step, 64 characters
// become 48 bytes, using byte permutes for the alphabet and the byte order. Compiled for
// AVX-512 through function attributes only; the library chooses this path when the CPU has
// AVX-512 F/BW/VL with VBMI (see utils/base64_paths.h).
#if defined(__x86_64__)

#include "utils/base64_paths.h"
#include "utils/x86/text_blocks.h"

#include <immintrin.h>

// g++ 12 takes the deliberately undefined operand of the VBMI permute intrinsics for an
// uninitialized variable.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

#include <array>
#include <cstddef>
#include <cstdint>

#define ORLIX_AVX512 __attribute__((target("avx2,bmi,bmi2,avx512f,avx512bw,avx512vl,avx512vbmi")))

namespace Orlix {
namespace Utils {
namespace Detail {

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Value of each character below 0x80; 0x80 for characters outside the alphabet.
struct DecodeTable
{
    alignas(64) unsigned char values[128];
};

constexpr DecodeTable makeDecodeTable()
{
    DecodeTable table{};
    for (unsigned char& v : table.values)
        v = 0x80;
    for (unsigned char i = 0; i < 64; ++i)
        table.values[static_cast<unsigned char>(kAlphabet[i])] = i;
    return table;
}

constexpr DecodeTable kDecodeTable = makeDecodeTable();

// The values of 64 characters, or false when one of them is outside the alphabet.
ORLIX_AVX512 inline bool charsToValues(__m512i c, __m512i& values)
{
    const __m512i lo = _mm512_load_si512(kDecodeTable.values);
    const __m512i hi = _mm512_load_si512(kDecodeTable.values + 64);
    // Bit 6 of each character picks the half of the table; bit 7 is not an index bit, so
    // the character itself is checked for it.
    values = _mm512_permutex2var_epi8(lo, c, hi);
    return _mm512_movepi8_mask(_mm512_or_si512(values, c)) == 0;
}

} // namespace

ORLIX_AVX512 int base64EncodeAvx512(char* dst, const char* src, int len)
{
    const unsigned char* in = reinterpret_cast<const unsigned char*>(src);
    char* out = dst;
    const __m512i alphabet = _mm512_loadu_si512(kAlphabet);
    // Group g (bytes b0 b1 b2 at 3g) becomes the dword b1 b0 b2 b1, so that the four six-bit
    // fields start at bits 10, 4, 22 and 16 of the dword; a multishift takes the eight bits
    // from there and the alphabet permute ignores the upper two.
    alignas(64) static const signed char kSpread[64] = {
        1,  0,  2,  1,  4,  3,  5,  4,  7,  6,  8,  7,  10, 9,  11, 10, 13, 12, 14, 13, 16, 15,
        17, 16, 19, 18, 20, 19, 22, 21, 23, 22, 25, 24, 26, 25, 28, 27, 29, 28, 31, 30, 32, 31,
        34, 33, 35, 34, 37, 36, 38, 37, 40, 39, 41, 40, 43, 42, 44, 43, 46, 45, 47, 46};
    const __m512i spread = _mm512_load_si512(kSpread);
    const __m512i shifts = _mm512_set1_epi64(0x3036242A1016040Aull);
    // Each step reads 64 bytes and consumes 48.
    std::ptrdiff_t left = len;
    while (left >= 64) {
        const __m512i block = _mm512_loadu_si512(in);
        const __m512i fields =
            _mm512_multishift_epi64_epi8(shifts, _mm512_permutexvar_epi8(spread, block));
        _mm512_storeu_si512(out, _mm512_permutexvar_epi8(fields, alphabet));
        in += 48;
        out += 64;
        left -= 48;
    }
    return static_cast<int>(out - dst) +
           base64EncodePortable(out, reinterpret_cast<const char*>(in), static_cast<int>(left));
}

// Reads whole 64-byte blocks, which may reach past the terminator: see text_blocks.h.
ORLIX_AVX512 ORLIX_NO_SANITIZE_MEMORY int base64DecodeAvx512(char* dst, const char* src)
{
    const char* in = src;
    unsigned char* out = reinterpret_cast<unsigned char*>(dst);
    // Dword g holds a << 18 | b << 12 | c << 6 | d after the two multiply-adds; its bytes
    // 2, 1, 0 are the three output bytes.
    alignas(64) static const signed char kGather[64] = {
        2,  1,  0,  6,  5,  4,  10, 9,  8,  14, 13, 12, 18, 17, 16, 22, 21, 20, 26, 25, 24, 30,
        29, 28, 34, 33, 32, 38, 37, 36, 42, 41, 40, 46, 45, 44, 50, 49, 48, 54, 53, 52, 58, 57,
        56, 62, 61, 60, 0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0};
    const __m512i gather = _mm512_load_si512(kGather);
    const __m512i pairWeights = _mm512_set1_epi32(0x01400140);
    const __m512i quadWeights = _mm512_set1_epi32(0x00011000);
    const __mmask64 keep = 0x0000FFFFFFFFFFFFull; // 48 bytes of output per step
    while (blockReadable(in, 64)) {
        __m512i values;
        if (!charsToValues(_mm512_loadu_si512(in), values))
            break;
        const __m512i pairs = _mm512_maddubs_epi16(values, pairWeights);
        const __m512i quads = _mm512_madd_epi16(pairs, quadWeights);
        _mm512_mask_storeu_epi8(out, keep, _mm512_permutexvar_epi8(gather, quads));
        in += 64;
        out += 48;
    }
    return static_cast<int>(out - reinterpret_cast<unsigned char*>(dst)) +
           base64DecodePortable(reinterpret_cast<char*>(out), in);
}

ORLIX_AVX512 ORLIX_NO_SANITIZE_MEMORY int base64AlphabetRunAvx512(const char* src)
{
    const char* in = src;
    __m512i values;
    while (blockReadable(in, 64) && charsToValues(_mm512_loadu_si512(in), values))
        in += 64;
    return static_cast<int>(in - src) + base64AlphabetRunPortable(in);
}

} // namespace Detail
} // namespace Utils
} // namespace Orlix

#endif // __x86_64__
