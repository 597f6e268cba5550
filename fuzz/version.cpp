// Version records: CVersion's svn and date texts and setAppDate, against the scan patterns
// that define them, run through the C library: an svn text starting with a digit is atoi()'s
// value, otherwise "%*[$a-zA-Z:]%d" (0 when that reads nothing); a date is the position of its
// first three characters among "Jan".."Dec" (13 for none) and "%d %d" read after them into day
// and year. setAppDate changes only the year, month and day (and of them only those read).
// The name keeps its first 31 characters; print() writes the documented line. Numbers too
// large for an int are left out of the comparison (the C library's reading of them is not
// defined).
#include "fuzz_check.h"

#include "infra/print.h"
#include "infra/version.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

using Orlix::Infra::CVersion;
using Orlix::Infra::SystemTime;
using OrlixFuzz::check;

namespace {

std::string g_printed;

void capture(const char* text)
{
    g_printed += text;
}

// True when no run of digits in text is longer than nine.
bool smallNumbers(const std::string& text)
{
    size_t run = 0;
    for (const char c : text) {
        run = (c >= '0' && c <= '9') ? run + 1 : 0;
        if (run > 9)
            return false;
    }
    return true;
}

int expectedSvn(const char* text)
{
    if (text[0] >= '0' && text[0] <= '9')
        return std::atoi(text);
    int value = 0;
    if (std::sscanf(text, "%*[$a-zA-Z:]%d", &value) != 1)
        value = 0;
    return value;
}

// Month, then day and year as far as "%d %d" reads them (the others unchanged).
void expectedDate(const char* text, SystemTime& date)
{
    static const char* const kMonths[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                            "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    date.month = 13;
    for (int i = 0; i < 12; ++i) {
        if (std::strncmp(text, kMonths[i], 3) == 0) {
            date.month = i + 1;
            break;
        }
    }
    const size_t skip = std::strlen(text) < 3 ? std::strlen(text) : 3;
    std::sscanf(text + skip, "%d %d", &date.day, &date.year);
}

bool sameDate(const SystemTime& a, const SystemTime& b)
{
    return std::memcmp(&a, &b, sizeof(a)) == 0;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/)
{
    Orlix::Infra::PrintOptions options;
    options.hideTime = options.hideColor = options.hideModule = options.hideLevel = true;
    options.hideThreadId = options.hideVersion = options.hideFunction = true;
    options.hideFile = options.hideLine = true;
    Orlix::Infra::setPrintOptions(options);
    Orlix::Infra::setLogPrinter(Orlix::Infra::TFunction1<void, const char*>(&capture));
    Orlix::Infra::setPrintLogLevel(4);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    OrlixFuzz::Input in(data, size);
    const int numbers[3] = {static_cast<int>(in.u32()), static_cast<int>(in.u16()) - 1000,
                            static_cast<int>(in.byte())};
    const std::string name = in.text(48).c_str();
    const std::string svn = in.text(24).c_str();
    const std::string date = in.rest().c_str();

    CVersion v(name.c_str(), numbers[0], numbers[1], numbers[2], svn.c_str(), date.c_str());
    check(std::string(v.name) == name.substr(0, 31), "name");
    check(v.major == numbers[0] && v.minor == numbers[1] && v.revision == numbers[2], "numbers");
    if (smallNumbers(svn))
        check(v.svn == expectedSvn(svn.c_str()), "svn number");
    if (smallNumbers(date)) {
        SystemTime expect{};
        expectedDate(date.c_str(), expect);
        check(sameDate(v.date, expect), "date");

        SystemTime app = CVersion::appDate;
        app.hour = 1, app.minute = 2, app.second = 3, app.wday = 4, app.reserved = 5;
        CVersion::appDate = app;
        CVersion::setAppDate(date.c_str());
        expectedDate(date.c_str(), app);
        check(sameDate(CVersion::appDate, app), "setAppDate");
    }

    CVersion copy("x", 0, 0, 0, "", "");
    copy = v;
    check(std::memcmp(&copy, &v, sizeof(v)) == 0, "copy");
    g_printed.clear();
    v.print();
    char line[256];
    std::snprintf(line, sizeof(line), "[*] %s %d.%d.%d.%d Built in %d/%2d/%2d [*]\n", v.name,
                  v.major, v.minor, v.revision, v.svn, v.date.year, v.date.month, v.date.day);
    check(g_printed == line, "print line");
    return 0;
}
