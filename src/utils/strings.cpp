// Bounded string helpers, the exported platform string routines and IPv4 address text.
#include "infra/strutil.h"

#include "infra/error.h"
#include "platform/text.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace Orlix {
namespace Utils {

// Constant-initialised: both point at their routines before any code of the process runs.
int (*snprintf)(char* buffer, std::size_t size, const char* format, ...) = &Platform::boundedFormat;
int (*stricmp)(const char* a, const char* b) = &Platform::compareNoCase;

namespace {

// A null source or format is the caller's mistake: reported as EINVAL in the last error, and
// the helper then works as if it were given the empty string.
const char* textOrRefusal(const char* text)
{
    if (text != nullptr)
        return text;
    Infra::setLastError(EINVAL);
    return "";
}

} // namespace

unsigned int strncpy(char* dst, unsigned int dstSize, const char* src, unsigned int n)
{
    if (dstSize == 0)
        return 0;
    src = textOrRefusal(src);
    const unsigned int limit = n < dstSize - 1 ? n : dstSize - 1;
    unsigned int i = 0;
    for (; i < limit && src[i] != '\0'; ++i)
        dst[i] = src[i];
    dst[i] = '\0';
    return i;
}

unsigned int strncat(char* dst, unsigned int dstSize, const char* src, unsigned int n)
{
    if (dstSize == 0)
        return 0;
    src = textOrRefusal(src);
    const char* end = static_cast<const char*>(std::memchr(dst, '\0', dstSize));
    const unsigned int length = end != nullptr ? static_cast<unsigned int>(end - dst) : dstSize;
    const unsigned int room = length < dstSize - 1 ? dstSize - 1 - length : 0;
    const unsigned int bound = n < room ? n : room;
    unsigned int i = 0;
    if (length < dstSize) {
        for (; i < bound && src[i] != '\0'; ++i)
            dst[length + i] = src[i];
        dst[length + i] = '\0';
    }
    dst[dstSize - 1] = '\0';
    return bound;
}

int snprintf_x(char* str, int size, const char* format, ...)
{
    if (size <= 0)
        return 0;
    if (format == nullptr) {
        textOrRefusal(format);
        str[0] = '\0';
        return 0;
    }
    std::va_list args;
    va_start(args, format);
    const int n = Platform::boundedFormatV(str, static_cast<std::size_t>(size), format, args);
    va_end(args);
    if (n < 0 || n >= size) {
        // Cut (or failed): the formatter may have stopped anywhere; make sure the text ends
        // inside the buffer.
        str[size - 1] = '\0';
        return static_cast<int>(std::strlen(str));
    }
    return n;
}

char* ipToString(IpAddress ip, char* buf, unsigned int size)
{
    const unsigned int v = ip.value;
    const int bounded = size > 0x7FFFFFFFu ? 0x7FFFFFFF : static_cast<int>(size);
    snprintf_x(buf, bounded, "%d.%d.%d.%d", int(v >> 24), int((v >> 16) & 0xFF),
               int((v >> 8) & 0xFF), int(v & 0xFF));
    return buf;
}

IpAddress stringToIp(const char* str)
{
    IpAddress ip;
    ip.value = 0;
    if (str == nullptr)
        return ip;
    int octets[4] = {0, 0, 0, 0};
    // Fields the text does not supply keep their 0.
    std::sscanf(str, "%d.%d.%d.%d", &octets[0], &octets[1], &octets[2], &octets[3]);
    ip.value = (unsigned(octets[0]) & 0xFF) << 24 | (unsigned(octets[1]) & 0xFF) << 16 |
               (unsigned(octets[2]) & 0xFF) << 8 | (unsigned(octets[3]) & 0xFF);
    return ip;
}

} // namespace Utils
} // namespace Orlix
