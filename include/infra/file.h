/// @file
/// File objects: an open file with a tracked position and length, whole-file loading, line
/// reads and writes, a gathered write, and static operations on paths.
///
/// CFile keeps positions, lengths and counts in 32 bits; CLfsFile is its large-file twin with
/// 64-bit positions, lengths and counts, and splits transfers into pieces of at most
/// ORLIX_MAX_INT_VALUE (2147483647) bytes. Both do every primitive through the IFileSystem
/// (infra/filesystem.h) that the path selects when the file is opened, so hooked paths work
/// unchanged.
///
///     Orlix::Infra::CFile file;
///     if (file.open("/var/app/state.txt", CFile::accessWrite | CFile::openCreate)) {
///         file.puts("ready\n");                 // getPosition() == getLength() == 6
///         file.close();
///     }
///     if (unsigned char* data = file.load("/var/app/state.txt"))
///         use(data, file.getLength());          // the buffer lives until close/unload
///
/// Open flags: the low four bits are the access (accessRead, accessWrite, accessReadWrite),
/// combined with openCreate, openNoTruncate and openNoInherit. They choose the stream mode:
///
///     accessRead                                  "rb"   read; the file must exist
///     accessWrite [| openCreate]                  "wb"   create or truncate
///     accessWrite [| openCreate] | openNoTruncate "ab"   create or append
///     accessReadWrite                             "rb+"  read-write; the file must exist
///     accessReadWrite | openCreate                "wb+"  create or truncate
///     accessReadWrite | openCreate | openNoTruncate "ab+" create or append
///
/// openNoInherit adds "e": the descriptor is not inherited by child processes. Access values
/// 3 to 15 name no mode: open() refuses them and returns false.
///
/// Position and length are tracked in the object: getPosition(), and getLength() once the
/// length is known, never touch the file, and a seek to the current position (other than one
/// from the end) is skipped. CFile reports the low 32 bits of positions and lengths of files
/// of 4 GiB and more (use CLfsFile for those), but it tracks the stream at full width: it
/// reads and writes exactly where a seek to the reported position would put it.
///
/// Thread-safety: a file object is not locked; use each object from one thread at a time.
/// Different objects are independent.
///
/// Failure: nothing throws. On a closed object read/write/writev return −1,
/// seek/getPosition/getLength/puts 0, gets null, flush and close do nothing. A failed seek
/// returns 0 and leaves the tracked position alone. Short transfers are logged at error level
/// and show in the returned count. A null path is refused by every operation that takes one
/// (open and load give false and null, the path operations false) and a null text by puts
/// (−1), each with EINVAL in errno and in the last error (infra/error.h); no file system is
/// handed a null path. Calling load() while a loaded buffer remains is a caller error
/// (assertion).
#ifndef ORLIX_INFRA_FILE_H
#define ORLIX_INFRA_FILE_H

#include "infra/defs.h"
#include "infra/filesystem.h"

namespace Orlix {
namespace Infra {

/// The open flags and seek origins shared by CFile and CLfsFile (CFile::accessRead,
/// CLfsFile::seekEnd, ...).
struct FileModes
{
    /// The open flags: one access value, optionally combined with the open bits.
    enum : unsigned int
    {
        accessRead = 0,          ///< read only; the file must exist
        accessWrite = 1,         ///< write only; the file is created or truncated
        accessReadWrite = 2,     ///< read and write; the file must exist unless openCreate
        accessMask = 0x0F,       ///< the bits that hold the access
        openNoInherit = 0x80,    ///< child processes do not inherit the descriptor
        openCreate = 0x1000,     ///< create the file when it is missing
        openNoTruncate = 0x2000, ///< append instead of truncating (the mode table of file.h)
    };

    /// The origin of a seek.
    enum SeekPosition
    {
        seekBegin = 0,   ///< from the start of the file
        seekCurrent = 1, ///< from the current position
        seekEnd = 2,     ///< from the end of the file
    };
};

/// A file with 32-bit positions, lengths and counts.
class ORLIX_API CFile : public FileModes
{
public:
    /// A closed file with no buffer, using FileDefaultOpt.
    CFile();
    /// Closes the file if open and releases a loaded buffer.
    virtual ~CFile();
    CFile(const CFile&) = delete;
    CFile& operator=(const CFile&) = delete;

    /// Opens path with flags (see the mode table in file.h), closing and unloading first. The
    /// position is where the stream starts (0, or the end for an append mode as the platform
    /// reports it); the length is 0 after a truncating open, else the file's size (low 32 bits).
    /// False when the file system refuses the open or the access value names no mode; the
    /// object is then closed.
    virtual bool open(const char* path, unsigned int flags);

    /// Closes the file and releases a loaded buffer; the object uses FileDefaultOpt again.
    /// Nothing happens on a closed object (a buffer of an earlier load stays until unload()).
    virtual void close();

    /// Reads the whole file into a buffer owned by the object and returns it; the file stays
    /// open and getLength() is the buffer's size. Null for a missing or empty file, when the
    /// allocation fails, or when fewer bytes than the length could be read (then "ls" runs as a
    /// diagnostic and an error line is logged). The buffer lives until close(), unload() or
    /// destruction. Asserts "!m_internal->m_buffer": unload() an earlier buffer first.
    virtual unsigned char* load(const char* path);

