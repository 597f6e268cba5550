// orlix conv --from CHARSET --to CHARSET [--lenient]: text conversion between code page 936,
// UTF-8 and code page 1252, one character at a time through the library's converters.
// (From UTF-8 to code page 936, runs of valid text go through the string conversion, which
// gives the same bytes faster; a run with a character it cannot convert goes one by one.)
//
// Every character is decoded to a code point and encoded again, so a failure is known at the
// character that caused it and reported with its byte offset. The library's converters are
// lenient by design (a string function skips or zero-fills what it cannot convert); the tool
// calls the single-character forms and turns each of their failures into an error instead.
// Where the single-character decoder for code page 936 itself replaces (a byte no table of
// the code page maps, a double byte cut short), the tool reports an error too, unless
// --lenient asks for the library's replacement.
#include "common.h"

#include "infra/charset.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>
#include <vector>

namespace Orlix {
namespace Cli {
namespace {

enum class Charset
{
    gbk,
    utf8,
    cp1252
};

bool parseCharset(std::string name, Charset* charset)
{
    for (char& c : name)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    static const struct
    {
        const char* name;
        Charset charset;
    } names[] = {{"gbk", Charset::gbk},
                 {"cp936", Charset::gbk},
                 {"gb2312", Charset::gbk},
                 {"utf8", Charset::utf8},
                 {"utf-8", Charset::utf8},
                 {"cp1252", Charset::cp1252},
                 {"windows-1252", Charset::cp1252}};
    for (const auto& entry : names) {
        if (name == entry.name) {
            *charset = entry.charset;
            return true;
        }
    }
    return false;
}

const char* charsetName(Charset charset)
{
    return charset == Charset::gbk ? "gbk" : charset == Charset::utf8 ? "utf8" : "cp1252";
}

// The longest byte sequence one character of the charset can take, as far as the decoder
// reads: the library's UTF-8 decoder looks at up to six bytes.
std::size_t longestSequence(Charset charset)
{
    return charset == Charset::gbk ? 2 : charset == Charset::utf8 ? 6 : 1;
}

bool isCp1252Undefined(char32_t cp)
{
    return cp == 0x81 || cp == 0x8D || cp == 0x8F || cp == 0x90 || cp == 0x9D;
}

// Decoders: the length of the character at p (avail bytes, at least 1) with its code point
// in *cp, or -1 when the bytes are not a valid character.

int decodeGbk(const unsigned char* p, std::size_t avail, char32_t* cp)
{
    unsigned short uni = 0;
    const int length = Utils::char2uni(p, avail >= 2 ? 2 : 1, &uni);
    *cp = uni;
    return length; // -1 for a lead byte followed by a trail byte without a character
}

// True when the byte at p stands for nothing in code page 936 although the library's decoder
// gives it a code point: 0xFF, or a lead byte 0x81-0xFE without its trail byte (at the end
// of the input, or before a zero byte). The decoder falls back to the single-byte table,
// which maps these bytes to the code points of the same value.
bool isGbkReplacement(const unsigned char* p, std::size_t avail)
{
    return p[0] == 0xFF || (p[0] >= 0x81 && (avail < 2 || p[1] == 0));
}

// The length of the UTF-8 sequence that lead byte c starts, 0 when it starts none.
std::size_t utf8SequenceLength(unsigned char c)
{
    return c >= 0xC2 && c <= 0xDF ? 2 : c >= 0xE0 && c <= 0xEF ? 3 : c >= 0xF0 && c <= 0xF4 ? 4 : 0;
}

// True when the byte after lead byte c can continue a well-formed UTF-8 sequence (no overlong
// form, no surrogate, nothing above U+10FFFF).
bool isUtf8Second(unsigned char c, unsigned char next)
{
    const unsigned char low = c == 0xE0 ? 0xA0 : c == 0xF0 ? 0x90 : 0x80;
    const unsigned char high = c == 0xED ? 0x9F : c == 0xF4 ? 0x8F : 0xBF;
    return next >= low && next <= high;
}

// True when the avail bytes at p, the last of the input, are the start of a multi-byte
// character that the input ends inside.
bool isCutShort(Charset charset, const unsigned char* p, std::size_t avail)
{
    if (charset == Charset::gbk)
        return avail == 1 && p[0] >= 0x81 && p[0] <= 0xFE;
    if (charset != Charset::utf8 || avail >= utf8SequenceLength(p[0]))
        return false;
    if (avail >= 2 && !isUtf8Second(p[0], p[1]))
        return false;
    for (std::size_t i = 2; i < avail; ++i) {
        if ((p[i] & 0xC0) != 0x80)
            return false;
    }
    return true;
}

int decodeUtf8(const unsigned char* p, std::size_t avail, char32_t* cp)
{
    unsigned short uni = 0;
    const int length = Utils::utf8_mbtowc(&uni, p, avail >= 6 ? 6 : static_cast<int>(avail));
    // The library's decoder accepts the historical five- and six-byte forms and surrogate
    // code points, and keeps 16 bits of longer values; well-formed UTF-8 has none of these.
    if (length < 0 || length > 4 || (length == 3 && uni >= 0xD800 && uni <= 0xDFFF))
        return -1;
    if (length == 4) {
        *cp = char32_t(p[0] & 0x07) << 18 | char32_t(p[1] & 0x3F) << 12 |
              char32_t(p[2] & 0x3F) << 6 | char32_t(p[3] & 0x3F);
        return *cp <= 0x10FFFF ? 4 : -1;
    }
    *cp = uni;
    return length;
}

int decodeCp1252(const unsigned char* p, char32_t* cp)
{
    // cp1252_to_utf8 turns an undefined byte into a zero byte; a real zero byte stays one.
    unsigned char utf8[8] = {};
    if (Utils::cp1252_to_utf8(utf8, sizeof(utf8), p, 1) != 0 || (utf8[0] == 0 && p[0] != 0))
        return -1;
    unsigned short uni = 0;
    Utils::utf8_mbtowc(&uni, utf8, 3);
    *cp = uni;
    return 1;
}

// Encoders: the number of bytes written to out (room for 4), or -1 when the target cannot
// represent cp.

int encodeGbk(char32_t cp, unsigned char* out)
{
    if (cp == 0) { // the library's encoder reserves U+0000 as its "no character" value
        out[0] = 0;
        return 1;
    }
    if (cp > 0xFFFF)
        return -1;
    const int length = Utils::uni2char(static_cast<unsigned short>(cp), out, 2);
    return length > 0 ? length : -1;
}

int encodeUtf8(char32_t cp, unsigned char* out)
{
    return Utils::utf8_wctomb(out, static_cast<unsigned short>(cp), 3);
}

int encodeCp1252(char32_t cp, unsigned char* out)
{
    // The library maps the five undefined bytes to the code points of the same value when
    // encoding; the tool refuses them so that everything it writes converts back.
    if (cp > 0xFFFF || isCp1252Undefined(cp))
        return -1;
    unsigned char utf8[4];
    const int length = Utils::utf8_wctomb(utf8, static_cast<unsigned short>(cp), 3);
    return Utils::utf8_to_cp1252(utf8, length, out) == 1 ? 1 : -1;
}

class CConverter
{
public:
    CConverter(Charset from, Charset to, bool lenient)
        : m_from(from), m_to(to), m_lenient(lenient), m_in(chunkSize + longestSequence(from)),
          m_out(chunkSize * 4)
    {}

