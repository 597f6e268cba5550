// CFile and CLfsFile, each against the real file system and against a hooked MemFs: the
// same behaviour is expected from both, since the objects only talk to IFileSystem.
#include "files/backends.h"

#include "infra/error.h"
#include "infra/file.h"
#include "infra/filefind.h"
#include "infra3/file_internal.h"
#include "infra3/singleton.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

// A load of a length no allocation can satisfy must come back as null, also in the
// address- and thread-sanitizer builds, whose allocators otherwise end the process instead.
#if defined(__SANITIZE_ADDRESS__)
#define ORLIX_TEST_ASAN 1
#elif defined(__SANITIZE_THREAD__)
#define ORLIX_TEST_TSAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ORLIX_TEST_ASAN 1
#elif __has_feature(thread_sanitizer)
#define ORLIX_TEST_TSAN 1
#endif
#endif
#ifdef ORLIX_TEST_ASAN
extern "C" const char* __asan_default_options()
{
    return "allocator_may_return_null=1";
}
#endif
#ifdef ORLIX_TEST_TSAN
extern "C" const char* __tsan_default_options()
{
    return "allocator_may_return_null=1";
}
#endif

using namespace Orlix::Infra;
using Orlix::int64;
using OrlixTest::MemFs;
using OrlixTest::PrintCapture;
using OrlixTest::TempDir;

// Two objects must never share one open stream.
static_assert(!std::is_copy_constructible<CFile>::value && !std::is_copy_assignable<CFile>::value);
static_assert(!std::is_copy_constructible<CLfsFile>::value &&
              !std::is_copy_assignable<CLfsFile>::value);

namespace {

constexpr const char* kFileNames[] = {"CFile", "CLfsFile"};
using Combos = OrlixTest::BothBackends<CFile, CLfsFile>;

// Positions, lengths and counts of both classes compared as one type.
template <class T>
long long ll(T value)
{
    return static_cast<long long>(value);
}
using Pos = std::pair<long long, long long>;

template <class C>
class FileObject : public ::testing::Test
{
protected:
    using File = typename C::Object;
    using Backend = typename C::Backend;
    static constexpr bool kLfs = std::is_same<File, CLfsFile>::value;

    std::string path(const std::string& name) const { return backend.path(name); }
    // Position and length, compared as one.
    static Pos at(File& file) { return {ll(file.getPosition()), ll(file.getLength())}; }

    typename C::Backend backend;
    PrintCapture capture; // error lines of short transfers stay off the console
};

TYPED_TEST_SUITE(FileObject, Combos, OrlixTest::ComboNames<kFileNames>);

// What opening an existing "hello" with a set of flags must do.
struct ModeCase
{
    unsigned int flags;
    bool opensMissing;      // a missing file is created
    long long lengthAtOpen; // the length reported right after opening "hello"
    bool readsHello;        // a read from the start returns "hello"
    const char* afterWrite; // the file after writing "XY" right after opening
};

const ModeCase kModeCases[] = {
    {FileModes::accessRead, false, 5, true, "hello"},
    {FileModes::accessRead | FileModes::openCreate, false, 5, true, "hello"},
    {FileModes::accessWrite, true, 0, false, "XY"},
    {FileModes::accessWrite | FileModes::openCreate, true, 0, false, "XY"},
    {FileModes::accessWrite | FileModes::openNoTruncate, true, 5, false, "helloXY"},
    {FileModes::accessWrite | FileModes::openCreate | FileModes::openNoTruncate, true, 5, false,
     "helloXY"},
    {FileModes::accessReadWrite, false, 5, true, "XYllo"},
    {FileModes::accessReadWrite | FileModes::openNoTruncate, false, 5, true, "XYllo"},
    {FileModes::accessReadWrite | FileModes::openCreate, true, 0, false, "XY"},
    {FileModes::accessReadWrite | FileModes::openCreate | FileModes::openNoTruncate, true, 5, true,
     "helloXY"},
};

} // namespace

