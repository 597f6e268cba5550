/// @file
/// DES and triple DES.
///
/// CTripleDes encrypts and decrypts caller buffers with DES (FIPS 46-3) or triple DES (TDEA,
/// encrypt-decrypt-encrypt), chosen by the key length:
///
///     key length 1..8     single DES with the key zero-padded to 8 bytes
///     key length 9..16    two-key triple DES: K1 = key[0..7], K2 = key[8..15], K3 = K1
///     key length 17..24   three-key triple DES: K1, K2, K3 = key[16..23]
///
/// Longer keys are cut to 24 bytes, missing key bytes are zero, and parity bits are ignored.
/// Without an initialisation vector the mode is ECB; with one it is CBC, and every call starts
/// the chain again from that vector (two calls over two halves of a message differ from one
/// call over the whole). Besides the standard 8-byte block, blockType16 selects a 16-byte
/// double-block variant of triple DES, in which the two halves exchange a word between the
/// three stages; it is ignored for single DES keys.
///
///     const unsigned char key[24] = {...}, iv[8] = {...};
///     Orlix::Utils::CTripleDes des(key, sizeof(key), Orlix::Utils::CTripleDes::blockType8, iv);
///     des.encrypt(cipher, plain, 64);         // CBC over 8 blocks
///     des.decrypt(plain, cipher, 64);
///
/// Sizes: only whole blocks are processed. A size that is not a multiple of the block size is
/// logged at error level, the whole blocks are still processed, the bytes after them are not
/// written, and the call returns false.
///
/// Thread-safety: an object is used by one thread at a time; different objects are independent.
///
/// Failure: a key length of 0 or a null buffer ends the process through the library's assertion
/// at the first encrypt() or decrypt().
///
/// DES and two-key triple DES are weak by today's standards; the class exists for protocols and
/// stored data that require them.
#ifndef ORLIX_INFRA_DES_H
#define ORLIX_INFRA_DES_H

#include "infra/defs.h"

namespace Orlix {
namespace Utils {

/// DES or triple DES over caller buffers, in ECB or CBC mode (see des.h).
class ORLIX_API CTripleDes
{
public:
    /// The block size.
    enum BlockType
    {
        blockType8 = 0, ///< the standard 8-byte block
        blockType16 = 1 ///< the 16-byte double block (triple DES keys only)
    };

    /// Keeps the first min(keyLen, 24) bytes of key (a null key counts as length 0) and picks
    /// the block function from the key length and type. With a non-null iv, the first 8 or 16
    /// bytes (the block size) of iv are kept and CBC is used; with a null iv, ECB.
    CTripleDes(const unsigned char* key, unsigned int keyLen, BlockType type = blockType8,
               const unsigned char* iv = nullptr);
    /// Overwrites the keys and the initialisation vector with zeros, then frees them.
    ~CTripleDes();
    CTripleDes(const CTripleDes&) = delete;
    CTripleDes& operator=(const CTripleDes&) = delete;

    /// Encrypts the whole blocks of size bytes of src into dst. Returns true when size is a
    /// multiple of the block size; otherwise logs the sizes, still encrypts the whole blocks,
    /// leaves the rest of dst unwritten and returns false. dst may be src.
    bool encrypt(unsigned char* dst, const unsigned char* src, unsigned int size);

    /// Decrypts like encrypt() encrypts, with the same size rule. dst may be src, in CBC mode
    /// too; buffers that overlap only partly are not supported.
    bool decrypt(unsigned char* dst, const unsigned char* src, unsigned int size);

private:
    struct TripleDesInternal;
    TripleDesInternal* m_internal;
};

} // namespace Utils
} // namespace Orlix

#endif // ORLIX_INFRA_DES_H
