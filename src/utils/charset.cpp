// Conversion between the double-byte code page (code page 936), UCS-2, UTF-8 and code page
// 1252.
#include "infra/charset.h"

#include "cpu/cpu.h"
#include "utils/charset_paths.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace Orlix {
namespace Utils {

namespace {

#include "utils/cp1252_tables.inc"
#include "utils/gbk_tables.inc"

// Decoding a pair with a lead byte that has a page but a trail byte without a character
// gives this, the replacement character, for the whole pair.
constexpr unsigned short kReplacement = 0xFFFD;

// Single byte to UCS-2: ASCII to itself, 0x80 to the euro sign, the rest to the code point of
// the same value (so that Latin-1 text passes through).
inline unsigned short singleByteToUni(unsigned char byte)
{
    return byte == 0x80 ? 0x20AC : byte;
}

// The UTF-8 sequence table: one row per sequence length.
struct Utf8Row
{
    int cmask;
    int cval;
    int shift;
    long lmask;
    long lval;
};

constexpr Utf8Row kUtf8Rows[] = {
    {0x80, 0x00, 0 * 6, 0x7F, 0},               // 1 byte
    {0xE0, 0xC0, 1 * 6, 0x7FF, 0x80},           // 2 bytes
    {0xF0, 0xE0, 2 * 6, 0xFFFF, 0x800},         // 3 bytes
    {0xF8, 0xF0, 3 * 6, 0x1FFFFF, 0x10000},     // 4 bytes
    {0xFC, 0xF8, 4 * 6, 0x3FFFFFF, 0x200000},   // 5 bytes
    {0xFE, 0xFC, 5 * 6, 0x7FFFFFFF, 0x4000000}, // 6 bytes
    {0, 0, 0, 0, 0},                            // end
};

inline bool isCp1252Undefined(unsigned char byte)
{
    return byte == 0x81 || byte == 0x8D || byte == 0x8F || byte == 0x90 || byte == 0x9D;
}

// Bytes of the classic (up to six byte) UTF-8 form of cp.
inline int utf8Length(std::uint32_t cp)
{
    if (cp < 0x80)
        return 1;
    if (cp < 0x800)
        return 2;
    if (cp < 0x10000)
        return 3;
    if (cp < 0x200000)
        return 4;
    if (cp < 0x4000000)
        return 5;
    return 6;
}

// Writes the classic UTF-8 form of cp (utf8Length(cp) bytes).
inline unsigned char* putUtf8(unsigned char* out, std::uint32_t cp)
{
    static const unsigned char kLead[7] = {0, 0x00, 0xC0, 0xE0, 0xF0, 0xF8, 0xFC};
    const int n = utf8Length(cp);
    for (int k = n - 1; k > 0; --k) {
        out[k] = static_cast<unsigned char>(0x80 | (cp & 0x3F));
        cp >>= 6;
    }
    out[0] = static_cast<unsigned char>(kLead[n] | cp);
    return out + n;
}

// The 1252 byte for cp, or -1. Each code point occurs once in the table.
inline int cp1252FromUni(std::uint32_t cp)
{
    if (cp < 0x100)
        return kUniToCp1252Low[cp];
    for (const Cp1252High& entry : kUniToCp1252High) {
        if (entry.uni == cp)
            return entry.byte;
    }
    return -1;
}

// uni2char() with room for two bytes: the byte count, or -1.
int uni2charBytes(unsigned short uni, unsigned char* out)
{
    const unsigned short* page = kUniToDbcs[uni >> 8];
    if (page != nullptr) {
        const unsigned short code = page[uni & 0xFF];
        out[0] = static_cast<unsigned char>(code >> 8);
        out[1] = static_cast<unsigned char>(code);
        return code != 0 ? 2 : -1;
    }
    if (uni >= 0x100 || (uni & 0xFF) == 0)
        return -1;
    out[0] = static_cast<unsigned char>(uni);
    return 1;
}

// Direct tables for the hot loops, built from the page tables above at the first
// conversion that needs them (128 KiB each: building them costs a program that converts
// nothing neither the memory nor that much more binary and source).

// Code page 936 pair to UTF-8: for lead bytes 0x80..0xFF and any trail byte, the UTF-8 bytes
// in output order in the low three bytes and their count in the top byte. A pair that
// decodes to nothing gives the replacement character, as the per-character code does. 0
// where the pair is not one character: the lead byte has no page or the trail byte is 0.
struct GbkToUtf8Table
{
    std::uint32_t entry[128][256];

