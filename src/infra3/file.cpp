// CFile and CLfsFile.
//
// Both classes are one implementation, FileCore, instantiated for two widths. The core keeps
// the stream's position and the file's length at full 64-bit width for both: CFile narrows
// them to 32 bits only where it reports them, so it never mistakes an offset beyond 4 GiB for
// its low 32 bits (a seek skipped because the low bits match, or a length of an exact
// multiple of 4 GiB taken for "not learnt", would leave the stream somewhere other than
// where the object says it is). What differs between the widths is in the Width policies:
// the file-system operations that seek and tell (fseek/ftell or fseek64/ftell64), how a
// transfer is split (CLfsFile cuts it into pieces a 32-bit primitive can take), the limit on
// gets() and the lines each class logs.
#include "infra/file.h"

#include "infra/error.h"
#include "infra/print.h"
#include "infra/thread.h"
#include "infra3/diag.h"
#include "infra3/file_internal.h"
#include "infra3/filesystem_internal.h"
#include "platform/fs.h"
#include "platform/thread.h"

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstring>
#include <new>

namespace Orlix {
namespace Infra {

namespace {

// ------------------------------------------------------------------ diagnostic seam

// The diagnostic of a short load runs as a command through systemCall; tests replace the
// runner so that no command is started.
Detail::FileDiagnosticRunner g_diagnosticRunner = nullptr;

int runDiagnostic(const char* command)
{
    return g_diagnosticRunner != nullptr ? g_diagnosticRunner(command) : systemCall(command);
}

// The prefix arguments of a line about the file object self (see ORLIX_OBJ_FMT).
#define ORLIX_FILE_ARGS(self) __FILE__, __LINE__, (self), ::Orlix::Platform::currentThreadId()

// ------------------------------------------------------------------ open modes

// The stream mode for flags (see infra/file.h), with "e" appended for openNoInherit. Null
// for access values 3 to 15, which name no mode.
const char* streamModeFor(unsigned int flags, char (&mode)[8])
{
    const bool create = (flags & FileModes::openCreate) != 0;
    const bool noTruncate = (flags & FileModes::openNoTruncate) != 0;
    const char* base = nullptr;
    switch (flags & FileModes::accessMask) {
    case FileModes::accessRead:
        base = "rb";
        break;
    case FileModes::accessWrite:
        base = noTruncate ? "ab" : "wb";
        break;
    case FileModes::accessReadWrite:
        base = !create ? "rb+" : (noTruncate ? "ab+" : "wb+");
        break;
    default:
        return nullptr;
    }
    std::strcpy(mode, base);
    if ((flags & FileModes::openNoInherit) != 0)
        std::strcat(mode, "e");
    return mode;
}

// Adds without signed overflow (wrapping), for seek targets built from caller offsets.
int64 wrappingAdd(int64 a, int64 b)
{
    return static_cast<int64>(static_cast<uint64>(a) + static_cast<uint64>(b));
}

// ------------------------------------------------------------------ the two widths

// CFile: tells and seeks through ftell/fseek, one primitive call per transfer.
struct NarrowWidth
{
    static int64 tell(IFileSystem* fs, void* file) { return fs->ftell(file); }
    static int seek(IFileSystem* fs, void* file, int64 offset, int whence)
    {
        return fs->fseek(file, static_cast<long>(offset), whence);
    }

    static int64 read(const void*, IFileSystem* fs, void* file, void* buf, int64 len)
    {
        return static_cast<int64>(fs->fread(buf, 1, static_cast<std::size_t>(len), file));
    }

    static int64 write(const void*, IFileSystem* fs, void* file, const void* buf, int64 len)
    {
        const std::size_t written = fs->fwrite(buf, 1, static_cast<std::size_t>(len), file);
        if (written < static_cast<std::size_t>(len)) {
            const int error = errno;
            logError("fwrite failed, expected:%lu, actual:%lu,errno=%d, errmsg:%s\n",
                     static_cast<unsigned long>(len), static_cast<unsigned long>(written), error,
                     std::strerror(error));
        }
        return static_cast<int64>(written);
    }

    // The length load() reads: what CFile reports, the low 32 bits.
    static int64 loadLength(int64 length) { return static_cast<std::uint32_t>(length); }

