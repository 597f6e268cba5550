// Character-set conversion: single characters, the string converters' budgets and
// terminators, and the two decided behaviours (an unmapped double byte becomes U+FFFD for
// the pair; a UTF-8 sequence cut by srcLen ends the 1252 walk without reading past it).
// Every double byte and every UCS-2 value is compared with iconv in charset_iconv_test.cpp;
// this suite covers the single-byte side and the bounds, and holds every ASCII block path
// (portable, SSE2, AVX2, AVX-512) to the result of the conversions' per-character steps.
#include "infra/charset.h"
#include "utils/charset_paths.h"
#include "utils_testing.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace {

using namespace Orlix::Utils;
using namespace UtilsTesting;
using Units = std::vector<unsigned short>;
using Result = std::pair<int, int>; // what a function returned, and what it stored

TEST(Charset, SingleCharacters)
{
    auto decode = [](const std::string& in, int bound) {
        unsigned short uni = 0xEEEE;
        const int n = char2uni(bytes(in), bound, &uni);
        return Result(n, uni);
    };
    EXPECT_EQ(Result(1, 0x20AC), decode("\x80", 1));
    EXPECT_EQ(Result(1, 0x81), decode("\x81", 1));
    EXPECT_EQ(Result(1, 0xB0), decode("\xB0\xA1", 1));               // the bound cuts the pair
    EXPECT_EQ(Result(1, 0xB0), decode(std::string("\xB0\0", 2), 2)); // trail 0: single byte
    EXPECT_EQ(Result(-1, 0), decode("\x81\x30", 2)); // a trail byte without a character
    EXPECT_EQ(-1, decode("A", 0).first);

    auto mbtowc = [](const std::string& in, int n) {
        unsigned short wc = 0;
        const int used = utf8_mbtowc(&wc, bytes(in), n);
        return used < 0 ? Result(-1, 0) : Result(used, wc);
    };
    EXPECT_EQ(Result(-1, 0), mbtowc("\xE2\x82\xAC", 2)); // needs more than n bytes
    EXPECT_EQ(Result(-1, 0), mbtowc("\xC0\x80", 2));     // overlong
    EXPECT_EQ(Result(-1, 0), mbtowc("\xE2\x41\xAC", 3)); // not a continuation byte
    EXPECT_EQ(Result(-1, 0), mbtowc("\xFF\x80", 2));
    EXPECT_EQ(Result(4, 0xF600), mbtowc("\xF0\x9F\x98\x80", 4)); // U+1F600 cut to 16 bits

    auto leading = [](const char* text) {
        int len = -1;
        const unsigned short uni = GetUnicodeFromUtf8(text, &len);
        return Result(uni, len);
    };
    EXPECT_EQ(Result(0x41, 1), leading("A"));
    EXPECT_EQ(Result(0xE9, 2), leading("\xC3\xA9x"));
    EXPECT_EQ(Result(0x554A, 3), leading("\xE5\x95\x8A"));
    EXPECT_EQ(Result(0, 3), leading("\xE5\x95")); // cut by the terminator
    EXPECT_EQ(0x05, leading("\xE5\x41").first);   // ASCII inside a sequence: the bits so far
    EXPECT_EQ(Result(0, 0), leading("\x95\x8A")); // no sequence open
    EXPECT_EQ(Result(0, 0), leading("\xF0\x9F\x98\x80"));

    unsigned char out[4] = {};
    EXPECT_EQ(-1, uni2char(0x0000, out, 2));
    EXPECT_EQ(-1, uni2char(0x554A, out, 1)); // no room for the pair
    EXPECT_EQ(-1, uni2char(0x0041, out, 0));
    EXPECT_EQ(-1, utf8_wctomb(out, 0x20AC, 2));
    EXPECT_EQ(0, utf8_wctomb(nullptr, 0x41, 3));
}

