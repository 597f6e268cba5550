// Test seam of the file objects (internal).
#ifndef ORLIX_SRC_INFRA3_FILE_INTERNAL_H
#define ORLIX_SRC_INFRA3_FILE_INTERNAL_H

namespace Orlix {
namespace Infra {
namespace Detail {

// Runs the diagnostic command of a short load ("ls"); returns what systemCall returns.
using FileDiagnosticRunner = int (*)(const char* command);

// Replaces the runner so that tests can see the command without starting a process; null
// restores the default. Not thread-safe: set it before the files are used.
void setFileDiagnosticRunnerForTesting(FileDiagnosticRunner runner);

} // namespace Detail
} // namespace Infra
} // namespace Orlix

#endif // ORLIX_SRC_INFRA3_FILE_INTERNAL_H