    static void logShortLoad(const void* self, const char* path, int64 length, int64 got, int error)
    {
        logError(ORLIX_OBJ_FMT "CFile::load(): filename(%s), length(%d), ret(%d), %s\n",
                 ORLIX_FILE_ARGS(self), path, static_cast<int>(length), static_cast<int>(got),
                 std::strerror(error));
    }

    // The primitive takes an int; a larger count can only mean "the whole line".
    static bool lineLimit(const void*, int64 n, int& limit)
    {
        limit = n > INT_MAX ? INT_MAX : static_cast<int>(n);
        return true;
    }
};

// CLfsFile: tells and seeks through ftell64/fseek64, transfers in pieces of at most
// ORLIX_MAX_INT_VALUE bytes, each logged when it fails.
struct WideWidth
{
    static int64 tell(IFileSystem* fs, void* file) { return fs->ftell64(file); }
    static int seek(IFileSystem* fs, void* file, int64 offset, int whence)
    {
        return fs->fseek64(file, offset, whence);
    }

    static int64 read(const void* self, IFileSystem* fs, void* file, void* buf, int64 len)
    {
        unsigned char* const bytes = static_cast<unsigned char*>(buf);
        return inPieces(
            self, len,
            ORLIX_OBJ_FMT "fread get error,total %jd has read %jd,expected %zu "
                          "return %zu\n",
            [&](int64 done, std::size_t piece) { return fs->fread(bytes + done, 1, piece, file); });
    }

    static int64 write(const void* self, IFileSystem* fs, void* file, const void* buf, int64 len)
    {
        const unsigned char* const bytes = static_cast<const unsigned char*>(buf);
        return inPieces(self, len,
                        ORLIX_OBJ_FMT
                        "fwrite get error,total %jd has write %jd,expected %zu return %zu",
                        [&](int64 done, std::size_t piece) {
                            return fs->fwrite(bytes + done, 1, piece, file);
                        });
    }

    // A length the address space cannot hold gives null, as an allocation failure does.
    static int64 loadLength(int64 length)
    {
        return static_cast<uint64>(length) > static_cast<uint64>(PTRDIFF_MAX) ? 0 : length;
    }

    static void logShortLoad(const void* self, const char* path, int64 length, int64 got, int error)
    {
        logError(ORLIX_OBJ_FMT "CLfsFile::load(): filename(%s), length(%ju), ret(%jd), %s\n",
                 ORLIX_FILE_ARGS(self), path, static_cast<uintmax_t>(length),
                 static_cast<intmax_t>(got), std::strerror(error));
    }

    static bool lineLimit(const void* self, int64 n, int& limit)
    {
        if (n > ORLIX_MAX_INT_VALUE) {
            logError(ORLIX_OBJ_FMT
                     "Bytes need to be seeked has been over the ORLIX_MAX_INT_VALUE.\n",
                     ORLIX_FILE_ARGS(self));
            return false;
        }
        limit = static_cast<int>(n);
        return true;
    }

private:
    // Moves len bytes with transfer(done, piece), in pieces of at most ORLIX_MAX_INT_VALUE
    // bytes, until all are moved or a piece moves nothing (0, or the -1 of an error): that
    // piece ends the transfer and is logged with format. Returns the bytes moved.
    template <class Transfer>
    static int64 inPieces(const void* self, int64 len, const char* format, Transfer transfer)
    {
        int64 total = 0;
        while (total < len) {
            const int64 rest = len - total;
            const std::size_t piece =
                static_cast<std::size_t>(rest < ORLIX_MAX_INT_VALUE ? rest : ORLIX_MAX_INT_VALUE);
            const std::size_t moved = transfer(total, piece);
            if (moved == 0 || moved == static_cast<std::size_t>(-1)) {
                logError(format, ORLIX_FILE_ARGS(self), static_cast<intmax_t>(len),
                         static_cast<intmax_t>(total), piece, moved);
                break;
            }
            total += static_cast<int64>(moved);
        }
        return total;
    }
};

// ------------------------------------------------------------------ the shared core

template <class Width>
class FileCore
{
public:
    FileCore() = default;
    ~FileCore()
    {
        close();
        releaseBuffer();
    }
    FileCore(const FileCore&) = delete;
    FileCore& operator=(const FileCore&) = delete;

