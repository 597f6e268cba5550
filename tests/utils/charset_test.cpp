// Character-set conversion: single characters, the string converters' budgets and
// terminators, and the two decided behaviours (an unmapped double byte becomes U+FFFD for
// the pair; a UTF-8 sequence cut by srcLen ends the 1252 walk without reading past it).
#include "infra/charset.h"
#include "utils_testing.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

using namespace Orlix::Utils;
using namespace UtilsTesting;
using Units = std::vector<unsigned short>;

// Every double byte and every UCS-2 value is compared with iconv in charset_iconv_test.cpp;
// these are the single-byte side and the bounds.
TEST(Charset, SingleCharacters)
{
    unsigned char out[2] = {0xEE, 0xEE};
    EXPECT_EQ(1, uni2char(0x0041, out, 2));
    EXPECT_EQ(0x41, out[0]);
    EXPECT_EQ(-1, uni2char(0x0000, out, 2));
    EXPECT_EQ(-1, uni2char(0x554A, out, 1)); // no room for the pair
    EXPECT_EQ(-1, uni2char(0x0041, out, 0));

    unsigned short uni = 0;
    EXPECT_EQ(1, char2uni(bytes("\x80"), 1, &uni));
    EXPECT_EQ(0x20AC, uni);
    EXPECT_EQ(1, char2uni(bytes("\x81"), 1, &uni));
    EXPECT_EQ(0x0081, uni);
    EXPECT_EQ(1, char2uni(bytes("\xB0\xA1"), 1, &uni)); // bound cuts the pair
    EXPECT_EQ(0x00B0, uni);
    EXPECT_EQ(1, char2uni(bytes("\xB0\0"), 2, &uni)); // trail byte 0: a single byte
    EXPECT_EQ(0x00B0, uni);
    EXPECT_EQ(-1, char2uni(bytes("\x81\x30"), 2, &uni)); // a trail byte without a character
    EXPECT_EQ(0, uni);
    EXPECT_EQ(-1, char2uni(bytes("A"), 0, &uni));
}

TEST(Charset, Utf8SingleCharacters)
{
    unsigned char out[4] = {};
    EXPECT_EQ(-1, utf8_wctomb(out, 0x20AC, 2));
    EXPECT_EQ(3, utf8_wctomb(out, 0x20AC, 3));
    EXPECT_EQ(Bytes({0xE2, 0x82, 0xAC}), Bytes(out, out + 3));
    EXPECT_EQ(0, utf8_wctomb(nullptr, 0x41, 3));

    unsigned short wc = 0;
    EXPECT_EQ(3, utf8_mbtowc(&wc, bytes("\xE2\x82\xAC"), 3));
    EXPECT_EQ(0x20AC, wc);
    EXPECT_EQ(-1, utf8_mbtowc(&wc, bytes("\xE2\x82\xAC"), 2)); // needs more than n bytes
    EXPECT_EQ(-1, utf8_mbtowc(&wc, bytes("\xC0\x80"), 2));     // overlong
    EXPECT_EQ(-1, utf8_mbtowc(&wc, bytes("\xE2\x41\xAC"), 3)); // not a continuation byte
    EXPECT_EQ(4, utf8_mbtowc(&wc, bytes("\xF0\x9F\x98\x80"), 4));
    EXPECT_EQ(0xF600, wc); // U+1F600 truncated to 16 bits
    EXPECT_EQ(-1, utf8_mbtowc(&wc, bytes("\xFF\x80"), 2));

    int len = -1;
    EXPECT_EQ(0x41, GetUnicodeFromUtf8("A", &len));
    EXPECT_EQ(1, len);
    EXPECT_EQ(0x554A, GetUnicodeFromUtf8("\xE5\x95\x8A", &len));
    EXPECT_EQ(3, len);
    EXPECT_EQ(0xE9, GetUnicodeFromUtf8("\xC3\xA9x", &len));
    EXPECT_EQ(2, len);
    EXPECT_EQ(0, GetUnicodeFromUtf8("\xE5\x95", &len)); // cut by the terminator
    EXPECT_EQ(3, len);
    EXPECT_EQ(0x05, GetUnicodeFromUtf8("\xE5\x41", &len)); // bits so far at an ASCII byte
    EXPECT_EQ(0, GetUnicodeFromUtf8("\x95\x8A", &len));    // no sequence open
    EXPECT_EQ(0, len);
    EXPECT_EQ(0, GetUnicodeFromUtf8("\xF0\x9F\x98\x80", &len));
    EXPECT_EQ(0, len);
}

