// The hook table and the default file system's primitives.
#include "files/memfs.h"
#include "support/testsupport.h"

#include "infra/error.h"
#include "infra/file.h"
#include "infra/filesystem.h"
#include "infra3/filesystem_internal.h"
#include "platform/fs.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#undef near // <windows.h> still defines the 16-bit pointer keywords
#undef far
#endif
#ifdef __GLIBC__
#include <stdio_ext.h> // the buffer queries below are glibc's
#endif
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

using namespace Orlix::Infra;
using Detail::getFileSystem;
using OrlixTest::MemFs;
using OrlixTest::StubFs;
using OrlixTest::TempDir;

// ---------------------------------------------------------------- hook table

TEST(HookTable, FirstInstalledMatchWinsAndRemovalClearsTheLowestEqualEntry)
{
    StubFs mnt, sd, again;
    hookFileSystem("/mnt", &mnt);
    hookFileSystem("/mnt/sd", &sd);
    EXPECT_EQ(getFileSystem("/mnt/sd/a.txt"), &mnt); // not the longest match
    hookFileSystem("/mnt", nullptr);
    EXPECT_EQ(getFileSystem("/mnt/sd/a.txt"), &sd);
    hookFileSystem("/mnt", &mnt); // takes the freed first entry again, ahead of sd
    EXPECT_EQ(getFileSystem("/mnt/sd/a.txt"), &mnt);
    EXPECT_EQ(getFileSystem("/mnt/b.txt"), &mnt);

    hookFileSystem("/mnt", &again); // a second entry for the same prefix
    hookFileSystem("/mnt", nullptr);
    EXPECT_EQ(getFileSystem("/mnt/b.txt"), &again);
    hookFileSystem("/absent", nullptr); // silent
    hookFileSystem("/mnt/", nullptr);   // equality, not prefix: nothing removed
    EXPECT_EQ(getFileSystem("/mnt/b.txt"), &again);
    hookFileSystem("/mnt", nullptr);
    hookFileSystem("/mnt/sd", nullptr);
    EXPECT_EQ(getFileSystem("/mnt/sd/a.txt"), FileDefaultOpt::instance());
}

TEST(HookTable, PrefixIsALeadingByteComparisonOfAtMost255Characters)
{
    StubFs fs;
    hookFileSystem("/mnt", &fs);
    IFileSystem* const fallback = FileDefaultOpt::instance();
    for (const char* path : {"/mnt", "/mnt/x", "/mntx"}) // a leading substring, no component
        EXPECT_EQ(getFileSystem(path), &fs) << path;
    for (const char* path : {"/mn", "/MNT/x", "x/mnt", "", static_cast<const char*>(nullptr)})
        EXPECT_EQ(getFileSystem(path), fallback) << (path ? path : "(null)");
    // Null and empty prefixes are not installed: an empty one would never match.
    hookFileSystem(nullptr, &fs);
    hookFileSystem("", &fs);
    hookFileSystem("/mnt", nullptr);
    EXPECT_EQ(getFileSystem("/mnt/x"), fallback);

    const std::string prefix = "/" + std::string(299, 'p');
    hookFileSystem(prefix.c_str(), &fs);
    EXPECT_EQ(getFileSystem(prefix.substr(0, 255).c_str()), &fs);
    EXPECT_EQ(getFileSystem(prefix.substr(0, 254).c_str()), fallback);
    hookFileSystem(prefix.c_str(), nullptr); // the same text removes it
    EXPECT_EQ(getFileSystem(prefix.c_str()), fallback);
}

TEST(HookTable, HoldsThirtyOneHooksAndIgnoresTheThirtySecond)
{
    StubFs systems[32];
    auto prefix = [](int i) { return "/h" + std::to_string(i) + "/"; };
    for (int i = 0; i < 32; ++i)
        hookFileSystem(prefix(i).c_str(), &systems[i]);
    for (int i = 0; i < 32; ++i)
        EXPECT_EQ(getFileSystem((prefix(i) + "f").c_str()),
                  i < 31 ? static_cast<IFileSystem*>(&systems[i]) : FileDefaultOpt::instance());
    hookFileSystem("/h7/", nullptr);
    hookFileSystem("/h31/", &systems[31]);
    EXPECT_EQ(getFileSystem("/h31/f"), &systems[31]);
    EXPECT_EQ(getFileSystem("/h7/f"), FileDefaultOpt::instance());
}

