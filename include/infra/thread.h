/// @file
/// Threads: CThread, CThreadLite, systemCall and the identity of threads and the process.
///
/// CThread is the library's thread. A subclass supplies the work in threadProc(); the object
/// carries a name (at most 31 characters, "Nonamed" when none), a priority from 1 (highest) to
/// 127 (lowest) with 64 as normal, a scheduling policy (1 is real time), a stack size, a
/// cooperative stop flag that the work loop polls with looping(), and a watchdog deadline on
/// the library's monotonic millisecond clock that the thread manager (threadmanager.h) reports
/// once it has passed. While its body runs, every CThread is listed by the thread manager.
/// CThreadLite is a ready-made CThread whose work is a delegate:
///
///     using namespace Orlix::Infra;
///     void work(CThreadLite& self)
///     {
///         while (self.looping()) {
///             self.setTimeout(1000); // "I am alive for another second"
///             pollSomething();
///             CThread::sleep(10);
///         }
///     }
///     CThreadLite worker(TFunction1<void, CThreadLite&>(&work), "worker", 64, 0, 0);
///     worker.createThread();
///     // or any lambda: CThreadLite w([&](CThreadLite& self) { ... }, "w", 64, 0, 0);
///     ...
///     worker.destroyThread(); // clears the flag and waits for the body to return
///
/// Life cycle: idle (no thread) -> running (createThread) -> stopping (cancelThread or
/// destroyThread cleared the flag; the body is still in threadProc) -> idle again when the body
/// returns. createThread may be called again once the body has returned, also after a
/// destroyThread; called while the previous body is still finishing it waits for that body.
///
/// Priorities are applied as the operating system allows: policy 1 runs the thread under the
/// real-time round-robin policy; otherwise the priority is mapped onto a level
///
///     priority <= 5: time critical (nice -15)    64..68:  normal (nice 0)
///     6..59:         highest (nice -10)          69..72:  below normal (nice 5)
///     60..63:        above normal (nice -5)      73..126: lowest (nice 10)
///                                                >= 127:  idle (nice 19)
///
/// which becomes the thread's nice value. Where the system refuses for lack of privilege
/// (raising a priority as an ordinary user) the thread keeps its current scheduling and
/// createThread still succeeds.
///
/// Thread-safety: every operation may be called from any thread. createThread, destroyThread,
/// cancelThread and isTimeout take the object's lock; destroyThread never waits while holding
/// it. The stop flag, the running flag, the name and the deadline are single words read by
/// polling loops without the lock. A thread object must outlive its body: never delete it from
/// its own threadProc.
///
/// Failure: refused calls return false and log a warning (or an error) that names the thread.
/// A subclass whose threadProc uses the subclass's own members must stop the thread in its own
/// destructor (as CThreadLite does): that part of the object is gone before ~CThread runs.
#ifndef ORLIX_INFRA_THREAD_H
#define ORLIX_INFRA_THREAD_H

#include "infra/defs.h"
#include "infra/function.h"

namespace Orlix {
namespace Infra {

/// The library's thread: a subclass's threadProc() run with a name, a priority, a stop flag
/// and a watchdog deadline (see thread.h).
class ORLIX_API CThread
{
public:
    /// Fills in the thread's settings; starts nothing. A null name gives "Nonamed"; longer
    /// names keep their first 31 characters. stackSize 0 takes the system default; other
    /// sizes are raised to the system minimum and rounded up to whole pages.
    CThread(const char* name, int priority, int policy, int stackSize);

    /// Stops a running thread (destroyThread) and waits until its body has returned.
    virtual ~CThread();

    CThread(const CThread&) = delete;
    CThread& operator=(const CThread&) = delete;

    /// Starts the thread. True when it was started and its priority set. False, with the
    /// warning "CThread::CreateThread() thread '<name>' is still running!", while the stop flag
    /// is still set (the thread runs and was not asked to stop); false with the error "create
    /// thread failed,errno=<n>" when the system refused the thread, or when setting its
    /// priority failed (the thread then runs all the same). Called while a previous body is
    /// still finishing, waits for it first.
    bool createThread();

