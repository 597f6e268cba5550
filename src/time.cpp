// Legacy ::CTime: conversions through the C library's local-time functions, and the legacy
// text settings.
#include "infra/legacy_time.h"

#include "infra/error.h"
#include "infra/print.h"
#include "infra/thread.h"
#include "infra/time.h"
#include "infra3/diag.h"
#include "infra3/timetext.h"
#include "platform/calendar.h"

#include <climits>
#include <cstdint>
#include <cstring>

// The legacy picture checks use the standard assertion. They stay active in every build type,
// like the library's own assertions, so a bad picture never passes silently in a release
// build. (<cassert> re-reads NDEBUG on every inclusion, hence last.)
#undef NDEBUG
#include <cassert>

const CTime CTime::minTime(CTime::RawFields(), 2000, 1, 1, 6, 0, 0, 0);
const CTime CTime::maxTime(CTime::RawFields(), 2038, 1, 1, 5, 0, 0, 0);

std::string CTime::m_format = "yyyy-MM-dd HH:mm:ss";
int CTime::m_dateFormat = 0;
char CTime::m_dateSeparator = '-';
bool CTime::m_12hour = false;

namespace {

// value - offset as an int, or false when that does not fit.
bool shifted(int value, int offset, int& out)
{
    const long long wide = static_cast<long long>(value) - offset;
    if (wide < INT_MIN || wide > INT_MAX)
        return false;
    out = static_cast<int>(wide);
    return true;
}

} // namespace

CTime::CTime(int year_, int month_, int day_, int hour_, int minute_, int second_)
    : SystemTime{year_, month_, day_, 0, hour_, minute_, second_, 0}
{
    breakTime(makeTime());
}

CTime::CTime(uint64 seconds) : SystemTime{}
{
    breakTime(seconds);
}

CTime::uint64 CTime::makeTime() const
{
    std::tm fields{};
    if (!shifted(year, 1900, fields.tm_year) || !shifted(month, 1, fields.tm_mon))
        return 0;
    fields.tm_mday = day;
    fields.tm_hour = hour;
    fields.tm_min = minute;
    fields.tm_sec = second;
    fields.tm_isdst = 0;
    const long long seconds = Orlix::Platform::makeLocalTime(fields);
    return seconds < 0 ? 0 : static_cast<uint64>(seconds);
}

void CTime::breakTime(uint64 seconds)
{
    std::tm fields;
    if (seconds > static_cast<uint64>(LLONG_MAX) ||
        !Orlix::Platform::breakLocalTime(static_cast<long long>(seconds), fields)) {
        logError(ORLIX_OBJ_FMT "CTime::breakTime overflowed!\n", ORLIX_OBJ_ARGS);
        return;
    }
    year = static_cast<int>(fields.tm_year + 1900LL);
    month = fields.tm_mon + 1;
    day = fields.tm_mday;
    wday = fields.tm_wday;
    hour = fields.tm_hour;
    minute = fields.tm_min;
    second = fields.tm_sec;
}

CTime CTime::operator+(int64 seconds) const
{
    CTime result(*this);
    result += seconds;
    return result;
}

CTime CTime::operator-(int64 seconds) const
{
    CTime result(*this);
    result -= seconds;
    return result;
}

CTime& CTime::operator+=(int64 seconds)
{
    breakTime(makeTime() + static_cast<uint64>(seconds));
    return *this;
}

CTime& CTime::operator-=(int64 seconds)
{
    breakTime(makeTime() - static_cast<uint64>(seconds));
    return *this;
}

CTime::int64 CTime::operator-(const CTime& other) const
{
    return static_cast<int64>(makeTime() - other.makeTime());
}

bool CTime::operator==(const CTime& other) const
{
    return makeTime() == other.makeTime();
}
bool CTime::operator!=(const CTime& other) const
{
    return makeTime() != other.makeTime();
}
bool CTime::operator<(const CTime& other) const
{
    return makeTime() < other.makeTime();
}
bool CTime::operator>(const CTime& other) const
{
    return makeTime() > other.makeTime();
}
bool CTime::operator<=(const CTime& other) const
{
    return makeTime() <= other.makeTime();
}
bool CTime::operator>=(const CTime& other) const
{
    return makeTime() >= other.makeTime();
}

CTime CTime::getCurrentTime()
{
    const Orlix::Infra::CTime now = Orlix::Infra::CTime::getCurrentTime();
    return CTime(now.year, now.month, now.day, now.hour, now.minute, now.second);
}

void CTime::setCurrentTime(const CTime& time, int tolerance)
{
    Orlix::Infra::CTime::setCurrentTime(
        Orlix::Infra::CTime(time.year, time.month, time.day, time.hour, time.minute, time.second),
        tolerance);
}

CTime::uint64 CTime::getCurrentMilliSecond()
{
    return Orlix::Infra::CTime::getCurrentMilliSecond();
}

CTime::uint64 CTime::getCurrentMicroSecond()
{
    return Orlix::Infra::CTime::getCurrentMicroSecond();
}

void CTime::sleep(int milliseconds)
{
    Orlix::Infra::CThread::sleep(milliseconds);
}

// ---- Text ----

void CTime::setFormat(std::string format)
{
    m_format = format;
    const char separator = Orlix::Infra::Detail::pictureSeparator(m_format.c_str());
    if (separator == '\0')
        assert(0);
    else
        m_dateSeparator = separator;
    m_12hour = std::strchr(m_format.c_str(), 'h') != nullptr;
    int order = 0;
    if (!Orlix::Infra::Detail::pictureDateOrder(m_format.c_str(), order))
        assert(0);
    else
        m_dateFormat = order;
}

std::string CTime::getFormat()
{
    return m_format;
}

int CTime::getDateFormat()
{
    return m_dateFormat;
}

bool CTime::get12Hour()
{
    return m_12hour;
}

char CTime::getSpliter()
{
    return m_dateSeparator;
}

void CTime::setFormat(int dateFormat, int dateSeparator, int timeFormat)
{
    m_dateFormat = dateFormat;
    static const char separators[3] = {'.', '-', '/'};
    if (dateSeparator >= 0 && dateSeparator <= 2)
        m_dateSeparator = separators[dateSeparator];
    if (timeFormat == 0 || timeFormat == 1)
        m_12hour = timeFormat == 1;
}

int CTime::getDateSeparator()
{
    switch (m_dateSeparator) {
    case '-':
        return 1;
    case '/':
        return 2;
    default:
        return 0;
    }
}

int CTime::getTimeFormat()
{
    return m_12hour ? 1 : 0;
}

void CTime::format(char* buf, const char* format) const
{
    ORLIX_ASSERT(buf);
    const char* picture = format != nullptr ? format : m_format.c_str();
    Orlix::Infra::Detail::TextStyle style{m_dateFormat == 0 || m_dateFormat == 1 ? m_dateFormat : 2,
                                          m_dateSeparator, m_12hour};
    const Orlix::Infra::SystemTime fields{year, month, day, wday, hour, minute, second, reserved};
    Orlix::Infra::Detail::formatFields(fields, buf, SIZE_MAX, picture, style);
}
