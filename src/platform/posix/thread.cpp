// POSIX implementation of thread and process identity and sleeping.
#include "platform/thread.h"

#include <pthread.h>
#include <sched.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>

namespace Orlix {
namespace Platform {

namespace {

// gettid() is a system call; the identifier is cached per thread after the first call.
thread_local int t_threadId = 0;

// A child of fork() has one thread with a new identifier; forget the parent's cached value.
void forgetThreadIdInChild()
{
    t_threadId = 0;
}

struct ForkHandlerRegistration
{
    ForkHandlerRegistration() { pthread_atfork(nullptr, nullptr, forgetThreadIdInChild); }
};
const ForkHandlerRegistration g_forkHandlerRegistration;

} // namespace

int currentThreadId()
{
    int id = t_threadId;
    if (id == 0) {
        id = static_cast<int>(syscall(SYS_gettid));
        t_threadId = id;
    }
    return id;
}

unsigned long long currentProcessId()
{
    return static_cast<unsigned long long>(getpid());
}

void sleepMs(int ms)
{
    if (ms <= 0) {
        sched_yield();
        return;
    }
    timespec ts;
    ts.tv_sec = ms / 1000;
    ts.tv_nsec = static_cast<long>(ms % 1000) * 1000000L;
    while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
    }
}

void yield()
{
    sched_yield();
}

} // namespace Platform
} // namespace Orlix
