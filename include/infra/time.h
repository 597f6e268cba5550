/// @file
/// Calendar time, clocks and time text.
///
/// CTime is a plain broken-down local time (year, month, day, weekday, hour, minute, second)
/// with conversions to and from seconds since 1970-01-01 00:00:00 UTC, calendar arithmetic and
/// comparison, the current time in several forms, the library's monotonic clock, a guarded
/// way to set the system time, and text in a small picture language:
///
///     using Orlix::Infra::CTime;
///     CTime t(2016, 3, 7, 9, 5, 2);          // 2016-03-07 09:05:02, a Monday (wday 1)
///     CTime later = t + 3600;                // 10:05:02
///     char text[64];
///     later.format(text, "yyyy-MM-dd HH:mm:ss");
///     CTime back;
///     bool ok = back.parse("2016-3-7 10:5:2", "yyyy-MM-dd HH:mm:ss");   // ok, back == later
///     uint64 deadline = CTime::getCurrentMilliSecond() + 500;
///
/// Ranges. A CTime covers 1970-01-01 00:00:00 to 2038-12-31 23:59:59. The six-value
/// constructor (and every conversion from fields to seconds) clamps rather than fails: a year
/// below 1970 becomes 1970, a day past the month's end becomes its last day (29 February only
/// in a leap year), an hour past 23 becomes 23:59:59, and so on. The weekday is always computed,
/// never read.
///
/// Time zone. makeTime() and breakTime() treat the fields as local time: while the time-zone
/// switch is on (the default) they add or subtract the C library's standard offset for TZ
/// (daylight saving is not applied). disableTimezone() turns the switch off for good, so that
/// fields and seconds are both UTC. Arithmetic, differences and comparisons never involve the
/// zone.
///
/// Clocks. getCurrentMilliSecond() is the library's monotonic clock (milliseconds since the
/// library was loaded, never decreasing, on any thread); every time-out of the library is
/// measured on it. getCurrentTime() and friends read the wall clock.
///
/// Setting the time. setCurrentTime() hands the new time to a replaceable hook. The built-in
/// hook clamps it to [minTime, maxTime], does nothing when the clock is already within the
/// caller's tolerance, sets the system's local time and then calls every listener attached
/// with attachModifyProc(). A refusal by the system sets the calling thread's last error
/// (error.h) to 0x1000000E; custom hooks may also report 0x1000000F (hardware clock).
///
/// Text. A process-wide format (initially "yyyy-MM-dd HH:mm:ss") carries three derived
/// settings: the date order, the date separator and the 12-hour mode. format() prints with
/// those settings unless its mask takes them from the picture; parse() reads six numbers
/// leniently. Picture letters: y year, M month, d day, H/h hour, m minute, s second, t AM/PM,
/// '-' '.' '/' date separator; anything else is copied.
///
/// Thread-safety. A CTime is a value: distinct objects may be used on distinct threads freely.
/// The monotonic clock and the listener list may be used from any thread. The hooks, the
/// time-zone switch and the text settings are process-wide and meant to be set during start-up,
/// before other threads use them.
///
/// Failure. Nothing throws. Out-of-range fields are clamped; parse() returns false (with a
/// message at error level) for text it cannot read; setCurrentTimeEx() returns false when the
/// system refused. A picture without a date separator or a usable date order ends the process
/// through the library's assertion in setFormatString() (and in format() with mask bit 2).
#ifndef ORLIX_INFRA_TIME_H
#define ORLIX_INFRA_TIME_H

#include "infra/defs.h"
#include "infra/function.h"
#include "infra/infra3/flex_string.h"

