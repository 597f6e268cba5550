// CThread: thread identity and sleeping.
#include "infra/thread.h"

#include "platform/thread.h"

namespace Orlix {
namespace Infra {

int CThread::getCurrentThreadID()
{
    return Platform::currentThreadId();
}

void CThread::sleep(int milliseconds)
{
    Platform::sleepMs(milliseconds);
}

unsigned long long getCurrectProcessID()
{
    return Platform::currentProcessId();
}

} // namespace Infra
} // namespace Orlix
