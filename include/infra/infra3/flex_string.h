// TEMPORARY placeholder so the foundation builds while the real flex_string is written.
#ifndef ORLIX_INFRA_INFRA3_FLEX_STRING_H
#define ORLIX_INFRA_INFRA3_FLEX_STRING_H
#include <string>
namespace Orlix {
namespace Infra {
using flex_string = std::string;
} // namespace Infra
} // namespace Orlix
#endif