TEST(HookTable, RenameIsServedByTheSourcesFileSystem)
{
    MemFs fs;
    fs.put("memfs:/a", "data");
    EXPECT_FALSE(CFile::rename("memfs:/a", "/elsewhere/b")); // memfs has no "/elsewhere"
    EXPECT_EQ(fs.lastRename, "memfs:/a->/elsewhere/b");
    EXPECT_TRUE(CLfsFile::rename("memfs:/a", "memfs:/b"));
    EXPECT_EQ(fs.contents("memfs:/b"), "data");
}

TEST(IFileSystemDefaults, WritevReportsZeroAndSixtyFourBitSeekIsUnsupported)
{
    StubFs fs;
    char byte = 'x';
    io_vec piece = {&byte, 1};
    EXPECT_EQ(fs.writev(1, &piece, 1), 0);
    EXPECT_EQ(fs.fseek64(nullptr, 10, 0), -1);
    EXPECT_EQ(fs.ftell64(nullptr), -1);
    EXPECT_EQ(FileDefaultOpt::instance()->writev(1, &piece, 1), -1);
}

// ---------------------------------------------------------------- FileDefaultOpt::fopen

namespace {

struct StreamMode
{
    const char* base;
    bool createsMissing;
    bool readsExisting;  // a read from the start of "hello" returns it
    bool writes;         // a write succeeds
    const char* afterXY; // "hello" after seeking to 0 and writing "XY"
};

const StreamMode kStreamModes[] = {
    {"r", false, true, false, "hello"},  {"r+", false, true, true, "XYllo"},
    {"w", true, false, true, "XY"},      {"w+", true, false, true, "XY"},
    {"a", true, false, true, "helloXY"}, {"a+", true, true, true, "helloXY"},
};

bool closesOnExec(std::FILE* stream)
{
#ifdef _WIN32
    // Windows: a handle that child processes do not inherit.
    DWORD flags = 0;
    const HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(fileno(stream)));
    return GetHandleInformation(handle, &flags) && (flags & HANDLE_FLAG_INHERIT) == 0;
#else
    const int flags = fcntl(fileno(stream), F_GETFD);
    return flags != -1 && (flags & FD_CLOEXEC) != 0;
#endif
}

#ifndef _WIN32
mode_t currentUmask()
{
    const mode_t mask = umask(0);
    umask(mask);
    return mask;
}
#endif

} // namespace

TEST(DefaultFileSystem, StreamModesBehaveAsTheCLibraryDescribes)
{
    TempDir dir;
    FileDefaultOpt* fs = FileDefaultOpt::instance();
    const std::string path = dir.file("f");
    const std::string missing = dir.file("missing");
    for (const StreamMode& mode : kStreamModes) {
        for (const char* suffix : {"", "b", "e", "be", "eb"}) {
            const std::string text = std::string(mode.base).insert(1, suffix);
            SCOPED_TRACE("mode " + text);

            void* created = fs->fopen(missing.c_str(), text.c_str());
            EXPECT_EQ(created != nullptr, mode.createsMissing);
            if (created != nullptr) {
                struct stat st;
                ASSERT_EQ(::stat(missing.c_str(), &st), 0);
                EXPECT_EQ(st.st_size, 0);
#ifdef _WIN32
                // Windows keeps no group or other permissions: the C runtime's stat repeats
                // the owner's read and write bits.
                EXPECT_EQ(st.st_mode & 0777, 0666);
#else
                EXPECT_EQ(st.st_mode & 0777, 0600 & ~currentUmask());
#endif
                EXPECT_EQ(fs->fclose(created), 0);
                std::filesystem::remove(missing);
            }

            {
                std::FILE* seed = std::fopen(path.c_str(), "wb");
                std::fputs("hello", seed);
                std::fclose(seed);
            }
            auto* stream = static_cast<std::FILE*>(fs->fopen(path.c_str(), text.c_str()));
            ASSERT_NE(stream, nullptr);
            EXPECT_EQ(closesOnExec(stream), std::string(suffix).find('e') != std::string::npos);
            char buf[8] = {};
            EXPECT_EQ(fs->fread(buf, 1, 5, stream), mode.readsExisting ? 5u : 0u);
            ASSERT_EQ(fs->fseek(stream, 0, SEEK_SET), 0);
            EXPECT_EQ(fs->fwrite("XY", 1, 2, stream), mode.writes ? 2u : 0u);
            EXPECT_EQ(fs->fclose(stream), 0);
            EXPECT_EQ(OrlixTest::readFile(path), mode.afterXY);
        }
    }
}

