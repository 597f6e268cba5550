// orlix base64 against coreutils' base64 -w0, and its decoder's checks.
#include "clitest.h"

#include <gtest/gtest.h>

namespace {

using namespace OrlixTest;

TEST(CliBase64, EncodesLikeCoreutilsOnOneLineAndRoundTrips)
{
    // Every padding case, and sizes on both sides of the 48 KiB chunk.
    for (std::size_t size : {0, 1, 2, 3, 49151, 49152, 49153}) {
        const std::string data = randomBytes(size, static_cast<unsigned int>(size));
        const RunResult reference = run({"base64", "-w0"}, data);
        ASSERT_EQ(0, reference.status);
        const RunResult encoded = orlix({"base64"}, data);
        EXPECT_EQ(0, encoded.status) << encoded.err;
        EXPECT_EQ(reference.out + "\n", encoded.out) << "size " << size;
        const RunResult decoded = orlix({"base64", "-d"}, encoded.out);
        EXPECT_EQ(0, decoded.status) << decoded.err;
        EXPECT_TRUE(decoded.out == data) << "size " << size;
    }
    // Wrapped text (76 columns), white space anywhere, padding optional.
    const std::string data = randomBytes(100000, 7);
    EXPECT_TRUE(orlix({"base64", "--decode"}, run({"base64"}, data).out).out == data);
    EXPECT_EQ("abc", orlix({"base64", "-d"}, " Y W\r\nJ\tj \n\n").out);
    EXPECT_EQ("ab", orlix({"base64", "-d"}, "YWI=\n").out);
    EXPECT_EQ("ab", orlix({"base64", "-d"}, "YWI").out);
    EXPECT_EQ("a", orlix({"base64", "-d"}, "YQ=\n=").out);
}

TEST(CliBase64, MalformedInputIsRejectedWithItsOffset)
{
    const char* cases[][2] = {
        {"YWJj\nYW*j", "invalid character '*' (0x2a) at byte offset 7"},
        {"YW\x80j", "invalid byte 0x80 at byte offset 2"},
        {"YQ==YQ==", "data after the padding at byte offset 4"},
        {"Y===", "misplaced '=' at byte offset 1"},
        {"YWJ==", "misplaced '=' at byte offset 4"},
        {"YWJjY", "truncated input: a lone character after the last complete group"},
        {"YQ=", "incomplete padding at the end of the input"},
    };
    for (const auto& c : cases) {
        const RunResult result = orlix({"base64", "-d"}, c[0]);
        EXPECT_EQ(1, result.status) << c[0];
        EXPECT_EQ(std::string("orlix: base64: ") + c[1] + "\n", result.err) << c[0];
    }
}

} // namespace
