// CPU feature probe: cpuid and xgetbv on x86-64, the auxiliary vector on aarch64, nothing
// elsewhere (the portable paths only).
#include "cpu/cpu.h"

#include <cstdlib>
#include <cstring>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <cpuid.h>
#define ORLIX_CPU_X86 1
#elif defined(__aarch64__) && defined(__linux__)
#include <sys/auxv.h>
#define ORLIX_CPU_ARM64 1
#endif

namespace Orlix {
namespace Cpu {

namespace {

#if defined(ORLIX_CPU_X86)
unsigned long long readXcr0()
{
    unsigned int lo = 0;
    unsigned int hi = 0;
    __asm__ volatile("xgetbv" : "=a"(lo), "=d"(hi) : "c"(0));
    return (static_cast<unsigned long long>(hi) << 32) | lo;
}

unsigned probe()
{
    unsigned int a = 0, b = 0, c = 0, d = 0;
    if (__get_cpuid_max(0, nullptr) < 7)
        return 0;
    __cpuid_count(1, 0, a, b, c, d);
    const unsigned int leaf1c = c;
    __cpuid_count(7, 0, a, b, c, d);
    const unsigned int leaf7b = b;
    const unsigned int leaf7c = c;

    unsigned f = 0;
    if (leaf1c & bit_SSE4_2)
        f |= kSse42;
    if (leaf1c & bit_PCLMUL)
        f |= kPclmul;
    if ((leaf7b & bit_SHA) && (leaf1c & bit_SSE4_1))
        f |= kShaNi;

    // AVX state (XMM and YMM) must be enabled by the OS; AVX-512 also needs the opmask and
    // upper ZMM state.
    const bool osxsave = (leaf1c & bit_OSXSAVE) != 0;
    const unsigned long long xcr0 = osxsave ? readXcr0() : 0;
    const bool ymm = (xcr0 & 0x6) == 0x6;
    const bool zmm = (xcr0 & 0xE6) == 0xE6;
    if (ymm && (leaf1c & bit_AVX) && (leaf7b & bit_AVX2) && (leaf7b & bit_BMI) &&
        (leaf7b & bit_BMI2))
        f |= kAvx2;
    const unsigned int avx512Base = bit_AVX512F | bit_AVX512BW | bit_AVX512VL | bit_AVX512DQ;
    if (zmm && (f & kAvx2) && (leaf7b & avx512Base) == avx512Base) {
        f |= kAvx512;
        if (leaf7c & bit_AVX512VBMI)
            f |= kAvx512Vbmi;
    }
    if (ymm && (f & kPclmul) && (leaf7c & bit_VPCLMULQDQ))
        f |= kVpclmul;
    return f;
}
#elif defined(ORLIX_CPU_ARM64)
unsigned probe()
{
    const unsigned long hw = getauxval(AT_HWCAP);
    unsigned f = 0;
    if (hw & (1ul << 7)) // HWCAP_CRC32
        f |= kArmCrc32;
    if (hw & (1ul << 4)) // HWCAP_PMULL
        f |= kArmPmull;
    if (hw & (1ul << 5)) // HWCAP_SHA1
        f |= kArmSha1;
    return f;
}
#else
unsigned probe()
{
    return 0;
}
#endif

Level readCap()
{
    Level level = Level::Avx512;
    const char* text = std::getenv("ORLIX_CPU");
    if (text != nullptr)
        parseLevel(text, level);
    return level;
}

} // namespace

bool parseLevel(const char* text, Level& level)
{
    static const struct {
        const char* name;
        Level level;
    } kNames[] = {{"portable", Level::Portable},
                  {"sse", Level::Sse},
                  {"avx2", Level::Avx2},
                  {"avx512", Level::Avx512}};
    if (text == nullptr)
        return false;
    for (const auto& entry : kNames) {
        if (std::strcmp(text, entry.name) == 0) {
            level = entry.level;
            return true;
        }
    }
    return false;
}

unsigned featuresAllowedAt(Level level)
{
    const unsigned arm = kArmCrc32 | kArmPmull | kArmSha1;
    switch (level) {
    case Level::Portable:
        return 0;
    case Level::Sse:
        return kSse42 | kPclmul | kShaNi | arm;
    case Level::Avx2:
        return kSse42 | kPclmul | kShaNi | kAvx2 | kVpclmul | arm;
    case Level::Avx512:
        break;
    }
    return ~0u;
}

unsigned detectedFeatures()
{
    static const unsigned detected = probe();
    return detected;
}

Level levelCap()
{
    static const Level cap = readCap();
    return cap;
}

unsigned features()
{
    static const unsigned usable = detectedFeatures() & featuresAllowedAt(levelCap());
    return usable;
}

} // namespace Cpu
} // namespace Orlix
