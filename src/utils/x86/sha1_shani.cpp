// SHA-1 block function with the x86 SHA extensions.
//
// SHA1RNDS4 runs four rounds on the words A..D (A in the top 32 bits) with the top lane of
// its second operand holding E plus the first of four schedule words; SHA1NEXTE derives the
// next E from the A of four rounds earlier (rotated by 30) and adds it to the next four
// words; SHA1MSG1 and SHA1MSG2 with one XOR extend the schedule four words at a time:
// words 4g..4g+3 come from groups g-4 (with the first half of g-3), g-2 and g-1. The
// schedule stays in registers, so nothing of the message is left in memory.
#include "utils/digest_blocks.h"

#if defined(__x86_64__)

#include <immintrin.h>

namespace Orlix {
namespace Utils {
namespace Detail {

__attribute__((target("sha,ssse3,sse4.1"))) void
sha1BlocksShaNi(std::uint32_t state[5], const unsigned char* data, std::size_t blocks)
{
    // Loads reverse the 16 bytes: each word big-endian, the first word in the top lane.
    const __m128i reverse = _mm_set_epi64x(0x0001020304050607LL, 0x08090a0b0c0d0e0fLL);
    __m128i abcd = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(state)),
                                     0x1B); // A on top
    __m128i e0 = _mm_set_epi32(static_cast<int>(state[4]), 0, 0, 0);
    for (; blocks != 0; --blocks, data += 64) {
        const __m128i abcdIn = abcd;
        const __m128i eIn = e0;
        __m128i m0 =
            _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data)), reverse);
        __m128i m1 =
            _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data + 16)), reverse);
        __m128i m2 =
            _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data + 32)), reverse);
        __m128i m3 =
            _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data + 48)), reverse);

        // e holds E plus the next four schedule words. Each group copies A..D before its
        // rounds: four rounds later that copy yields the next E. The rounds work on abcd
        // itself, so the copy stays off the chain of dependent SHA1RNDS4.
        __m128i e = _mm_add_epi32(e0, m0);

// Four rounds on e, then e for the next four from the schedule words in w (already
// extended).
#define ORLIX_SHA1_GROUP(f, w)                                                                     \
    do {                                                                                           \
        const __m128i prev = abcd;                                                                 \
        abcd = _mm_sha1rnds4_epu32(abcd, e, f);                                                    \
        e = _mm_sha1nexte_epu32(prev, w);                                                          \
    } while (0)
// Extends the schedule by four words into a (the oldest group) from b, c, d, then runs
// four rounds.
#define ORLIX_SHA1_NEXT(f, a, b, c, d)                                                             \
    do {                                                                                           \
        a = _mm_sha1msg2_epu32(_mm_xor_si128(_mm_sha1msg1_epu32(a, b), c), d);                     \
        ORLIX_SHA1_GROUP(f, a);                                                                    \
    } while (0)

        ORLIX_SHA1_GROUP(0, m1); // rounds 0..3
        ORLIX_SHA1_GROUP(0, m2);
        ORLIX_SHA1_GROUP(0, m3);
        ORLIX_SHA1_NEXT(0, m0, m1, m2, m3); // rounds 12..15, schedule words 16..19
        ORLIX_SHA1_NEXT(0, m1, m2, m3, m0);
        ORLIX_SHA1_NEXT(1, m2, m3, m0, m1);
        ORLIX_SHA1_NEXT(1, m3, m0, m1, m2);
        ORLIX_SHA1_NEXT(1, m0, m1, m2, m3);
        ORLIX_SHA1_NEXT(1, m1, m2, m3, m0);
        ORLIX_SHA1_NEXT(1, m2, m3, m0, m1);
        ORLIX_SHA1_NEXT(2, m3, m0, m1, m2);
        ORLIX_SHA1_NEXT(2, m0, m1, m2, m3);
        ORLIX_SHA1_NEXT(2, m1, m2, m3, m0);
        ORLIX_SHA1_NEXT(2, m2, m3, m0, m1);
        ORLIX_SHA1_NEXT(2, m3, m0, m1, m2);
        ORLIX_SHA1_NEXT(3, m0, m1, m2, m3);
        ORLIX_SHA1_NEXT(3, m1, m2, m3, m0);
        ORLIX_SHA1_NEXT(3, m2, m3, m0, m1);
        ORLIX_SHA1_NEXT(3, m3, m0, m1, m2);
        // The last four rounds; E after them is A of four rounds earlier, rotated, plus
        // the saved E.
        ORLIX_SHA1_GROUP(3, eIn);

#undef ORLIX_SHA1_NEXT
#undef ORLIX_SHA1_GROUP

        e0 = e;
        abcd = _mm_add_epi32(abcd, abcdIn);
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(state), _mm_shuffle_epi32(abcd, 0x1B));
    state[4] = static_cast<std::uint32_t>(_mm_extract_epi32(e0, 3));
}

} // namespace Detail
} // namespace Utils
} // namespace Orlix

#endif // __x86_64__
