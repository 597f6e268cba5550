// Operating-system layer: console colour and the debugger channel.
//
// Internal to the library. Colours are console text attributes in the Win32 sense
// (foreground bits 1 blue, 2 green, 4 red); on POSIX they become ANSI colour sequences on
// standard output, written only when standard output is a terminal, so redirected output
// and captured text stay free of escape sequences.
#ifndef ORLIX_PLATFORM_CONSOLE_H
#define ORLIX_PLATFORM_CONSOLE_H

namespace Orlix {
namespace Platform {

// Reads the console's current attributes (the value restoreConsoleAttributes puts back).
unsigned short consoleAttributes();

// Sets the foreground colour from attribute bits. Flushes standard output first so text
// already buffered keeps the colour it was written with.
void setConsoleAttributes(unsigned short attributes);

// Flushes standard output and puts back attributes read by consoleAttributes().
void restoreConsoleAttributes(unsigned short attributes);

// The debugger channel. POSIX has no debugger output stream; the text is dropped unless the
// environment variable ORLIX_DEBUG_CHANNEL is "syslog" at the first call, in which case each
// text goes to syslog at LOG_DEBUG.
void debugOutput(const char* text);

} // namespace Platform
} // namespace Orlix

#endif // ORLIX_PLATFORM_CONSOLE_H
