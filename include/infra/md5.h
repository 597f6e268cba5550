/// @file
/// MD5 message digest.
///
/// CMd5 computes the 16-byte MD5 digest (RFC 1321) of a message fed in pieces:
///
///     Orlix::Utils::CMd5 md5;
///     md5.update(data, size);            // as often as needed
///     char hex[33];
///     md5.hex(hex);                      // 32 characters, no terminator
///     hex[32] = '\0';
///
/// A result, once taken with final() or hex(), stays available: asking again returns the same
/// bytes. The next update() with data starts a new message, as does init(). When the digest is
/// computed the chaining state and the pending input are wiped, so the object does not keep
/// fragments of the message.
///
/// MD5 is broken as a cryptographic hash (collisions are cheap to make); use it for checksums
/// and legacy protocols only.
///
/// Speed: unlike CRC-32 and SHA-1, which choose the fastest path for the processor at first
/// use, MD5 has one portable implementation (its rounds form a single dependency chain that
/// vector instructions cannot shorten), the same on every processor.
///
/// Thread-safety: an object is used by one thread at a time; different objects are independent.
///
/// Failure: a null output buffer ends the process through the library's assertion.
#ifndef ORLIX_INFRA_MD5_H
#define ORLIX_INFRA_MD5_H

#include "infra/defs.h"

namespace Orlix {
namespace Utils {

/// An MD5 digest computed over a message fed in pieces.
class ORLIX_API CMd5
{
public:
    /// Bytes of an MD5 digest.
    static constexpr unsigned int digestSize = 16;
    /// Hexadecimal characters of an MD5 digest's text form, without terminator.
    static constexpr unsigned int hexLength = 32;

    /// Starts an empty message.
    CMd5();
    /// Overwrites the state with zeros and frees it.
    ~CMd5();
    CMd5(const CMd5&) = delete;
    CMd5& operator=(const CMd5&) = delete;

    /// Starts a new message, forgetting any result taken before.
    void init();

    /// Adds len bytes of data to the message. A null data or len 0 changes nothing. After a
    /// result was taken, the call first starts a new message (as init() does).
    void update(const unsigned char* data, unsigned int len);

    /// Completes the message if that was not done yet and copies the 16 digest bytes to
    /// digest. Calling it again yields the same bytes. Asserts that digest is not null.
    void final(unsigned char* digest);

    /// Completes the message like final() and writes the digest as exactly 32 lower-case
    /// hexadecimal characters to hash. No terminator is written: supply 33 bytes and set
    /// hash[32] when a C string is needed. Asserts that hash is not null.
    void hex(char* hash);

private:
    struct Md5Internal;
    Md5Internal* m_internal;
};

} // namespace Utils
} // namespace Orlix

#endif // ORLIX_INFRA_MD5_H
