// The C runtime's bounded formatter and case-insensitive comparison on Windows. The formatter
// is the C99 one mingw-w64 provides (terminates, returns the full length), not the old
// runtime's _vsnprintf, which does neither when the text does not fit.
//
// One difference is smoothed over: Windows prints a pointer (%p) as bare hexadecimal digits,
// the POSIX C library with a "0x" prefix. The library's diagnostics show object addresses
// ("this:0x..."), and their text is the same on both systems: a plain %p is formatted as
// "%#llx" (pointers and unsigned long long have one size and one way of passing on x86-64).
#include "platform/text.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <string.h>

namespace Orlix {
namespace Platform {

namespace {

static_assert(sizeof(void*) == sizeof(unsigned long long), "pointers are 64 bits wide here");

// Makes rewritten the format with every plain "%p" made "%#llx"; false when it has none
// (the usual case), the format then being used as it is.
bool rewritePointers(const char* format, std::string& rewritten)
{
    const char* p = std::strstr(format, "%p");
    if (p == nullptr)
        return false;
    rewritten.clear();
    for (const char* c = format; *c != '\0'; ++c) {
        if (*c == '%' && c[1] == '%') {
            rewritten += "%%";
            ++c;
        } else if (*c == '%' && c[1] == 'p') {
            rewritten += "%#llx";
            ++c;
        } else {
            rewritten += *c;
        }
    }
    return true;
}

} // namespace

int boundedFormatV(char* buffer, std::size_t size, const char* format, std::va_list args)
{
    std::string rewritten;
    if (format != nullptr && rewritePointers(format, rewritten))
        format = rewritten.c_str();
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
    return std::vsnprintf(buffer, size, format, args);
#pragma GCC diagnostic pop
}

int boundedFormat(char* buffer, std::size_t size, const char* format, ...)
{
    std::va_list args;
    va_start(args, format);
    const int n = boundedFormatV(buffer, size, format, args);
    va_end(args);
    return n;
}

int compareNoCase(const char* a, const char* b)
{
    // The library never switches the C locale, so this folds ASCII letters only.
    return ::_stricmp(a, b);
}

} // namespace Platform
} // namespace Orlix
