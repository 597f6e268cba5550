// Per-thread last error, the error-message table and the assertion back end.
#include "infra/error.h"

#include "infra/mutex.h"
#include "infra/print.h"
#include "infra3/singleton.h"

#include <cstdio>
#include <cstdlib>
#include <map>

#ifdef ORLIX_COVERAGE
// Writes the coverage counters (gcov's runtime; weak, so a build without it still links).
extern "C" void __gcov_dump(void) __attribute__((weak));
#endif

namespace Orlix {
namespace Infra {

namespace {

// The last-error slot. A C++ thread_local gives each thread its own code, 0 until set, with
// no allocation and no dependence on static-initialisation order.
thread_local int t_lastError = 0;

// Process-wide map from error code to message, created on first use, destroyed at exit.
class CErrorMessageManager
{
public:
    static CErrorMessageManager* instance()
    {
        return Detail::CSingleton<CErrorMessageManager>::instance(
            __FILE__, "`anonymous-namespace'::CErrorMessageManager::instance", __LINE__);
    }

    void store(int code, const char* msg)
    {
        TGuard<CMutex> guard(m_mutex);
        m_messages[code] = (msg != nullptr) ? msg : "";
    }

    const char* find(int code)
    {
        TGuard<CMutex> guard(m_mutex);
        const auto it = m_messages.find(code);
        return it != m_messages.end() ? it->second.c_str() : "";
    }

private:
    CMutex m_mutex;
    std::map<int, flex_string> m_messages; // guarded by m_mutex
};

// Ends the process after an assertion failure. abort() raises SIGABRT, which a debugger
// stops on and which produces a core dump where the system is configured for one. abort()
// does not flush stdio, and standard output redirected to a file or a pipe is fully
// buffered, so the output streams are flushed first: the lines printed just before the
// failure are the ones that explain it.
[[noreturn]] void customAbort()
{
    logInfo("custom_abort, line : %d\n", __LINE__);
    std::fflush(nullptr);
#ifdef ORLIX_COVERAGE
    // abort() skips the exit handlers that write coverage counters; without this, the code
    // that led to a failed assertion (a death test's whole child) would count as never run.
    if (__gcov_dump != nullptr)
        __gcov_dump();
#endif
    std::abort();
}

} // namespace

void setLastError(int code)
{
    t_lastError = code;
}

int getLastError()
{
    return t_lastError;
}

void setErrMsg(int code, const char* msg)
{
    CErrorMessageManager::instance()->store(code, msg);
}

const char* getErrMsg(int code)
{
    return CErrorMessageManager::instance()->find(code);
}

void setErrorMessage(int code, const flex_string& msg)
{
    setErrMsg(code, msg.c_str());
}

flex_string getErrorMessage(int code)
{
    return flex_string(getErrMsg(code));
}

namespace Detail {

void assertionFailed(const char* expr, const char* function, const char* file, long line)
{
    std::fprintf(stderr, "***** Internal Program Error - assertion (%s) failed in %s: %s(%ld)\n",
                 expr, function, file, line);
    std::perror(expr);
    customAbort();
}

void assertionFailedMsg(const char* expr, const char* msg, const char* function, const char* file,
                        long line)
{
    std::fprintf(stderr,
                 "***** Internal Program Error - assertion (%s) failed in %s: %s(%ld): %s\n", expr,
                 function, file, line, msg);
    std::perror(expr);
    customAbort();
}

} // namespace Detail
} // namespace Infra
} // namespace Orlix