    GbkToUtf8Table() : entry()
    {
        for (int lead = 0x80; lead < 0x100; ++lead) {
            const unsigned short* page = kDbcsToUni[lead];
            if (page == nullptr)
                continue;
            for (int trail = 1; trail < 0x100; ++trail) {
                const std::uint32_t uni = page[trail] != 0 ? page[trail] : kReplacement;
                unsigned char bytes[4] = {};
                const auto n = static_cast<std::uint32_t>(putUtf8(bytes, uni) - bytes);
                entry[lead - 0x80][trail] = bytes[0] | std::uint32_t(bytes[1]) << 8 |
                                            std::uint32_t(bytes[2]) << 16 | n << 24;
            }
        }
    }
};

const GbkToUtf8Table& gbkToUtf8Table()
{
    static const GbkToUtf8Table table;
    return table;
}

// UCS-2 unit to code page 936 bytes in output order: a double byte (its second byte, the
// trail, is never 0), or one byte for U+0001..U+00FF (the high byte 0), or 0 where
// uni2char() fails.
struct UniToGbkTable
{
    std::uint16_t entry[0x10000];

    UniToGbkTable() : entry()
    {
        for (unsigned uni = 1; uni < 0x10000; ++uni) {
            unsigned char bytes[2] = {};
            const int n = uni2charBytes(static_cast<unsigned short>(uni), bytes);
            if (n == 2)
                entry[uni] = static_cast<std::uint16_t>(bytes[0] | bytes[1] << 8);
            else if (n == 1)
                entry[uni] = bytes[0];
        }
    }
};

const UniToGbkTable& uniToGbkTable()
{
    static const UniToGbkTable table;
    return table;
}

// Input bytes a hot loop takes between looks at the output room and the source budget.
constexpr int kChunk = 256;

} // namespace

int char2uni(const unsigned char* raw, int boundlen, unsigned short* uni)
{
    if (boundlen < 1)
        return -1;
    if (boundlen >= 2) {
        const unsigned short* page = kDbcsToUni[raw[0]];
        if (page != nullptr && raw[1] != 0) {
            *uni = page[raw[1]];
            return *uni != 0 ? 2 : -1;
        }
    }
    *uni = singleByteToUni(raw[0]);
    return 1;
}

int uni2char(unsigned short uni, unsigned char* out, int boundlen)
{
    if (boundlen < 1)
        return -1;
    if (boundlen < 2 && kUniToDbcs[uni >> 8] != nullptr)
        return -1;
    return uni2charBytes(uni, out);
}

int utf8_mbtowc(unsigned short* pwc, const unsigned char* s, int n)
{
    const int c0 = *s;
    long value = c0;
    int count = 0;
    for (const Utf8Row* row = kUtf8Rows; row->cmask != 0; ++row) {
        ++count;
        if ((c0 & row->cmask) == row->cval) {
            value &= row->lmask;
            if (value < row->lval)
                return -1; // overlong form
            *pwc = static_cast<unsigned short>(value);
            return count;
        }
        if (n <= count)
            return -1;
        const int c = (s[count] ^ 0x80) & 0xFF;
        if ((c & 0xC0) != 0)
            return -1; // not a continuation byte
        value = (value << 6) | c;
    }
    return -1;
}

int utf8_wctomb(unsigned char* s, unsigned short wc, int maxlen)
{
    if (s == nullptr)
        return 0;
    const long value = wc;
    int count = 0;
    for (const Utf8Row* row = kUtf8Rows; row->cmask != 0 && maxlen != 0; ++row, --maxlen) {
        ++count;
        if (value <= row->lmask) {
            int shift = row->shift;
            *s = static_cast<unsigned char>(row->cval | (value >> shift));
            while (shift > 0) {
                shift -= 6;
                *++s = static_cast<unsigned char>(0x80 | ((value >> shift) & 0x3F));
            }
            return count;
        }
    }
    return -1;
}

unsigned short GetUnicodeFromUtf8(const char* s, int* len)
{
    int ignored = 0;
    int& length = len != nullptr ? *len : ignored;
    length = 0;
    if (s == nullptr)
        return 0;
    unsigned int value = 0;
    int missing = 0; // continuation bytes still expected
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(s);; ++p) {
        const unsigned char c = *p;
        if (c == 0)
            return 0;
        if (c < 0x80) {
            if (missing != 0)
                break;
            length = 1;
            return c;
        }
        if (c >= 0xF0)
            break;
        if (c >= 0xC0) {
            if (missing != 0)
                break;
            const bool two = c < 0xE0;
            length = two ? 2 : 3;
            missing = two ? 1 : 2;
            value = c & (two ? 0x1F : 0x0F);
            continue;
        }
        if (missing == 0)
            break; // a continuation byte with no sequence open
        value = (value << 6) | (c & 0x3F);
        if (--missing == 0)
            break;
    }
    return static_cast<unsigned short>(value);
}

