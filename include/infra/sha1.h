/// @file
/// SHA-1 message digest.
///
/// CSha1 computes the 20-byte SHA-1 digest (FIPS 180-1) of a message fed in pieces:
///
///     Orlix::Utils::CSha1 sha;
///     sha.update(data, size);                    // as often as needed
///     char hex[Orlix::Utils::Sha1HexLength + 1];
///     sha.hex(hex, sizeof(hex));                 // 40 characters and a terminator
///
/// A result, once taken with final() or hex(), stays available: asking again returns the same
/// bytes. The next update() with data starts a new message. After every update() that
/// compressed at least one block, the stack area the compression used is overwritten with
/// zeros, so no message schedule words are left behind on the stack.
///
/// SHA-1 is no longer collision resistant; use it for integrity checks and legacy protocols.
///
/// Speed: blocks are compressed with the fastest implementation the processor allows (the x86
/// SHA extensions where present, portable code otherwise), chosen at the first use and capped
/// by the environment variable ORLIX_CPU (see docs/utils.md). All give the same digests.
///
/// Thread-safety: an object is used by one thread at a time; different objects are independent.
///
/// Failure: a null or too small output buffer ends the process through the library's assertion.
#ifndef ORLIX_INFRA_SHA1_H
#define ORLIX_INFRA_SHA1_H

#include "infra/defs.h"

namespace Orlix {
namespace Utils {

/// Bytes of a SHA-1 digest.
constexpr unsigned int Sha1HashSize = 20;
/// Hexadecimal characters of a SHA-1 digest, without terminator.
constexpr unsigned int Sha1HexLength = 40;

/// A SHA-1 digest computed over a message fed in pieces.
class ORLIX_API CSha1
{
public:
    /// Starts an empty message.
    CSha1();
    /// Overwrites the state with zeros and frees it.
    ~CSha1();
    CSha1(const CSha1&) = delete;
    CSha1& operator=(const CSha1&) = delete;

    /// Adds len bytes of data to the message. A null data or len 0 changes nothing. After a
    /// result was taken, the call first starts a new message.
    void update(const unsigned char* data, unsigned int len);

    /// Completes the message if that was not done yet and copies the 20 digest bytes to hash.
    /// Calling it again yields the same bytes. Asserts that hash is not null and len is at
    /// least Sha1HashSize.
    void final(unsigned char* hash, unsigned int len);

    /// Completes the message like final() and writes the digest as 40 lower-case hexadecimal
    /// characters to str, followed by a terminator only when len is above 40. Asserts that str
    /// is not null and len is at least Sha1HexLength.
    void hex(char* str, unsigned int len);

private:
    struct Sha1Internal;
    Sha1Internal* m_internal;
};

} // namespace Utils
} // namespace Orlix

#endif // ORLIX_INFRA_SHA1_H
