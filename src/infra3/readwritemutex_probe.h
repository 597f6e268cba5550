// Observation of a CReadWriteMutex's queues, for tests (internal).
#ifndef ORLIX_SRC_INFRA3_READWRITEMUTEX_PROBE_H
#define ORLIX_SRC_INFRA3_READWRITEMUTEX_PROBE_H

#include "infra/readwritemutex.h"

namespace Orlix {
namespace Infra {
namespace Detail {

struct ReadWriteMutexProbe
{
    // Writers and readers waiting in a priorityWrite lock (0 for priorityDefault).
    static int waitingWriters(CReadWriteMutex& lock);
    static int waitingReaders(CReadWriteMutex& lock);
};

} // namespace Detail
} // namespace Infra
} // namespace Orlix

#endif // ORLIX_SRC_INFRA3_READWRITEMUTEX_PROBE_H
