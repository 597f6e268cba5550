// An independent rendering of the time picture language, for the fuzz targets of CTime and
// the legacy ::CTime. Written from the documented rules, not from the library's code:
//
// - 'y': four digits when the picture holds more than two 'y' in all, else the last two;
//   'M', 'd': two digits when the picture holds two or more of the letter or the value is 10
//   or more, else one. The three texts fill three slots in the date order (ymd, mdy, dmy);
//   an empty first slot lets the second and third move up, else an empty second lets the
//   third move up. Each run of one repeated 'y', 'M' or 'd' prints the next slot.
// - a run of 'H'/'h' prints the hour (12-hour form in 12-hour mode: 13..23 less 12, 0 as 12),
//   runs of 'm' and 's' the minute and the second: two digits when the run is longer than one
//   letter or the value is 10 or more.
// - a run of 't' prints "AM"/"PM" in 12-hour mode; in 24-hour mode removes trailing blanks.
// - '-', '.', '/' print the date separator (or themselves when the picture's own are kept).
//
// Valid for fields from 0 to 99 and years from 0 to 9999. Not described, so expectedPicture()
// returns false for them: pictures with more than three runs of date letters, and pictures
// whose date elements still leave an empty slot before a full one after the move-up.
#ifndef ORLIX_FUZZ_TIME_PICTURE_H
#define ORLIX_FUZZ_TIME_PICTURE_H

#include <cstdio>
#include <string>

namespace OrlixFuzz {

struct PictureSettings
{
    int order;       // 0 ymd, 1 mdy, 2 dmy
    char separator;  // printed for '-', '.', '/'
    bool keepOwn;    // print the picture's own separator characters instead
    bool twelveHour; // 12-hour mode
};

struct PictureFields
{
    int year, month, day, hour, minute, second;
};

// The date order of a picture by its first 'y', 'M' and 'd' (a missing letter counting as
// after all others): 0, 1, 2, or -1 when they give none.
inline int pictureOrder(const std::string& p)
{
    const size_t y = p.find('y');
    const size_t m = p.find('M');
    const size_t d = p.find('d');
    if (y < m && m < d)
        return 0;
    if (m < d && d < y)
        return 1;
    if (d < m && m < y)
        return 2;
    return -1;
}

// value with at least digits digits.
inline std::string number(int value, int digits)
{
    char text[16];
    std::snprintf(text, sizeof(text), "%0*d", digits, value);
    return text;
}

inline std::string number(int value, bool twoDigits)
{
    return number(value, twoDigits ? 2 : 1);
}

inline bool expectedPicture(const std::string& p, const PictureFields& f, const PictureSettings& s,
                            std::string* out)
{
    size_t ys = 0, ms = 0, ds = 0;
    for (const char c : p) {
        ys += c == 'y';
        ms += c == 'M';
        ds += c == 'd';
    }
    const std::string year = ys == 0 ? "" : ys > 2 ? number(f.year, 4) : number(f.year % 100, 2);
    const std::string month = ms == 0 ? "" : number(f.month, ms >= 2 || f.month >= 10);
    const std::string day = ds == 0 ? "" : number(f.day, ds >= 2 || f.day >= 10);
    std::string slot[3];
    if (s.order == 0)
        slot[0] = year, slot[1] = month, slot[2] = day;
    else if (s.order == 1)
        slot[0] = month, slot[1] = day, slot[2] = year;
    else
        slot[0] = day, slot[1] = month, slot[2] = year;
    if (slot[0].empty())
        slot[0] = slot[1], slot[1] = slot[2], slot[2].clear();
    else if (slot[1].empty())
        slot[1] = slot[2], slot[2].clear();
    if ((slot[0].empty() && !slot[1].empty()) || (slot[1].empty() && !slot[2].empty()))
        return false; // one move was not enough: what then prints is not described

    int hour = f.hour;
    if (s.twelveHour) {
        if (hour >= 13 && hour <= 23)
            hour -= 12;
        else if (hour == 0)
            hour = 12;
    }
    std::string text;
    int dateRun = 0;
    for (size_t i = 0; i < p.size();) {
        const char c = p[i];
        size_t j = i + 1;
        if (c == 'H' || c == 'h') {
            while (j < p.size() && (p[j] == 'H' || p[j] == 'h'))
                ++j;
        } else if (c == 'y' || c == 'M' || c == 'd' || c == 'm' || c == 's' || c == 't') {
            while (j < p.size() && p[j] == c)
                ++j;
        }
        const size_t run = j - i;
        switch (c) {
        case '-':
        case '.':
        case '/':
            text += s.keepOwn ? c : s.separator;
            break;
        case 'H':
        case 'h':
            text += number(hour, run > 1 || hour >= 10);
            break;
        case 'y':
        case 'M':
        case 'd':
            if (dateRun == 3)
                return false;
            text += slot[dateRun++];
            break;
        case 'm':
            text += number(f.minute, run > 1 || f.minute >= 10);
            break;
        case 's':
            text += number(f.second, run > 1 || f.second >= 10);
            break;
        case 't':
            if (s.twelveHour) {
                text += f.hour >= 12 ? "PM" : "AM";
            } else {
                while (!text.empty() && text.back() == ' ')
                    text.pop_back();
            }
            break;
        default:
            text += c;
            break;
        }
        i = j;
    }
    *out = text;
    return true;
}

} // namespace OrlixFuzz

#endif // ORLIX_FUZZ_TIME_PICTURE_H
