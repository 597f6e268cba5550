// CThread and CThreadLite: the thread object, its life cycle and its identity statics.
#include "infra/thread.h"

#include "infra/error.h"
#include "infra/print.h"
#include "infra3/clock.h"
#include "infra3/diag.h"
#include "infra3/print_internal.h"
#include "infra3/thread_internal.h"
#include "infra3/threadmanager_internal.h"
#include "platform/thread.h"

#include <cstring>

namespace Orlix {
namespace Infra {

namespace Detail {

int win32Priority(int priority, int policy)
{
    if (policy == 1)
        return 15;
    // In 64 bits: the same values as the 32-bit formula wherever it does not overflow, and
    // priorities far outside 1..127 stay on their side of the table instead of wrapping.
    const long long v = 15 - ((static_cast<long long>(priority) - 1) * 30) / 126;
    if (v <= -15)
        return -15;
    if (v <= -2)
        return -2;
    if (v >= 15)
        return 15;
    if (v >= 2)
        return 2;
    return static_cast<int>(v); // -1, 0 or 1
}

} // namespace Detail

namespace {

// Whether a debug line would print now. The thread body's two debug lines copy the name
// under its lock; with the level below debug (the usual case) that copy is skipped.
bool debugPrinted()
{
    return Detail::printLogLevel() >= 6;
}

// The deadline milliseconds after now; 0 clears it. The milliseconds are sign-extended.
uint64 deadlineAfter(int milliseconds, uint64 now)
{
    if (milliseconds == 0)
        return 0;
    return now + static_cast<uint64>(static_cast<int64>(milliseconds));
}

} // namespace

// ---------------------------------------------------------------- ThreadInternal

CThread::ThreadInternal::ThreadInternal(CThread* owner, const char* name, int priority, int policy,
                                        int stackSize)
    : m_policy(policy), m_priority(priority), m_stackSize(stackSize), m_thread(owner)
{
    setName(name);
}

std::string CThread::ThreadInternal::name() const
{
    TGuard<CMutex> guard(m_nameMutex);
    return m_name;
}

void CThread::ThreadInternal::setName(const char* name)
{
    TGuard<CMutex> guard(m_nameMutex);
    std::strncpy(m_name, name != nullptr ? name : "Nonamed", Detail::kMaxNameLength);
    m_name[Detail::kMaxNameLength] = '\0';
}

void CThread::ThreadInternal::body(void* argument)
{
    auto* record = static_cast<ThreadInternal*>(argument);
    // No hand-over with createThread: it set m_running before the start, the system thread
    // applied the priority before calling here, and everything else the body reads was
    // written before pthread_create. The thread object's lock is taken by the body only where
    // it asks for it (destroyThread on itself and the like).
    record->m_threadId.store(Platform::currentThreadId());
    ThreadManagerInternal::instance()->add(record);

    // The end of the body, also when it is unwound by terminateThread's cancellation: leave
    // the registry, then clear the flags. Clearing m_running is the last touch of the record:
    // the owner may free it right after.
    struct BodyExit
    {
        ThreadInternal* record;
        ~BodyExit()
        {
            if (debugPrinted())
                logDebug("ThreadBody leave name = %s, id = %d \n", record->name().c_str(),
                         record->m_threadId.load());
            ThreadManagerInternal::remove(record);
            record->m_loop.store(false);
            record->m_running.store(0);
        }
    } exit{record};

    int onStack = 0;
    if (debugPrinted())
        logDebug("ThreadBody Enter name = %s, id = %d, prior = %s%d, stack = %p \n",
                 record->name().c_str(), record->m_threadId.load(),
                 record->m_policy == 1 ? "R" : "N", record->m_priority,
                 static_cast<void*>(&onStack));
    record->m_thread->threadProc();
}

void CThread::ThreadInternal::waitForBody(ThreadInternal* record)
{
    Platform::NativeThread* handle = nullptr;
    {
        TGuard<CMutex> guard(record->m_mutex);
        handle = record->m_threadHandle;
        if (handle == nullptr)
            return;
        Platform::retainThread(handle);
    }
    if (!Platform::isCurrentThread(handle)) {
        unsigned long long rounds = 0;
        while (Platform::threadActive(handle)) {
            Platform::sleepMs(1);
            if (++rounds % 100 == 0) {
                const CThread* self = record->m_thread;
                logDebug("[%s:%d] this:%p tid:%d, CThread::~CThread %s wait for thread over, "
                         "times : %llu\n",
                         __FILE__, __LINE__, static_cast<const void*>(self),
                         Platform::currentThreadId(), record->name().c_str(), rounds);
            }
        }
    }
    Platform::releaseThread(handle);
}

// ---------------------------------------------------------------- CThread

CThread::CThread(const char* name, int priority, int policy, int stackSize)
    : m_internal(new ThreadInternal(this, name, priority, policy, stackSize))
{
    // The registry exists from the first thread object on, so that it outlives them all.
    ThreadManagerInternal::instance();
}

CThread::~CThread()
{
    if (m_internal->m_loop.load())
        destroyThread();
    // Also when destroyThread had nothing to wait for: a body that has not reached its first
    // step yet (or one destroyed earlier and still finishing) still uses the record.
    ThreadInternal::waitForBody(m_internal);
    Platform::closeThread(m_internal->m_threadHandle);
    // The body has unregistered; this makes certain that no freed record stays listed, and
    // the registry's lock, taken once more here, orders the free after every lookup that
    // walked past the record.
    ThreadManagerInternal::remove(m_internal);
    delete m_internal;
}

bool CThread::createThread()
{
    ThreadInternal& r = *m_internal;
    // Every refusal leaves the lock before logging, so a slow sink never holds it.
    auto stillRunning = [&] {
        r.m_mutex.leave();
        logWarn(ORLIX_OBJ_FMT "CThread::CreateThread() thread '%s' is still running!\n",
                ORLIX_OBJ_ARGS, r.name().c_str());
        return false;
    };
    auto failed = [&](int error) {
        r.m_mutex.leave();
        logError(ORLIX_OBJ_FMT "create thread failed,errno=%d\n", ORLIX_OBJ_ARGS, error);
        return false;
    };
    r.m_mutex.enter();
    if (r.m_loop.load())
        return stillRunning();
    while (r.m_running.load() != 0) {
        r.m_mutex.leave();
        Platform::sleepMs(1);
        r.m_mutex.enter();
    }
    if (r.m_loop.load())
        return stillRunning();
    // The handle of the earlier run is closed only now that its body is over: while that body
    // was still finishing, terminateThread (on another thread) could still reach it.
    if (r.m_threadHandle != nullptr) {
        Platform::closeThread(r.m_threadHandle);
        r.m_threadHandle = nullptr;
    }
    r.m_loop.store(true);
    r.m_threadId.store(-1);
    r.m_destroyed.store(false);
    r.m_deadline.store(0);
    // Cost: the handle's allocation and pthread_create, nothing else on this side. The new
    // thread applies its priority itself before the body runs (no priority call here, no
    // wait for its kernel id) and the body starts without waiting for this lock. Running is
    // set before the start, so that the body never has to report it.
    r.m_running.store(1);
    Platform::ThreadScheduling scheduling;
    scheduling.level = Detail::win32Priority(r.m_priority, r.m_policy);
    scheduling.realtime = r.m_policy == 1;
    scheduling.priority = r.m_priority;
    int error = 0;
    r.m_threadHandle =
        Platform::startThread(&ThreadInternal::body, &r, r.m_stackSize, scheduling, &error);
    if (r.m_threadHandle == nullptr) {
        r.m_running.store(0);
        r.m_loop.store(false);
        return failed(error);
    }
    r.m_mutex.leave();
    return true;
}

bool CThread::destroyThread()
{
    ThreadInternal& r = *m_internal;
    r.m_mutex.enter();
    if (r.m_destroyed.load()) {
        r.m_mutex.leave();
        logWarn(ORLIX_OBJ_FMT "CThread::DestroyThread() thread '%s' has been destroyed!\n",
                ORLIX_OBJ_ARGS, r.name().c_str());
        return false;
    }
    if (isThreadOver()) {
        r.m_mutex.leave();
        logWarn(ORLIX_OBJ_FMT "CThread::DestroyThread() thread '%s' has exited!\n", ORLIX_OBJ_ARGS,
                r.name().c_str());
        return false;
    }
    r.m_loop.store(false);
    r.m_destroyed.store(true);
    Platform::NativeThread* handle = r.m_threadHandle;
    if (handle == nullptr) {
        r.m_mutex.leave();
        logWarn(ORLIX_OBJ_FMT "CThread::DestroyThread() thread handle has been invalid!\n",
                ORLIX_OBJ_ARGS);
        return false;
    }
    // Our own share: a createThread on another thread may close the handle while we wait.
    Platform::retainThread(handle);
    r.m_mutex.leave();
    if (!Platform::isCurrentThread(handle)) {
        while (r.m_running.load() != 0) {
            if (Platform::waitThread(handle, 50) || !r.m_destroyed.load())
                break;
        }
    }
    Platform::releaseThread(handle);
    return true;
}

bool CThread::terminateThread()
{
    destroyThread();
    TGuard<CMutex> guard(m_internal->m_mutex);
    if (m_internal->m_threadHandle == nullptr) {
        logError(ORLIX_OBJ_FMT "handle is null, can't be terminated\n", ORLIX_OBJ_ARGS);
        return false;
    }
    return Platform::cancelThread(m_internal->m_threadHandle) == 0;
}

bool CThread::cancelThread()
{
    ThreadInternal& r = *m_internal;
    r.m_mutex.enter();
    if (!r.m_loop.load()) {
        r.m_mutex.leave();
        logWarn(ORLIX_OBJ_FMT "CThread::cancelThread() thread '%s' not exist!\n", ORLIX_OBJ_ARGS,
                r.name().c_str());
        return false;
    }
    r.m_loop.store(false);
    r.m_mutex.leave();
    return true;
}

bool CThread::isThreadOver() const
{
    return m_internal->m_running.load() == 0 && !m_internal->m_loop.load();
}

int CThread::getThreadID() const
{
    return m_internal->m_threadId.load();
}

bool CThread::looping() const
{
    return m_internal->m_loop.load(std::memory_order_relaxed);
}

void CThread::setThreadName(const char* name)
{
    m_internal->setName(name);
}

void CThread::setTimeout(int milliseconds)
{
    setTimeout(milliseconds, Detail::monotonicMilliSecond());
}

void CThread::setTimeout(int milliseconds, unsigned long long now)
{
    m_internal->m_deadline.store(deadlineAfter(milliseconds, now), std::memory_order_relaxed);
}

bool CThread::isTimeout() const
{
    TGuard<CMutex> guard(m_internal->m_mutex);
    return m_internal->timedOut(Detail::monotonicMilliSecond());
}

int CThread::shareSocket(int socket)
{
    return socket;
}

bool CThread::setCurrentTimeout(int milliseconds)
{
    return ThreadManagerInternal::instance()->setTimeoutOf(Platform::currentThreadId(),
                                                           milliseconds);
}

void CThread::load(int percent)
{
    ORLIX_ASSERT(percent >= 1 && percent <= 100);
}

int CThread::getCurrentThreadID()
{
    return Platform::currentThreadId();
}

void CThread::sleep(int milliseconds)
{
    Platform::sleepMs(milliseconds);
}

unsigned long long getCurrectProcessID()
{
    return Platform::currentProcessId();
}

// ---------------------------------------------------------------- CThreadLite

struct CThreadLite::ThreadLiteInternal
{
    TFunction1<void, CThreadLite&> m_proc;
};

CThreadLite::CThreadLite(TFunction1<void, CThreadLite&> proc, const char* name, int priority,
                         int policy, int stackSize)
    : CThread(name, priority, policy, stackSize), m_internal(new ThreadLiteInternal{proc})
{}

CThreadLite::~CThreadLite()
{
    if (!isThreadOver())
        destroyThread();
    // destroyThread does not wait when the thread was already destroyed (and still runs):
    // the delegate must stay until the body is done with it.
    ThreadInternal::waitForBody(CThread::m_internal);
    delete m_internal;
}

void CThreadLite::threadProc()
{
    const TFunction1<void, CThreadLite&> proc = m_internal->m_proc;
    proc(*this);
}

} // namespace Infra
} // namespace Orlix
