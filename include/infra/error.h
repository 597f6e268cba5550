/// @file
/// Errors and assertions.
///
/// Three small services used by the whole library:
///  - a per-thread last-error code: an operation that fails sets it with setLastError(), the
///    caller reads it afterwards with getLastError(). Each thread has its own code (0 until
///    the thread sets one); reading does not clear it.
///  - a process-wide table that maps an error code to a message text. Modules that define
///    codes store their texts with setErrMsg(); anyone may read them. The table is guarded by
///    its own mutex and may be used from any thread.
///  - the assertion back end. ORLIX_ASSERT(cond) checks a precondition; when it is false the
///    handler writes the line
///    `***** Internal Program Error - assertion (<cond>) failed in <function>: <file>(<line>)`
///    to standard error, then the perror() line for the condition text, flushes the output
///    streams (so that lines printed just before the failure are not lost) and ends the
///    process with abort().
///    Assertions are always compiled in: they guard against corrupting state, not debug aids.
///
/// Nothing here throws. The library's own codes are 0x1000000E and 0x1000000F (setting the
/// system time) and 0x10030000..0x10030010, 0x10030015 (components).
#ifndef ORLIX_INFRA_ERROR_H
#define ORLIX_INFRA_ERROR_H

#include "infra/defs.h"
#include "infra/infra3/flex_string.h"

namespace Orlix {
namespace Infra {

/// Stores code as the calling thread's last error. Other threads are not affected.
ORLIX_API void setLastError(int code);

/// The calling thread's last error; 0 on a thread that never set one.
ORLIX_API int getLastError();

/// Stores a copy of msg as the message of code, replacing an earlier one. A null msg stores
/// the empty text.
ORLIX_API void setErrMsg(int code, const char* msg);

/// The message stored for code, or "" when there is none; never null. The text belongs to the
/// table and stays valid until a message for the same code is stored again or the process
/// exits.
ORLIX_API const char* getErrMsg(int code);

/// Same as setErrMsg(code, msg.c_str()).
ORLIX_API void setErrorMessage(int code, const flex_string& msg);

/// A copy of getErrMsg(code).
ORLIX_API flex_string getErrorMessage(int code);

namespace Detail {

/// Assertion failure handler: writes the failure line and the perror() line for expr to
/// standard error, flushes every output stream, then ends the process abnormally with abort().
/// Never returns.
[[noreturn]] ORLIX_API void assertionFailed(const char* expr, const char* function,
                                            const char* file, long line);

/// Same as assertionFailed, with ": <msg>" appended to the failure line. Never returns.
[[noreturn]] ORLIX_API void assertionFailedMsg(const char* expr, const char* msg,
                                               const char* function, const char* file, long line);

} // namespace Detail
} // namespace Infra
} // namespace Orlix

/// Checks a precondition; on failure reports the condition's source text and ends the process.
#define ORLIX_ASSERT(cond)                                                                         \
    ((cond) ? static_cast<void>(0)                                                                 \
            : ::Orlix::Infra::Detail::assertionFailed(#cond, ORLIX_FUNCTION, __FILE__, __LINE__))

/// Same as ORLIX_ASSERT with an explanatory message appended to the failure line.
#define ORLIX_ASSERT_MSG(cond, msg)                                                                \
    ((cond) ? static_cast<void>(0)                                                                 \
            : ::Orlix::Infra::Detail::assertionFailedMsg(#cond, (msg), ORLIX_FUNCTION, __FILE__,   \
                                                         __LINE__))

/// Checks cond but reports the given text as the condition, for checks whose reported text
/// must stay fixed while the code that tests it differs.
#define ORLIX_ASSERT_TEXT(cond, text)                                                              \
    ((cond) ? static_cast<void>(0)                                                                 \
            : ::Orlix::Infra::Detail::assertionFailed((text), ORLIX_FUNCTION, __FILE__, __LINE__))

#endif // ORLIX_INFRA_ERROR_H