namespace Orlix {
namespace Infra {

/// A broken-down time: eight 32-bit fields in this order.
struct SystemTime
{
    int year;     ///< full year, such as 2016
    int month;    ///< 1..12
    int day;      ///< 1..31
    int wday;     ///< 0 = Sunday .. 6 = Saturday; computed by the library, never trusted on input
    int hour;     ///< 0..23
    int minute;   ///< 0..59
    int second;   ///< 0..59
    int reserved; ///< copied with the record, never set or read by the library
};

/// A broken-down time with milliseconds: twelve 32-bit fields.
struct SystemTimeEx
{
    int year;        ///< full year, such as 2016
    int month;       ///< 1..12
    int day;         ///< 1..31
    int wday;        ///< 0 = Sunday .. 6 = Saturday
    int hour;        ///< 0..23
    int minute;      ///< 0..59
    int second;      ///< 0..59
    int millisecond; ///< 0..999
    int reserved[4]; ///< set to 0 by the library, never read
};

/// A local calendar time with conversions, arithmetic, clocks and text (see the top of this
/// header).
class ORLIX_API CTime : public SystemTime
{
public:
    /// Order of the date elements in text.
    enum DateFormat
    {
        ymd = 0, ///< year, month, day
        mdy = 1, ///< month, day, year
        dmy = 2  ///< day, month, year
    };

    /// Bits of format()'s mask (combine with |). Each takes one setting from the picture
    /// instead of the process-wide format.
    enum FormatMask
    {
        keepSeparator = 1, ///< print the picture's own '-', '.', '/' characters
        pictureOrder = 2,  ///< date order from the first 'y', 'M', 'd' of the picture
        picture12Hour = 4  ///< 12-hour mode when the picture contains 'h'
    };

    /// The calling thread's last error after a setter failed because the system refused the new
    /// local time (the built-in setters report it).
    static constexpr int errorTimeRefused = 0x1000000E;
    /// The calling thread's last error after a set-time hook could not set the hardware clock
    /// (reported by custom hooks only).
    static constexpr int errorHardwareClock = 0x1000000F;

    /// The lower bound the built-in setters clamp to: 2000-01-01 00:00:00.
    static const CTime minTime;
    /// The upper bound the built-in setters clamp to: 2038-01-01 00:00:00.
    static const CTime maxTime;

    /// @name Construction and conversion
    /// @{

    /// A time to be assigned later. The fields hold no meaningful time (they are zero, not
    /// normalised) until assigned, parsed or broken down into.
    CTime() : SystemTime{} {}

    /// Stores the six values, clamps them into range (see time.h) and computes
    /// the weekday.
    CTime(int year, int month, int day, int hour, int minute, int second);

    /// breakTime(seconds).
    explicit CTime(uint64 seconds);

    /// Seconds since 1970-01-01 00:00:00 UTC of this local time. Works on a clamped copy of the
    /// fields; while the time-zone switch is on it adds the zone's standard offset. A local time
    /// before 1970-01-01 00:00:00 UTC (possible east of Greenwich) wraps below zero; breakTime()
    /// maps such a value back to the same fields.
    uint64 makeTime() const;

    /// Sets every field from seconds since 1970 UTC (the zone's offset is subtracted first while
    /// the switch is on). Nothing is clamped in this direction: seconds past 2038 give later
    /// years. A local time before 1970-01-01 00:00:00 (seconds 0 west of Greenwich, say) lies
    /// outside the range: the seconds are divided toward zero, so its fields come out with a
    /// negative time of day on 1970-01-01 rather than as a day of 1969.
    void breakTime(uint64 seconds);
    /// @}

    /// @name Arithmetic (the time-zone switch plays no part)
    /// @{

    /// This time moved by seconds, either sign. The fields are clamped first; + and - return
    /// the moved time, += and -= move this time and return it. A result past 2038 is not
    /// clamped; a result before 1970-01-01 00:00:00 is outside the range and its fields are
    /// not a valid time, as for breakTime() (1970-01-01 00:00:00 - 1 gives 1970-01-01
    /// 00:00:-1).
    CTime operator+(int64 seconds) const;
    CTime operator-(int64 seconds) const;
    CTime& operator+=(int64 seconds);
    CTime& operator-=(int64 seconds);

    /// This time minus other, in seconds (each side clamped first).
    int64 operator-(const CTime& other) const;
    /// @}

    /// @name Comparison (the time-zone switch plays no part)
    /// @{

