// orlix conv against glibc's iconv program (CP936, CP1252), the documented differences, and
// the errors with their byte offsets.
#include "clitest.h"

#include <gtest/gtest.h>

#include <random>

namespace {

using namespace OrlixTest;

// Chinese text as UTF-8: ASCII, CJK punctuation and ideographs from U+4E00-U+9FA5, all of
// which code page 936 has. It opens with 49151 ASCII bytes so that a double byte (and a
// three-byte UTF-8 sequence) straddles the tool's 48 KiB chunk.
std::string chineseText()
{
    std::string text(49151, 'a');
    text += "\xE4\xB8\xAD\xE6\x96\x87"; // 中文
    const char* punctuation[] = {"\xE3\x80\x81", "\xE3\x80\x82", "\xEF\xBC\x8C",
                                 "\xE2\x80\x9C", "\xE2\x80\x9D", "\xE3\x80\x80"};
    std::mt19937 random(42);
    for (int i = 0; i < 40000; ++i) {
        const unsigned int pick = random() % 10, cp = 0x4E00 + random() % (0x9FA6 - 0x4E00);
        if (pick < 3)
            text += static_cast<char>(' ' + random() % 95);
        else if (pick == 3)
            text += punctuation[random() % 6];
        else
            text += {static_cast<char>(0xE0 | cp >> 12), static_cast<char>(0x80 | (cp >> 6 & 0x3F)),
                     static_cast<char>(0x80 | (cp & 0x3F))};
    }
    return text + "\n";
}

RunResult conv(const char* from, const char* to, const std::string& input)
{
    return orlix({"conv", "--from", from, "--to", to}, input);
}

TEST(CliConv, Utf8AndGbkAgreeWithIconvBothWays)
{
    const std::string utf8 = chineseText();
    const RunResult gbk = run({"iconv", "-f", "UTF-8", "-t", "CP936"}, utf8);
    ASSERT_EQ(0, gbk.status) << gbk.err;

    const RunResult toGbk = conv("utf8", "gbk", utf8);
    EXPECT_EQ(0, toGbk.status) << toGbk.err;
    EXPECT_TRUE(toGbk.out == gbk.out);
    const RunResult back = conv("gbk", "utf8", gbk.out);
    EXPECT_EQ(0, back.status) << back.err;
    EXPECT_TRUE(back.out == utf8);
    // The other spellings of the names, with --opt=value.
    EXPECT_TRUE(orlix({"conv", "--from=CP936", "--to=UTF-8"}, gbk.out).out == utf8);
}

TEST(CliConv, Utf8ToGbkFindsAFaultInLongValidTextAtItsOffset)
{
    // Valid runs are converted in bulk; a fault anywhere in them, also next to a chunk edge,
    // must still stop the conversion at its own offset, with everything before it written.
    const std::string text = chineseText();
    struct Fault
    {
        std::string bytes;
        std::string message; // after "at byte offset N"
    } faults[] = {
        {"\xE2\x82\xAC", " cannot be represented in gbk"},
        {"\xC3(", " (bytes c3)"},
        {"\xED\xA0\x80", " (bytes ed a0 80)"},
        {"\xE0\x9F\xBF", " (bytes e0 9f bf)"},
    };
    for (std::size_t at : {std::size_t(70), std::size_t(49146), std::size_t(49152),
                           std::size_t(98299), text.size() - 40}) {
        while ((static_cast<unsigned char>(text[at]) & 0xC0) == 0x80)
            ++at;
        const std::string before = text.substr(0, at);
        const RunResult expected = run({"iconv", "-f", "UTF-8", "-t", "CP936"}, before);
        ASSERT_EQ(0, expected.status) << expected.err;
        for (const Fault& fault : faults) {
            const RunResult result = conv("utf8", "gbk", before + fault.bytes + text.substr(at));
            EXPECT_EQ(1, result.status);
            const std::string what = fault.bytes[0] == '\xE2'
                                         ? "U+20AC at byte offset "
                                         : "invalid utf8 input at byte offset ";
            EXPECT_EQ("orlix: conv: " + what + std::to_string(at) + fault.message + "\n",
                      result.err);
            EXPECT_TRUE(result.out == expected.out) << at << fault.message;
        }
        // A zero byte is a character like any other.
        const std::string zero = before + std::string(1, '\0') + text.substr(at);
        const RunResult withZero = conv("utf8", "gbk", zero);
        EXPECT_EQ(0, withZero.status) << withZero.err;
        EXPECT_TRUE(withZero.out == run({"iconv", "-f", "UTF-8", "-t", "CP936"}, zero).out);
    }
}

TEST(CliConv, Cp1252AgreesWithIconvForEveryDefinedByteAndThroughUtf8)
{
    std::string cp1252;
    for (int b = 0; b < 256; ++b) {
        if (b != 0x81 && b != 0x8D && b != 0x8F && b != 0x90 && b != 0x9D)
            cp1252 += static_cast<char>(b);
    }
    const RunResult utf8 = run({"iconv", "-f", "CP1252", "-t", "UTF-8"}, cp1252);
    ASSERT_EQ(0, utf8.status) << utf8.err;
    EXPECT_EQ(utf8.out, conv("cp1252", "utf8", cp1252).out);
    EXPECT_EQ(cp1252, conv("utf8", "cp1252", utf8.out).out);

    // "Café à la crème, 2 × 1.5°" in code page 936, where the Latin letters, × and ° are
    // double bytes.
    const std::string gbk = "Caf\xA8\xA6 \xA8\xA4 la cr\xA8\xA8me, 2 \xA1\xC1 1.5\xA1\xE3\n";
    const RunResult reference = run({"iconv", "-f", "CP936", "-t", "CP1252"}, gbk);
    ASSERT_EQ(0, reference.status) << reference.err;
    EXPECT_EQ(reference.out, conv("gbk", "cp1252", gbk).out);
}

TEST(CliConv, DocumentedDifferencesFromIconv)
{
    // U+0080-U+00FF become single bytes in code page 936, where iconv writes a double byte
    // (for é, ·) or fails.
    EXPECT_EQ("Caf\xE9 \xB7", conv("utf8", "gbk", "Caf\xC3\xA9 \xC2\xB7").out);
    EXPECT_EQ("Caf\xE9", conv("cp1252", "gbk", "Caf\xE9").out);
    EXPECT_NE("Caf\xE9", run({"iconv", "-f", "UTF-8", "-t", "CP936"}, "Caf\xC3\xA9").out);
}

// By default the bytes code page 936 has no character for are errors, as in iconv; --lenient
// decodes them as the library does, to the code point of the same value.
TEST(CliConv, GbkBytesWithoutACharacterFailUnlessLenient)
{
    const std::string unmapped[] = {"\xFF", "z\x81", std::string("\x81\0", 2), "\xFE"};
    for (const std::string& input : unmapped) {
        EXPECT_EQ(1, conv("gbk", "utf8", input).status) << input;
        EXPECT_NE(0, run({"iconv", "-f", "CP936", "-t", "UTF-8"}, input).status) << input;
    }
    const RunResult lenient = orlix({"conv", "--lenient", "--from", "gbk", "--to", "utf8"},
                                    std::string("\xFFz\x81\0\xD6\xD0\x81", 7));
    EXPECT_EQ(0, lenient.status) << lenient.err;
    EXPECT_EQ(lenient.out, std::string("\xC3\xBFz\xC2\x81\0\xE4\xB8\xAD\xC2\x81", 11));
    EXPECT_EQ("", lenient.err);
    // --lenient changes nothing else: invalid UTF-8 and unrepresentable characters still fail.
    EXPECT_EQ(1, orlix({"conv", "--from", "utf8", "--to", "gbk", "--lenient"}, "\xE4\xB8").status);
    EXPECT_EQ(1,
              orlix({"conv", "--from", "utf8", "--to", "gbk", "--lenient"}, "\xE2\x82\xAC").status);
    EXPECT_NE(std::string::npos, orlix({"conv", "--help"}).out.find("--lenient"));
}

// A character split between two 48 KiB read chunks is whole; one the input ends inside is
// not, also when the input is an exact number of chunks.
TEST(CliConv, OnlyTheEndOfTheInputCutsACharacterShort)
{
    const std::size_t chunk = 48 * 1024;
    const std::string straddling = std::string(chunk - 1, 'a') + "\xD6\xD0";
    const RunResult whole = conv("gbk", "utf8", straddling);
    EXPECT_EQ(0, whole.status) << whole.err;
    EXPECT_TRUE(whole.out == std::string(chunk - 1, 'a') + "\xE4\xB8\xAD");
    const std::string utf8Straddling = std::string(chunk - 2, 'a') + "\xF0\x9F\x98\x80";
    EXPECT_EQ(0, conv("utf8", "utf8", utf8Straddling).status);

    const RunResult cut = conv("gbk", "utf8", std::string(chunk - 1, 'a') + "\xD6");
    EXPECT_EQ(1, cut.status);
    EXPECT_EQ(cut.err, "orlix: conv: incomplete gbk character at the end of the input, byte "
                       "offset 49151 (bytes d6)\n");
    EXPECT_TRUE(cut.out == std::string(chunk - 1, 'a'));
    const RunResult cutUtf8 = conv("utf8", "gbk", std::string(2 * chunk - 2, 'a') + "\xE4\xB8");
    EXPECT_EQ(1, cutUtf8.status);
    EXPECT_EQ(cutUtf8.err, "orlix: conv: incomplete utf8 character at the end of the input, "
                           "byte offset 98302 (bytes e4 b8)\n");
}

TEST(CliConv, BadInputAndUnrepresentableCharactersStopWithTheirOffset)
{
    struct Case
    {
        const char* from;
        const char* to;
        std::string input;
        std::string message;
    } cases[] = {
        {"utf8", "gbk", "ab\xE2\x82\xAC", "U+20AC at byte offset 2 cannot be represented in gbk"},
        {"utf8", "cp1252", "xy\xE4\xB8\xAD",
         "U+4E2D at byte offset 2 cannot be represented in cp1252"},
        {"utf8", "cp1252", "\xC2\x81", "U+0081 at byte offset 0 cannot be represented in cp1252"},
        {"utf8", "gbk", "\xF0\x9F\x98\x80",
         "U+1F600 at byte offset 0 cannot be represented in gbk"},
        {"gbk", "cp1252", "\xD6\xD0", "U+4E2D at byte offset 0 cannot be represented in cp1252"},
        {"utf8", "gbk", "ab\xC3(", "invalid utf8 input at byte offset 2 (bytes c3)"},
        {"utf8", "utf8", "\xED\xA0\x80", "invalid utf8 input at byte offset 0 (bytes ed a0 80)"},
        {"utf8", "utf8", "\xF8\x88\x80\x80\x80",
         "invalid utf8 input at byte offset 0 (bytes f8 88 80 80)"},
        {"gbk", "utf8", "z\x81 ", "invalid gbk input at byte offset 1 (bytes 81 20)"},
        {"gbk", "utf8", "ab\xFF\xA1", "invalid gbk input at byte offset 2 (bytes ff)"},
        {"gbk", "utf8", std::string("a\x81\0", 3),
         "invalid gbk input at byte offset 1 (bytes 81 00)"},
        {"gbk", "utf8", "abc\xB0",
         "incomplete gbk character at the end of the input, byte offset 3 (bytes b0)"},
        {"utf8", "gbk", "ab\xF0\x9F\x98",
         "incomplete utf8 character at the end of the input, byte offset 2 (bytes f0 9f 98)"},
        {"utf8", "gbk", "ab\xED\xA0", "invalid utf8 input at byte offset 2 (bytes ed a0)"},
        {"cp1252", "utf8", "ab\x9D", "invalid cp1252 input at byte offset 2 (bytes 9d)"},
        // Offsets keep counting across chunks.
        {"utf8", "gbk", std::string(60000, 'a') + "\xE2\x82\xAC",
         "U+20AC at byte offset 60000 cannot be represented in gbk"},
    };
    for (const Case& c : cases) {
        const RunResult result = conv(c.from, c.to, c.input);
        EXPECT_EQ(1, result.status) << c.message;
        EXPECT_EQ("orlix: conv: " + c.message + "\n", result.err);
        // What came before is converted (ASCII here, so it reads as it was).
        const std::size_t offset = std::stoul(c.message.substr(c.message.find("offset ") + 7));
        EXPECT_TRUE(result.out == c.input.substr(0, offset)) << c.message;
    }
    // Outside UCS-2 is fine when the target is UTF-8.
    EXPECT_EQ("\xF0\x9F\x98\x80", conv("utf8", "utf8", "\xF0\x9F\x98\x80").out);
}

} // namespace
