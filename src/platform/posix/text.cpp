// The C runtime's bounded formatter and case-insensitive comparison on POSIX.
#include "platform/text.h"

#include <cstdio>
#include <strings.h>

namespace Orlix {
namespace Platform {

int boundedFormat(char* buffer, std::size_t size, const char* format, ...)
{
    std::va_list args;
    va_start(args, format);
    const int n = std::vsnprintf(buffer, size, format, args);
    va_end(args);
    return n;
}

int boundedFormatV(char* buffer, std::size_t size, const char* format, std::va_list args)
{
    return std::vsnprintf(buffer, size, format, args);
}

int compareNoCase(const char* a, const char* b)
{
    return ::strcasecmp(a, b);
}

} // namespace Platform
} // namespace Orlix
