// CMutex and CRecursiveMutex.
#include "infra/mutex.h"

#include "platform/sync.h"
#include "platform/thread.h"

#include <atomic>

namespace Orlix {
namespace Infra {

struct CMutex::MutexInternal
{
    Platform::CriticalSection m_section;
};

CMutex::CMutex() : m_internal(new MutexInternal) {}

CMutex::~CMutex()
{
    delete m_internal;
    m_internal = nullptr;
}

bool CMutex::enter()
{
    m_internal->m_section.enter();
    return true;
}

bool CMutex::tryEnter()
{
    return m_internal->m_section.tryEnter();
}

bool CMutex::leave()
{
    m_internal->m_section.leave();
    return true;
}

struct CRecursiveMutex::RecursiveMutexInternal
{
    Platform::CriticalSection m_section;
    int m_count = 0;             // nesting depth, touched by the owner only
    std::atomic<int> m_owner{0}; // owner's thread id, 0 when free; read by any thread
};

CRecursiveMutex::CRecursiveMutex() : m_internal(new RecursiveMutexInternal) {}

CRecursiveMutex::~CRecursiveMutex()
{
    delete m_internal;
    m_internal = nullptr;
}

bool CRecursiveMutex::enter()
{
    const int self = Platform::currentThreadId();
    // Only the owner itself can see its own id here, so the relaxed read is exact for it and
    // merely "not me" for everyone else.
    if (m_internal->m_owner.load(std::memory_order_relaxed) == self) {
        ++m_internal->m_count;
        return true;
    }
    m_internal->m_section.enter();
    // The critical section orders everything the owner does; the owner field only has to
    // be a race-free word for the comparison above, so relaxed stores suffice.
    m_internal->m_owner.store(self, std::memory_order_relaxed);
    m_internal->m_count = 1;
    return true;
}

bool CRecursiveMutex::leave()
{
    if (--m_internal->m_count == 0) {
        m_internal->m_owner.store(0, std::memory_order_relaxed);
        m_internal->m_section.leave();
    }
    return true;
}

} // namespace Infra
} // namespace Orlix
