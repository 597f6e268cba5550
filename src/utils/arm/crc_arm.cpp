// CRC on aarch64: the CRC32 instructions (CRC-32 only, eight bytes per instruction, three
// independent registers on long inputs) and carry-less-multiply folding with PMULL (both
// CRCs).
//
// Folding is the scheme of utils/x86/crc_clmul.cpp on 128-bit NEON lanes: the message is a
// polynomial, the CRC is M x^32 mod p, and a lane A = H x^64 + L with D more bits of message
// behind it is replaced by H (x^(D+64) mod p) + L (x^D mod p) plus the next D bits of data.
// PMULL multiplies the low 64-bit halves of two lanes, PMULL2 the high ones. Eight lanes are
// folded side by side from 128 bytes on, four from 64 bytes on; they are then folded into
// one. For CRC-32 the CRC32 instructions reduce that lane (its 16 bytes, entered into a zero
// register, give M x^32 mod p) and take the bytes after it; CRC-16 reduces it with two more
// multiplies and Barrett reduction, the constants and data layout of utils/crc_paths.h.
#include "utils/arm/crc_arm.h"

#if ORLIX_UTILS_ARM_KERNELS

#include <arm_acle.h>
#include <arm_neon.h>

#include <cstring>

// The library is compiled for the baseline architecture; only these functions may use the
// optional instructions, and only once the CPU probe has found them.
#define ORLIX_TARGET_CRC __attribute__((target("+crc")))
#define ORLIX_TARGET_PMULL __attribute__((target("+crypto")))
#define ORLIX_TARGET_PMULL_CRC __attribute__((target("+crc+crypto")))
#define ORLIX_INLINE inline __attribute__((always_inline))

