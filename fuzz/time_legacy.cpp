// The legacy ::CTime pictures. Input: a settings byte, six 16-bit fields, then the picture.
// The legacy settings are set directly (order, separator, 12-hour mode); format() must give
// the text of the documented picture rules (time_picture.h) with those settings, any order
// other than 0 and 1 counting as dmy, in a buffer of exactly four characters per picture
// character plus the terminator. A picture that setFormat(std::string) accepts must derive
// the same settings as CTime::setFormatString derives from it.
#include "fuzz_check.h"
#include "time_picture.h"

#include "infra/legacy_time.h"
#include "infra/time.h"

#include <cstring>
#include <memory>
#include <string>

using OrlixFuzz::check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    OrlixFuzz::Input in(data, size);
    const std::uint8_t settings = in.byte();
    OrlixFuzz::PictureFields f;
    f.year = in.u16() % 10000;
    f.month = in.u16() % 100;
    f.day = in.u16() % 100;
    f.hour = in.u16() % 100;
    f.minute = in.u16() % 100;
    f.second = in.u16() % 100;
    const std::string picture = in.rest().c_str();

    const int dateFormat = (settings & 7) - 1; // -1 to 6
    const int separator = settings >> 3 & 3;   // 3 leaves the separator as it was
    const int timeFormat = settings >> 5 & 3;  // 2 and 3 leave the mode as it was
    ::CTime::setFormat(dateFormat, separator, timeFormat);
    check(::CTime::getDateFormat() == dateFormat, "legacy date order not stored");
    if (separator < 3)
        check(::CTime::getSpliter() == ".-/"[separator] && ::CTime::getDateSeparator() == separator,
              "legacy separator");
    if (timeFormat < 2)
        check(::CTime::get12Hour() == (timeFormat == 1) && ::CTime::getTimeFormat() == timeFormat,
              "legacy 12-hour mode");

    ::CTime t;
    t.year = f.year, t.month = f.month, t.day = f.day;
    t.hour = f.hour, t.minute = f.minute, t.second = f.second;
    const size_t capacity = 4 * picture.size() + 1;
    std::unique_ptr<char[]> buf(new char[capacity]);
    t.format(buf.get(), picture.c_str());
    check(std::strlen(buf.get()) < capacity, "legacy format past its bound");

    OrlixFuzz::PictureSettings s;
    s.order = dateFormat == 0 ? 0 : dateFormat == 1 ? 1 : 2;
    s.separator = ::CTime::getSpliter();
    s.keepOwn = false;
    s.twelveHour = ::CTime::get12Hour();
    std::string expect;
    if (OrlixFuzz::expectedPicture(picture, f, s, &expect))
        OrlixFuzz::checkEqual(expect, buf.get(), "legacy format text != picture rules");

    // The same derivation as the current CTime, for pictures both accept.
    if (picture.find_first_of(".-/") != std::string::npos &&
        OrlixFuzz::pictureOrder(picture) >= 0) {
        ::CTime::setFormat(picture);
        Orlix::Infra::CTime::setFormatString(picture.c_str());
        check(::CTime::getFormat() == picture, "legacy stored format");
        check(::CTime::getDateFormat() == static_cast<int>(Orlix::Infra::CTime::getDateFormat()),
              "legacy derived order");
        check(::CTime::getSpliter() == Orlix::Infra::CTime::getSeparator(),
              "legacy derived separator");
        check(::CTime::get12Hour() == Orlix::Infra::CTime::get12Hour(), "legacy derived mode");
    }
    return 0;
}
