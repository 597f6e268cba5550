// The orlix tool's conv command. Input: a mode byte (source and target character set, and
// whether to run the text behind almost a whole 48 KiB chunk of ASCII), then the text.
//
// What is checked against code written here, not the library:
// - UTF-8 input is accepted exactly when it is well formed (no overlong forms, surrogates,
//   values past U+10FFFF or five- and six-byte forms); a failure names the byte offset of the
//   first bad sequence and shows its lead byte and the continuation bytes after it; what was
//   converted before it is all that is written.
// - cp1252 converts by the published table (0x80-0x9F to their letters, the five undefined
//   bytes refused both ways); from UTF-8, a character outside the code page is refused with
//   its code point and offset.
// - gbk: gbk text converts to well-formed UTF-8 and back to the same bytes (but for the
//   documented one-way characters); from UTF-8 it fails only at a character it cannot
//   represent or at the first malformed sequence.
// - Running the text behind a long ASCII prefix gives the prefix and then the same output,
//   and the same message with offsets moved by the prefix's length: characters that straddle
//   two reading steps are carried over intact.
#include "cli_run.h"
#include "fuzz_check.h"

#include "common.h"

#include <cstdio>
#include <cstring>
#include <string>

using OrlixFuzz::check;

namespace {

const char* const kNames[3] = {"gbk", "utf8", "cp1252"};

// The length of the well-formed UTF-8 sequence at s[pos] (its value in *cp), or -1.
int utf8Length(const std::string& s, size_t pos, char32_t* cp)
{
    const unsigned char c = static_cast<unsigned char>(s[pos]);
    int n;
    char32_t v;
    if (c < 0x80) {
        *cp = c;
        return 1;
    } else if (c >= 0xC2 && c <= 0xDF) {
        n = 2, v = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
        n = 3, v = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        n = 4, v = c & 0x07;
    } else {
        return -1;
    }
    if (pos + static_cast<size_t>(n) > s.size())
        return -1;
    for (int i = 1; i < n; ++i) {
        const unsigned char t = static_cast<unsigned char>(s[pos + static_cast<size_t>(i)]);
        if ((t & 0xC0) != 0x80)
            return -1;
        v = v << 6 | (t & 0x3F);
    }
    if ((n == 3 && v < 0x800) || (n == 4 && (v < 0x10000 || v > 0x10FFFF)) ||
        (v >= 0xD800 && v <= 0xDFFF))
        return -1;
    *cp = v;
    return n;
}

std::string utf8Of(char32_t v)
{
    std::string s;
    if (v < 0x80) {
        s += static_cast<char>(v);
    } else if (v < 0x800) {
        s += static_cast<char>(0xC0 | v >> 6);
        s += static_cast<char>(0x80 | (v & 0x3F));
    } else if (v < 0x10000) {
        s += static_cast<char>(0xE0 | v >> 12);
        s += static_cast<char>(0x80 | (v >> 6 & 0x3F));
        s += static_cast<char>(0x80 | (v & 0x3F));
    } else {
        s += static_cast<char>(0xF0 | v >> 18);
        s += static_cast<char>(0x80 | (v >> 12 & 0x3F));
        s += static_cast<char>(0x80 | (v >> 6 & 0x3F));
        s += static_cast<char>(0x80 | (v & 0x3F));
    }
    return s;
}

// Code page 1252's 0x80-0x9F; 0 for the five undefined bytes.
const char32_t kCp1252High[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                  0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                  0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                  0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

char32_t cp1252ToUnicode(unsigned char b)
{
    return (b >= 0x80 && b <= 0x9F) ? kCp1252High[b - 0x80] : b;
}

int unicodeToCp1252(char32_t v)
{
    if (v < 0x80 || (v >= 0xA0 && v <= 0xFF))
        return static_cast<int>(v);
    for (int i = 0; i < 32; ++i) {
        if (kCp1252High[i] != 0 && kCp1252High[i] == v)
            return 0x80 + i;
    }
    return -1;
}

std::string invalidUtf8Message(const std::string& s, size_t pos)
{
    std::string line =
        "orlix: conv: invalid utf8 input at byte offset " + std::to_string(pos) + " (bytes ";
    size_t shown = 1;
    while (shown < 4 && pos + shown < s.size() &&
           (static_cast<unsigned char>(s[pos + shown]) & 0xC0) == 0x80)
        ++shown;
    char hex[8];
    for (size_t i = 0; i < shown; ++i) {
        std::snprintf(hex, sizeof(hex), i == 0 ? "%02x" : " %02x",
                      static_cast<unsigned char>(s[pos + i]));
        line += hex;
    }
    return line + ")\n";
}

// The message for the bad sequence at pos: a well-formed beginning of a multi-byte character
// that the input ends inside is "incomplete", anything else "invalid".
std::string badUtf8Message(const std::string& s, size_t pos)
{
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(s[i]); };
    const unsigned char lead = byte(pos);
    const size_t need = lead >= 0xC2 && lead <= 0xDF   ? 2
                        : lead >= 0xE0 && lead <= 0xEF ? 3
                        : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                       : 0;
    const size_t avail = s.size() - pos;
    bool cut = need != 0 && avail < need;
    if (cut && avail >= 2) {
        const unsigned char second = byte(pos + 1);
        const unsigned char low = lead == 0xE0 ? 0xA0 : lead == 0xF0 ? 0x90 : 0x80;
        const unsigned char high = lead == 0xED ? 0x9F : lead == 0xF4 ? 0x8F : 0xBF;
        cut = second >= low && second <= high;
        for (size_t i = pos + 2; cut && i < s.size(); ++i)
            cut = (byte(i) & 0xC0) == 0x80;
    }
    if (!cut)
        return invalidUtf8Message(s, pos);
    std::string line = "orlix: conv: incomplete utf8 character at the end of the input, byte offset " +
                       std::to_string(pos) + " (bytes ";
    char hex[8];
    for (size_t i = pos; i < s.size(); ++i) {
        std::snprintf(hex, sizeof(hex), i == pos ? "%02x" : " %02x", byte(i));
        line += hex;
    }
    return line + ")\n";
}

std::string unrepresentable(char32_t v, size_t pos, const char* target)
{
    char line[128];
    std::snprintf(line, sizeof(line),
                  "orlix: conv: U+%04X at byte offset %zu cannot be represented in %s\n",
                  static_cast<unsigned>(v), pos, target);
    return line;
}

OrlixFuzz::CliResult conv(int from, int to, const std::string& text)
{
    return OrlixFuzz::runCli(&Orlix::Cli::runConv,
                             {"conv", "--from", kNames[from], std::string("--to=") + kNames[to]},
                             text);
}

// out: the expected output, unless knownOut is false (gbk text of non-ASCII characters).
void checkOutcome(const OrlixFuzz::CliResult& r, bool ok, const std::string& out,
                  const std::string& message, const char* what, bool knownOut = true)
{
    OrlixFuzz::checkEqual(std::to_string(ok ? 0 : 1), std::to_string(r.status), what);
    OrlixFuzz::checkEqual(ok ? std::string() : message, r.err, what);
    if (knownOut)
        OrlixFuzz::checkEqual(out, r.out, what);
}

void checkConversion(int from, int to, const std::string& text, const OrlixFuzz::CliResult& r)
{
    if (from == 1) { // UTF-8 source: well formed up to the first bad sequence
        std::string out;
        bool knownOut = true; // false once gbk output holds a non-ASCII character
        for (size_t pos = 0; pos < text.size();) {
            char32_t v = 0;
            const int n = utf8Length(text, pos, &v);
            if (n < 0) {
                checkOutcome(r, false, out, badUtf8Message(text, pos),
                             "conv from utf8: invalid input", knownOut);
                return;
            }
            if (to == 0 && v < 0x80) {
                out += static_cast<char>(v);
            } else if (to == 0) {
                knownOut = false;
            }
            if (to == 1) {
                out += text.substr(pos, static_cast<size_t>(n));
            } else if (to == 2) {
                const int b = v > 0xFFFF ? -1 : unicodeToCp1252(v);
                if (b < 0) {
                    checkOutcome(r, false, out, unrepresentable(v, pos, "cp1252"),
                                 "conv utf8 to cp1252");
                    return;
                }
                out += static_cast<char>(b);
            } else if (r.status == 1 &&
                       r.err.find("cannot be represented in gbk") != std::string::npos) {
                // gbk refused a character: it must be a valid one, at a character boundary,
                // and it must be this one if we got to its offset.
                const std::string here = unrepresentable(v, pos, "gbk");
                if (r.err == here)
                    return;
            }
            pos += static_cast<size_t>(n);
        }
        if (to != 0)
            checkOutcome(r, true, out, std::string(), "conv from utf8: valid input");
        else
            check(r.status == 0 && r.err.empty(), "conv utf8 to gbk refused valid text");
        return;
    }
    if (from == 2) { // cp1252 source
        std::string out;
        for (size_t pos = 0; pos < text.size(); ++pos) {
            const unsigned char b = static_cast<unsigned char>(text[pos]);
            const char32_t v = cp1252ToUnicode(b);
            if (v == 0 && b != 0) {
                char line[96];
                std::snprintf(line, sizeof(line),
                              "orlix: conv: invalid cp1252 input at byte offset %zu (bytes %02x)\n",
                              pos, b);
                checkOutcome(r, false, out, line, "conv from cp1252: undefined byte");
                return;
            }
            if (to == 1)
                out += utf8Of(v);
            else if (to == 2)
                out += static_cast<char>(b);
            else if (r.status != 0)
                return; // gbk may refuse a letter
        }
        if (to != 0)
            checkOutcome(r, true, out, std::string(), "conv from cp1252: defined bytes");
        return;
    }
    // gbk source: valid output reads back.
    if (r.status == 0 && to == 1) {
        // Documented one-way cases: U+0080..U+00FF are written to gbk as single bytes (while
        // gbk double bytes such as A1 A4 read as some of them), and the euro sign that 0x80
        // reads as is not written back. Any text without them returns unchanged.
        bool oneWay = false;
        for (size_t pos = 0; pos < r.out.size();) {
            char32_t v = 0;
            const int n = utf8Length(r.out, pos, &v);
            check(n > 0, "conv gbk to utf8 wrote malformed UTF-8");
            oneWay = oneWay || (v >= 0x80 && v <= 0xFF) || v == 0x20AC;
            pos += static_cast<size_t>(n);
        }
        if (!oneWay) {
            const OrlixFuzz::CliResult back = conv(1, 0, r.out);
            OrlixFuzz::checkEqual(text, back.out, "gbk to utf8 and back differs");
            check(back.status == 0, "gbk to utf8 and back refused");
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const int from = (data[0] & 3) % 3;
    const int to = (data[0] >> 2 & 3) % 3;
    const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
    const OrlixFuzz::CliResult r = conv(from, to, text);
    checkConversion(from, to, text, r);

    if ((data[0] & 0xF0) == 0xF0) {
        // The same text behind ASCII that ends a little before the first reading step does
        // (one input in 16: a long run costs a hundred short ones).
        const size_t lead = Orlix::Cli::chunkSize - 1 - text.size() % 7;
        const OrlixFuzz::CliResult longer = conv(from, to, std::string(lead, 'a') + text);
        check(longer.status == r.status, "long input: another status");
        check(longer.out == std::string(lead, 'a') + r.out, "long input: other output");
        // The message: the same with every byte offset moved by lead.
        std::string moved = r.err;
        const std::string key = "byte offset ";
        const size_t at = moved.find(key);
        if (at != std::string::npos) {
            const size_t start = at + key.size();
            size_t end = start;
            while (end < moved.size() && moved[end] >= '0' && moved[end] <= '9')
                ++end;
            const unsigned long long offset = std::stoull(moved.substr(start, end - start));
            moved.replace(start, end - start, std::to_string(offset + lead));
        }
        check(longer.err == moved, "long input: another message");
    }
    return 0;
}
