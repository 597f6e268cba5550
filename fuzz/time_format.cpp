// Fuzzes CTime::setFormatString and CTime::format. Input: one mask byte, six 32-bit fields,
// then the picture. Pictures that would end the process by design (no date separator or no
// date order for setFormatString; no date order for mask bit 2) are filtered here with an
// independent check before the call. Checks the documented output bounds with buffers of
// exactly that size, so that AddressSanitizer reports any write past them, the settings
// setFormatString derives, and the text against an independent rendering of the picture
// (time_picture.h) whenever the fields are within its range.
#include "fuzz_check.h"
#include "time_picture.h"

#include "infra/time.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

using Orlix::Infra::CTime;

namespace {

bool hasSeparator(const std::string& p)
{
    return p.find_first_of(".-/") != std::string::npos;
}

// True when the first 'y', 'M', 'd' stand in ymd, mdy or dmy order, a missing letter
// counting as standing after all others.
bool hasDateOrder(const std::string& p)
{
    const size_t y = p.find('y');
    const size_t m = p.find('M');
    const size_t d = p.find('d');
    return (y < m && m < d) || (m < d && d < y) || (d < m && m < y);
}

int readInt(const uint8_t* data)
{
    uint32_t v;
    std::memcpy(&v, data, sizeof(v));
    return static_cast<int>(v);
}

void formatInto(const CTime& t, const std::string& picture, int mask, size_t capacity)
{
    std::vector<char> buf(capacity);
    t.format(buf.data(), picture.c_str(), mask);
    if (std::strlen(buf.data()) + 1 > capacity)
        std::abort();
    const bool inRange = t.year >= 0 && t.year <= 9999 && t.month >= 0 && t.month <= 99 &&
                         t.day >= 0 && t.day <= 99 && t.hour >= 0 && t.hour <= 99 &&
                         t.minute >= 0 && t.minute <= 99 && t.second >= 0 && t.second <= 99;
    if (!inRange)
        return;
    OrlixFuzz::PictureSettings settings;
    settings.order = (mask & CTime::pictureOrder) ? OrlixFuzz::pictureOrder(picture)
                                                  : static_cast<int>(CTime::getDateFormat());
    settings.separator = CTime::getSeparator();
    settings.keepOwn = (mask & CTime::keepSeparator) != 0;
    settings.twelveHour =
        (mask & CTime::picture12Hour) ? picture.find('h') != std::string::npos : CTime::get12Hour();
    const OrlixFuzz::PictureFields fields{t.year, t.month, t.day, t.hour, t.minute, t.second};
    std::string expect;
    if (OrlixFuzz::expectedPicture(picture, fields, settings, &expect))
        OrlixFuzz::checkEqual(expect, buf.data(), "format text != picture rules");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 25)
        return 0;
    int mask = data[0] & 7;
    int f[6];
    for (int i = 0; i < 6; ++i)
        f[i] = readInt(data + 1 + 4 * i);
    const std::string picture(reinterpret_cast<const char*>(data + 25), size - 25);
    const std::string cPicture = picture.c_str(); // what the library sees

    if (hasSeparator(cPicture) && hasDateOrder(cPicture)) {
        CTime::setFormatString(cPicture.c_str());
        const char separator = cPicture.find('.') != std::string::npos   ? '.'
                               : cPicture.find('/') != std::string::npos ? '/'
                                                                         : '-';
        OrlixFuzz::check(std::string(CTime::getFormat().c_str()) == cPicture, "stored format");
        OrlixFuzz::check(CTime::getSeparator() == separator, "derived separator");
        OrlixFuzz::check(static_cast<int>(CTime::getDateFormat()) ==
                             OrlixFuzz::pictureOrder(cPicture),
                         "derived date order");
        OrlixFuzz::check(CTime::get12Hour() == (cPicture.find('h') != std::string::npos),
                         "derived 12-hour mode");
    }
    if (!hasDateOrder(cPicture))
        mask &= ~CTime::pictureOrder;

    // Fields in range: at most four characters per picture character.
    const CTime clamped(f[0], f[1], f[2], f[3], f[4], f[5]);
    formatInto(clamped, cPicture, mask, 4 * cPicture.size() + 1);

    // Fields set directly: any run prints at most a sign and ten digits.
    CTime raw;
    raw.year = f[0], raw.month = f[1], raw.day = f[2], raw.hour = f[3], raw.minute = f[4],
    raw.second = f[5];
    formatInto(raw, cPicture, mask, 11 * cPicture.size() + 1);
    return 0;
}
