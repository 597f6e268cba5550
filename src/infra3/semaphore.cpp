// CSemaphore.
#include "infra/semaphore.h"

#include "infra/error.h"
#include "platform/sync.h"

#include <memory>

namespace Orlix {
namespace Infra {

namespace {
constexpr int kMaximumCount = 0x7fffffff;
} // namespace

struct CSemaphore::SemaphoreInternal
{
    // Creates the record and its semaphore together, so that a failed allocation of either
    // leaves nothing behind.
    explicit SemaphoreInternal(int initialCount)
        : m_handle(std::make_unique<Platform::Semaphore>(initialCount, kMaximumCount))
    {
        if (!m_handle->valid())
            m_handle.reset();
    }

    // Null when the system could not create the semaphore.
    std::unique_ptr<Platform::Semaphore> m_handle;
};

CSemaphore::CSemaphore(int initialCount) : m_internal(new SemaphoreInternal(initialCount))
{
    ORLIX_ASSERT(m_internal->m_handle);
}

CSemaphore::~CSemaphore()
{
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
