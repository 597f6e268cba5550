// CFile and CLfsFile.
//
// The two classes share their state layout and most of their algorithms through FileState,
// parameterised by the width of positions and the file-system operations that report them
// (ftell/fseek for CFile, ftell64/fseek64 for CLfsFile). What differs stays in the classes:
// CLfsFile splits transfers into pieces and guards gets() against counts a 32-bit primitive
// cannot take, and each class logs its own lines.
#include "infra/file.h"

#include "infra/error.h"
#include "infra/print.h"
#include "infra/thread.h"
#include "infra3/diag.h"
#include "infra3/file_internal.h"
#include "infra3/filesystem_internal.h"
#include "platform/fs.h"

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

// ------------------------------------------------------------------ shared state

struct NarrowOps
{
    using Position = std::uint32_t;
    static int64 tell(IFileSystem* fs, void* file) { return fs->ftell(file); }
    static int seek(IFileSystem* fs, void* file, int64 offset, int whence)
    {
        return fs->fseek(file, static_cast<long>(offset), whence);
    }
};

struct WideOps
{
    using Position = int64;
    static int64 tell(IFileSystem* fs, void* file) { return fs->ftell64(file); }
    static int seek(IFileSystem* fs, void* file, int64 offset, int whence)
    {
        return fs->fseek64(file, offset, whence);
    }
};

template <class Ops>
struct FileState
{
    using Position = typename Ops::Position;

    void* m_file = nullptr;            // the file system's handle; null when closed
    unsigned char* m_buffer = nullptr; // made by load(); null when none
    Position m_length = 0;             // as far as learnt; 0 = not yet learnt, or empty
    Position m_position = 0;           // as tracked
    Detail::FileSystemChoice m_opt;    // FileDefaultOpt while closed, the path's when open

    FileState() = default;
    ~FileState() { delete[] m_buffer; }
    FileState(const FileState&) = delete;
    FileState& operator=(const FileState&) = delete;

