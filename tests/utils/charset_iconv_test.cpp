// The code page 936 and 1252 converters against the C library's iconv, an independent
// implementation of the same published mappings. Where the library deliberately differs,
// the test pins the difference down to the documented code points:
//  - U+0080-U+00FF encode to the single byte of the same value (iconv: a double byte for the
//    20 such characters the code page has, an error for the rest);
//  - the one-way compatibility entries encode to the code of a close character (iconv: error);
//  - U+20AC is not encoded (iconv: the single byte 0x80);
//  - the five undefined 1252 bytes end the 1252 conversion (iconv: error).
#include "infra/charset.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <cerrno>
#include <random>
#include <string>
#include <vector>

namespace {

using namespace Orlix::Utils;

// Converts in with iconv; false when iconv rejects any of it.
bool iconvConvert(const char* from, const char* to, const std::string& in, std::string* out)
{
    iconv_t cd = iconv_open(to, from);
    EXPECT_NE(reinterpret_cast<iconv_t>(-1), cd) << from << " -> " << to;
    std::string buffer(in.size() * 4 + 16, '\0');
    char* src = const_cast<char*>(in.data());
    std::size_t srcLeft = in.size();
    char* dst = &buffer[0];
    std::size_t dstLeft = buffer.size();
    const std::size_t r = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
    iconv_close(cd);
    if (r == static_cast<std::size_t>(-1) || srcLeft != 0)
        return false;
    out->assign(buffer.data(), buffer.size() - dstLeft);
    return true;
}

std::string utf16le(unsigned short u)
{
    return std::string{static_cast<char>(u & 0xFF), static_cast<char>(u >> 8)};
}

unsigned short fromUtf16le(const std::string& s)
{
    return static_cast<unsigned short>(static_cast<unsigned char>(s[0]) |
                                       static_cast<unsigned char>(s[1]) << 8);
}

struct GbkChar
{
    std::string bytes;
    unsigned short uni;
};

// Every double byte the library decodes, in code order.
std::vector<GbkChar> allDoubleBytes()
{
    std::vector<GbkChar> chars;
    for (int lead = 0x81; lead <= 0xFE; ++lead) {
        for (int trail = 0x40; trail <= 0xFE; ++trail) {
            const unsigned char raw[2] = {static_cast<unsigned char>(lead),
                                          static_cast<unsigned char>(trail)};
            unsigned short uni = 0;
            if (char2uni(raw, 2, &uni) == 2)
                chars.push_back({std::string(reinterpret_cast<const char*>(raw), 2), uni});
        }
    }
    return chars;
}

TEST(CharsetIconv, EveryDoubleByteDecodesAsIconvDecodesIt)
{
    int mapped = 0;
    for (int lead = 0x81; lead <= 0xFE; ++lead) {
        for (int trail = 0x40; trail <= 0xFE; ++trail) {
            const unsigned char raw[2] = {static_cast<unsigned char>(lead),
                                          static_cast<unsigned char>(trail)};
            unsigned short ours = 0;
            const int n = char2uni(raw, 2, &ours);
            std::string theirs;
            const bool ok = iconvConvert(
                "CP936", "UTF-16LE", std::string(reinterpret_cast<const char*>(raw), 2), &theirs);
            if (n == 2) {
                ++mapped;
                ASSERT_TRUE(ok && theirs.size() == 2) << std::hex << lead << ' ' << trail;
                ASSERT_EQ(fromUtf16le(theirs), ours) << std::hex << lead << ' ' << trail;
            } else {
                ASSERT_EQ(-1, n);
                ASSERT_FALSE(ok && theirs.size() == 2) << std::hex << lead << ' ' << trail;
            }
        }
    }
    EXPECT_EQ(21791, mapped);
}

TEST(CharsetIconv, EncodingDiffersFromIconvOnlyAtTheDocumentedCodePoints)
{
    int latin1 = 0, oneWay = 0, same = 0;
    for (unsigned int u = 1; u <= 0xFFFF; ++u) {
        if (u >= 0xD800 && u <= 0xDFFF)
            continue; // not characters; iconv refuses lone surrogates
        unsigned char out[2] = {};
        const int n = uni2char(static_cast<unsigned short>(u), out, 2);
        const std::string ours = n > 0 ? std::string(reinterpret_cast<char*>(out), n) : "";
        std::string theirs;
        const bool ok =
            iconvConvert("UTF-16LE", "CP936", utf16le(static_cast<unsigned short>(u)), &theirs);
        if (ok && n > 0 && ours == theirs) {
            ++same;
            continue;
        }
        if (!ok && n < 0)
            continue; // neither has a code

        if (u < 0x80) {
            ADD_FAILURE() << "ASCII differs at U+" << std::hex << u;
        } else if (u <= 0xFF) {
            ASSERT_EQ(std::string(1, static_cast<char>(u)), ours); // Latin-1 passes through
            ++latin1;
        } else if (u == 0x20AC) {
            EXPECT_EQ(-1, n);
            EXPECT_EQ("\x80", theirs);
        } else {
            // A one-way entry: iconv has no code, ours decodes to another character.
            ASSERT_FALSE(ok) << "U+" << std::hex << u;
            ASSERT_EQ(2, n) << "U+" << std::hex << u;
            unsigned short back = 0;
            ASSERT_EQ(2, char2uni(out, 2, &back));
            ASSERT_NE(u, back);
            ++oneWay;
        }
    }
    EXPECT_EQ(128, latin1);            // all of U+0080-U+00FF
    EXPECT_EQ(380, oneWay);            // every one-way entry
    EXPECT_EQ(127 + 21791 - 20, same); // ASCII and the double bytes from U+0100 on
}

TEST(CharsetIconv, RandomTextConvertsAsWithIconv)
{
    const std::vector<GbkChar> chars = allDoubleBytes();
    std::mt19937 rng(936);
    for (int round = 0; round < 300; ++round) {
        std::string gbk, encodable;
        const int count = std::uniform_int_distribution<>(1, 200)(rng);
        for (int i = 0; i < count; ++i) {
            if (rng() % 3 == 0) {
                const char c = static_cast<char>(std::uniform_int_distribution<>(1, 0x7F)(rng));
                gbk += c;
                encodable += c;
            } else {
                const GbkChar& c = chars[rng() % chars.size()];
                gbk += c.bytes;
                if (c.uni >= 0x100)
                    encodable += c.bytes;
            }
        }
        std::string expected;
        ASSERT_TRUE(iconvConvert("CP936", "UTF-8", gbk, &expected));
        std::vector<unsigned char> utf8(expected.size() + 8, 0xEE);
        const int n = Gb2312TUtf8(gbk.c_str(), utf8.data(), static_cast<int>(expected.size()));
        ASSERT_EQ(static_cast<int>(expected.size()), n);
        ASSERT_EQ(expected, std::string(utf8.begin(), utf8.begin() + n));
        ASSERT_EQ(0xEE, utf8[expected.size()]);

        // Back again, for the characters that have a double byte of their own.
        std::string text;
        ASSERT_TRUE(iconvConvert("CP936", "UTF-8", encodable, &text));
        std::string reencoded;
        ASSERT_TRUE(iconvConvert("UTF-8", "CP936", text, &reencoded));
        std::vector<char> back(encodable.size() + 1, 'X');
        const int units =
            utf8TGb2312(reinterpret_cast<const unsigned char*>(text.c_str()), back.data(),
                        static_cast<int>(text.size()), static_cast<int>(back.size()));
        ASSERT_GE(units, 0);
        ASSERT_EQ(reencoded, std::string(back.data()));
    }
}

TEST(CharsetIconv, Cp1252AgreesWithIconvOnEveryDefinedByte)
{
    std::string defined;
    for (int b = 1; b < 256; ++b) {
        const unsigned char byte = static_cast<unsigned char>(b);
        std::string theirs;
        const bool ok =
            iconvConvert("CP1252", "UTF-8", std::string(1, static_cast<char>(b)), &theirs);
        unsigned char ours[4] = {};
        ASSERT_EQ(0, cp1252_to_utf8(ours, 4, &byte, 1));
        const bool undefined = b == 0x81 || b == 0x8D || b == 0x8F || b == 0x90 || b == 0x9D;
        if (undefined) {
            EXPECT_FALSE(ok) << b;
            EXPECT_EQ(0, ours[0]) << b; // the conversion stopped: U+0000
            continue;
        }
        ASSERT_TRUE(ok) << b;
        ASSERT_EQ(theirs, std::string(reinterpret_cast<char*>(ours), theirs.size())) << b;
        defined += static_cast<char>(b);
    }

    std::mt19937 rng(1252);
    for (int round = 0; round < 300; ++round) {
        std::string text;
        const int count = std::uniform_int_distribution<>(1, 300)(rng);
        for (int i = 0; i < count; ++i)
            text += defined[rng() % defined.size()];
        std::string expected;
        ASSERT_TRUE(iconvConvert("CP1252", "UTF-8", text, &expected));
        std::vector<unsigned char> utf8(expected.size());
        const unsigned char* src = reinterpret_cast<const unsigned char*>(text.data());
        ASSERT_EQ(0, cp1252_to_utf8(utf8.data(), static_cast<int>(utf8.size()), src,
                                    static_cast<int>(text.size())));
        ASSERT_EQ(expected, std::string(utf8.begin(), utf8.end()));

        std::vector<unsigned char> back(expected.size());
        const int n = utf8_to_cp1252(utf8.data(), static_cast<int>(utf8.size()), back.data());
        ASSERT_EQ(text, std::string(back.begin(), back.begin() + n));
    }
}

} // namespace
