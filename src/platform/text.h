// Operating-system layer: the C runtime's bounded formatter and case-insensitive comparison.
//
// Internal to the library. Utils::snprintf and Utils::stricmp point at these two functions;
// on POSIX they are the C library's vsnprintf and strcasecmp, with C99 semantics: the
// formatter always terminates a non-empty buffer and returns the length the full text would
// have had.
#ifndef ORLIX_PLATFORM_TEXT_H
#define ORLIX_PLATFORM_TEXT_H

#include <cstdarg>
#include <cstddef>

#include "infra/defs.h"

namespace Orlix {
namespace Platform {

// Formats into buffer (at most size bytes, terminator included). Returns the length of the
// full text, or a negative number when formatting failed.
int boundedFormat(char* buffer, std::size_t size, const char* format, ...)
    ORLIX_FORMAT_CHECK(3, 4);
int boundedFormatV(char* buffer, std::size_t size, const char* format, std::va_list args)
    ORLIX_FORMAT_CHECK(3, 0);

// Compares two zero-terminated strings with ASCII letters folded to one case.
int compareNoCase(const char* a, const char* b);

} // namespace Platform
} // namespace Orlix

#endif // ORLIX_PLATFORM_TEXT_H
