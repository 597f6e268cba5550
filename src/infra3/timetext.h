// The picture language of CTime text, shared by Orlix::Infra::CTime and the legacy ::CTime
// (internal).
#ifndef ORLIX_SRC_INFRA3_TIMETEXT_H
#define ORLIX_SRC_INFRA3_TIMETEXT_H

#include "infra/time.h"

#include <cstddef>

namespace Orlix {
namespace Infra {
namespace Detail {

// The date separator a picture selects: '.' if it contains one, else '/', else '-'; '\0'
// when it contains none of them.
char pictureSeparator(const char* picture);

// The date order (CTime::ymd, mdy or dmy) of the first 'y', 'M' and 'd' of picture, a missing
// letter counting as standing after all others. False when the positions give none of the
// three orders.
bool pictureDateOrder(const char* picture, int& order);

// How formatFields() prints a picture.
struct TextStyle
{
    int order;      // CTime::ymd, mdy or dmy
    char separator; // printed for '-', '.', '/'; '\0' keeps the picture's own character
    bool hour12;    // 12-hour clock with AM/PM
};

// Writes fields as text for picture into buf: at most room characters of it, then a
// terminator (so buf holds room + 1 bytes; SIZE_MAX for no limit). Returns the length of the
// whole text, which is more than room when it was cut. The rules are those documented at
// CTime::format(); the caller has resolved the settings into style.
std::size_t formatFields(const SystemTime& fields, char* buf, std::size_t room, const char* picture,
                         const TextStyle& style);

} // namespace Detail
} // namespace Infra
} // namespace Orlix

#endif // ORLIX_SRC_INFRA3_TIMETEXT_H