    /// Compare year, month, day, hour, minute, second in that order as signed numbers; the
    /// weekday and the reserved field take no part.
    bool operator==(const CTime& other) const;
    bool operator!=(const CTime& other) const;
    bool operator<(const CTime& other) const;
    bool operator>(const CTime& other) const;
    bool operator<=(const CTime& other) const;
    bool operator>=(const CTime& other) const;
    /// @}

    /// @name Current time
    /// @{

    /// The system's local time, through the six-value constructor (milliseconds dropped).
    static CTime getCurrentTime();

    /// The same as getCurrentTime(); the print prefix shows this time of day.
    static CTime getCurTimeForPrint();

    /// The local time with the system's weekday and milliseconds, reserved fields 0. Not
    /// normalised.
    static SystemTimeEx getCurrentTimeEx();

    /// The system's UTC time as seconds since 1970-01-01 00:00:00 UTC.
    static uint64 getCurrentUTCtime();

    /// getCurrentUTCtime() * 1000 plus the current millisecond.
    static uint64 getCurrentUTCMilliSecond();

    /// Milliseconds since the library was loaded. Never less than an earlier result, on any
    /// thread; unaffected by changes of the system time.
    static uint64 getCurrentMilliSecond();

    /// Microseconds since the library was loaded, straight from the monotonic counter (without
    /// the non-decreasing guard of getCurrentMilliSecond()).
    static uint64 getCurrentMicroSecond();
    /// @}

    /// @name Setting the time
    /// @{

    /// Calls the set-time hook with a fresh, normalised copy of time's six fields and tolerance
    /// (seconds; 0 means always set). Failures show only in the last error.
    static void setCurrentTime(const CTime& time, int tolerance);

    /// As setCurrentTime(); false when the hook reported a failure during this call (the last
    /// error became errorTimeRefused or errorHardwareClock), else true. On success the caller's
    /// earlier last error is kept.
    static bool setCurrentTimeEx(const CTime& time, int tolerance);

    /// Copies the date, time and millisecond of time into a fresh record (weekday computed,
    /// reserved fields 0), calls the set-time hook Ex with it and returns as setCurrentTimeEx().
    static bool setCurrentTime(const SystemTimeEx& time, int tolerance);

    /// Installs hook as the set-time hook and returns the previous one (initially the built-in
    /// setter, so a hook may pass calls on to it).
    static TFunction2<void, const CTime&, int>
    attachSetCurrentTimeHook(TFunction2<void, const CTime&, int> hook);

    /// The same for the hook that setCurrentTime(const SystemTimeEx&, int) calls.
    static TFunction2<void, const SystemTimeEx&, int>
    attachSetCurrentTimeHookEx(TFunction2<void, const SystemTimeEx&, int> hook);

    /// Appends proc to the listeners that the built-in setters call, in attach order, after each
    /// time they set the clock (with the time set). Returns true. A listener attached twice is
    /// called twice (and needs two detaches). Listeners run on the setting thread with no
    /// library lock held; their results are ignored.
    static bool attachModifyProc(TFunction1<bool, SystemTime> proc);

    /// Removes one attachment equal to proc (delegate equality, function.h), the earliest.
    /// Returns true when one was removed, false when none is attached. Once it returns, no
    /// later clock change calls that attachment, so a listener bound to an object can be
    /// detached before the object goes; a call that another thread's setter started from its
    /// copy of the list just before may still be running, so an object that other threads set
    /// the clock next to must also wait for those calls to end.
    static bool detachModifyProc(TFunction1<bool, SystemTime> proc);

    /// Turns the time-zone switch off for the rest of the process: fields and seconds are then
    /// both UTC. Returns 0. Cannot be undone.
    static int disableTimezone();

    /// Records whether daylight saving is in use. Nothing in the library reads it (the zone's
    /// offset comes from the C library). Returns true.
    static bool setDst(bool enable);
    /// @}

    /// @name Text settings (process-wide; set during start-up)
    /// @{

