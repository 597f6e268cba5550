// orlix base64 against coreutils' base64 -w0, and its decoder's checks.
#include "clitest.h"

#include <gtest/gtest.h>

namespace {

using namespace OrlixTest;

TEST(CliBase64, EncodesLikeCoreutilsOnOneLineAndRoundTrips)
{
    // Every padding case, and sizes on both sides of the 48 KiB chunk.
    unsigned int seed = 100;
    for (std::size_t size : {0, 1, 2, 3, 49151, 49152, 49153}) {
        const std::string data = randomBytes(size, seed++);
        const RunResult reference = run({"base64", "-w0"}, data);
        ASSERT_EQ(0, reference.status);
        const RunResult encoded = orlix({"base64"}, data);
        EXPECT_EQ(0, encoded.status) << encoded.err;
        EXPECT_EQ(reference.out + "\n", encoded.out) << "size " << size;

        const RunResult decoded = orlix({"base64", "-d"}, encoded.out);
        EXPECT_EQ(0, decoded.status) << decoded.err;
        EXPECT_TRUE(decoded.out == data) << "size " << size;
    }
}

TEST(CliBase64, DecodesWrappedTextAndIgnoresWhiteSpace)
{
    const std::string data = randomBytes(100000, 7);
    const RunResult wrapped = run({"base64"}, data); // 76 columns
    ASSERT_EQ(0, wrapped.status);
    EXPECT_TRUE(orlix({"base64", "--decode"}, wrapped.out).out == data);
    EXPECT_EQ("abc", orlix({"base64", "-d"}, " Y W\r\nJ\tj \n\n").out);
    EXPECT_EQ("ab", orlix({"base64", "-d"}, "YWI=\n").out);
    EXPECT_EQ("ab", orlix({"base64", "-d"}, "YWI").out); // padding may be left out
    EXPECT_EQ("a", orlix({"base64", "-d"}, "YQ=\n=").out);
}

TEST(CliBase64, MalformedInputIsRejectedWithItsOffset)
{
    struct Case
    {
        const char* input;
        const char* message;
    } cases[] = {
        {"YWJj\nYW*j", "orlix: base64: invalid character '*' (0x2a) at byte offset 7\n"},
        {"YW\x80j", "orlix: base64: invalid byte 0x80 at byte offset 2\n"},
        {"YQ==YQ==", "orlix: base64: data after the padding at byte offset 4\n"},
        {"Y===", "orlix: base64: misplaced '=' at byte offset 1\n"},
        {"YWJ==", "orlix: base64: misplaced '=' at byte offset 4\n"},
        {"YWJjY", "orlix: base64: truncated input: a lone character after the last complete "
                  "group\n"},
        {"YQ=", "orlix: base64: incomplete padding at the end of the input\n"},
    };
    for (const Case& c : cases) {
        const RunResult result = orlix({"base64", "-d"}, c.input);
        EXPECT_EQ(1, result.status) << c.input;
        EXPECT_EQ(c.message, result.err) << c.input;
    }
}

} // namespace
