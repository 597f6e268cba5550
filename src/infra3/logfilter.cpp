// Log filter and log file writer.
#include "infra3/print_internal.h"

namespace Orlix {
namespace Infra {
namespace Detail {

void writeLogFile(const char* /*text*/, int /*length*/) {}

} // namespace Detail
} // namespace Infra
} // namespace Orlix
