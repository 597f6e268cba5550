// Block functions of the message digests (internal).
//
// The digest classes keep the buffering, padding and finalisation; the compression of whole
// 64-byte blocks goes through these functions, the one seam an accelerated implementation
// replaces. Both take any number of consecutive blocks, so a caller hands over everything it
// has in one call.
#ifndef ORLIX_SRC_UTILS_DIGEST_BLOCKS_H
#define ORLIX_SRC_UTILS_DIGEST_BLOCKS_H

#include "utils/arm/arm_kernels.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace Orlix {
namespace Utils {
namespace Detail {

// Compresses blocks 64-byte blocks of data into the four MD5 chaining words (RFC 1321; input
// words little-endian).
void md5Blocks(std::uint32_t state[4], const unsigned char* data, std::size_t blocks);

// Compresses blocks 64-byte blocks of data into the five SHA-1 chaining words (FIPS 180-1;
// input words big-endian), with the fastest implementation this CPU can run (chosen at the
// first call).
void sha1Blocks(std::uint32_t state[5], const unsigned char* data, std::size_t blocks);

using Sha1BlockFunction = void (*)(std::uint32_t state[5], const unsigned char* data,
                                   std::size_t blocks);

// One implementation of the SHA-1 block function; usable is false when this CPU (or the
// ORLIX_CPU cap) rules it out.
struct Sha1Path
{
    const char* name;
    Sha1BlockFunction fn;
    bool usable;
};

// Every SHA-1 block function, the portable one first; sha1Blocks uses the last usable one.
std::vector<Sha1Path> sha1Paths();

#if defined(__x86_64__)
// The SHA-1 block function on the x86 SHA extensions (needs SHA, SSSE3 and SSE4.1).
void sha1BlocksShaNi(std::uint32_t state[5], const unsigned char* data, std::size_t blocks);
#endif

#if ORLIX_UTILS_ARM_KERNELS
// The SHA-1 block function on the ARMv8 SHA-1 instructions.
void sha1BlocksArm(std::uint32_t state[5], const unsigned char* data, std::size_t blocks);
#endif

inline std::uint32_t rotl32(std::uint32_t x, int n)
{
    return (x << n) | (x >> (32 - n));
}

inline std::uint32_t loadLe32(const unsigned char* p)
{
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
           std::uint32_t(p[3]) << 24;
}

inline std::uint32_t loadBe32(const unsigned char* p)
{
    return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 |
           std::uint32_t(p[3]);
}

inline void storeLe32(unsigned char* p, std::uint32_t v)
{
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
    p[2] = static_cast<unsigned char>(v >> 16);
    p[3] = static_cast<unsigned char>(v >> 24);
}

inline void storeBe32(unsigned char* p, std::uint32_t v)
{
    p[0] = static_cast<unsigned char>(v >> 24);
    p[1] = static_cast<unsigned char>(v >> 16);
    p[2] = static_cast<unsigned char>(v >> 8);
    p[3] = static_cast<unsigned char>(v);
}

// Writes the bytes of data as lower-case hexadecimal, high nibble first (2 * size characters,
// no terminator).
inline void toHex(char* out, const unsigned char* data, std::size_t size)
{
    static const char digits[] = "0123456789abcdef";
    for (std::size_t i = 0; i < size; ++i) {
        out[2 * i] = digits[data[i] >> 4];
        out[2 * i + 1] = digits[data[i] & 0x0F];
    }
}

} // namespace Detail
} // namespace Utils
} // namespace Orlix

#endif // ORLIX_SRC_UTILS_DIGEST_BLOCKS_H
