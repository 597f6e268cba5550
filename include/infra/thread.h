// Threads: identity of the calling thread and process, sleeping.
//
// CThread is the library's thread class. The identity operations below are statics that any
// thread may call at any time, also before anything else of the library has been used.
#ifndef ORLIX_INFRA_THREAD_H
#define ORLIX_INFRA_THREAD_H

#include "infra/defs.h"

namespace Orlix {
namespace Infra {

class ORLIX_API CThread
{
public:
    // The system identifier of the calling thread (the kernel thread id on Linux). A thread
    // gets the same number on every call; two live threads never share one. It is the number
    // the thread manager lists and the print prefix shows as "tid:".
    static int getCurrentThreadID();

    // Suspends the calling thread for milliseconds; 0 gives up the rest of the time slice
    // and returns at once.
    static void sleep(int milliseconds);
};

// The system identifier of the process, widened to 64 bits.
ORLIX_API unsigned long long getCurrectProcessID();

} // namespace Infra
} // namespace Orlix

#endif // ORLIX_INFRA_THREAD_H
