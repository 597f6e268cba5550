// Helpers shared by the Win32 implementation of the platform layer (internal to it).
//
// - Paths: the library's paths are UTF-8 byte strings, as on POSIX; every file service here
//   converts them to UTF-16 and calls the wide ("W") service, and converts names found back.
// - Errors: Win32 services report GetLastError() codes; the layer's interface promises errno
//   values, so the codes the library can meet are mapped onto the matching errno.
// - Cancellation: cancelThread() queues an asynchronous procedure call to the thread, which
//   marks the thread cancelled. The layer's cancellation points (sleepMs, the semaphore and
//   event waits) wait alertably, so the call runs during such a wait; the wait then throws
//   ThreadCancelled, which unwinds the thread's stack (destructors run) up to its start
//   routine. A thread that never reaches a cancellation point is never cancelled.
#ifndef ORLIX_PLATFORM_WIN32_WIN32_H
#define ORLIX_PLATFORM_WIN32_WIN32_H

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <atomic>
#include <string>

namespace Orlix {
namespace Platform {
// The number of threads started by startThread() whose start routine has not returned yet.
extern std::atomic<int> g_runningThreads;

namespace Win32 {

// UTF-8 to UTF-16 and back; an invalid sequence becomes U+FFFD.
std::wstring widen(const char* text);
std::string narrow(const wchar_t* text);

// The errno value for a Win32 error code (EINVAL for codes without a closer match).
int errnoFor(DWORD error);
// Sets errno from GetLastError().
void setErrnoFromLastError();

// Thrown at a cancellation point of a thread that cancelThread() asked to end. Deliberately
// not derived from std::exception, so that handlers for the library's and the standard
// exceptions let it pass; only the start routine catches it.
struct ThreadCancelled
{
};

// The asynchronous procedure call cancelThread() queues: marks the thread it runs on as
// cancelled.
void CALLBACK requestCancellation(ULONG_PTR);

// Throws ThreadCancelled when cancelThread() has asked the calling thread to end.
void cancellationPoint();

// WaitForSingleObjectEx in alertable mode, resumed after every asynchronous procedure call
// with the time that is left (on the tick count, which a change of the wall clock does not
// move), and a cancellation point. Returns what the last wait returned (WAIT_OBJECT_0,
// WAIT_ABANDONED, WAIT_TIMEOUT or WAIT_FAILED).
DWORD alertableWait(HANDLE object, DWORD timeoutMs);

} // namespace Win32
} // namespace Platform
} // namespace Orlix

#endif // ORLIX_PLATFORM_WIN32_WIN32_H