namespace Detail {

int gb2312ToUniWith(const AsciiPath& path, const char* src, unsigned short* dst, int dstCount)
{
    if (src == nullptr || dst == nullptr) {
        if (dst != nullptr && dstCount > 0)
            std::memset(dst, 0, sizeof(unsigned short) * static_cast<std::size_t>(dstCount));
        return 0;
    }
    const unsigned char* in = reinterpret_cast<const unsigned char*>(src);
    const int len = static_cast<int>(std::strlen(src));
    int pos = 0;
    int stored = 0;
    while (pos < len && stored < dstCount) {
        if (in[pos] < 0x80) {
            // A run of ASCII: its first bytes one by one (most runs in mixed text are
            // short), then whole blocks, then byte by byte to its end.
            const int first = pos;
            while (pos < len && stored < dstCount && in[pos] < 0x80 && pos - first < 16)
                dst[stored++] = in[pos++];
            if (pos - first == 16) {
                const std::size_t max =
                    static_cast<std::size_t>(std::min(len - pos, dstCount - stored));
                const int copied = static_cast<int>(path.widen(dst + stored, in + pos, max));
                pos += copied;
                stored += copied;
            }
            while (pos < len && stored < dstCount && in[pos] < 0x80)
                dst[stored++] = in[pos++];
        }
        // A run of bytes 0x80 and above, as char2uni() decodes them (a byte before the end
        // of the text is never 0, so a lead byte with a page there always takes two).
        while (pos < len && stored < dstCount && in[pos] >= 0x80) {
            const unsigned short* page = kDbcsToUni[in[pos]];
            if (page != nullptr && pos + 1 < len) {
                // A lead byte and a trail byte without a character: one replacement for
                // the pair.
                const unsigned short uni = page[in[pos + 1]];
                dst[stored++] = uni != 0 ? uni : kReplacement;
                pos += 2;
            } else {
                dst[stored++] = singleByteToUni(in[pos]);
                ++pos;
            }
        }
    }
    // The units after the last one stored are zero (the first of them is the terminator).
    if (stored < dstCount)
        std::memset(dst + stored, 0,
                    sizeof(unsigned short) * static_cast<std::size_t>(dstCount - stored));
    return stored;
}

} // namespace Detail

int UniTGb2312(const unsigned short* src, int srcCount, char* dst, int dstSize)
{
    if (dst != nullptr && dstSize > 0)
        std::memset(dst, 0, static_cast<std::size_t>(dstSize));
    if (src == nullptr || dst == nullptr)
        return 0;
    int written = 0;
    int converted = 0;
    for (; converted < srcCount && src[converted] != 0; ++converted) {
        unsigned char bytes[2];
        const int n = uni2char(src[converted], bytes, 2);
        if (n < 0)
            return -1;
        if (written + n > dstSize)
            break;
        std::memcpy(dst + written, bytes, static_cast<std::size_t>(n));
        written += n;
    }
    return converted;
}

