/// @file
/// The log filter: an operator command, per-module printing and the log file.
///
/// Three additions to the levelled printing of print.h:
///
///  * setLogFilter() runs one "logfilter" command given as words, the way an operator types it
///    into a program's console: change the print level, switch modules on and off, show or hide
///    parts of the line prefix, and choose the log file and its size limit.
///  * logFilter() prints like the level functions, but names a module, a source location and a
///    version, and is subject to the module switches.
///  * The log file: once a log path is set, every printed text (from any print function) is
///    also appended to that file. When the file has reached its size limit, it is started
///    afresh before the next text is written.
///
/// For example:
///
///     char* words[] = {(char*)"-logpath", (char*)"/var/log/app.log"};
///     setLogFilter(2, words);                      // log to a file from now on
///     char* limit[] = {(char*)"-logsize", (char*)"512"};
///     setLogFilter(2, limit);                      // at most 512 KiB, then start afresh
///     char* net[] = {(char*)"-logmodule", (char*)"net", (char*)"off"};
///     setLogFilter(3, net);                        // silence logFilter(..., "net", ...)
///     logFilter(2, "disk", __FILE__, __func__, __LINE__, "1.2", "write failed: %d\n", err);
///
/// Choices this library made where the command leaves room:
///  * A size limit of 0 means no limit. It is the default, and what "-logsize" gives when its
///    byte count (the value times 1024, computed as a signed 32-bit number) is not above 0.
///  * An option word that needs a value but is given alone is ignored.
///  * A null module or function shows as an empty text.
///  * logFilter() accepts any level; one outside 0..6 has no level word and no colour, and it
///    passes the print-level test like any other number (so a negative level, like level 0,
///    prints whenever the print level is not below it).
///
/// Thread-safety: printing may go on in any number of threads while one thread at a time runs
/// setLogFilter(). The log file is written under a lock of its own, so the texts of concurrent
/// prints reach the file whole, one after the other, and a size roll-over never splits one.
/// The module table has a lock of its own as well; the module switches, level and options are
/// single words read without a lock.
///
/// Failure: none is returned. A log file that cannot be opened is reported on standard error
/// with perror("fopen:") each time a text is to be written; the console and sinks are not
/// affected. Unknown option words are ignored silently.
#ifndef ORLIX_INFRA_LOGFILTER_H
#define ORLIX_INFRA_LOGFILTER_H

#include "infra/defs.h"
#include "infra/print.h"

namespace Orlix {
namespace Infra {

/// Runs one log filter command. argv[0] is the option word (compared exactly), the following
/// words are its values:
///
///     -loglevel N              print level := N (read like atoi)
///     -logmodule NAME on|off   switch one module (names compare case-sensitively; any value
///                              but "on", in any case, means off) and let the table decide
///     -logmodule on|off        "off" silences every logFilter() call; anything else lets every
///                              module print; the table is kept for a later per-module command
///     -logtime on|off          show the time of day (any value but "on" hides it)
///     -logthread on|off        show the thread id
///     -logversion on|off       show the version
///     -logfunction on|off      show the function name
///     -logpath PATH            the log file; an empty PATH stops writing to a file. A new path
///                              takes effect when the file is next opened (after logCleanup()
///                              or at the next roll-over)
///     -logsize N               size limit N KiB; N x 1024 is computed as a signed 32-bit
///                              number, and when that is not above 0 there is no limit
///
/// With argc 0, or the single word "-h", prints the usage text to standard output. Words that
/// match no option, and options missing their value, are ignored.
ORLIX_API void setLogFilter(int argc, char** argv);

/// Prints fmt at level for module, like the level functions of print.h, and returns the
/// characters printed (prefix included), or 0 when the call was filtered out: level above the
/// print level, all modules off, or module switched off in the table. The prefix reads
///
///     hh:mm:ss|[module] [ver:version] level file function line tid:N
///
/// where file is the part of the path after its last backslash and file and line are shown
/// only when line is above 0. version shows as "" when null or when versions are hidden.
ORLIX_API int logFilter(int level, const char* module, const char* file, const char* function,
                        int line, const char* version, const char* fmt, ...)
    ORLIX_PRINTF_FORMAT(7, 8);

/// Closes the log file if one is open. The next printed text reopens the current log path for
/// appending and counts its size on from where it was.
ORLIX_API void logCleanup();

} // namespace Infra
} // namespace Orlix

#endif // ORLIX_INFRA_LOGFILTER_H