TYPED_TEST(FileObject, OpenFlagsChooseCreateTruncateAppendOrReadOnly)
{
    for (const ModeCase& mode : kModeCases) {
        SCOPED_TRACE("flags 0x" + std::to_string(mode.flags));
        typename TestFixture::File file;

        EXPECT_EQ(file.open(this->path("missing").c_str(), mode.flags), mode.opensMissing);
        EXPECT_EQ(file.isOpen(), mode.opensMissing);
        file.close();
        EXPECT_EQ(this->backend.exists("missing"), mode.opensMissing);
        if (mode.opensMissing) {
            EXPECT_EQ(this->backend.contents("missing"), "");
        }
        CFile::remove(this->path("missing").c_str());

        this->backend.put("f", "hello");
        ASSERT_TRUE(file.open(this->path("f").c_str(), mode.flags));
        EXPECT_EQ(ll(file.getLength()), mode.lengthAtOpen);
        const bool writable = std::string(mode.afterWrite) != "hello";
        EXPECT_EQ(ll(file.write("XY", 2)), writable ? 2 : 0);
        file.close();
        EXPECT_EQ(this->backend.contents("f"), mode.afterWrite);

        this->backend.put("f", "hello");
        ASSERT_TRUE(file.open(this->path("f").c_str(), mode.flags));
        char buf[8] = {};
        EXPECT_EQ(ll(file.read(buf, 5)), mode.readsHello ? 5 : 0);
        EXPECT_EQ(std::string(buf), mode.readsHello ? "hello" : "");
    }
}

// Every open closes the file that was open, writing out what was buffered, also when the
// new open is refused for an access value that names no mode.
TYPED_TEST(FileObject, ReopeningClosesTheEarlierFileAndModelessAccessIsRefused)
{
    typename TestFixture::File file;
    ASSERT_TRUE(file.open(this->path("a").c_str(), CFile::accessWrite | CFile::openCreate));
    file.write("abc", 3);
    ASSERT_TRUE(file.open(this->path("b").c_str(), CFile::accessWrite | CFile::openCreate));
    EXPECT_EQ(this->backend.contents("a"), "abc");
    EXPECT_EQ(ll(file.getPosition()), 0);
    file.write("de", 2);
    this->backend.put("other", "keep");
    for (unsigned int access = 3; access <= 15; ++access) {
        EXPECT_FALSE(file.open(this->path("other").c_str(), access | CFile::openCreate));
        EXPECT_FALSE(file.isOpen());
    }
    EXPECT_EQ(this->backend.contents("other"), "keep");
    EXPECT_EQ(this->backend.contents("b"), "de");
}

TYPED_TEST(FileObject, TracksPositionAndLength)
{
    typename TestFixture::File file;
    ASSERT_TRUE(file.open(this->path("f").c_str(), CFile::accessReadWrite | CFile::openCreate));
    EXPECT_EQ(this->at(file), Pos(0, 0));
    EXPECT_EQ(ll(file.write("0123456789", 10)), 10);
    EXPECT_EQ(this->at(file), Pos(10, 10));
    EXPECT_EQ(ll(file.seek(4, CFile::seekBegin)), 4);
    EXPECT_EQ(ll(file.seek(2, CFile::seekCurrent)), 6);
    EXPECT_EQ(ll(file.seek(-1, CFile::seekEnd)), 9);
    EXPECT_EQ(this->at(file), Pos(9, 10));

    // A read past the end returns the bytes there are. CLfsFile reads in pieces and logs the
    // piece that found nothing; CFile returns the short count silently.
    char buf[8] = {};
    EXPECT_EQ(ll(file.read(buf, 5)), 1);
    EXPECT_STREQ(buf, "9");
    EXPECT_EQ(this->at(file), Pos(10, 10));
    EXPECT_EQ(this->capture.contains("fread get error,total 5 has read 1,expected 4 return 0\n"),
              TestFixture::kLfs);

    // A seek the file system refuses returns 0 and leaves the position alone.
    EXPECT_EQ(ll(file.seek(-20, CFile::seekBegin)), 0);
    EXPECT_EQ(this->at(file), Pos(10, 10));

    // Without support for gathered writes (the default file system: -1; a hook that keeps
    // the default slot: 0 bytes) nothing moves.
    char de[] = "de";
    io_vec pieces[] = {{de, 2}, {de, 1}};
    EXPECT_EQ(ll(file.writev(pieces, 2)), TestFixture::Backend::kIsMemory ? 0 : -1);
    EXPECT_EQ(this->at(file), Pos(10, 10));

    // Writing beyond the end extends the file; the gap reads as zeros.
    EXPECT_EQ(ll(file.seek(5, CFile::seekEnd)), 15);
    EXPECT_EQ(ll(file.write("!", 1)), 1);
    file.flush();
    EXPECT_EQ(this->at(file), Pos(16, 16));
    file.close();
    EXPECT_EQ(this->backend.contents("f"), std::string("0123456789\0\0\0\0\0!", 16));

    // Reopened for appending: the length is the file's, writes land at its end.
    ASSERT_TRUE(file.open(this->path("f").c_str(), CFile::accessWrite | CFile::openNoTruncate));
    EXPECT_EQ(this->at(file), Pos(0, 16));
    file.write("+", 1);
    EXPECT_EQ(this->at(file), Pos(17, 17));
}

