/// @file
/// File systems: the replaceable layer under every file operation of the library.
///
/// CFile, CLfsFile (infra/file.h) and the directory searches (infra/filefind.h) do each of
/// their primitives (open a stream, read, seek, search a directory, make a directory, ...)
/// through an IFileSystem. Which one is chosen by the path: hookFileSystem() installs a
/// caller's IFileSystem for every path that begins with a prefix, and paths that match no
/// prefix go to FileDefaultOpt, the default over the C library and the operating system.
///
///     class ArchiveFs : public Orlix::Infra::IFileSystem { ... };   // 19 operations
///     ArchiveFs archive;
///     Orlix::Infra::hookFileSystem("/archive/", &archive);
///     Orlix::Infra::CFile file;
///     file.open("/archive/readme.txt", Orlix::Infra::CFile::accessRead);   // served by archive
///
/// Lookup: the table has 31 entries, scanned in order; the first entry whose prefix begins
/// the path wins (byte comparison, case-sensitive), not the longest. Install the more
/// specific prefix first when prefixes nest.
///
/// Thread-safety: the hook table has no lock. Install and remove hooks during start-up, before
/// other threads open files or search directories. A file keeps the IFileSystem chosen when
/// it was opened, so removing a hook never redirects an open file. FileDefaultOpt's operations
/// are as thread-safe as the C library's stream functions.
///
/// Failure: every operation reports failure through its result (null, −1, a short count);
/// nothing is logged. A null or empty mode given to FileDefaultOpt::fopen is a caller error
/// and ends the process through the library's assertion. A null path, pattern or text given
/// to a FileDefaultOpt operation fails it (null from fopen, −1 or EOF otherwise) with EINVAL in
/// errno and in the last error (infra/error.h).
#ifndef ORLIX_INFRA_FILESYSTEM_H
#define ORLIX_INFRA_FILESYSTEM_H

#include "infra/defs.h"

#include <cstddef>
#include <cstdint>

namespace Orlix {
namespace Infra {

namespace Detail {
template <class T>
class CSingleton;
} // namespace Detail

/// What stat() and a directory search report about one file.
struct FileInfo
{
    /// For stat: the path asked about; for a directory search: the entry's name without its
    /// directory. NUL-terminated, at most 259 characters.
    char name[260];
    /// For stat: the mode bits the platform reports (0x4000 directory, 0x8000 regular file,
    /// permission bits). For a directory search: 0x01 read-only, 0x02 hidden, 0x04 system,
    /// 0x10 directory, 0x20 archive; 0 for a normal file.
    std::uint16_t attrib;
    /// Creation time in seconds since 1970-01-01 UTC. The default file system, which knows no
    /// creation time, reports the status-change time.
    int64 createTime;
    /// Time of the last access, in seconds since 1970-01-01 UTC.
    int64 accessTime;
    /// Time of the last modification, in seconds since 1970-01-01 UTC.
    int64 modifyTime;
    /// Size in bytes. The default directory search reports it modulo 2^32 (see FileDefaultOpt).
    uint64 size;
};

/// One piece of a gathered write. The library hands the vector to IFileSystem::writev without
/// reading it; this layout (the POSIX iovec's) is what the default expects and what a hook may
/// rely on.
struct io_vec
{
    void* iov_base;      ///< the first byte of the piece
    std::size_t iov_len; ///< the number of bytes in the piece
};

/// A file system: the primitives under every file operation of the library. Derive from it
/// and implement the 19 pure operations; a handle is an opaque pointer that the same object
/// produced with fopen(). The results follow the C library's conventions, noted per slot.
class ORLIX_API IFileSystem
{
public:
    /// Virtual: hooks may be owned and destroyed through this interface.
    virtual ~IFileSystem();

