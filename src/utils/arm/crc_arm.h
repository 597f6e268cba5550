// CRC kernels for aarch64 (internal), for the CRC-32 and CRC-16 constants of
// utils/crc_paths.h. Each may only be called when the CPU has the instructions it names.
#ifndef ORLIX_SRC_UTILS_ARM_CRC_ARM_H
#define ORLIX_SRC_UTILS_ARM_CRC_ARM_H

#include "utils/arm/arm_kernels.h"
#include "utils/crc_paths.h"

#if ORLIX_UTILS_ARM_KERNELS

namespace Orlix {
namespace Utils {
namespace Detail {

// CRC-32 with the CRC32 instructions alone, eight bytes per instruction, three registers
// side by side on long inputs (needs CRC32).
std::uint32_t crc32ArmCrc(std::uint32_t crc, const unsigned char* data, std::size_t len);

// CRC-32 by PMULL folding from 64 bytes on; shorter inputs, the bytes after the last whole
// lane and the reduction of the last lane go through the CRC32 instructions (needs PMULL
// and CRC32).
std::uint32_t crc32ArmPmull(std::uint32_t crc, const unsigned char* data, std::size_t len);

// CRC-16/ARC by PMULL folding; inputs below 16 bytes go to the portable path (needs PMULL;
// no instruction computes this CRC directly).
std::uint32_t crc16ArmPmull(std::uint32_t crc, const unsigned char* data, std::size_t len);

} // namespace Detail
} // namespace Utils
} // namespace Orlix

#endif // ORLIX_UTILS_ARM_KERNELS

#endif // ORLIX_SRC_UTILS_ARM_CRC_ARM_H
