// SHA-1 block function with the ARMv8 SHA-1 instructions.
//
// SHA1C, SHA1P and SHA1M run four rounds (choose, parity, majority) on the words A..D (A in
// lane 0) with E in a scalar register and the four schedule words plus the round constant in
// a vector; SHA1H gives the E of the next four rounds: A of this group, rotated by 30.
// SHA1SU0 and SHA1SU1 extend the schedule four words at a time: words 4g..4g+3 come from
// groups g-4, g-3 and g-2 (SHA1SU0), then g-1 (SHA1SU1). The schedule stays in registers, so
// nothing of the message is left in memory.
#include "utils/digest_blocks.h"

#if ORLIX_UTILS_ARM_KERNELS

#include <arm_neon.h>

namespace Orlix {
namespace Utils {
namespace Detail {

__attribute__((target("+crypto"))) void sha1BlocksArm(std::uint32_t state[5],
                                                      const unsigned char* data, std::size_t blocks)
{
    const uint32x4_t k0 = vdupq_n_u32(0x5A827999);
    const uint32x4_t k1 = vdupq_n_u32(0x6ED9EBA1);
    const uint32x4_t k2 = vdupq_n_u32(0x8F1BBCDC);
    const uint32x4_t k3 = vdupq_n_u32(0xCA62C1D6);
    uint32x4_t abcd = vld1q_u32(state);
    std::uint32_t e0 = state[4];
    for (; blocks != 0; --blocks, data += 64) {
        const uint32x4_t abcdIn = abcd;
        const std::uint32_t eIn = e0;
        // Each word is big-endian.
        uint32x4_t m0 = vreinterpretq_u32_u8(vrev32q_u8(vld1q_u8(data)));
        uint32x4_t m1 = vreinterpretq_u32_u8(vrev32q_u8(vld1q_u8(data + 16)));
        uint32x4_t m2 = vreinterpretq_u32_u8(vrev32q_u8(vld1q_u8(data + 32)));
        uint32x4_t m3 = vreinterpretq_u32_u8(vrev32q_u8(vld1q_u8(data + 48)));
        std::uint32_t e = e0;

// Four rounds of kind op with the schedule words w and the round constant k.
#define ORLIX_SHA1_GROUP(op, k, w)                                                                 \
    do {                                                                                           \
        const std::uint32_t eNext = vsha1h_u32(vgetq_lane_u32(abcd, 0));                           \
        abcd = op(abcd, e, vaddq_u32(w, k));                                                       \
        e = eNext;                                                                                 \
    } while (0)
// Extends the schedule by four words into a (the oldest group) from b, c, d, then runs
// four rounds.
#define ORLIX_SHA1_NEXT(op, k, a, b, c, d)                                                         \
    do {                                                                                           \
        a = vsha1su1q_u32(vsha1su0q_u32(a, b, c), d);                                              \
        ORLIX_SHA1_GROUP(op, k, a);                                                                \
    } while (0)

        ORLIX_SHA1_GROUP(vsha1cq_u32, k0, m0); // rounds 0..3
        ORLIX_SHA1_GROUP(vsha1cq_u32, k0, m1);
        ORLIX_SHA1_GROUP(vsha1cq_u32, k0, m2);
        ORLIX_SHA1_GROUP(vsha1cq_u32, k0, m3);
        ORLIX_SHA1_NEXT(vsha1cq_u32, k0, m0, m1, m2, m3); // rounds 16..19
        ORLIX_SHA1_NEXT(vsha1pq_u32, k1, m1, m2, m3, m0);
        ORLIX_SHA1_NEXT(vsha1pq_u32, k1, m2, m3, m0, m1);
        ORLIX_SHA1_NEXT(vsha1pq_u32, k1, m3, m0, m1, m2);
        ORLIX_SHA1_NEXT(vsha1pq_u32, k1, m0, m1, m2, m3);
        ORLIX_SHA1_NEXT(vsha1pq_u32, k1, m1, m2, m3, m0);
        ORLIX_SHA1_NEXT(vsha1mq_u32, k2, m2, m3, m0, m1); // rounds 40..43
        ORLIX_SHA1_NEXT(vsha1mq_u32, k2, m3, m0, m1, m2);
        ORLIX_SHA1_NEXT(vsha1mq_u32, k2, m0, m1, m2, m3);
        ORLIX_SHA1_NEXT(vsha1mq_u32, k2, m1, m2, m3, m0);
        ORLIX_SHA1_NEXT(vsha1mq_u32, k2, m2, m3, m0, m1);
        ORLIX_SHA1_NEXT(vsha1pq_u32, k3, m3, m0, m1, m2); // rounds 60..63
        ORLIX_SHA1_NEXT(vsha1pq_u32, k3, m0, m1, m2, m3);
        ORLIX_SHA1_NEXT(vsha1pq_u32, k3, m1, m2, m3, m0);
        ORLIX_SHA1_NEXT(vsha1pq_u32, k3, m2, m3, m0, m1);
        ORLIX_SHA1_NEXT(vsha1pq_u32, k3, m3, m0, m1, m2); // rounds 76..79

#undef ORLIX_SHA1_NEXT
#undef ORLIX_SHA1_GROUP

        abcd = vaddq_u32(abcd, abcdIn);
        e0 = e + eIn;
    }
    vst1q_u32(state, abcd);
    state[4] = e0;
}

} // namespace Detail
} // namespace Utils
} // namespace Orlix

#endif // ORLIX_UTILS_ARM_KERNELS
