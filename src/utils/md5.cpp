// MD5 (RFC 1321).
#include "infra/md5.h"

#include "infra/error.h"
#include "utils/digest_blocks.h"
#include "utils/wipe.h"

#include <cstring>

namespace Orlix {
namespace Utils {

namespace Detail {

namespace {

inline std::uint32_t md5F(std::uint32_t x, std::uint32_t y, std::uint32_t z)
{
    return z ^ (x & (y ^ z));
}
inline std::uint32_t md5H(std::uint32_t x, std::uint32_t y, std::uint32_t z)
{
    return x ^ y ^ z;
}
inline std::uint32_t md5I(std::uint32_t x, std::uint32_t y, std::uint32_t z)
{
    return y ^ (x | ~z);
}

} // namespace

// One step: a = b + ((a + f(b, c, d) + x + t) <<< s). The 64 steps are written out because
// their constants and rotations differ; a loop over tables is markedly slower.
#define ORLIX_MD5_STEP(f, a, b, c, d, x, t, s)                                                     \
    a += md5##f(b, c, d) + (x) + std::uint32_t(t);                                                 \
    a = rotl32(a, s) + b
// Round 2's function (b & d) | (c & ~d) is the sum of two disjoint terms; adding the term
// without b first leaves only an AND and an add between the newest word and the rotation.
#define ORLIX_MD5_STEP_G(a, b, c, d, x, t, s)                                                      \
    a += (c & ~d) + (x) + std::uint32_t(t);                                                        \
    a += b & d;                                                                                    \
    a = rotl32(a, s) + b

void md5Blocks(std::uint32_t state[4], const unsigned char* data, std::size_t blocks)
{
    std::uint32_t x[16];
    for (; blocks != 0; --blocks, data += 64) {
        for (int i = 0; i < 16; ++i)
            x[i] = loadLe32(data + 4 * i);
        std::uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
        // Round 1.
        ORLIX_MD5_STEP(F, a, b, c, d, x[0], 0xd76aa478, 7);
        ORLIX_MD5_STEP(F, d, a, b, c, x[1], 0xe8c7b756, 12);
        ORLIX_MD5_STEP(F, c, d, a, b, x[2], 0x242070db, 17);
        ORLIX_MD5_STEP(F, b, c, d, a, x[3], 0xc1bdceee, 22);
        ORLIX_MD5_STEP(F, a, b, c, d, x[4], 0xf57c0faf, 7);
        ORLIX_MD5_STEP(F, d, a, b, c, x[5], 0x4787c62a, 12);
        ORLIX_MD5_STEP(F, c, d, a, b, x[6], 0xa8304613, 17);
        ORLIX_MD5_STEP(F, b, c, d, a, x[7], 0xfd469501, 22);
        ORLIX_MD5_STEP(F, a, b, c, d, x[8], 0x698098d8, 7);
        ORLIX_MD5_STEP(F, d, a, b, c, x[9], 0x8b44f7af, 12);
        ORLIX_MD5_STEP(F, c, d, a, b, x[10], 0xffff5bb1, 17);
        ORLIX_MD5_STEP(F, b, c, d, a, x[11], 0x895cd7be, 22);
        ORLIX_MD5_STEP(F, a, b, c, d, x[12], 0x6b901122, 7);
        ORLIX_MD5_STEP(F, d, a, b, c, x[13], 0xfd987193, 12);
        ORLIX_MD5_STEP(F, c, d, a, b, x[14], 0xa679438e, 17);
        ORLIX_MD5_STEP(F, b, c, d, a, x[15], 0x49b40821, 22);
        // Round 2.
        ORLIX_MD5_STEP_G(a, b, c, d, x[1], 0xf61e2562, 5);
        ORLIX_MD5_STEP_G(d, a, b, c, x[6], 0xc040b340, 9);
        ORLIX_MD5_STEP_G(c, d, a, b, x[11], 0x265e5a51, 14);
        ORLIX_MD5_STEP_G(b, c, d, a, x[0], 0xe9b6c7aa, 20);
        ORLIX_MD5_STEP_G(a, b, c, d, x[5], 0xd62f105d, 5);
        ORLIX_MD5_STEP_G(d, a, b, c, x[10], 0x02441453, 9);
        ORLIX_MD5_STEP_G(c, d, a, b, x[15], 0xd8a1e681, 14);
        ORLIX_MD5_STEP_G(b, c, d, a, x[4], 0xe7d3fbc8, 20);
        ORLIX_MD5_STEP_G(a, b, c, d, x[9], 0x21e1cde6, 5);
        ORLIX_MD5_STEP_G(d, a, b, c, x[14], 0xc33707d6, 9);
        ORLIX_MD5_STEP_G(c, d, a, b, x[3], 0xf4d50d87, 14);
        ORLIX_MD5_STEP_G(b, c, d, a, x[8], 0x455a14ed, 20);
        ORLIX_MD5_STEP_G(a, b, c, d, x[13], 0xa9e3e905, 5);
        ORLIX_MD5_STEP_G(d, a, b, c, x[2], 0xfcefa3f8, 9);
        ORLIX_MD5_STEP_G(c, d, a, b, x[7], 0x676f02d9, 14);
        ORLIX_MD5_STEP_G(b, c, d, a, x[12], 0x8d2a4c8a, 20);
        // Round 3.
        ORLIX_MD5_STEP(H, a, b, c, d, x[5], 0xfffa3942, 4);
        ORLIX_MD5_STEP(H, d, a, b, c, x[8], 0x8771f681, 11);
        ORLIX_MD5_STEP(H, c, d, a, b, x[11], 0x6d9d6122, 16);
        ORLIX_MD5_STEP(H, b, c, d, a, x[14], 0xfde5380c, 23);
        ORLIX_MD5_STEP(H, a, b, c, d, x[1], 0xa4beea44, 4);
        ORLIX_MD5_STEP(H, d, a, b, c, x[4], 0x4bdecfa9, 11);
        ORLIX_MD5_STEP(H, c, d, a, b, x[7], 0xf6bb4b60, 16);
        ORLIX_MD5_STEP(H, b, c, d, a, x[10], 0xbebfbc70, 23);
        ORLIX_MD5_STEP(H, a, b, c, d, x[13], 0x289b7ec6, 4);
        ORLIX_MD5_STEP(H, d, a, b, c, x[0], 0xeaa127fa, 11);
        ORLIX_MD5_STEP(H, c, d, a, b, x[3], 0xd4ef3085, 16);
        ORLIX_MD5_STEP(H, b, c, d, a, x[6], 0x04881d05, 23);
        ORLIX_MD5_STEP(H, a, b, c, d, x[9], 0xd9d4d039, 4);
        ORLIX_MD5_STEP(H, d, a, b, c, x[12], 0xe6db99e5, 11);
        ORLIX_MD5_STEP(H, c, d, a, b, x[15], 0x1fa27cf8, 16);
        ORLIX_MD5_STEP(H, b, c, d, a, x[2], 0xc4ac5665, 23);
        // Round 4.
        ORLIX_MD5_STEP(I, a, b, c, d, x[0], 0xf4292244, 6);
        ORLIX_MD5_STEP(I, d, a, b, c, x[7], 0x432aff97, 10);
        ORLIX_MD5_STEP(I, c, d, a, b, x[14], 0xab9423a7, 15);
        ORLIX_MD5_STEP(I, b, c, d, a, x[5], 0xfc93a039, 21);
        ORLIX_MD5_STEP(I, a, b, c, d, x[12], 0x655b59c3, 6);
        ORLIX_MD5_STEP(I, d, a, b, c, x[3], 0x8f0ccc92, 10);
        ORLIX_MD5_STEP(I, c, d, a, b, x[10], 0xffeff47d, 15);
        ORLIX_MD5_STEP(I, b, c, d, a, x[1], 0x85845dd1, 21);
        ORLIX_MD5_STEP(I, a, b, c, d, x[8], 0x6fa87e4f, 6);
        ORLIX_MD5_STEP(I, d, a, b, c, x[15], 0xfe2ce6e0, 10);
        ORLIX_MD5_STEP(I, c, d, a, b, x[6], 0xa3014314, 15);
        ORLIX_MD5_STEP(I, b, c, d, a, x[13], 0x4e0811a1, 21);
        ORLIX_MD5_STEP(I, a, b, c, d, x[4], 0xf7537e82, 6);
        ORLIX_MD5_STEP(I, d, a, b, c, x[11], 0xbd3af235, 10);
        ORLIX_MD5_STEP(I, c, d, a, b, x[2], 0x2ad7d2bb, 15);
        ORLIX_MD5_STEP(I, b, c, d, a, x[9], 0xeb86d391, 21);
        state[0] += a;
        state[1] += b;
        state[2] += c;
        state[3] += d;
    }
    secureZero(x, sizeof(x));
}

#undef ORLIX_MD5_STEP_G
#undef ORLIX_MD5_STEP

} // namespace Detail

struct CMd5::Md5Internal
{
    std::uint32_t state[4];
    std::uint32_t count[2]; // message length in bits, low word first
    unsigned char buffer[64];
    unsigned char digest[16];
    bool finalized;
};

namespace {

void md5Reset(std::uint32_t state[4], std::uint32_t count[2])
{
    state[0] = 0x67452301;
    state[1] = 0xefcdab89;
    state[2] = 0x98badcfe;
    state[3] = 0x10325476;
    count[0] = count[1] = 0;
}

} // namespace

CMd5::CMd5() : m_internal(new Md5Internal())
{
    md5Reset(m_internal->state, m_internal->count);
}

CMd5::~CMd5()
{
    Detail::secureZero(m_internal, sizeof(*m_internal));
    delete m_internal;
}

void CMd5::init()
{
    // The pending buffer is left alone: it is overwritten as input arrives.
    m_internal->finalized = false;
    md5Reset(m_internal->state, m_internal->count);
    std::memset(m_internal->digest, 0, sizeof(m_internal->digest));
}

void CMd5::update(const unsigned char* data, unsigned int len)
{
    if (data == nullptr || len == 0)
        return;
    Md5Internal& m = *m_internal;
    if (m.finalized)
        init();

    unsigned int pending = (m.count[0] >> 3) & 0x3F;
    const std::uint32_t bits = len << 3;
    m.count[0] += bits;
    if (m.count[0] < bits)
        ++m.count[1];
    m.count[1] += len >> 29;

    if (pending != 0) {
        const unsigned int room = 64 - pending;
        if (len < room) {
            std::memcpy(m.buffer + pending, data, len);
            return;
        }
        std::memcpy(m.buffer + pending, data, room);
        Detail::md5Blocks(m.state, m.buffer, 1);
        data += room;
        len -= room;
    }
    if (len >= 64) {
        Detail::md5Blocks(m.state, data, len / 64);
        data += len & ~63u;
        len &= 63;
    }
    if (len != 0)
        std::memcpy(m.buffer, data, len);
}

void CMd5::final(unsigned char* digest)
{
    ORLIX_ASSERT_TEXT(digest != nullptr, "digest != NULL");
    Md5Internal& m = *m_internal;
    if (!m.finalized) {
        unsigned char length[8];
        Detail::storeLe32(length, m.count[0]);
        Detail::storeLe32(length + 4, m.count[1]);
        // Pad with 0x80 and zeros to 56 mod 64, then append the bit count.
        static const unsigned char padding[64] = {0x80};
        const unsigned int pending = (m.count[0] >> 3) & 0x3F;
        const unsigned int padLen = pending < 56 ? 56 - pending : 120 - pending;
        update(padding, padLen);
        update(length, 8);
        for (int i = 0; i < 4; ++i)
            Detail::storeLe32(m.digest + 4 * i, m.state[i]);
        Detail::secureZero(m.state, sizeof(m.state));
        Detail::secureZero(m.count, sizeof(m.count));
        Detail::secureZero(m.buffer, sizeof(m.buffer));
        m.finalized = true;
    }
    std::memcpy(digest, m.digest, sizeof(m.digest));
}

void CMd5::hex(char* hash)
{
    ORLIX_ASSERT_TEXT(hash != nullptr, "hash != NULL");
    unsigned char digest[16];
    final(digest);
    Detail::toHex(hash, digest, sizeof(digest));
}

} // namespace Utils
} // namespace Orlix
