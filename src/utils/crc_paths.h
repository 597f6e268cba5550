// CRC implementations and the constants of carry-less-multiply folding (internal).
//
// Both checksums are reflected CRCs: the register's bit 0 is the coefficient of the highest
// power, and message bytes enter least significant bit first. A path has the contract of the
// public function: a CRC-32 path takes and returns the inverted register (crc32(crc, data,
// len)), a CRC-16 path the register itself (crc16(crc, data, len)), so the public functions
// are a single jump through the chosen path.
//
// Folding works modulo a polynomial of degree 32. CRC-32 uses its own polynomial; CRC-16
// uses its polynomial times x^16: for any message M, M x^32 mod (P x^16) = (M x^16 mod P) x^16,
// so the 16-bit register is the low half of the 32-bit reflected result, and the register
// passed in enters the low 16 bits of the first message word as it does for CRC-32. One
// folding kernel therefore serves both, with the constants below derived from the modulus.
#ifndef ORLIX_SRC_UTILS_CRC_PATHS_H
#define ORLIX_SRC_UTILS_CRC_PATHS_H

#include <cstddef>
#include <cstdint>
#include <vector>

namespace Orlix {
namespace Utils {
namespace Detail {

using CrcFunction = std::uint32_t (*)(std::uint32_t crc, const unsigned char* data,
                                      std::size_t len);

// One implementation of a CRC; usable is false when this CPU (or the ORLIX_CPU cap) rules
// it out.
struct CrcPath
{
    const char* name;
    CrcFunction fn;
    bool usable;
};

// Every implementation of the CRC-32 and CRC-16/ARC register update, the portable one
// first. The checksum functions use the last usable entry.
std::vector<CrcPath> crc32Paths();
std::vector<CrcPath> crc16Paths();

// ---------------------------------------------------------------------------------------
// Folding constants.
//
// Polynomials are held in "normal" form (bit m is the coefficient of x^m). The vector code
// holds data reflected: in a 64-bit lane bit i is the coefficient of x^(63 - i), in a
// 128-bit lane bit i that of x^(127 - i). A carry-less multiply of two reflected 64-bit
// lanes A and B, read as a reflected 128-bit lane, is A * B * x (the product's top
// coefficient lands at bit 1, not bit 0), which the constants absorb by one power less.
// ---------------------------------------------------------------------------------------

// x^e mod p, for p of degree 32 given with its x^32 bit.
constexpr std::uint64_t xPowMod(unsigned e, std::uint64_t p)
{
    std::uint64_t r = 1;
    for (unsigned i = 0; i < e; ++i) {
        r <<= 1;
        if (r & (std::uint64_t(1) << 32))
            r ^= p;
    }
    return r;
}

// floor(x^64 / p), of degree 32.
constexpr std::uint64_t barrettQuotient(std::uint64_t p)
{
    // The first step removes x^64 itself: x^64 - x^32 p leaves (p - x^32) x^32.
    std::uint64_t q = std::uint64_t(1) << 32;
    std::uint64_t r = (p ^ (std::uint64_t(1) << 32)) << 32;
    for (int i = 63; i >= 32; --i) {
        if (r & (std::uint64_t(1) << i)) {
            q |= std::uint64_t(1) << (i - 32);
            r ^= p << (i - 32);
        }
    }
    return q;
}

// v (bits 0..width-1) mirrored: bit m moves to bit width - 1 - m.
constexpr std::uint64_t reflect(std::uint64_t v, unsigned width)
{
    std::uint64_t r = 0;
    for (unsigned m = 0; m < width; ++m)
        if (v & (std::uint64_t(1) << m))
            r |= std::uint64_t(1) << (width - 1 - m);
    return r;
}

// The constants one folding kernel needs for one modulus.
struct CrcFoldConstants
{
    // fold[j] moves a 128-bit lane forward by 128 * j bits (j = 1..16): {multiplier of the
    // lane's high-order half, multiplier of its low-order half}, that is x^(128j + 63) and
    // x^(128j - 1) modulo p, reflected to 64 bits.
    std::uint64_t fold[17][2];
    // Reduction of the last lane to 64 bits: x^95 and x^63 modulo p, reflected.
    std::uint64_t k95;
    std::uint64_t k63;
    // Barrett reduction from 64 to 32 bits: floor(x^64 / p) and p, each reflected to 33 bits.
    std::uint64_t mu;
    std::uint64_t poly;
    // XORed into the caller's value on the way in and out (all ones for CRC-32).
    std::uint32_t invert;
};

constexpr CrcFoldConstants makeCrcFoldConstants(std::uint64_t p, std::uint32_t invert)
{
    CrcFoldConstants c{};
    c.invert = invert;
    for (unsigned j = 1; j <= 16; ++j) {
        c.fold[j][0] = reflect(xPowMod(128 * j + 63, p), 64);
        c.fold[j][1] = reflect(xPowMod(128 * j - 1, p), 64);
    }
    c.k95 = reflect(xPowMod(95, p), 64);
    c.k63 = reflect(xPowMod(63, p), 64);
    c.mu = reflect(barrettQuotient(p), 33);
    c.poly = reflect(p, 33);
    return c;
}

// CRC-32: x^32 + x^26 + x^23 + x^22 + x^16 + x^12 + x^11 + x^10 + x^8 + x^7 + x^5 + x^4 +
// x^2 + x + 1. CRC-16/ARC: x^16 + x^15 + x^2 + 1, scaled by x^16.
constexpr std::uint64_t kCrc32Modulus = 0x104C11DB7u;
constexpr std::uint64_t kCrc16Modulus = std::uint64_t(0x18005u) << 16;

inline constexpr CrcFoldConstants kCrc32Fold = makeCrcFoldConstants(kCrc32Modulus, 0xFFFFFFFFu);
inline constexpr CrcFoldConstants kCrc16Fold = makeCrcFoldConstants(kCrc16Modulus, 0);

// The portable (slicing-by-8) paths; the folding kernels hand inputs below 16 bytes to them.
std::uint32_t crc32Portable(std::uint32_t crc, const unsigned char* data, std::size_t len);
std::uint32_t crc16Portable(std::uint32_t crc, const unsigned char* data, std::size_t len);

// The reflected 33-bit forms are the published ones for CRC-32.
static_assert(reflect(kCrc32Modulus, 33) == 0x1DB710641u, "CRC-32 polynomial, reflected");
static_assert(reflect(barrettQuotient(kCrc32Modulus), 33) == 0x1F7011641u,
              "CRC-32 Barrett quotient, reflected");

} // namespace Detail
} // namespace Utils
} // namespace Orlix

#endif // ORLIX_SRC_UTILS_CRC_PATHS_H