TYPED_TEST(FileObject, ClosedObjectReportsNothing)
{
    typename TestFixture::File file;
    char buf[8] = "x";
    io_vec piece = {buf, 1};
    for (int round = 0; round < 2; ++round) {
        EXPECT_FALSE(file.isOpen());
        EXPECT_EQ(ll(file.read(buf, 1)), -1);
        EXPECT_EQ(ll(file.write(buf, 1)), -1);
        EXPECT_EQ(ll(file.writev(&piece, 1)), -1);
        EXPECT_EQ(ll(file.seek(3, CFile::seekBegin)), 0);
        EXPECT_EQ(this->at(file), Pos(0, 0));
        EXPECT_EQ(ll(file.puts("line")), 0);
        EXPECT_EQ(file.gets(buf, sizeof buf), nullptr);
        file.flush();
        file.close();
        // The second round: after an open that failed.
        EXPECT_FALSE(file.open(this->path("missing").c_str(), CFile::accessRead));
    }
}

TYPED_TEST(FileObject, LoadsWholeFiles)
{
    typename TestFixture::File file;
    EXPECT_EQ(file.load(this->path("missing").c_str()), nullptr);
    EXPECT_FALSE(file.isOpen());

    this->backend.put("empty", "");
    EXPECT_EQ(file.load(this->path("empty").c_str()), nullptr);
    EXPECT_TRUE(file.isOpen()); // an empty file stays open

    this->backend.put("abc", "abc");
    unsigned char* data = file.load(this->path("abc").c_str());
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(data), 3), "abc");
    EXPECT_EQ(ll(file.getLength()), 3);
    EXPECT_TRUE(file.isOpen());

    // close() releases the buffer, so a new load needs no unload().
    file.close();
    ASSERT_NE(file.load(this->path("abc").c_str()), nullptr);
    file.unload();
    EXPECT_FALSE(file.isOpen());
    ASSERT_NE(file.load(this->path("abc").c_str()), nullptr);
    // The destructor releases the last buffer (the sanitizer build reports a leak otherwise).
}

TYPED_TEST(FileObject, WritesAndReadsLines)
{
    typename TestFixture::File file;
    ASSERT_TRUE(file.open(this->path("lines").c_str(), CFile::accessReadWrite | CFile::openCreate));
    EXPECT_GE(ll(file.puts("one\n")), 0);
    EXPECT_GE(ll(file.puts("two\n")), 0);
    EXPECT_EQ(this->at(file), Pos(8, 8));

    file.seek(0, CFile::seekBegin);
    char buf[64];
    ASSERT_EQ(file.gets(buf, sizeof buf), buf);
    EXPECT_STREQ(buf, "one\n");
    EXPECT_EQ(ll(file.getPosition()), 4);
    ASSERT_EQ(file.gets(buf, 3), buf); // at most n - 1 characters
    EXPECT_STREQ(buf, "tw");
    EXPECT_EQ(ll(file.getPosition()), 6);
    ASSERT_EQ(file.gets(buf, sizeof buf), buf);
    EXPECT_STREQ(buf, "o\n");
    EXPECT_EQ(file.gets(buf, sizeof buf), nullptr);
    EXPECT_EQ(ll(file.getPosition()), 8);
    file.close();
    EXPECT_EQ(this->backend.contents("lines"), "one\ntwo\n");
}

