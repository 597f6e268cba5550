// Legacy ::CMutex and ::CGuard.
#include "infra/legacy_mutex.h"

#include "platform/sync.h"

#include <cassert>
#include <memory>

struct CMutex::MutexInternal
{
    // The record and its lock are created together, so that a failed allocation of either
    // leaves nothing behind.
    std::unique_ptr<Orlix::Platform::RobustMutex> m_handle =
        std::make_unique<Orlix::Platform::RobustMutex>();
};

CMutex::CMutex(Type /*type*/) : m_internal(new MutexInternal)
{
    assert(m_internal->m_handle);
}

CMutex::~CMutex()
{
    assert(m_internal->m_handle);
    delete m_internal;
}

bool CMutex::Enter()
{
    assert(m_internal->m_handle);
    return m_internal->m_handle->lock() == Orlix::Platform::RobustMutex::LockResult::acquired;
}

bool CMutex::TryEnter()
{
    assert(m_internal->m_handle);
    return m_internal->m_handle->tryLock() == Orlix::Platform::RobustMutex::LockResult::acquired;
}

bool CMutex::Leave()
{
    assert(m_internal->m_handle);
    return m_internal->m_handle->unlock();
}

CGuard::CGuard(CMutex& mutex) : m_mutex(mutex)
{
    m_mutex.Enter();
}

CGuard::~CGuard()
{
    m_mutex.Leave();
}
