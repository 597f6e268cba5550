// CRC-16/ARC and CRC-32.
//
// The portable path is slicing-by-8 over constant tables; on x86-64 with PCLMULQDQ the
// register is updated by carry-less-multiply folding (utils/x86/crc_clmul.cpp), with inputs
// below 16 bytes left to the tables. On aarch64 CRC-32 uses the CRC32 instructions, and with
// PMULL both CRCs fold (utils/arm/crc_arm.cpp). The path is chosen once, at the first call.
#include "infra/crc.h"

#include "cpu/cpu.h"
#include "utils/arm/crc_arm.h"
#include "utils/crc_paths.h"
#include "utils/x86/crc_clmul.h"

#include <array>
#include <atomic>
#include <cstdint>

namespace Orlix {
namespace Utils {

namespace Detail {

namespace {

// Slicing-by-8 tables of a reflected CRC: table[0] is the published byte table; table[k][n]
// is the register after byte n followed by k zero bytes, so eight input bytes are folded in
// with eight independent lookups. They are computed by the compiler and end up as constant
// data in the library.
template <typename T>
constexpr std::array<std::array<T, 256>, 8> makeSliceTables(std::uint32_t poly)
{
    std::array<std::array<T, 256>, 8> tables{};
    for (std::uint32_t n = 0; n < 256; ++n) {
        std::uint32_t c = n;
        for (int k = 0; k < 8; ++k)
            c = (c & 1) ? (c >> 1) ^ poly : c >> 1;
        tables[0][n] = static_cast<T>(c);
    }
    for (std::uint32_t n = 0; n < 256; ++n) {
        for (int k = 1; k < 8; ++k) {
            const std::uint32_t prev = tables[k - 1][n];
            tables[k][n] = static_cast<T>((prev >> 8) ^ tables[0][prev & 0xFF]);
        }
    }
    return tables;
}

constexpr auto kCrc16Tables = makeSliceTables<std::uint16_t>(0xA001u);
constexpr auto kCrc32Tables = makeSliceTables<std::uint32_t>(0xEDB88320u);

static_assert(kCrc16Tables[0][1] == 0xC0C1, "CRC-16/ARC table");
static_assert(kCrc32Tables[0][1] == 0x77073096, "CRC-32 table");

// Feeds len bytes into a reflected register of at most 32 bits: the register enters the
// first bytes of each group of eight, the same code for both widths.
template <typename T>
std::uint32_t sliceBy8(const std::array<std::array<T, 256>, 8>& t, std::uint32_t c,
                       const unsigned char* p, std::size_t len)
{
    for (; len >= 8; len -= 8, p += 8) {
        const std::uint32_t lo = c ^ (std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 |
                                      std::uint32_t(p[2]) << 16 | std::uint32_t(p[3]) << 24);
        c = std::uint32_t(t[7][lo & 0xFF]) ^ t[6][(lo >> 8) & 0xFF] ^ t[5][(lo >> 16) & 0xFF] ^
            t[4][lo >> 24] ^ t[3][p[4]] ^ t[2][p[5]] ^ t[1][p[6]] ^ t[0][p[7]];
    }
    for (; len != 0; --len)
        c = (c >> 8) ^ t[0][(c ^ *p++) & 0xFF];
    return c;
}

#if defined(__x86_64__)
std::vector<CrcPath> clmulPaths(CrcPath portable, CrcFunction sse, CrcFunction avx2,
                                CrcFunction avx512)
{
    using namespace Orlix::Cpu;
    const unsigned base = kSse42 | kPclmul;
    return {portable,
            {"pclmul", sse, has(base)},
            {"vpclmul-avx2", avx2, has(base | kAvx2 | kVpclmul)},
            {"vpclmul-avx512", avx512, has(base | kAvx512 | kVpclmul)}};
}
#endif

CrcFunction lastUsable(const std::vector<CrcPath>& paths)
{
    return Cpu::lastAllowed(paths, [](const CrcPath& path) { return path.usable; }).fn;
}

} // namespace

std::uint32_t crc32Portable(std::uint32_t crc, const unsigned char* p, std::size_t len)
{
    return ~sliceBy8(kCrc32Tables, ~crc, p, len);
}

std::uint32_t crc16Portable(std::uint32_t crc, const unsigned char* p, std::size_t len)
{
    return sliceBy8(kCrc16Tables, crc, p, len);
}

std::vector<CrcPath> crc32Paths()
{
    const CrcPath portable{"portable", crc32Portable, true};
#if defined(__x86_64__)
    return clmulPaths(portable, crc32ClmulSse, crc32ClmulAvx2, crc32ClmulAvx512);
#elif ORLIX_UTILS_ARM_KERNELS
    using namespace Orlix::Cpu;
    return {portable,
            {"arm-crc32", crc32ArmCrc, has(kArmCrc32)},
            {"arm-pmull", crc32ArmPmull, has(kArmPmull | kArmCrc32)}};
#else
    return {portable};
#endif
}

std::vector<CrcPath> crc16Paths()
{
    const CrcPath portable{"portable", crc16Portable, true};
#if defined(__x86_64__)
    return clmulPaths(portable, crc16ClmulSse, crc16ClmulAvx2, crc16ClmulAvx512);
#elif ORLIX_UTILS_ARM_KERNELS
    return {portable, {"arm-pmull", crc16ArmPmull, Cpu::has(Cpu::kArmPmull)}};
#else
    return {portable};
#endif
}

} // namespace Detail

namespace {

// The chosen paths. Each starts as a function that makes the choice, stores it and
// forwards the call; later calls jump straight to the choice. Threads racing through the
// first call choose the same path.
std::uint32_t crc32FirstCall(std::uint32_t crc, const unsigned char* data, std::size_t len);
std::uint32_t crc16FirstCall(std::uint32_t crc, const unsigned char* data, std::size_t len);

std::atomic<Detail::CrcFunction> g_crc32{crc32FirstCall};
std::atomic<Detail::CrcFunction> g_crc16{crc16FirstCall};

std::uint32_t crc32FirstCall(std::uint32_t crc, const unsigned char* data, std::size_t len)
{
    const Detail::CrcFunction fn = Detail::lastUsable(Detail::crc32Paths());
    g_crc32.store(fn, std::memory_order_relaxed);
    return fn(crc, data, len);
}

std::uint32_t crc16FirstCall(std::uint32_t crc, const unsigned char* data, std::size_t len)
{
    const Detail::CrcFunction fn = Detail::lastUsable(Detail::crc16Paths());
    g_crc16.store(fn, std::memory_order_relaxed);
    return fn(crc, data, len);
}

} // namespace

unsigned short crc16(unsigned short crc, const unsigned char* data, unsigned int len)
{
    return static_cast<unsigned short>(g_crc16.load(std::memory_order_relaxed)(crc, data, len));
}

unsigned int crc32(const unsigned char* data, unsigned int len)
{
    return g_crc32.load(std::memory_order_relaxed)(0, data, len);
}

unsigned int crc32(unsigned int crc, const unsigned char* data, unsigned int len)
{
    return g_crc32.load(std::memory_order_relaxed)(crc, data, len);
}

} // namespace Utils
} // namespace Orlix
