// CRC-16/ARC and CRC-32: check values, chaining, agreement with zlib, and every
// implementation this CPU can run (x86-64 folding kernels, the aarch64 CRC32 and PMULL ones)
// at every length, alignment, piece cut and page end. Base64: the RFC 4648
// vectors, the length and terminator rules, where decoding stops, agreement with OpenSSL on
// random data, and every implementation (portable, AVX2, AVX-512) giving the portable
// result on every length, alignment and damaged text.
#include "infra/base64.h"
#include "infra/crc.h"
#include "infra/error.h"
#include "utils/base64_paths.h"
#include "utils/crc_paths.h"
#include "utils_testing.h"

#include <gtest/gtest.h>
#if ORLIX_TEST_HAVE_OPENSSL
#include <openssl/evp.h>
#endif
#if ORLIX_TEST_HAVE_ZLIB
#include <zlib.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace {

using namespace UtilsTesting;
using namespace Orlix::Utils;
namespace U = Orlix::Utils; // zlib declares a ::crc32 of its own

// The reference CRC-32 the paths are held to: zlib's, or, where zlib is not there for the
// target (a cross build), the definition one bit at a time. p is never null, so zlib's
// answer for an empty buffer is the seed, as the definition's is.
unsigned int referenceCrc32(unsigned int seed, const unsigned char* p, std::size_t n)
{
#if ORLIX_TEST_HAVE_ZLIB
    return static_cast<unsigned int>(::crc32(seed, p, static_cast<uInt>(n)));
#else
    std::uint32_t c = ~seed;
    for (std::size_t i = 0; i < n; ++i) {
        c ^= p[i];
        for (int k = 0; k < 8; ++k)
            c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
    }
    return ~c;
#endif
}

