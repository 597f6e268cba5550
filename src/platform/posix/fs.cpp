// POSIX implementation of files, directory search and volume queries.
//
// Two small process-wide registries live here, each behind its own mutex:
//  - the buffers of the streams made by openStream(): stdio ignores the size given to
//    setvbuf() unless the caller supplies the memory, so this layer owns a buffer per stream
//    and frees it when the stream is closed through closeStream();
//  - the open directory searches: a search handle is a number that addresses a record
//    holding the directory stream and the name pattern, so a stale or foreign number is
//    refused instead of being dereferenced.
#include "platform/fs.h"

#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <unordered_map>

static_assert(sizeof(off_t) == 8, "64-bit file offsets are required");

namespace Orlix {
namespace Platform {

namespace {

// ------------------------------------------------------------------ stream buffers

class StreamBuffers
{
public:
    void adopt(const std::FILE* stream, std::unique_ptr<char[]> buffer)
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        // A stream closed behind our back (plain fclose) may have left an entry at this
        // address; replacing it frees that buffer.
        m_buffers[stream] = std::move(buffer);
    }

    std::unique_ptr<char[]> release(const std::FILE* stream)
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        auto it = m_buffers.find(stream);
        if (it == m_buffers.end())
            return nullptr;
        std::unique_ptr<char[]> buffer = std::move(it->second);
        m_buffers.erase(it);
        return buffer;
    }

    bool contains(const void* stream) const
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        return m_buffers.count(static_cast<const std::FILE*>(stream)) != 0;
    }

private:
    mutable std::mutex m_mutex;
    std::unordered_map<const std::FILE*, std::unique_ptr<char[]>> m_buffers; // under m_mutex
};

// Reached from static destructors of other objects too, so it is never destroyed.
StreamBuffers& streamBuffers()
{
    static StreamBuffers* buffers = new StreamBuffers();
    return *buffers;
}

int openFlags(const OpenRequest& request)
{
    int flags = O_RDONLY;
    if (request.append)
        flags |= O_APPEND;
    if (request.create)
        flags |= O_CREAT;
    if (request.readWrite)
        flags |= O_RDWR;
    if (request.truncate)
        flags |= O_TRUNC;
    if (request.writeOnly)
        flags |= O_WRONLY;
    if (request.noInherit)
        flags |= O_CLOEXEC;
    return flags;
}

// ------------------------------------------------------------------ directory searches

struct Search
{
    DIR* dir = nullptr;
    std::string pattern;     // the last component of the search pattern
    bool matchesAll = false; // the pattern is "*": every entry matches, fnmatch is skipped
    ~Search()
    {
        if (dir != nullptr)
            closedir(dir);
    }
};

class SearchTable
{
public:
    long add(std::shared_ptr<Search> search)
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        const long handle = m_next++;
        m_searches.emplace(handle, std::move(search));
        return handle;
    }

    std::shared_ptr<Search> find(long handle) const
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        auto it = m_searches.find(handle);
        return it == m_searches.end() ? nullptr : it->second;
    }

    std::shared_ptr<Search> remove(long handle)
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        auto it = m_searches.find(handle);
        if (it == m_searches.end())
            return nullptr;
        std::shared_ptr<Search> search = std::move(it->second);
        m_searches.erase(it);
        return search;
    }

private:
    mutable std::mutex m_mutex;
    long m_next = 1;                                              // under m_mutex
    std::unordered_map<long, std::shared_ptr<Search>> m_searches; // under m_mutex
};

SearchTable& searchTable()
{
    static SearchTable* table = new SearchTable();
    return *table;
}

void fillStatus(const struct stat& st, PathStatus& status)
{
    status.mode = static_cast<std::uint32_t>(st.st_mode);
    status.changeTime = static_cast<std::int64_t>(st.st_ctim.tv_sec);
    status.accessTime = static_cast<std::int64_t>(st.st_atim.tv_sec);
    status.modifyTime = static_cast<std::int64_t>(st.st_mtim.tv_sec);
    status.size = static_cast<std::uint64_t>(st.st_size);
}

// Reads on until an entry matches; fills entry from it. False at the end of the directory.
// Cost per entry: readdir (one getdents per buffer of entries), the pattern test (none for
// "*", the usual listing) and one fstatat relative to the open directory, which the sizes,
// times and attributes all need. The std::filesystem equivalent (directory_iterator plus
// file_size) stats the full path instead, which walks the directory part again each time.
bool nextMatch(Search& search, FoundEntry& entry)
{
    for (;;) {
        const dirent* d = readdir(search.dir);
        if (d == nullptr)
            return false;
        if (!search.matchesAll && fnmatch(search.pattern.c_str(), d->d_name, 0) != 0)
            continue;
        entry = FoundEntry();
        entry.name = d->d_name;
        // Relative to the open directory: no path is built and no second lookup of the
        // directory happens. A dangling link is reported as the link itself.
        struct stat st;
        const int fd = dirfd(search.dir);
        if (fstatat(fd, d->d_name, &st, 0) == 0 ||
            fstatat(fd, d->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0) {
            fillStatus(st, entry.status);
            entry.isDirectory = S_ISDIR(st.st_mode);
            entry.ownerCannotWrite = (st.st_mode & S_IWUSR) == 0;
        }
        return true;
    }
}

} // namespace

