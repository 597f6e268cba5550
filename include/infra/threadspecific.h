/// @file
/// CThreadSpecific: one thread-local slot.
///
/// Each thread sees its own pointer in the slot, null until that thread stores one. The slot
/// does not own what it points to.
///
/// Thread-safety: every operation may be called from any thread; each thread reads and writes
/// only its own value. Not copyable.
///
/// Failure: when the system has no slot left, valid() is false and setValue()/getValue()
/// return false.
#ifndef ORLIX_INFRA_THREADSPECIFIC_H
#define ORLIX_INFRA_THREADSPECIFIC_H

#include "infra/defs.h"

namespace Orlix {
namespace Infra {

/// One thread-local pointer slot: each thread reads and writes its own value.
class ORLIX_API CThreadSpecific
{
public:
    /// Allocates the slot.
    CThreadSpecific();
    /// Frees the slot when it is valid.
    ~CThreadSpecific();
    CThreadSpecific(const CThreadSpecific&) = delete;
    CThreadSpecific& operator=(const CThreadSpecific&) = delete;

    /// True when a slot was allocated.
    bool valid() const;
    /// Stores value for the calling thread; false when not valid or the store failed.
    bool setValue(const void* value);
    /// Stores the calling thread's value (null until set) into *value and returns true; false
    /// when not valid.
    bool getValue(void** value) const;

private:
    struct ThreadSpecificInternal;
    ThreadSpecificInternal* m_internal;
};

} // namespace Infra
} // namespace Orlix

#endif // ORLIX_INFRA_THREADSPECIFIC_H
