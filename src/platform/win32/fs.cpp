// Win32 implementation of files, directory search and volume queries.
//
// Streams are the C runtime's: _wopen gives a descriptor (the interface hands descriptors
// out), _fdopen the stream, _fseeki64/_ftelli64 the 64-bit positions. Directory searches run
// on FindFirstFileW/FindNextFileW over every entry of the directory, with the pattern matched
// here: the system's own wildcard matching differs from the library's rules ("*.*" matches
// names without a dot, short 8.3 names match too, no bracket expressions).
//
// As on POSIX, two small registries live here: the buffers of the streams made by
// openStream(), and the open directory searches (a handle is a number, never a pointer).
#include "platform/fs.h"

#include "platform/win32/win32.h"

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <cerrno>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <unordered_map>

namespace Orlix {
namespace Platform {

namespace {

// ------------------------------------------------------------------ stream buffers

// What this layer keeps of a stream it made: its buffer, and how it appends.
struct StreamRecord
{
    std::unique_ptr<char[]> buffer;
    bool append = false;   // opened for appending
    bool readable = false; // opened for reading as well
};

class StreamBuffers
{
public:
    void adopt(const std::FILE* stream, StreamRecord record)
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_streams[stream] = std::move(record);
    }

    std::unique_ptr<char[]> release(const std::FILE* stream)
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        auto it = m_streams.find(stream);
        if (it == m_streams.end())
            return nullptr;
        std::unique_ptr<char[]> buffer = std::move(it->second.buffer);
        m_streams.erase(it);
        return buffer;
    }

    bool contains(const void* stream) const
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        return m_streams.count(static_cast<const std::FILE*>(stream)) != 0;
    }

    // The stream appends; readable tells whether it may read as well.
    bool appends(const std::FILE* stream, bool& readable) const
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        auto it = m_streams.find(stream);
        if (it == m_streams.end() || !it->second.append)
            return false;
        readable = it->second.readable;
        return true;
    }

private:
    mutable std::mutex m_mutex;
    std::unordered_map<const std::FILE*, StreamRecord> m_streams; // under m_mutex
};

StreamBuffers& streamBuffers()
{
    static StreamBuffers* buffers = new StreamBuffers();
    return *buffers;
}

// The C runtime counts the bytes an appending stream holds in its buffer from the
// descriptor's offset, which is still where the last write or seek left it (the start of the
// file, before the first write), not from the end of the file where they will land; glibc
// reports the latter. Writing them out first moves the offset to the end, so the tell that
// follows reports where they landed. A stream that may also read is flushed only while it is
// writing: a flush in the middle of reading would drop the bytes read ahead.
void settleAppendedBytes(std::FILE* stream)
{
    bool readable = false;
    if (!streamBuffers().appends(stream, readable))
        return;
#ifndef _UCRT
    if (readable && (stream->_flag & _IOWRT) == 0)
        return;
#else
    if (readable)
        return;
#endif
    std::fflush(stream);
}

int openFlags(const OpenRequest& request)
{
    int flags = _O_RDONLY;
    if (request.append)
        flags |= _O_APPEND;
    if (request.create)
        flags |= _O_CREAT;
    if (request.readWrite)
        flags |= _O_RDWR;
    if (request.truncate)
        flags |= _O_TRUNC;
    if (request.writeOnly)
        flags |= _O_WRONLY;
    if (request.noInherit)
        flags |= _O_NOINHERIT;
    flags |= request.binary ? _O_BINARY : _O_TEXT;
    return flags;
}

// ------------------------------------------------------------------ pattern matching

// fnmatch without flags: '*' any run, '?' one character, "[...]" a set ("[!...]" or "[^...]"
// its complement, "a-z" ranges), '\' makes the next character literal. Bytes of UTF-8 names
// compare as bytes, as fnmatch in the C locale does.
bool matchBracket(const char*& p, unsigned char c)
{
    const char* q = p + 1;
    bool negate = false;
    if (*q == '!' || *q == '^') {
        negate = true;
        ++q;
    }
    bool matched = false;
    bool first = true;
    while (*q != '\0' && (first || *q != ']')) {
        first = false;
        unsigned char low = static_cast<unsigned char>(*q);
        if (low == '\\' && q[1] != '\0')
            low = static_cast<unsigned char>(*++q);
        unsigned char high = low;
        if (q[1] == '-' && q[2] != '\0' && q[2] != ']') {
            high = static_cast<unsigned char>(q[2]);
            q += 2;
        }
        if (c >= low && c <= high)
            matched = true;
        ++q;
    }
    if (*q != ']')
        return c == '['; // no closing bracket: '[' is an ordinary character
    p = q;
    return matched != negate;
}

