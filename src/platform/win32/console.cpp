// Win32 implementation of console colour (SetConsoleTextAttribute on standard output) and the
// debugger channel (OutputDebugStringA).
#include "platform/console.h"

#include "platform/win32/win32.h"

#include <cstdio>

namespace Orlix {
namespace Platform {

namespace {

// Light grey on black, a console's usual attributes: what is reported when standard output
// is no console (redirected to a file or a pipe), where setting attributes does nothing.
constexpr unsigned short kDefaultAttributes = FOREGROUND_RED | FOREGROUND_GREEN | FOREGROUND_BLUE;

HANDLE standardOutput()
{
    return GetStdHandle(STD_OUTPUT_HANDLE);
}

} // namespace

unsigned short consoleAttributes()
{
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (!GetConsoleScreenBufferInfo(standardOutput(), &info))
        return kDefaultAttributes;
    return info.wAttributes;
}

void setConsoleAttributes(unsigned short attributes)
{
    std::fflush(stdout);
    // Fails harmlessly when standard output is not a console.
    SetConsoleTextAttribute(standardOutput(), attributes);
}

void restoreConsoleAttributes(unsigned short attributes)
{
    std::fflush(stdout);
    SetConsoleTextAttribute(standardOutput(), attributes);
}

void debugOutput(const char* text)
{
    OutputDebugStringA(text);
}

} // namespace Platform
} // namespace Orlix
