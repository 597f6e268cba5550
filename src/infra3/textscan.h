// Reading numbers and words out of operator and build texts (internal).
//
// atoi() and sscanf("%d") leave the result undefined when the digits do not fit an int, and
// the texts read here come from operators and fuzzers as well as from the compiler. These
// helpers read the same forms but clamp an overlong number to the int range instead.
#ifndef ORLIX_SRC_INFRA3_TEXTSCAN_H
#define ORLIX_SRC_INFRA3_TEXTSCAN_H

#include <climits>

namespace Orlix {
namespace Infra {
namespace Detail {

inline bool isSpaceChar(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

inline bool isDigitChar(char c)
{
    return c >= '0' && c <= '9';
}

// Reads one number the way "%d" does: skips white space, takes an optional sign and at least
// one digit. On success stores the value (clamped to the int range) in value, advances text
// past the digits and returns true; otherwise leaves both alone and returns false.
inline bool scanInt(const char*& text, int& value)
{
    const char* p = text;
    while (isSpaceChar(*p))
        ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') {
        negative = (*p == '-');
        ++p;
    }
    if (!isDigitChar(*p))
        return false;
    // Accumulate the magnitude in long long, stopping growth once it passes every int.
    long long magnitude = 0;
    for (; isDigitChar(*p); ++p) {
        if (magnitude <= static_cast<long long>(INT_MAX) + 1)
            magnitude = magnitude * 10 + (*p - '0');
    }
    const long long signedValue = negative ? -magnitude : magnitude;
    if (signedValue > INT_MAX)
        value = INT_MAX;
    else if (signedValue < INT_MIN)
        value = INT_MIN;
    else
        value = static_cast<int>(signedValue);
    text = p;
    return true;
}

// atoi() with the result clamped to the int range; 0 for null or a text without a number.
inline int parseInt(const char* text)
{
    int value = 0;
    if (text != nullptr)
        scanInt(text, value);
    return value;
}

// True when a and b are equal, ignoring the case of ASCII letters. Null equals nothing.
inline bool equalsIgnoringCase(const char* a, const char* b)
{
    if (a == nullptr || b == nullptr)
        return false;
    for (;; ++a, ++b) {
        char ca = *a;
        char cb = *b;
        if (ca >= 'A' && ca <= 'Z')
            ca = static_cast<char>(ca - 'A' + 'a');
        if (cb >= 'A' && cb <= 'Z')
            cb = static_cast<char>(cb - 'A' + 'a');
        if (ca != cb)
            return false;
        if (ca == '\0')
            return true;
    }
}

} // namespace Detail
} // namespace Infra
} // namespace Orlix

#endif // ORLIX_SRC_INFRA3_TEXTSCAN_H