TEST(Charset, GbkStringBudgetsAndUnmappedPairs)
{
    // 0x81 0x30: lead byte with a page, trail byte without a character -> U+FFFD, and the
    // conversion goes on after the pair.
    Units units(8, 0xEEEE);
    EXPECT_EQ(4, Gb2312ToUni("\xB0\xA1\x81\x30z\x81", units.data(), 8));
    EXPECT_EQ(Units({0x554A, 0xFFFD, 'z', 0x81, 0, 0, 0, 0}), units);
    // The budget counts units; the terminator is written only when there is room. The
    // whole budget is zero-filled, nothing past it is touched.
    Units small(4, 0xEEEE);
    EXPECT_EQ(2, Gb2312ToUni("\xB0\xA1\xB0\xA1\xB0\xA1", small.data(), 2));
    EXPECT_EQ(Units({0x554A, 0x554A, 0xEEEE, 0xEEEE}), small);
    EXPECT_EQ(0, Gb2312ToUni(nullptr, units.data(), 8));
    EXPECT_EQ(Units(8, 0), units);

    // UniTGb2312 counts units and stops when the next character would not fit.
    const Units text = {'x', 0x554A, 'z', 0}, euro = {'x', 0x20AC, 0};
    char out[8];
    std::memset(out, 'X', sizeof(out));
    EXPECT_EQ(3, UniTGb2312(text.data(), 10, out, 6));
    EXPECT_EQ(std::string("x\xB0\xA1z\0\0X", 7), std::string(out, 7));
    EXPECT_EQ(1, UniTGb2312(text.data(), 10, out, 2)); // the pair would not fit
    EXPECT_EQ(std::string("x\0", 2), std::string(out, 2));
    EXPECT_EQ(2, UniTGb2312(text.data(), 2, out, 8));  // srcCount limits
    EXPECT_EQ(3, UniTGb2312(text.data(), 10, out, 4)); // exactly full: no terminator
    EXPECT_EQ("x\xB0\xA1z", std::string(out, 4));
    EXPECT_EQ(-1, UniTGb2312(euro.data(), 3, out, 8));

    unsigned char utf8[4];
    EXPECT_EQ(0, Gb2312TUtf8(nullptr, utf8, 4));
    EXPECT_EQ(0, Gb2312TUtf8("", utf8, 4));
    EXPECT_EQ(1, utf8TGb2312(bytes("\xE4\xBD\xA0\xE5\xA5\xBD!"), out, 4, 8)); // source budget
    EXPECT_STREQ("\xC4\xE3", out);
    EXPECT_EQ(-1, utf8TGb2312(bytes("\xE2\x82\xAC"), out, 100, 8));
    EXPECT_EQ(0, utf8TGb2312(bytes(""), out, 100, 8));
}

TEST(Charset, Utf8StringBudgets)
{
    Units units(8, 0xEEEE);
    // A stray continuation byte is skipped, conversion goes on.
    EXPECT_EQ(3, utf8_mbstowcs(units.data(), bytes("a\x80\xE5\x95\x8Az"), 100));
    EXPECT_EQ(Units({'a', 0x554A, 'z', 0xEEEE}), Units(units.begin(), units.begin() + 4));
    // The budget counts source bytes: a sequence that does not fit in it is skipped byte by
    // byte.
    EXPECT_EQ(1, utf8_mbstowcs(units.data(), bytes("a\xE5\x95\x8A"), 3));

    const Units text = {'a', 0x554A, 'b', 0x20AC, 0};
    for (int budget = 0; budget <= 12; ++budget) {
        Bytes out(12, 0xEE);
        const int n = utf8_wcstombs(out.data(), text.data(), budget);
        EXPECT_LE(n, budget);
        EXPECT_EQ(Bytes(12 - n, 0xEE), Bytes(out.begin() + n, out.end())) << "no terminator";
        if (budget >= 8) {
            EXPECT_EQ(Bytes({'a', 0xE5, 0x95, 0x8A, 'b', 0xE2, 0x82, 0xAC}),
                      Bytes(out.begin(), out.begin() + n));
        }
    }
    // A unit that does not fit is skipped and costs one byte of budget: "a" then the
    // three-byte character in a budget of 3 leaves 2, too few, so "b" follows in the
    // last byte.
    Bytes two(4, 0xEE);
    EXPECT_EQ(2, utf8_wcstombs(two.data(), text.data(), 3));
    EXPECT_EQ(Bytes({'a', 'b', 0xEE, 0xEE}), two);
}

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
        expected[static_cast<std::size_t>(budget)] = 0xEE; // past the budget: untouched
        Bytes actual(static_cast<std::size_t>(budget) + 1, 0xEE);
        ASSERT_EQ(n, Gb2312TUtf8(src.c_str(), actual.data(), budget));
        ASSERT_EQ(expected, actual) << "budget " << budget;
    }
}

