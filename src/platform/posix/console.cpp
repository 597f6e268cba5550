// POSIX implementation of console colour and the debugger channel.
#include "platform/console.h"

#include <syslog.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace Orlix {
namespace Platform {

namespace {

// POSIX terminals cannot report their current colour; this value stands for "the
// terminal's default", which restoring turns back into the reset sequence.
constexpr unsigned short kDefaultAttributes = 0xFFFF;

bool stdoutIsTerminal()
{
    static const bool terminal = isatty(STDOUT_FILENO) != 0;
    return terminal;
}

// ANSI foreground colour for Win32 attribute bits 1 blue, 2 green, 4 red. Attribute 0 (the
// "no level" colour, black on a Win32 console) keeps the terminal's default foreground so
// the text stays readable on dark backgrounds.
const char* ansiForeground(unsigned short attributes)
{
    static const char* const codes[8] = {
        "\033[39m", // 0: default
        "\033[34m", // 1: blue
        "\033[32m", // 2: green
        "\033[36m", // 3: green + blue = cyan
        "\033[31m", // 4: red
        "\033[35m", // 5: red + blue = magenta
        "\033[33m", // 6: red + green = yellow
        "\033[37m", // 7: red + green + blue = white
    };
    return codes[attributes & 7];
}

} // namespace

unsigned short consoleAttributes()
{
    return kDefaultAttributes;
}

void setConsoleAttributes(unsigned short attributes)
{
    if (!stdoutIsTerminal())
        return;
    std::fflush(stdout);
    std::fputs(ansiForeground(attributes), stdout);
}

void restoreConsoleAttributes(unsigned short attributes)
{
    if (!stdoutIsTerminal())
        return;
    std::fflush(stdout);
    std::fputs(attributes == kDefaultAttributes ? "\033[0m" : ansiForeground(attributes), stdout);
    std::fflush(stdout);
}

void debugOutput(const char* text)
{
    static const bool toSyslog = [] {
        const char* channel = std::getenv("ORLIX_DEBUG_CHANNEL");
        return channel != nullptr && std::strcmp(channel, "syslog") == 0;
    }();
    if (toSyslog)
        syslog(LOG_DEBUG, "%s", text);
}

} // namespace Platform
} // namespace Orlix
