// Whether this build carries the aarch64 kernels (internal).
//
// The kernels use the ARMv8 CRC32, PMULL and SHA-1 instructions through per-function target
// attributes, so the library itself stays at the baseline architecture and a kernel runs only
// after the CPU probe has found its instructions. They need a little-endian aarch64 target and
// g++: clang 14 declares the ACLE intrinsics only when the whole file is compiled for the
// feature, so a clang build takes the portable paths on aarch64.
#ifndef ORLIX_SRC_UTILS_ARM_ARM_KERNELS_H
#define ORLIX_SRC_UTILS_ARM_ARM_KERNELS_H

#if defined(__aarch64__) && defined(__AARCH64EL__) && defined(__GNUC__) && !defined(__clang__)
#define ORLIX_UTILS_ARM_KERNELS 1
#else
#define ORLIX_UTILS_ARM_KERNELS 0
#endif

#endif // ORLIX_SRC_UTILS_ARM_ARM_KERNELS_H