    // Opens path through m_opt (already chosen); the caller has closed and unloaded.
    bool open(const char* path, unsigned int flags)
    {
        char modeText[8];
        const char* mode = streamModeFor(flags, modeText);
        if (mode != nullptr)
            m_file = m_opt.get()->fopen(path, mode);
        if (m_file == nullptr) {
            m_opt.chooseDefault();
            return false;
        }
        const int64 position = Ops::tell(m_opt.get(), m_file);
        m_position = position < 0 ? 0 : static_cast<Position>(position);
        if ((flags & FileModes::openCreate) != 0 && (flags & FileModes::openNoTruncate) == 0) {
            m_length = 0;
        } else {
            FileInfo info;
            m_length = m_opt.get()->stat(path, &info) == 0 ? static_cast<Position>(info.size) : 0;
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

    void releaseBuffer()
    {
        delete[] m_buffer;
        m_buffer = nullptr;
    }

    // After a write or flush the stream knows best where it is; the position is taken as
    // reported (a failing tell is not hidden) and the length grows to it.
    void takePositionFromStream()
    {
        m_position = static_cast<Position>(Ops::tell(m_opt.get(), m_file));
        growLength();
    }

    void growLength()
    {
        if (m_length < m_position)
            m_length = m_position;
    }

    void flush()
    {
        if (m_file == nullptr)
            return;
        m_opt.get()->fflush(m_file);
        takePositionFromStream();
    }

    Position seek(int64 offset, int whence)
    {
        if (m_file == nullptr)
            return 0;
        // The target is compared at full width, so that a CFile offset beyond 4 GiB is never
        // mistaken for the current 32-bit position.
        if (whence == FileModes::seekBegin || whence == FileModes::seekCurrent) {
            const int64 target = whence == FileModes::seekBegin
                                     ? offset
                                     : wrappingAdd(static_cast<int64>(m_position), offset);
            if (target == static_cast<int64>(m_position))
                return m_position;
        }
        if (Ops::seek(m_opt.get(), m_file, offset, whence) < 0)
            return 0;
        const int64 position = Ops::tell(m_opt.get(), m_file);
        m_position = position < 0 ? 0 : static_cast<Position>(position);
        return m_position;
    }

    int puts(const char* s)
    {
        const int result = m_opt.get()->fputs(s, m_file);
        if (result != -1)
            m_position = static_cast<Position>(m_position + std::strlen(s));
        growLength();
        return result;
    }

    long writev(const io_vec* vec, int count)
    {
        const long result = m_opt.get()->writev(Platform::streamDescriptor(m_file), vec, count);
        if (result > 0) {
            m_position = static_cast<Position>(m_position + result);
            growLength();
        }
        return result;
    }

    char* gets(char* buf, int n)
    {
        char* result = m_opt.get()->fgets(buf, n, m_file);
        if (result != nullptr)
            m_position = static_cast<Position>(m_position + std::strlen(result));
        return result;
    }
};

// ------------------------------------------------------------------ path operations

bool pathRename(const char* from, const char* to)
{
    return Detail::getFileSystem(from)->rename(from, to) == 0;
}

bool pathRemove(const char* path)
{
    return Detail::getFileSystem(path)->remove(path) == 0;
}

bool pathMakeDirectory(const char* path)
{
    return Detail::getFileSystem(path)->mkdir(path) == 0;
}

bool pathRemoveDirectory(const char* path)
{
    return Detail::getFileSystem(path)->rmdir(path) == 0;
}

bool pathAccess(const char* path, int mode)
{
    return Detail::getFileSystem(path)->access(path, mode) == 0;
}

bool pathStat(const char* path, FileInfo& info)
{
    return Detail::getFileSystem(path)->stat(path, &info) == 0;
}

bool pathStatFS(const char* path, uint64& freeToCaller, uint64& total, uint64& totalFree)
{
    return Detail::getFileSystem(path)->statfs(path, &freeToCaller, &total, &totalFree) == 0;
}

} // namespace

namespace Detail {

void setFileDiagnosticRunnerForTesting(FileDiagnosticRunner runner)
{
    g_diagnosticRunner = runner;
}

} // namespace Detail

// ================================================================== CFile

struct CFile::FileInternal : FileState<NarrowOps>
{};

CFile::CFile() : m_internal(new FileInternal()) {}

CFile::~CFile()
{
    m_internal->close();
    m_internal->releaseBuffer();
    delete m_internal;
}

bool CFile::open(const char* path, unsigned int flags)
{
    if (m_internal->m_file != nullptr)
        close();
    if (m_internal->m_buffer != nullptr)
        unload();
    m_internal->m_opt.choose(Detail::getFileSystem(path));
    ORLIX_ASSERT(m_internal->m_opt);
    return m_internal->open(path, flags);
}

void CFile::close()
{
    m_internal->close();
}

unsigned char* CFile::load(const char* path)
{
    ORLIX_ASSERT(!m_internal->m_buffer);
    if (!open(path, openNoTruncate))
        return nullptr;
    if (m_internal->m_length == 0) {
        m_internal->m_length = seek(0, seekEnd);
        seek(0, seekBegin);
    }
    const unsigned int length = m_internal->m_length;
    if (length == 0)
        return nullptr;
    m_internal->m_buffer = new (std::nothrow) unsigned char[length];
    if (m_internal->m_buffer == nullptr)
        return nullptr;
    seek(0, seekBegin);
    const long got = read(m_internal->m_buffer, length);
    if (got < static_cast<long>(length)) {
        const int error = errno;
        runDiagnostic("ls");
        logError(ORLIX_OBJ_FMT "CFile::load(): filename(%s), length(%d), ret(%d), %s\n",
                 ORLIX_OBJ_ARGS, path, static_cast<int>(length), static_cast<int>(got),
                 std::strerror(error));
        unload();
        return nullptr;
    }
    return m_internal->m_buffer;
}

void CFile::unload()
{
    close();
    m_internal->releaseBuffer();
}

long CFile::read(void* buf, unsigned int len)
{
    if (m_internal->m_file == nullptr)
        return -1;
    const std::size_t got = m_internal->m_opt.get()->fread(buf, 1, len, m_internal->m_file);
    m_internal->m_position += static_cast<unsigned int>(got);
    return static_cast<long>(got);
}

long CFile::write(const void* buf, unsigned int len)
{
    if (m_internal->m_file == nullptr)
        return -1;
    const std::size_t written = m_internal->m_opt.get()->fwrite(buf, 1, len, m_internal->m_file);
    if (written < len) {
        const int error = errno;
        logError("fwrite failed, expected:%lu, actual:%lu,errno=%d, errmsg:%s\n",
                 static_cast<unsigned long>(len), static_cast<unsigned long>(written), error,
                 std::strerror(error));
    }
    m_internal->takePositionFromStream();
    return static_cast<long>(written);
}

void CFile::flush()
{
    m_internal->flush();
}

unsigned int CFile::seek(long offset, SeekPosition whence)
{
    return m_internal->seek(offset, whence);
}

unsigned int CFile::getPosition()
{
    return m_internal->m_file != nullptr ? m_internal->m_position : 0;
}

unsigned int CFile::getLength()
{
    if (m_internal->m_file == nullptr)
        return 0;
    if (m_internal->m_length == 0) {
        const unsigned int position = getPosition();
        m_internal->m_length = seek(0, seekEnd);
        seek(static_cast<long>(position), seekBegin);
    }
    return m_internal->m_length;
}

char* CFile::gets(char* buf, unsigned int n)
{
    if (m_internal->m_file == nullptr)
        return nullptr;
    // The primitive takes an int; a larger count can only mean "the whole line".
    const int limit = n > static_cast<unsigned int>(INT_MAX) ? INT_MAX : static_cast<int>(n);
    return m_internal->gets(buf, limit);
}

long CFile::puts(const char* s)
{
    if (m_internal->m_file == nullptr)
        return 0;
    return m_internal->puts(s);
}

bool CFile::isOpen()
{
    return m_internal->m_file != nullptr;
}

long CFile::writev(const io_vec* vec, int count)
{
    if (m_internal->m_file == nullptr)
        return -1;
    return m_internal->writev(vec, count);
}

bool CFile::rename(const char* from, const char* to)
{
    return pathRename(from, to);
}

bool CFile::remove(const char* path)
{
    return pathRemove(path);
}

bool CFile::makeDirectory(const char* path)
{
    return pathMakeDirectory(path);
}

bool CFile::removeDirectory(const char* path)
{
    return pathRemoveDirectory(path);
}

bool CFile::access(const char* path, int mode)
{
    return pathAccess(path, mode);
}

bool CFile::stat(const char* path, FileInfo& info)
{
    return pathStat(path, info);
}

bool CFile::statFS(const char* path, uint64& freeToCaller, uint64& total, uint64& totalFree)
{
    return pathStatFS(path, freeToCaller, total, totalFree);
}

// ================================================================== CLfsFile

struct CLfsFile::LfsFileInternal : FileState<WideOps>
{};

CLfsFile::CLfsFile() : m_internal(new LfsFileInternal()) {}

CLfsFile::~CLfsFile()
{
    m_internal->close();
    m_internal->releaseBuffer();
    delete m_internal;
}

bool CLfsFile::open(const char* path, unsigned int flags)
{
    if (m_internal->m_file != nullptr)
        close();
    if (m_internal->m_buffer != nullptr)
        unload();
    m_internal->m_opt.choose(Detail::getFileSystem(path));
    ORLIX_ASSERT(m_internal->m_opt);
    return m_internal->open(path, flags);
}

void CLfsFile::close()
{
    m_internal->close();
}

unsigned char* CLfsFile::load(const char* path)
{
    ORLIX_ASSERT(!m_internal->m_buffer);
    if (!open(path, openNoTruncate))
        return nullptr;
    if (m_internal->m_length == 0) {
        m_internal->m_length = seek(0, seekEnd);
        seek(0, seekBegin);
    }
    const int64 length = m_internal->m_length;
    if (length <= 0)
        return nullptr;
    // A length the address space cannot hold, or an allocation the system refuses, gives
    // null; the file stays open, as for an empty file.
    if (static_cast<uint64>(length) > static_cast<uint64>(PTRDIFF_MAX))
        return nullptr;
    m_internal->m_buffer = new (std::nothrow) unsigned char[static_cast<std::size_t>(length)];
    if (m_internal->m_buffer == nullptr)
        return nullptr;
    seek(0, seekBegin);
    const int64 got = read(m_internal->m_buffer, length);
    if (got < length) {
        const int error = errno;
        runDiagnostic("ls");
        logError(ORLIX_OBJ_FMT "CLfsFile::load(): filename(%s), length(%ju), ret(%jd), %s\n",
                 ORLIX_OBJ_ARGS, path, static_cast<uintmax_t>(length), static_cast<intmax_t>(got),
                 std::strerror(error));
        unload();
        return nullptr;
    }
    return m_internal->m_buffer;
}

void CLfsFile::unload()
{
    close();
    m_internal->releaseBuffer();
}

int64 CLfsFile::read(void* buf, int64 len)
{
    if (m_internal->m_file == nullptr)
        return -1;
    unsigned char* const bytes = static_cast<unsigned char*>(buf);
    int64 total = 0;
    while (total < len) {
        const std::size_t piece = static_cast<std::size_t>(
            len - total < ORLIX_MAX_INT_VALUE ? len - total : ORLIX_MAX_INT_VALUE);
        const std::size_t got =
            m_internal->m_opt.get()->fread(bytes + total, 1, piece, m_internal->m_file);
        if (got == 0 || got == static_cast<std::size_t>(-1)) {
            logError(ORLIX_OBJ_FMT "fread get error,total %jd has read %jd,expected %zu return "
                                   "%zu\n",
                     ORLIX_OBJ_ARGS, static_cast<intmax_t>(len), static_cast<intmax_t>(total),
                     piece, got);
            break;
        }
        total += static_cast<int64>(got);
    }
    m_internal->m_position += total;
    return total;
}

int64 CLfsFile::write(const void* buf, int64 len)
{
    if (m_internal->m_file == nullptr)
        return -1;
    const unsigned char* const bytes = static_cast<const unsigned char*>(buf);
    int64 total = 0;
    while (total < len) {
        const std::size_t piece = static_cast<std::size_t>(
            len - total < ORLIX_MAX_INT_VALUE ? len - total : ORLIX_MAX_INT_VALUE);
        const std::size_t written =
            m_internal->m_opt.get()->fwrite(bytes + total, 1, piece, m_internal->m_file);
        if (written == 0 || written == static_cast<std::size_t>(-1)) {
            logError(ORLIX_OBJ_FMT
                     "fwrite get error,total %jd has write %jd,expected %zu return %zu",
                     ORLIX_OBJ_ARGS, static_cast<intmax_t>(len), static_cast<intmax_t>(total),
                     piece, written);
            break;
        }
        total += static_cast<int64>(written);
    }
    m_internal->takePositionFromStream();
    return total;
}

void CLfsFile::flush()
{
    m_internal->flush();
}

int64 CLfsFile::seek(int64 offset, SeekPosition whence)
{
    return m_internal->seek(offset, whence);
}

int64 CLfsFile::getPosition()
{
    return m_internal->m_file != nullptr ? m_internal->m_position : 0;
}

int64 CLfsFile::getLength()
{
    if (m_internal->m_file == nullptr)
        return 0;
    if (m_internal->m_length == 0) {
        const int64 position = getPosition();
        m_internal->m_length = seek(0, seekEnd);
        seek(position, seekBegin);
    }
    return m_internal->m_length;
}

char* CLfsFile::gets(char* buf, int64 n)
{
    if (m_internal->m_file == nullptr)
        return nullptr;
    if (n > ORLIX_MAX_INT_VALUE) {
        logError(ORLIX_OBJ_FMT "Bytes need to be seeked has been over the ORLIX_MAX_INT_VALUE.\n",
                 ORLIX_OBJ_ARGS);
        return nullptr;
    }
    return m_internal->gets(buf, static_cast<int>(n));
}

int64 CLfsFile::puts(const char* s)
{
    if (m_internal->m_file == nullptr)
        return 0;
    return m_internal->puts(s);
}

bool CLfsFile::isOpen()
{
    return m_internal->m_file != nullptr;
}

int64 CLfsFile::writev(const io_vec* vec, int count)
{
    if (m_internal->m_file == nullptr)
        return -1;
    return m_internal->writev(vec, count);
}

bool CLfsFile::rename(const char* from, const char* to)
{
    return pathRename(from, to);
}

bool CLfsFile::remove(const char* path)
{
    return pathRemove(path);
}

bool CLfsFile::makeDirectory(const char* path)
{
    return pathMakeDirectory(path);
}

bool CLfsFile::removeDirectory(const char* path)
{
    return pathRemoveDirectory(path);
}

bool CLfsFile::access(const char* path, int mode)
{
    return pathAccess(path, mode);
}

bool CLfsFile::stat(const char* path, FileInfo& info)
{
    return pathStat(path, info);
}

bool CLfsFile::statFS(const char* path, uint64& freeToCaller, uint64& total, uint64& totalFree)
{
    return pathStatFS(path, freeToCaller, total, totalFree);
}

} // namespace Infra
} // namespace Orlix
