// Operating-system layer: files, directory search and volume queries.
//
// Internal to the library (never installed). The default file system (infra/filesystem.h)
// is written over these calls so that it never includes <unistd.h>, <dirent.h> or
// <fcntl.h> itself. Every call is safe from any thread; failures are reported by the
// result (null, −1 or false), with errno left as the system set it.
#ifndef ORLIX_PLATFORM_FS_H
#define ORLIX_PLATFORM_FS_H

#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace Orlix {
namespace Platform {

// What an open should do, in the library's own terms (the platform maps each to its flag).
struct OpenRequest
{
    bool append = false;    // every write goes to the end
    bool create = false;    // create the file when it is missing
    bool readWrite = false; // read and write (else read-only unless writeOnly)
    bool writeOnly = false; // write only
    bool truncate = false;  // cut an existing file to length 0
    bool binary = false;    // binary mode (no effect on POSIX)
    bool noInherit = false; // the descriptor is closed in child processes (close-on-exec)
};

// Opens path as requested with permission bits 0600, wraps the descriptor in a stream made
// with streamMode and gives the stream a fully buffered buffer of bufferSize bytes that this
// layer owns until closeStream(). Null when the open or the stream fails (no descriptor is
// left behind).
std::FILE* openStream(const char* path, const OpenRequest& request, const char* streamMode,
                      std::size_t bufferSize);

// Closes a stream made by openStream() and releases its buffer: 0, or EOF when the final
// flush or the close fails. An error an earlier call already reported (a write refused on a
// read-only stream) is not reported again.
int closeStream(std::FILE* stream);

// fputs on a stream: 1 on success, EOF on failure, whatever value the C library uses for
// success.
int putString(const char* text, std::FILE* stream);

// ftell on a stream. For a stream opened for appending with bytes still in its buffer, the
// position is where those bytes will land: the end of the file plus the bytes buffered.
long tellStream(std::FILE* stream);

// The descriptor behind handle when handle is an open stream made by openStream(), else −1.
// Safe to call with any pointer: it is looked up, never dereferenced, unless it is ours.
int streamDescriptor(const void* handle);

// 64-bit seek and tell on a stream (0 / the position on success, −1 on failure).
int seekStream64(std::FILE* stream, std::int64_t offset, int whence);
std::int64_t tellStream64(std::FILE* stream);

// The platform's stat of a path, reduced to what the library reports.
struct PathStatus
{
    std::uint32_t mode = 0;      // type and permission bits as the platform reports them
    std::int64_t changeTime = 0; // seconds since 1970-01-01 UTC
    std::int64_t accessTime = 0;
    std::int64_t modifyTime = 0;
    std::uint64_t size = 0;
};

// Fills status for path (following symbolic links); 0, or −1 on failure.
int statPath(const char* path, PathStatus& status);

// One entry of a directory search.
struct FoundEntry
{
    const char* name = nullptr; // the entry's name, valid until the next call on the search
    bool isDirectory = false;
    bool ownerCannotWrite = false;
    PathStatus status; // zero when the entry could not be queried
};

// Starts a search over the entries of the pattern's directory whose names match its last
// component (fnmatch rules: '*', '?', bracket expressions; '.' and '..' are ordinary
// entries). Only '/' separates directories; a pattern without one searches ".". On the first
// match fills entry and returns a positive search handle; returns −1 when the directory
// cannot be read or nothing matches (then no search stays open).
long findFirst(const char* pattern, FoundEntry& entry);

// Moves the search to its next match and fills entry: 0, or −1 at the end or for a handle
// that is not an open search.
int findNext(long handle, FoundEntry& entry);

// Ends a search and releases its directory stream: 0, or −1 for a handle that is not open.
int findClose(long handle);

// Makes one directory (permission bits 0755 before the umask); 0, or −1.
int makeDirectory(const char* path);

// Removes an empty directory; 0, or −1.
int removeDirectory(const char* path);

// Tests access: mode 0 existence, 2 write, 4 read, 6 both; 0 when allowed, else −1.
int accessPath(const char* path, int mode);

// Space of the volume holding path in bytes: available to the caller, total, total free.
// 0, or −1 on failure.
int volumeSpace(const char* path, std::uint64_t& freeToCaller, std::uint64_t& total,
                std::uint64_t& totalFree);

} // namespace Platform
} // namespace Orlix

#endif // ORLIX_PLATFORM_FS_H
