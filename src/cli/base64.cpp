// orlix base64 [-d]: standard input to standard output, encoded as one line or decoded.
#include "common.h"

#include "infra/base64.h"

#include <cctype>
#include <cstring>
#include <string>
#include <vector>

namespace Orlix {
namespace Cli {
namespace {

void printHelp()
{
    std::printf(
        "Usage: orlix base64 [-d]\n\n"
        "Encode standard input as base64 (RFC 4648 standard alphabet, \"=\" padding) and\n"
        "write it to standard output as one line without wrapping, followed by a newline.\n\n"
        "  -d, --decode   decode instead. White space (including newlines) is ignored\n"
        "                 anywhere; padding may be omitted, but when present it must\n"
        "                 complete the last group of four, and nothing but white space\n"
        "                 may follow it. Any other character is an error.\n\n"
        "Input is processed in chunks, so its size does not matter. On a decoding error\n"
        "the output written so far is incomplete.\n\n"
        "Exit status: 0 success, 1 malformed input or an I/O error, 2 usage error.\n");
}

// What each input byte is to the decoder. A table, because the decoder classifies every byte
// of its input and a chain of comparisons per byte made decoding several times slower.
enum CharClass : unsigned char
{
    classInvalid,
    classAlphabet,
    classSpace,
    classPad
};

struct CharClasses
{
    CharClass of[256];

    CharClasses() : of()
    {
        for (int c = 'A'; c <= 'Z'; ++c)
            of[c] = of[c - 'A' + 'a'] = classAlphabet;
        for (int c = '0'; c <= '9'; ++c)
            of[c] = classAlphabet;
        of[static_cast<unsigned char>('+')] = of[static_cast<unsigned char>('/')] = classAlphabet;
        for (unsigned char c : {' ', '\t', '\n', '\r', '\v', '\f'})
            of[c] = classSpace;
        of[static_cast<unsigned char>('=')] = classPad;
    }
};

const CharClasses kClasses;

int encode()
{
    CInput input;
    input.open("-");
    std::vector<char> in(chunkSize); // a multiple of 3: only the last chunk gets padding
    std::vector<char> out(static_cast<std::size_t>(Utils::base64EncodeLen(int(chunkSize))));
    for (;;) {
        const std::size_t n = input.read(in.data(), in.size());
        const int written = Utils::base64Encode(out.data(), in.data(), static_cast<int>(n));
        if (!writeOut(out.data(), static_cast<std::size_t>(written - 1))) // not the terminator
            return exitFailure;
        if (n < in.size())
            break;
    }
    if (input.failed()) {
        printReadError("standard input", input.error());
        return exitFailure;
    }
    return writeOut("\n", 1) ? exitOk : exitFailure;
}

// Collects the alphabet characters of the input, checks everything else, and decodes whole
// groups of four as they accumulate.
class CDecoder
{
public:
    CDecoder() : m_text(chunkSize + 1), m_bytes(chunkSize / 4 * 3 + 1) {}

    // Takes the next piece of input, starting at the given offset of the whole input. Returns
    // false after printing the problem.
    bool feed(const unsigned char* data, std::size_t size, unsigned long long offset)
    {
        for (std::size_t i = 0; i < size; ++i) {
            const unsigned char c = data[i];
            const CharClass type = kClasses.of[c];
            if (type == classAlphabet && m_padding == 0) {
                m_text[m_size++] = static_cast<char>(c);
                if (m_size == m_text.size() - 1 && !flush())
                    return false;
            } else if (type != classSpace && !acceptPad(type)) {
                return invalid(c, offset + i);
            }
        }
        return true;
    }

    // Decodes what is left once the input ended. Returns false after printing the problem.
    bool finish()
    {
        const std::size_t rest = m_size % 4;
        if (rest == 1) {
            printError("base64: truncated input: a lone character after the last complete group");
            return false;
        }
        if (m_padding > 0 && rest + m_padding != 4) {
            printError("base64: incomplete padding at the end of the input");
            return false;
        }
        return flush();
    }

private:
    bool invalid(unsigned char c, unsigned long long offset)
    {
        if (c == '=')
            printError("base64: misplaced '=' at byte offset %llu", offset);
        else if (m_padding > 0 && kClasses.of[c] == classAlphabet)
            printError("base64: data after the padding at byte offset %llu", offset);
        else if (std::isprint(c))
            printError("base64: invalid character '%c' (0x%02x) at byte offset %llu", c, c, offset);
        else
            printError("base64: invalid byte 0x%02x at byte offset %llu", c, offset);
        return false;
    }

    // Takes one "=": only after two or three characters of a group, and only as many as
    // complete the group.
    bool acceptPad(CharClass type)
    {
        const std::size_t rest = m_size % 4; // flushes take whole groups only
        if (type != classPad || rest < 2 || rest + m_padding >= 4)
            return false;
        ++m_padding;
        return true;
    }

    // Decodes the collected characters.
    bool flush()
    {
        m_text[m_size] = '\0'; // base64Decode stops at the first non-alphabet character
        const int n = Utils::base64Decode(m_bytes.data(), m_text.data());
        m_size = 0;
        return writeOut(m_bytes.data(), static_cast<std::size_t>(n));
    }

    std::vector<char> m_text;  // collected alphabet characters; chunkSize is a multiple of 4
    std::vector<char> m_bytes; // decoded bytes of one flush
    std::size_t m_size = 0;    // characters in m_text
    int m_padding = 0;         // "=" seen so far
};

int decode()
{
    CInput input;
    input.open("-");
    std::vector<unsigned char> in(chunkSize);
    CDecoder decoder;
    unsigned long long offset = 0;
    for (;;) {
        const std::size_t n = input.read(in.data(), in.size());
        if (!decoder.feed(in.data(), n, offset))
            return exitFailure;
        offset += n;
        if (n < in.size())
            break;
    }
    if (input.failed()) {
        printReadError("standard input", input.error());
        return exitFailure;
    }
    return decoder.finish() ? exitOk : exitFailure;
}

} // namespace

int runBase64(int argc, char** argv)
{
    bool decoding = false;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (std::strcmp(arg, "-d") == 0 || std::strcmp(arg, "--decode") == 0)
            decoding = true;
        else if (isHelpOption(arg))
            return printHelp(), exitOk;
        else if (arg[0] == '-')
            return usageError("base64", "unknown option '%s'", arg);
        else
            return usageError("base64",
                              "unexpected argument '%s' (input is read from "
                              "standard input)",
                              arg);
    }
    return decoding ? decode() : encode();
}

} // namespace Cli
} // namespace Orlix
