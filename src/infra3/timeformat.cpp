// CTime text: the process-wide format and its settings, format() and parse().
#include "infra/error.h"
#include "infra/print.h"
#include "infra/time.h"
#include "infra3/diag.h"
#include "infra3/timecalc.h"
#include "infra3/timetext.h"

#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace Orlix {
namespace Infra {

namespace {

// The process-wide format and what setFormatString() derived from it. No lock: set during
// start-up. Function-local so that it is built before any use from another static
// initialiser.
struct FormatSettings
{
    flex_string format{"yyyy-MM-dd HH:mm:ss"};
    CTime::DateFormat order = CTime::ymd;
    char separator = '-';
    bool hour12 = false;
};

FormatSettings& settings()
{
    static FormatSettings instance;
    return instance;
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Appends value as printf's "%0*d" with the given width would. Hand-written rather than
// snprintf or std::to_chars + memcpy: format() is called per log line in some programs, and
// those calls were a third of its time for the two-digit fields that make up most of a text.
char* appendNumber(char* out, int value, int width)
{
    if (value >= 0 && value < 100 && width <= 2) {
        if (value >= 10 || width == 2)
            *out++ = static_cast<char>('0' + value / 10);
        *out++ = static_cast<char>('0' + value % 10);
        return out;
    }
    // Digits of the magnitude, least significant first (unsigned, so that INT_MIN has one).
    unsigned int magnitude =
        value < 0 ? 0u - static_cast<unsigned int>(value) : static_cast<unsigned int>(value);
    char digits[10];
    int count = 0;
    do {
        digits[count++] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    if (value < 0) {
        *out++ = '-';
        --width; // the sign counts towards the width, as with printf
    }
    for (int pad = width - count; pad > 0; --pad)
        *out++ = '0';
    while (count > 0)
        *out++ = digits[--count];
    return out;
}

// One date element's text: at most a sign and ten digits.
struct Element
{
    char text[11];
    int length;

    void set(int value, int width)
    {
        length = static_cast<int>(appendNumber(text, value, width) - text);
    }
};

// Where formatFields() puts its text: the first room characters of it go to the buffer, the
// rest is only counted, so the text is cut, never written past the buffer. Tracks the spaces
// at the end of the whole text, which a 't' in 24-hour mode removes even where they lie past
// the cut.
class TextOut
{
public:
    TextOut(char* buf, std::size_t room) : m_buf(buf), m_room(room) {}

    void put(char c)
    {
        if (m_length < m_room)
            m_buf[m_length] = c;
        ++m_length;
        m_trailingSpaces = c == ' ' ? m_trailingSpaces + 1 : 0;
    }
    void put(const char* text, int n)
    {
        for (int i = 0; i < n; ++i)
            put(text[i]);
    }
    void putNumber(int value, int width)
    {
        char digits[16];
        put(digits, static_cast<int>(appendNumber(digits, value, width) - digits));
    }
    void trimSpaces()
    {
        m_length -= m_trailingSpaces;
        m_trailingSpaces = 0;
    }
    // Terminates what was written and returns the length of the whole text.
    std::size_t finish()
    {
        m_buf[m_length < m_room ? m_length : m_room] = '\0';
        return m_length;
    }

private:
    char* m_buf;
    std::size_t m_room;
    std::size_t m_length = 0;
    std::size_t m_trailingSpaces = 0; // the spaces at the end of the whole text
};

// Length of the run of characters at p for which accept() holds (at least 1).
template <class Accept>
int runLength(const char* p, Accept accept)
{
    int n = 1;
    while (p[n] != '\0' && accept(p[n]))
        ++n;
    return n;
}

} // namespace

namespace Detail {

char pictureSeparator(const char* picture)
{
    if (std::strchr(picture, '.') != nullptr)
        return '.';
    if (std::strchr(picture, '/') != nullptr)
        return '/';
    if (std::strchr(picture, '-') != nullptr)
        return '-';
    return '\0';
}

bool pictureDateOrder(const char* picture, int& order)
{
    const size_t missing = std::strlen(picture);
    auto position = [&](char letter) {
        const char* at = std::strchr(picture, letter);
        return at != nullptr ? static_cast<size_t>(at - picture) : missing;
    };
    const size_t y = position('y');
    const size_t m = position('M');
    const size_t d = position('d');
    if (y < m && m < d)
        order = CTime::ymd;
    else if (m < d && d < y)
        order = CTime::mdy;
    else if (d < m && m < y)
        order = CTime::dmy;
    else
        return false;
    return true;
}

std::size_t formatFields(const SystemTime& f, char* buf, std::size_t room, const char* picture,
                         const TextStyle& style)
{
    int years = 0;
    int months = 0;
    int days = 0;
    for (const char* p = picture; *p != '\0'; ++p) {
        years += *p == 'y' ? 1 : 0;
        months += *p == 'M' ? 1 : 0;
        days += *p == 'd' ? 1 : 0;
    }

    // The three date elements; an element whose letter does not occur is empty.
    Element yearText;
    Element monthText;
    Element dayText;
    yearText.length = monthText.length = dayText.length = 0;
    if (years > 0) {
        if (years > 2)
            yearText.set(f.year, 4);
        else
            yearText.set(f.year % 100, 2);
    }
    if (months > 0)
        monthText.set(f.month, months >= 2 ? 2 : 1);
    if (days > 0)
        dayText.set(f.day, days >= 2 ? 2 : 1);

    // Slots in the date order, empty elements dropped, so the first date run of the picture
    // prints the first element the picture names, whichever letter that run uses.
    const Element* const byOrder[3][3] = {{&yearText, &monthText, &dayText},  // ymd
                                          {&monthText, &dayText, &yearText},  // mdy
                                          {&dayText, &monthText, &yearText}}; // dmy
    const Element* const* ordered = byOrder[style.order == CTime::mdy   ? 1
                                            : style.order == CTime::dmy ? 2
                                                                        : 0];
    const Element* slots[3] = {nullptr, nullptr, nullptr};
    int filled = 0;
    for (int i = 0; i < 3; ++i) {
        if (ordered[i]->length > 0)
            slots[filled++] = ordered[i];
    }

    int hour = f.hour;
    if (style.hour12) {
        if (hour == 0)
            hour = 12;
        else if (hour >= 13 && hour <= 23)
            hour -= 12;
    }

    TextOut out(buf, room);
    int slot = 0;
    const char* p = picture;
    while (*p != '\0') {
        const char c = *p;
        int run = 1;
        if (c == '-' || c == '.' || c == '/') {
            out.put(style.separator != '\0' ? style.separator : c);
        } else if (c == 'H' || c == 'h') {
            run = runLength(p, [](char x) { return x == 'H' || x == 'h'; });
            out.putNumber(hour, run > 1 ? 2 : 1);
        } else if (c == 'y' || c == 'M' || c == 'd') {
            run = runLength(p, [c](char x) { return x == c; });
            if (slot < 3 && slots[slot] != nullptr)
                out.put(slots[slot]->text, slots[slot]->length);
            ++slot; // a fourth date run has no element left and prints nothing
        } else if (c == 'm' || c == 's') {
            run = runLength(p, [c](char x) { return x == c; });
            out.putNumber(c == 'm' ? f.minute : f.second, run > 1 ? 2 : 1);
        } else if (c == 't') {
            run = runLength(p, [](char x) { return x == 't'; });
            if (style.hour12) {
                out.put(f.hour >= 12 ? 'P' : 'A');
                out.put('M');
            } else {
                out.trimSpaces();
            }
        } else {
            out.put(c);
        }
        p += run;
    }
    return out.finish();
}

} // namespace Detail

// ---- Settings ----

void CTime::setFormatString(const char* format)
{
    FormatSettings& s = settings();
    s.format = format != nullptr ? format : "";
    const char* picture = s.format.c_str();

    const char separator = Detail::pictureSeparator(picture);
    ORLIX_ASSERT_TEXT(separator != '\0', "0");
    s.separator = separator;
    s.hour12 = std::strchr(picture, 'h') != nullptr;
    int order = ymd;
    ORLIX_ASSERT_TEXT(Detail::pictureDateOrder(picture, order), "0");
    s.order = static_cast<DateFormat>(order);
}

void CTime::setFormat(const flex_string& format)
{
    setFormatString(format.c_str());
}

flex_string CTime::getFormat()
{
    return settings().format;
}

CTime::DateFormat CTime::getDateFormat()
{
    return settings().order;
}

bool CTime::get12Hour()
{
    return settings().hour12;
}

char CTime::getSeparator()
{
    return settings().separator;
}

// ---- Text ----

namespace {

// The settings format() prints with: the process-wide ones, or those mask takes from picture
// (null: the process-wide format, which is then stored in *picture).
Detail::TextStyle styleFor(const char*& picture, int mask)
{
    const FormatSettings& s = settings();
    if (picture == nullptr)
        picture = s.format.c_str();
    Detail::TextStyle style{s.order, s.separator, s.hour12};
    if ((mask & CTime::keepSeparator) != 0)
        style.separator = '\0';
    if ((mask & CTime::pictureOrder) != 0)
        ORLIX_ASSERT_TEXT(Detail::pictureDateOrder(picture, style.order), "0");
    if ((mask & CTime::picture12Hour) != 0)
        style.hour12 = std::strchr(picture, 'h') != nullptr;
    return style;
}

} // namespace

void CTime::format(char* buf, const char* format, int mask) const
{
    ORLIX_ASSERT(buf);
    const Detail::TextStyle style = styleFor(format, mask);
    Detail::formatFields(*this, buf, SIZE_MAX, format, style);
}

std::size_t CTime::format(char* buf, std::size_t size, const char* picture, int mask) const
{
    ORLIX_ASSERT_TEXT(buf != nullptr || size == 0, "buf");
    const Detail::TextStyle style = styleFor(picture, mask);
    if (size == 0) {
        char none[1];
        return Detail::formatFields(*this, none, 0, picture, style);
    }
    return Detail::formatFields(*this, buf, size - 1, picture, style);
}

bool CTime::parse(const char* buf, const char* format, int /*mask*/)
{
    const char* text = buf != nullptr ? buf : "";
    const char* picture = format != nullptr ? format : settings().format.c_str();

    // Up to six runs of digits; whatever else stands between them only separates them.
    int numbers[6];
    int count = 0;
    const char* p = text;
    do {
        long long value = 0;
        for (; isDigit(*p); ++p) {
            value = value * 10 + (*p - '0');
            if (value > INT_MAX)
                value = INT_MAX; // saturate: clamping below makes any huge number the maximum
        }
        numbers[count++] = static_cast<int>(value);
        while (*p != '\0' && !isDigit(*p))
            ++p;
    } while (count < 6 && *p != '\0');

    int order = ymd;
    if (Detail::pictureDateOrder(picture, order)) {
        int* const byOrder[3][3] = {{&year, &month, &day},  // ymd
                                    {&month, &day, &year},  // mdy
                                    {&day, &month, &year}}; // dmy
        for (int i = 0; i < 3 && i < count; ++i)
            *byOrder[order][i] = numbers[i];
    }
    int* timeFields[3] = {&hour, &minute, &second};
    for (int i = 3; i < count; ++i)
        *timeFields[i - 3] = numbers[i];

    bool ok = true;
    if (count < 6) {
        logError(ORLIX_OBJ_FMT "CTime parser input information is not enough.\n", ORLIX_OBJ_ARGS);
        ok = false;
    } else if (std::strchr(picture, 'h') != nullptr) {
        if (hour >= 13) {
            logError(ORLIX_OBJ_FMT
                     "CTime parser input hour format is not accord with real value format.\n",
                     ORLIX_OBJ_ARGS);
            ok = false;
        } else if (std::strstr(text, "PM") != nullptr) {
            if (hour != 12)
                hour += 12;
        } else if (std::strstr(text, "AM") != nullptr) {
            if (hour == 12)
                hour = 0;
        } else {
            logError(ORLIX_OBJ_FMT "12 hours time point is unclear.\n", ORLIX_OBJ_ARGS);
            ok = false;
        }
    }

    if (!ok) {
        year = month = day = hour = minute = second = 0;
        return false;
    }
    Detail::normaliseFields(*this);
    return true;
}

} // namespace Infra
} // namespace Orlix