TEST(Charset, Cp1252ToUtf8)
{
    unsigned char out[8];
    std::memset(out, 0xEE, sizeof(out));
    EXPECT_EQ(3, cp1252_to_utf8(out, 2, bytes("\x80"), 1)); // too small: untouched
    EXPECT_EQ(Bytes(8, 0xEE), Bytes(out, out + 8));
    // Conversion stops at the first undefined byte; it and the rest become U+0000.
    EXPECT_EQ(0, cp1252_to_utf8(out, 8, bytes("A\x81z"), 3));
    EXPECT_EQ(Bytes({0x41, 0x00, 0x00, 0xEE}), Bytes(out, out + 4));
    EXPECT_EQ(-1, cp1252_to_utf8(out, 8, nullptr, 1));
    EXPECT_EQ(-1, cp1252_to_utf8(out, 8, bytes("A"), 0));
}

// Converts bytes held in a heap block of exactly their size, so that AddressSanitizer
// reports any read past srcLen.
Bytes toCp1252(const Bytes& src)
{
    std::unique_ptr<unsigned char[]> exact(new unsigned char[src.size()]);
    std::copy(src.begin(), src.end(), exact.get());
    Bytes out(src.size() + 1, 0xEE);
    const int n = utf8_to_cp1252(exact.get(), static_cast<int>(src.size()), out.data());
    EXPECT_EQ(0xEE, out[src.size()]);
    out.resize(static_cast<std::size_t>(n));
    return out;
}

TEST(Charset, Utf8ToCp1252)
{
    EXPECT_EQ(Bytes({'a', 'b'}), toCp1252({'a', 0xF0, 0x9F, 0x98, 0x80, 'b'})); // dropped
    EXPECT_EQ(Bytes({0x81}), toCp1252({0xC2, 0x81}));         // undefined bytes map to themselves
    EXPECT_EQ(Bytes({'a'}), toCp1252({'a', 0x82, 'b'}));      // stray continuation: stop
    EXPECT_EQ(Bytes({'a'}), toCp1252({'a', 0xC3, 'b', 'c'})); // malformed: stop
    // A sequence cut by srcLen ends the walk; nothing past the source is read.
    EXPECT_EQ(Bytes({'a'}), toCp1252({'a', 0xE2, 0x82}));
    EXPECT_EQ(Bytes({'a'}), toCp1252({'a', 0xFC}));
    EXPECT_EQ(Bytes(), toCp1252({}));
}

// Every ASCII path this CPU can run; the portable one first.
std::vector<Detail::AsciiPath> usableAsciiPaths()
{
    std::vector<Detail::AsciiPath> paths;
    for (const Detail::AsciiPath& path : Detail::asciiPaths()) {
        if (path.usable)
            paths.push_back(path);
    }
    return paths;
}

// Code page 936 text of about n bytes: ASCII runs of every length up to past a 64-byte
// block, double bytes with and without a character, lone high bytes, a lead byte before
// the terminator.
std::string mixedGbk(std::mt19937& rng, std::size_t n)
{
    std::string text;
    while (text.size() < n) {
        switch (rng() % 4) {
        case 0:
        case 1:
            for (std::size_t k = rng() % 150; k > 0; --k)
                text += static_cast<char>(0x20 + rng() % 0x5F);
            break;
        case 2:
            for (std::size_t k = rng() % 20; k > 0; --k) {
                text += static_cast<char>(0xB0 + rng() % 0x40);
                text += static_cast<char>(0xA1 + rng() % 0x5E);
            }
            break;
        default:
            text += static_cast<char>(0x80 + rng() % 0x80);
            break;
        }
    }
    text.resize(n);
    return text;
}

