// CRC-16/ARC and CRC-32: check values, chaining, agreement with zlib. Base64: the RFC 4648
// vectors, the length and terminator rules, where decoding stops, and agreement with
// OpenSSL's encoder on random data.
#include "infra/base64.h"
#include "infra/crc.h"
#include "infra/error.h"
#include "utils_testing.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <zlib.h>

#include <cerrno>
#include <random>
#include <string>

namespace {

using namespace UtilsTesting;
using namespace Orlix::Utils;
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
    const Bytes data = randomBytes(rng, 1000);
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
        const Bytes data = randomBytes(rng, n);
        // Start from an arbitrary offset so the word loop also runs unaligned.
        const std::size_t skip = n > 3 ? rng() % 4 : 0;
        const auto size = static_cast<unsigned int>(n - skip);
        ASSERT_EQ(::crc32(0L, data.data() + skip, size), U::crc32(data.data() + skip, size))
            << "length " << size;
        // Chained from a random seed; zlib answers 0 for an empty buffer, whatever the seed.
        const unsigned int seed = n == 0 ? 0 : static_cast<unsigned int>(rng());
        ASSERT_EQ(::crc32(seed, data.data(), size), U::crc32(seed, data.data(), size));
    }
}

// Encodes in, checking the returned length and terminator against base64EncodeLen().
std::string encode(const std::string& in)
{
    std::vector<char> out(base64EncodeLen(static_cast<int>(in.size())), '#');
    EXPECT_EQ(static_cast<int>(out.size()),
              base64Encode(out.data(), in.data(), static_cast<int>(in.size())));
    EXPECT_EQ('\0', out.back());
    return out.data();
}

// Decodes text, checking the terminator and that nothing is written past base64DecodeLen().
std::string decode(const char* text)
{
    const int room = base64DecodeLen(text);
    std::vector<char> out(static_cast<std::size_t>(room) + 1, '#');
    const int n = base64Decode(out.data(), text);
    EXPECT_LT(n, room);
    EXPECT_EQ('\0', out[static_cast<std::size_t>(n)]);
    EXPECT_EQ('#', out[static_cast<std::size_t>(room)]);
    return std::string(out.data(), static_cast<std::size_t>(n));
}

TEST(Base64, Rfc4648VectorsAndWhereDecodingStops)
{
    const char* vectors[][2] = {{"", ""},
                                {"f", "Zg=="},
                                {"fo", "Zm8="},
                                {"foo", "Zm9v"},
                                {"foob", "Zm9vYg=="},
                                {"fooba", "Zm9vYmE="},
                                {"foobar", "Zm9vYmFy"}};
    for (const auto& v : vectors) {
        EXPECT_EQ(v[1], encode(v[0]));
        EXPECT_EQ(v[0], decode(v[1]));
    }
    // Decoding takes the leading run of alphabet characters; a single leftover character
    // adds nothing, missing padding is tolerated.
    const char* runs[][2] = {{"YW Jj", "a"},
                             {"YWJjZ", "abc"},
                             {"YWJj\nZGVm", "abc"},
                             {"YWJjZGU", "abcde"},
                             {"=YWJj", ""}};
    for (const auto& r : runs)
        EXPECT_EQ(r[1], decode(r[0])) << r[0];
    EXPECT_EQ(4, base64DecodeLen("YWJj"));
    EXPECT_EQ(1, base64DecodeLen("=YWJj"));

    // A null source reads as no data and sets EINVAL.
    using Orlix::Infra::getLastError;
    using Orlix::Infra::setLastError;
    char out[8] = "XXXXXXX";
    setLastError(0);
    EXPECT_EQ(1, base64Encode(out, nullptr, 3));
    EXPECT_STREQ("", out);
    EXPECT_EQ(EINVAL, getLastError());
    setLastError(0);
    EXPECT_EQ(1, base64DecodeLen(nullptr));
    EXPECT_EQ(EINVAL, getLastError());
    setLastError(0);
    out[0] = 'X';
    EXPECT_EQ(0, base64Decode(out, nullptr));
    EXPECT_EQ('\0', out[0]);
    EXPECT_EQ(EINVAL, getLastError());
}

TEST(Base64, AgreesWithOpenSslAndRoundTripsRandomData)
{
    std::mt19937 rng(3);
    for (int round = 0; round < 500; ++round) {
        const std::size_t n = round < 200 ? static_cast<std::size_t>(round)
                                          : std::uniform_int_distribution<>(0, 5000)(rng);
        const Bytes data = randomBytes(rng, n);
        const std::string raw(data.begin(), data.end()), ours = encode(raw);
        Bytes theirs(base64EncodeLen(static_cast<int>(n)));
        const int len = EVP_EncodeBlock(theirs.data(), data.data(), static_cast<int>(n));
        ASSERT_EQ(std::string(theirs.begin(), theirs.begin() + len), ours);
        ASSERT_EQ(raw, decode(ours.c_str()));
    }
}

} // namespace
