/// @file
/// The thread manager: the process-wide registry of running CThreads.
///
/// Every CThread (thread.h) enters the registry when its body starts and leaves it when its
/// body returns, so the registry always lists the library's threads that are running now,
/// newest first. It answers which name an identifier belongs to, whether an identifier is one
/// of the library's threads, which threads have let their watchdog deadline pass, and prints a
/// table of them all:
///
///     Orlix::Infra::CThreadManager* threads = Orlix::Infra::CThreadManager::instance();
///     threads->registerMainThread();           // once, on the process's first thread
///     Orlix::Infra::flex_string late;
///     if (threads->getTimeOutThreads(late))   // e.g. "net(7)worker(120)"
///         logWarn("stuck: %s\n", late.c_str());
///     threads->dumpThreads();                  // at info level (print level 4 or higher)
///
/// A thread is timed out when its deadline (CThread::setTimeout) is set and lies strictly
/// before the current reading of the library's monotonic millisecond clock.
///
/// Thread-safety: every operation may be called from any thread. Lookups hold the registry's
/// lock; dumpThreads prints after releasing it, so printing never delays a thread starting or
/// ending. Lock order where locks nest: the registry's lock before a thread's own lock.
///
/// Failure: lookups that find nothing return false and leave their output unchanged
/// (getTimeOutThreads empties it). Nothing else fails.
#ifndef ORLIX_INFRA_THREADMANAGER_H
#define ORLIX_INFRA_THREADMANAGER_H

#include "infra/defs.h"
#include "infra/infra3/flex_string.h"

namespace Orlix {
namespace Infra {

class ThreadManagerInternal;
namespace Detail {
template <class T>
class CSingleton;
} // namespace Detail

/// The process-wide registry of running CThreads: lookups by identifier, the watchdog report
/// and the thread table.
class ORLIX_API CThreadManager
{
public:
    /// The process's thread manager, created on first use and destroyed at exit.
    static CThreadManager* instance();

    CThreadManager(const CThreadManager&) = delete;
    CThreadManager& operator=(const CThreadManager&) = delete;

    /// Records the calling thread as the main thread, shown as the "Main" row of the table.
    void registerMainThread();

    /// Prints the thread table at info level: a "Threads:" heading, the column titles, a rule,
    /// the "Main" row (identifier -1 until registerMainThread), one row per running CThread
    /// with its name, identifier, priority and "Normal" or "Timeout", and an empty line.
    void dumpThreads() const;

    /// Assigns the name of the running CThread with identifier id to name and returns true;
    /// returns false and leaves name unchanged when no running CThread has that identifier.
    bool getThreadNameByID(int id, flex_string& name) const;

    /// Replaces names with the timed-out threads, each as its name followed by "(<id>)"
    /// (cut to 7 characters), without separators, newest thread first. True when at least one
    /// thread is timed out; otherwise names is left empty.
    bool getTimeOutThreads(flex_string& names) const;

    /// True when a running CThread has identifier id.
    bool hasThread(int id) const;

private:
    template <class T>
    friend class Detail::CSingleton;
    CThreadManager();
    ~CThreadManager();

    ThreadManagerInternal* m_internal;
};

} // namespace Infra
} // namespace Orlix

#endif // ORLIX_INFRA_THREADMANAGER_H
