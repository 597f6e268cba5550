// CRC-16/ARC and CRC-32: check values, chaining, agreement with zlib. Base64: the RFC 4648
// vectors, the length and terminator rules, where decoding stops, and agreement with
// OpenSSL's encoder on random data.
#include "infra/base64.h"
#include "infra/crc.h"
#include "utils_testing.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <zlib.h>

#include <random>
#include <string>
#include <vector>

namespace {

using namespace UtilsTesting;
using Orlix::Utils::base64Decode;
using Orlix::Utils::base64DecodeLen;
using Orlix::Utils::base64Encode;
using Orlix::Utils::base64EncodeLen;
using Orlix::Utils::crc16;
namespace U = Orlix::Utils; // zlib declares a ::crc32 of its own

TEST(Crc, CheckValuesAndCrc16Chaining)
{
    EXPECT_EQ(0xBB3D, crc16(0, bytes("123456789"), 9));
    EXPECT_EQ(0xCBF43926u, U::crc32(bytes("123456789"), 9));
    EXPECT_EQ(0xCBF43926u, U::crc32(0, bytes("123456789"), 9));
    EXPECT_EQ(0u, U::crc32(bytes(""), 0));
    // No inversion: the register passes from piece to piece (CRC-32 chaining is held to
    // zlib's below).
    std::mt19937 rng(7);
    const std::vector<unsigned char> data = randomBytes(rng, 1000);
    for (unsigned int cut : {0u, 1u, 500u, 1000u})
        EXPECT_EQ(crc16(0x1234, data.data(), 1000),
                  crc16(crc16(0x1234, data.data(), cut), data.data() + cut, 1000 - cut));
}

TEST(Crc, Crc32AgreesWithZlibOnRandomData)
{
    std::mt19937 rng(11);
    for (int round = 0; round < 300; ++round) {
        const std::size_t n = round < 100 ? static_cast<std::size_t>(round)
                                          : std::uniform_int_distribution<>(0, 70000)(rng);
        const std::vector<unsigned char> data = randomBytes(rng, n);
        // Start from an arbitrary offset so the word loop also runs unaligned.
        const std::size_t skip = n > 3 ? rng() % 4 : 0;
        const unsigned int ours = U::crc32(data.data() + skip, static_cast<unsigned int>(n - skip));
        const uLong theirs = ::crc32(0L, data.data() + skip, static_cast<uInt>(n - skip));
        ASSERT_EQ(theirs, ours) << "length " << n - skip;
        if (n == 0)
            continue; // zlib answers 0 for a null buffer, whatever the seed
        const unsigned int seed = static_cast<unsigned int>(rng());
        ASSERT_EQ(::crc32(seed, data.data(), static_cast<uInt>(n)),
                  U::crc32(seed, data.data(), static_cast<unsigned int>(n)));
    }
}

std::string encode(const std::string& in, int* result = nullptr)
{
    std::vector<char> out(base64EncodeLen(static_cast<int>(in.size())), '#');
    const int n = base64Encode(out.data(), in.data(), static_cast<int>(in.size()));
    if (result != nullptr)
        *result = n;
    EXPECT_EQ(static_cast<int>(out.size()), n);
    EXPECT_EQ('\0', out.back());
    return out.data();
}

std::string decode(const char* text, int* result = nullptr)
{
    const int room = base64DecodeLen(text);
    std::vector<char> out(static_cast<std::size_t>(room) + 1, '#');
    const int n = base64Decode(out.data(), text);
    EXPECT_LT(n, room);
    EXPECT_EQ('\0', out[static_cast<std::size_t>(n)]);
    EXPECT_EQ('#', out[static_cast<std::size_t>(room)]); // nothing beyond the announced size
    if (result != nullptr)
        *result = n;
    return std::string(out.data(), static_cast<std::size_t>(n));
}

TEST(Base64, Rfc4648Vectors)
{
    const char* vectors[][2] = {{"", ""},
                                {"f", "Zg=="},
                                {"fo", "Zm8="},
                                {"foo", "Zm9v"},
                                {"foob", "Zm9vYg=="},
                                {"fooba", "Zm9vYmE="},
                                {"foobar", "Zm9vYmFy"}};
    // encode() and decode() also check the lengths, terminators and buffer bounds.
    for (const auto& v : vectors) {
        EXPECT_EQ(v[1], encode(v[0]));
        EXPECT_EQ(v[0], decode(v[1]));
    }
    EXPECT_EQ(1, base64EncodeLen(0));
    EXPECT_EQ(5, base64EncodeLen(3));
    EXPECT_EQ(9, base64EncodeLen(4));
}

TEST(Base64, DecodeTakesTheLeadingAlphabetRun)
{
    int n = -1;
    EXPECT_EQ("ab", decode("YWI=", &n));
    EXPECT_EQ(2, n);
    EXPECT_EQ(4, base64DecodeLen("YWJj"));
    EXPECT_EQ("a", decode("YW Jj", &n)); // stops at the blank
    EXPECT_EQ(1, n);
    EXPECT_EQ("", decode("", &n));
    EXPECT_EQ(0, n);
    EXPECT_EQ("abc", decode("YWJjZ", &n)); // a single leftover character adds nothing
    EXPECT_EQ(3, n);
    EXPECT_EQ("abc", decode("YWJj\nZGVm")); // line breaks end the text
    EXPECT_EQ("abcde", decode("YWJjZGU"));  // missing padding is tolerated
    EXPECT_EQ(1, base64DecodeLen("=YWJj"));
}

TEST(Base64, AgreesWithOpenSslAndRoundTripsRandomData)
{
    std::mt19937 rng(3);
    for (int round = 0; round < 500; ++round) {
        const std::size_t n = round < 200 ? static_cast<std::size_t>(round)
                                          : std::uniform_int_distribution<>(0, 5000)(rng);
        const std::vector<unsigned char> data = randomBytes(rng, n);
        const std::string raw(data.begin(), data.end());
        const std::string ours = encode(raw);
        std::vector<unsigned char> theirs(base64EncodeLen(static_cast<int>(n)));
        const int len = EVP_EncodeBlock(theirs.data(), data.data(), static_cast<int>(n));
        ASSERT_EQ(
            std::string(reinterpret_cast<char*>(theirs.data()), static_cast<std::size_t>(len)),
            ours);
        ASSERT_EQ(raw, decode(ours.c_str()));
    }
}

} // namespace
