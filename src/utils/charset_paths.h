// Code page 936 conversions with a chosen ASCII block copier (internal header).
//
// The conversions between code page 936, UCS-2 and UTF-8 spend most of their time on runs
// of ASCII in mixed text. An AsciiPath copies such runs a block at a time (16, 32 or 64
// bytes with SSE2, AVX2 or AVX-512), and the UTF-8 to code page 936 conversion decodes runs
// of three-byte sequences (most of CJK text) several at a time. Everything else, and every
// character a block does not take, goes through the same per-character code on every path,
// so the output does not depend on the path. The portable path takes no blocks at all and is
// the reference.
//
// The public functions of infra/charset.h use the fastest path the CPU has and ORLIX_CPU
// allows, chosen once per process at the first call; tests call each path through
// asciiPaths() and the ...With() functions.
#ifndef ORLIX_UTILS_CHARSET_PATHS_H
#define ORLIX_UTILS_CHARSET_PATHS_H

#include <cstddef>
#include <cstdint>
#include <vector>

namespace Orlix {
namespace Utils {
namespace Detail {

// Copies the leading bytes of src that are in 0x01..0x7F to dst, in whole blocks, at most
// max bytes; returns how many (a multiple of the block size, often 0). src is a position in
// a zero-terminated text; the copier never reads a block that could reach beyond the page
// holding its terminator.
using AsciiCopyFn = std::size_t (*)(unsigned char* dst, const unsigned char* src, std::size_t max);
// The same, widening each byte to a 16-bit unit.
using AsciiWidenFn = std::size_t (*)(unsigned short* dst, const unsigned char* src,
                                     std::size_t max);

// Converts the leading well-formed three-byte UTF-8 sequences of src (not overlong, with a
// nonzero entry in table, the UCS-2 to code page 936 table: always a double byte for these)
// a block at a time, within the first max bytes of src; returns how many characters (3
// source bytes and 2 output bytes each). Stops before the first character it does not take,
// or where a block would not fit in max. Writes up to 16 bytes past the output it reports
// (dst needs room for 2 * max / 3 + 16 bytes). src is a position in a zero-terminated text,
// read as AsciiCopyFn reads it.
using Utf8ThreeFn = std::size_t (*)(unsigned char* dst, const unsigned char* src, std::size_t max,
                                    const std::uint16_t* table);

struct AsciiPath
{
    const char* name; // "portable", "sse2", "avx2", "avx512"
    AsciiCopyFn copy;
    AsciiWidenFn widen;
    Utf8ThreeFn three; // null on the portable path
    unsigned features; // Cpu::Feature bits the path needs
    bool usable;       // the running CPU has those features (whatever ORLIX_CPU says)
};

// Every path built into the library, the portable one first.
std::vector<AsciiPath> asciiPaths();

// Gb2312ToUni(), Gb2312TUtf8() and utf8TGb2312() with the given path.
int gb2312ToUniWith(const AsciiPath& path, const char* src, unsigned short* dst, int dstCount);
int gb2312ToUtf8With(const AsciiPath& path, const char* src, unsigned char* dst, int dstSize);
int utf8ToGb2312With(const AsciiPath& path, const unsigned char* src, char* dst, int srcBudget,
                     int dstSize);

#if defined(__x86_64__)
std::size_t asciiCopySse2(unsigned char* dst, const unsigned char* src, std::size_t max);
std::size_t asciiWidenSse2(unsigned short* dst, const unsigned char* src, std::size_t max);
std::size_t asciiCopyAvx2(unsigned char* dst, const unsigned char* src, std::size_t max);
std::size_t asciiWidenAvx2(unsigned short* dst, const unsigned char* src, std::size_t max);
std::size_t asciiCopyAvx512(unsigned char* dst, const unsigned char* src, std::size_t max);
std::size_t asciiWidenAvx512(unsigned short* dst, const unsigned char* src, std::size_t max);
std::size_t utf8ThreeSsse3(unsigned char* dst, const unsigned char* src, std::size_t max,
                           const std::uint16_t* table);
#endif

} // namespace Detail
} // namespace Utils
} // namespace Orlix

#endif // ORLIX_UTILS_CHARSET_PATHS_H