int utf8_mbstowcs(unsigned short* pwcs, const unsigned char* s, int n)
{
    unsigned short* out = pwcs;
    while (n > 0 && *s != 0) {
        if (*s < 0x80) {
            *out++ = *s++;
            --n;
            continue;
        }
        const int size = utf8_mbtowc(out, s, n);
        if (size < 0) {
            ++s; // skip the offending byte and go on
            --n;
        } else {
            ++out;
            s += size;
            n -= size;
        }
    }
    return static_cast<int>(out - pwcs);
}

int utf8_wcstombs(unsigned char* s, const unsigned short* pwcs, int maxlen)
{
    unsigned char* out = s;
    for (; *pwcs != 0 && maxlen > 0; ++pwcs) {
        if (*pwcs < 0x80) {
            *out++ = static_cast<unsigned char>(*pwcs);
            --maxlen;
            continue;
        }
        const int size = utf8_wctomb(out, *pwcs, maxlen);
        if (size < 0) {
            --maxlen; // does not fit: the unit is skipped
        } else {
            out += size;
            maxlen -= size;
        }
    }
    return static_cast<int>(out - s);
}

namespace Detail {

// One pass with the result of Gb2312ToUni() followed by utf8_wcstombs() (the decoded units
// are never 0 and their count never reaches the scratch size those two would use), without
// the scratch buffer: the conversion's hot path.
int gb2312ToUtf8With(const AsciiPath& path, const char* src, unsigned char* dst, int dstSize)
{
    if (src == nullptr || dst == nullptr || *src == '\0')
        return 0;
    const unsigned char* in = reinterpret_cast<const unsigned char*>(src);
    unsigned char* out = dst;
    int budget = dstSize;
    // While the budget holds three bytes per input byte of a chunk (and one more, for the
    // four-byte stores), a chunk is converted without looking at it.
    const GbkToUtf8Table& table = gbkToUtf8Table();
    while (budget > 3 * kChunk + 4 && *in != 0) {
        if (*in < 0x80) {
            const std::size_t copied = path.copy(out, in, static_cast<std::size_t>(budget));
            in += copied;
            out += copied;
            budget -= static_cast<int>(copied);
            if (copied != 0)
                continue; // look at the budget again
        }
        const unsigned char* const stop = in + kChunk;
        unsigned char* const start = out;
        // Branches rather than arithmetic on the table entry choose how far to move: the
        // branches are predicted, while a position computed from a loaded entry would make
        // every character wait for the load of the one before.
        // A run of ASCII, then a run of double bytes, each in a loop of its own.
        while (in < stop) {
            unsigned c = *in;
            while (c - 1 < 0x7F && in < stop) {
                *out++ = static_cast<unsigned char>(c);
                c = *++in;
            }
            if (c == 0)
                break;
            while (c >= 0x80 && in < stop) {
                const std::uint32_t e = table.entry[c - 0x80][in[1]];
                if (e != 0) {
                    // The bytes by shifts, not by copying e: the table's order is the
                    // output's on every host byte order.
                    out[0] = static_cast<unsigned char>(e);
                    out[1] = static_cast<unsigned char>(e >> 8);
                    out[2] = static_cast<unsigned char>(e >> 16);
                    out += e >> 24;
                    in += 2;
                } else {
                    out = putUtf8(out, singleByteToUni(static_cast<unsigned char>(c)));
                    ++in;
                }
                c = *in;
            }
        }
        budget -= static_cast<int>(out - start);
    }
    while (budget > 0 && *in != 0) {
        unsigned int uni = *in;
        if (uni < 0x80) {
            // A run of ASCII: whole blocks first, then byte by byte to its end.
            const std::size_t copied = path.copy(out, in, static_cast<std::size_t>(budget));
            in += copied;
            out += copied;
            budget -= static_cast<int>(copied);
            while (budget > 0 && *in != 0 && *in < 0x80) {
                *out++ = *in++;
                --budget;
            }
            continue;
        }
        const unsigned short* page = kDbcsToUni[uni];
        if (page != nullptr && in[1] != 0) {
            uni = page[in[1]];
            if (uni == 0)
                uni = kReplacement;
            in += 2;
        } else {
            uni = singleByteToUni(*in);
            ++in;
        }
        const int need = uni < 0x80 ? 1 : uni < 0x800 ? 2 : 3;
        if (need > budget) {
            --budget; // does not fit: skipped, as utf8_wcstombs() skips it
            continue;
        }
        if (need == 3) {
            out[0] = static_cast<unsigned char>(0xE0 | (uni >> 12));
            out[1] = static_cast<unsigned char>(0x80 | ((uni >> 6) & 0x3F));
            out[2] = static_cast<unsigned char>(0x80 | (uni & 0x3F));
        } else {
            putUtf8(out, uni);
        }
        out += need;
        budget -= need;
    }
    // The whole of dst is defined: the bytes after the output are zero.
    const std::ptrdiff_t written = out - dst;
    if (dstSize > written)
        std::memset(out, 0, static_cast<std::size_t>(dstSize - written));
    return static_cast<int>(written);
}

// One pass with the result of utf8_mbstowcs() followed by UniTGb2312(), without the
// scratch buffer: each unit is converted as soon as it is decoded, so the conversion stops
// at the same unit (a zero unit, one without a double-byte form, or one that does not fit).
int utf8ToGb2312With(const AsciiPath& path, const unsigned char* src, char* dst, int srcBudget,
                     int dstSize)
{
    if (src == nullptr || dst == nullptr || *src == 0)
        return 0;
    const unsigned char* s = src;
    int n = srcBudget;
    unsigned char* const begin = reinterpret_cast<unsigned char*>(dst);
    unsigned char* out = begin;
    int written = 0;
    int converted = 0;
    int result = 0;
    // While the room holds two bytes per source byte of a chunk (and one more, for the
    // two-byte stores) and the budget covers the chunk and the longest sequence after it, a
    // chunk is converted without looking at either.
    const UniToGbkTable& table = uniToGbkTable();
    const Detail::Utf8ThreeFn three = path.three;
    while (dstSize - written > 2 * kChunk + 16 && n > kChunk + 8 && *s != 0) {
        if (*s < 0x80) {
            const std::size_t copied =
                path.copy(out, s, static_cast<std::size_t>(std::min(n, dstSize - written)));
            const int k = static_cast<int>(copied);
            s += k;
            n -= k;
            out += k;
            written += k;
            converted += k;
            if (k != 0)
                continue; // look at the room and the budget again
        }
        const unsigned char* const from = s;
        const unsigned char* const stop = s + kChunk;
        unsigned char* const start = out;
        int units = 0;
        bool end = false;
        // A run of ASCII, then a run of longer sequences, each in a loop of its own.
        while (s < stop) {
            unsigned c0 = *s;
            while (c0 - 1 < 0x7F && s < stop) {
                *out++ = static_cast<unsigned char>(c0);
                ++units;
                c0 = *++s;
            }
            if (c0 == 0)
                break;
            while (c0 >= 0x80 && s < stop) {
                if (three != nullptr && (c0 & 0xF0) == 0xE0) {
                    // A run of three-byte sequences, a block at a time; the character that
                    // ends it (if it is one) goes through the code below. Output room: the
                    // chunk so far wrote at most a byte per source byte, the blocks write 2
                    // per 3 and at most 16 bytes beyond.
                    const std::size_t k =
                        three(out, s, static_cast<std::size_t>(stop - s), table.entry);
                    s += 3 * k;
                    out += 2 * k;
                    units += static_cast<int>(k);
                    c0 = *s;
                    if (c0 < 0x80 || s >= stop)
                        continue;
                }
                unsigned short unit = 0;
                // s[2] is read only when s[1] is a continuation byte (so not the terminator).
                const unsigned c1 = s[1] ^ 0x80u;
                unsigned c2 = 0;
                if ((c0 & 0xF0) == 0xE0 && c1 < 0x40 && (c2 = s[2] ^ 0x80u) < 0x40) {
                    const unsigned value = ((c0 & 0x0Fu) << 12) | (c1 << 6) | c2;
                    if (value < 0x800) {
                        c0 = *++s; // overlong: skipped
                        continue;
                    }
                    unit = static_cast<unsigned short>(value);
                    s += 3;
                } else {
                    const int size = utf8_mbtowc(&unit, s, n - static_cast<int>(s - from));
                    if (size < 0) {
                        c0 = *++s;
                        continue;
                    }
                    s += size;
                }
                const std::uint16_t e = unit != 0 ? table.entry[unit] : 0;
                if (e == 0) {
                    // A zero unit ends the conversion; one without a code fails it.
                    result = unit == 0 ? converted + units : -1;
                    end = true;
                    break;
                }
                out[0] = static_cast<unsigned char>(e); // output order on any host
                out[1] = static_cast<unsigned char>(e >> 8);
                out += (e >> 8) != 0 ? 2 : 1;
                ++units;
                c0 = *s;
            }
            if (end)
                break;
        }
        n -= static_cast<int>(s - from);
        written += static_cast<int>(out - start);
        converted += units;
        if (end) {
            if (dstSize > written)
                std::memset(out, 0, static_cast<std::size_t>(dstSize - written));
            return result;
        }
    }
    for (;;) {
        if (n <= 0 || *s == 0) {
            result = converted;
            break;
        }
        if (*s < 0x80) {
            // A run of ASCII units, one byte each: whole blocks first, then byte by byte.
            const int room = dstSize - written;
            if (room > 0) {
                const std::size_t copied =
                    path.copy(out, s, static_cast<std::size_t>(std::min(n, room)));
                const int k = static_cast<int>(copied);
                s += k;
                n -= k;
                out += k;
                written += k;
                converted += k;
            }
            while (n > 0 && *s != 0 && *s < 0x80 && written < dstSize) {
                *out++ = *s++;
                --n;
                ++written;
                ++converted;
            }
            if (n > 0 && *s != 0 && *s < 0x80) {
                result = converted; // the next unit does not fit
                break;
            }
            continue;
        }
        unsigned short unit = 0;
        int size = 0;
        const unsigned char c0 = *s;
        if (c0 >= 0xE0 && c0 < 0xF0 && n >= 3 && (s[1] & 0xC0) == 0x80 && (s[2] & 0xC0) == 0x80) {
            // The common case, three bytes; the same value and overlong test as utf8_mbtowc().
            const unsigned value = ((c0 & 0x0Fu) << 12) | ((s[1] & 0x3Fu) << 6) | (s[2] & 0x3Fu);
            size = value < 0x800 ? -1 : 3;
            unit = static_cast<unsigned short>(value);
        } else {
            size = utf8_mbtowc(&unit, s, n);
        }
        if (size < 0) {
            ++s; // skipped, as utf8_mbstowcs() skips it
            --n;
            continue;
        }
        s += size;
        n -= size;
        if (unit == 0) {
            result = converted; // a zero unit ends the conversion
            break;
        }
        const unsigned short* page = kUniToDbcs[unit >> 8];
        if (page != nullptr) {
            const unsigned short code = page[unit & 0xFF];
            if (code == 0) {
                result = -1;
                break;
            }
            if (written + 2 > dstSize) {
                result = converted;
                break;
            }
            out[0] = static_cast<unsigned char>(code >> 8);
            out[1] = static_cast<unsigned char>(code);
            out += 2;
            written += 2;
        } else {
            if (unit >= 0x100 || (unit & 0xFF) == 0) {
                result = -1;
                break;
            }
            if (written + 1 > dstSize) {
                result = converted;
                break;
            }
            *out++ = static_cast<unsigned char>(unit);
            ++written;
        }
        ++converted;
    }
    // The whole of dst is defined: the bytes after the output are zero.
    if (dstSize > written)
        std::memset(out, 0, static_cast<std::size_t>(dstSize - written));
    return result;
}

namespace {

std::size_t noBlocks(unsigned char*, const unsigned char*, std::size_t)
{
    return 0;
}

std::size_t noWideBlocks(unsigned short*, const unsigned char*, std::size_t)
{
    return 0;
}

} // namespace

std::vector<AsciiPath> asciiPaths()
{
    const unsigned detected = Cpu::detectedFeatures();
    std::vector<AsciiPath> paths;
    paths.push_back({"portable", noBlocks, noWideBlocks, nullptr, 0, true});
#if defined(__x86_64__)
    // SSE2 is part of x86-64; the path is tied to the "sse" level so that ORLIX_CPU=portable
    // turns it off like the others (its three-byte blocks use SSSE3, which every CPU with
    // SSE4.2 has).
    const unsigned sse = Cpu::kSse42;
    const unsigned avx2 = Cpu::kAvx2;
    const unsigned avx512 = Cpu::kAvx2 | Cpu::kAvx512;
    paths.push_back(
        {"sse2", asciiCopySse2, asciiWidenSse2, utf8ThreeSsse3, sse, (detected & sse) == sse});
    paths.push_back(
        {"avx2", asciiCopyAvx2, asciiWidenAvx2, utf8ThreeSsse3, avx2, (detected & avx2) == avx2});
    paths.push_back({"avx512", asciiCopyAvx512, asciiWidenAvx512, utf8ThreeSsse3, avx512,
                     (detected & avx512) == avx512});
#else
    (void)detected;
#endif
    return paths;
}

} // namespace Detail

