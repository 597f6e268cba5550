// stringToIp on arbitrary text; ipToString of the result into buffers of every small size,
// each exactly that large, and the full text must parse back to the same address.
#include "infra/strutil.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace Orlix::Utils;
    std::unique_ptr<char[]> text(new char[size + 1]);
    std::memcpy(text.get(), data, size);
    text[size] = '\0';
    const IpAddress ip = stringToIp(text.get());

    for (unsigned int room = 1; room <= 16; ++room) {
        std::unique_ptr<char[]> out(new char[room]);
        if (ipToString(ip, out.get(), room) != out.get() || std::strlen(out.get()) >= room)
            std::abort();
        if (room == 16 && stringToIp(out.get()).value != ip.value)
            std::abort();
    }
    return 0;
}
