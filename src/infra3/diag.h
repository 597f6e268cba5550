// The two diagnostic prefixes every library message starts with (internal).
//
//   ORLIX_OBJ_FMT / ORLIX_OBJ_ARGS: "[file:line] this:0x... tid:N, " for code running on an
//   object (use inside a member function: it reads `this`);
//   ORLIX_FN_FMT / ORLIX_FN_ARGS: "[file:line] tid:N, " for free and static functions.
//
// Usage: logWarn(ORLIX_OBJ_FMT "something odd: %d\n", ORLIX_OBJ_ARGS, value);
// The file is the source path relative to the project root (the build maps the prefix away).
#ifndef ORLIX_SRC_INFRA3_DIAG_H
#define ORLIX_SRC_INFRA3_DIAG_H

#include "platform/thread.h"

#define ORLIX_OBJ_FMT "[%s:%d] this:%p tid:%d, "
#define ORLIX_OBJ_ARGS                                                                             \
    __FILE__, __LINE__, static_cast<const void*>(this), ::Orlix::Platform::currentThreadId()
#define ORLIX_FN_FMT "[%s:%d] tid:%d, "
#define ORLIX_FN_ARGS __FILE__, __LINE__, ::Orlix::Platform::currentThreadId()

#endif // ORLIX_SRC_INFRA3_DIAG_H
