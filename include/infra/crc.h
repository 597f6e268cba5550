/// @file
/// CRC-16 and CRC-32 checksums.
///
///     unsigned int c = Orlix::Utils::crc32(data, size);        // CRC-32 of one buffer
///     c = Orlix::Utils::crc32(c, more, moreSize);              // ...extended by more bytes
///     unsigned short s = Orlix::Utils::crc16(0, data, size);   // CRC-16/ARC
///
/// crc16 is the CRC-16/ARC variant (reflected polynomial 0xA001) without initial or final
/// inversion: the value passed in is the starting register, so feeding consecutive pieces
/// through successive calls gives the same result as one call over the whole. Its check value
/// (the CRC of "123456789" from 0) is 0xBB3D.
///
/// crc32 is the CRC-32 of IEEE 802.3 and of the zip and PNG formats (reflected polynomial
/// 0xEDB88320, register preset to all ones, result inverted); its check value is 0xCBF43926.
/// The three-argument form continues a CRC-32: crc32(0, d, n) equals crc32(d, n), and
/// crc32(crc32(a, na), b, nb) is the CRC-32 of a followed by b.
///
/// Speed: the first call chooses the fastest implementation the processor allows, capped by
/// the environment variable ORLIX_CPU (see docs/utils.md): carry-less-multiply folding over
/// 512-, 256- or 128-bit vectors on x86-64 (VPCLMULQDQ with AVX-512 or AVX2, PCLMULQDQ),
/// portable slicing-by-8 tables otherwise and for inputs under 16 bytes. All give the same
/// results.
///
/// Thread-safety: pure functions over constant data; call them from any thread.
///
/// Failure: none is detected; data must hold len readable bytes (it is not read when len is 0).
#ifndef ORLIX_INFRA_CRC_H
#define ORLIX_INFRA_CRC_H

#include "infra/defs.h"

namespace Orlix {
namespace Utils {

/// The CRC-16/ARC register after feeding len bytes of data into crc.
ORLIX_API unsigned short crc16(unsigned short crc, const unsigned char* data, unsigned int len);

/// The CRC-32 of len bytes of data.
ORLIX_API unsigned int crc32(const unsigned char* data, unsigned int len);

/// The CRC-32 of the message whose CRC-32 is crc, extended by len bytes of data.
ORLIX_API unsigned int crc32(unsigned int crc, const unsigned char* data, unsigned int len);

} // namespace Utils
} // namespace Orlix

#endif // ORLIX_INFRA_CRC_H