    /// Clears the stop flag and, unless called from the thread itself, waits until the body
    /// has returned. From inside the thread it returns true at once: the body ends when its
    /// loop next polls looping(). False with a warning when the thread was already destroyed
    /// ("has been destroyed!") or is not running ("has exited!").
    bool destroyThread();

    /// destroyThread(), then cancels the thread through the system. The cancellation takes
    /// effect at the thread's next cancellation point (a sleep, a semaphore wait, blocking I/O),
    /// not at once; the body's stack is then unwound, so destructors run and the thread leaves
    /// the thread manager's list. True when the system accepted the request. With no thread
    /// (never started) logs the error "handle is null, can't be terminated" and returns false.
    bool terminateThread();

    /// Clears the stop flag and returns true without waiting. False with the warning
    /// "CThread::cancelThread() thread '<name>' not exist!" when the flag was already clear.
    bool cancelThread();

    /// True when no body is running and the stop flag is clear.
    bool isThreadOver() const;

    /// The system identifier of the running (or last) thread; -1 until its body has started.
    int getThreadID() const;

    /// The stop flag: true while the thread is meant to keep working. The body's loop polls it.
    bool looping() const;

    /// Renames the thread (at most 31 characters kept; "Nonamed" for null).
    void setThreadName(const char* name);

    /// Sets the watchdog deadline to milliseconds from now on the library's monotonic clock;
    /// 0 clears it. A thread whose deadline has passed is reported as timed out.
    void setTimeout(int milliseconds);

    /// Same as setTimeout(milliseconds), counting from the caller's clock reading now.
    void setTimeout(int milliseconds, unsigned long long now);

    /// True when a deadline is set and has passed.
    bool isTimeout() const;

    /// Returns socket unchanged (sockets need no hand-over between threads here).
    int shareSocket(int socket);

    /// Sets the watchdog deadline of the calling thread as setTimeout() does, when that thread
    /// is a running CThread; returns false otherwise (for example on the process's first
    /// thread).
    static bool setCurrentTimeout(int milliseconds);

    /// Declares the expected load of the calling thread in percent. Asserts
    /// "percent >= 1 && percent <= 100"; has no further effect.
    static void load(int percent);

    /// The system identifier of the calling thread (the kernel thread id on Linux). A thread
    /// gets the same number on every call; two live threads never share one. It is the number
    /// the thread manager lists and the print prefix shows as "tid:".
    static int getCurrentThreadID();

    /// Suspends the calling thread for milliseconds; 0 gives up the rest of the time slice
    /// and returns at once.
    static void sleep(int milliseconds);

protected:
    /// The thread's work. Runs once per createThread; a body that should repeat loops while
    /// looping() is true.
    virtual void threadProc() = 0;

private:
    friend class CThreadLite;
    friend class ThreadManagerInternal;
    friend class CTimerThread;
    friend class TimerManagerInternal;

    struct ThreadInternal;
    ThreadInternal* m_internal;
};

/// A CThread whose work is a delegate, invoked with the thread object once per createThread.
class ORLIX_API CThreadLite : public CThread
{
public:
    /// Constructs the CThread part with the last four arguments and keeps a copy of proc,
    /// which must be bound.
    CThreadLite(TFunction1<void, CThreadLite&> proc, const char* name, int priority, int policy,
                int stackSize);

    /// Stops a running thread (destroyThread) and waits for the body to return before the
    /// delegate is released.
    ~CThreadLite() override;

private:
    void threadProc() override;

    struct ThreadLiteInternal;
    ThreadLiteInternal* m_internal;
};

/// Runs command as a new process and waits for it to end. The command line is split into
/// arguments by the usual quoting rules (blanks separate; '...' is taken literally; "..."
/// groups, and a backslash in it escapes a following double quote, backslash, dollar sign or
/// backquote; a backslash outside quotes escapes the next character) and run without a shell;
/// the program is searched on PATH. Returns 0 once the program ran (its exit status is not
/// reported), -1 when it could not be started (error "systemCall CreateProcessA cmd :
/// <command> failed") or when the command is 260 characters or longer (error "systemCall's
/// input parameter is too long").
ORLIX_API int systemCall(const char* command);

/// The system identifier of the process, widened to 64 bits.
ORLIX_API unsigned long long getCurrectProcessID();

} // namespace Infra
} // namespace Orlix

#endif // ORLIX_INFRA_THREAD_H
