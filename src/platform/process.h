// Operating-system layer: running a program and waiting for it.
//
// Internal to the library (never installed).
#ifndef ORLIX_PLATFORM_PROCESS_H
#define ORLIX_PLATFORM_PROCESS_H

#include <string>
#include <vector>

namespace Orlix {
namespace Platform {

// Starts the program arguments[0] (searched on PATH when it holds no slash) with arguments as
// its argument vector, the caller's environment and working directory, no shell, and waits
// without limit for it to end. The child inherits standard input, output and error and no
// other descriptor. Returns 0 when the program was started (its exit status is not
// reported), otherwise the system's error number of the failed start (EINVAL for an empty
// argument list).
int spawnAndWait(const std::vector<std::string>& arguments);

} // namespace Platform
} // namespace Orlix

#endif // ORLIX_PLATFORM_PROCESS_H