// UTF-8 text of about n bytes: ASCII runs, characters of two and three bytes (with and
// without a double-byte form), four-byte ones (one whose 16-bit unit is 0), overlong and
// broken sequences.
std::string mixedUtf8(std::mt19937& rng, std::size_t n)
{
    static const char* const pieces[] = {
        "\xE4\xB8\xAD", "\xE6\x96\x87", "\xC3\xA9", "\xCE\xB1",         "\xE2\x82\xAC",
        "\xEF\xBF\xBD", "\xE0\x80\xAF", "\xC0\xAF", "\xF0\x9F\x98\x80", "\xF0\x90\x80\x80",
        "\x80",         "\xE4\xB8",     "\xC2\x80", "\xEA\xB0\x80",     "\xE3\x80\x82"};
    std::string text;
    while (text.size() < n) {
        if (rng() % 2 == 0) {
            for (std::size_t k = rng() % 150; k > 0; --k)
                text += static_cast<char>(0x20 + rng() % 0x5F);
        } else {
            for (std::size_t k = rng() % 12; k > 0; --k) {
                // Mostly the common Chinese characters, which all have a double-byte form.
                text += rng() % 3 != 0 ? "\xE4\xB8\xAD" : pieces[rng() % 15];
            }
        }
    }
    text.resize(n);
    return text;
}

// UTF-8 text of about n bytes made mostly of runs of three-byte characters of every length
// (the common Chinese ones, all with a double-byte form) between short ASCII runs, with
// `faults` random bytes then overwritten: broken, truncated and overlong sequences, zeros,
// surrogates and characters without a double-byte form inside and at the edges of runs.
std::string corruptedCjk(std::mt19937& rng, std::size_t n, std::size_t faults)
{
    static const char* const odd[] = {"\xE0\x9F\xBF", "\xE0\xA0\x80", "\xED\xA0\x80",
                                      "\xEF\xBF\xBF", "\xE0\x80\x80", "\xE4\xB8",
                                      "\xE4",         "\xC3\xA9",     "\xF0\x9F\x98\x80"};
    std::string text;
    while (text.size() < n) {
        for (std::size_t k = rng() % 40; k > 0; --k) {
            const unsigned cp = 0x4E00 + rng() % (0x9FA5 - 0x4E00 + 1);
            text += static_cast<char>(0xE0 | cp >> 12);
            text += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
            text += static_cast<char>(0x80 | (cp & 0x3F));
        }
        if (rng() % 8 == 0)
            text += odd[rng() % 9];
        for (std::size_t k = rng() % 4; k > 0; --k)
            text += static_cast<char>(0x20 + rng() % 0x5F);
    }
    text.resize(n);
    for (std::size_t k = 0; k < faults && n != 0; ++k)
        text[rng() % n] = static_cast<char>(rng() % 3 == 0 ? 0x80 + rng() % 0x40 : rng() % 0x100);
    return text;
}

// A copy of text at offset align of a 64-byte aligned buffer, zero-terminated.
struct Placed
{
    std::vector<char> storage;
    char* text;

    Placed(const std::string& s, std::size_t align) : storage(s.size() + 64 + 64)
    {
        text = storage.data() +
               ((64 - reinterpret_cast<std::uintptr_t>(storage.data()) % 64) % 64) + align;
        std::copy(s.begin(), s.end(), text);
        text[s.size()] = '\0';
    }
};

TEST(Charset, EveryAsciiPathConvertsGbkAsTheSteps)
{
    const auto paths = usableAsciiPaths();
    std::mt19937 rng(361);
    // Reference: the character-by-character loop of Gb2312ToUni into room units (a guard
    // unit after them), stored count in the result.
    auto steps = [](const std::string& src, int room, Units& units) {
        units.assign(static_cast<std::size_t>(room) + 1, 0);
        units.back() = 0xEEEE;
        int stored = 0;
        for (std::size_t pos = 0; pos < src.size() && stored < room;) {
            unsigned short uni = 0;
            const int used = char2uni(bytes(src) + pos, static_cast<int>(src.size() - pos), &uni);
            units[static_cast<std::size_t>(stored++)] = used < 0 ? 0xFFFD : uni;
            pos += used < 0 ? 2 : static_cast<std::size_t>(used);
        }
        return stored;
    };
    auto check = [&](const std::string& src, std::size_t align, int room) {
        const Placed in(src, align);
        Units units, all;
        const int stored = steps(src, room, units);
        steps(src, static_cast<int>(src.size()) + 1, all);
        Bytes utf8(static_cast<std::size_t>(room) + 1, 0);
        const int utf8Count = src.empty() ? 0 : utf8_wcstombs(utf8.data(), all.data(), room);
        utf8.back() = 0xEE;
        if (src.empty())
            std::fill(utf8.begin(), utf8.end(), 0xEE); // an empty text leaves dst alone
        for (const auto& path : paths) {
            Units gotUnits(static_cast<std::size_t>(room) + 1, 0xEEEE);
            ASSERT_EQ(stored, Detail::gb2312ToUniWith(path, in.text, gotUnits.data(), room))
                << path.name << " length " << src.size() << " room " << room;
            ASSERT_EQ(units, gotUnits) << path.name << " length " << src.size();
            Bytes gotUtf8(static_cast<std::size_t>(room) + 1, 0xEE);
            ASSERT_EQ(utf8Count, Detail::gb2312ToUtf8With(path, in.text, gotUtf8.data(), room))
                << path.name << " length " << src.size() << " room " << room;
            ASSERT_EQ(utf8, gotUtf8) << path.name << " length " << src.size();
        }
    };
    for (std::size_t n = 0; n <= 600; ++n) {
        const std::string src = mixedGbk(rng, n);
        check(src, rng() % 64, static_cast<int>(3 * n + 2));
        check(src, rng() % 64, static_cast<int>(rng() % (n + 2)));
    }
    for (int round = 0; round < 10; ++round) {
        const std::string src =
            mixedGbk(rng, std::uniform_int_distribution<std::size_t>(601, 40000)(rng));
        check(src, rng() % 64, static_cast<int>(3 * src.size() + 2));
        check(src, rng() % 64, static_cast<int>(rng() % src.size()));
    }
}