TYPED_TEST(FileObject, PathOperations)
{
    using File = typename TestFixture::File;
    const std::string dir = this->path("dir");
    const std::string inside = this->path("dir/file");
    EXPECT_TRUE(File::makeDirectory(dir.c_str()));
    EXPECT_FALSE(File::makeDirectory(dir.c_str()));
    EXPECT_FALSE(File::makeDirectory(this->path("no/such/dir").c_str()));

    this->backend.put("dir/file", "12345");
    EXPECT_TRUE(File::access(inside.c_str(), 0));
    EXPECT_TRUE(File::access(inside.c_str(), 4));
    EXPECT_FALSE(File::access(this->path("dir/none").c_str(), 0));

    FileInfo info = FileInfo();
    ASSERT_TRUE(File::stat(inside.c_str(), info));
    EXPECT_STREQ(info.name, inside.c_str());
    EXPECT_EQ(info.size, 5u);
    EXPECT_EQ(info.attrib & 0xF000, 0x8000);
    EXPECT_GT(info.modifyTime, 1500000000);
    ASSERT_TRUE(File::stat(dir.c_str(), info));
    EXPECT_EQ(info.attrib & 0xF000, 0x4000);
    FileInfo untouched = FileInfo();
    untouched.size = 77;
    EXPECT_FALSE(File::stat(this->path("dir/none").c_str(), untouched));
    EXPECT_EQ(untouched.size, 77u);

    EXPECT_FALSE(File::removeDirectory(dir.c_str())); // not empty
    const std::string renamed = this->path("renamed");
    EXPECT_TRUE(File::rename(inside.c_str(), renamed.c_str()));
    EXPECT_FALSE(this->backend.exists("dir/file"));
    EXPECT_EQ(this->backend.contents("renamed"), "12345");
    EXPECT_TRUE(File::remove(renamed.c_str()));
    EXPECT_FALSE(File::remove(renamed.c_str()));
    EXPECT_TRUE(File::removeDirectory(dir.c_str()));
    EXPECT_FALSE(this->backend.exists("dir"));

    Orlix::uint64 freeToCaller = 0, total = 0, totalFree = 0;
    ASSERT_TRUE(File::statFS(this->backend.root().c_str(), freeToCaller, total, totalFree));
    EXPECT_GT(total, 0u);
    EXPECT_LE(totalFree, total);
    EXPECT_LE(freeToCaller, totalFree);
    EXPECT_FALSE(File::statFS(this->path("no/such").c_str(), freeToCaller, total, totalFree));
}

