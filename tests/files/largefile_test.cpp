// Files beyond 4 GiB and transfers beyond the 32-bit limit.
#include "files/memfs.h"
#include "support/testsupport.h"

#include "infra/file.h"
#include "infra/filefind.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

using namespace Orlix::Infra;
using Orlix::int64;
using OrlixTest::PrintCapture;
using OrlixTest::TempDir;

namespace {

constexpr int64 kFar = int64(5) << 30; // 5 GiB
constexpr int64 kSize = kFar + 4;      // "tail" written at kFar
constexpr unsigned int kLow32 = static_cast<unsigned int>(kSize & 0xFFFFFFFF);

// True when a hole in a file on this file system takes no space.
bool supportsSparseFiles(const std::string& dir)
{
    const std::string probe = dir + "/probe";
    std::FILE* f = std::fopen(probe.c_str(), "wb");
    if (f == nullptr)
        return false;
    const bool written = std::fseek(f, 64L << 20, SEEK_SET) == 0 && std::fputc('x', f) == 'x';
    std::fclose(f);
    struct stat st;
    const bool sparse =
        written && ::stat(probe.c_str(), &st) == 0 && st.st_blocks * 512 < (1 << 20);
    std::remove(probe.c_str());
    return sparse;
}

} // namespace

TEST(LargeFile, SixtyFourBitPositionsAndLowThirtyTwoBitReports)
{
    TempDir dir;
    if (!supportsSparseFiles(dir.path()))
        GTEST_SKIP() << "the temporary directory's file system has no sparse files";
    const std::string path = dir.file("sparse");

    CLfsFile lfs;
    ASSERT_TRUE(lfs.open(path.c_str(), CFile::accessReadWrite | CFile::openCreate));
    ASSERT_EQ(lfs.write("head", 4), 4);
    ASSERT_EQ(lfs.seek(kFar, CFile::seekBegin), kFar);
    if (lfs.write("tail", 4) != 4)
        GTEST_SKIP() << "the file system refuses a file of 5 GiB";
    EXPECT_EQ(lfs.getPosition(), kSize);
    EXPECT_EQ(lfs.getLength(), kSize);
    lfs.close();

    ASSERT_TRUE(lfs.open(path.c_str(), CFile::accessRead));
    EXPECT_EQ(lfs.getLength(), kSize);
    EXPECT_EQ(lfs.seek(-4, CFile::seekEnd), kFar);
    char buf[8] = {};
    EXPECT_EQ(lfs.read(buf, 4), 4);
    EXPECT_STREQ(buf, "tail");
    EXPECT_EQ(lfs.getPosition(), kSize);
    EXPECT_EQ(lfs.seek(int64(1) << 32, CFile::seekBegin), int64(1) << 32);
    EXPECT_EQ(lfs.read(buf, 4), 4);
    EXPECT_EQ(std::memcmp(buf, "\0\0\0\0", 4), 0); // the hole reads as zeros
    lfs.close();

    FileInfo info = FileInfo();
    ASSERT_TRUE(CLfsFile::stat(path.c_str(), info));
    EXPECT_EQ(info.size, static_cast<Orlix::uint64>(kSize));

    // The 32-bit class reports the low 32 bits of the length and of positions.
    CFile narrow;
    ASSERT_TRUE(narrow.open(path.c_str(), CFile::accessRead));
    EXPECT_EQ(narrow.getLength(), kLow32);
    EXPECT_EQ(narrow.seek(0, CFile::seekEnd), kLow32);
    EXPECT_EQ(narrow.getPosition(), kLow32);
    // An offset beyond 4 GiB whose low bits equal the position is still a real move.
    EXPECT_EQ(narrow.seek(0, CFile::seekBegin), 0u);
    EXPECT_EQ(narrow.seek(long(1) << 32, CFile::seekBegin), 0u);
    EXPECT_EQ(narrow.read(buf, 1), 1);
    EXPECT_EQ(buf[0], '\0') << "read at 4 GiB (the hole), not at 0 (\"head\")";
    narrow.close();

    CFileFind find;
    ASSERT_TRUE(find.findFile(path.c_str()));
    EXPECT_EQ(find.getLength(), kLow32);
    FileInfo found = FileInfo();
    const long handle = FileDefaultOpt::instance()->findfirst(path.c_str(), &found);
    ASSERT_NE(handle, -1);
    EXPECT_EQ(found.size, kLow32); // the search's size field is 32 bits wide
    FileDefaultOpt::instance()->findclose(handle);
}

