/// @file
/// Legacy calendar time in the global namespace: SystemTime and CTime.
///
/// Kept for older callers; new code uses Orlix::Infra::CTime (infra/time.h). The legacy class
/// has the same eight fields and the same interface for the most part, but converts through the
/// C library's local-time functions instead of the library's own arithmetic:
///
///     CTime t(2016, 3, 7, 9, 5, 2);       // mktime, then localtime_r
///     Orlix::uint64 s = t.makeTime();     // mktime of the fields
///     char text[32];
///     t.format(text, "dd.MM.yyyy");       // legacy settings: "2016-03-07"
///
/// Differences from Orlix::Infra::CTime:
///  - Out-of-range fields roll over as mktime normalises them (31 April is 1 May) instead of
///    being clamped; a time before 1970 becomes 1970-01-01 00:00:00 UTC.
///  - The fields are read as local standard time: makeTime() passes "no daylight saving" to
///    mktime, so in a zone's summer the constructor and getCurrentTime() give the wall-clock
///    time one hour later than the fields passed. The conversions always use the process's
///    time zone (disableTimezone() of the main class does not apply).
///  - Comparisons and arithmetic go through makeTime(), so they depend on the zone too.
///  - The text settings are the legacy class's own (setFormat() here does not change the main
///    class's format and vice versa), and format() has no mask.
///
/// Thread-safety: a CTime is a value. The text settings are process-wide and unguarded: set
/// them during start-up.
///
/// Failure: setFormat(std::string) ends the process through the standard assert (expression
/// "0") for a picture without a date separator or without a usable date order; this check is
/// active in every build type. breakTime() of seconds the C library cannot break down prints
/// "CTime::breakTime overflowed!" at error level and leaves the fields unchanged.
#ifndef ORLIX_INFRA_LEGACY_TIME_H
#define ORLIX_INFRA_LEGACY_TIME_H

#include "infra/defs.h"

#include <string>

/// A broken-down time; the same layout as Orlix::Infra::SystemTime.
struct SystemTime
{
    int year;     ///< full year
    int month;    ///< 1..12
    int day;      ///< 1..31
    int wday;     ///< 0 = Sunday .. 6 = Saturday
    int hour;     ///< 0..23
    int minute;   ///< 0..59
    int second;   ///< 0..59
    int reserved; ///< copied, never set or read by the library
};

/// The legacy calendar time, converted through the C library (see legacy_time.h).
class ORLIX_API CTime : public SystemTime
{
public:
    using uint64 = Orlix::uint64; ///< seconds since 1970 and clock readings
    using int64 = Orlix::int64;   ///< differences in seconds

    /// 2000-01-01 00:00:00 as the fields (no zone involved).
    static const CTime minTime;
    /// 2038-01-01 00:00:00 as the fields (no zone involved).
    static const CTime maxTime;

    /// A time to be assigned later; the fields are zero.
    CTime() : SystemTime{} {}

    /// Stores the values, then breakTime(makeTime()): out-of-range values roll over.
    CTime(int year, int month, int day, int hour, int minute, int second);

    /// breakTime(seconds).
    explicit CTime(uint64 seconds);

    /// Copies the eight fields of time.
    CTime(const SystemTime& time) : SystemTime(time) {} // NOLINT(google-explicit-constructor)

    /// Copies the eight fields of other.
    CTime& operator=(const CTime& other) = default;
    /// Copies the eight fields of other.
    CTime(const CTime& other) = default;

    /// mktime of the fields (year - 1900, month - 1, no daylight saving) in the process's zone;
    /// a negative result, or fields mktime cannot represent, give 0.
    uint64 makeTime() const;

    /// Sets every field from localtime_r(seconds). Seconds beyond the C library's range print
    /// "CTime::breakTime overflowed!" at error level and leave the fields unchanged.
    void breakTime(uint64 seconds);

    /// @name Arithmetic
    /// @{

    /// The time breakTime(makeTime() +/- seconds) gives: + and - return it, += and -= store it
    /// in this time and return it.
    CTime operator+(int64 seconds) const;
    CTime operator-(int64 seconds) const;
    CTime& operator+=(int64 seconds);
    CTime& operator-=(int64 seconds);

    /// makeTime() - other.makeTime().
    int64 operator-(const CTime& other) const;
    /// @}

    /// @name Comparison
    /// @{

    /// Compare makeTime() of both sides.
    bool operator==(const CTime& other) const;
    bool operator!=(const CTime& other) const;
    bool operator<(const CTime& other) const;
    bool operator>(const CTime& other) const;
    bool operator<=(const CTime& other) const;
    bool operator>=(const CTime& other) const;
    /// @}

    /// Orlix::Infra::CTime::getCurrentTime() passed through the six-value constructor.
    static CTime getCurrentTime();

    /// Orlix::Infra::CTime::setCurrentTime() with the six fields of time.
    static void setCurrentTime(const CTime& time, int tolerance);

    /// The library's monotonic clock (Orlix::Infra::CTime::getCurrentMilliSecond()).
    static uint64 getCurrentMilliSecond();

    /// Orlix::Infra::CTime::getCurrentMicroSecond().
    static uint64 getCurrentMicroSecond();

    /// Suspends the calling thread for milliseconds (CThread::sleep).
    static void sleep(int milliseconds);

    /// @name Text settings (the legacy class's own; process-wide)
    /// @{

    /// Stores format and derives separator, 12-hour mode and date order as
    /// Orlix::Infra::CTime::setFormatString() does; asserts "0" (standard assert) when there is
    /// no separator or no usable order.
    static void setFormat(std::string format);

    /// The stored format.
    static std::string getFormat();

    /// The stored date order: 0 ymd, 1 mdy, 2 dmy (or whatever setFormat(int, int, int) stored).
    static int getDateFormat();

    /// True in 12-hour mode.
    static bool get12Hour();

    /// The stored date separator character.
    static char getSpliter();

    /// Sets the three settings by number; the format string is not touched. The date order
    /// becomes dateFormat, unchecked; dateSeparator 0, 1, 2 sets '.', '-', '/' (other values
    /// keep it); timeFormat 0 sets 24-hour, 1 sets 12-hour (other values keep it).
    static void setFormat(int dateFormat, int dateSeparator, int timeFormat);

    /// The separator as a number: '.' 0, '-' 1, '/' 2, anything else 0.
    static int getDateSeparator();

    /// 1 in 12-hour mode, else 0.
    static int getTimeFormat();
    /// @}

    /// Writes this time for picture (null: the stored legacy format) with the legacy settings,
    /// as Orlix::Infra::CTime::format() does with mask 0; a stored order other than 0 or 1
    /// counts as dmy. buf must not be null (asserts "buf").
    void format(char* buf, const char* format = nullptr) const;

private:
    struct RawFields
    {};
    constexpr CTime(RawFields, int year, int month, int day, int wday, int hour, int minute,
                    int second)
        : SystemTime{year, month, day, wday, hour, minute, second, 0}
    {}

    static std::string m_format; ///< initially "yyyy-MM-dd HH:mm:ss"
    static int m_dateFormat;     ///< initially 0 (ymd)
    static char m_dateSeparator; ///< initially '-'
    static bool m_12hour;        ///< initially false
};

#endif // ORLIX_INFRA_LEGACY_TIME_H