TEST(Charset, Gb2312ToUniBudgetAndUnmappedPairs)
{
    Units out(8, 0xEEEE);
    // 0x81 0x30: lead byte with a page, trail byte without a character -> U+FFFD, and the
    // conversion goes on after the pair.
    EXPECT_EQ(4, Gb2312ToUni("\xB0\xA1\x81\x30"
                             "A\x81",
                             out.data(), 8));
    EXPECT_EQ(Units({0x554A, 0xFFFD, 0x41, 0x81, 0, 0, 0, 0}), out);

    // The budget counts units; the terminator is written only when there is room. The
    // whole budget is zero-filled, nothing past it is touched.
    Units small(4, 0xEEEE);
    EXPECT_EQ(2, Gb2312ToUni("\xB0\xA1\xB0\xA1\xB0\xA1", small.data(), 2));
    EXPECT_EQ(Units({0x554A, 0x554A, 0xEEEE, 0xEEEE}), small);
    EXPECT_EQ(0, Gb2312ToUni(nullptr, out.data(), 8));
    EXPECT_EQ(Units(8, 0), out);
}

TEST(Charset, UniTGb2312CountsUnitsAndStopsWhenFull)
{
    const Units text = {0x41, 0x554A, 0x42, 0};
    char out[8];
    std::memset(out, 'X', sizeof(out));
    EXPECT_EQ(3, UniTGb2312(text.data(), 10, out, 6));
    EXPECT_STREQ("A\xB0\xA1"
                 "B",
                 out);
    EXPECT_EQ('X', out[6]);

    std::memset(out, 'X', sizeof(out));
    EXPECT_EQ(1, UniTGb2312(text.data(), 10, out, 2)); // the pair would not fit
    EXPECT_EQ(std::string("A\0", 2), std::string(out, 2));
    EXPECT_EQ(2, UniTGb2312(text.data(), 2, out, 8));  // srcCount limits
    EXPECT_EQ(3, UniTGb2312(text.data(), 10, out, 4)); // exactly full: no terminator
    EXPECT_EQ(std::string("A\xB0\xA1"
                          "B"),
              std::string(out, 4));

    const Units euro = {0x41, 0x20AC, 0};
    EXPECT_EQ(-1, UniTGb2312(euro.data(), 3, out, 8));
}

TEST(Charset, Utf8StringBudgets)
{
    Units units(8, 0xEEEE);
    // A stray continuation byte is skipped, conversion goes on.
    EXPECT_EQ(3, utf8_mbstowcs(units.data(),
                               bytes("a\x80\xE5\x95\x8A"
                                     "b"),
                               100));
    EXPECT_EQ(Units({'a', 0x554A, 'b', 0xEEEE}), Units(units.begin(), units.begin() + 4));
    // The budget counts source bytes: a sequence that does not fit in it is skipped byte by
    // byte.
    EXPECT_EQ(1, utf8_mbstowcs(units.data(), bytes("a\xE5\x95\x8A"), 3));

    const Units text = {'a', 0x554A, 'b', 0x20AC, 0};
    Bytes out(12, 0xEE);
    EXPECT_EQ(8, utf8_wcstombs(out.data(), text.data(), 12));
    EXPECT_EQ(Bytes({'a', 0xE5, 0x95, 0x8A, 'b', 0xE2, 0x82, 0xAC}),
              Bytes(out.begin(), out.begin() + 8));
    EXPECT_EQ(0xEE, out[8]); // no terminator
    for (int budget = 0; budget <= 8; ++budget) {
        Bytes bounded(12, 0xEE);
        const int n = utf8_wcstombs(bounded.data(), text.data(), budget);
        EXPECT_LE(n, budget);
        EXPECT_EQ(Bytes(12 - budget, 0xEE), Bytes(bounded.begin() + budget, bounded.end()));
    }
    // A unit that does not fit is skipped and costs one byte of budget: "a" then the
    // three-byte character in a budget of 3 leaves 2, too few, so "b" follows in the
    // last byte.
    Bytes two(4, 0xEE);
    EXPECT_EQ(2, utf8_wcstombs(two.data(), text.data(), 3));
    EXPECT_EQ(Bytes({'a', 'b', 0xEE, 0xEE}), two);
}

TEST(Charset, Gb2312AndUtf8EdgeCases)
{
    // The conversions themselves are held to iconv in charset_iconv_test.cpp.
    unsigned char utf8[16];
    std::memset(utf8, 0xEE, sizeof(utf8));
    EXPECT_EQ(7, Gb2312TUtf8("\xC4\xE3\xBA\xC3!", utf8, 16)); // "你好!"
    EXPECT_EQ(0, utf8[15]);                                   // zero-filled
    EXPECT_EQ(0, Gb2312TUtf8("", utf8, 16));
    EXPECT_EQ(0, Gb2312TUtf8(nullptr, utf8, 16));

    char gbk[8];
    EXPECT_EQ(1, utf8TGb2312(bytes("\xE4\xBD\xA0\xE5\xA5\xBD!"), gbk, 4, 8)); // source budget
    EXPECT_STREQ("\xC4\xE3", gbk);
    EXPECT_EQ(-1, utf8TGb2312(bytes("\xE2\x82\xAC"), gbk, 100, 8));
    EXPECT_EQ(0, utf8TGb2312(bytes(""), gbk, 100, 8));
}