namespace {

// Records the piece sizes of transfers and is hooked under "rec:" while it lives; never
// touches the buffers, so transfers larger than memory can be described. Pieces after the
// first `fullPieces` return `lastResult`.
class PieceRecorder : public OrlixTest::StubFs
{
public:
    std::vector<std::size_t> reads, writes;
    int fullPieces = 1000;
    std::size_t lastResult = 0;
    int64 position = 0;

    PieceRecorder() { hookFileSystem("rec:", this); }
    ~PieceRecorder() override { hookFileSystem("rec:", nullptr); }
    void* fopen(const char*, const char*) override { return this; }
    int fclose(void*) override { return 0; }
    std::size_t fread(void*, std::size_t size, std::size_t count, void*) override
    {
        return record(reads, size * count);
    }
    std::size_t fwrite(const void*, std::size_t size, std::size_t count, void*) override
    {
        return record(writes, size * count);
    }
    long ftell(void*) override { return static_cast<long>(position); }
    int64 ftell64(void*) override { return position; }

private:
    std::size_t record(std::vector<std::size_t>& pieces, std::size_t asked)
    {
        pieces.push_back(asked);
        const std::size_t done = static_cast<int>(pieces.size()) <= fullPieces ? asked : lastResult;
        position += static_cast<int64>(done);
        return done;
    }
};

constexpr int64 kBig = int64(ORLIX_MAX_INT_VALUE) + 6; // one full piece and 6 bytes

} // namespace

TEST(LargeTransfer, LfsSplitsAtTheIntLimit)
{
    PieceRecorder recorder;
    CLfsFile file;
    ASSERT_TRUE(file.open("rec:/f", CFile::accessReadWrite));
    char byte = 0;
    EXPECT_EQ(file.write(&byte, kBig), kBig);
    EXPECT_EQ(recorder.writes, (std::vector<std::size_t>{std::size_t(ORLIX_MAX_INT_VALUE), 6}));
    EXPECT_EQ(file.getPosition(), kBig);
    EXPECT_EQ(file.getLength(), kBig);

    EXPECT_EQ(file.read(&byte, kBig), kBig);
    EXPECT_EQ(recorder.reads, recorder.writes);
    EXPECT_EQ(file.getPosition(), 2 * kBig);
}

TEST(LargeTransfer, FailedPiecesEndTheTransferAndAreLogged)
{
    PieceRecorder recorder;
    PrintCapture capture;
    CLfsFile file;
    ASSERT_TRUE(file.open("rec:/f", CFile::accessReadWrite));
    char byte = 0;

    recorder.fullPieces = 1; // the second piece transfers nothing
    EXPECT_EQ(file.write(&byte, kBig), int64(ORLIX_MAX_INT_VALUE));
    EXPECT_TRUE(capture.contains("fwrite get error,total 2147483653 has write 2147483647,"
                                 "expected 6 return 0"));
    EXPECT_EQ(file.getPosition(), int64(ORLIX_MAX_INT_VALUE));

    recorder.lastResult = static_cast<std::size_t>(-1); // an error result
    EXPECT_EQ(file.read(&byte, kBig), int64(ORLIX_MAX_INT_VALUE));
    EXPECT_TRUE(capture.contains("fread get error,total 2147483653 has read 2147483647,"
                                 "expected 6 return 18446744073709551615\n"));
    EXPECT_EQ(recorder.reads.size(), 2u);
}

TEST(LargeTransfer, ShortCFileWriteIsLoggedAndCounted)
{
    PieceRecorder recorder;
    PrintCapture capture;
    recorder.fullPieces = 0;
    recorder.lastResult = 4;
    CFile file;
    ASSERT_TRUE(file.open("rec:/f", CFile::accessWrite));
    EXPECT_EQ(file.write("0123456789", 10), 4);
    EXPECT_TRUE(capture.contains("fwrite failed, expected:10, actual:4,errno="));
    EXPECT_EQ(file.getPosition(), 4u);
    EXPECT_EQ(file.getLength(), 4u);
}
