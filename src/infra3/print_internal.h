// The print core's internal interface, shared with the log filter (internal).
#ifndef ORLIX_SRC_INFRA3_PRINT_INTERNAL_H
#define ORLIX_SRC_INFRA3_PRINT_INTERNAL_H

#include "infra/print.h"

#include <cstdarg>

namespace Orlix {
namespace Infra {
namespace Detail {

// Texts that the calling variant contributes to the line prefix.
struct PrintPrefix
{
    const char* module;    // shown as "[module] "
    const char* version;   // shown as "[ver:version] "
    const char* levelWord; // the level word, printed as is
    const char* function;  // shown as "function " (logFilter only; "" otherwise)
    const char* file;      // shown as "file " when line > 0
    int line;              // shown as "line " when above 0
};

// Composes one call into the fixed line buffer and emits it to the console or printer, the
// sinks and the log file: steps 2 to 9 of every level function. The caller has already
// checked the level against the print level. attribute is the console colour attribute.
// Returns the number of characters emitted.
int composeAndEmit(unsigned short attribute, const PrintPrefix& prefix, const char* fmt,
                   va_list args);

// The current print level.
int printLogLevel();

// A copy of the current print options. Reads the reserved bytes too, so it belongs to the
// configuring thread (the log filter command), not to printing threads.
PrintOptions printOptions();

// The hideVersion flag alone: a single word that printing threads may read while the
// options are being changed.
bool versionHidden();

// The level word of the shared table ("fatal ", "error ", "warn ", ...; "" for level 0 and
// for levels outside 0..6) and the level's console attribute (0 outside 0..6).
const char* tableLevelWord(int level);
unsigned short levelAttribute(int level);

// The log file writer, called with every emitted text after the console and the sinks.
// Writes nothing while no log path is set. Defined with the log filter.
void writeLogFile(const char* text, int length);

} // namespace Detail
} // namespace Infra
} // namespace Orlix

#endif // ORLIX_SRC_INFRA3_PRINT_INTERNAL_H
