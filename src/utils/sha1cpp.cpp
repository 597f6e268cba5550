// SHA-1 (FIPS 180-1).
#include "infra/sha1.h"

#include "cpu/cpu.h"
#include "infra/error.h"
#include "utils/digest_blocks.h"
#include "utils/wipe.h"

#include <cstring>

namespace Orlix {
namespace Utils {

namespace Detail {

namespace {

inline std::uint32_t sha1Ch(std::uint32_t x, std::uint32_t y, std::uint32_t z)
{
    return z ^ (x & (y ^ z));
}
inline std::uint32_t sha1Parity(std::uint32_t x, std::uint32_t y, std::uint32_t z)
{
    return x ^ y ^ z;
}
inline std::uint32_t sha1Maj(std::uint32_t x, std::uint32_t y, std::uint32_t z)
{
    return (x & y) | (z & (x | y));
}

// Word i of the message schedule, kept in a ring of 16 words: with the rounds written out,
// every index is a constant and the ring lives in registers and a few stack slots.
inline std::uint32_t schedule(std::uint32_t w[16], int i)
{
    if (i < 16)
        return w[i];
    const std::uint32_t v =
        rotl32(w[(i - 3) & 15] ^ w[(i - 8) & 15] ^ w[(i - 14) & 15] ^ w[i & 15], 1);
    w[i & 15] = v;
    return v;
}

} // namespace

// Rounds in groups of five: the roles of the five working words rotate instead of the values
// moving, so each group ends with the words back in their original roles.
#define ORLIX_SHA1_ROUND(f, k, a, b, c, d, e, i)                                                   \
    e += rotl32(a, 5) + (f) + std::uint32_t(k) + schedule(w, i);                                   \
    b = rotl32(b, 30)
#define ORLIX_SHA1_FIVE(fn, k, i)                                                                  \
    ORLIX_SHA1_ROUND(fn(b, c, d), k, a, b, c, d, e, i);                                            \
    ORLIX_SHA1_ROUND(fn(a, b, c), k, e, a, b, c, d, i + 1);                                        \
    ORLIX_SHA1_ROUND(fn(e, a, b), k, d, e, a, b, c, i + 2);                                        \
    ORLIX_SHA1_ROUND(fn(d, e, a), k, c, d, e, a, b, i + 3);                                        \
    ORLIX_SHA1_ROUND(fn(c, d, e), k, b, c, d, e, a, i + 4)

namespace {

void sha1BlocksPortable(std::uint32_t state[5], const unsigned char* data, std::size_t blocks)
{
    // The message schedule stays on this frame; CSha1::update() wipes the stack area after
    // the call.
    std::uint32_t w[16];
    for (; blocks != 0; --blocks, data += 64) {
        for (int i = 0; i < 16; ++i)
            w[i] = loadBe32(data + 4 * i);
        std::uint32_t a = state[0], b = state[1], c = state[2], d = state[3], e = state[4];
        ORLIX_SHA1_FIVE(sha1Ch, 0x5A827999, 0);
        ORLIX_SHA1_FIVE(sha1Ch, 0x5A827999, 5);
        ORLIX_SHA1_FIVE(sha1Ch, 0x5A827999, 10);
        ORLIX_SHA1_FIVE(sha1Ch, 0x5A827999, 15);
        ORLIX_SHA1_FIVE(sha1Parity, 0x6ED9EBA1, 20);
        ORLIX_SHA1_FIVE(sha1Parity, 0x6ED9EBA1, 25);
        ORLIX_SHA1_FIVE(sha1Parity, 0x6ED9EBA1, 30);
        ORLIX_SHA1_FIVE(sha1Parity, 0x6ED9EBA1, 35);
        ORLIX_SHA1_FIVE(sha1Maj, 0x8F1BBCDC, 40);
        ORLIX_SHA1_FIVE(sha1Maj, 0x8F1BBCDC, 45);
        ORLIX_SHA1_FIVE(sha1Maj, 0x8F1BBCDC, 50);
        ORLIX_SHA1_FIVE(sha1Maj, 0x8F1BBCDC, 55);
        ORLIX_SHA1_FIVE(sha1Parity, 0xCA62C1D6, 60);
        ORLIX_SHA1_FIVE(sha1Parity, 0xCA62C1D6, 65);
        ORLIX_SHA1_FIVE(sha1Parity, 0xCA62C1D6, 70);
        ORLIX_SHA1_FIVE(sha1Parity, 0xCA62C1D6, 75);
        state[0] += a;
        state[1] += b;
        state[2] += c;
        state[3] += d;
        state[4] += e;
    }
}

#undef ORLIX_SHA1_FIVE
#undef ORLIX_SHA1_ROUND

} // namespace

std::vector<Sha1Path> sha1Paths()
{
    std::vector<Sha1Path> paths{{"portable", sha1BlocksPortable, true}};
#if defined(__x86_64__)
    paths.push_back({"sha-ni", sha1BlocksShaNi, Cpu::has(Cpu::kShaNi | Cpu::kSse42)});
#endif
#if ORLIX_UTILS_ARM_KERNELS
    paths.push_back({"arm-sha1", sha1BlocksArm, Cpu::has(Cpu::kArmSha1)});
#endif
    return paths;
}

void sha1Blocks(std::uint32_t state[5], const unsigned char* data, std::size_t blocks)
{
    static const Sha1BlockFunction chosen =
        Cpu::lastAllowed(sha1Paths(), [](const Sha1Path& path) { return path.usable; }).fn;
    chosen(state, data, blocks);
}

} // namespace Detail

struct CSha1::Sha1Internal
{
    std::uint64_t lengthBits;
    std::uint32_t state[5];
    std::uint32_t pending; // bytes waiting in buffer
    unsigned char buffer[64];
    unsigned char digest[Sha1HashSize];
    bool finalized;
};

namespace {

// What one update() leaves on the stack below its frame: the block function's schedule
// (320 bytes) and its saved registers and locals.
constexpr int kScratchStackBytes = 368;

void sha1Reset(std::uint32_t state[5])
{
    state[0] = 0x67452301;
    state[1] = 0xEFCDAB89;
    state[2] = 0x98BADCFE;
    state[3] = 0x10325476;
    state[4] = 0xC3D2E1F0;
}

} // namespace

CSha1::CSha1() : m_internal(new Sha1Internal())
{
    sha1Reset(m_internal->state);
}

CSha1::~CSha1()
{
    Detail::secureZero(m_internal, sizeof(*m_internal));
    delete m_internal;
}

void CSha1::update(const unsigned char* data, unsigned int len)
{
    if (data == nullptr || len == 0)
        return;
    Sha1Internal& m = *m_internal;
    if (m.finalized) {
        std::memset(&m, 0, sizeof(m));
        sha1Reset(m.state);
    }
    m.lengthBits += std::uint64_t(len) * 8;

    bool compressed = false;
    if (m.pending != 0) {
        const unsigned int take = len < 64 - m.pending ? len : 64 - m.pending;
        std::memcpy(m.buffer + m.pending, data, take);
        m.pending += take;
        data += take;
        len -= take;
        if (m.pending < 64)
            return;
        Detail::sha1Blocks(m.state, m.buffer, 1);
        m.pending = 0;
        compressed = true;
    }
    // Whole blocks are compressed straight from the caller's data.
    if (len >= 64) {
        Detail::sha1Blocks(m.state, data, len / 64);
        data += len & ~63u;
        len &= 63;
        compressed = true;
    }
    if (len != 0) {
        std::memcpy(m.buffer, data, len);
        m.pending = len;
    }
    if (compressed)
        Detail::burnStack(kScratchStackBytes);
}

void CSha1::final(unsigned char* hash, unsigned int len)
{
    ORLIX_ASSERT_TEXT(hash != nullptr && len >= Sha1HashSize,
                      "hash != NULL && len >= Sha1HashSize");
    Sha1Internal& m = *m_internal;
    if (!m.finalized) {
        // The padding is built in the pending buffer: 0x80, zeros up to 56 modulo 64, the
        // bit length big-endian; one block, or two when fewer than 9 bytes were free.
        m.buffer[m.pending] = 0x80;
        if (m.pending >= 56) {
            std::memset(m.buffer + m.pending + 1, 0, 63 - m.pending);
            Detail::sha1Blocks(m.state, m.buffer, 1);
            std::memset(m.buffer, 0, 56);
        } else {
            std::memset(m.buffer + m.pending + 1, 0, 55 - m.pending);
        }
        Detail::storeBe32(m.buffer + 56, static_cast<std::uint32_t>(m.lengthBits >> 32));
        Detail::storeBe32(m.buffer + 60, static_cast<std::uint32_t>(m.lengthBits));
        Detail::sha1Blocks(m.state, m.buffer, 1);
        m.pending = 0;
        for (int i = 0; i < 5; ++i)
            Detail::storeBe32(m.digest + 4 * i, m.state[i]);
        // Nothing but the digest is needed from here on; do not keep message material.
        Detail::secureZero(m.state, sizeof(m.state));
        Detail::secureZero(m.buffer, sizeof(m.buffer));
        m.finalized = true;
        Detail::burnStack(kScratchStackBytes);
    }
    std::memcpy(hash, m.digest, Sha1HashSize);
}

void CSha1::hex(char* str, unsigned int len)
{
    ORLIX_ASSERT_TEXT(str != nullptr && len >= Sha1HexLength,
                      "str != NULL && len >= Sha1HexLength");
    unsigned char digest[Sha1HashSize];
    final(digest, sizeof(digest));
    Detail::toHex(str, digest, sizeof(digest));
    if (len > Sha1HexLength)
        str[Sha1HexLength] = '\0';
}

} // namespace Utils
} // namespace Orlix