namespace {

// The path the public functions use: the last (fastest) one the CPU has and ORLIX_CPU
// allows. Chosen once, at the first call.
const Detail::AsciiPath& chosenAsciiPath()
{
    static const Detail::AsciiPath chosen =
        Cpu::lastAllowed(Detail::asciiPaths(), [](const Detail::AsciiPath& path) {
            return path.usable && Cpu::has(path.features);
        });
    return chosen;
}

} // namespace

int Gb2312ToUni(const char* src, unsigned short* dst, int dstCount)
{
    return Detail::gb2312ToUniWith(chosenAsciiPath(), src, dst, dstCount);
}

int Gb2312TUtf8(const char* src, unsigned char* dst, int dstSize)
{
    return Detail::gb2312ToUtf8With(chosenAsciiPath(), src, dst, dstSize);
}

int utf8TGb2312(const unsigned char* src, char* dst, int srcBudget, int dstSize)
{
    return Detail::utf8ToGb2312With(chosenAsciiPath(), src, dst, srcBudget, dstSize);
}

int cp1252_to_utf8(unsigned char* dst, int dstLen, const unsigned char* src, int srcLen)
{
    if (src == nullptr || srcLen <= 0)
        return -1;
    // Characters are converted up to the first undefined byte; it and all later bytes count
    // as U+0000, one zero byte each. The result is measured first so that a result that does
    // not fit leaves dst untouched.
    int mapped = 0;
    while (mapped < srcLen && !isCp1252Undefined(src[mapped]))
        ++mapped;
    long total = srcLen - mapped;
    for (int i = 0; i < mapped; ++i)
        total += utf8Length(kCp1252ToUni[src[i]]);
    if (dst == nullptr || total > dstLen)
        return static_cast<int>(total);
    unsigned char* out = dst;
    for (int i = 0; i < mapped; ++i)
        out = putUtf8(out, kCp1252ToUni[src[i]]);
    std::memset(out, 0, static_cast<std::size_t>(srcLen - mapped));
    return 0;
}

