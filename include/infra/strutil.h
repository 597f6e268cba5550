/// @file
/// Bounded string helpers and IPv4 address text.
///
/// The copy, append and format helpers write into a buffer whose full size they are told and
/// always leave a terminated string in it (unless the size is 0, in which case nothing is
/// written):
///
///     char name[16];
///     Orlix::Utils::strncpy(name, sizeof(name), userInput, 100);  // cut to 15 characters
///     Orlix::Utils::snprintf_x(name, sizeof(name), "%s-%d", base, n);
///
/// Two exported function-pointer variables give portable names to platform string routines:
/// Utils::snprintf (the C library's bounded formatter) and Utils::stricmp (case-insensitive
/// comparison of ASCII letters). Both are set when the library is loaded.
///
/// IpAddress holds an IPv4 address as a host-order number whose most significant byte is the
/// first octet of the dotted text, on every host: 192.168.1.2 is 0xC0A80102.
///
///     Orlix::Utils::IpAddress ip = Orlix::Utils::stringToIp("192.168.1.2");
///     char text[16];
///     Orlix::Utils::ipToString(ip, text, sizeof(text));        // "192.168.1.2"
///
/// Thread-safety: all functions are reentrant.
///
/// Failure: nothing is reported; texts are cut to fit, unparsable address octets read as 0.
#ifndef ORLIX_INFRA_STRUTIL_H
#define ORLIX_INFRA_STRUTIL_H

#include "infra/defs.h"

#include <cstddef>

/// @def ORLIX_UTILS_PRINTF
/// Declares the function's parameter fmtIndex (1-based) a printf format whose arguments start
/// at firstArg, so that GCC and Clang check every call; empty on other compilers.
#define ORLIX_UTILS_PRINTF(fmtIndex, firstArg) ORLIX_FORMAT_CHECK(fmtIndex, firstArg)

namespace Orlix {
namespace Utils {

/// An IPv4 address: value is a·2^24 + b·2^16 + c·2^8 + d for the text a.b.c.d. bytes views the
/// same 32 bits in the host's memory order (so bytes[0] is the first octet only on big-endian
/// hosts); read the octets from value.
union IpAddress
{
    unsigned int value;     ///< the address as a number: 0xC0A80102 for 192.168.1.2
    unsigned char bytes[4]; ///< the same 32 bits in the host's memory order
};

/// The C library's bounded formatter (buffer, size, format, ...), set at library load.
ORLIX_API extern int (*snprintf)(char* buffer, std::size_t size, const char* format, ...);

/// Case-insensitive comparison of two zero-terminated strings (ASCII letters fold), set at
/// library load. Returns below, equal to or above 0 like strcmp.
ORLIX_API extern int (*stricmp)(const char* a, const char* b);

/// Copies at most min(dstSize - 1, n) characters of src to dst, stopping at the end of src,
/// and terminates dst right after them. Returns the length of the resulting string. A dstSize
/// of 0 writes nothing and returns 0. A null src is copied as the empty string, with EINVAL in
/// the last error (infra/error.h).
ORLIX_API unsigned int strncpy(char* dst, unsigned int dstSize, const char* src, unsigned int n);

/// Appends at most m = min(dstSize - strlen(dst) - 1, n) characters of src to the string in
/// dst, terminates it, and also writes a zero into dst[dstSize - 1]. Returns m: the bound, not
/// the number of characters actually appended. m is 0 when dst already fills the buffer (its
/// length is looked for within the dstSize bytes only); a dstSize of 0 writes nothing. A null
/// src is appended as the empty string, with EINVAL in the last error.
ORLIX_API unsigned int strncat(char* dst, unsigned int dstSize, const char* src, unsigned int n);

/// Formats into str like snprintf and makes sure the result is terminated: when the text was
/// cut (or the formatter failed), str[size - 1] is set to zero. Returns the length of the
/// string now in str. A size of 0 or below writes nothing and returns 0; a null format makes
/// str empty and returns 0, with EINVAL in the last error.
ORLIX_API int snprintf_x(char* str, int size, const char* format, ...) ORLIX_UTILS_PRINTF(3, 4);

/// Writes ip as "a.b.c.d" into buf (cut to fit size, as snprintf_x does) and returns buf.
ORLIX_API char* ipToString(IpAddress ip, char* buf, unsigned int size);

/// Parses "a.b.c.d" (each number as the C library's "%d" reads it, keeping its low 8 bits).
/// Octets missing from the text are 0, so "10.1" is 10.1.0.0; a null str gives 0.
ORLIX_API IpAddress stringToIp(const char* str);

} // namespace Utils
} // namespace Orlix

#endif // ORLIX_INFRA_STRUTIL_H
