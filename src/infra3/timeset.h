// How the built-in set-time hooks reach the operating system (internal).
//
// Setting the machine's clock is the one privileged thing CTime does. The built-in setters
// never call the platform directly: they go through the function installed here, which by
// default is Platform::setLocalTime(). Tests install their own function so that no test
// ever changes the real clock (a test run as root would otherwise succeed in doing so).
#ifndef ORLIX_SRC_INFRA3_TIMESET_H
#define ORLIX_SRC_INFRA3_TIMESET_H

#include "infra/time.h"

namespace Orlix {
namespace Infra {
namespace Detail {

// Sets the system's local time to the date, time and millisecond of time (weekday and
// reserved fields are ignored). Returns false when the system refuses.
using LocalTimeSetter = bool (*)(const SystemTimeEx& time);

// Installs setter for every later call of the built-in setters and returns the one it
// replaces. A null setter restores the default (the platform call).
LocalTimeSetter replaceLocalTimeSetter(LocalTimeSetter setter);

// Calls the installed setter.
bool setSystemLocalTime(const SystemTimeEx& time);

} // namespace Detail
} // namespace Infra
} // namespace Orlix

#endif // ORLIX_SRC_INFRA3_TIMESET_H
