// The bounded string helpers against the rules they promise, each destination a heap block of
// exactly its stated size (AddressSanitizer reports any byte written past it):
// strncpy copies min(size - 1, n) characters at most and terminates right after them;
// strncat appends min(size - length - 1, n) at most, terminates the buffer's last byte and
// returns that bound; snprintf_x keeps what fits and returns the length of what it kept.
#include "fuzz_check.h"

#include "infra/strutil.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>

using OrlixFuzz::check;
using namespace Orlix::Utils;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    OrlixFuzz::Input in(data, size);
    const unsigned int dstSize = in.byte() % 40;
    const unsigned int n = in.byte() % 48;
    const std::string dstText = in.text(48); // the destination's text before strncat
    const bool dstTerminated = (in.byte() & 7) != 0;
    const std::string srcBytes = in.rest();
    const std::string src = srcBytes.c_str(); // what the functions see: up to a zero byte

    {
        std::unique_ptr<char[]> dst(new char[dstSize + (dstSize == 0)]);
        std::memset(dst.get(), 'Q', dstSize + (dstSize == 0));
        const unsigned int got = Orlix::Utils::strncpy(dst.get(), dstSize, src.c_str(), n);
        if (dstSize == 0) {
            check(got == 0 && dst[0] == 'Q', "strncpy into size 0 wrote or counted");
        } else {
            const size_t expect = std::min<size_t>({dstSize - 1, n, src.size()});
            check(got == expect, "strncpy result != copied length");
            check(std::memcmp(dst.get(), src.data(), expect) == 0 && dst[expect] == '\0',
                  "strncpy text wrong");
        }
    }

    if (dstSize > 0) {
        // The destination: its text cut to the buffer, terminated when it fits (or, for
        // dstTerminated false, filling the buffer without a terminator).
        std::unique_ptr<char[]> dst(new char[dstSize]);
        std::memset(dst.get(), 'Q', dstSize);
        std::string before = std::string(dstText.c_str()).substr(0, dstSize - 1);
        std::memcpy(dst.get(), before.data(), before.size());
        size_t length = before.size();
        if (dstTerminated) {
            dst[length] = '\0';
        } else {
            length = dstSize; // no terminator anywhere in the buffer
            std::memset(dst.get() + before.size(), 'R', dstSize - before.size());
            before.assign(dst.get(), dstSize);
        }
        const unsigned int got = Orlix::Utils::strncat(dst.get(), dstSize, src.c_str(), n);
        const size_t room = length < dstSize - 1 ? dstSize - 1 - length : 0;
        const size_t bound = std::min<size_t>(n, room);
        check(got == bound, "strncat result != its bound");
        check(dst[dstSize - 1] == '\0', "strncat left the last byte unterminated");
        if (length < dstSize) {
            const std::string expect = before + src.substr(0, bound);
            check(std::strlen(dst.get()) == expect.size() &&
                      std::memcmp(dst.get(), expect.data(), expect.size()) == 0,
                  "strncat text wrong");
        } else {
            check(std::memcmp(dst.get(), before.data(), dstSize - 1) == 0,
                  "strncat changed an unterminated buffer");
        }
    }

    {
        const int room = static_cast<int>(dstSize);
        std::unique_ptr<char[]> dst(new char[dstSize + (dstSize == 0)]);
        std::memset(dst.get(), 'Q', dstSize + (dstSize == 0));
        const int number = static_cast<int>(n) - 24;
        const int got = snprintf_x(dst.get(), room, "%s|%d", src.c_str(), number);
        if (room == 0) {
            check(got == 0 && dst[0] == 'Q', "snprintf_x into size 0 wrote or counted");
        } else {
            const std::string full = src + "|" + std::to_string(number);
            const size_t kept = std::min<size_t>(full.size(), static_cast<size_t>(room) - 1);
            check(got == static_cast<int>(kept), "snprintf_x result != kept length");
            check(std::memcmp(dst.get(), full.data(), kept) == 0 && dst[kept] == '\0',
                  "snprintf_x text wrong");
        }
    }
    return 0;
}
