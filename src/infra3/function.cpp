// The process-wide source of callable-binding identities for delegates.
#include "infra/function.h"

#include <atomic>

namespace Orlix {
namespace Infra {
namespace Detail {

// One counter for the whole process, kept in the library so that delegates built in different
// modules (the library, the application, its plug-ins) never share a number. Relaxed order is
// enough: only uniqueness matters, and the increment itself is atomic. 64 bits do not wrap in
// the life of a process.
unsigned long long nextCallableIdentity() noexcept
{
    static std::atomic<unsigned long long> s_last{0};
    return s_last.fetch_add(1, std::memory_order_relaxed) + 1;
}

} // namespace Detail
} // namespace Infra
} // namespace Orlix
