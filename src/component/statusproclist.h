// A fixed-capacity list of status procedures (internal).
//
// Procedures are delegates kept in slots. Attach takes the first free slot; detach frees the
// slot of an equal delegate (every matching slot for a wildcard delegate); emit calls every
// attached procedure in slot order. The list's lock is not held while a procedure runs, so a
// procedure may attach or detach procedures of the same list, and a procedure detached by
// another thread while it runs finishes its call on the copy taken before.
#ifndef ORLIX_SRC_COMPONENT_STATUSPROCLIST_H
#define ORLIX_SRC_COMPONENT_STATUSPROCLIST_H

#include "infra/mutex.h"
#include "infra3/clock.h"
#include "platform/thread.h"

#include <cstdint>
#include <vector>

namespace Orlix {
namespace Component {
namespace Detail {

template <class Delegate>
class TStatusProcList
{
public:
    // Results of attach and detach below zero.
    enum : int
    {
        notAttached = -1, // detach: no equal delegate is attached
        duplicate = -2,   // attach: an equal delegate is attached already
        full = -3,        // attach: every slot is taken
        emptyDelegate = -4,
        wildcardDelegate = -5 // attach: wildcards only make sense for detaching
    };

    explicit TStatusProcList(int capacity) : m_slots(static_cast<std::size_t>(capacity)) {}
    TStatusProcList(const TStatusProcList&) = delete;
    TStatusProcList& operator=(const TStatusProcList&) = delete;

    // Attaches proc in the first free slot; returns the number attached afterwards (> 0) or
    // one of the negative codes.
    int attach(const Delegate& proc)
    {
        if (proc.empty())
            return emptyDelegate;
        if (proc.kind() == Delegate::kindWildcard)
            return wildcardDelegate;
        Infra::TGuard<Infra::CMutex> guard(m_mutex);
        for (const Slot& slot : m_slots) {
            if (slot.attached == 1 && slot.proc == proc)
                return duplicate;
        }
        for (Slot& slot : m_slots) {
            if (slot.attached != 1) {
                slot.proc = proc;
                slot.attached = 1;
                return ++m_count;
            }
        }
        return full;
    }

    // Frees the slot of the first attached delegate equal to proc (every equal one for a
    // wildcard); returns the number attached afterwards, or notAttached / emptyDelegate. With
    // waitIdle, a slot whose procedure is running on another thread is freed only once that
    // call has returned (polling every 10 ms); the emitting thread itself never waits.
    int detach(const Delegate& proc, bool waitIdle = false)
    {
        if (proc.empty())
            return emptyDelegate;
        const bool wildcard = proc.kind() == Delegate::kindWildcard;
        bool freed = false;
        Infra::TGuard<Infra::CMutex> guard(m_mutex);
        for (Slot& slot : m_slots) {
            if (slot.attached != 1 || !(slot.proc == proc))
                continue;
            if (waitIdle)
                waitUntilIdle(slot);
            if (slot.attached != 1) // detached by another thread meanwhile
                continue;
            slot.attached = 0;
            slot.proc = Delegate();
            --m_count;
            freed = true;
            if (!wildcard)
                break;
        }
        return freed ? m_count : notAttached;
    }

    // Calls every attached procedure, in slot order, with args.
    template <class... Args>
    void emit(const Args&... args)
    {
        Infra::TGuard<Infra::CMutex> guard(m_mutex);
        m_emittingThread = Platform::currentThreadId();
        for (Slot& slot : m_slots) {
            if (slot.attached != 1)
                continue;
            Delegate call = slot.proc;
            ++slot.running;
            m_mutex.leave();
            const uint64 begin = Infra::Detail::monotonicMicroSecond();
            call(args...);
            const uint64 end = Infra::Detail::monotonicMicroSecond();
            m_mutex.enter();
            slot.lastCallMicros =
                end >= begin ? static_cast<std::uint32_t>(end - begin) : std::uint32_t{1};
            --slot.running;
        }
    }

    // The number of attached procedures.
    int count() const
    {
        Infra::TGuard<Infra::CMutex> guard(m_mutex);
        return m_count;
    }

private:
    struct Slot
    {
        Delegate proc;
        int attached = 0;
        int running = 0; // calls in progress
        std::uint32_t lastCallMicros = 0;
    };

    // Called and returns with m_mutex held.
    void waitUntilIdle(const Slot& slot)
    {
        while (slot.running != 0 && m_emittingThread != Platform::currentThreadId()) {
            m_mutex.leave();
            Platform::sleepMs(10);
            m_mutex.enter();
        }
    }

    mutable Infra::CMutex m_mutex;
    std::vector<Slot> m_slots; // guarded by m_mutex
    int m_count = 0;           // guarded by m_mutex
    int m_emittingThread = -1; // guarded by m_mutex
};

} // namespace Detail
} // namespace Component
} // namespace Orlix

#endif // ORLIX_SRC_COMPONENT_STATUSPROCLIST_H