    int run()
    {
        CInput input;
        input.open("-");
        const std::size_t keep = longestSequence(m_from);
        std::size_t have = 0;
        for (;;) {
            const std::size_t n = input.read(m_in.data() + have, chunkSize);
            const bool end = n < chunkSize;
            have += n;
            // Before the end, stop while a character could still continue into the next
            // chunk; the bytes left over move to the front.
            std::size_t pos = 0;
            std::size_t outSize = 0;
            while (pos < have && (end || have - pos >= keep)) {
                if (m_from == Charset::utf8 && m_to == Charset::gbk) {
                    const std::size_t done = convertValidUtf8ToGbk(pos, have, end, &outSize);
                    pos += done;
                    if (done != 0)
                        continue;
                }
                const int length = convertOne(pos, have, end, &outSize);
                if (length < 0) {
                    writeOut(m_out.data(), outSize);
                    return exitFailure;
                }
                pos += static_cast<std::size_t>(length);
            }
            if (!writeOut(m_out.data(), outSize))
                return exitFailure;
            std::memmove(m_in.data(), m_in.data() + pos, have - pos);
            have -= pos;
            m_offset += pos;
            if (end)
                break;
        }
        if (input.failed()) {
            printReadError("standard input", input.error());
            return exitFailure;
        }
        return exitOk;
    }

private:
    // The common case from UTF-8 to code page 936, valid text, through the string
    // conversion: converts the longest run at m_in[pos] of characters that the
    // per-character code would convert the same way (nonzero ASCII, two- and three-byte
    // sequences that are well formed; each starting where that code would take it in this
    // chunk), appending to m_out at *outSize, and returns its length in bytes; 0 when the run
    // is too short to be worth it or holds a character without a code page 936 form. In that
    // case the run is left to the per-character code, which reports the error at its offset
    // (and the run is not looked at again).
    std::size_t convertValidUtf8ToGbk(std::size_t pos, std::size_t have, bool end,
                                      std::size_t* outSize)
    {
        if (m_offset + pos < m_slowUntil)
            return 0;
        const unsigned char* p = m_in.data() + pos;
        const std::size_t avail = have - pos;
        // Before the end of the input, a character is taken only where at least the
        // longest sequence's bytes are left, as in run().
        const std::size_t starts = end ? avail : avail - longestSequence(Charset::utf8) + 1;
        std::size_t n = 0;
        while (n < starts) {
            const unsigned char c = p[n];
            if (c >= 0x01 && c < 0x80) {
                ++n;
                continue;
            }
            const std::size_t length = utf8SequenceLength(c);
            if ((length != 2 && length != 3) || avail - n < length || !isUtf8Second(c, p[n + 1]) ||
                (length == 3 && (p[n + 2] & 0xC0) != 0x80))
                break;
            n += length;
        }
        // Short runs (text with many errors, or the end of a chunk) go one by one.
        if (n < 64)
            return 0;
        // The output is never longer than the input and holds no zero byte (ASCII, double
        // bytes, single bytes U+0080..U+00FF); the string conversion zero-fills the rest of
        // its room, which tells where the output ends.
        char* out = reinterpret_cast<char*>(m_out.data() + *outSize);
        const std::size_t room = std::min(m_out.size() - *outSize, n + 1024);
        if (Utils::utf8TGb2312(p, out, static_cast<int>(n), static_cast<int>(room)) < 0) {
            m_slowUntil = m_offset + pos + n;
            return 0;
        }
        *outSize += static_cast<std::size_t>(std::find(out, out + room, '\0') - out);
        return n;
    }

