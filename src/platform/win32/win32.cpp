// Helpers shared by the Win32 implementation: UTF-8 paths, errno values, cancellation points.
#include "platform/win32/win32.h"

#include <cerrno>

namespace Orlix {
namespace Platform {
namespace Win32 {

namespace {

// Set by the asynchronous procedure call that cancelThread() queues to the thread.
thread_local bool t_cancelRequested = false;

} // namespace

void CALLBACK requestCancellation(ULONG_PTR)
{
    t_cancelRequested = true;
}

std::wstring widen(const char* text)
{
    if (text == nullptr || *text == '\0')
        return std::wstring();
    const int length = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
    if (length <= 0)
        return std::wstring();
    std::wstring result(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text, -1, &result[0], length);
    result.resize(static_cast<std::size_t>(length - 1));
    return result;
}

std::string narrow(const wchar_t* text)
{
    if (text == nullptr || *text == L'\0')
        return std::string();
    const int length = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (length <= 0)
        return std::string();
    std::string result(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, &result[0], length, nullptr, nullptr);
    result.resize(static_cast<std::size_t>(length - 1));
    return result;
}

int errnoFor(DWORD error)
{
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_PATHNAME:
    case ERROR_MOD_NOT_FOUND:
        return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_WRITE_PROTECT:
    case ERROR_PRIVILEGE_NOT_HELD:
        return EACCES;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
        return EEXIST;
    case ERROR_DIR_NOT_EMPTY:
        return ENOTEMPTY;
    case ERROR_DIRECTORY:
        return ENOTDIR;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
        return ENOMEM;
    case ERROR_TOO_MANY_OPEN_FILES:
        return EMFILE;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return ENOSPC;
    case ERROR_BAD_EXE_FORMAT:
    case ERROR_EXE_MACHINE_TYPE_MISMATCH:
        return ENOEXEC;
    case ERROR_FILENAME_EXCED_RANGE:
        return ENAMETOOLONG;
    case ERROR_INVALID_HANDLE:
        return EBADF;
    default:
        return EINVAL;
    }
}

void setErrnoFromLastError()
{
    errno = errnoFor(GetLastError());
}

void cancellationPoint()
{
    if (t_cancelRequested)
        throw ThreadCancelled();
}

DWORD alertableWait(HANDLE object, DWORD timeoutMs)
{
    cancellationPoint();
    const ULONGLONG start = GetTickCount64();
    DWORD left = timeoutMs;
    for (;;) {
        const DWORD rc = WaitForSingleObjectEx(object, left, TRUE);
        if (rc != WAIT_IO_COMPLETION)
            return rc;
        cancellationPoint();
        if (timeoutMs != INFINITE) {
            const ULONGLONG spent = GetTickCount64() - start;
            if (spent >= timeoutMs)
                return WaitForSingleObjectEx(object, 0, FALSE);
            left = static_cast<DWORD>(timeoutMs - spent);
        }
    }
}

} // namespace Win32
} // namespace Platform
} // namespace Orlix
