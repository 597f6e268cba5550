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

#include <algorithm>
#include <cstring>
#include <ctime>
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

namespace MemFsDetail {

// '*' and '?' only: enough for the tests, and independent of the platform's matcher.
inline bool wildcardMatch(const char* pattern, const char* name)
{
    if (*pattern == '*')
        return wildcardMatch(pattern + 1, name) ||
               (*name != '\0' && wildcardMatch(pattern, name + 1));
    if (*pattern == '\0' || *name == '\0')
        return *pattern == *name;
    return (*pattern == '?' || *pattern == *name) && wildcardMatch(pattern + 1, name + 1);
}

inline void copyName(char (&name)[260], const std::string& text)
{
    const std::size_t n = std::min<std::size_t>(text.size(), 259);
    std::memcpy(name, text.data(), n);
    name[n] = '\0';
}

inline std::string parentPath(const std::string& path)
{
    const std::string::size_type slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

} // namespace MemFsDetail

class MemFs : public Orlix::Infra::IFileSystem
{
public:
    explicit MemFs(std::string root = "memfs:") : m_root(std::move(root))
    {
        put(m_root, "", true);
        Orlix::Infra::hookFileSystem(m_root.c_str(), this);
    }
    ~MemFs() override { Orlix::Infra::hookFileSystem(m_root.c_str(), nullptr); }
    MemFs(const MemFs&) = delete;
    MemFs& operator=(const MemFs&) = delete;

    // Setup and inspection, bypassing the IFileSystem interface.
    void put(const std::string& path, const std::string& contents, bool directory = false)
    {
        m_nodes[path] = std::make_shared<Node>(Node{directory, false, contents});
    }
    std::string contents(const std::string& path) const
    {
        return exists(path) ? m_nodes.at(path)->data : std::string();
    }
    bool exists(const std::string& path) const { return m_nodes.count(path) != 0; }
    void setReadOnly(const std::string& path, bool readOnly)
    {
        m_nodes.at(path)->readOnly = readOnly;
    }

    int64 statSizeExtra = 0; // added to every size stat() reports
    bool failStat = false;   // stat() fails for every path
    int seekCalls = 0;       // fseek and fseek64
    int openStreams = 0;     // made by fopen and not yet closed
    int openSearches = 0;    // started and not yet closed
    std::string lastRename;  // "from->to"

