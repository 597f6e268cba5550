// CTripleDes on arbitrary keys, block types, IVs and sizes: output stays within the given
// size (exact heap blocks), only whole blocks are written, the result reports whether the
// size was whole, and decryption gives the input back.
#include "infra/des.h"
#include "infra/print.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using Orlix::Utils::CTripleDes;
    static const bool quiet = (Orlix::Infra::setPrintLogLevel(0), true); // sizes get logged
    (void)quiet;
    if (size < 2 + 30 + 16)
        return 0;
    const unsigned int keyLen = 1 + data[0] % 30;
    const CTripleDes::BlockType type =
        (data[1] & 1) ? CTripleDes::blockType16 : CTripleDes::blockType8;
    const bool cbc = (data[1] & 2) != 0;
    const std::uint8_t* key = data + 2;
    const std::uint8_t* iv = data + 2 + 30;
    const std::uint8_t* payload = data + 2 + 30 + 16;
    const unsigned int len = static_cast<unsigned int>(size - (2 + 30 + 16));
    const unsigned int blockSize = (keyLen > 8 && type == CTripleDes::blockType16) ? 16 : 8;
    const unsigned int whole = len - len % blockSize;

    // The IV is read from an exact 8- or 16-byte copy: the constructor must not read more.
    std::unique_ptr<std::uint8_t[]> ivCopy(new std::uint8_t[blockSize]);
    std::memcpy(ivCopy.get(), iv, blockSize);
    std::unique_ptr<std::uint8_t[]> keyCopy(new std::uint8_t[keyLen]);
    std::memcpy(keyCopy.get(), key, keyLen);
    CTripleDes des(keyCopy.get(), keyLen, type, cbc ? ivCopy.get() : nullptr);

    std::unique_ptr<std::uint8_t[]> src(new std::uint8_t[len]);
    std::memcpy(src.get(), payload, len);
    std::unique_ptr<std::uint8_t[]> cipher(new std::uint8_t[len]);
    std::unique_ptr<std::uint8_t[]> plain(new std::uint8_t[len]);
    std::memset(cipher.get(), 0xA5, len);
    std::memset(plain.get(), 0x5A, len);
    if (des.encrypt(cipher.get(), src.get(), len) != (whole == len))
        std::abort();
    if (des.decrypt(plain.get(), cipher.get(), len) != (whole == len))
        std::abort();
    if (std::memcmp(plain.get(), src.get(), whole) != 0)
        std::abort();
    for (unsigned int i = whole; i < len; ++i) {
        if (cipher[i] != 0xA5 || plain[i] != 0x5A)
            std::abort(); // bytes after the whole blocks are not written
    }
    // In place gives the same as out of place.
    if (des.encrypt(src.get(), src.get(), len) != (whole == len) ||
        std::memcmp(src.get(), cipher.get(), whole) != 0)
        std::abort();
    return 0;
}
