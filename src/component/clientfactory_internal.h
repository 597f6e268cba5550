// Shared between the factory registry and the client factory wrapper (internal).
#ifndef ORLIX_SRC_COMPONENT_CLIENTFACTORY_INTERNAL_H
#define ORLIX_SRC_COMPONENT_CLIENTFACTORY_INTERNAL_H

#include "infra/clientfactory.h"

namespace Orlix {
namespace Component {
namespace Detail {

// The wrapper of factory, made on the first request and kept until the process ends.
IClientFactoryWrap* getClientFactoryWrap(IFactoryUnknown* factory);

// Registers the component error texts with the error table; only the first call does.
void registerComponentErrorTexts();

} // namespace Detail
} // namespace Component
} // namespace Orlix

#endif // ORLIX_SRC_COMPONENT_CLIENTFACTORY_INTERNAL_H