TEST(Charset, EveryAsciiPathConvertsUtf8AsTheSteps)
{
    const auto paths = usableAsciiPaths();
    std::mt19937 rng(362);
    auto check = [&](const std::string& src, std::size_t align, int budget, int room) {
        const Placed in(src, align);
        // Reference: utf8_mbstowcs into scratch, then UniTGb2312.
        Units units(src.size() + 1, 0);
        const int count = src.empty() ? 0 : utf8_mbstowcs(units.data(), bytes(src), budget);
        std::vector<char> expected(static_cast<std::size_t>(room) + 1, 'X');
        const int result = src.empty() ? 0 : UniTGb2312(units.data(), count, expected.data(), room);
        for (const auto& path : paths) {
            std::vector<char> got(static_cast<std::size_t>(room) + 1, 'X');
            ASSERT_EQ(result,
                      Detail::utf8ToGb2312With(path, reinterpret_cast<unsigned char*>(in.text),
                                               got.data(), budget, room))
                << path.name << " length " << src.size() << " budget " << budget << " room "
                << room;
            ASSERT_EQ(expected, got) << path.name << " length " << src.size();
        }
    };
    for (std::size_t n = 0; n <= 600; ++n) {
        const std::string src = mixedUtf8(rng, n);
        const int size = static_cast<int>(n);
        check(src, rng() % 64, size + 8, size + 1);
        check(src, rng() % 64, static_cast<int>(rng() % (n + 2)),
              static_cast<int>(rng() % (n + 2)));
    }
    for (int round = 0; round < 10; ++round) {
        const std::string src =
            mixedUtf8(rng, std::uniform_int_distribution<std::size_t>(601, 40000)(rng));
        const int size = static_cast<int>(src.size());
        check(src, rng() % 64, size, size + 1);
        check(src, rng() % 64, static_cast<int>(rng() % src.size()),
              static_cast<int>(rng() % src.size()));
    }
    // Runs of three-byte characters, taken a block at a time by the vector paths: every
    // length and alignment, clean and with faults anywhere in or around a block, with room
    // and budget that are ample, exact or short.
    for (std::size_t n = 0; n <= 600; ++n) {
        const int size = static_cast<int>(n);
        const std::string clean = corruptedCjk(rng, n, 0);
        check(clean, n % 64, size + 8, size + 600);
        check(clean, rng() % 64, size, static_cast<int>(rng() % (n + 2)));
        const std::string faulty = corruptedCjk(rng, n, 1 + rng() % 3);
        check(faulty, rng() % 64, size + 8, size + 600);
        check(faulty, rng() % 64, static_cast<int>(rng() % (n + 2)),
              static_cast<int>(rng() % (n + 2)));
    }
    for (int round = 0; round < 40; ++round) {
        const std::size_t n = std::uniform_int_distribution<std::size_t>(601, 20000)(rng);
        const std::string src = corruptedCjk(rng, n, rng() % 4);
        const int size = static_cast<int>(n);
        check(src, rng() % 64, size, size + 1);
        check(src, rng() % 64, size - static_cast<int>(rng() % 600), 2 * size / 3 + 600);
        check(src, rng() % 64, static_cast<int>(rng() % n), static_cast<int>(rng() % n));
    }
}

