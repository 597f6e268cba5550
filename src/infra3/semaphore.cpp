// CSemaphore.
#include "infra/semaphore.h"

#include "infra/error.h"
#include "platform/sync.h"

namespace Orlix {
namespace Infra {

namespace {
constexpr int kMaximumCount = 0x7fffffff;
} // namespace

struct CSemaphore::SemaphoreInternal
{
    // Null when the system could not create the semaphore.
    Platform::Semaphore* m_handle = nullptr;
};

CSemaphore::CSemaphore(int initialCount) : m_internal(new SemaphoreInternal)
{
    auto* semaphore = new Platform::Semaphore(initialCount, kMaximumCount);
    if (semaphore->valid())
        m_internal->m_handle = semaphore;
    else
        delete semaphore;
    ORLIX_ASSERT(m_internal->m_handle);
}

CSemaphore::~CSemaphore()
{
    delete m_internal->m_handle;
    delete m_internal;
}

int CSemaphore::pend()
{
    ORLIX_ASSERT(m_internal->m_handle);
    return m_internal->m_handle->wait() ? 0 : -1;
}

int CSemaphore::pend(unsigned int timeout)
{
    ORLIX_ASSERT(m_internal->m_handle);
    return m_internal->m_handle->waitFor(timeout) ? 0 : -1;
}

int CSemaphore::tryPend()
{
    ORLIX_ASSERT(m_internal->m_handle);
    return m_internal->m_handle->tryWait() ? 0 : -1;
}

int CSemaphore::post()
{
    return m_internal->m_handle->post() ? 0 : -1;
}

} // namespace Infra
} // namespace Orlix