bool matches(const char* p, const char* s)
{
    for (; *p != '\0'; ++p, ++s) {
        switch (*p) {
        case '*':
            while (p[1] == '*')
                ++p;
            if (p[1] == '\0')
                return true;
            for (; *s != '\0'; ++s) {
                if (matches(p + 1, s))
                    return true;
            }
            return false;
        case '?':
            if (*s == '\0')
                return false;
            break;
        case '[': {
            if (*s == '\0')
                return false;
            const char* before = p;
            if (!matchBracket(p, static_cast<unsigned char>(*s)))
                return false;
            if (p == before) // unclosed: matched a literal '['
                break;
            break;
        }
        case '\\':
            if (p[1] != '\0')
                ++p;
            [[fallthrough]];
        default:
            if (*p != *s)
                return false;
        }
    }
    return *s == '\0';
}

// ------------------------------------------------------------------ times and status

// FILETIME counts 100 ns from 1601-01-01 UTC.
std::int64_t unixSeconds(const FILETIME& time)
{
    const std::uint64_t ticks =
        (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
    return static_cast<std::int64_t>(ticks / 10000000ULL) - 11644473600LL;
}

// The mode the C runtime's _stat reports for these attributes (the write bits cleared for a
// read-only entry; directories are searchable).
std::uint32_t modeFor(DWORD attributes)
{
    std::uint32_t mode = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0
                             ? static_cast<std::uint32_t>(_S_IFDIR | _S_IEXEC)
                             : static_cast<std::uint32_t>(_S_IFREG);
    mode |= _S_IREAD;
    if ((attributes & FILE_ATTRIBUTE_READONLY) == 0)
        mode |= _S_IWRITE;
    // The owner's bits repeated for group and others, as the C runtime does.
    mode |= (mode & 0700) >> 3 | (mode & 0700) >> 6;
    return mode;
}

// ------------------------------------------------------------------ directory searches

struct Search
{
    HANDLE find = INVALID_HANDLE_VALUE;
    std::string pattern;     // the last component of the search pattern
    bool matchesAll = false; // the pattern is "*": every entry matches
    bool pending = false;    // data holds an entry FindFirstFileW found and no one has read
    WIN32_FIND_DATAW data;
    std::string name; // the current entry's name in UTF-8
    ~Search()
    {
        if (find != INVALID_HANDLE_VALUE)
            FindClose(find);
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

// Reads on until an entry matches; fills entry from it. False at the end of the directory.
// The find data already carries the attributes, times and size: no second query per entry.
bool nextMatch(Search& search, FoundEntry& entry)
{
    for (;;) {
        if (!search.pending && !FindNextFileW(search.find, &search.data))
            return false;
        search.pending = false;
        search.name = Win32::narrow(search.data.cFileName);
        if (!search.matchesAll && !matches(search.pattern.c_str(), search.name.c_str()))
            continue;
        entry = FoundEntry();
        entry.name = search.name.c_str();
        const DWORD attributes = search.data.dwFileAttributes;
        entry.isDirectory = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        entry.ownerCannotWrite = (attributes & FILE_ATTRIBUTE_READONLY) != 0;
        entry.status.mode = modeFor(attributes);
        entry.status.changeTime = unixSeconds(search.data.ftCreationTime);
        entry.status.accessTime = unixSeconds(search.data.ftLastAccessTime);
        entry.status.modifyTime = unixSeconds(search.data.ftLastWriteTime);
        entry.status.size = entry.isDirectory
                                ? 0
                                : (static_cast<std::uint64_t>(search.data.nFileSizeHigh) << 32) |
                                      search.data.nFileSizeLow;
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
    const std::wstring widePath = Win32::widen(path);
    const int fd = ::_wopen(widePath.c_str(), openFlags(request), _S_IREAD | _S_IWRITE);
    if (fd < 0)
        return nullptr;
    std::FILE* stream = ::_fdopen(fd, streamMode);
    if (stream == nullptr) {
        ::_close(fd);
        return nullptr;
    }
    std::setvbuf(stream, buffer.get(), _IOFBF, bufferSize);
    StreamRecord record;
    record.buffer = std::move(buffer);
    record.append = request.append;
    record.readable = !request.writeOnly;
    streamBuffers().adopt(stream, std::move(record));
    return stream;
}

int closeStream(std::FILE* stream)
{
    // The buffer leaves the registry first and is freed only after fclose() has flushed
    // through it. The C runtime's fclose also fails when the stream's error flag is set, by
    // a write refused long before (a read-only stream written to); as glibc's does, this
    // close reports only its own flush and close.
    std::unique_ptr<char[]> buffer = streamBuffers().release(stream);
    const int flushed = std::fflush(stream);
    std::clearerr(stream);
    const int closed = std::fclose(stream);
    return flushed == 0 && closed == 0 ? 0 : EOF;
}

int putString(const char* text, std::FILE* stream)
{
    return std::fputs(text, stream) == EOF ? EOF : 1; // the C runtime's success is 0
}

long tellStream(std::FILE* stream)
{
    settleAppendedBytes(stream);
    return std::ftell(stream);
}

int streamDescriptor(const void* handle)
{
    if (handle == nullptr || !streamBuffers().contains(handle))
        return -1;
    return ::_fileno(static_cast<std::FILE*>(const_cast<void*>(handle)));
}

int seekStream64(std::FILE* stream, std::int64_t offset, int whence)
{
    return ::_fseeki64(stream, static_cast<__int64>(offset), whence);
}

std::int64_t tellStream64(std::FILE* stream)
{
    settleAppendedBytes(stream);
    return static_cast<std::int64_t>(::_ftelli64(stream));
}

// ------------------------------------------------------------------ paths

int statPath(const char* path, PathStatus& status)
{
    struct _stat64 st;
    const std::wstring widePath = Win32::widen(path);
    if (::_wstat64(widePath.c_str(), &st) != 0)
        return -1;
    status.mode = static_cast<std::uint32_t>(st.st_mode);
    status.changeTime = static_cast<std::int64_t>(st.st_ctime);
    status.accessTime = static_cast<std::int64_t>(st.st_atime);
    status.modifyTime = static_cast<std::int64_t>(st.st_mtime);
    status.size = static_cast<std::uint64_t>(st.st_size);
    return 0;
}

long findFirst(const char* pattern, FoundEntry& entry)
{
    if (pattern == nullptr)
        return -1;
    const std::string full(pattern);
    // Both separators are accepted on Windows; a drive-relative "C:name" keeps its drive.
    std::string::size_type slash = full.find_last_of("/\\");
    if (slash == std::string::npos && full.size() >= 2 && full[1] == ':')
        slash = 1;
    std::string directory;
    auto search = std::make_shared<Search>();
    if (slash == std::string::npos) {
        directory = ".";
        search->pattern = full;
    } else {
        directory = full.substr(0, slash + 1); // "C:/", "/", "dir/" keep their separator
        search->pattern = full.substr(slash + 1);
    }
    search->matchesAll = search->pattern == "*";
    if (directory.back() != '/' && directory.back() != '\\' && directory.back() != ':')
        directory += '\\';
    const std::wstring wide = Win32::widen((directory + "*").c_str());
    search->find = FindFirstFileExW(wide.c_str(), FindExInfoBasic, &search->data,
                                    FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
    if (search->find == INVALID_HANDLE_VALUE) {
        Win32::setErrnoFromLastError();
        return -1;
    }
    search->pending = true;
    if (!nextMatch(*search, entry)) {
        errno = ENOENT;
        return -1;
    }
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
    const std::wstring widePath = Win32::widen(path);
    return ::_wmkdir(widePath.c_str()) == 0 ? 0 : -1;
}

int removeDirectory(const char* path)
{
    const std::wstring widePath = Win32::widen(path);
    return ::_wrmdir(widePath.c_str()) == 0 ? 0 : -1;
}

int accessPath(const char* path, int mode)
{
    // The library's values are the C runtime's: 0 existence, 2 write, 4 read, 6 both.
    const std::wstring widePath = Win32::widen(path);
    return ::_waccess(widePath.c_str(), mode) == 0 ? 0 : -1;
}

int volumeSpace(const char* path, std::uint64_t& freeToCaller, std::uint64_t& total,
                std::uint64_t& totalFree)
{
    // GetDiskFreeSpaceExW wants a directory: a file's volume is its directory's.
    std::wstring widePath = Win32::widen(path);
    const DWORD attributes = GetFileAttributesW(widePath.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        Win32::setErrnoFromLastError();
        return -1;
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        const std::wstring::size_type slash = widePath.find_last_of(L"/\\");
        widePath = slash == std::wstring::npos ? std::wstring(L".") : widePath.substr(0, slash + 1);
    }
    ULARGE_INTEGER available;
    ULARGE_INTEGER size;
    ULARGE_INTEGER free;
    if (!GetDiskFreeSpaceExW(widePath.c_str(), &available, &size, &free)) {
        Win32::setErrnoFromLastError();
        return -1;
    }
    freeToCaller = available.QuadPart;
    total = size.QuadPart;
    totalFree = free.QuadPart;
    return 0;
}

} // namespace Platform
} // namespace Orlix
