// Base64 (RFC 4648, standard alphabet, "=" padding, no line breaks).
#include "infra/base64.h"

#include "cpu/cpu.h"
#include "infra/error.h"
#include "utils/base64_paths.h"

#include <array>
#include <cerrno>

namespace Orlix {
namespace Utils {

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Value of each byte in the alphabet, 64 for every byte outside it (which ends a scan).
constexpr unsigned char kNotInAlphabet = 64;

constexpr std::array<unsigned char, 256> makeDecodeTable()
{
    std::array<unsigned char, 256> table{};
    for (auto& v : table)
        v = kNotInAlphabet;
    for (unsigned char i = 0; i < 64; ++i)
        table[static_cast<unsigned char>(kAlphabet[i])] = i;
    return table;
}

constexpr std::array<unsigned char, 256> kDecode = makeDecodeTable();

inline unsigned char valueOf(char c)
{
    return kDecode[static_cast<unsigned char>(c)];
}

} // namespace

namespace Detail {

// Number of leading characters of src that belong to the alphabet.
int base64AlphabetRunPortable(const char* src)
{
    const char* p = src;
    while (valueOf(*p) != kNotInAlphabet)
        ++p;
    return static_cast<int>(p - src);
}

int base64EncodePortable(char* dst, const char* src, int len)
{
    const unsigned char* in = reinterpret_cast<const unsigned char*>(src);
    char* out = dst;
    int i = 0;
    for (; i < len - 2; i += 3) {
        const unsigned int group = unsigned(in[i]) << 16 | unsigned(in[i + 1]) << 8 | in[i + 2];
        out[0] = kAlphabet[group >> 18];
        out[1] = kAlphabet[(group >> 12) & 0x3F];
        out[2] = kAlphabet[(group >> 6) & 0x3F];
        out[3] = kAlphabet[group & 0x3F];
        out += 4;
    }
    const int remain = len - i;
    if (remain == 2) {
        const unsigned int group = unsigned(in[i]) << 16 | unsigned(in[i + 1]) << 8;
        out[0] = kAlphabet[group >> 18];
        out[1] = kAlphabet[(group >> 12) & 0x3F];
        out[2] = kAlphabet[(group >> 6) & 0x3F];
        out[3] = '=';
        out += 4;
    } else if (remain == 1) {
        const unsigned int group = unsigned(in[i]) << 16;
        out[0] = kAlphabet[group >> 18];
        out[1] = kAlphabet[(group >> 12) & 0x3F];
        out[2] = '=';
        out[3] = '=';
        out += 4;
    }
    *out++ = '\0';
    return static_cast<int>(out - dst);
}

// One pass: groups of four alphabet characters are decoded as they are found, and the first
// character outside the alphabet ends the text. Each character is read only after the one
// before it turned out to be in the alphabet, so nothing past the terminator is read.
int base64DecodePortable(char* dst, const char* src)
{
    unsigned char* out = reinterpret_cast<unsigned char*>(dst);
    const char* in = src;
    unsigned int group = 0;
    int count = 0; // alphabet characters of the group being read
    for (;;) {
        const unsigned char v = valueOf(in[count]);
        if (v == kNotInAlphabet)
            break;
        group = group << 6 | v;
        if (++count == 4) {
            out[0] = static_cast<unsigned char>(group >> 16);
            out[1] = static_cast<unsigned char>(group >> 8);
            out[2] = static_cast<unsigned char>(group);
            out += 3;
            in += 4;
            count = 0;
            group = 0;
        }
    }
    // The last one to three characters: 3 give two bytes, 2 one byte, 1 nothing.
    if (count >= 2) {
        group <<= 6 * (4 - count);
        out[0] = static_cast<unsigned char>(group >> 16);
        if (count == 3)
            out[1] = static_cast<unsigned char>(group >> 8);
        out += count - 1;
    }
    *out = '\0';
    return static_cast<int>(out - reinterpret_cast<unsigned char*>(dst));
}

std::vector<Base64Path> base64Paths()
{
    const unsigned detected = Cpu::detectedFeatures();
    std::vector<Base64Path> paths;
    paths.push_back({"portable", base64EncodePortable, base64DecodePortable,
                     base64AlphabetRunPortable, 0, true});
#if defined(__x86_64__)
    const unsigned avx2 = Cpu::kAvx2;
    const unsigned avx512 = Cpu::kAvx2 | Cpu::kAvx512 | Cpu::kAvx512Vbmi;
    paths.push_back({"avx2", base64EncodeAvx2, base64DecodeAvx2, base64AlphabetRunAvx2, avx2,
                     (detected & avx2) == avx2});
    paths.push_back({"avx512vbmi", base64EncodeAvx512, base64DecodeAvx512, base64AlphabetRunAvx512,
                     avx512, (detected & avx512) == avx512});
#else
    (void)detected;
#endif
    return paths;
}

} // namespace Detail

namespace {

// A null source is the caller's mistake: EINVAL in the last error, and it reads as no data.
bool refuseNullSource(const char* src)
{
    if (src != nullptr)
        return false;
    Infra::setLastError(EINVAL);
    return true;
}

// The implementation the public functions use: the last (fastest) path that the CPU has and
// ORLIX_CPU allows. Chosen once, at the first call.
const Detail::Base64Path& chosenPath()
{
    static const Detail::Base64Path chosen =
        Cpu::lastAllowed(Detail::base64Paths(), [](const Detail::Base64Path& path) {
            return path.usable && Cpu::has(path.features);
        });
    return chosen;
}

} // namespace

int base64EncodeLen(int len)
{
    return len > 0 ? (len + 2) / 3 * 4 + 1 : 1;
}

int base64Encode(char* dst, const char* src, int len)
{
    if (refuseNullSource(src))
        return chosenPath().encode(dst, "", 0);
    return chosenPath().encode(dst, src, len);
}

int base64DecodeLen(const char* src)
{
    if (refuseNullSource(src))
        return 1;
    return (chosenPath().alphabetRun(src) + 3) / 4 * 3 + 1;
}

int base64Decode(char* dst, const char* src)
{
    return chosenPath().decode(dst, refuseNullSource(src) ? "" : src);
}

} // namespace Utils
} // namespace Orlix
