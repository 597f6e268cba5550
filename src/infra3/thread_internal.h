// The record behind a CThread (internal).
//
// Shared by the thread object (thread.cpp) and the thread manager (threadmanager.cpp), which
// links running records into its list.
#ifndef ORLIX_SRC_INFRA3_THREAD_INTERNAL_H
#define ORLIX_SRC_INFRA3_THREAD_INTERNAL_H

#include "infra/mutex.h"
#include "infra/thread.h"
#include "platform/threads.h"

#include <atomic>
#include <string>

namespace Orlix {
namespace Infra {

namespace Detail {

// The Win32 priority level of a thread with the given priority (1 highest .. 127 lowest) and
// policy. Policy 1 gives 15 (time critical) whatever the priority; otherwise the value
// v = 15 - ((priority - 1) * 30) / 126 is mapped onto the levels:
//     priority <= 5: 15 (time critical)      64..68:  0 (normal)
//     6..59:          2 (highest)            69..72:  -1 (below normal)
//     60..63:         1 (above normal)       73..126: -2 (lowest)
//                                            >= 127:  -15 (idle)
int win32Priority(int priority, int policy);

// Longest thread or timer name kept, in characters.
constexpr int kMaxNameLength = 31;

} // namespace Detail

struct CThread::ThreadInternal
{
    ThreadInternal(CThread* owner, const char* name, int priority, int policy, int stackSize);
    ThreadInternal(const ThreadInternal&) = delete;
    ThreadInternal& operator=(const ThreadInternal&) = delete;

    // The thread's start routine; argument is the record.
    static void body(void* argument);

    // Waits until the body of the record's thread has finished (not when called from that
    // thread itself, which would wait for ever).
    static void waitForBody(ThreadInternal* record);

    // The name, copied under the name lock.
    std::string name() const;
    void setName(const char* name);

    // A deadline is set and lies strictly before now.
    bool timedOut(uint64 now) const
    {
        const uint64 deadline = m_deadline.load(std::memory_order_relaxed);
        return deadline != 0 && deadline < now;
    }

    Platform::NativeThread* m_threadHandle = nullptr; // under m_mutex
    std::atomic<int> m_running{0};
    const int m_policy;
    const int m_priority;
    const int m_stackSize;
    std::atomic<int> m_threadId{-1};
    ThreadInternal* m_prev = nullptr; // list links: under the thread manager's lock
    ThreadInternal* m_next = nullptr;
    bool m_registered = false; // in the manager's list; under the manager's lock
    std::atomic<uint64> m_deadline{0};
    std::atomic<bool> m_loop{false};
    std::atomic<bool> m_destroyed{false};
    CThread* const m_thread;
    CMutex m_mutex;

private:
    // The name has a lock of its own, a leaf: renaming (which the timer pool does on every
    // call it hands out) never waits for the record's state changes, and a reader never sees
    // half of an old and half of a new name.
    mutable CMutex m_nameMutex;
    char m_name[Detail::kMaxNameLength + 1];
};

} // namespace Infra
} // namespace Orlix

#endif // ORLIX_SRC_INFRA3_THREAD_INTERNAL_H