    // Converts the character at m_in[pos] into m_out at *outSize; m_in holds have bytes, the
    // last of the input when end is true. Returns its length in the input, or -1 after
    // reporting why it cannot be converted.
    int convertOne(std::size_t pos, std::size_t have, bool end, std::size_t* outSize)
    {
        const unsigned char* p = m_in.data() + pos;
        const std::size_t avail = have - pos;
        // Fewer bytes than a character can take are left only at the end of the input (the
        // bytes at the end of a chunk wait for the next one).
        if (end && !m_lenient && isCutShort(m_from, p, avail)) {
            printError("conv: incomplete %s character at the end of the input, byte offset %llu "
                       "(bytes %s)",
                       charsetName(m_from), m_offset + pos, hexBytes(p, avail).c_str());
            return -1;
        }
        if (m_from == Charset::gbk && !m_lenient && isGbkReplacement(p, avail))
            return invalidInput(p, avail, pos);
        char32_t cp = 0;
        const int length = m_from == Charset::gbk    ? decodeGbk(p, avail, &cp)
                           : m_from == Charset::utf8 ? decodeUtf8(p, avail, &cp)
                                                     : decodeCp1252(p, &cp);
        if (length < 0)
            return invalidInput(p, avail, pos);
        unsigned char* out = m_out.data() + *outSize;
        int written;
        if (m_to == Charset::utf8 && cp > 0xFFFF) {
            // Only UTF-8 input gets here; its sequence was checked by decodeUtf8.
            std::memcpy(out, p, static_cast<std::size_t>(length));
            written = length;
        } else {
            written = m_to == Charset::gbk    ? encodeGbk(cp, out)
                      : m_to == Charset::utf8 ? encodeUtf8(cp, out)
                                              : encodeCp1252(cp, out);
        }
        if (written < 0) {
            printError("conv: U+%04X at byte offset %llu cannot be represented in %s",
                       static_cast<unsigned int>(cp), m_offset + pos, charsetName(m_to));
            return -1;
        }
        *outSize += static_cast<std::size_t>(written);
        return length;
    }

    int invalidInput(const unsigned char* p, std::size_t avail, std::size_t pos)
    {
        // Show the bytes the decoder looked at: a double byte, or a UTF-8 lead byte and the
        // continuation bytes after it.
        std::size_t shown = 1;
        if (m_from == Charset::gbk && avail >= 2)
            shown = 2;
        while (m_from == Charset::utf8 && shown < avail && shown < 4 && (p[shown] & 0xC0) == 0x80)
            ++shown;
        // The byte 0xFF stands alone, whatever follows it.
        if (m_from == Charset::gbk && p[0] == 0xFF)
            shown = 1;
        printError("conv: invalid %s input at byte offset %llu (bytes %s)", charsetName(m_from),
                   m_offset + pos, hexBytes(p, shown).c_str());
        return -1;
    }