int utf8_to_cp1252(const unsigned char* src, int srcLen, unsigned char* dst)
{
    if (src == nullptr || dst == nullptr)
        return 0;
    int pos = 0;
    int written = 0;
    while (pos < srcLen) {
        const unsigned char lead = src[pos];
        if (lead >= 0x80 && lead < 0xC0)
            break; // a continuation byte where a character should start
        // Sequence length from the lead byte: 0xC0-0xDF 2, 0xE0-0xEF 3, 0xF0-0xF7 4,
        // 0xF8-0xFB 5, 0xFC-0xFF 6.
        int len = 1;
        if (lead >= 0xC0)
            len = lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : lead < 0xF8 ? 4 : lead < 0xFC ? 5 : 6;
        if (len > srcLen - pos)
            break; // the sequence runs past the source: stop without reading beyond it
        std::uint32_t cp = len == 1 ? lead : lead & (0x7Fu >> len);
        bool malformed = false;
        for (int k = 1; k < len && !malformed; ++k) {
            const unsigned char next = src[pos + k];
            malformed = (next & 0xC0) != 0x80;
            cp = (cp << 6) | (next & 0x3F);
        }
        if (malformed)
            break;
        pos += len;
        const int byte = cp1252FromUni(cp);
        if (byte >= 0)
            dst[written++] = static_cast<unsigned char>(byte);
    }
    return written;
}

} // namespace Utils
} // namespace Orlix
