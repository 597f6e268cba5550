// Carry-less-multiply CRC kernels for x86-64 (internal). Each takes the constants of its
// modulus (see utils/crc_paths.h) and may only be called when the CPU has its features:
// crcClmulSse needs SSE4.1 and PCLMULQDQ, crcClmulAvx2 also AVX2 and VPCLMULQDQ,
// crcClmulAvx512 AVX-512 F/BW/VL and VPCLMULQDQ.
#ifndef ORLIX_SRC_UTILS_X86_CRC_CLMUL_H
#define ORLIX_SRC_UTILS_X86_CRC_CLMUL_H

#include "utils/crc_paths.h"

#if defined(__x86_64__)

namespace Orlix {
namespace Utils {
namespace Detail {

std::uint32_t crcClmulSse(const CrcFoldConstants& k, std::uint32_t reg, const unsigned char* data,
                          std::size_t len);
std::uint32_t crcClmulAvx2(const CrcFoldConstants& k, std::uint32_t reg, const unsigned char* data,
                           std::size_t len);
std::uint32_t crcClmulAvx512(const CrcFoldConstants& k, std::uint32_t reg,
                             const unsigned char* data, std::size_t len);

} // namespace Detail
} // namespace Utils
} // namespace Orlix

#endif // __x86_64__

#endif // ORLIX_SRC_UTILS_X86_CRC_CLMUL_H
