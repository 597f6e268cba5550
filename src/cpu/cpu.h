// CPU features and the cap on which code paths the library may use.
//
// Codecs with CPU-specific paths (CRC, SHA-1, base64, code page 936) pick one implementation
// per process, at first use, from what features() reports, and keep it in a function
// pointer. The portable path is always available and is the reference every other path is
// tested against.
//
// The environment variable ORLIX_CPU caps the paths: "portable" (no CPU-specific code),
// "sse" (SSE4.2, PCLMULQDQ, SHA extensions), "avx2" (plus AVX2, BMI2 and 256-bit
// VPCLMULQDQ), "avx512" (plus AVX-512 F/BW/VL/DQ/VBMI; the default). On aarch64 any cap above "portable"
// allows the ARMv8 CRC32, PMULL and SHA-1 instructions. An unknown value is ignored. It is
// read once, at the first call; tests reach each path directly instead of changing it.
//
// Thread-safety: all functions may be called from any thread; the probe runs once.
#ifndef ORLIX_CPU_CPU_H
#define ORLIX_CPU_CPU_H

#include <vector>

namespace Orlix {
namespace Cpu {

// Feature bits. A bit is set only when the CPU has the feature and the operating system
// saves the registers it needs.
enum Feature : unsigned {
    kSse42 = 1u << 0,
    kPclmul = 1u << 1,
    kShaNi = 1u << 2,
    kAvx2 = 1u << 3,  // with BMI1/BMI2
    kAvx512 = 1u << 4, // F, BW, VL and DQ
    kAvx512Vbmi = 1u << 5,
    kVpclmul = 1u << 6,
    kArmCrc32 = 1u << 8,
    kArmPmull = 1u << 9,
    kArmSha1 = 1u << 10,
};

// The levels ORLIX_CPU can name, in increasing order.
enum class Level { Portable = 0, Sse = 1, Avx2 = 2, Avx512 = 3 };

// The features of the running CPU, before any cap.
unsigned detectedFeatures();

// The cap from ORLIX_CPU (Level::Avx512 when unset or unknown).
Level levelCap();

// The features a path may use: detectedFeatures() less what levelCap() excludes.
unsigned features();

// True when every bit of mask is in features().
inline bool has(unsigned mask)
{
    return (features() & mask) == mask;
}

// The features allowed at a level (a mask over Feature).
unsigned featuresAllowedAt(Level level);

// Parses a cap name ("portable", "sse", "avx2", "avx512"); false for anything else.
bool parseLevel(const char* text, Level& level);

// The path a codec uses: the last entry of paths (listed portable first, fastest last) that
// allowed(entry) accepts, or the first entry when none is. paths must not be empty.
template <typename Path, typename Allowed>
Path lastAllowed(const std::vector<Path>& paths, Allowed allowed)
{
    Path chosen = paths.front();
    for (const Path& path : paths) {
        if (allowed(path))
            chosen = path;
    }
    return chosen;
}

} // namespace Cpu
} // namespace Orlix

#endif // ORLIX_CPU_CPU_H