TEST(Charset, Cp1252ToUtf8)
{
    unsigned char out[8];
    std::memset(out, 0xEE, sizeof(out));
    EXPECT_EQ(0, cp1252_to_utf8(out, 3, bytes("\x80"), 1));
    EXPECT_EQ(Bytes({0xE2, 0x82, 0xAC, 0xEE}), Bytes(out, out + 4));

    std::memset(out, 0xEE, sizeof(out));
    EXPECT_EQ(3, cp1252_to_utf8(out, 2, bytes("\x80"), 1)); // too small: untouched
    EXPECT_EQ(Bytes(8, 0xEE), Bytes(out, out + 8));

    // Conversion stops at the first undefined byte; it and the rest become U+0000.
    EXPECT_EQ(0, cp1252_to_utf8(out, 8,
                                bytes("A\x81"
                                      "B"),
                                3));
    EXPECT_EQ(Bytes({0x41, 0x00, 0x00, 0xEE}), Bytes(out, out + 4));

    EXPECT_EQ(-1, cp1252_to_utf8(out, 8, nullptr, 1));
    EXPECT_EQ(-1, cp1252_to_utf8(out, 8, bytes("A"), 0));
}

// Converts bytes held in a heap block of exactly their size, so that AddressSanitizer
// reports any read past srcLen.
Bytes toCp1252(const Bytes& src)
{
    std::unique_ptr<unsigned char[]> exact(new unsigned char[src.size()]);
    if (!src.empty())
        std::memcpy(exact.get(), src.data(), src.size());
    Bytes out(src.size() + 1, 0xEE);
    const int n = utf8_to_cp1252(exact.get(), static_cast<int>(src.size()), out.data());
    EXPECT_EQ(0xEE, out[src.size()]);
    out.resize(static_cast<std::size_t>(n));
    return out;
}

TEST(Charset, Utf8ToCp1252)
{
    EXPECT_EQ(Bytes({0x80}), toCp1252({0xE2, 0x82, 0xAC}));
    EXPECT_EQ(Bytes({'a', 'b'}), toCp1252({'a', 0xF0, 0x9F, 0x98, 0x80, 'b'})); // dropped
    EXPECT_EQ(Bytes({0x81}), toCp1252({0xC2, 0x81}));         // undefined bytes map to themselves
    EXPECT_EQ(Bytes({'a'}), toCp1252({'a', 0x82, 'b'}));      // stray continuation: stop
    EXPECT_EQ(Bytes({'a'}), toCp1252({'a', 0xC3, 'b', 'c'})); // malformed: stop
    // A sequence cut by srcLen ends the walk; nothing past the source is read.
    EXPECT_EQ(Bytes({'a'}), toCp1252({'a', 0xE2, 0x82}));
    EXPECT_EQ(Bytes({'a'}), toCp1252({'a', 0xFC}));
    EXPECT_EQ(Bytes(), toCp1252({}));
}

} // namespace

namespace {

// Gb2312TUtf8 converts in one pass; it must equal Gb2312ToUni followed by utf8_wcstombs,
// also for invalid pairs, lone lead bytes and budgets that cut characters.
TEST(Charset, Gb2312TUtf8EqualsItsTwoSteps)
{
    std::mt19937 rng(86);
    const unsigned char pool[] = {0x41, 0x7F, 0x80, 0x81, 0x30, 0x40, 0xA1, 0xB0, 0xC4,
                                  0xE3, 0xFE, 0xFF, 0x7E, 0xA8, 0xD8, 0x4D, 0x01};
    for (int round = 0; round < 3000; ++round) {
        std::string src;
        const int length = std::uniform_int_distribution<>(1, 40)(rng);
        for (int i = 0; i < length; ++i)
            src += static_cast<char>(rng() % 3 == 0 ? pool[rng() % sizeof(pool)]
                                                    : 0x01 + rng() % 0xFF);
        const int budget = std::uniform_int_distribution<>(0, 100)(rng);

        Units units(src.size() + 1);
        Gb2312ToUni(src.c_str(), units.data(), static_cast<int>(units.size()));
        Bytes expected(static_cast<std::size_t>(budget) + 1, 0);
        const int n = utf8_wcstombs(expected.data(), units.data(), budget);

        Bytes actual(static_cast<std::size_t>(budget) + 1, 0xEE);
        ASSERT_EQ(n, Gb2312TUtf8(src.c_str(), actual.data(), budget));
        expected[static_cast<std::size_t>(budget)] = 0xEE; // past the budget: untouched
        ASSERT_EQ(expected, actual) << "budget " << budget;
    }
}

} // namespace