    /// Opens path with a C stream mode ("r", "w+", "ab", ... with 'b' and 'e'); null on failure.
    virtual void* fopen(const char* path, const char* mode) = 0;
    /// Closes a handle: 0 on success.
    virtual int fclose(void* file) = 0;
    /// Reads up to count items of size bytes: the number of whole items read.
    virtual std::size_t fread(void* buf, std::size_t size, std::size_t count, void* file) = 0;
    /// Writes count items of size bytes: the number of whole items written.
    virtual std::size_t fwrite(const void* buf, std::size_t size, std::size_t count,
                               void* file) = 0;
    /// Writes out buffered data: 0 on success.
    virtual int fflush(void* file) = 0;
    /// Moves the position (whence 0 begin, 1 current, 2 end): 0 on success.
    virtual int fseek(void* file, long offset, int whence) = 0;
    /// The position, −1 on failure.
    virtual long ftell(void* file) = 0;
    /// Reads a line of at most n − 1 characters into buf and terminates it: buf, or null at the
    /// end of the file or on failure.
    virtual char* fgets(char* buf, int n, void* file) = 0;
    /// Writes s without its terminator: non-negative on success, negative on failure.
    virtual int fputs(const char* s, void* file) = 0;
    /// Renames from to to: 0 on success.
    virtual int rename(const char* from, const char* to) = 0;
    /// Removes a file: 0 on success.
    virtual int remove(const char* path) = 0;
    /// Starts a wildcard search; fills out with the first match and returns a search handle,
    /// or −1 when nothing matches (out unchanged).
    virtual long findfirst(const char* pattern, FileInfo* out) = 0;
    /// Fills out with the next match: 0, or −1 at the end (out unchanged). Must accept −1.
    virtual int findnext(long handle, FileInfo* out) = 0;
    /// Ends a search.
    virtual int findclose(long handle) = 0;
    /// Makes one directory: 0 on success.
    virtual int mkdir(const char* path) = 0;
    /// Removes an empty directory: 0 on success.
    virtual int rmdir(const char* path) = 0;
    /// The volume's bytes free to the caller, total bytes and total free bytes: 0, or −1.
    virtual int statfs(const char* path, uint64* freeToCaller, uint64* total,
                       uint64* totalFree) = 0;
    /// Tests access (0 exists, 2 write, 4 read, 6 read and write): 0 when allowed.
    virtual int access(const char* path, int mode) = 0;
    /// Fills out with what is known about path: 0, or −1 (out unchanged).
    virtual int stat(const char* path, FileInfo* out) = 0;
    /// Gathered write of count pieces to descriptor fd: bytes written, or −1. This default
    /// returns 0. CFile passes the descriptor of a stream made by FileDefaultOpt::fopen, and
    /// −1 for any other handle.
    virtual long writev(int fd, const io_vec* vec, int count);
    /// 64-bit seek: 0 on success. This default returns −1 (not supported).
    virtual int fseek64(void* file, int64 offset, int whence);
    /// 64-bit tell: the position, or −1. This default returns −1 (not supported).
    virtual int64 ftell64(void* file);
};

/// Installs or removes a hook.
///  - fs not null: prefix (cut to 255 characters) and fs take the lowest free of the 31
///    entries; when all are taken nothing happens. The same prefix installed twice makes two
///    entries, and the earlier one wins the lookup. A null or empty prefix is ignored.
///  - fs null: clears the lowest entry whose prefix equals prefix (cut to 255 characters, as
///    on install); nothing happens when none does.
///
/// The table owns nothing: fs must outlive its entry.
ORLIX_API void hookFileSystem(const char* prefix, IFileSystem* fs);

/// The default file system, over the C library's streams and the operating system. One
/// object per process, created on first use and destroyed at exit.
///
///  - fopen: modes r (read), r+ (read-write), w / w+ (create, truncate; write / read-write),
///    a / a+ (create, append; write / read-write); 'b' may be added (no effect on POSIX) and
///    'e' makes the descriptor close-on-exec. Files are created with permission bits 0600.
///    Every stream gets a fully buffered 16384-byte buffer, freed by fclose(). Close streams
///    with this fclose(), never with the C library's: the buffer would be lost.
///  - findfirst/findnext: the entries of the pattern's directory whose names match its last
///    component ('*', '?' and bracket expressions of fnmatch; '.' and '..' included). The
///    attributes: 0x10 directory, 0x01 not writable by its owner, 0x02 the name begins with
///    '.'; size is reported modulo 2^32, as a 32-bit field would hold it (stat gives the
///    full size).
///  - stat: the platform's stat; attrib is the mode, createTime the status-change time.
///  - statfs: the volume statistics of path; mkdir uses permission bits 0755.
///  - writev: −1 (not supported); fseek64/ftell64: 64-bit offsets.
class ORLIX_API FileDefaultOpt : public IFileSystem
{
public:
    /// The process-wide default file system.
    static FileDefaultOpt* instance();

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
    long findfirst(const char* pattern, FileInfo* out) override;
    int findnext(long handle, FileInfo* out) override;
    int findclose(long handle) override;
    int mkdir(const char* path) override;
    int rmdir(const char* path) override;
    int statfs(const char* path, uint64* freeToCaller, uint64* total, uint64* totalFree) override;
    int access(const char* path, int mode) override;
    int stat(const char* path, FileInfo* out) override;
    long writev(int fd, const io_vec* vec, int count) override;
    int fseek64(void* file, int64 offset, int whence) override;
    int64 ftell64(void* file) override;

    FileDefaultOpt(const FileDefaultOpt&) = delete;
    FileDefaultOpt& operator=(const FileDefaultOpt&) = delete;

private:
    friend class Detail::CSingleton<FileDefaultOpt>;
    FileDefaultOpt() = default;
};

} // namespace Infra
} // namespace Orlix

#endif // ORLIX_INFRA_FILESYSTEM_H
