// The code page 936 and 1252 converters against the C library's iconv, an independent
// implementation of the same published mappings. Where the library deliberately differs,
// the test pins the difference down to the documented code points:
//  - U+0080-U+00FF encode to the single byte of the same value (iconv: a double byte for the
//    20 such characters the code page has, an error for the rest);
//  - the one-way compatibility entries encode to the code of a close character (iconv: error);
//  - U+20AC is not encoded (iconv: the single byte 0x80);
//  - the five undefined 1252 bytes end the 1252 conversion (iconv: error).
#include "infra/charset.h"
#include "utils/charset_paths.h"
#include "utils_testing.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

namespace {

using namespace Orlix::Utils;
using namespace UtilsTesting;

// Converts in with iconv; false when iconv rejects any of it.
bool iconvConvert(const char* from, const char* to, const std::string& in, std::string* out)
{
    iconv_t cd = iconv_open(to, from);
    EXPECT_NE(reinterpret_cast<iconv_t>(-1), cd) << from << " -> " << to;
    std::string buffer(in.size() * 4 + 16, '\0');
    char* src = const_cast<char*>(in.data());
    std::size_t srcLeft = in.size(), dstLeft = buffer.size();
    char* dst = &buffer[0];
    const std::size_t r = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
    iconv_close(cd);
    out->assign(buffer.data(), buffer.size() - dstLeft);
    return r != static_cast<std::size_t>(-1) && srcLeft == 0;
}

std::string pair(int lead, int trail)
{
    return {static_cast<char>(lead), static_cast<char>(trail)};
}

TEST(CharsetIconv, EveryDoubleByteDecodesAsIconvDecodesIt)
{
    int mapped = 0;
    for (int lead = 0x81; lead <= 0xFE; ++lead) {
        for (int trail = 0x40; trail <= 0xFE; ++trail) {
            const std::string raw = pair(lead, trail);
            unsigned short ours = 0;
            const int n = char2uni(bytes(raw), 2, &ours);
            std::string theirs; // UTF-16BE
            const bool ok = iconvConvert("CP936", "UTF-16BE", raw, &theirs) && theirs.size() == 2;
            if (n == 2) {
                ++mapped;
                ASSERT_TRUE(ok) << std::hex << lead << ' ' << trail;
                ASSERT_EQ(pair(ours >> 8, ours & 0xFF), theirs) << std::hex << lead << ' ' << trail;
            } else {
                ASSERT_EQ(-1, n);
                ASSERT_FALSE(ok) << std::hex << lead << ' ' << trail;
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
        const bool ok = iconvConvert("UTF-16BE", "CP936", pair(u >> 8, u & 0xFF), &theirs);
        if (ok && n > 0 && ours == theirs) {
            ++same;
        } else if (!ok && n < 0) {
            // neither has a code
        } else if (u < 0x80) {
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

TEST(CharsetIconv, RandomTextConvertsAsWithIconvOnEveryPath)
{
    std::mt19937 rng(936);
    for (int round = 0; round < 300; ++round) {
        // ASCII runs (some longer than a 64-byte block) and double bytes; those decoding to
        // U+0100 and above also encode back.
        std::string gbk, encodable;
        for (int i = std::uniform_int_distribution<>(1, 200)(rng); i > 0; --i) {
            std::string c(1, static_cast<char>(1 + rng() % 0x7F));
            if (rng() % 8 == 0)
                c.append(rng() % 150, static_cast<char>(0x20 + rng() % 0x5F));
            unsigned short uni = 0;
            if (rng() % 3 != 0) {
                do
                    c = pair(0x81 + rng() % 0x7E, 0x40 + rng() % 0xBF);
                while (char2uni(bytes(c), 2, &uni) != 2);
            }
            gbk += c;
            encodable += uni < 0x80 || uni >= 0x100 ? c : "";
        }
        std::string expected, text, reencoded;
        ASSERT_TRUE(iconvConvert("CP936", "UTF-8", gbk, &expected));
        ASSERT_TRUE(iconvConvert("CP936", "UTF-8", encodable, &text));
        ASSERT_TRUE(iconvConvert("UTF-8", "CP936", text, &reencoded));
        for (const Orlix::Utils::Detail::AsciiPath& path : Orlix::Utils::Detail::asciiPaths()) {
            if (!path.usable)
                continue;
            Bytes utf8(expected.size() + 8, 0xEE);
            const int n = Orlix::Utils::Detail::gb2312ToUtf8With(path, gbk.c_str(), utf8.data(),
                                                                 static_cast<int>(expected.size()));
            ASSERT_EQ(expected, std::string(utf8.begin(), utf8.begin() + n)) << path.name;
            ASSERT_EQ(0xEE, utf8[expected.size()]);

            std::vector<char> back(encodable.size() + 1, 'X');
            ASSERT_GE(Orlix::Utils::Detail::utf8ToGb2312With(path, bytes(text), back.data(),
                                                             static_cast<int>(text.size()),
                                                             static_cast<int>(back.size())),
                      0);
            ASSERT_EQ(reencoded, std::string(back.data())) << path.name;
        }
    }
}

TEST(CharsetIconv, Cp1252AgreesWithIconvOnEveryDefinedByte)
{
    std::string defined;
    for (int b = 1; b < 256; ++b) {
        const std::string byte(1, static_cast<char>(b));
        std::string theirs;
        unsigned char ours[4] = {0xEE};
        ASSERT_EQ(0, cp1252_to_utf8(ours, 4, bytes(byte), 1));
        if (b == 0x81 || b == 0x8D || b == 0x8F || b == 0x90 || b == 0x9D) {
            EXPECT_FALSE(iconvConvert("CP1252", "UTF-8", byte, &theirs)) << b;
            EXPECT_EQ(0, ours[0]) << b; // the conversion stopped: U+0000
        } else {
            defined += byte;
        }
    }
    // All defined bytes, shuffled, in one text: there and back again.
    std::shuffle(defined.begin(), defined.end(), std::mt19937(1252));
    std::string expected;
    ASSERT_TRUE(iconvConvert("CP1252", "UTF-8", defined, &expected));
    Bytes utf8(expected.size());
    ASSERT_EQ(0, cp1252_to_utf8(utf8.data(), static_cast<int>(utf8.size()), bytes(defined),
                                static_cast<int>(defined.size())));
    ASSERT_EQ(expected, std::string(utf8.begin(), utf8.end()));
    Bytes back(expected.size());
    const int n = utf8_to_cp1252(utf8.data(), static_cast<int>(utf8.size()), back.data());
    EXPECT_EQ(defined, std::string(back.begin(), back.begin() + n));
}

} // namespace