    bool isOpen() const { return m_file != nullptr; }

    bool open(const char* path, unsigned int flags)
    {
        if (m_file != nullptr)
            close();
        if (m_buffer != nullptr)
            unload();
        if (Detail::refuseNullPath(path))
            return false;
        m_opt.choose(Detail::getFileSystem(path));
        ORLIX_ASSERT_TEXT(m_opt, "m_internal->m_opt");
        char modeText[8];
        const char* mode = streamModeFor(flags, modeText);
        if (mode != nullptr)
            m_file = m_opt.get()->fopen(path, mode);
        if (m_file == nullptr) {
            m_opt.chooseDefault();
            return false;
        }
        const int64 position = Width::tell(m_opt.get(), m_file);
        m_position = position < 0 ? 0 : position;
        if ((flags & FileModes::openCreate) != 0 && (flags & FileModes::openNoTruncate) == 0) {
            m_length = 0;
        } else {
            FileInfo info;
            m_length = m_opt.get()->stat(path, &info) == 0 ? static_cast<int64>(info.size) : 0;
        }
        return true;
    }

    void close()
    {
        if (m_file == nullptr)
            return;
        m_opt.get()->fclose(m_file);
        m_file = nullptr;
        m_length = 0;
        releaseBuffer();
        m_position = 0;
        m_opt.chooseDefault();
    }

    void unload()
    {
        close();
        releaseBuffer();
    }

    unsigned char* load(const void* self, const char* path)
    {
        ORLIX_ASSERT_TEXT(!m_buffer, "!m_internal->m_buffer");
        if (!open(path, FileModes::openNoTruncate))
            return nullptr;
        if (m_length == 0) {
            m_length = seek(0, FileModes::seekEnd);
            seek(0, FileModes::seekBegin);
        }
        const int64 length = Width::loadLength(m_length);
        if (length <= 0)
            return nullptr;
        m_buffer = new (std::nothrow) unsigned char[static_cast<std::size_t>(length)];
        if (m_buffer == nullptr)
            return nullptr;
        seek(0, FileModes::seekBegin);
        const int64 got = read(self, m_buffer, length);
        if (got < length) {
            const int error = errno;
            runDiagnostic("ls");
            Width::logShortLoad(self, path, length, got, error);
            unload();
            return nullptr;
        }
        return m_buffer;
    }

    int64 read(const void* self, void* buf, int64 len)
    {
        if (m_file == nullptr)
            return -1;
        const int64 got = Width::read(self, m_opt.get(), m_file, buf, len);
        m_position += got;
        return got;
    }

    int64 write(const void* self, const void* buf, int64 len)
    {
        if (m_file == nullptr)
            return -1;
        const int64 written = Width::write(self, m_opt.get(), m_file, buf, len);
        takePositionFromStream();
        return written;
    }

    void flush()
    {
        if (m_file == nullptr)
            return;
        m_opt.get()->fflush(m_file);
        takePositionFromStream();
    }

    // The target is compared with the full-width position: only a seek that would leave the
    // stream exactly where it is may be skipped.
    int64 seek(int64 offset, int whence)
    {
        if (m_file == nullptr)
            return 0;
        if (whence == FileModes::seekBegin || whence == FileModes::seekCurrent) {
            const int64 target =
                whence == FileModes::seekBegin ? offset : wrappingAdd(m_position, offset);
            if (target == m_position)
                return m_position;
        }
        if (Width::seek(m_opt.get(), m_file, offset, whence) < 0)
            return 0;
        const int64 position = Width::tell(m_opt.get(), m_file);
        m_position = position < 0 ? 0 : position;
        return m_position;
    }

    int64 position() const { return m_file != nullptr ? m_position : 0; }

    // Learnt once by seeking to the end and back to the full-width position.
    int64 length()
    {
        if (m_file == nullptr)
            return 0;
        if (m_length == 0) {
            const int64 remembered = m_position;
            m_length = seek(0, FileModes::seekEnd);
            seek(remembered, FileModes::seekBegin);
        }
        return m_length;
    }