// ------------------------------------------------------------------ streams

std::FILE* openStream(const char* path, const OpenRequest& request, const char* streamMode,
                      std::size_t bufferSize)
{
    std::unique_ptr<char[]> buffer(new (std::nothrow) char[bufferSize]);
    if (!buffer)
        return nullptr;
    const int fd = ::open(path, openFlags(request), 0600);
    if (fd < 0)
        return nullptr;
    std::FILE* stream = fdopen(fd, streamMode);
    if (stream == nullptr) {
        ::close(fd);
        return nullptr;
    }
    std::setvbuf(stream, buffer.get(), _IOFBF, bufferSize);
    // A stream made by fdopen() does not know its file offset until it seeks, so every tell
    // would cost a system call; the file objects ask for one after each write. One seek to
    // where the stream already is lets the C library track the offset from then on. It
    // fails harmlessly on descriptors that cannot seek.
    fseeko(stream, 0, SEEK_CUR);
    streamBuffers().adopt(stream, std::move(buffer));
    return stream;
}

int closeStream(std::FILE* stream)
{
    // The buffer leaves the registry first, so that a stream opened by another thread at the
    // same address right after fclose() cannot meet a stale entry; it is freed only after
    // fclose() has flushed through it.
    std::unique_ptr<char[]> buffer = streamBuffers().release(stream);
    return std::fclose(stream);
}

int putString(const char* text, std::FILE* stream)
{
    return std::fputs(text, stream) == EOF ? EOF : 1;
}

long tellStream(std::FILE* stream)
{
    return std::ftell(stream); // glibc already places buffered appends at the end
}

int streamDescriptor(const void* handle)
{
    if (handle == nullptr || !streamBuffers().contains(handle))
        return -1;
    return fileno(static_cast<std::FILE*>(const_cast<void*>(handle)));
}

int seekStream64(std::FILE* stream, std::int64_t offset, int whence)
{
    return fseeko(stream, static_cast<off_t>(offset), whence);
}

std::int64_t tellStream64(std::FILE* stream)
{
    return static_cast<std::int64_t>(ftello(stream));
}

// ------------------------------------------------------------------ paths

int statPath(const char* path, PathStatus& status)
{
    struct stat st;
    if (::stat(path, &st) != 0)
        return -1;
    fillStatus(st, status);
    return 0;
}

long findFirst(const char* pattern, FoundEntry& entry)
{
    if (pattern == nullptr)
        return -1;
    const std::string full(pattern);
    const std::string::size_type slash = full.rfind('/');
    std::string directory;
    auto search = std::make_shared<Search>();
    if (slash == std::string::npos) {
        directory = ".";
        search->pattern = full;
    } else {
        directory = slash == 0 ? std::string("/") : full.substr(0, slash);
        search->pattern = full.substr(slash + 1);
    }
    search->matchesAll = search->pattern == "*";
    search->dir = opendir(directory.c_str());
    if (search->dir == nullptr)
        return -1;
    if (!nextMatch(*search, entry))
        return -1;
    return searchTable().add(std::move(search));
}

int findNext(long handle, FoundEntry& entry)
{
    std::shared_ptr<Search> search = searchTable().find(handle);
    if (!search)
        return -1;
    return nextMatch(*search, entry) ? 0 : -1;
}

int findClose(long handle)
{
    return searchTable().remove(handle) ? 0 : -1;
}

int makeDirectory(const char* path)
{
    return ::mkdir(path, 0755) == 0 ? 0 : -1;
}

int removeDirectory(const char* path)
{
    return ::rmdir(path) == 0 ? 0 : -1;
}

int accessPath(const char* path, int mode)
{
    // The library's values are the POSIX ones: F_OK 0, W_OK 2, R_OK 4.
    static_assert(F_OK == 0 && W_OK == 2 && R_OK == 4, "access mode values differ");
    return ::access(path, mode) == 0 ? 0 : -1;
}

int volumeSpace(const char* path, std::uint64_t& freeToCaller, std::uint64_t& total,
                std::uint64_t& totalFree)
{
    struct statvfs vfs;
    if (::statvfs(path, &vfs) != 0)
        return -1;
    const std::uint64_t unit = vfs.f_frsize != 0 ? vfs.f_frsize : vfs.f_bsize;
    freeToCaller = static_cast<std::uint64_t>(vfs.f_bavail) * unit;
    total = static_cast<std::uint64_t>(vfs.f_blocks) * unit;
    totalFree = static_cast<std::uint64_t>(vfs.f_bfree) * unit;
    return 0;
}

} // namespace Platform
} // namespace Orlix