namespace Orlix {
namespace Utils {
namespace Detail {

namespace {

using Lane = uint64x2_t;

inline std::uint64_t load64(const unsigned char* p)
{
    std::uint64_t v;
    std::memcpy(&v, p, sizeof(v));
    return v;
}

// Feeds len bytes into a register (not inverted) with the CRC32 instructions.
ORLIX_TARGET_CRC ORLIX_INLINE std::uint32_t crc32Update(std::uint32_t c, const unsigned char* p,
                                                        std::size_t len)
{
    for (; len >= 32; len -= 32, p += 32) {
        c = __crc32d(c, load64(p));
        c = __crc32d(c, load64(p + 8));
        c = __crc32d(c, load64(p + 16));
        c = __crc32d(c, load64(p + 24));
    }
    for (; len >= 8; len -= 8, p += 8)
        c = __crc32d(c, load64(p));
    if (len & 4) {
        std::uint32_t v;
        std::memcpy(&v, p, sizeof(v));
        c = __crc32w(c, v);
        p += 4;
    }
    if (len & 2) {
        std::uint16_t v;
        std::memcpy(&v, p, sizeof(v));
        c = __crc32h(c, v);
        p += 2;
    }
    if (len & 1)
        c = __crc32b(c, *p);
    return c;
}

// Long inputs on the CRC32 instructions alone: an instruction's result is needed by the next
// one, so a single register waits out the instruction's latency at every step. Three
// registers take three consecutive stretches of kStream bytes side by side instead (the
// first from the caller's register, the others from zero), and are then joined. The register
// update is linear: feeding B after A gives the register after A, moved over |B| zero bytes,
// plus the register of B alone. Moving over kStream zero bytes is itself linear in the 32
// register bits, so four byte tables, computed by the compiler, do it in four lookups.
constexpr std::size_t kStream = 256;

struct CrcShiftTables
{
    std::uint32_t byte[4][256];
};

constexpr CrcShiftTables makeShiftTables()
{
    std::uint32_t column[32] = {};
    for (unsigned bit = 0; bit < 32; ++bit) {
        std::uint32_t r = std::uint32_t(1) << bit;
        for (std::size_t i = 0; i < 8 * kStream; ++i)
            r = (r & 1) ? (r >> 1) ^ 0xEDB88320u : r >> 1;
        column[bit] = r;
    }
    CrcShiftTables t{};
    for (unsigned k = 0; k < 4; ++k)
        for (unsigned b = 0; b < 256; ++b)
            for (unsigned i = 0; i < 8; ++i)
                if (b & (1u << i))
                    t.byte[k][b] ^= column[8 * k + i];
    return t;
}

constexpr CrcShiftTables kShiftOverStream = makeShiftTables();

// The register c moved over kStream zero bytes.
inline std::uint32_t shiftOverStream(std::uint32_t c)
{
    const auto& t = kShiftOverStream.byte;
    return t[0][c & 0xFF] ^ t[1][(c >> 8) & 0xFF] ^ t[2][(c >> 16) & 0xFF] ^ t[3][c >> 24];
}

ORLIX_TARGET_PMULL ORLIX_INLINE Lane load128(const unsigned char* p)
{
    return vreinterpretq_u64_u8(vld1q_u8(p));
}

ORLIX_TARGET_PMULL ORLIX_INLINE Lane constants128(const std::uint64_t pair[2])
{
    return vld1q_u64(pair);
}

// Low half of a times low half of b; high half times high half; low half of a times high
// half of b.
ORLIX_TARGET_PMULL ORLIX_INLINE Lane mulLow(Lane a, Lane b)
{
    return vreinterpretq_u64_p128(vmull_p64(static_cast<poly64_t>(vgetq_lane_u64(a, 0)),
                                            static_cast<poly64_t>(vgetq_lane_u64(b, 0))));
}

ORLIX_TARGET_PMULL ORLIX_INLINE Lane mulHigh(Lane a, Lane b)
{
    return vreinterpretq_u64_p128(
        vmull_high_p64(vreinterpretq_p64_u64(a), vreinterpretq_p64_u64(b)));
}

ORLIX_TARGET_PMULL ORLIX_INLINE Lane mulLowHigh(Lane a, Lane b)
{
    return vreinterpretq_u64_p128(vmull_p64(static_cast<poly64_t>(vgetq_lane_u64(a, 0)),
                                            static_cast<poly64_t>(vgetq_lane_u64(b, 1))));
}

// The low 64 bits of the carry-less product of a and b.
ORLIX_TARGET_PMULL ORLIX_INLINE std::uint64_t clmulLow64(std::uint64_t a, std::uint64_t b)
{
    return vgetq_lane_u64(
        vreinterpretq_u64_p128(vmull_p64(static_cast<poly64_t>(a), static_cast<poly64_t>(b))), 0);
}

// The lane x moved forward over the distance its constants k stand for, plus data.
ORLIX_TARGET_PMULL ORLIX_INLINE Lane fold128(Lane x, Lane k, Lane data)
{
    return veorq_u64(veorq_u64(mulLow(x, k), mulHigh(x, k)), data);
}

// Four lanes of 16 bytes, a, b, c, d in message order, folded into one.
ORLIX_TARGET_PMULL ORLIX_INLINE Lane combine4(const CrcFoldConstants& k, Lane a, Lane b, Lane c,
                                              Lane d)
{
    const Lane ab = fold128(a, constants128(k.fold[3]), fold128(b, constants128(k.fold[2]), d));
    return fold128(c, constants128(k.fold[1]), ab);
}

// The first 16 bytes with the register entering their first bits.
ORLIX_TARGET_PMULL ORLIX_INLINE Lane first128(std::uint32_t reg, const unsigned char* p)
{
    return veorq_u64(load128(p), vcombine_u64(vcreate_u64(reg), vcreate_u64(0)));
}

// Folds the message after its first lane x0 (which holds the register) while whole groups of
// four lanes remain, eight at a time from 128 bytes on; returns the single lane that stands
// for everything before p. Fewer than 64 bytes are left at p.
ORLIX_TARGET_PMULL ORLIX_INLINE Lane foldBody(const CrcFoldConstants& k, Lane x0,
                                              const unsigned char*& p, const unsigned char* end)
{
    if (end - p < 48)
        return x0;
    Lane x1 = load128(p), x2 = load128(p + 16), x3 = load128(p + 32);
    p += 48;
    const Lane k4 = constants128(k.fold[4]);
    if (end - p >= 64) {
        Lane x4 = load128(p), x5 = load128(p + 16), x6 = load128(p + 32), x7 = load128(p + 48);
        p += 64;
        const Lane k8 = constants128(k.fold[8]);
        while (end - p >= 128) {
            x0 = fold128(x0, k8, load128(p));
            x1 = fold128(x1, k8, load128(p + 16));
            x2 = fold128(x2, k8, load128(p + 32));
            x3 = fold128(x3, k8, load128(p + 48));
            x4 = fold128(x4, k8, load128(p + 64));
            x5 = fold128(x5, k8, load128(p + 80));
            x6 = fold128(x6, k8, load128(p + 96));
            x7 = fold128(x7, k8, load128(p + 112));
            p += 128;
        }
        // Lanes 0..3 are 64 bytes before lanes 4..7.
        x0 = fold128(x0, k4, x4);
        x1 = fold128(x1, k4, x5);
        x2 = fold128(x2, k4, x6);
        x3 = fold128(x3, k4, x7);
    }
    while (end - p >= 64) {
        x0 = fold128(x0, k4, load128(p));
        x1 = fold128(x1, k4, load128(p + 16));
        x2 = fold128(x2, k4, load128(p + 32));
        x3 = fold128(x3, k4, load128(p + 48));
        p += 64;
    }
    return combine4(k, x0, x1, x2, x3);
}

// Byte table lookups for the last partial lane: entries 16..31 are 0..15; the others lie
// outside a 16-byte table, which TBL answers with zero.
alignas(64) const unsigned char kShiftTable[48] = {
    0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80,
    0,    1,    2,    3,    4,    5,    6,    7,    8,    9,    10,   11,   12,   13,   14,   15,
    0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80};

// Feeds the rest of the message (any length; at least 16 bytes lie before p) into the lane
// x and reduces it to the 32-bit reflected register by multiplies alone, returned inverted as
// k asks.
ORLIX_TARGET_PMULL ORLIX_INLINE std::uint32_t
finishPmull(const CrcFoldConstants& k, Lane x, const unsigned char* p, const unsigned char* end)
{
    const Lane k1 = constants128(k.fold[1]);
    while (end - p >= 16) {
        x = fold128(x, k1, load128(p));
        p += 16;
    }
    if (p != end) {
        // r bytes remain. The lane shifted by r bytes splits into the bytes that leave it
        // (a lane of its own, 128 bits before the last one, folded by 128 bits) and the
        // rest, which the last r bytes of the message complete.
        const auto r = end - p;
        const uint8x16_t keep = vld1q_u8(kShiftTable + 16 + r);
        const uint8x16_t out = vld1q_u8(kShiftTable + r);
        const uint8x16_t bytes = vreinterpretq_u8_u64(x);
        // Where out is 0x80 the lane's remaining bytes, elsewhere the message's last bytes.
        const uint8x16_t window = vbslq_u8(vcltzq_s8(vreinterpretq_s8_u8(out)),
                                           vqtbl1q_u8(bytes, keep), vld1q_u8(end - 16));
        x = fold128(vreinterpretq_u64_u8(vqtbl1q_u8(bytes, out)), k1, vreinterpretq_u64_u8(window));
    }
    const uint8x16_t zero = vdupq_n_u8(0);
    // A x^32 = H x^96 + L x^32 == H (x^96 mod p) + L x^32, below x^96 ...
    const Lane k9563 = vcombine_u64(vcreate_u64(k.k95), vcreate_u64(k.k63));
    const uint8x16_t high = vextq_u8(vreinterpretq_u8_u64(x), zero, 8); // H in the low half
    Lane v = veorq_u64(mulLow(x, k9563), vreinterpretq_u64_u8(vextq_u8(zero, high, 12)));
    // ... whose part above x^64 is folded down once more, leaving T below x^64 ...
    const std::uint64_t t = vgetq_lane_u64(veorq_u64(mulLowHigh(v, k9563), v), 1);
    // ... and T mod p = T - floor(floor(T / x^32) mu / x^32) p (Barrett, exact over GF(2)).
    const std::uint64_t q = clmulLow64(t & 0xFFFFFFFFu, k.mu);
    const std::uint64_t qp = clmulLow64(q & 0xFFFFFFFFu, k.poly);
    return static_cast<std::uint32_t>((qp ^ t) >> 32) ^ k.invert;
}

} // namespace

ORLIX_TARGET_CRC std::uint32_t crc32ArmCrc(std::uint32_t crc, const unsigned char* data,
                                           std::size_t len)
{
    std::uint32_t c = ~crc;
    for (; len >= 3 * kStream; len -= 3 * kStream, data += 3 * kStream) {
        std::uint32_t c1 = 0, c2 = 0;
        for (std::size_t i = 0; i < kStream; i += 8) {
            c = __crc32d(c, load64(data + i));
            c1 = __crc32d(c1, load64(data + kStream + i));
            c2 = __crc32d(c2, load64(data + 2 * kStream + i));
        }
        c = shiftOverStream(c) ^ c1;
        c = shiftOverStream(c) ^ c2;
    }
    return ~crc32Update(c, data, len);
}

ORLIX_TARGET_PMULL_CRC std::uint32_t crc32ArmPmull(std::uint32_t crc, const unsigned char* data,
                                                   std::size_t len)
{
    if (len < 64)
        return ~crc32Update(~crc, data, len);
    const unsigned char* p = data + 16;
    const unsigned char* const end = data + len;
    const Lane x = foldBody(kCrc32Fold, first128(~crc, data), p, end);
    std::uint32_t c = __crc32d(0, vgetq_lane_u64(x, 0));
    c = __crc32d(c, vgetq_lane_u64(x, 1));
    return ~crc32Update(c, p, static_cast<std::size_t>(end - p));
}

ORLIX_TARGET_PMULL std::uint32_t crc16ArmPmull(std::uint32_t crc, const unsigned char* data,
                                               std::size_t len)
{
    if (len < 16)
        return crc16Portable(crc, data, len);
    const unsigned char* p = data + 16;
    const unsigned char* const end = data + len;
    const Lane x = foldBody(kCrc16Fold, first128(crc ^ kCrc16Fold.invert, data), p, end);
    return finishPmull(kCrc16Fold, x, p, end);
}

} // namespace Detail
} // namespace Utils
} // namespace Orlix

#endif // ORLIX_UTILS_ARM_KERNELS