    /// close(), then releases a buffer that remains.
    virtual void unload();

    /// Reads up to len bytes: the count read (0 at the end), −1 when closed.
    virtual long read(void* buf, unsigned int len);

    /// Writes len bytes: the count written, −1 when closed. A short write is logged at error
    /// level. The position becomes the stream's, and the length grows to it.
    virtual long write(const void* buf, unsigned int len);

    /// Writes out buffered data and updates position and length from the stream.
    virtual void flush();

    /// Moves to offset from whence: the new position, or 0 when closed or the seek fails.
    /// A move to the current position (not from seekEnd) does not touch the file.
    virtual unsigned int seek(long offset, SeekPosition whence);

    /// The tracked position; 0 when closed.
    virtual unsigned int getPosition();

    /// The length: learnt once by seeking to the end and back when not yet known. 0 when
    /// closed.
    virtual unsigned int getLength();

    /// Reads a line of at most n − 1 characters (with its line feed) into buf: buf, or null at
    /// the end, on failure or when closed.
    virtual char* gets(char* buf, unsigned int n);

    /// Writes s: the file system's result (non-negative on success, −1 on failure), 0 when
    /// closed.
    virtual long puts(const char* s);

    /// True while a file is open.
    virtual bool isOpen();

    /// Gathered write of count pieces through the file system's writev, with the descriptor
    /// of the stream: bytes written, or −1 (always −1 with FileDefaultOpt, and when closed).
    /// Only a positive result moves the position.
    virtual long writev(const io_vec* vec, int count);

    /// @name Path operations
    /// Each goes through the file system that its path selects (the first path for rename)
    /// and returns true when that file system reports success.
    /// @{

    /// Renames the file or directory from to to.
    static bool rename(const char* from, const char* to);
    /// Removes the file path.
    static bool remove(const char* path);
    /// Makes the directory path; its parent must exist.
    static bool makeDirectory(const char* path);
    /// Removes the empty directory path.
    static bool removeDirectory(const char* path);
    /// Tests access to path; mode: 0 exists, 2 write, 4 read, 6 read and write.
    static bool access(const char* path, int mode);
    /// Fills info with what the file system reports about path (see FileInfo).
    static bool stat(const char* path, FileInfo& info);
    /// Bytes of the volume holding path: free to the caller, total, total free.
    static bool statFS(const char* path, uint64& freeToCaller, uint64& total, uint64& totalFree);
    /// @}

private:
    struct FileInternal;
    FileInternal* m_internal;
};

/// A file with 64-bit positions, lengths and counts. Transfers larger than
/// ORLIX_MAX_INT_VALUE bytes are split into pieces; seeks and tells use the file system's
/// 64-bit operations (fseek64/ftell64), so a hook serving CLfsFile must implement them.
class ORLIX_API CLfsFile : public FileModes
{
public:
    /// A closed file with no buffer, using FileDefaultOpt.
    CLfsFile();
    /// Closes the file if open and releases a loaded buffer.
    virtual ~CLfsFile();
    /// Copies would share one open stream; they are not offered.
    CLfsFile(const CLfsFile&) = delete;
    CLfsFile& operator=(const CLfsFile&) = delete;

    /// As CFile::open, with the full 64-bit length.
    virtual bool open(const char* path, unsigned int flags);

    /// As CFile::close.
    virtual void close();

    /// As CFile::load. A file whose length no buffer can hold (the allocation fails) gives
    /// null without a diagnostic; the file stays open.
    virtual unsigned char* load(const char* path);

    /// As CFile::unload.
    virtual void unload();

    /// Reads up to len bytes in pieces of at most ORLIX_MAX_INT_VALUE: the total read, −1 when
    /// closed. A piece that reads nothing ends the transfer and is logged at error level, so
    /// reading past the end of the file logs a line.
    virtual int64 read(void* buf, int64 len);

    /// Writes len bytes in pieces: the total written, −1 when closed. A failed piece ends the
    /// transfer and is logged. The position becomes the stream's, the length grows to it.
    virtual int64 write(const void* buf, int64 len);

    /// As CFile::flush.
    virtual void flush();

    /// As CFile::seek, with 64-bit offsets.
    virtual int64 seek(int64 offset, SeekPosition whence);

    /// The tracked position; 0 when closed.
    virtual int64 getPosition();

    /// As CFile::getLength.
    virtual int64 getLength();

    /// As CFile::gets; n above ORLIX_MAX_INT_VALUE is logged and gives null.
    virtual char* gets(char* buf, int64 n);

    /// As CFile::puts.
    virtual int64 puts(const char* s);

    /// True while a file is open.
    virtual bool isOpen();

    /// As CFile::writev.
    virtual int64 writev(const io_vec* vec, int count);

    /// @name Path operations
    /// @{

    /// As the CFile path operations of the same name.
    static bool rename(const char* from, const char* to);
    static bool remove(const char* path);
    static bool makeDirectory(const char* path);
    static bool removeDirectory(const char* path);
    static bool access(const char* path, int mode);
    static bool stat(const char* path, FileInfo& info);
    static bool statFS(const char* path, uint64& freeToCaller, uint64& total, uint64& totalFree);
    /// @}

private:
    struct LfsFileInternal;
    LfsFileInternal* m_internal;
};

} // namespace Infra
} // namespace Orlix

#endif // ORLIX_INFRA_FILE_H