TEST(DefaultFileSystem, StreamsHaveAFullSixteenKilobyteBufferReleasedOnClose)
{
    TempDir dir;
    FileDefaultOpt* fs = FileDefaultOpt::instance();
    auto* stream = static_cast<std::FILE*>(fs->fopen(dir.file("f").c_str(), "wb"));
    ASSERT_NE(stream, nullptr);
#ifdef __GLIBC__
    EXPECT_EQ(__fbufsize(stream), 16384u);
    EXPECT_EQ(__flbf(stream), 0); // not line buffered
#endif
    EXPECT_EQ(fs->fputs("line\n", stream), 1);
    EXPECT_EQ(std::filesystem::file_size(dir.file("f")), 0u); // still in the buffer
    EXPECT_EQ(Orlix::Platform::streamDescriptor(stream), fileno(stream));
    EXPECT_EQ(fs->fflush(stream), 0);
    EXPECT_EQ(std::filesystem::file_size(dir.file("f")), 5u);
    EXPECT_EQ(fs->fclose(stream), 0);
    // The stream and its buffer are forgotten; foreign pointers never had a descriptor.
    EXPECT_EQ(Orlix::Platform::streamDescriptor(stream), -1);
    EXPECT_EQ(Orlix::Platform::streamDescriptor(stdout), -1);
    EXPECT_EQ(Orlix::Platform::streamDescriptor(nullptr), -1);
}

// A hook over the default's C streams sees them as the file objects use them: opened with
// 'e' for openNoInherit, and their descriptor handed to writev.
TEST(DefaultFileSystem, FileObjectsStreamsCloseOnExecWhenAskedAndGiveWritevTheirDescriptor)
{
    TempDir dir;
    struct OverDefault : StubFs
    {
        std::FILE* last = nullptr;
        int fd = -2;
        void* fopen(const char* path, const char* mode) override
        {
            return last = static_cast<std::FILE*>(FileDefaultOpt::instance()->fopen(path, mode));
        }
        int fclose(void* file) override { return FileDefaultOpt::instance()->fclose(file); }
        long ftell(void* file) override { return FileDefaultOpt::instance()->ftell(file); }
        long writev(int descriptor, const io_vec* vec, int count) override
        {
            long total = 0;
            for (int i = 0; i < count; ++i)
                total +=
                    static_cast<long>(::write(fd = descriptor, vec[i].iov_base, vec[i].iov_len));
            return total;
        }
    } hook;
    hookFileSystem(dir.path().c_str(), &hook);
    CFile file;
    ASSERT_TRUE(file.open(dir.file("a").c_str(), CFile::accessWrite | CFile::openNoInherit));
    EXPECT_TRUE(closesOnExec(hook.last));
    ASSERT_TRUE(file.open(dir.file("v").c_str(), CFile::accessWrite | CFile::openCreate));
    EXPECT_FALSE(closesOnExec(hook.last));
    char ab[] = "ab", cd[] = "cd";
    io_vec pieces[] = {{ab, 2}, {cd, 2}};
    EXPECT_EQ(file.writev(pieces, 2), 4);
    EXPECT_EQ(hook.fd, fileno(hook.last));
    EXPECT_EQ(file.getPosition(), 4u);
    EXPECT_EQ(file.getLength(), 4u);
    file.close();
    EXPECT_EQ(OrlixTest::readFile(dir.file("v")), "abcd");
    hookFileSystem(dir.path().c_str(), nullptr);

    // A MemFs handle is no C stream: its hook is told -1 and never sees a stray descriptor.
    struct RecordingMemFs : MemFs
    {
        int fd = -2;
        long writev(int descriptor, const io_vec*, int) override
        {
            fd = descriptor;
            return -1;
        }
    } memory;
    ASSERT_TRUE(file.open("memfs:/v", CFile::accessWrite | CFile::openCreate));
    EXPECT_EQ(file.writev(pieces, 2), -1);
    EXPECT_EQ(memory.fd, -1);
    file.close(); // before the file system it was opened on goes
}

