// File systems for the tests.
//
// StubFs implements every pure operation as a failure, for tests that override a few.
//
// MemFs keeps files in memory and hooks itself under its root while it lives, so that the
// same file object and directory search tests run against it and the real file system; it
// counts and bends a few primitives so that tests can see what the library asks of a hook.
// Paths are the full paths the library hands over ("memfs:/dir/a.txt"); the root directory is
// the root itself ("memfs:"). Files and directories need an existing parent. Streams follow
// the C library's modes r, r+, w, w+, a, a+ ('b' and 'e' ignored): append streams write at
// the end. Searches report "." and ".." and the default's attribute rule (0x10 directory,
// 0x01 read-only, 0x02 name begins with '.'). writev keeps IFileSystem's default (0).
#ifndef ORLIX_TESTS_FILES_MEMFS_H
#define ORLIX_TESTS_FILES_MEMFS_H

#include "infra/filesystem.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace OrlixTest {

using Orlix::int64;
using Orlix::uint64;
using Orlix::Infra::FileInfo;

class StubFs : public Orlix::Infra::IFileSystem
{
public:
    void* fopen(const char*, const char*) override { return nullptr; }
    int fclose(void*) override { return -1; }
    std::size_t fread(void*, std::size_t, std::size_t, void*) override { return 0; }
    std::size_t fwrite(const void*, std::size_t, std::size_t, void*) override { return 0; }
    int fflush(void*) override { return -1; }
    int fseek(void*, long, int) override { return -1; }
    long ftell(void*) override { return -1; }
    char* fgets(char*, int, void*) override { return nullptr; }
    int fputs(const char*, void*) override { return -1; }
    int rename(const char*, const char*) override { return -1; }
    int remove(const char*) override { return -1; }
    long findfirst(const char*, FileInfo*) override { return -1; }
    int findnext(long, FileInfo*) override { return -1; }
    int findclose(long) override { return -1; }
    int mkdir(const char*) override { return -1; }
    int rmdir(const char*) override { return -1; }
    int statfs(const char*, uint64*, uint64*, uint64*) override { return -1; }
    int access(const char*, int) override { return -1; }
    int stat(const char*, FileInfo*) override { return -1; }
};

class MemFs : public Orlix::Infra::IFileSystem
{
public:
    explicit MemFs(std::string root = "memfs:");
    ~MemFs() override;
    MemFs(const MemFs&) = delete;
    MemFs& operator=(const MemFs&) = delete;

    // Setup and inspection, bypassing the IFileSystem interface.
    void put(const std::string& path, const std::string& contents, bool directory = false);
    std::string contents(const std::string& path) const;
    bool exists(const std::string& path) const { return m_nodes.count(path) != 0; }
    void setReadOnly(const std::string& path, bool readOnly);

    int64 statSizeExtra = 0; // added to every size stat() reports
    bool failStat = false;   // stat() fails for every path
    int seekCalls = 0;       // fseek and fseek64
    int openStreams = 0;     // made by fopen and not yet closed
    int openSearches = 0;    // started and not yet closed
    std::string lastRename;  // "from->to"

    void* fopen(const char* path, const char* mode) override;
    int fclose(void* file) override;
    std::size_t fread(void* buf, std::size_t size, std::size_t count, void* file) override;
    std::size_t fwrite(const void* buf, std::size_t size, std::size_t count, void* file) override;
    int fflush(void*) override { return 0; }
    int fseek(void* file, long offset, int whence) override { return seek(file, offset, whence); }
    long ftell(void* file) override { return static_cast<long>(ftell64(file)); }
    char* fgets(char* buf, int n, void* file) override;
    int fputs(const char* s, void* file) override;
    int rename(const char* from, const char* to) override;
    int remove(const char* path) override;
    long findfirst(const char* pattern, FileInfo* out) override;
    int findnext(long handle, FileInfo* out) override;
    int findclose(long handle) override;
    int mkdir(const char* path) override;
    int rmdir(const char* path) override;
    int statfs(const char* path, uint64* freeToCaller, uint64* total, uint64* totalFree) override;
    int access(const char* path, int) override { return exists(path) ? 0 : -1; }
    int stat(const char* path, FileInfo* out) override;
    int fseek64(void* file, int64 offset, int whence) override
    {
        return seek(file, offset, whence);
    }
    int64 ftell64(void* file) override;

private:
    struct Node;
    struct Stream;

    bool hasParent(const std::string& path) const;
    bool hasChildren(const std::string& path) const;
    int seek(void* file, int64 offset, int whence);

    std::string m_root;
    std::map<std::string, std::shared_ptr<Node>> m_nodes; // by full path, root included
    std::map<long, std::pair<std::vector<FileInfo>, std::size_t>> m_searches; // entries, next
    long m_nextSearch = 100;
};

} // namespace OrlixTest

#endif // ORLIX_TESTS_FILES_MEMFS_H