    // "e4 b8": the n bytes at p in hexadecimal.
    static std::string hexBytes(const unsigned char* p, std::size_t n)
    {
        std::string bytes;
        for (std::size_t i = 0; i < n; ++i) {
            char hex[8];
            std::snprintf(hex, sizeof(hex), i == 0 ? "%02x" : " %02x", p[i]);
            bytes += hex;
        }
        return bytes;
    }

    Charset m_from;
    Charset m_to;
    bool m_lenient;                     // replace as the library's decoder does instead of failing
    std::vector<unsigned char> m_in;    // a chunk plus the bytes carried over from the last
    std::vector<unsigned char> m_out;   // the converted chunk; 4 bytes per input byte at most
    unsigned long long m_offset = 0;    // input offset of m_in[0]
    unsigned long long m_slowUntil = 0; // input offset before which runs go one by one
};

void printHelp()
{
    std::printf("Usage: orlix conv --from CHARSET --to CHARSET [--lenient]\n\n"
                "Convert text from standard input to standard output. CHARSET is one of:\n"
                "  gbk      the Chinese double-byte code page 936 (also: cp936, gb2312)\n"
                "  utf8     UTF-8 (also: utf-8)\n"
                "  cp1252   the Western European code page 1252 (also: windows-1252)\n\n"
                "Input that is not valid in the source character set (including a multi-byte\n"
                "character that the input ends inside), and a character the target cannot\n"
                "represent, end the conversion with an error that gives the byte offset in the\n"
                "input; the output written up to there is incomplete. Nothing is dropped or\n"
                "replaced silently. UTF-8 input must be well formed (no surrogates, nothing\n"
                "above U+10FFFF). Characters above U+FFFF convert only to UTF-8.\n\n"
                "  --lenient  from gbk, decode the bytes code page 936 has no character for\n"
                "             as the library does instead of failing: the byte ff, and a byte\n"
                "             81-fe at the end of the input or before a zero byte, become the\n"
                "             code point of the same value (without it, an error as in iconv)\n\n"
                "Where this differs from glibc iconv (CP936, CP1252), following the library's\n"
                "documented conversion rules:\n"
                "  - to gbk, U+0080-U+00FF become the single byte of the same value (iconv: a\n"
                "    double byte for the 20 of them code page 936 has, such as U+00B7 -> a1 a4,\n"
                "    and an error for the rest);\n"
                "  - to gbk, U+20AC (euro sign) is an error (iconv: the byte 80);\n"
                "  - to gbk, 380 compatibility characters (U+F900-U+FA2D and a few others)\n"
                "    become the code of a close character (iconv: an error).\n"
                "UTF-8 and code page 1252 agree with iconv: the five bytes code page 1252 leaves\n"
                "undefined (81, 8d, 8f, 90, 9d) are errors in both directions.\n\n"
                "Exit status: 0 success, 1 invalid input, an unrepresentable character or an\n"
                "I/O error, 2 usage error.\n");
}

} // namespace

int runConv(int argc, char** argv)
{
    std::string fromName, toName;
    bool lenient = false;
    for (int i = 1; i < argc; ++i) {
        if (isHelpOption(argv[i]))
            return printHelp(), exitOk;
        if (std::strcmp(argv[i], "--lenient") == 0) {
            lenient = true;
            continue;
        }
        OptionMatch match = matchValueOption(argc, argv, &i, "--from", &fromName);
        const char* option = "--from";
        if (match == OptionMatch::no) {
            match = matchValueOption(argc, argv, &i, "--to", &toName);
            option = "--to";
        }
        if (match == OptionMatch::missingValue)
            return usageError("conv", "option '%s' needs a character set", option);
        if (match == OptionMatch::no)
            return usageError("conv", "%s '%s'",
                              argv[i][0] == '-' ? "unknown option" : "unexpected argument",
                              argv[i]);
    }
    if (fromName.empty() || toName.empty())
        return usageError("conv", "both --from and --to are required");
    Charset from, to;
    if (!parseCharset(fromName, &from))
        return usageError("conv", "unknown character set '%s' (gbk, utf8 or cp1252)",
                          fromName.c_str());
    if (!parseCharset(toName, &to))
        return usageError("conv", "unknown character set '%s' (gbk, utf8 or cp1252)",
                          toName.c_str());
    return CConverter(from, to, lenient).run();
}

} // namespace Cli
} // namespace Orlix
