// Carry-less-multiply CRC kernels for x86-64 (internal), for the CRC-32 and CRC-16 constants
// of utils/crc_paths.h. Each may only be called when the CPU has its features: the Sse ones
// need SSE4.1 and PCLMULQDQ, the Avx2 ones also AVX2 and VPCLMULQDQ, the Avx512 ones
// AVX-512 F/BW/VL and VPCLMULQDQ.
#ifndef ORLIX_SRC_UTILS_X86_CRC_CLMUL_H
#define ORLIX_SRC_UTILS_X86_CRC_CLMUL_H

#include "utils/crc_paths.h"

#if defined(__x86_64__)

namespace Orlix {
namespace Utils {
namespace Detail {

// CRC-32 and CRC-16 paths (contracts in utils/crc_paths.h); inputs below 16 bytes go to the
// portable path.
std::uint32_t crc32ClmulSse(std::uint32_t crc, const unsigned char* data, std::size_t len);
std::uint32_t crc16ClmulSse(std::uint32_t crc, const unsigned char* data, std::size_t len);
std::uint32_t crc32ClmulAvx2(std::uint32_t crc, const unsigned char* data, std::size_t len);
std::uint32_t crc16ClmulAvx2(std::uint32_t crc, const unsigned char* data, std::size_t len);
std::uint32_t crc32ClmulAvx512(std::uint32_t crc, const unsigned char* data, std::size_t len);
std::uint32_t crc16ClmulAvx512(std::uint32_t crc, const unsigned char* data, std::size_t len);

} // namespace Detail
} // namespace Utils
} // namespace Orlix

#endif // __x86_64__

#endif // ORLIX_SRC_UTILS_X86_CRC_CLMUL_H
