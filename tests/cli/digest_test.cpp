// orlix md5|sha1|crc16|crc32 against md5sum, sha1sum, zlib (a bitwise CRC-32 where zlib is
// not there for the target) and a bitwise CRC-16.
#include "clitest.h"

#include "support/testsupport.h"

#include <gtest/gtest.h>
#if ORLIX_TEST_HAVE_ZLIB
#include <zlib.h>
#endif

#include <cstdio>

namespace {

using namespace OrlixTest;

// zlib's CRC-32, or CRC-16/ARC one bit at a time: independent of the library's tables.
std::string crcHex(const std::string& command, const std::string& data)
{
    char text[16];
    if (command == "crc32") {
#if ORLIX_TEST_HAVE_ZLIB
        std::snprintf(text, sizeof(text), "%08lx",
                      ::crc32(0L, reinterpret_cast<const Bytef*>(data.data()),
                              static_cast<uInt>(data.size())));
#else
        unsigned long crc = 0xFFFFFFFFul;
        for (unsigned char byte : data) {
            crc ^= byte;
            for (int bit = 0; bit < 8; ++bit)
                crc = (crc & 1) != 0 ? (crc >> 1) ^ 0xEDB88320ul : crc >> 1;
        }
        std::snprintf(text, sizeof(text), "%08lx", crc ^ 0xFFFFFFFFul);
#endif
        return text;
    }
    unsigned int crc = 0;
    for (unsigned char byte : data) {
        crc ^= byte;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) != 0 ? (crc >> 1) ^ 0xA001 : crc >> 1;
    }
    std::snprintf(text, sizeof(text), "%04x", crc);
    return text;
}

TEST(CliDigest, FilesAndStandardInputGiveTheReferenceLines)
{
    // Sizes around the 64-byte digest block and the tool's 48 KiB read chunk, and one large
    // file; the first is also fed through standard input.
    TempDir dir;
    std::vector<std::string> paths, contents;
    for (std::size_t size : {55, 0, 1, 56, 64, 49151, 49152, 49153, 1000003}) {
        paths.push_back(dir.file("file" + std::to_string(size) + ".bin"));
        contents.push_back(randomBytes(size, static_cast<unsigned int>(size)));
        ASSERT_TRUE(writeFile(paths.back(), contents.back()));
    }
    for (const std::string command : {"md5", "sha1", "crc16", "crc32"}) {
        std::vector<std::string> args{command + "sum"};
        args.insert(args.end(), paths.begin(), paths.end());
        std::string expected;
        if (command == "md5" || command == "sha1") {
            const RunResult reference = run(args);
            ASSERT_EQ(0, reference.status) << reference.err;
            expected = reference.out;
        } else {
            for (std::size_t i = 0; i < paths.size(); ++i)
                expected += crcHex(command, contents[i]) + "  " + paths[i] + "\n";
        }
        args[0] = command;
        const RunResult actual = orlix(args);
        EXPECT_EQ(0, actual.status) << actual.err;
        EXPECT_EQ(expected, actual.out) << command;
        EXPECT_EQ("", actual.err);

        const std::string stdinLine = expected.substr(0, expected.find("  ")) + "  -\n";
        EXPECT_EQ(stdinLine, orlix({command}, contents[0]).out) << command;
        EXPECT_EQ(stdinLine, orlix({command, "-"}, contents[0]).out) << command;
    }
}

TEST(CliDigest, NamesWithBackslashOrNewlineAreEscapedLikeMd5sum)
{
    TempDir dir;
    const std::string odd = dir.file("back\\slash"), newline = dir.file("new\nline");
    ASSERT_TRUE(writeFile(odd, "x") && writeFile(newline, "y"));
    const RunResult expected = run({"md5sum", odd, newline});
    ASSERT_EQ('\\', expected.out[0]); // the reference really escaped something
    EXPECT_EQ(expected.out, orlix({"md5", odd, newline}).out);
}

TEST(CliDigest, UnreadableInputsAreReportedAndTheOthersStillSummed)
{
    TempDir dir;
    const std::string good = dir.file("good"), missing = dir.file("missing");
    ASSERT_TRUE(writeFile(good, "abc"));
    const RunResult result = orlix({"md5", missing, good, dir.path()});
    EXPECT_EQ(1, result.status);
    EXPECT_EQ("900150983cd24fb0d6963f7d28e17f72  " + good + "\n", result.out);
    EXPECT_EQ("orlix: " + missing + ": No such file or directory\norlix: " + dir.path() +
                  ": Is a directory\n",
              result.err);
}

} // namespace