TEST(DefaultFileSystemDeathTest, NullOrEmptyModeAsserts)
{
    TempDir dir;
    FileDefaultOpt* fs = FileDefaultOpt::instance();
    EXPECT_DEATH(fs->fopen(dir.file("f").c_str(), nullptr), "assertion \\(mode != NULL\\) failed");
    EXPECT_DEATH(fs->fopen(dir.file("f").c_str(), ""), "assertion \\(len > 0\\) failed");
}

// A null path, pattern or text fails the operation with EINVAL; none reaches the platform.
TEST(DefaultFileSystem, NullPathsFailWithEinval)
{
    TempDir dir;
    FileDefaultOpt* fs = FileDefaultOpt::instance();
    const std::string path = dir.file("f");
    std::vector<int> results;
    const auto refused = [&](long result) {
        results.push_back(result == -1 && errno == EINVAL && getLastError() == EINVAL);
        errno = 0;
        setLastError(0);
    };
    FileInfo info = FileInfo();
    Orlix::uint64 a = 0, b = 0, c = 0;
    refused(fs->fopen(nullptr, "wb") == nullptr ? -1 : 0);
    refused(fs->rename(nullptr, path.c_str()));
    refused(fs->rename(path.c_str(), nullptr));
    refused(fs->remove(nullptr));
    refused(fs->findfirst(nullptr, &info));
    refused(fs->mkdir(nullptr));
    refused(fs->rmdir(nullptr));
    refused(fs->statfs(nullptr, &a, &b, &c));
    refused(fs->access(nullptr, 0));
    refused(fs->stat(nullptr, &info));
    void* stream = fs->fopen(path.c_str(), "wb");
    ASSERT_NE(stream, nullptr);
    refused(fs->fputs(nullptr, stream) == EOF ? -1 : 0);
    fs->fclose(stream);
    EXPECT_EQ(results, std::vector<int>(11, 1));
    EXPECT_EQ(OrlixTest::readFile(path), "");
}

// ---------------------------------------------------------------- stat, statfs, access, dirs

TEST(DefaultFileSystem, StatReportsModeTimesAndSizeAndCutsLongNames)
{
    TempDir dir;
    FileDefaultOpt* fs = FileDefaultOpt::instance();
    const std::string path = dir.file("f");
    {
        std::FILE* f = std::fopen(path.c_str(), "wb");
        std::fputs("12345", f);
        std::fclose(f);
    }
    struct stat st;
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    FileInfo info = FileInfo();
    ASSERT_EQ(fs->stat(path.c_str(), &info), 0);
    EXPECT_STREQ(info.name, path.c_str());
    EXPECT_EQ(info.attrib, static_cast<std::uint16_t>(st.st_mode));
    EXPECT_EQ(info.size, 5u);
    EXPECT_EQ(info.modifyTime, st.st_mtime);
    EXPECT_EQ(info.accessTime, st.st_atime);
    EXPECT_EQ(info.createTime, st.st_ctime);

    // A path of more than 259 characters is cut in the name.
    std::string deep = dir.path();
    while (deep.size() < 300) {
        deep += "/" + std::string(60, 'd');
        ASSERT_EQ(fs->mkdir(deep.c_str()), 0);
    }
    ASSERT_EQ(fs->stat(deep.c_str(), &info), 0);
    EXPECT_EQ(std::string(info.name), deep.substr(0, 259));
    EXPECT_EQ(info.attrib & 0xF000, 0x4000);
    EXPECT_EQ(fs->stat(dir.file("none").c_str(), &info), -1);
}

TEST(DefaultFileSystem, StatfsAgreesWithTheStandardLibrary)
{
    TempDir dir;
    Orlix::uint64 caller = 0, total = 0, free = 0;
    ASSERT_EQ(FileDefaultOpt::instance()->statfs(dir.path().c_str(), &caller, &total, &free), 0);
    const std::filesystem::space_info space = std::filesystem::space(dir.path());
    EXPECT_EQ(total, space.capacity);
    // Other programs write meanwhile: compare the free counts loosely.
    const auto near = [](Orlix::uint64 a, std::uintmax_t b) {
        const Orlix::uint64 slack = Orlix::uint64(1) << 30;
        return a + slack >= b && b + slack >= a;
    };
    EXPECT_TRUE(near(free, space.free));
    EXPECT_TRUE(near(caller, space.available));
    EXPECT_EQ(FileDefaultOpt::instance()->statfs(dir.file("none").c_str(), &caller, &total, &free),
              -1);
}
