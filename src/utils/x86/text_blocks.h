// Reading zero-terminated text a vector block at a time (internal header).
//
// A vector path reads whole blocks of 16 to 64 bytes, so a block may reach past the
// terminating zero of the text. That is safe only while the block stays on a page that holds
// text: memory is mapped a page (at least 4 KiB) at a time, so a block that does not cross
// into the next page touches nothing beyond the page the text is on, and a block that does
// cross is safe once the bytes up to the end of the current page are all nonzero (the text,
// and so its terminator, continues on the next page). Functions that read such blocks are
// marked ORLIX_NO_SANITIZE_MEMORY, since the bytes past the terminator they load (and then
// ignore) are outside the text as AddressSanitizer and ThreadSanitizer see it (the latter
// reports them as a use of a freed neighbour).
#ifndef ORLIX_UTILS_X86_TEXT_BLOCKS_H
#define ORLIX_UTILS_X86_TEXT_BLOCKS_H

#include <cstddef>
#include <cstdint>

#if defined(__clang__) || defined(__GNUC__)
#define ORLIX_NO_SANITIZE_MEMORY __attribute__((no_sanitize_address, no_sanitize_thread))
#else
#define ORLIX_NO_SANITIZE_MEMORY
#endif

namespace Orlix {
namespace Utils {
namespace Detail {

constexpr std::size_t kPageSize = 4096;

// True when width bytes may be read at text, a position inside a zero-terminated text (at
// or before its terminator). Looks at the bytes up to the end of the page only when the
// block crosses into the next page, and stops at the first zero.
inline bool blockReadable(const void* text, std::size_t width)
{
    const std::size_t room = kPageSize - (reinterpret_cast<std::uintptr_t>(text) & (kPageSize - 1));
    if (room >= width)
        return true;
    const unsigned char* p = static_cast<const unsigned char*>(text);
    for (std::size_t i = 0; i < room; ++i) {
        if (p[i] == 0)
            return false;
    }
    return true;
}

} // namespace Detail
} // namespace Utils
} // namespace Orlix

#endif // ORLIX_UTILS_X86_TEXT_BLOCKS_H