// A null path names no file: every operation that takes one refuses it with EINVAL, the
// object stays closed and no file system (the platform's included) sees the null.
TYPED_TEST(FileObject, NullPathsAreRefused)
{
    using File = typename TestFixture::File;
    const auto refused = [](bool failed) {
        const bool einval = errno == EINVAL && getLastError() == EINVAL;
        errno = 0;
        setLastError(0);
        return failed && einval;
    };
    File file;
    EXPECT_TRUE(refused(!file.open(nullptr, CFile::accessRead)));
    EXPECT_TRUE(refused(!file.open(nullptr, CFile::accessWrite | CFile::openCreate)));
    EXPECT_FALSE(file.isOpen());
    EXPECT_TRUE(refused(file.load(nullptr) == nullptr));
    EXPECT_FALSE(file.isOpen());

    const std::string existing = this->path("f");
    this->backend.put("f", "abc");
    FileInfo info = FileInfo();
    Orlix::uint64 freeToCaller = 0, total = 0, totalFree = 0;
    EXPECT_TRUE(refused(!File::rename(nullptr, existing.c_str())));
    EXPECT_TRUE(refused(!File::rename(existing.c_str(), nullptr)));
    EXPECT_TRUE(refused(!File::remove(nullptr)));
    EXPECT_TRUE(refused(!File::makeDirectory(nullptr)));
    EXPECT_TRUE(refused(!File::removeDirectory(nullptr)));
    EXPECT_TRUE(refused(!File::access(nullptr, 0)));
    EXPECT_TRUE(refused(!File::stat(nullptr, info)));
    EXPECT_TRUE(refused(!File::statFS(nullptr, freeToCaller, total, totalFree)));
    EXPECT_EQ(this->backend.contents("f"), "abc");

    // An open file refuses a null text and stays usable.
    ASSERT_TRUE(file.open(existing.c_str(), CFile::accessReadWrite));
    EXPECT_TRUE(refused(file.puts(nullptr) == -1));
    EXPECT_EQ(this->at(file), Pos(0, 3));
    EXPECT_GE(file.puts("xy"), 0);
    file.close();
    EXPECT_EQ(this->backend.contents("f"), "xyc");
    // Reopening with a null path closes the open file first, as any reopen does.
    ASSERT_TRUE(file.open(existing.c_str(), CFile::accessRead));
    EXPECT_TRUE(refused(!file.open(nullptr, CFile::accessRead)));
    EXPECT_FALSE(file.isOpen());
}

// ---------------------------------------------------------------- what only a hook shows

namespace {

std::vector<std::string> g_diagnostics;

} // namespace

// A file system that reports more bytes than it holds makes load() come up short: the
// diagnostic runs, the error names the class, the file is unloaded. A length no buffer can
// hold gives null at once and leaves the file open.
TEST(FileObjectHooked, ShortAndImpossibleLoadsGiveNull)
{
    Detail::setFileDiagnosticRunnerForTesting([](const char* command) {
        g_diagnostics.emplace_back(command);
        return 0;
    });
    MemFs fs;
    fs.put("memfs:/f", "abc");
    fs.statSizeExtra = 10;
    PrintCapture capture;
    CFile file;
    CLfsFile lfs;
    EXPECT_EQ(file.load("memfs:/f"), nullptr);
    EXPECT_EQ(lfs.load("memfs:/f"), nullptr);
    EXPECT_FALSE(file.isOpen() || lfs.isOpen());
    EXPECT_EQ(fs.openStreams, 0);
    EXPECT_EQ(g_diagnostics, (std::vector<std::string>{"ls", "ls"}));
    for (const char* name : {"CFile", "CLfsFile"})
        EXPECT_TRUE(capture.contains(std::string(name) +
                                     "::load(): filename(memfs:/f), length(13), ret(3), "))
            << capture.text();

    fs.statSizeExtra = int64(1) << 62;
    EXPECT_EQ(lfs.load("memfs:/f"), nullptr);
    EXPECT_TRUE(lfs.isOpen());
    EXPECT_EQ(lfs.getLength(), (int64(1) << 62) + 3);
    EXPECT_EQ(g_diagnostics.size(), 2u);
    Detail::setFileDiagnosticRunnerForTesting(nullptr);
}

// A seek to where the object already is does not reach the file system; a length that stat
// cannot tell is learnt once by seeking to the end and back.
TEST(FileObjectHooked, SeeksToTheCurrentPositionAreSkippedAndALengthIsLearntOnce)
{
    MemFs fs;
    fs.put("memfs:/f", "0123456789");
    CFile file;
    ASSERT_TRUE(file.open("memfs:/f", CFile::accessRead));
    EXPECT_EQ(file.seek(0, CFile::seekCurrent), 0u);
    EXPECT_EQ(file.seek(0, CFile::seekBegin), 0u);
    EXPECT_EQ(fs.seekCalls, 0);
    EXPECT_EQ(file.seek(0, CFile::seekEnd), 10u); // from the end: always asked
    EXPECT_EQ(file.seek(10, CFile::seekBegin), 10u);
    EXPECT_EQ(file.seek(-3, CFile::seekCurrent), 7u);
    EXPECT_EQ(fs.seekCalls, 2);

    fs.failStat = true;
    CLfsFile lfs;
    ASSERT_TRUE(lfs.open("memfs:/f", CFile::accessRead));
    lfs.seek(3, CFile::seekBegin);
    EXPECT_EQ(lfs.getLength(), 10);
    EXPECT_EQ(lfs.getPosition(), 3); // put back where it was
    EXPECT_EQ(lfs.getLength(), 10);
    EXPECT_EQ(fs.seekCalls, 5);
}