    void* fopen(const char* path, const char* mode) override
    {
        std::shared_ptr<Node> node = exists(path) ? m_nodes.at(path) : nullptr;
        const bool plus = std::strchr(mode, '+') != nullptr;
        auto stream = std::make_unique<Stream>();
        stream->canRead = mode[0] == 'r' || plus;
        stream->canWrite = mode[0] != 'r' || plus;
        stream->append = mode[0] == 'a';
        if (node && (node->directory || (node->readOnly && stream->canWrite)))
            return nullptr;
        if (!node) {
            if (mode[0] == 'r' || !hasParent(path))
                return nullptr;
            put(path, "");
            node = m_nodes.at(path);
        } else if (mode[0] == 'w') {
            node->data.clear();
        }
        stream->node = node;
        ++openStreams;
        return stream.release();
    }
    int fclose(void* file) override
    {
        delete static_cast<Stream*>(file);
        --openStreams;
        return 0;
    }
    std::size_t fread(void* buf, std::size_t size, std::size_t count, void* file) override
    {
        Stream& s = *static_cast<Stream*>(file);
        const int64 available = static_cast<int64>(s.node->data.size()) - s.position;
        if (!s.canRead || size == 0 || available <= 0)
            return 0;
        const std::size_t items = std::min(count, static_cast<std::size_t>(available) / size);
        std::memcpy(buf, s.node->data.data() + s.position, items * size);
        s.position += static_cast<int64>(items * size);
        return items;
    }
    std::size_t fwrite(const void* buf, std::size_t size, std::size_t count, void* file) override
    {
        Stream& s = *static_cast<Stream*>(file);
        if (!s.canWrite)
            return 0;
        std::string& data = s.node->data;
        const std::size_t at = s.append ? data.size() : static_cast<std::size_t>(s.position);
        if (data.size() < at)
            data.resize(at, '\0');
        data.replace(at, std::min(size * count, data.size() - at), static_cast<const char*>(buf),
                     size * count);
        s.position = static_cast<int64>(at + size * count);
        return count;
    }
    int fflush(void*) override { return 0; }
    int fseek(void* file, long offset, int whence) override
    {
        return fseek64(file, offset, whence);
    }
    long ftell(void* file) override { return static_cast<long>(ftell64(file)); }
    int fseek64(void* file, int64 offset, int whence) override
    {
        Stream& s = *static_cast<Stream*>(file);
        ++seekCalls;
        const int64 base = whence == SEEK_SET   ? 0
                           : whence == SEEK_CUR ? s.position
                                                : static_cast<int64>(s.node->data.size());
        if (base + offset < 0)
            return -1;
        s.position = base + offset;
        return 0;
    }
    int64 ftell64(void* file) override { return static_cast<Stream*>(file)->position; }
    char* fgets(char* buf, int n, void* file) override
    {
        Stream& s = *static_cast<Stream*>(file);
        const int64 size = static_cast<int64>(s.node->data.size());
        if (n <= 0 || !s.canRead || s.position >= size)
            return nullptr;
        int copied = 0;
        while (copied < n - 1 && s.position < size) {
            buf[copied] = s.node->data[static_cast<std::size_t>(s.position++)];
            if (buf[copied++] == '\n')
                break;
        }
        buf[copied] = '\0';
        return buf;
    }
    int fputs(const char* s, void* file) override
    {
        const std::size_t length = std::strlen(s);
        return fwrite(s, 1, length, file) == length ? 1 : -1;
    }
    // Moves one entry (the tests rename files only).
    int rename(const char* from, const char* to) override
    {
        lastRename = std::string(from) + "->" + to;
        if (!exists(from) || !hasParent(to))
            return -1;
        m_nodes[to] = m_nodes.at(from);
        m_nodes.erase(from);
        return 0;
    }
    int remove(const char* path) override
    {
        return exists(path) && path != m_root && !hasChildren(path) && m_nodes.erase(path) ? 0 : -1;
    }
    long findfirst(const char* pattern, FileInfo* out) override;
    int findnext(long handle, FileInfo* out) override
    {
        auto it = m_searches.find(handle);
        if (it == m_searches.end() || it->second.second >= it->second.first.size())
            return -1;
        *out = it->second.first[it->second.second++];
        return 0;
    }
    int findclose(long handle) override
    {
        if (m_searches.erase(handle) == 0)
            return -1;
        --openSearches;
        return 0;
    }
    int mkdir(const char* path) override
    {
        if (exists(path) || !hasParent(path))
            return -1;
        put(path, "", true);
        return 0;
    }
    int rmdir(const char* path) override
    {
        return exists(path) && m_nodes.at(path)->directory ? remove(path) : -1;
    }
    int statfs(const char* path, uint64* freeToCaller, uint64* total, uint64* totalFree) override
    {
        *total = 1ull << 30;
        *totalFree = *freeToCaller = *total / 2;
        return exists(path) ? 0 : -1;
    }
    int access(const char* path, int) override { return exists(path) ? 0 : -1; }
    int stat(const char* path, FileInfo* out) override
    {
        if (failStat || !exists(path))
            return -1;
        const Node& node = *m_nodes.at(path);
        MemFsDetail::copyName(out->name, path);
        out->attrib = static_cast<std::uint16_t>(node.directory ? 0x4000 | 0755 : 0x8000 | 0644);
        out->createTime = out->accessTime = out->modifyTime = node.time;
        out->size = node.data.size() + static_cast<uint64>(statSizeExtra);
        return 0;
    }

private:
    struct Node
    {
        bool directory = false;
        bool readOnly = false;
        std::string data;
        int64 time = static_cast<int64>(std::time(nullptr));
    };
    struct Stream
    {
        std::shared_ptr<Node> node;
        int64 position = 0;
        bool canRead = false, canWrite = false, append = false;
    };

    bool hasParent(const std::string& path) const
    {
        auto it = m_nodes.find(MemFsDetail::parentPath(path));
        return it != m_nodes.end() && it->second->directory;
    }
    bool hasChildren(const std::string& path) const
    {
        auto it = m_nodes.lower_bound(path + "/");
        return it != m_nodes.end() && it->first.compare(0, path.size() + 1, path + "/") == 0;
    }

    std::string m_root;
    std::map<std::string, std::shared_ptr<Node>> m_nodes; // by full path, root included
    std::map<long, std::pair<std::vector<FileInfo>, std::size_t>> m_searches; // entries, next
    long m_nextSearch = 100;
};

inline long MemFs::findfirst(const char* pattern, FileInfo* out)
{
    using namespace MemFsDetail;
    const std::string directory = parentPath(pattern);
    const std::string wildcard = std::string(pattern).substr(directory.size() + 1);
    if (!exists(directory) || !m_nodes.at(directory)->directory)
        return -1;
    std::vector<FileInfo> entries;
    auto add = [&](const std::string& name, const Node& node) {
        if (!wildcardMatch(wildcard.c_str(), name.c_str()))
            return;
        FileInfo info = FileInfo();
        copyName(info.name, name);
        info.attrib = static_cast<std::uint16_t>(
            (node.readOnly ? 0x01 : 0) | (name[0] == '.' ? 0x02 : 0) | (node.directory ? 0x10 : 0));
        info.createTime = info.accessTime = info.modifyTime = node.time;
        info.size = node.data.size();
        entries.push_back(info);
    };
    add(".", *m_nodes.at(directory));
    add("..", *m_nodes.at(directory == m_root ? directory : parentPath(directory)));
    for (auto it = m_nodes.upper_bound(directory + "/");
         it != m_nodes.end() && it->first.compare(0, directory.size() + 1, directory + "/") == 0;
         ++it) {
        if (parentPath(it->first) == directory)
            add(it->first.substr(directory.size() + 1), *it->second);
    }
    if (entries.empty())
        return -1;
    *out = entries[0];
    m_searches[m_nextSearch] = {entries, 1};
    ++openSearches;
    return m_nextSearch++;
}

} // namespace OrlixTest

#endif // ORLIX_TESTS_FILES_MEMFS_H
