/// @file
/// Character-set conversion: the Chinese double-byte code page, UCS-2, UTF-8 and code page 1252.
///
/// The double-byte code page goes by the name GB2312 in these functions; its tables are those
/// of code page 936 (GBK): ASCII and 0x80 (the euro sign) as single bytes, 21,791 characters
/// as a lead byte 0x81-0xFE followed by a trail byte. UCS-2 is 16-bit code units without
/// surrogate handling. Typical use:
///
///     unsigned char utf8[256];
///     int n = Orlix::Utils::Gb2312TUtf8(gbkText, utf8, sizeof(utf8));   // n UTF-8 bytes
///
/// Conventions shared by the functions:
///  - every function writes into caller buffers whose size it is told, and never past it;
///    which functions zero-fill or terminate their output is stated per function;
///  - a single byte 0x81-0xFF that does not start a double byte decodes to the code point of
///    the same value, and U+0001-U+00FF always encode to one byte of the same value, so
///    Latin-1 text passes through unchanged;
///  - a lead byte followed by a trail byte that has no character decodes, in Gb2312ToUni, to
///    U+FFFD for the pair, and conversion goes on after the pair;
///  - U+20AC is decoded from the single byte 0x80 but not encoded back (the UCS-2 to
///    double-byte direction has no single-byte entries above U+00FF); a small set of
///    compatibility characters (for example U+F900-U+FA2D) encode to the code of a close
///    character and so do not survive a round trip;
///  - UTF-8 is decoded the permissive classic way: sequences of up to six bytes, values above
///    U+FFFF truncated to 16 bits, no check for surrogates.
///
/// Thread-safety: reentrant; the tables are constant data.
///
/// Failure: no function logs or asserts; results of -1 or 0 report failures as listed below.
#ifndef ORLIX_INFRA_CHARSET_H
#define ORLIX_INFRA_CHARSET_H

#include "infra/defs.h"

namespace Orlix {
namespace Utils {

// Single characters ----------------------------------------------------------------------

/// Decodes the double-byte character at raw, reading at most boundlen bytes, into *uni.
/// Returns 2 for a double byte (a lead byte with a page and a non-zero trail byte), storing its
/// UCS-2 value, or -1 storing 0 when that pair has no character. Otherwise decodes one byte
/// and returns 1. Returns -1 when boundlen is below 1.
ORLIX_API int char2uni(const unsigned char* raw, int boundlen, unsigned short* uni);

/// Encodes uni into out, writing at most boundlen bytes. Returns 2 for a double byte, 1 for
/// U+0001-U+00FF (written as the byte of the same value), -1 when uni has no code (U+0000
/// included) or boundlen is too small.
ORLIX_API int uni2char(unsigned short uni, unsigned char* out, int boundlen);

/// Decodes one UTF-8 sequence of up to six bytes at s, reading at most n bytes, into *pwc
/// (truncated to 16 bits). Returns the sequence length, or -1 for an invalid or overlong
/// sequence or one that needs more than n bytes.
ORLIX_API int utf8_mbtowc(unsigned short* pwc, const unsigned char* s, int n);

/// Encodes wc as UTF-8 into s, writing at most maxlen bytes. Returns the length (1 to 3), 0
/// when s is null, -1 when maxlen is too small.
ORLIX_API int utf8_wctomb(unsigned char* s, unsigned short wc, int maxlen);

/// Decodes the first character of the zero-terminated UTF-8 text s (one to three bytes) and
/// returns it; *len receives the sequence length (1, 2 or 3; 0 when s starts with a zero,
/// a continuation byte or a lead byte of four or more bytes). A sequence cut short by a zero
/// byte gives 0; by another lead byte or an ASCII byte, the bits gathered so far.
ORLIX_API unsigned short GetUnicodeFromUtf8(const char* s, int* len);

// Strings --------------------------------------------------------------------------------

/// Converts the zero-terminated double-byte text src to UCS-2. Zero-fills dst (dstCount
/// units), stores at most dstCount units and a terminating 0 when room is left. Returns the
/// number of units stored, 0 when src or dst is null.
ORLIX_API int Gb2312ToUni(const char* src, unsigned short* dst, int dstCount);

/// Converts at most srcCount units of src (stopping at a 0 unit) to the double-byte code
/// page. Zero-fills dst (dstSize bytes) and stops before a character that would not fit, so
/// the output is terminated while it is shorter than dstSize. Returns the number of source
/// units converted (not bytes), or -1 at the first unit that has no code.
ORLIX_API int UniTGb2312(const unsigned short* src, int srcCount, char* dst, int dstSize);

/// Converts UTF-8 to UCS-2, reading at most n bytes of s and stopping at a zero byte.
/// Invalid bytes are skipped one at a time. Returns the number of units stored in pwcs (at
/// most n); no terminator is written.
ORLIX_API int utf8_mbstowcs(unsigned short* pwcs, const unsigned char* s, int n);

/// Converts the 0-terminated UCS-2 text pwcs to UTF-8, writing at most maxlen bytes to s; a
/// unit whose encoding does not fit in what is left is skipped. Returns the number of bytes
/// written; no terminator is written.
ORLIX_API int utf8_wcstombs(unsigned char* s, const unsigned short* pwcs, int maxlen);

/// Converts the zero-terminated double-byte text src to UTF-8 in dst, which is zero-filled
/// first (dstSize bytes) and receives at most dstSize bytes; the result equals Gb2312ToUni
/// followed by utf8_wcstombs (a character that does not fit in what is left is skipped).
/// Returns the UTF-8 byte count; 0 when a pointer is null or src is empty. Allocates nothing.
ORLIX_API int Gb2312TUtf8(const char* src, unsigned char* dst, int dstSize);

/// Converts UTF-8 (at most srcBudget bytes of src, stopping at a zero byte) to the
/// double-byte code page in dst, as UniTGb2312 does with dstSize. Returns UniTGb2312's result
/// (source characters converted, or -1 at a character without a code); 0 when a pointer is
/// null, src is empty or scratch memory cannot be had.
ORLIX_API int utf8TGb2312(const unsigned char* src, char* dst, int srcBudget, int dstSize);

/// Converts srcLen bytes of code page 1252 to UTF-8. The conversion of characters stops at the
/// first of the five undefined bytes (0x81, 0x8D, 0x8F, 0x90, 0x9D): it and every later byte
/// become U+0000, one zero byte each. When the whole result fits in dstLen bytes it is written
/// to dst and the call returns 0; otherwise dst is left untouched and the call returns the
/// length needed. Returns -1 when src is null or srcLen is 0 or below. No terminator.
ORLIX_API int cp1252_to_utf8(unsigned char* dst, int dstLen, const unsigned char* src, int srcLen);

/// Converts srcLen bytes of UTF-8 to code page 1252 in dst (room for srcLen bytes needed).
/// Characters without a 1252 byte are dropped. The walk stops at a stray continuation byte, at
/// a malformed sequence and at a sequence that runs past srcLen; what was converted before
/// stays. Returns the number of bytes written; no terminator.
ORLIX_API int utf8_to_cp1252(const unsigned char* src, int srcLen, unsigned char* dst);

} // namespace Utils
} // namespace Orlix

#endif // ORLIX_INFRA_CHARSET_H
