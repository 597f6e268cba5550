// The thread registry behind CThreadManager (internal).
#ifndef ORLIX_SRC_INFRA3_THREADMANAGER_INTERNAL_H
#define ORLIX_SRC_INFRA3_THREADMANAGER_INTERNAL_H

#include "infra/infra3/flex_string.h"
#include "infra3/thread_internal.h"

#include <atomic>
#include <string>
#include <vector>

namespace Orlix {
namespace Infra {

// A doubly linked list of the records of running CThreads, newest first, threaded through
// the records' own links; the list does not own them.
//
// The list's lock is a process-lifetime lock rather than a member: the registry is destroyed
// at process exit, and a thread that only ends after that (a pooled timer thread finishing a
// callback while the process exits) still unregisters safely. The destructor unlinks every
// record it still holds, so such a late remove() finds nothing to do.
class ThreadManagerInternal
{
public:
    using Record = CThread::ThreadInternal;

    // The registry, created on first use and destroyed at process exit.
    static ThreadManagerInternal* instance();

    ThreadManagerInternal();
    ~ThreadManagerInternal();
    ThreadManagerInternal(const ThreadManagerInternal&) = delete;
    ThreadManagerInternal& operator=(const ThreadManagerInternal&) = delete;

    // Inserts record at the head of the list.
    void add(Record* record);

    // Unlinks record when it is in a registry's list; does nothing otherwise (also after the
    // registry was destroyed).
    static void remove(Record* record);

    // Sets the deadline of the running CThread with identifier id, under its record's lock,
    // as CThread::setTimeout(milliseconds) does. False when id is not a running CThread.
    bool setTimeoutOf(int id, int milliseconds);

    void registerMainThread();
    int mainThreadId() const { return m_mainThreadId.load(std::memory_order_relaxed); }

    bool getThreadNameByID(int id, flex_string& name);
    bool getTimeOutThreads(flex_string& names);
    bool hasThread(int id);

    // The thread table's rows, as dumpThreads prints them after the "Main" row.
    std::vector<std::string> tableRows();
    void dumpThreads();

private:
    // The first record with identifier id; call with the list's lock held.
    Record* find(int id) const;

    Record* m_head = nullptr;
    std::atomic<int> m_mainThreadId{-1};
};

} // namespace Infra
} // namespace Orlix

#endif // ORLIX_SRC_INFRA3_THREADMANAGER_INTERNAL_H
