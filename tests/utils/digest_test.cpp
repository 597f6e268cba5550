// MD5 and SHA-1: the published test suites, the result and reset rules, agreement with
// OpenSSL on random messages fed in random pieces, and every SHA-1 block function this CPU
// can run against the portable one.
#include "infra/md5.h"
#include "infra/sha1.h"
#include "utils/digest_blocks.h"
#include "utils_testing.h"

#include <gtest/gtest.h>
#if ORLIX_TEST_HAVE_OPENSSL
#include <openssl/evp.h>
#endif

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <type_traits>
#include <vector>

namespace {

using namespace UtilsTesting;
using Orlix::Utils::CMd5;
using Orlix::Utils::CSha1;
using Orlix::Utils::Sha1HashSize;
using Orlix::Utils::Sha1HexLength;

template <class Digest>
std::string hexOf(Digest& d)
{
    char hex[48] = {};
    if constexpr (std::is_same<Digest, CMd5>::value)
        d.hex(hex); // 32 characters, no terminator
    else
        d.hex(hex, sizeof(hex));
    return hex;
}

template <class Digest>
std::string hexOf(const std::string& message)
{
    Digest d;
    d.update(bytes(message), static_cast<unsigned int>(message.size()));
    return hexOf(d);
}

TEST(Digests, PublishedTestSuites)
{
    // The empty message's digests are checked with the terminator rules below.
    const char* md5[][2] = {
        {"a", "0cc175b9c0f1b6a831c399e269772661"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
         "d174ab98d277d9f5a5611c2c9f419d9f"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         "57edf4a22be3c955ac49da2e2107b67a"}};
    for (const auto& v : md5)
        EXPECT_EQ(v[1], hexOf<CMd5>(v[0])) << v[0];
    EXPECT_EQ("7707d6ae4e027c70eea2a935c2296f21", hexOf<CMd5>(std::string(1000000, 'a')));

    EXPECT_EQ("a9993e364706816aba3e25717850c26c9cd0d89d", hexOf<CSha1>("abc"));
    EXPECT_EQ("84983e441c3bd26ebaae4aa1f95129e5e54670f1",
              hexOf<CSha1>("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"));
    // The million 'a' message, fed in pieces that straddle the block boundaries.
    CSha1 sha;
    const std::string piece(1000, 'a');
    for (int i = 0; i < 1000; ++i)
        sha.update(bytes(piece), 1000);
    EXPECT_EQ("34aa973cd4c4daa4f61eeb2bdbad27316534016f", hexOf(sha));
}

TEST(Digests, HexTerminatorRules)
{
    char hex[48];
    std::memset(hex, 'X', sizeof(hex));
    CMd5().hex(hex); // nothing fed: the digest of the empty message
    EXPECT_EQ("d41d8cd98f00b204e9800998ecf8427eX", std::string(hex, 33)) << "no terminator";

    std::memset(hex, 'X', sizeof(hex));
    CSha1().hex(hex, Sha1HexLength); // no room for a terminator
    EXPECT_EQ("da39a3ee5e6b4b0d3255bfef95601890afd80709X", std::string(hex, 41));
    CSha1().hex(hex, Sha1HexLength + 1);
    EXPECT_EQ(std::string("\0X", 2), std::string(hex + 40, 2));
}

TEST(Digests, ResultIsStableAndTheNextUpdateOrInitStartsANewMessage)
{
    CMd5 md5;
    CSha1 sha;
    auto feed = [&](const unsigned char* data, unsigned int size) {
        md5.update(data, size);
        sha.update(data, size);
    };
    const std::string first = "first message", second = "second";
    feed(bytes(first), static_cast<unsigned int>(first.size()));
    const std::string m1 = hexOf(md5), s1 = hexOf(sha);
    // Asking again, also after null data or zero length, gives the same result.
    feed(nullptr, 5);
    feed(bytes(second), 0);
    EXPECT_EQ(m1, hexOf(md5));
    EXPECT_EQ(s1, hexOf(sha));
    // Data after a result covers only what comes since.
    feed(bytes(second), static_cast<unsigned int>(second.size()));
    EXPECT_EQ(hexOf<CMd5>(second), hexOf(md5));
    EXPECT_EQ(hexOf<CSha1>(second), hexOf(sha));
    // init() drops pending input too (100 bytes: one block compressed, 36 pending).
    md5.update(bytes(std::string(100, 'j')), 100);
    md5.init();
    md5.update(bytes(first), static_cast<unsigned int>(first.size()));
    EXPECT_EQ(m1, hexOf(md5));
}

#if ORLIX_TEST_HAVE_OPENSSL
Bytes reference(const EVP_MD* md, const Bytes& data)
{
    Bytes out(EVP_MAX_MD_SIZE);
    unsigned int n = 0;
    EXPECT_EQ(1, EVP_Digest(data.data(), data.size(), out.data(), &n, md, nullptr));
    out.resize(n);
    return out;
}

TEST(Digests, AgreeWithOpenSslOnRandomMessagesInRandomPieces)
{
    std::mt19937 rng(20240601);
    const Bytes pool = randomBytes(rng, 64 + 70000);
    for (int round = 0; round < 620; ++round) {
        // Every length up to 600 (each padding case, one or two final blocks, several
        // times over), then a few large ones; the message starts at every offset of a cache
        // line in turn.
        const std::size_t length = round <= 600 ? static_cast<std::size_t>(round)
                                                : std::uniform_int_distribution<>(601, 70000)(rng);
        const Bytes data(pool.begin() + round % 64, pool.begin() + round % 64 + length);
        CMd5 md5;
        CSha1 sha;
        const std::size_t maxPiece = round % 3 == 0 ? 7 : round % 3 == 1 ? 131 : 5000;
        for (std::size_t pos = 0, piece; pos < length; pos += piece) {
            piece = std::min<std::size_t>(length - pos, rng() % maxPiece);
            md5.update(data.data() + pos, static_cast<unsigned int>(piece));
            sha.update(data.data() + pos, static_cast<unsigned int>(piece));
        }
        Bytes m(16), s(20);
        md5.final(m.data());
        sha.final(s.data(), 20);
        ASSERT_EQ(reference(EVP_md5(), data), m) << "length " << length;
        ASSERT_EQ(reference(EVP_sha1(), data), s) << "length " << length;
    }
}
#endif

TEST(Digests, EverySha1BlockFunctionAgreesWithThePortableOne)
{
    using namespace Orlix::Utils::Detail;
    const std::vector<Sha1Path> paths = sha1Paths();
    ASSERT_STREQ("portable", paths.front().name);
    std::mt19937 rng(99);
    const Bytes data = randomBytes(rng, 64 + 64 * 9);
    for (const Sha1Path& path : paths) {
        if (!path.usable)
            continue;
        for (unsigned int offset = 0; offset < 64; ++offset) {
            // A random chaining state, so every word of it matters, and 1 to 9 blocks.
            std::uint32_t expected[5], state[5];
            for (std::uint32_t& w : expected)
                w = static_cast<std::uint32_t>(rng());
            std::memcpy(state, expected, sizeof(state));
            const std::size_t blocks = 1 + offset % 9;
            paths.front().fn(expected, data.data() + offset, blocks);
            path.fn(state, data.data() + offset, blocks);
            ASSERT_EQ(0, std::memcmp(expected, state, sizeof(state)))
                << path.name << " offset " << offset;
        }
    }
}

TEST(DigestsDeathTest, NullOrShortOutputBuffersAreAssertions)
{
    EXPECT_DEATH(CMd5().final(nullptr), "assertion \\(digest != NULL\\) failed");
    EXPECT_DEATH(CMd5().hex(nullptr), "assertion \\(hash != NULL\\) failed");
    unsigned char out[20];
    char text[40];
    EXPECT_DEATH(CSha1().final(out, Sha1HashSize - 1),
                 "assertion \\(hash != NULL && len >= Sha1HashSize\\) failed");
    const char* hexAssertion = "assertion \\(str != NULL && len >= Sha1HexLength\\) failed";
    EXPECT_DEATH(CSha1().hex(text, Sha1HexLength - 1), hexAssertion);
    EXPECT_DEATH(CSha1().hex(nullptr, 41), hexAssertion);
}

} // namespace
