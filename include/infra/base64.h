/// @file
/// Base64 encoding and decoding (RFC 4648, standard alphabet, "=" padding, no line breaks).
///
///     std::vector<char> text(Orlix::Utils::base64EncodeLen(size));
///     Orlix::Utils::base64Encode(text.data(), data, size);        // zero-terminated text
///
///     std::vector<char> bytes(Orlix::Utils::base64DecodeLen(text.data()));
///     int n = Orlix::Utils::base64Decode(bytes.data(), text.data()); // n bytes + a zero
///
/// Both directions write into caller buffers; the two Len functions give the size to reserve,
/// terminator included. Decoding takes the leading run of alphabet characters and stops at the
/// first other character ("=", white space, the terminator, anything else): it does not reject
/// malformed text, it decodes what precedes the first character outside the alphabet. A single
/// character left over after the last group of four decodes to nothing.
///
/// Thread-safety: pure functions over constant tables; call them from any thread.
///
/// Failure: none is detected; buffers are the caller's responsibility.
#ifndef ORLIX_INFRA_BASE64_H
#define ORLIX_INFRA_BASE64_H

#include "infra/defs.h"

namespace Orlix {
namespace Utils {

/// Bytes that encoding len bytes writes, the terminator included: (len + 2) / 3 * 4 + 1.
/// A len of 0 or below gives 1. The result is an int, so len may be at most 1610612733
/// (encoding more in one call would need a longer text than an int can count).
ORLIX_API int base64EncodeLen(int len);

/// Encodes len bytes of src into dst and terminates it with a zero. Returns the bytes written
/// including the terminator, which equals base64EncodeLen(len). A len of 0 or below writes
/// only the terminator and returns 1, as does a null src (with EINVAL in the last error).
ORLIX_API int base64Encode(char* dst, const char* src, int len);

/// An upper bound of the bytes base64Decode writes for src, its terminator included:
/// (count + 3) / 4 * 3 + 1, where count is the number of leading alphabet characters. A null
/// src counts as the empty text (1), with EINVAL in the last error.
ORLIX_API int base64DecodeLen(const char* src);

/// Decodes the leading alphabet characters of src into dst and writes a zero after the
/// decoded bytes. Returns the number of decoded bytes, without the terminator. dst needs
/// base64DecodeLen(src) bytes. A null src decodes as the empty text (0, dst gets only the
/// terminator), with EINVAL in the last error.
ORLIX_API int base64Decode(char* dst, const char* src);

} // namespace Utils
} // namespace Orlix

#endif // ORLIX_INFRA_BASE64_H
