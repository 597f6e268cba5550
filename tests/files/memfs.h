// An in-memory file system for the tests: hooked under a prefix, it serves the same file
// object and directory search tests as the real file system, and it counts and bends a few
// primitives so that tests can see what the library asks of a hook.
//
// Paths are the full paths the library hands over ("memfs:/dir/a.txt"); the root directory
// is the prefix itself without a trailing '/' ("memfs:"). Files and directories need an
// existing parent, as on a real file system. Streams follow the C library's modes: r, r+,
// w, w+, a, a+ ('b' and 'e' accepted and ignored); append streams start at position 0 and
// write at the end. Directory searches report "." and ".." and use the default file
// system's attribute rule (0x10 directory, 0x01 read-only, 0x02 name begins with '.').
// writev keeps IFileSystem's default (returns 0).
#ifndef ORLIX_TESTS_FILES_MEMFS_H
#define ORLIX_TESTS_FILES_MEMFS_H

#include "infra/filesystem.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace OrlixTest {

class MemFs : public Orlix::Infra::IFileSystem
{
public:
    // root: the prefix the file system is hooked under, e.g. "memfs:".
    explicit MemFs(std::string root);
    ~MemFs() override;
    MemFs(const MemFs&) = delete;
    MemFs& operator=(const MemFs&) = delete;

    // ---- setup and inspection, bypassing the IFileSystem interface
    void putFile(const std::string& path, const std::string& contents);
    void putDirectory(const std::string& path);
    // The contents of a file; empty when missing.
    std::string contents(const std::string& path) const;
    bool exists(const std::string& path) const;
    void setReadOnly(const std::string& path, bool readOnly);

    // ---- knobs and counters
    // Added to every size stat() reports (to make a file look longer than it is).
    std::int64_t statSizeExtra = 0;
    // When true, stat() fails for every path.
    bool failStat = false;
    int seekCalls = 0;                    // fseek and fseek64
    int openStreams = 0;                  // handles made by fopen and not yet closed
    int openSearches = 0;                 // searches started and not yet closed
    std::vector<std::string> renameCalls; // "from->to"

    // ---- IFileSystem
    void* fopen(const char* path, const char* mode) override;
    int fclose(void* file) override;
    std::size_t fread(void* buf, std::size_t size, std::size_t count, void* file) override;
    std::size_t fwrite(const void* buf, std::size_t size, std::size_t count, void* file) override;
    int fflush(void* file) override;
    int fseek(void* file, long offset, int whence) override;
    long ftell(void* file) override;
    char* fgets(char* buf, int n, void* file) override;
    int fputs(const char* s, void* file) override;
    int rename(const char* from, const char* to) override;
    int remove(const char* path) override;
    long findfirst(const char* pattern, Orlix::Infra::FileInfo* out) override;
    int findnext(long handle, Orlix::Infra::FileInfo* out) override;
    int findclose(long handle) override;
    int mkdir(const char* path) override;
    int rmdir(const char* path) override;
    int statfs(const char* path, Orlix::uint64* freeToCaller, Orlix::uint64* total,
               Orlix::uint64* totalFree) override;
    int access(const char* path, int mode) override;
    int stat(const char* path, Orlix::Infra::FileInfo* out) override;
    int fseek64(void* file, Orlix::int64 offset, int whence) override;
    Orlix::int64 ftell64(void* file) override;

    // Capacity statfs reports.
    static constexpr Orlix::uint64 kCapacity = 1ull << 30;

private:
    struct Node;
    struct Stream;
    struct Search;

    std::shared_ptr<Node> find(const std::string& path) const;
    std::shared_ptr<Node> parentOf(const std::string& path) const;
    bool hasChildren(const std::string& path) const;
    Orlix::Infra::FileInfo entryInfo(const std::string& name, const Node& node) const;
    int seekTo(Stream* stream, std::int64_t offset, int whence);

    std::string m_root;
    std::map<std::string, std::shared_ptr<Node>> m_nodes; // by full path, root included
    std::map<long, std::unique_ptr<Search>> m_searches;
    long m_nextSearch = 100;
};

// Installs a MemFs under its root for the lifetime of the object.
class HookedMemFs
{
public:
    explicit HookedMemFs(const std::string& root = "memfs:");
    ~HookedMemFs();
    HookedMemFs(const HookedMemFs&) = delete;
    HookedMemFs& operator=(const HookedMemFs&) = delete;

    MemFs& fs() { return m_fs; }
    const std::string& root() const { return m_root; }

private:
    std::string m_root;
    MemFs m_fs;
};

} // namespace OrlixTest

#endif // ORLIX_TESTS_FILES_MEMFS_H
