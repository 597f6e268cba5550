/// @file
/// Levelled printing.
///
/// Every diagnostic of the library, and of programs that use it, goes through six level
/// functions: logFatal (1), logError (2), logWarn (3), logInfo (4), logTrace (5) and
/// logDebug (6). A process-wide print level (initially 3) decides which calls print: a call of
/// level L prints only when L is not above the level, so info, trace and debug stay silent
/// until the level is raised. Each call formats its text like printf and, when it starts a new
/// line, puts a prefix in front of it:
///
///     09:05:07|[] [ver:] info   tid:1234 ready
///     ^time     ^module ^version ^level ^thread
///
/// The elements can be hidden one by one with setPrintOptions(). A text that does not end in
/// a line feed leaves the line open: the next call, from any thread, continues it without a
/// prefix. On a terminal each line is coloured by its level.
///
/// Outputs: the console (standard output; the debugger channel too, which on POSIX is off
/// unless ORLIX_DEBUG_CHANNEL=syslog) or, instead of both, a printer installed with
/// setLogPrinter(); then every sink attached with attachPrint(), in attach order; then the log
/// file, once a log path is set (logfilter.h).
///
/// Cost: the level test comes first, so a suppressed call costs one comparison. A printed line
/// is built in a fixed 8192-character buffer on the calling thread's stack; nothing is
/// allocated on the heap. Longer texts are cut at 8191 characters.
///
/// Thread-safety: the level functions may be called from any thread at once; their lines may
/// interleave. The configuration calls (level, options, printer, sinks) take no lock: make them
/// during start-up, not while other threads print.
///
/// Failure: none. A suppressed call returns 0; a failing sink or log file does not change what
/// the call returns.
#ifndef ORLIX_INFRA_PRINT_H
#define ORLIX_INFRA_PRINT_H

#include "infra/defs.h"
#include "infra/function.h"

/// @def ORLIX_PRINTF_FORMAT
/// Declares the function's parameter fmtIndex (1-based) a printf format whose arguments start
/// at firstArg, so that GCC and Clang check every call; empty on other compilers.
#define ORLIX_PRINTF_FORMAT(fmtIndex, firstArg) ORLIX_FORMAT_CHECK(fmtIndex, firstArg)

namespace Orlix {
namespace Infra {

/// Print options. Every flag, when true, hides one element of the line prefix. All flags are
/// false initially.
struct PrintOptions
{
    bool hideTime = false;     ///< the time of day "hh:mm:ss|"
    bool hideColor = false;    ///< console colouring
    bool hideModule = false;   ///< the module name "[name] "
    bool hideLevel = false;    ///< the level word
    bool hideThreadId = false; ///< "tid:N "
    bool hideVersion = false;  ///< "[ver:x] "
    bool hideFunction = false; ///< the function name (logFilter only prints one)
    bool hideFile = false;     ///< the source file name (logFilter only)
    bool hideLine = false;     ///< the source line number (logFilter only)
    char reserved[23] = {};    ///< copied, never read
};

/// Level 1: prints fmt at fatal level. Returns the characters printed, prefix included, or 0.
/// A null fmt prints nothing and returns 0 with EINVAL in the last error (infra/error.h); the
/// same holds for every level function and logLibName.
ORLIX_API int logFatal(const char* fmt, ...) ORLIX_PRINTF_FORMAT(1, 2);
/// Level 2: error.
ORLIX_API int logError(const char* fmt, ...) ORLIX_PRINTF_FORMAT(1, 2);
/// Level 3: warning.
ORLIX_API int logWarn(const char* fmt, ...) ORLIX_PRINTF_FORMAT(1, 2);
/// Level 4: information.
ORLIX_API int logInfo(const char* fmt, ...) ORLIX_PRINTF_FORMAT(1, 2);
/// Level 5: trace.
ORLIX_API int logTrace(const char* fmt, ...) ORLIX_PRINTF_FORMAT(1, 2);
/// Level 6: debug.
ORLIX_API int logDebug(const char* fmt, ...) ORLIX_PRINTF_FORMAT(1, 2);

/// Prints at level (1..6) with libName shown as the module ("[libName] "; a null libName shows
/// as "[] "); returns 0 without printing for a level outside 1..6.
ORLIX_API int logLibName(int level, const char* libName, const char* fmt, ...)
    ORLIX_PRINTF_FORMAT(3, 4);

/// Sets the process-wide print level. Any value is accepted: 0 or below silences all six
/// level functions, 6 or above lets all through.
ORLIX_API void setPrintLogLevel(int level);

/// Replaces the whole options record.
ORLIX_API void setPrintOptions(PrintOptions options);

/// Installs printer in place of the console and debugger outputs; an empty delegate restores
/// them. Returns 0.
ORLIX_API int setLogPrinter(TFunction1<void, const char*> printer);

/// Appends proc to the sink list and returns true; returns false and changes nothing when an
/// equal delegate is already attached. Sinks' results are ignored.
ORLIX_API bool attachPrint(TFunction1<bool, const char*> proc);

/// Removes the attached delegate equal to proc and returns true; false when none is equal.
ORLIX_API bool detachPrint(TFunction1<bool, const char*> proc);

/// Prints len bytes at data as a hexadecimal dump at trace level, 16 bytes a line:
///
///     <address>: 41 42 ...  AB...
///
/// Bytes 32..122 show as themselves in the text column, others as '.'. A blank line follows
/// the lines at offsets 0, 512, 1024, ... No byte beyond len is read.
ORLIX_API void dumpHex(unsigned char* data, unsigned int len);

/// The calling thread's function-reuse value: the reuse tag of the last reuse-tagged delegate
/// invoked on this thread (function.h), 0 until one was.
ORLIX_API unsigned int getCurrentFunctionReuse();

} // namespace Infra
} // namespace Orlix

/// The six level functions are also reachable from the global namespace.
using Orlix::Infra::logDebug;
using Orlix::Infra::logError;
using Orlix::Infra::logFatal;
using Orlix::Infra::logInfo;
using Orlix::Infra::logTrace;
using Orlix::Infra::logWarn;

#endif // ORLIX_INFRA_PRINT_H
