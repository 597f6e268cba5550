// base64Decode on arbitrary text must stay within base64DecodeLen; encoding arbitrary bytes
// must fill exactly base64EncodeLen and decode back to them.
#include "infra/base64.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

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
