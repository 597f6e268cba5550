// The documented character-set routines, written again from their descriptions for the
// charset fuzz target: the UTF-8 sequence table walk (single characters and the budgeted
// string loops) and the code page 1252 conversions. Results must match the library's exactly.
#ifndef ORLIX_FUZZ_CHARSET_MODEL_H
#define ORLIX_FUZZ_CHARSET_MODEL_H

#include <cstdint>
#include <string>
#include <vector>

namespace OrlixFuzz {
namespace CharsetModel {

struct Row
{
    unsigned cmask, cval, shift;
    std::uint64_t lmask, lval;
};
const Row kRows[6] = {{0x80, 0x00, 0, 0x7F, 0},
                      {0xE0, 0xC0, 6, 0x7FF, 0x80},
                      {0xF0, 0xE0, 12, 0xFFFF, 0x800},
                      {0xF8, 0xF0, 18, 0x1FFFFF, 0x10000},
                      {0xFC, 0xF8, 24, 0x3FFFFFF, 0x200000},
                      {0xFE, 0xFC, 30, 0x7FFFFFFF, 0x4000000}};

inline int mbtowc(unsigned short* pwc, const unsigned char* s, int n)
{
    const unsigned c0 = s[0];
    std::uint64_t l = c0;
    int nc = 0;
    for (const Row& row : kRows) {
        ++nc;
        if ((c0 & row.cmask) == row.cval) {
            l &= row.lmask;
            if (l < row.lval)
                return -1;
            *pwc = static_cast<unsigned short>(l);
            return nc;
        }
        if (n <= nc)
            return -1;
        const unsigned c = (s[nc] ^ 0x80u) & 0xFFu;
        if (c & 0xC0)
            return -1;
        l = l << 6 | c;
    }
    return -1;
}

inline int wctomb(unsigned char* s, unsigned short wc, int maxlen)
{
    int nc = 0;
    for (const Row& row : kRows) {
        if (maxlen == 0)
            break;
        ++nc;
        if (wc <= row.lmask) {
            unsigned c = row.shift;
            *s = static_cast<unsigned char>(row.cval | (wc >> c));
            while (c > 0) {
                c -= 6;
                *++s = static_cast<unsigned char>(0x80 | ((wc >> c) & 0x3F));
            }
            return nc;
        }
        --maxlen;
    }
    return -1;
}

inline std::vector<unsigned short> mbstowcs(const unsigned char* s, int n)
{
    std::vector<unsigned short> out;
    while (n > 0 && *s != 0) {
        if (*s & 0x80) {
            unsigned short wc = 0;
            const int size = mbtowc(&wc, s, n);
            if (size == -1) {
                ++s;
                --n;
            } else {
                out.push_back(wc);
                s += size;
                n -= size;
            }
        } else {
            out.push_back(*s++);
            --n;
        }
    }
    return out;
}

inline std::string wcstombs(const unsigned short* p, int maxlen)
{
    std::string out;
    for (; *p != 0 && maxlen > 0; ++p) {
        if (*p > 0x7F) {
            unsigned char bytes[8];
            const int size = wctomb(bytes, *p, maxlen);
            if (size == -1) {
                --maxlen;
            } else {
                out.append(reinterpret_cast<char*>(bytes), static_cast<size_t>(size));
                maxlen -= size;
            }
        } else {
            out += static_cast<char>(*p);
            --maxlen;
        }
    }
    return out;
}

// Code page 1252, the undefined bytes as the code points of the same value.
inline std::uint32_t cp1252(unsigned char b)
{
    static const std::uint32_t kHigh[32] = {
        0x20AC, 0x81,   0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0x8D,   0x017D, 0x8F,   0x90,   0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x9D,   0x017E, 0x0178};
    return (b >= 0x80 && b <= 0x9F) ? kHigh[b - 0x80] : b;
}

inline bool undefined1252(unsigned char b)
{
    return b == 0x81 || b == 0x8D || b == 0x8F || b == 0x90 || b == 0x9D;
}

// The UTF-8 text cp1252_to_utf8 produces (before the fit test).
inline std::string cp1252ToUtf8(const unsigned char* src, int n)
{
    std::string out;
    bool stopped = false;
    for (int i = 0; i < n; ++i) {
        stopped = stopped || undefined1252(src[i]);
        const std::uint32_t v = stopped ? 0 : cp1252(src[i]);
        if (v < 0x80) {
            out += static_cast<char>(v);
        } else if (v < 0x800) {
            out += static_cast<char>(0xC0 | v >> 6);
            out += static_cast<char>(0x80 | (v & 0x3F));
        } else {
            out += static_cast<char>(0xE0 | v >> 12);
            out += static_cast<char>(0x80 | (v >> 6 & 0x3F));
            out += static_cast<char>(0x80 | (v & 0x3F));
        }
    }
    return out;
}

inline std::string utf8ToCp1252(const unsigned char* src, int n)
{
    std::string out;
    for (int pos = 0; pos < n;) {
        const unsigned char lead = src[pos];
        int len;
        std::uint32_t v;
        if (lead < 0x80)
            len = 1, v = lead;
        else if (lead < 0xC0)
            break;
        else if (lead < 0xE0)
            len = 2, v = lead & 0x1F;
        else if (lead < 0xF0)
            len = 3, v = lead & 0x0F;
        else if (lead < 0xF8)
            len = 4, v = lead & 0x07;
        else if (lead < 0xFC)
            len = 5, v = lead & 0x03;
        else
            len = 6, v = lead & 0x01;
        if (pos + len > n)
            break;
        bool bad = false;
        for (int i = 1; i < len && !bad; ++i) {
            const unsigned char t = src[pos + i];
            bad = (t & 0xC0) != 0x80;
            v = v << 6 | (t & 0x3F);
        }
        if (bad)
            break;
        for (int b = 0; b < 256; ++b) {
            if (cp1252(static_cast<unsigned char>(b)) == v) {
                out += static_cast<char>(b);
                break;
            }
        }
        pos += len;
    }
    return out;
}

} // namespace CharsetModel
} // namespace OrlixFuzz

#endif // ORLIX_FUZZ_CHARSET_MODEL_H