// The reference base64 text of data: OpenSSL's EVP_EncodeBlock, or, without OpenSSL for the
// target, RFC 4648 written out a bit group at a time.
std::string referenceBase64(const Bytes& data)
{
#if ORLIX_TEST_HAVE_OPENSSL
    Bytes text(static_cast<std::size_t>(base64EncodeLen(static_cast<int>(data.size()))));
    const int len = EVP_EncodeBlock(text.data(), data.data(), static_cast<int>(data.size()));
    return std::string(text.begin(), text.begin() + len);
#else
    static const char kDigits[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string text;
    for (std::size_t i = 0; i < data.size(); i += 3) {
        const std::size_t n = std::min<std::size_t>(3, data.size() - i);
        std::uint32_t group = 0;
        for (std::size_t k = 0; k < 3; ++k)
            group = group << 8 | (k < n ? data[i + k] : 0u);
        for (std::size_t k = 0; k < 4; ++k)
            text += k <= n ? kDigits[(group >> (18 - 6 * k)) & 63] : '=';
    }
    return text;
#endif
}

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

#if ORLIX_TEST_HAVE_ZLIB
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
#endif

// Every CRC implementation this CPU can run is held to zlib and to the definition of CRC-16,
// at every length to 600 and every alignment, and across piece cuts.

// CRC-16/ARC straight from the definition: a byte table built here one bit at a time (so
// independent of the library's tables and folding), used a byte at a time.
unsigned int crc16Reference(unsigned int c, const unsigned char* p, std::size_t n)
{
    static const std::vector<unsigned int> table = [] {
        std::vector<unsigned int> t(256);
        for (unsigned int b = 0; b < 256; ++b) {
            unsigned int r = b;
            for (int k = 0; k < 8; ++k)
                r = (r & 1) ? (r >> 1) ^ 0xA001u : r >> 1;
            t[b] = r;
        }
        return t;
    }();
    for (std::size_t i = 0; i < n; ++i)
        c = (c >> 8) ^ table[(c ^ p[i]) & 0xFF];
    return c;
}

// Runs check(path) for every implementation of the list that this CPU can run.
template <typename Check>
void forEachUsablePath(const std::vector<Orlix::Utils::Detail::CrcPath>& paths, Check check)
{
    ASSERT_FALSE(paths.empty());
    EXPECT_STREQ("portable", paths.front().name);
    for (const auto& path : paths) {
        if (!path.usable)
            continue;
        SCOPED_TRACE(path.name);
        check(path.fn);
    }
}

TEST(Crc, EveryPathAtEveryLengthAndAlignment)
{
    // Each length up to 600 at each of the 64 offsets of a cache line covers the short-input
    // tables, each remainder after whole 16-byte lanes, and the switch to the wide loops.
    std::mt19937 rng(5);
    const Bytes data = randomBytes(rng, 64 + 600);
    const auto crc32s = Detail::crc32Paths();
    const auto crc16s = Detail::crc16Paths();
    for (unsigned int len = 0; len <= 600; ++len)
        for (unsigned int offset = 0; offset < 64; ++offset) {
            const unsigned char* p = data.data() + offset;
            const unsigned int seed32 = (offset + len) * 0x9E3779B9u; // every register value
            const unsigned int seed16 = seed32 >> 16;
            const auto expected32 = referenceCrc32(seed32, p, len);
            const unsigned int expected16 = crc16Reference(seed16, p, len);
            for (const auto& path : crc32s) {
                if (!path.usable)
                    continue;
                ASSERT_EQ(expected32, path.fn(seed32, p, len))
                    << path.name << " length " << len << " offset " << offset;
            }
            for (const auto& path : crc16s) {
                if (!path.usable)
                    continue;
                ASSERT_EQ(expected16, path.fn(seed16, p, len))
                    << path.name << " length " << len << " offset " << offset;
            }
        }
}

TEST(Crc, EveryPathOnLargeInputsInRandomPieces)
{
    // Sizes past the 256-byte steps of the widest loop, each message fed in random pieces:
    // the value passed from piece to piece must give the one-call result.
    std::mt19937 rng(13);
    const Bytes data = randomBytes(rng, 300000);
    std::vector<std::pair<std::size_t, std::size_t>> messages; // offset, size
    for (int i = 0; i < 12; ++i)
        messages.emplace_back(
            rng() % 64, std::uniform_int_distribution<std::size_t>(600, data.size() - 64)(rng));
    const auto pieces = [&](Detail::CrcFunction fn, std::uint32_t crc, const unsigned char* p,
                            std::size_t n) {
        while (n != 0) {
            const std::size_t take = std::min<std::size_t>(n, rng() % 2000);
            crc = fn(crc, p, take);
            p += take;
            n -= take;
        }
        return crc;
    };
    forEachUsablePath(Detail::crc32Paths(), [&](Detail::CrcFunction fn) {
        for (const auto& m : messages) {
            const unsigned char* p = data.data() + m.first;
            const auto n = static_cast<unsigned int>(m.second);
            const unsigned int zlib = referenceCrc32(0, p, n);
            ASSERT_EQ(zlib, fn(0, p, n)) << "size " << n;
            ASSERT_EQ(zlib, pieces(fn, 0, p, n)) << "size " << n;
        }
    });
    forEachUsablePath(Detail::crc16Paths(), [&](Detail::CrcFunction fn) {
        for (const auto& m : messages) {
            const unsigned char* p = data.data() + m.first;
            const unsigned int expected = crc16Reference(0x1D0F, p, m.second);
            ASSERT_EQ(expected, fn(0x1D0F, p, m.second)) << "size " << m.second;
            ASSERT_EQ(expected, pieces(fn, 0x1D0F, p, m.second)) << "size " << m.second;
        }
    });
}

TEST(Crc, EveryPathGivesTheCheckValues)
{
    const std::string check = "123456789";
    // The check string repeated past 16 bytes reaches the folding kernels as well.
    const std::string longer = check + check + check; // 27 bytes
    forEachUsablePath(Detail::crc32Paths(), [&](Detail::CrcFunction fn) {
        EXPECT_EQ(0xCBF43926u, fn(0, bytes(check), 9));
        EXPECT_EQ(referenceCrc32(0, bytes(longer), 27), fn(0, bytes(longer), 27));
    });
    forEachUsablePath(Detail::crc16Paths(), [&](Detail::CrcFunction fn) {
        EXPECT_EQ(0xBB3Du, fn(0, bytes(check), 9));
        EXPECT_EQ(crc16Reference(0, bytes(longer), 27), fn(0, bytes(longer), 27));
    });
}

TEST(Crc, NoPathReadsPastTheEndOfItsInput)
{
    // Inputs ending at the last byte of a readable page: a kernel that loads a whole lane or
    // word past the end of its tail faults here instead of reading a neighbour's bytes.
    PageEdge edge;
    ASSERT_TRUE(edge.ok());
    std::mt19937 rng(17);
    const Bytes data = randomBytes(rng, 300);
    for (std::size_t n = 0; n <= data.size(); ++n) {
        const unsigned char* at = edge.place(data.data(), n);
        const std::uint32_t expected32 = Detail::crc32Portable(0x12345678u, at, n);
        const std::uint32_t expected16 = Detail::crc16Portable(0x5AA5u, at, n);
        forEachUsablePath(Detail::crc32Paths(), [&](Detail::CrcFunction fn) {
            ASSERT_EQ(expected32, fn(0x12345678u, at, n)) << "length " << n;
        });
        forEachUsablePath(Detail::crc16Paths(), [&](Detail::CrcFunction fn) {
            ASSERT_EQ(expected16, fn(0x5AA5u, at, n)) << "length " << n;
        });
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
        ASSERT_EQ(referenceBase64(data), ours);
        ASSERT_EQ(raw, decode(ours.c_str()));
    }
}

// Every implementation this CPU can run; the portable one first.
std::vector<Detail::Base64Path> usablePaths()
{
    std::vector<Detail::Base64Path> paths;
    for (const Detail::Base64Path& path : Detail::base64Paths()) {
        if (path.usable)
            paths.push_back(path);
    }
    return paths;
}

const std::string kAlphabetChars =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Runs one path's encoder on data placed at the given offset of a 64-byte aligned buffer,
// with guard bytes after the room base64EncodeLen() gives.
std::string encodeWith(const Detail::Base64Path& path, const Bytes& data, std::size_t align)
{
    alignas(64) static unsigned char in[80000];
    std::copy(data.begin(), data.end(), in + align);
    const int n = static_cast<int>(data.size());
    const auto room = static_cast<std::size_t>(base64EncodeLen(n));
    std::vector<char> out(room + 64 + 8, '#');
    char* dst = out.data() + align;
    EXPECT_EQ(static_cast<int>(room), path.encode(dst, reinterpret_cast<char*>(in + align), n))
        << path.name;
    EXPECT_EQ('\0', dst[room - 1]);
    EXPECT_TRUE(std::all_of(dst + room, dst + room + 8, [](char c) { return c == '#'; }))
        << path.name << " wrote past the terminator, length " << n;
    return std::string(dst, room - 1);
}

struct Decoded
{
    int run;           // alphabetRun()
    int count;         // decode()'s result
    std::string bytes; // what decode() wrote, terminator excluded

    bool operator==(const Decoded& o) const
    {
        return run == o.run && count == o.count && bytes == o.bytes;
    }
};

// Decodes text placed at the given offset, checking the terminator and that nothing is
// written past the room base64DecodeLen() promises.
Decoded decodeWith(const Detail::Base64Path& path, const std::string& text, std::size_t align)
{
    alignas(64) static char in[120000];
    std::copy(text.begin(), text.end(), in + align);
    in[align + text.size()] = '\0';
    Decoded d;
    d.run = path.alphabetRun(in + align);
    const auto room = static_cast<std::size_t>((d.run + 3) / 4 * 3 + 1);
    std::vector<char> out(room + 64 + 8, '#');
    char* dst = out.data() + align;
    d.count = path.decode(dst, in + align);
    if (d.count < 0 || static_cast<std::size_t>(d.count) >= room) {
        ADD_FAILURE() << path.name << " decoded " << d.count << " bytes into " << room;
        return d;
    }
    EXPECT_EQ('\0', dst[d.count]);
    EXPECT_TRUE(std::all_of(dst + room, dst + room + 8, [](char c) { return c == '#'; }))
        << path.name << " wrote past its room";
    d.bytes.assign(dst, static_cast<std::size_t>(d.count));
    return d;
}

TEST(Base64, EveryPathEncodesLikeThePortableOneAndOpenSsl)
{
    const auto paths = usablePaths();
    std::mt19937 rng(21);
    auto check = [&](const Bytes& data, std::size_t align) {
        const std::string expected = referenceBase64(data);
        for (const auto& path : paths)
            ASSERT_EQ(expected, encodeWith(path, data, align))
                << path.name << ", length " << data.size() << ", offset " << align;
    };
    for (std::size_t n = 0; n <= 600; ++n) {
        const Bytes data = randomBytes(rng, n);
        check(data, n % 64);
        check(data, rng() % 64);
    }
    for (int round = 0; round < 12; ++round) {
        const Bytes data =
            randomBytes(rng, std::uniform_int_distribution<std::size_t>(601, 70000)(rng));
        for (std::size_t align = 0; align < 64; align += round < 2 ? 1 : 13)
            check(data, align);
    }
    // Every six-bit value in every position of a block.
    Bytes all;
    for (int k = 0; k < 3 * 256; ++k)
        all.push_back(static_cast<unsigned char>(k * 7 + k / 256));
    check(all, 0);
}

TEST(Base64, EveryPathDecodesLikeThePortableOneAndOpenSsl)
{
    const auto paths = usablePaths();
    std::mt19937 rng(22);
    for (std::size_t n = 0; n <= 600; ++n) {
        const Bytes data = randomBytes(rng, n / 4 * 3);
        const std::string encoded = referenceBase64(data);
        const auto len = static_cast<int>(encoded.size());
        const std::size_t align = rng() % 64;
        for (const auto& path : paths) {
            const Decoded d = decodeWith(path, encoded, align);
            ASSERT_EQ(std::string(data.begin(), data.end()), d.bytes) << path.name << " " << n;
            ASSERT_EQ(len, d.run);
        }
    }
}

// Text damaged the ways real input is: a character outside the alphabet, padding in the
// middle, white space or a line break, a text cut short, a byte with the high bit set.
std::string damaged(std::mt19937& rng, std::size_t n)
{
    std::string text(n, 'A');
    for (char& c : text)
        c = kAlphabetChars[rng() % 64];
    const int faults = static_cast<int>(rng() % 3);
    for (int k = 0; k < faults && n > 0; ++k) {
        const std::size_t at = rng() % n;
        switch (rng() % 6) {
        case 0:
            text[at] = '=';
            break;
        case 1:
            text[at] = " \n\r\t"[rng() % 4];
            break;
        case 2:
            text.resize(at);
            n = at;
            break;
        case 3:
            text[at] = static_cast<char>(0x80 | rng());
            break;
        case 4:
            text[at] = "-_.*@[`{~"[rng() % 9];
            break; // neighbours of alphabet ranges
        default:
            text.replace(at, 1, "==");
            break;
        }
    }
    return text;
}

TEST(Base64, DamagedTextStopsAtTheSamePlaceOnEveryPath)
{
    const auto paths = usablePaths();
    std::mt19937 rng(23);
    auto check = [&](const std::string& text, std::size_t align) {
        const Decoded expected = decodeWith(paths.front(), text, align);
        for (std::size_t p = 1; p < paths.size(); ++p)
            ASSERT_TRUE(expected == decodeWith(paths[p], text, align))
                << paths[p].name << " on \"" << text << "\" at offset " << align;
    };
    for (std::size_t n = 0; n <= 600; ++n) {
        for (int k = 0; k < 3; ++k)
            check(damaged(rng, n), rng() % 64);
    }
    for (int round = 0; round < 40; ++round)
        check(damaged(rng, std::uniform_int_distribution<std::size_t>(601, 100000)(rng)),
              rng() % 64);
    // Each byte value alone at every place of a 64-character block.
    for (int byte = 1; byte < 256; ++byte) {
        std::string text(130, 'Q');
        text[static_cast<std::size_t>(byte % 130)] = static_cast<char>(byte);
        check(text, static_cast<std::size_t>(byte % 64));
    }
}

TEST(Base64, NoPathReadsPastThePageWhereTheTextEnds)
{
    PageEdge edge;
    ASSERT_TRUE(edge.ok());
    std::mt19937 rng(24);
    for (std::size_t n = 0; n < 300; ++n) {
        std::string text = damaged(rng, n);
        text.push_back('\0');
        const char* at = reinterpret_cast<const char*>(edge.place(text.data(), text.size()));
        Decoded expected{};
        for (const auto& path : usablePaths()) {
            const int run = path.alphabetRun(at);
            std::vector<char> out(static_cast<std::size_t>((run + 3) / 4 * 3 + 1));
            const int count = path.decode(out.data(), at);
            const Decoded d{run, count, std::string(out.data(), static_cast<std::size_t>(count))};
            if (path.name == usablePaths().front().name)
                expected = d;
            ASSERT_TRUE(expected == d) << path.name << " length " << n;
        }
    }
    // Encoding reads exactly len bytes, wherever they end.
    for (std::size_t n = 0; n < 200; ++n) {
        const Bytes data = randomBytes(rng, n);
        const char* at = reinterpret_cast<const char*>(edge.place(data.data(), n));
        std::vector<char> out(base64EncodeLen(static_cast<int>(n)));
        for (const auto& path : usablePaths())
            path.encode(out.data(), at, static_cast<int>(n));
    }
}

} // namespace
