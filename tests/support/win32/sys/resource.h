// Windows build of the tests: thread priorities there are Win32 levels, not nice values, so
// setting a nice value is refused as it is for an unprivileged POSIX process.
#ifndef ORLIX_TESTS_SUPPORT_WIN32_SYS_RESOURCE_H
#define ORLIX_TESTS_SUPPORT_WIN32_SYS_RESOURCE_H

#include <errno.h>

#define PRIO_PROCESS 0
typedef unsigned int id_t;

inline int setpriority(int, id_t, int)
{
    errno = EPERM;
    return -1;
}

inline int getpriority(int, id_t)
{
    return 0;
}

#endif