    char* gets(const void* self, char* buf, int64 n)
    {
        int limit = 0;
        if (m_file == nullptr || !Width::lineLimit(self, n, limit))
            return nullptr;
        char* result = m_opt.get()->fgets(buf, limit, m_file);
        if (result != nullptr)
            m_position += static_cast<int64>(std::strlen(result));
        return result;
    }

    int64 puts(const char* s)
    {
        if (m_file == nullptr)
            return 0;
        if (Detail::refuseNullPath(s))
            return -1;
        const int result = m_opt.get()->fputs(s, m_file);
        if (result != -1)
            m_position += static_cast<int64>(std::strlen(s));
        growLength();
        return result;
    }

    int64 writev(const io_vec* vec, int count)
    {
        if (m_file == nullptr)
            return -1;
        const long result = m_opt.get()->writev(Platform::streamDescriptor(m_file), vec, count);
        if (result > 0) {
            m_position += result;
            growLength();
        }
        return result;
    }

private:
    void releaseBuffer()
    {
        delete[] m_buffer;
        m_buffer = nullptr;
    }

    // After a write or flush the stream knows best where it is; the position is taken as
    // reported (a failing tell is not hidden) and the length grows to it.
    void takePositionFromStream()
    {
        m_position = Width::tell(m_opt.get(), m_file);
        growLength();
    }

    void growLength()
    {
        if (m_length < m_position)
            m_length = m_position;
    }

