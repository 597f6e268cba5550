// CThreadSpecific.
#include "infra/threadspecific.h"

#include "platform/sync.h"

namespace Orlix {
namespace Infra {

struct CThreadSpecific::ThreadSpecificInternal
{
    Platform::TlsSlot m_key;
};

CThreadSpecific::CThreadSpecific() : m_internal(new ThreadSpecificInternal) {}

CThreadSpecific::~CThreadSpecific()
{
    delete m_internal;
}

bool CThreadSpecific::valid() const
{
    return m_internal->m_key.valid();
}

bool CThreadSpecific::setValue(const void* value)
{
    return m_internal->m_key.valid() && m_internal->m_key.set(value);
}

bool CThreadSpecific::getValue(void** value) const
{
    if (!m_internal->m_key.valid())
        return false;
    *value = m_internal->m_key.get();
    return true;
}

} // namespace Infra
} // namespace Orlix
