// Files beyond 4 GiB and transfers beyond the 32-bit limit.
#include "files/memfs.h"
#include "support/testsupport.h"

#include "infra/file.h"
#include "infra/filefind.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
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

// A hooked file system under "sparse:" with one file of any length: the bytes put at chosen
// offsets, zeros everywhere else. It lets a test place data beyond 4 GiB without writing it.
class SparseFs : public OrlixTest::StubFs
{
public:
    int64 length = 0;
    bool failStat = false;
    int64 position = 0;

    SparseFs() { hookFileSystem("sparse:", this); }
    ~SparseFs() override { hookFileSystem("sparse:", nullptr); }
    void put(int64 offset, const std::string& bytes) { m_extents[offset] = bytes; }

    void* fopen(const char*, const char*) override
    {
        position = 0;
        return this;
    }
    int fclose(void*) override { return 0; }
    std::size_t fread(void* buf, std::size_t size, std::size_t count, void*) override
    {
        const int64 wanted = static_cast<int64>(size * count);
        const int64 n = std::max<int64>(0, std::min(wanted, length - position));
        char* out = static_cast<char*>(buf);
        std::memset(out, 0, static_cast<std::size_t>(n));
        for (const auto& extent : m_extents) {
            for (std::size_t i = 0; i < extent.second.size(); ++i) {
                const int64 at = extent.first + static_cast<int64>(i) - position;
                if (at >= 0 && at < n)
                    out[at] = extent.second[i];
            }
        }
        position += n;
        return static_cast<std::size_t>(n) / size;
    }
    int fseek(void* file, long offset, int whence) override
    {
        return fseek64(file, offset, whence);
    }
    long ftell(void*) override { return static_cast<long>(position); }
    int fseek64(void*, int64 offset, int whence) override
    {
        const int64 base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? position : length;
        if (base + offset < 0)
            return -1;
        position = base + offset;
        return 0;
    }
    int64 ftell64(void*) override { return position; }
    int stat(const char*, FileInfo* out) override
    {
        if (failStat)
            return -1;
        *out = FileInfo();
        out->size = static_cast<Orlix::uint64>(length);
        return 0;
    }

private:
    std::map<int64, std::string> m_extents;
};

constexpr int64 k4G = int64(1) << 32;

} // namespace

// CFile reports low 32 bits, but the stream must always be where the object says it is: a
// seek back from beyond 4 GiB to an offset equal to the low bits of the position is a move.
TEST(LargeFile, NarrowSeeksBackFromBeyondFourGiBReallyMove)
{
    SparseFs fs;
    fs.length = k4G + 8;
    fs.put(0, "head1234");
    fs.put(k4G, "tail5678");
    CFile file;
    ASSERT_TRUE(file.open("sparse:/big", CFile::accessRead));
    EXPECT_EQ(file.getLength(), 8u);
    char buf[8] = {};
    EXPECT_EQ(file.seek(long(k4G), CFile::seekBegin), 0u);
    ASSERT_EQ(file.read(buf, 4), 4);
    EXPECT_EQ(std::string(buf, 4), "tail");
    EXPECT_EQ(file.getPosition(), 4u);
    EXPECT_EQ(fs.position, k4G + 4);

    // Position 4 GiB + 4 reports 4; going to 4 must leave 4 GiB behind.
    EXPECT_EQ(file.seek(4, CFile::seekBegin), 4u);
    EXPECT_EQ(fs.position, 4);
    ASSERT_EQ(file.read(buf, 4), 4);
    EXPECT_EQ(std::string(buf, 4), "1234");

    // From the end (4 GiB + 8, reported 8) back to 8 from the start: a move as well.
    EXPECT_EQ(file.seek(0, CFile::seekEnd), 8u);
    EXPECT_EQ(file.seek(0, CFile::seekBegin), 0u);
    EXPECT_EQ(file.seek(8, CFile::seekCurrent), 8u);
    EXPECT_EQ(fs.position, 8);
    ASSERT_EQ(file.read(buf, 4), 4);
    EXPECT_EQ(std::string(buf, 4), std::string(4, '\0')) << "after \"head1234\": the hole";
}

// A file of an exact multiple of 4 GiB has a reported length of 0; learning the real length
// (stat or the seek to the end and back) must leave the stream at the position it reports.
TEST(LargeFile, NarrowLengthOfAMultipleOfFourGiBLeavesTheStreamWhereItWas)
{
    SparseFs fs;
    fs.length = 2 * k4G;
    fs.put(0, "head");
    fs.put(k4G, "tail");
    char buf[4] = {};
    for (bool failStat : {false, true}) {
        SCOPED_TRACE(failStat ? "length learnt by seeking" : "length from stat");
        fs.failStat = failStat;
        CFile file;
        ASSERT_TRUE(file.open("sparse:/big", CFile::accessRead));
        EXPECT_EQ(file.getLength(), 0u);
        EXPECT_EQ(file.getPosition(), 0u);
        EXPECT_EQ(fs.position, 0);
        ASSERT_EQ(file.read(buf, 4), 4);
        EXPECT_EQ(std::string(buf, 4), "head");
        file.close();

        CLfsFile lfs;
        ASSERT_TRUE(lfs.open("sparse:/big", CFile::accessRead));
        EXPECT_EQ(lfs.seek(k4G, CFile::seekBegin), k4G);
        EXPECT_EQ(lfs.getLength(), 2 * k4G);
        EXPECT_EQ(lfs.getPosition(), k4G);
        ASSERT_EQ(lfs.read(buf, 4), 4);
        EXPECT_EQ(std::string(buf, 4), "tail");
    }
    // A narrow file whose length is learnt while it stands beyond 4 GiB returns there.
    fs.failStat = true;
    CFile file;
    ASSERT_TRUE(file.open("sparse:/big", CFile::accessRead));
    file.seek(long(k4G), CFile::seekBegin);
    EXPECT_EQ(file.getLength(), 0u);
    EXPECT_EQ(fs.position, k4G);
    ASSERT_EQ(file.read(buf, 4), 4);
    EXPECT_EQ(std::string(buf, 4), "tail");
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
