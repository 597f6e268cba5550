// Wiping secrets from memory.
#include "utils/wipe.h"

#include <cstring>

namespace Orlix {
namespace Utils {
namespace Detail {

void secureZero(void* p, std::size_t size)
{
    std::memset(p, 0, size);
    // The compiler must assume the empty asm reads the memory, so the memset stays.
    __asm__ __volatile__("" : : "r"(p) : "memory");
}

// noinline keeps every step in a frame of its own, below the caller's; the empty asm after
// the recursive call uses the frame, so the call cannot become a jump that reuses it. The
// recursion is shallow (three steps for the 368 bytes the SHA-1 update asks for).
__attribute__((noinline)) void burnStack(int bytes)
{
    unsigned char frame[128];
    secureZero(frame, sizeof(frame));
    bytes -= static_cast<int>(sizeof(frame));
    if (bytes > 0)
        burnStack(bytes);
    __asm__ __volatile__("" : : "r"(frame) : "memory");
}

} // namespace Detail
} // namespace Utils
} // namespace Orlix