    /// Stores format (null counts as "") as the process-wide format and derives the settings
    /// from it. The separator is '.' if it contains a '.', else '/' if a '/', else '-' if a '-';
    /// 12-hour mode when it contains 'h'; date order from the first 'y', 'M', 'd' (a missing letter
    /// counts as standing after all others): y<M<d ymd, M<d<y mdy, d<M<y dmy. Asserts "0" when
    /// there is no separator or no such order: "dd.MM.yyyy" is fine, "HH:mm" and "yyyy" are not.
    static void setFormatString(const char* format);

    /// setFormatString(format.c_str()).
    static void setFormat(const flex_string& format);

    /// A copy of the process-wide format.
    static flex_string getFormat();

    /// The date order derived from the process-wide format.
    static DateFormat getDateFormat();
    /// True when the process-wide format selects 12-hour mode.
    static bool get12Hour();
    /// The date separator derived from the process-wide format: '-', '.' or '/'.
    static char getSeparator();
    /// @}

    /// @name Text
    /// @{

    /// Writes this time as text for picture (null: the process-wide format) into buf, which must
    /// not be null (asserts "buf"). Nothing limits what is written: with every field in range,
    /// at most four characters per picture character plus the terminator (the form with a
    /// size below never writes past it).
    ///  - 'y' runs print the year: 4 digits when the picture holds more than two 'y' in all,
    ///    else the last 2. 'M' and 'd' runs: 2 digits when the picture holds two or more of the
    ///    letter or the value is 10 or more, else 1. The date runs are filled in the date order
    ///    (the first run gets the first element present, whatever its letter); a fourth date run
    ///    prints nothing.
    ///  - runs of 'H'/'h', 'm', 's': 2 digits for a run longer than one letter or a value of 10 or
    ///    more. In 12-hour mode hour 0 prints 12 and hours 13..23 print hour - 12.
    ///  - a 't' run prints "AM"/"PM" in 12-hour mode; in 24-hour mode it removes the spaces at
    ///    the end of the text so far.
    ///  - '-', '.', '/' print the process-wide separator; anything else is copied.
    ///
    /// mask (FormatMask bits, default 0) takes the separator, order or 12-hour mode from the
    /// picture instead; pictureOrder asserts "0" when the picture has no usable order.
    void format(char* buf, const char* format = nullptr, int mask = 0) const;

    /// The same text as format(buf, picture, mask), written into buf of size bytes: never more
    /// than size bytes, so a text longer than size - 1 characters is cut there; buf is always
    /// terminated when size is not 0, and untouched when it is (buf may then be null;
    /// otherwise a null buf asserts "buf"). Returns the length of the whole text without the
    /// terminator, as snprintf does: a result of size or more means the text was cut.
    std::size_t format(char* buf, std::size_t size, const char* picture, int mask = 0) const;

    /// Reads this time from buf (null counts as ""): up to six numbers (runs of digits; anything
    /// else separates them, and text starting with a non-digit reads 0 first), the first three
    /// the date in the order of format's first 'y', 'M', 'd' (null format: the process-wide
    /// format; with no usable order the date fields keep their values), then hour, minute and
    /// second. A format containing 'h' reads 12-hour text: hours above 12 fail, "PM" in buf adds
    /// 12 (except to 12), otherwise "AM" turns 12 into 0, and neither fails. A number too large
    /// for an int reads as the largest int. The result is clamped as by the six-value
    /// constructor. mask is not used (default 0). Returns true on success; on failure prints the
    /// reason at error level, sets the six date and time fields to 0 and returns false.
    bool parse(const char* buf, const char* format = nullptr, int mask = 0);
    /// @}

private:
    struct RawFields
    {};
    /// The fields exactly as given (for the constants; no normalisation).
    constexpr CTime(RawFields, int year, int month, int day, int wday, int hour, int minute,
                    int second)
        : SystemTime{year, month, day, wday, hour, minute, second, 0}
    {}
};

} // namespace Infra
} // namespace Orlix

#endif // ORLIX_INFRA_TIME_H