    void* m_file = nullptr;            // the file system's handle; null when closed
    unsigned char* m_buffer = nullptr; // made by load(); null when none
    int64 m_length = 0;                // as far as learnt; 0 = not yet learnt, or empty
    int64 m_position = 0;              // where the stream is, at full width
    Detail::FileSystemChoice m_opt;    // FileDefaultOpt while closed, the path's when open
};

// ------------------------------------------------------------------ path operations

// Shared by both classes: each picks the file system by its (first) path.
struct FilePaths
{
    static bool rename(const char* from, const char* to)
    {
        return !Detail::refuseNullPath(from) && !Detail::refuseNullPath(to) &&
               Detail::getFileSystem(from)->rename(from, to) == 0;
    }
    static bool remove(const char* path)
    {
        return !Detail::refuseNullPath(path) && Detail::getFileSystem(path)->remove(path) == 0;
    }
    static bool makeDirectory(const char* path)
    {
        return !Detail::refuseNullPath(path) && Detail::getFileSystem(path)->mkdir(path) == 0;
    }
    static bool removeDirectory(const char* path)
    {
        return !Detail::refuseNullPath(path) && Detail::getFileSystem(path)->rmdir(path) == 0;
    }
    static bool access(const char* path, int mode)
    {
        return !Detail::refuseNullPath(path) &&
               Detail::getFileSystem(path)->access(path, mode) == 0;
    }
    static bool stat(const char* path, FileInfo& info)
    {
        return !Detail::refuseNullPath(path) && Detail::getFileSystem(path)->stat(path, &info) == 0;
    }
    static bool statFS(const char* path, uint64& freeToCaller, uint64& total, uint64& totalFree)
    {
        return !Detail::refuseNullPath(path) &&
               Detail::getFileSystem(path)->statfs(path, &freeToCaller, &total, &totalFree) == 0;
    }
};

} // namespace

namespace Detail {

void setFileDiagnosticRunnerForTesting(FileDiagnosticRunner runner)
{
    g_diagnosticRunner = runner;
}

} // namespace Detail

// ================================================================== CFile and CLfsFile

namespace {

// Reports a full-width position or length as the class does: the low 32 bits for CFile.
unsigned int reportNarrow(int64 value)
{
    return static_cast<unsigned int>(value);
}

int64 reportWide(int64 value)
{
    return value;
}

} // namespace

// Defines the members of one file class over its core. Offset, Count, Signed and Unsigned are
// the class's types of seek offsets, transfer counts, signed results and positions; report
// narrows a full-width position or length to what the class says.
#define ORLIX_DEFINE_FILE_CLASS(Class, Internal, Width, Offset, Count, Signed, Unsigned, report)   \
    struct Class::Internal : FileCore<Width>                                                       \
    {};                                                                                            \
    Class::Class() : m_internal(new Internal()) {}                                                 \
    Class::~Class()                                                                                \
    {                                                                                              \
        delete m_internal;                                                                         \
    }                                                                                              \
    bool Class::open(const char* path, unsigned int flags)                                         \
    {                                                                                              \
        return m_internal->open(path, flags);                                                      \
    }                                                                                              \
    void Class::close()                                                                            \
    {                                                                                              \
        m_internal->close();                                                                       \
    }                                                                                              \
    unsigned char* Class::load(const char* path)                                                   \
    {                                                                                              \
        return m_internal->load(this, path);                                                       \
    }                                                                                              \
    void Class::unload()                                                                           \
    {                                                                                              \
        m_internal->unload();                                                                      \
    }                                                                                              \
    Signed Class::read(void* buf, Count len)                                                       \
    {                                                                                              \
        return static_cast<Signed>(m_internal->read(this, buf, static_cast<int64>(len)));          \
    }                                                                                              \
    Signed Class::write(const void* buf, Count len)                                                \
    {                                                                                              \
        return static_cast<Signed>(m_internal->write(this, buf, static_cast<int64>(len)));         \
    }                                                                                              \
    void Class::flush()                                                                            \
    {                                                                                              \
        m_internal->flush();                                                                       \
    }                                                                                              \
    Unsigned Class::seek(Offset offset, SeekPosition whence)                                       \
    {                                                                                              \
        return report(m_internal->seek(offset, whence));                                           \
    }                                                                                              \
    Unsigned Class::getPosition()                                                                  \
    {                                                                                              \
        return report(m_internal->position());                                                     \
    }                                                                                              \
    Unsigned Class::getLength()                                                                    \
    {                                                                                              \
        return report(m_internal->length());                                                       \
    }                                                                                              \
    char* Class::gets(char* buf, Count n)                                                          \
    {                                                                                              \
        return m_internal->gets(this, buf, static_cast<int64>(n));                                 \
    }                                                                                              \
    Signed Class::puts(const char* s)                                                              \
    {                                                                                              \
        return static_cast<Signed>(m_internal->puts(s));                                           \
    }                                                                                              \
    bool Class::isOpen()                                                                           \
    {                                                                                              \
        return m_internal->isOpen();                                                               \
    }                                                                                              \
    Signed Class::writev(const io_vec* vec, int count)                                             \
    {                                                                                              \
        return static_cast<Signed>(m_internal->writev(vec, count));                                \
    }                                                                                              \
    bool Class::rename(const char* from, const char* to)                                           \
    {                                                                                              \
        return FilePaths::rename(from, to);                                                        \
    }                                                                                              \
    bool Class::remove(const char* path)                                                           \
    {                                                                                              \
        return FilePaths::remove(path);                                                            \
    }                                                                                              \
    bool Class::makeDirectory(const char* path)                                                    \
    {                                                                                              \
        return FilePaths::makeDirectory(path);                                                     \
    }                                                                                              \
    bool Class::removeDirectory(const char* path)                                                  \
    {                                                                                              \
        return FilePaths::removeDirectory(path);                                                   \
    }                                                                                              \
    bool Class::access(const char* path, int mode)                                                 \
    {                                                                                              \
        return FilePaths::access(path, mode);                                                      \
    }                                                                                              \
    bool Class::stat(const char* path, FileInfo& info)                                             \
    {                                                                                              \
        return FilePaths::stat(path, info);                                                        \
    }                                                                                              \
    bool Class::statFS(const char* path, uint64& freeToCaller, uint64& total, uint64& totalFree)   \
    {                                                                                              \
        return FilePaths::statFS(path, freeToCaller, total, totalFree);                            \
    }

ORLIX_DEFINE_FILE_CLASS(CFile, FileInternal, NarrowWidth, long, unsigned int, long, unsigned int,
                        reportNarrow)
ORLIX_DEFINE_FILE_CLASS(CLfsFile, LfsFileInternal, WideWidth, int64, int64, int64, int64,
                        reportWide)

#undef ORLIX_DEFINE_FILE_CLASS
#undef ORLIX_FILE_ARGS

} // namespace Infra
} // namespace Orlix
