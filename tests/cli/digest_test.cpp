// orlix md5|sha1|crc16|crc32 against md5sum, sha1sum, zlib and a bitwise CRC-16.
#include "clitest.h"

#include "support/testsupport.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdio>

namespace {

using namespace OrlixTest;

// Sizes around the 64-byte digest block and the tool's 48 KiB read chunk, and one large file.
const std::size_t kSizes[] = {0, 1, 55, 56, 64, 49151, 49152, 49153, 1000003};

std::string crcLine(unsigned long value, int digits, const std::string& name)
{
    char text[16];
    std::snprintf(text, sizeof(text), "%0*lx", digits, value);
    return std::string(text) + "  " + name + "\n";
}

// CRC-16/ARC one bit at a time: an implementation independent of the library's table.
unsigned int crc16Bitwise(const std::string& data)
{
    unsigned int crc = 0;
    for (unsigned char byte : data) {
        crc ^= byte;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) != 0 ? (crc >> 1) ^ 0xA001 : crc >> 1;
    }
    return crc;
}

class CliDigestFiles : public ::testing::Test
{
protected:
    void SetUp() override
    {
        unsigned int seed = 1;
        for (std::size_t size : kSizes) {
            const std::string path = m_dir.file("file" + std::to_string(size) + ".bin");
            m_contents.push_back(randomBytes(size, seed++));
            ASSERT_TRUE(writeFile(path, m_contents.back()));
            m_paths.push_back(path);
        }
    }

    std::vector<std::string> argsWithFiles(const std::string& command) const
    {
        std::vector<std::string> args{command};
        args.insert(args.end(), m_paths.begin(), m_paths.end());
        return args;
    }

    TempDir m_dir;
    std::vector<std::string> m_paths;
    std::vector<std::string> m_contents;
};

TEST_F(CliDigestFiles, Md5AndSha1PrintWhatCoreutilsPrints)
{
    for (const char* tool : {"md5", "sha1"}) {
        std::vector<std::string> reference{std::string(tool) + "sum"};
        reference.insert(reference.end(), m_paths.begin(), m_paths.end());
        const RunResult expected = run(reference);
        ASSERT_EQ(0, expected.status) << expected.err;

        const RunResult actual = orlix(argsWithFiles(tool));
        EXPECT_EQ(0, actual.status) << actual.err;
        EXPECT_EQ(expected.out, actual.out) << tool;
        EXPECT_EQ("", actual.err);
    }
}

TEST_F(CliDigestFiles, CrcsMatchIndependentImplementations)
{
    std::string crc16Expected, crc32Expected;
    for (std::size_t i = 0; i < m_paths.size(); ++i) {
        const std::string& data = m_contents[i];
        crc16Expected += crcLine(crc16Bitwise(data), 4, m_paths[i]);
        const uLong zlibCrc =
            ::crc32(::crc32(0L, Z_NULL, 0), reinterpret_cast<const Bytef*>(data.data()),
                    static_cast<uInt>(data.size()));
        crc32Expected += crcLine(zlibCrc, 8, m_paths[i]);
    }
    EXPECT_EQ(crc16Expected, orlix(argsWithFiles("crc16")).out);
    EXPECT_EQ(crc32Expected, orlix(argsWithFiles("crc32")).out);
}

TEST(CliDigest, StandardInputIsNamedDashAlsoWhenGivenAsDash)
{
    EXPECT_EQ("bb3d  -\n", orlix({"crc16"}, "123456789").out);
    EXPECT_EQ("a9993e364706816aba3e25717850c26c9cd0d89d  -\n", orlix({"sha1", "-"}, "abc").out);
}

TEST(CliDigest, NamesWithBackslashOrNewlineAreEscapedLikeMd5sum)
{
    TempDir dir;
    const std::string odd = dir.file("back\\slash"), newline = dir.file("new\nline");
    ASSERT_TRUE(writeFile(odd, "x"));
    ASSERT_TRUE(writeFile(newline, "y"));
    const RunResult expected = run({"md5sum", odd, newline});
    ASSERT_EQ(0, expected.status);
    EXPECT_EQ(expected.out, orlix({"md5", odd, newline}).out);
    EXPECT_EQ('\\', expected.out[0]); // the reference really escaped something
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
