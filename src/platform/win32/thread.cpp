// Win32 implementation of thread and process identity and sleeping.
#include "platform/thread.h"

#include "platform/win32/win32.h"

namespace Orlix {
namespace Platform {

int currentThreadId()
{
    // Read from the thread's environment block: no system call, so nothing to cache.
    return static_cast<int>(GetCurrentThreadId());
}

unsigned long long currentProcessId()
{
    return static_cast<unsigned long long>(GetCurrentProcessId());
}

void sleepMs(int ms)
{
    if (ms <= 0) {
        Sleep(0);
        return;
    }
    // Alertable, so that a cancellation request interrupts the sleep (a cancellation point).
    Win32::cancellationPoint();
    const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(ms);
    DWORD left = static_cast<DWORD>(ms);
    while (SleepEx(left, TRUE) == WAIT_IO_COMPLETION) {
        Win32::cancellationPoint();
        const ULONGLONG now = GetTickCount64();
        if (now >= end)
            return;
        left = static_cast<DWORD>(end - now);
    }
}

void yield()
{
    SwitchToThread();
}

} // namespace Platform
} // namespace Orlix
