// Fuzzes CTime::parse. Input: the text, optionally followed by a NUL byte and the picture
// (no NUL: the stored format). Checks what every outcome promises: success leaves a clamped
// time that formats and parses back to itself; failure zeroes the six fields and leaves the
// weekday and the reserved field alone.
#include "infra/print.h"
#include "infra/time.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

using Orlix::Infra::CTime;

namespace {

void check(bool condition)
{
    if (!condition)
        std::abort();
}

bool inRange(const CTime& t)
{
    return t.year >= 1970 && t.year <= 2038 && t.month >= 1 && t.month <= 12 && t.day >= 1 &&
           t.day <= 31 && t.hour >= 0 && t.hour <= 23 && t.minute >= 0 && t.minute <= 59 &&
           t.second >= 0 && t.second <= 59;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool quiet = [] {
        Orlix::Infra::setPrintLogLevel(0); // the failure messages are expected by the thousand
        return true;
    }();
    (void)quiet;

    const std::string input(reinterpret_cast<const char*>(data), size);
    const size_t split = input.find('\0');
    const std::string text = input.substr(0, split);
    std::string picture;
    if (split != std::string::npos)
        picture = input.substr(split + 1).c_str(); // up to a further NUL

    CTime t(2016, 3, 7, 9, 5, 2);
    t.reserved = 4242;
    const bool ok = t.parse(text.c_str(), split != std::string::npos ? picture.c_str() : nullptr);
    check(t.reserved == 4242);
    if (!ok) {
        check(t.year == 0 && t.month == 0 && t.day == 0 && t.hour == 0 && t.minute == 0 &&
              t.second == 0 && t.wday == 1);
        return 0;
    }
    check(inRange(t));
    check(t.wday == CTime(t.year, t.month, t.day, 0, 0, 0).wday);

    char buf[64];
    t.format(buf, "yyyy-MM-dd HH:mm:ss", CTime::keepSeparator);
    CTime back;
    check(back.parse(buf, "yyyy-MM-dd HH:mm:ss"));
    check(back == t);
    return 0;
}
