// Win32 implementation of thread start, wait, priority and cancellation.
//
// Threads start through _beginthreadex (the C runtime's per-thread data is set up and freed
// with the thread). Waiting and "finished" are the thread handle's own state: the handle
// becomes signalled when the thread has ended, however it ended. Priorities are the Win32
// levels themselves (SetThreadPriority). Cancellation is cooperative, see win32.h.
#include "platform/threads.h"

#include "platform/win32/win32.h"

#include <process.h>

#include <atomic>
#include <cerrno>
#include <climits>

namespace Orlix {
namespace Platform {

// The handle, shared by the owner and the thread (see threads.h).
struct NativeThread
{
    HANDLE handle = nullptr;
    DWORD id = 0;
    ThreadEntry entry = nullptr;
    void* argument = nullptr;
    std::atomic<int> shares{2}; // the owner's and the thread's
    // Set before the thread starts (it starts suspended until they are written): the level the
    // thread applies to itself first, or kNoLevel for none.
    static constexpr int kNoLevel = INT_MIN;
    int level = kNoLevel;
};

// Threads started here whose start routine has not returned (see dllmain.cpp).
std::atomic<int> g_runningThreads{0};

namespace {

void release(NativeThread* thread)
{
    if (thread->shares.fetch_sub(1, std::memory_order_acq_rel) == 1) {
        if (thread->handle != nullptr)
            CloseHandle(thread->handle);
        delete thread;
    }
}

// One of the levels SetThreadPriority accepts, for any library level.
int win32Level(int level)
{
    if (level >= 15)
        return THREAD_PRIORITY_TIME_CRITICAL;
    if (level >= 2)
        return THREAD_PRIORITY_HIGHEST;
    if (level == 1)
        return THREAD_PRIORITY_ABOVE_NORMAL;
    if (level == 0)
        return THREAD_PRIORITY_NORMAL;
    if (level == -1)
        return THREAD_PRIORITY_BELOW_NORMAL;
    if (level >= -14)
        return THREAD_PRIORITY_LOWEST;
    return THREAD_PRIORITY_IDLE;
}

bool refusedForPrivilege(DWORD error)
{
    return error == ERROR_ACCESS_DENIED || error == ERROR_PRIVILEGE_NOT_HELD;
}

unsigned __stdcall startRoutine(void* argument)
{
    auto* thread = static_cast<NativeThread*>(argument);
    const ThreadEntry entry = thread->entry;
    void* const entryArgument = thread->argument;
    if (thread->level != NativeThread::kNoLevel)
        SetThreadPriority(GetCurrentThread(), thread->level); // refusal: keeps the inherited one
    // Nothing below reads the handle: the thread's share goes now, so that a thread that is
    // cancelled (or ends the process) never holds it.
    release(thread);
    try {
        entry(entryArgument);
    } catch (const Win32::ThreadCancelled&) {
        // cancelThread(): the stack is unwound; the thread ends normally from here.
    }
    g_runningThreads.fetch_sub(1);
    return 0;
}

NativeThread* startScheduled(ThreadEntry entry, void* argument, int stackSize,
                             const ThreadScheduling* scheduling, int* error)
{
    auto* thread = new NativeThread;
    thread->entry = entry;
    thread->argument = argument;
    if (scheduling != nullptr) {
        const int level = win32Level(scheduling->level);
        // A new thread starts at the normal level whatever its starter's level is.
        if (level != THREAD_PRIORITY_NORMAL)
            thread->level = level;
    }
    const int size = effectiveStackSize(stackSize);
    unsigned id = 0;
    g_runningThreads.fetch_add(1);
    // The stack size is the reservation (the address space the stack may grow into), which
    // is what the library's stack size means; pages are committed as the stack grows.
    const uintptr_t handle = _beginthreadex(nullptr, static_cast<unsigned>(size), &startRoutine,
                                            thread, size > 0 ? STACK_SIZE_PARAM_IS_A_RESERVATION : 0,
                                            &id);
    if (handle == 0) {
        g_runningThreads.fetch_sub(1);
        const int rc = errno != 0 ? errno : EAGAIN;
        delete thread;
        if (error != nullptr)
            *error = rc;
        return nullptr;
    }
    // Written after the start: only the owner's side reads handle and id, never the thread.
    thread->handle = reinterpret_cast<HANDLE>(handle);
    thread->id = id;
    return thread;
}

} // namespace

int effectiveStackSize(int requested)
{
    if (requested <= 0)
        return 0;
    // A reservation is made in whole units of the allocation granularity (64 KiB).
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    const long unit = info.dwAllocationGranularity > 0 ? info.dwAllocationGranularity : 65536;
    long size = requested;
    size = (size + unit - 1) / unit * unit;
    return size > INT_MAX ? static_cast<int>(INT_MAX / unit * unit) : static_cast<int>(size);
}

NativeThread* startThread(ThreadEntry entry, void* argument, int stackSize, int* error)
{
    return startScheduled(entry, argument, stackSize, nullptr, error);
}

NativeThread* startThread(ThreadEntry entry, void* argument, int stackSize,
                          const ThreadScheduling& scheduling, int* error)
{
    return startScheduled(entry, argument, stackSize, &scheduling, error);
}

bool waitThread(NativeThread* thread, unsigned int timeoutMs)
{
    // Not alertable: waiting for another thread is no cancellation point.
    const DWORD timeout = timeoutMs == INFINITE ? INFINITE - 1 : timeoutMs;
    return WaitForSingleObject(thread->handle, timeout) == WAIT_OBJECT_0;
}

bool threadActive(NativeThread* thread)
{
    return WaitForSingleObject(thread->handle, 0) == WAIT_TIMEOUT;
}

bool isCurrentThread(NativeThread* thread)
{
    return GetCurrentThreadId() == thread->id;
}

int setThreadPriority(NativeThread* thread, int level, bool /*realtime*/, int /*priority*/)
{
    // Windows has no per-thread real-time policy (that is the process's priority class): a
    // real-time thread gets the level the library computed for it, like any other.
    if (SetThreadPriority(thread->handle, win32Level(level)))
        return 0;
    const DWORD error = GetLastError();
    return refusedForPrivilege(error) ? 0 : Win32::errnoFor(error);
}

int cancelThread(NativeThread* thread)
{
    if (!threadActive(thread))
        return ESRCH;
    if (QueueUserAPC(&Win32::requestCancellation, thread->handle, 0) == 0)
        return Win32::errnoFor(GetLastError());
    return 0;
}

void closeThread(NativeThread* thread)
{
    if (thread == nullptr)
        return;
    // The handle is closed with the last share; a running thread runs on regardless.
    release(thread);
}

void retainThread(NativeThread* thread)
{
    thread->shares.fetch_add(1, std::memory_order_relaxed);
}

void releaseThread(NativeThread* thread)
{
    release(thread);
}

int currentNiceValue()
{
    // The thread's level on the nice scale of the POSIX build (the inverse of its mapping), so
    // that observers read the same numbers on both.
    switch (GetThreadPriority(GetCurrentThread())) {
    case THREAD_PRIORITY_TIME_CRITICAL:
        return -15;
    case THREAD_PRIORITY_HIGHEST:
        return -10;
    case THREAD_PRIORITY_ABOVE_NORMAL:
        return -5;
    case THREAD_PRIORITY_BELOW_NORMAL:
        return 5;
    case THREAD_PRIORITY_LOWEST:
        return 10;
    case THREAD_PRIORITY_IDLE:
        return 19;
    default:
        return 0;
    }
}

bool currentIsRoundRobin()
{
    // The nearest Win32 notion: the process runs in the real-time priority class.
    return GetPriorityClass(GetCurrentProcess()) == REALTIME_PRIORITY_CLASS;
}

long currentStackSize()
{
    // The stack's reservation: the regions of the one allocation that holds this frame.
    MEMORY_BASIC_INFORMATION info;
    const int onStack = 0;
    if (VirtualQuery(&onStack, &info, sizeof(info)) == 0)
        return 0;
    const PVOID allocation = info.AllocationBase;
    auto* address = static_cast<const char*>(allocation);
    long size = 0;
    while (VirtualQuery(address, &info, sizeof(info)) != 0 && info.AllocationBase == allocation) {
        size += static_cast<long>(info.RegionSize);
        address += info.RegionSize;
    }
    return size;
}

} // namespace Platform
} // namespace Orlix
