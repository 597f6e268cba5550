// The few POSIX calls the test suites use, for the Windows build (mingw-w64), where the C
// runtime names them differently or lacks them. Included ahead of every test source of that
// build (tests/CMakeLists.txt), so that the suites' sources stay the same on both systems.
#ifndef ORLIX_TESTS_SUPPORT_WIN32_COMPAT_H
#define ORLIX_TESTS_SUPPORT_WIN32_COMPAT_H

#include <pthread.h> // winpthreads: declares the thread-safe time functions below

#include <direct.h>
#include <io.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

inline int setenv(const char* name, const char* value, int overwrite)
{
    if (overwrite == 0 && getenv(name) != nullptr)
        return 0;
    return _putenv_s(name, value) == 0 ? 0 : -1;
}

inline int unsetenv(const char* name)
{
    return _putenv_s(name, "") == 0 ? 0 : -1;
}

inline struct tm* gmtime_r(const time_t* seconds, struct tm* fields)
{
    return gmtime_s(fields, seconds) == 0 ? fields : nullptr;
}

inline struct tm* localtime_r(const time_t* seconds, struct tm* fields)
{
    return localtime_s(fields, seconds) == 0 ? fields : nullptr;
}

inline time_t timegm(struct tm* fields)
{
    return _mkgmtime(fields);
}

inline char* mkdtemp(char* pattern)
{
    if (_mktemp_s(pattern, strlen(pattern) + 1) != 0 || _mkdir(pattern) != 0)
        return nullptr;
    return pattern;
}

#endif // ORLIX_TESTS_SUPPORT_WIN32_COMPAT_H
