// Operating-system layer: starting, waiting for, prioritising and cancelling threads.
//
// Internal to the library (never installed). A NativeThread is the handle of one started
// thread. It is shared by the thread itself and its owner: the owner releases it with
// closeThread() whenever it likes (the thread may still run; it is then detached), the thread
// drops its own share when its start routine ends, and the last one frees the handle. So a
// handle may be closed before, while or after the thread finishes, in any order.
//
// "Finished" means that the start routine has returned or was unwound by cancelThread(); it
// is what the library reads as "the thread's exit code is no longer STILL_ACTIVE".
#ifndef ORLIX_PLATFORM_THREADS_H
#define ORLIX_PLATFORM_THREADS_H

namespace Orlix {
namespace Platform {

struct NativeThread;

using ThreadEntry = void (*)(void* argument);

// The stack size requested from the system for a wish of requested bytes: 0 (or a negative
// value) stays 0, the system default; anything else is raised to the system minimum
// (PTHREAD_STACK_MIN) and rounded up to whole pages.
int effectiveStackSize(int requested);

// Starts entry(argument) on a new thread with the normal (non-real-time) scheduling policy and
// the stack size effectiveStackSize(stackSize). Returns the handle, or null with *error set to
// the system's error number.
NativeThread* startThread(ThreadEntry entry, void* argument, int stackSize, int* error);

// The scheduling a new thread gives itself before its entry runs (see setThreadPriority for
// the meaning of the fields).
struct ThreadScheduling
{
    int level = 0;
    bool realtime = false;
    int priority = 64;
};

// startThread, with the thread applying scheduling as its first step, before entry runs: the
// entry always starts with its scheduling in place, and the starting thread neither waits for
// the new one nor makes a system call for it. A refusal for lack of privilege keeps the
// inherited scheduling, as setThreadPriority does; any other refusal is ignored (none is
// expected for the clamped values used).
NativeThread* startThread(ThreadEntry entry, void* argument, int stackSize,
                          const ThreadScheduling& scheduling, int* error);

// Waits at most timeoutMs milliseconds for the thread to finish; true when it has finished.
// Not a cancellation point.
bool waitThread(NativeThread* thread, unsigned int timeoutMs);

// True while the thread has not finished.
bool threadActive(NativeThread* thread);

// True when the calling thread is the handle's thread.
bool isCurrentThread(NativeThread* thread);

// Applies a priority level (the Win32 levels: 15 time critical, 2 highest, 1 above normal,
// 0 normal, -1 below normal, -2 lowest, -15 idle) to the thread. With realtime set the thread
// is put under SCHED_RR instead, its real-time priority taken from priority (1 highest ..
// 127 lowest) spread over the system's range; otherwise the level becomes the thread's nice
// value (15 -> -15, 2 -> -10, 1 -> -5, 0 -> 0, -1 -> 5, -2 -> 10, -15 -> 19). When the kernel
// refuses for lack of privilege the thread keeps its current scheduling and the call still
// succeeds. Returns 0 on success, otherwise the system's error number.
int setThreadPriority(NativeThread* thread, int level, bool realtime, int priority);

// Asks the system to cancel the thread (pthread_cancel). The request takes effect at the
// thread's next cancellation point (a sleep, a semaphore wait, blocking I/O); the thread's
// stack is then unwound, so destructors run, and the thread counts as finished. Returns 0 or
// the system's error number.
int cancelThread(NativeThread* thread);

// Releases the owner's share of the handle: a finished thread is joined, a running one is
// detached (and so is the calling thread when it closes its own handle). Exactly one
// closeThread() per startThread().
void closeThread(NativeThread* thread);

// Extra shares for code that waits on a handle its owner may close meanwhile: retainThread()
// takes one, releaseThread() drops it. They neither join nor detach.
void retainThread(NativeThread* thread);
void releaseThread(NativeThread* thread);

// Observers of the calling thread, for tests and diagnostics.
// Its nice value.
int currentNiceValue();
// True when it runs under the real-time round-robin policy.
bool currentIsRoundRobin();
// The size of its stack in bytes, 0 when unknown.
long currentStackSize();

} // namespace Platform
} // namespace Orlix

#endif // ORLIX_PLATFORM_THREADS_H
