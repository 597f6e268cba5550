// Shared by the fuzz targets: the mismatch report and the input reader.
//
// A target that finds a result its contract does not allow calls mismatch(): the line
// "orlix-fuzz mismatch: <what>" on standard error (scripts/fuzz.sh counts these apart from
// crashes) and abort(), so libFuzzer saves the input as a crash file.
#ifndef ORLIX_FUZZ_CHECK_H
#define ORLIX_FUZZ_CHECK_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace OrlixFuzz {

[[noreturn]] inline void mismatch(const char* what)
{
    std::fprintf(stderr, "orlix-fuzz mismatch: %s\n", what);
    std::fflush(stderr);
    std::abort();
}

inline void check(bool condition, const char* what)
{
    if (!condition)
        mismatch(what);
}

// A printable rendering of a byte string for mismatch reports.
inline std::string quoted(const std::string& s)
{
    std::string out = "\"";
    for (const char c : s) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (u >= 32 && u < 127 && c != '"' && c != '\\') {
            out += c;
        } else {
            char hex[8];
            std::snprintf(hex, sizeof(hex), "\\x%02x", u);
            out += hex;
        }
    }
    return out + "\"";
}

// Reports a mismatch with both values when they differ.
inline void checkEqual(const std::string& expected, const std::string& actual, const char* what)
{
    if (expected == actual)
        return;
    std::fprintf(stderr, "expected: %s\nactual:   %s\n", quoted(expected).c_str(),
                 quoted(actual).c_str());
    mismatch(what);
}

// Reads the fuzzer's bytes front to back; past the end every read yields 0.
class Input
{
public:
    Input(const std::uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}

    bool empty() const { return m_pos >= m_size; }
    std::size_t left() const { return m_pos < m_size ? m_size - m_pos : 0; }

    std::uint8_t byte() { return m_pos < m_size ? m_data[m_pos++] : 0; }

    std::uint16_t u16()
    {
        const std::uint16_t lo = byte();
        return static_cast<std::uint16_t>(lo | byte() << 8);
    }

    std::uint32_t u32()
    {
        const std::uint32_t lo = u16();
        return lo | static_cast<std::uint32_t>(u16()) << 16;
    }

    // Up to n bytes (fewer at the end of the input).
    std::string bytes(std::size_t n)
    {
        n = n < left() ? n : left();
        std::string s(reinterpret_cast<const char*>(m_data + m_pos), n);
        m_pos += n;
        return s;
    }

    // A text of up to max bytes: one length byte, then the bytes.
    std::string text(std::size_t max) { return bytes(byte() % (max + 1)); }

    // Everything that is left.
    std::string rest() { return bytes(left()); }

private:
    const std::uint8_t* m_data;
    std::size_t m_size;
    std::size_t m_pos = 0;
};

} // namespace OrlixFuzz

#endif // ORLIX_FUZZ_CHECK_H
