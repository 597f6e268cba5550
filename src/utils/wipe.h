// Wiping secrets from memory (internal).
//
// The digest and cipher classes clear working state that held message or key material. A
// plain memset of memory that is dead afterwards may be removed by the optimiser; these
// helpers follow the memset with a compiler barrier that pretends to read the memory, so the
// stores stay.
#ifndef ORLIX_SRC_UTILS_WIPE_H
#define ORLIX_SRC_UTILS_WIPE_H

#include <cstddef>

namespace Orlix {
namespace Utils {
namespace Detail {

// Overwrites size bytes at p with zeros; never optimised away.
void secureZero(void* p, std::size_t size);

// Overwrites at least bytes bytes of the stack below the caller's frame with zeros, in
// 128-byte frames, so that what a finished callee left there (message schedule words, key
// material) does not survive.
void burnStack(int bytes);

} // namespace Detail
} // namespace Utils
} // namespace Orlix

#endif // ORLIX_SRC_UTILS_WIPE_H
