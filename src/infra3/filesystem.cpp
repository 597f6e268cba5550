// The hook table and the default file system.
#include "infra/filesystem.h"

#include "infra/error.h"
#include "infra3/filesystem_internal.h"
#include "infra3/singleton.h"
#include "platform/fs.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace Orlix {
namespace Infra {

namespace {

// Entry 0 is never used, so at most 31 hooks exist at a time.
constexpr int kHookEntries = 32;
constexpr std::size_t kPrefixLimit = 255;
constexpr std::size_t kStreamBufferSize = 16384;

// A free entry has an empty prefix and no file system. The length is kept so that the lookup,
// done on every open and search, compares without measuring the prefix again.
struct HookEntry
{
    char prefix[kPrefixLimit + 1];
    std::size_t length;
    IFileSystem* fs;
};

// Zero at load (static storage, no constructor), so hooks may be installed from other
// translation units' static initialisers. No lock: hooks belong to start-up.
HookEntry g_hooks[kHookEntries];

static_assert(SEEK_SET == 0 && SEEK_CUR == 1 && SEEK_END == 2,
              "whence values are passed to the C library unchanged");

} // namespace

// ------------------------------------------------------------------ hook table

void hookFileSystem(const char* prefix, IFileSystem* fs)
{
    if (prefix == nullptr)
        return;
    if (fs != nullptr) {
        if (*prefix == '\0')
            return; // an empty prefix would look like a free entry and never match
        for (int i = 1; i < kHookEntries; ++i) {
            HookEntry& entry = g_hooks[i];
            if (entry.fs != nullptr)
                continue;
            const std::size_t length = strnlen(prefix, kPrefixLimit);
            std::memcpy(entry.prefix, prefix, length);
            entry.prefix[length] = '\0';
            entry.length = length;
            entry.fs = fs;
            return;
        }
        return; // table full: ignored
    }
    for (int i = 1; i < kHookEntries; ++i) {
        HookEntry& entry = g_hooks[i];
        if (entry.fs != nullptr && std::strncmp(entry.prefix, prefix, kPrefixLimit) == 0) {
            entry.prefix[0] = '\0';
            entry.length = 0;
            entry.fs = nullptr;
            return;
        }
    }
}

namespace Detail {

IFileSystem* getFileSystem(const char* path)
{
    if (path != nullptr) {
        for (int i = 1; i < kHookEntries; ++i) {
            const HookEntry& entry = g_hooks[i];
            if (entry.fs != nullptr && std::strncmp(path, entry.prefix, entry.length) == 0)
                return entry.fs;
        }
    }
    return FileDefaultOpt::instance();
}

bool refuseNullPath(const char* path)
{
    if (path != nullptr)
        return false;
    errno = EINVAL;
    setLastError(EINVAL);
    return true;
}

void copyFileName(char (&name)[260], const char* text)
{
    const std::size_t length = text != nullptr ? strnlen(text, sizeof(name) - 1) : 0;
    if (length != 0)
        std::memcpy(name, text, length);
    name[length] = '\0';
}

} // namespace Detail

// ------------------------------------------------------------------ IFileSystem defaults

IFileSystem::~IFileSystem() = default;

long IFileSystem::writev(int /*fd*/, const io_vec* /*vec*/, int /*count*/)
{
    return 0;
}

int IFileSystem::fseek64(void* /*file*/, int64 /*offset*/, int /*whence*/)
{
    return -1;
}

int64 IFileSystem::ftell64(void* /*file*/)
{
    return -1;
}

// ------------------------------------------------------------------ FileDefaultOpt

FileDefaultOpt* FileDefaultOpt::instance()
{
    return Detail::CSingleton<FileDefaultOpt>::instance(
        __FILE__, "Orlix::Infra::FileDefaultOpt::instance", __LINE__);
}

void* FileDefaultOpt::fopen(const char* path, const char* mode)
{
    ORLIX_ASSERT(mode != NULL);
    const std::size_t len = std::strlen(mode);
    ORLIX_ASSERT(len > 0);
    if (Detail::refuseNullPath(path))
        return nullptr;

    const bool r = std::strchr(mode, 'r') != nullptr;
    const bool w = std::strchr(mode, 'w') != nullptr;
    const bool plus = std::strchr(mode, '+') != nullptr;
    const bool a = std::strchr(mode, 'a') != nullptr;
    const char* e = std::strchr(mode, 'e');

    Platform::OpenRequest request;
    request.append = a;
    request.create = !r;
    request.readWrite = plus;
    request.truncate = w;
    request.writeOnly = !plus && !r && (w || a);
    request.binary = std::strchr(mode, 'b') != nullptr;
    request.noInherit = e != nullptr;

    // The stream is made with the mode less its first 'e': the descriptor already carries
    // close-on-exec, and not every C library accepts the letter.
    char streamMode[64];
    const std::size_t kept = len < sizeof(streamMode) ? len : sizeof(streamMode) - 1;
    std::size_t out = 0;
    for (std::size_t i = 0; i < kept; ++i) {
        if (mode + i != e)
            streamMode[out++] = mode[i];
    }
    streamMode[out] = '\0';

    return Platform::openStream(path, request, streamMode, kStreamBufferSize);
}

int FileDefaultOpt::fclose(void* file)
{
    return Platform::closeStream(static_cast<std::FILE*>(file));
}

std::size_t FileDefaultOpt::fread(void* buf, std::size_t size, std::size_t count, void* file)
{
    return std::fread(buf, size, count, static_cast<std::FILE*>(file));
}

std::size_t FileDefaultOpt::fwrite(const void* buf, std::size_t size, std::size_t count, void* file)
{
    return std::fwrite(buf, size, count, static_cast<std::FILE*>(file));
}

int FileDefaultOpt::fflush(void* file)
{
    return std::fflush(static_cast<std::FILE*>(file));
}

int FileDefaultOpt::fseek(void* file, long offset, int whence)
{
    return std::fseek(static_cast<std::FILE*>(file), offset, whence);
}

long FileDefaultOpt::ftell(void* file)
{
    return Platform::tellStream(static_cast<std::FILE*>(file));
}

char* FileDefaultOpt::fgets(char* buf, int n, void* file)
{
    return std::fgets(buf, n, static_cast<std::FILE*>(file));
}

int FileDefaultOpt::fputs(const char* s, void* file)
{
    if (Detail::refuseNullPath(s))
        return EOF;
    return Platform::putString(s, static_cast<std::FILE*>(file));
}

int FileDefaultOpt::rename(const char* from, const char* to)
{
    if (Detail::refuseNullPath(from) || Detail::refuseNullPath(to))
        return -1;
    return std::rename(from, to);
}

int FileDefaultOpt::remove(const char* path)
{
    if (Detail::refuseNullPath(path))
        return -1;
    return std::remove(path);
}

namespace {

void fillFromEntry(const Platform::FoundEntry& entry, FileInfo* out)
{
    Detail::copyFileName(out->name, entry.name);
    std::uint16_t attrib = 0;
    if (entry.ownerCannotWrite)
        attrib |= 0x01;
    if (entry.name[0] == '.')
        attrib |= 0x02;
    if (entry.isDirectory)
        attrib |= 0x10;
    out->attrib = attrib;
    out->createTime = entry.status.changeTime;
    out->accessTime = entry.status.accessTime;
    out->modifyTime = entry.status.modifyTime;
    // The search reports sizes as a 32-bit field holds them; stat() gives the full size.
    out->size = entry.status.size & 0xFFFFFFFFu;
}

} // namespace

long FileDefaultOpt::findfirst(const char* pattern, FileInfo* out)
{
    if (Detail::refuseNullPath(pattern))
        return -1;
    Platform::FoundEntry entry;
    const long handle = Platform::findFirst(pattern, entry);
    if (handle != -1)
        fillFromEntry(entry, out);
    return handle;
}

int FileDefaultOpt::findnext(long handle, FileInfo* out)
{
    Platform::FoundEntry entry;
    if (Platform::findNext(handle, entry) != 0)
        return -1;
    fillFromEntry(entry, out);
    return 0;
}

int FileDefaultOpt::findclose(long handle)
{
    return Platform::findClose(handle);
}

int FileDefaultOpt::mkdir(const char* path)
{
    if (Detail::refuseNullPath(path))
        return -1;
    return Platform::makeDirectory(path);
}

int FileDefaultOpt::rmdir(const char* path)
{
    if (Detail::refuseNullPath(path))
        return -1;
    return Platform::removeDirectory(path);
}

int FileDefaultOpt::statfs(const char* path, uint64* freeToCaller, uint64* total, uint64* totalFree)
{
    if (Detail::refuseNullPath(path))
        return -1;
    uint64 caller = 0;
    uint64 all = 0;
    uint64 free = 0;
    if (Platform::volumeSpace(path, caller, all, free) != 0)
        return -1;
    if (freeToCaller != nullptr)
        *freeToCaller = caller;
    if (total != nullptr)
        *total = all;
    if (totalFree != nullptr)
        *totalFree = free;
    return 0;
}

int FileDefaultOpt::access(const char* path, int mode)
{
    if (Detail::refuseNullPath(path))
        return -1;
    return Platform::accessPath(path, mode);
}

int FileDefaultOpt::stat(const char* path, FileInfo* out)
{
    if (Detail::refuseNullPath(path))
        return -1;
    Platform::PathStatus status;
    if (Platform::statPath(path, status) != 0)
        return -1;
    Detail::copyFileName(out->name, path);
    out->attrib = static_cast<std::uint16_t>(status.mode & 0xFFFFu);
    out->createTime = status.changeTime;
    out->accessTime = status.accessTime;
    out->modifyTime = status.modifyTime;
    out->size = status.size;
    return 0;
}

long FileDefaultOpt::writev(int /*fd*/, const io_vec* /*vec*/, int /*count*/)
{
    return -1; // gathered writes are not supported by the default file system
}

int FileDefaultOpt::fseek64(void* file, int64 offset, int whence)
{
    return Platform::seekStream64(static_cast<std::FILE*>(file), offset, whence);
}

int64 FileDefaultOpt::ftell64(void* file)
{
    return Platform::tellStream64(static_cast<std::FILE*>(file));
}

} // namespace Infra
} // namespace Orlix
