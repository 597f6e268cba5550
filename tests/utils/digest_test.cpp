// MD5 and SHA-1: the published test suites, the result and reset rules, and agreement with
// OpenSSL on random messages fed in random pieces.
#include "infra/md5.h"
#include "infra/sha1.h"
#include "utils_testing.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

using namespace UtilsTesting;
using Orlix::Utils::CMd5;
using Orlix::Utils::CSha1;
using Orlix::Utils::Sha1HashSize;
using Orlix::Utils::Sha1HexLength;

std::string md5Hex(const std::string& message)
{
    CMd5 md5;
    md5.update(bytes(message), static_cast<unsigned int>(message.size()));
    char hex[33];
    md5.hex(hex);
    return std::string(hex, 32);
}

std::string sha1Hex(const std::string& message)
{
    CSha1 sha;
    sha.update(bytes(message), static_cast<unsigned int>(message.size()));
    char hex[41];
    sha.hex(hex, sizeof(hex));
    return hex;
}

std::vector<unsigned char> reference(const EVP_MD* md, const std::vector<unsigned char>& data)
{
    std::vector<unsigned char> out(EVP_MAX_MD_SIZE);
    unsigned int n = 0;
    EXPECT_EQ(1, EVP_Digest(data.data(), data.size(), out.data(), &n, md, nullptr));
    out.resize(n);
    return out;
}

TEST(Md5, Rfc1321TestSuite)
{
    EXPECT_EQ("d41d8cd98f00b204e9800998ecf8427e", md5Hex(""));
    EXPECT_EQ("0cc175b9c0f1b6a831c399e269772661", md5Hex("a"));
    EXPECT_EQ("900150983cd24fb0d6963f7d28e17f72", md5Hex("abc"));
    EXPECT_EQ("f96b697d7cb7938d525a2f31aaf161d0", md5Hex("message digest"));
    EXPECT_EQ("c3fcd3d76192e4007dfb496cca67e13b", md5Hex("abcdefghijklmnopqrstuvwxyz"));
    EXPECT_EQ("d174ab98d277d9f5a5611c2c9f419d9f",
              md5Hex("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789"));
    EXPECT_EQ("57edf4a22be3c955ac49da2e2107b67a",
              md5Hex("1234567890123456789012345678901234567890"
                     "1234567890123456789012345678901234567890"));
    EXPECT_EQ("7707d6ae4e027c70eea2a935c2296f21", md5Hex(std::string(1000000, 'a')));
}

TEST(Sha1, Fips180TestSuite)
{
    EXPECT_EQ("a9993e364706816aba3e25717850c26c9cd0d89d", sha1Hex("abc"));
    EXPECT_EQ("84983e441c3bd26ebaae4aa1f95129e5e54670f1",
              sha1Hex("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"));
    EXPECT_EQ("da39a3ee5e6b4b0d3255bfef95601890afd80709", sha1Hex(""));
    // The million 'a' message, fed in pieces that straddle the block boundaries.
    CSha1 sha;
    const std::string piece(1000, 'a');
    for (int i = 0; i < 1000; ++i)
        sha.update(bytes(piece), 1000);
    char hex[41];
    sha.hex(hex, sizeof(hex));
    EXPECT_STREQ("34aa973cd4c4daa4f61eeb2bdbad27316534016f", hex);
}

TEST(Digests, HexTerminatorRules)
{
    char hex[48];
    std::memset(hex, 'X', sizeof(hex));
    CMd5().hex(hex); // nothing fed: the digest of the empty message
    EXPECT_EQ("d41d8cd98f00b204e9800998ecf8427e", std::string(hex, 32));
    EXPECT_EQ('X', hex[32]) << "MD5 writes no terminator";

    std::memset(hex, 'X', sizeof(hex));
    CSha1().hex(hex, Sha1HexLength);
    EXPECT_EQ("da39a3ee5e6b4b0d3255bfef95601890afd80709", std::string(hex, 40));
    EXPECT_EQ('X', hex[40]) << "no room for a terminator";
    CSha1().hex(hex, Sha1HexLength + 1);
    EXPECT_EQ('\0', hex[40]);
    EXPECT_EQ('X', hex[41]);
}

TEST(Digests, ResultIsStableAndTheNextUpdateOrInitStartsANewMessage)
{
    const std::string first = "first message", second = "second";
    CMd5 md5;
    CSha1 sha;
    md5.update(bytes(first), static_cast<unsigned int>(first.size()));
    sha.update(bytes(first), static_cast<unsigned int>(first.size()));
    unsigned char m1[16], m2[16], s1[20], s2[20];
    md5.final(m1);
    sha.final(s1, sizeof(s1));
    // Asking again, also after null data or zero length, gives the same result.
    md5.update(nullptr, 5);
    md5.update(bytes(second), 0);
    sha.update(nullptr, 5);
    sha.update(bytes(second), 0);
    md5.final(m2);
    sha.final(s2, sizeof(s2));
    EXPECT_EQ(0, std::memcmp(m1, m2, 16));
    EXPECT_EQ(0, std::memcmp(s1, s2, 20));

    // Data after a result covers only what comes since.
    md5.update(bytes(second), static_cast<unsigned int>(second.size()));
    sha.update(bytes(second), static_cast<unsigned int>(second.size()));
    char hex[41];
    md5.hex(hex);
    EXPECT_EQ(md5Hex(second), std::string(hex, 32));
    sha.hex(hex, sizeof(hex));
    EXPECT_EQ(sha1Hex(second), hex);

    // init() drops pending input too (100 bytes: one block compressed, 36 pending).
    md5.update(bytes(std::string(100, 'j')), 100);
    md5.init();
    md5.update(bytes(first), static_cast<unsigned int>(first.size()));
    md5.final(m2);
    EXPECT_EQ(0, std::memcmp(m1, m2, 16));
}

TEST(Digests, AgreeWithOpenSslOnRandomMessagesInRandomPieces)
{
    std::mt19937 rng(20240601);
    for (int round = 0; round < 400; ++round) {
        // Every length up to three blocks, then random lengths up to 4 KiB.
        const std::size_t length = round < 200 ? static_cast<std::size_t>(round)
                                               : std::uniform_int_distribution<>(0, 4096)(rng);
        const Bytes data = randomBytes(rng, length);
        CMd5 md5;
        CSha1 sha;
        std::size_t pos = 0;
        while (pos < length) {
            const std::size_t piece =
                std::min<std::size_t>(length - pos, std::uniform_int_distribution<>(0, 130)(rng));
            md5.update(data.data() + pos, static_cast<unsigned int>(piece));
            sha.update(data.data() + pos, static_cast<unsigned int>(piece));
            pos += piece;
        }
        std::vector<unsigned char> m(16), s(20);
        md5.final(m.data());
        sha.final(s.data(), 20);
        ASSERT_EQ(reference(EVP_md5(), data), m) << "length " << length;
        ASSERT_EQ(reference(EVP_sha1(), data), s) << "length " << length;
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
    EXPECT_DEATH(CSha1().hex(text, Sha1HexLength - 1),
                 "assertion \\(str != NULL && len >= Sha1HexLength\\) failed");
    EXPECT_DEATH(CSha1().hex(nullptr, 41),
                 "assertion \\(str != NULL && len >= Sha1HexLength\\) failed");
}

} // namespace