TEST(FileObjectHooked, RemovingTheHookDoesNotRedirectAnOpenFile)
{
    MemFs fs;
    CFile file;
    ASSERT_TRUE(file.open("memfs:/f", CFile::accessWrite | CFile::openCreate));
    hookFileSystem("memfs:", nullptr);
    EXPECT_EQ(file.write("abc", 3), 3);
    file.close();
    EXPECT_EQ(fs.contents("memfs:/f"), "abc");
    EXPECT_EQ(fs.openStreams, 0);
    // New opens of the prefix go to the default file system, where it is no such path.
    EXPECT_FALSE(file.open("memfs:/f", CFile::accessRead));
}

TEST(FileObjectDeathTest, LoadWithABufferPresentAsserts)
{
    MemFs fs;
    fs.put("memfs:/f", "abc");
    CFile file;
    ASSERT_NE(file.load("memfs:/f"), nullptr);
    EXPECT_DEATH(file.load("memfs:/f"), "assertion \\(!m_internal->m_buffer\\) failed");
    CLfsFile lfs;
    ASSERT_NE(lfs.load("memfs:/f"), nullptr);
    EXPECT_DEATH(lfs.load("memfs:/f"), "assertion \\(!m_internal->m_buffer\\) failed");
}

TEST(LfsFile, GetsRefusesCountsAboveTheIntLimit)
{
    MemFs fs;
    fs.put("memfs:/f", "line\n");
    PrintCapture capture;
    CLfsFile file;
    ASSERT_TRUE(file.open("memfs:/f", CFile::accessRead));
    char buf[16];
    EXPECT_EQ(file.gets(buf, Orlix::int64(2147483648LL)), nullptr);
    EXPECT_TRUE(
        capture.contains("Bytes need to be seeked has been over the ORLIX_MAX_INT_VALUE.\n"));
    EXPECT_EQ(file.getPosition(), 0);
    ASSERT_EQ(file.gets(buf, Orlix::int64(2147483647)), buf);
    EXPECT_STREQ(buf, "line\n");
    EXPECT_EQ(file.getPosition(), 5);
}

// A program object that opens files lazily is often registered for exit before the default
// file system (which its first file creates) and so destroyed after it. Its files and
// searches must still close then, through a fresh default rather than the freed one.
TEST(FileObjectExit, FilesClosedAfterTheDefaultFileSystemEndedStillWork)
{
    TempDir dir;
    const std::string path = dir.file("late.txt");
    EXPECT_EXIT(
        {
            struct Holder
            {
                std::unique_ptr<CFile> file;
                std::unique_ptr<CLfsFile> lfs;
                std::unique_ptr<CFileFind> find;
                ~Holder()
                {
                    file->puts("bye\n");
                    file.reset();
                    lfs.reset();
                    find.reset();
                }
            };
            static Holder holder; // before the default file system exists
            if (Orlix::Infra::Detail::CSingleton<FileDefaultOpt>::peek() != nullptr)
                std::_Exit(2);
            holder.file.reset(new CFile);
            holder.lfs.reset(new CLfsFile);
            holder.find.reset(new CFileFind);
            if (!holder.file->open(path.c_str(), CFile::accessWrite | CFile::openCreate) ||
                !holder.lfs->open(path.c_str(), CFile::accessRead) ||
                !holder.find->findFile((dir.path() + "/*").c_str()))
                std::_Exit(3);
            std::exit(0);
        },
        ::testing::ExitedWithCode(0), "");
    EXPECT_EQ(OrlixTest::readFile(path), "bye\n");
}