TEST(Charset, NoAsciiPathReadsPastThePageWhereTheTextEnds)
{
    PageEdge edge;
    ASSERT_TRUE(edge.ok());
    std::mt19937 rng(363);
    for (std::size_t n = 1; n < 300; ++n) {
        std::string text = rng() % 3 == 0   ? std::string(n, 'a')
                           : rng() % 2 == 0 ? mixedGbk(rng, n)
                                            : corruptedCjk(rng, n, 0);
        text.push_back('\0');
        const char* at = reinterpret_cast<const char*>(edge.place(text.data(), text.size()));
        for (const auto& path : usableAsciiPaths()) {
            Units units(n + 1);
            ASSERT_LE(Detail::gb2312ToUniWith(path, at, units.data(), static_cast<int>(n + 1)),
                      static_cast<int>(n));
            Bytes utf8(3 * n + 1);
            ASSERT_GE(
                Detail::gb2312ToUtf8With(path, at, utf8.data(), static_cast<int>(utf8.size())), 0);
            std::vector<char> gbk(n + 1);
            Detail::utf8ToGb2312With(path, reinterpret_cast<const unsigned char*>(at), gbk.data(),
                                     static_cast<int>(n + 64), static_cast<int>(n + 1));
            // Budget and room enough for the unchecked chunks, which take the blocks.
            std::vector<char> roomy(n + 1024);
            Detail::utf8ToGb2312With(path, reinterpret_cast<const unsigned char*>(at), roomy.data(),
                                     static_cast<int>(n + 1024), static_cast<int>(roomy.size()));
        }
    }
}

TEST(Charset, EveryDoubleByteAndEveryUnitConvertAsTheStepsInLongText)
{
    // Every pair of a lead byte with a page and a nonzero trail byte, in one text long enough
    // for the conversions' unchecked chunks; pairs without a character give U+FFFD.
    std::string gbk;
    for (int lead = 0x81; lead <= 0xFE; ++lead) {
        for (int trail = 1; trail <= 0xFF; ++trail) {
            gbk += static_cast<char>(lead);
            gbk += static_cast<char>(trail);
        }
    }
    gbk += "\x80\xFF\x81"; // single bytes: the euro sign, U+00FF, a lead byte at the end
    Units all(gbk.size() + 1);
    const int count = Gb2312ToUni(gbk.c_str(), all.data(), static_cast<int>(all.size()));
    ASSERT_EQ(126 * 255 + 3, count);
    const int room = static_cast<int>(3 * gbk.size());
    Bytes expected(static_cast<std::size_t>(room));
    const int n = utf8_wcstombs(expected.data(), all.data(), room);
    // Every UCS-2 unit that has a code page 936 form, as UTF-8 text, and the bytes expected.
    std::string utf8, back;
    for (unsigned uni = 1; uni < 0x10000; ++uni) {
        unsigned char gb[2];
        const int k = uni2char(static_cast<unsigned short>(uni), gb, 2);
        if (k < 0)
            continue;
        unsigned char seq[3];
        utf8 += std::string(
            reinterpret_cast<char*>(seq),
            static_cast<std::size_t>(utf8_wctomb(seq, static_cast<unsigned short>(uni), 3)));
        back += std::string(reinterpret_cast<char*>(gb), static_cast<std::size_t>(k));
    }
    for (const auto& path : usableAsciiPaths()) {
        Bytes got(static_cast<std::size_t>(room));
        ASSERT_EQ(n, Detail::gb2312ToUtf8With(path, gbk.c_str(), got.data(), room)) << path.name;
        ASSERT_EQ(expected, got) << path.name;
        std::vector<char> gb(back.size() + 1, 'X');
        const int units =
            Detail::utf8ToGb2312With(path, bytes(utf8), gb.data(), static_cast<int>(utf8.size()),
                                     static_cast<int>(gb.size()));
        ASSERT_GT(units, 20000) << path.name;
        ASSERT_EQ(back, std::string(gb.data(), back.size())) << path.name;
        ASSERT_EQ('\0', gb.back());
    }
}

} // namespace
