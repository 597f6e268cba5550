// Calendar arithmetic on broken-down fields.
#include "infra3/timecalc.h"

namespace Orlix {
namespace Infra {
namespace Detail {

namespace {

const int kDaysInMonth[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
// Days before the first of each month in a common year.
const int kDaysBefore[12] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};

int clampInt(int value, int low, int high)
{
    return value < low ? low : (value > high ? high : value);
}

// January and February of a leap year: the day count from (year - 1968) / 4 already includes
// this year's 29 February, which these months precede.
bool beforeLeapDay(int64 year, int month)
{
    return month <= 2 && isLeapYear(year);
}

// 365 = 1 (mod 7): a year moves the weekday by one, a leap day by one more. 1970-01-01 was a
// Thursday (4). Works on 64 bits so that unclamped results of fieldsFromSeconds() get a
// weekday too.
int weekdayOf(int64 year, int month, int64 day)
{
    const int64 n = year - 1970 + (year - 1968) / 4 + kDaysBefore[month - 1] + day + 3 -
                    (beforeLeapDay(year, month) ? 1 : 0);
    const int64 w = n % 7;
    return static_cast<int>(w < 0 ? w + 7 : w);
}

} // namespace

void normaliseFields(SystemTime& f)
{
    f.year = clampInt(f.year, 1970, 2038);
    f.month = clampInt(f.month, 1, 12);
    // Only an exact 29 February survives in a leap year; a larger February day becomes the
    // 28th like in any year.
    const bool leapDay = f.month == 2 && f.day == 29 && isLeapYear(f.year);
    if (!leapDay)
        f.day = clampInt(f.day, 1, kDaysInMonth[f.month - 1]);
    if (f.hour < 0) {
        f.hour = 0;
    } else if (f.hour > 23) {
        f.hour = 23;
        f.minute = 59;
        f.second = 59;
    }
    f.minute = clampInt(f.minute, 0, 59);
    f.second = clampInt(f.second, 0, 59);
    f.wday = weekday(f.year, f.month, f.day);
}

int64 dayNumber(int year, int month, int day)
{
    const int64 y = year;
    return (y - 1970) * 365 + (y - 1968) / 4 + kDaysBefore[month - 1] + day - 1 -
           (beforeLeapDay(y, month) ? 1 : 0);
}

int weekday(int year, int month, int day)
{
    return weekdayOf(year, month, day);
}

int64 zoneFreeSeconds(const SystemTime& f)
{
    return dayNumber(f.year, f.month, f.day) * 86400 + int64{f.hour} * 3600 + int64{f.minute} * 60 +
           f.second;
}

void fieldsFromSeconds(int64 seconds, SystemTime& f)
{
    const int64 days = seconds / 86400;
    const int64 s = seconds % 86400;
    f.hour = static_cast<int>(s / 3600);
    f.minute = static_cast<int>((s % 3600) / 60);
    f.second = static_cast<int>(s % 60);

    // Estimate the year as if all years had 365 days, then take away the leap days before
    // it; when that reaches into the previous year, step back one year.
    int64 year = days / 365 + 1970;
    int64 r = days % 365;
    const int64 leaps = (year - 1969) / 4;
    if (r < leaps) {
        --year;
        r += isLeapYear(year) ? 366 : 365;
    }
    int64 d = r - leaps; // 0-based day of the year
    const bool leap = isLeapYear(year);
    int month = 1;
    while (month <= 11) {
        if (month == 3 && leap) {
            if (d == 59) { // 29 February
                month = 2;
                break;
            }
            --d; // from here on, count as in a common year
        }
        if (d < kDaysBefore[month])
            break;
        ++month;
    }
    f.year = static_cast<int>(year);
    f.month = month;
    const int64 day = d - kDaysBefore[month - 1] + 1;
    f.day = static_cast<int>(day);
    f.wday = weekdayOf(year, month, day);
}

} // namespace Detail
} // namespace Infra
} // namespace Orlix
