// The orlix tool's base64 command against an independent strict decoder written from its
// documented rules: white space ignored anywhere; '=' only after two or three characters of a
// group and only as many as complete it; nothing but white space after the padding; a lone
// character after the last group an error; padding optional. Status, output and message (with
// the byte offset of the offending byte) must all agree. Encoding arbitrary bytes must give
// the standard text and a newline, and decode back. Some inputs are preceded by almost a whole
// chunk of valid text, so that the fuzzed part straddles the tool's 48 KiB reading steps.
#include "cli_run.h"
#include "fuzz_check.h"

#include "common.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>

using OrlixFuzz::check;

namespace {

const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int valueOf(unsigned char c)
{
    const char* p = c != 0 ? std::strchr(kAlphabet, c) : nullptr;
    return p != nullptr ? static_cast<int>(p - kAlphabet) : -1;
}

std::string decodeGroups(const std::string& text)
{
    std::string out;
    unsigned bits = 0;
    int count = 0;
    for (const char c : text) {
        bits = bits << 6 | static_cast<unsigned>(valueOf(static_cast<unsigned char>(c)));
        if (++count == 4) {
            out += static_cast<char>(bits >> 16);
            out += static_cast<char>(bits >> 8);
            out += static_cast<char>(bits);
            bits = 0;
            count = 0;
        }
    }
    if (count == 2)
        out += static_cast<char>(bits >> 4);
    else if (count == 3) {
        out += static_cast<char>(bits >> 10);
        out += static_cast<char>(bits >> 2);
    }
    return out;
}

std::string encode(const std::string& bytes)
{
    std::string out;
    for (size_t i = 0; i < bytes.size(); i += 3) {
        const size_t n = bytes.size() - i < 3 ? bytes.size() - i : 3;
        unsigned v = 0;
        for (size_t j = 0; j < 3; ++j)
            v = v << 8 | (j < n ? static_cast<unsigned char>(bytes[i + j]) : 0u);
        out += kAlphabet[v >> 18 & 63];
        out += kAlphabet[v >> 12 & 63];
        out += n > 1 ? kAlphabet[v >> 6 & 63] : '=';
        out += n > 2 ? kAlphabet[v & 63] : '=';
    }
    return out;
}

struct Expected
{
    bool ok;
    std::string out;     // all of it on success; what may have been written on failure
    std::string message; // the line on standard error
};

Expected strictDecode(const std::string& in)
{
    Expected e{true, std::string(), std::string()};
    std::string text;
    int padding = 0;
    char line[128];
    for (size_t i = 0; i < in.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(in[i]);
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f')
            continue;
        if (valueOf(c) >= 0 && padding == 0) {
            text += static_cast<char>(c);
            continue;
        }
        const size_t rest = text.size() % 4;
        if (c == '=' && rest >= 2 && rest + padding < 4) {
            ++padding;
            continue;
        }
        if (c == '=')
            std::snprintf(line, sizeof(line), "misplaced '=' at byte offset %zu", i);
        else if (valueOf(c) >= 0)
            std::snprintf(line, sizeof(line), "data after the padding at byte offset %zu", i);
        else if (std::isprint(c))
            std::snprintf(line, sizeof(line), "invalid character '%c' (0x%02x) at byte offset %zu",
                          c, c, i);
        else
            std::snprintf(line, sizeof(line), "invalid byte 0x%02x at byte offset %zu", c, i);
        return Expected{false, decodeGroups(text.substr(0, text.size() - text.size() % 4)),
                        std::string("orlix: base64: ") + line + "\n"};
    }
    const size_t rest = text.size() % 4;
    if (rest == 1)
        return Expected{false, decodeGroups(text.substr(0, text.size() - 1)),
                        "orlix: base64: truncated input: a lone character after the last "
                        "complete group\n"};
    if (padding > 0 && rest + padding != 4)
        return Expected{false, decodeGroups(text.substr(0, text.size() - rest)),
                        "orlix: base64: incomplete padding at the end of the input\n"};
    e.out = decodeGroups(text);
    return e;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const std::uint8_t mode = data[0];
    std::string input(reinterpret_cast<const char*>(data + 1), size - 1);
    if ((mode & 0x3B) == 0x3B) {
        // Valid text up to a little before the end of the first reading step (one input in
        // 32: a long run costs a hundred short ones).
        const size_t lead = Orlix::Cli::chunkSize - (mode >> 6) * 7 - input.size() % 5;
        std::string prefix;
        while (prefix.size() < lead)
            prefix += "QUJD";
        input = prefix.substr(0, lead) + input;
    }

    const OrlixFuzz::CliResult decoded =
        OrlixFuzz::runCli(&Orlix::Cli::runBase64, {"base64", "-d"}, input);
    const Expected e = strictDecode(input);
    if (e.ok) {
        check(decoded.status == 0, "base64 -d refused valid input");
        check(decoded.out == e.out, "base64 -d output differs");
        check(decoded.err.empty(), "base64 -d wrote a message on success");
    } else {
        check(decoded.status == 1, "base64 -d accepted invalid input");
        check(decoded.err == e.message, "base64 -d message differs");
        check(e.out.compare(0, decoded.out.size(), decoded.out) == 0,
              "base64 -d wrote more than the groups before the error");
    }

    if ((mode & 4) != 0) {
        const std::string bytes = input.substr(0, 1 << 16);
        const OrlixFuzz::CliResult encoded =
            OrlixFuzz::runCli(&Orlix::Cli::runBase64, {"base64"}, bytes);
        check(encoded.status == 0 && encoded.err.empty(), "base64 failed");
        check(encoded.out == encode(bytes) + "\n", "base64 output differs");
        const OrlixFuzz::CliResult back =
            OrlixFuzz::runCli(&Orlix::Cli::runBase64, {"base64", "--decode"}, encoded.out);
        check(back.status == 0 && back.out == bytes, "base64 round trip");
    }
    return 0;
}
