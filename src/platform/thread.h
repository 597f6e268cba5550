// Operating-system layer: thread and process identity, sleeping.
//
// Internal to the library. The thread identifier is the kernel's thread id (gettid), the
// same number tools such as top and gdb show, cached per thread after the first call.
#ifndef ORLIX_PLATFORM_THREAD_H
#define ORLIX_PLATFORM_THREAD_H

namespace Orlix {
namespace Platform {

// The calling thread's system identifier; stable for the thread's life, distinct between
// live threads.
int currentThreadId();

// The process's system identifier.
unsigned long long currentProcessId();

// Suspends the calling thread for ms milliseconds; 0 (or a negative value) yields the rest
// of the time slice instead.
void sleepMs(int ms);

// Gives up the rest of the time slice.
void yield();

} // namespace Platform
} // namespace Orlix

#endif // ORLIX_PLATFORM_THREAD_H
