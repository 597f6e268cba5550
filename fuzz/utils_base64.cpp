// base64Decode on arbitrary text must stay within base64DecodeLen and give exactly the bytes
// of the documented lenient reading (the leading run of alphabet characters; groups of four
// give three bytes, a last group of three two, of two one, a lone character nothing);
// encoding arbitrary bytes must fill exactly base64EncodeLen and decode back to them.
#include "fuzz_check.h"

#include "infra/base64.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

namespace {

int valueOf(char c)
{
    static const char kAlphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    const char* p = c != '\0' ? std::strchr(kAlphabet, c) : nullptr;
    return p != nullptr ? static_cast<int>(p - kAlphabet) : -1;
}

// The bytes of the leading run of alphabet characters, read as the documentation says.
std::string lenientDecode(const char* text)
{
    std::string out;
    size_t run = 0;
    while (valueOf(text[run]) >= 0)
        ++run;
    unsigned bits = 0;
    size_t count = 0;
    for (size_t i = 0; i < run; ++i) {
        bits = bits << 6 | static_cast<unsigned>(valueOf(text[i]));
        if (++count == 4) {
            out += static_cast<char>(bits >> 16);
            out += static_cast<char>(bits >> 8);
            out += static_cast<char>(bits);
            bits = 0;
            count = 0;
        }
    }
    if (count == 2) {
        out += static_cast<char>(bits >> 4);
    } else if (count == 3) {
        out += static_cast<char>(bits >> 10);
        out += static_cast<char>(bits >> 2);
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace Orlix::Utils;
    if (size > 1 << 16)
        return 0;
    const int len = static_cast<int>(size);

    std::unique_ptr<char[]> text(new char[size + 1]);
    std::memcpy(text.get(), data, size);
    text[size] = '\0';
    const int room = base64DecodeLen(text.get());
    if (room < 1)
        std::abort();
    std::unique_ptr<char[]> decoded(new char[static_cast<std::size_t>(room)]);
    const int n = base64Decode(decoded.get(), text.get());
    if (n < 0 || n >= room || decoded[static_cast<std::size_t>(n)] != '\0')
        std::abort();
    const std::string expect = lenientDecode(text.get());
    size_t run = 0;
    while (valueOf(text[run]) >= 0)
        ++run;
    OrlixFuzz::check(room == static_cast<int>((run + 3) / 4 * 3 + 1), "base64DecodeLen");
    OrlixFuzz::checkEqual(expect, std::string(decoded.get(), static_cast<std::size_t>(n)),
                          "base64Decode bytes");

    const int encodedLen = base64EncodeLen(len);
    std::unique_ptr<char[]> encoded(new char[static_cast<std::size_t>(encodedLen)]);
    if (base64Encode(encoded.get(), reinterpret_cast<const char*>(data), len) != encodedLen)
        std::abort();
    const int backRoom = base64DecodeLen(encoded.get());
    std::unique_ptr<char[]> back(new char[static_cast<std::size_t>(backRoom)]);
    if (base64Decode(back.get(), encoded.get()) != len || std::memcmp(back.get(), data, size) != 0)
        std::abort();
    return 0;
}
