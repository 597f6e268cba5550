// CRC-16/ARC and CRC-32.
#include "infra/crc.h"

#include <array>
#include <cstdint>

namespace Orlix {
namespace Utils {

namespace {

// The tables are computed by the compiler and end up as constant data in the library.
constexpr std::array<std::uint16_t, 256> makeCrc16Table()
{
    std::array<std::uint16_t, 256> table{};
    for (unsigned int n = 0; n < 256; ++n) {
        unsigned int c = n;
        for (int k = 0; k < 8; ++k)
            c = (c & 1) ? (c >> 1) ^ 0xA001u : c >> 1;
        table[n] = static_cast<std::uint16_t>(c);
    }
    return table;
}

// Slicing-by-8: table[0] is the published byte table; table[k][n] is the CRC of byte n
// followed by k zero bytes, so eight input bytes are folded in with eight lookups and no
// dependency chain between them.
constexpr std::array<std::array<std::uint32_t, 256>, 8> makeCrc32Tables()
{
    std::array<std::array<std::uint32_t, 256>, 8> tables{};
    for (std::uint32_t n = 0; n < 256; ++n) {
        std::uint32_t c = n;
        for (int k = 0; k < 8; ++k)
            c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
        tables[0][n] = c;
    }
    for (std::uint32_t n = 0; n < 256; ++n) {
        for (int k = 1; k < 8; ++k) {
            const std::uint32_t prev = tables[k - 1][n];
            tables[k][n] = (prev >> 8) ^ tables[0][prev & 0xFF];
        }
    }
    return tables;
}

constexpr std::array<std::uint16_t, 256> kCrc16Table = makeCrc16Table();
constexpr std::array<std::array<std::uint32_t, 256>, 8> kCrc32Tables = makeCrc32Tables();

static_assert(kCrc16Table[1] == 0xC0C1, "CRC-16/ARC table");
static_assert(kCrc32Tables[0][1] == 0x77073096, "CRC-32 table");

// Feeds len bytes into the (non-inverted) CRC-32 register.
std::uint32_t crc32Register(std::uint32_t c, const unsigned char* p, unsigned int len)
{
    const auto& t = kCrc32Tables;
    for (; len >= 8; len -= 8, p += 8) {
        const std::uint32_t lo = c ^ (std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 |
                                      std::uint32_t(p[2]) << 16 | std::uint32_t(p[3]) << 24);
        c = t[7][lo & 0xFF] ^ t[6][(lo >> 8) & 0xFF] ^ t[5][(lo >> 16) & 0xFF] ^ t[4][lo >> 24] ^
            t[3][p[4]] ^ t[2][p[5]] ^ t[1][p[6]] ^ t[0][p[7]];
    }
    for (; len != 0; --len)
        c = (c >> 8) ^ t[0][(c ^ *p++) & 0xFF];
    return c;
}

} // namespace

unsigned short crc16(unsigned short crc, const unsigned char* data, unsigned int len)
{
    unsigned int c = crc;
    for (unsigned int i = 0; i < len; ++i)
        c = (c >> 8) ^ kCrc16Table[(c ^ data[i]) & 0xFF];
    return static_cast<unsigned short>(c);
}

unsigned int crc32(const unsigned char* data, unsigned int len)
{
    return crc32Register(0xFFFFFFFFu, data, len) ^ 0xFFFFFFFFu;
}

unsigned int crc32(unsigned int crc, const unsigned char* data, unsigned int len)
{
    return crc32Register(~crc, data, len) ^ 0xFFFFFFFFu;
}

} // namespace Utils
} // namespace Orlix
