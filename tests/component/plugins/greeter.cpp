// A component living in a shared library that the registry loads by name. The creator's
// symbol name is given by the build (GREETER_CREATOR), so that one source serves the plugins
// whose file and symbol names test the registry's naming.
#include "infra/component.h"
#include "infra/print.h"

// What makes the creator visible to the registry's symbol lookup.
#ifdef _WIN32
#define ORLIX_TEST_PLUGIN_EXPORT __declspec(dllexport)
#else
#define ORLIX_TEST_PLUGIN_EXPORT __attribute__((visibility("default")))
#endif

namespace {

class Greeter : public Orlix::Component::IUnknown
{
public:
    void destroy() override
    {
        Orlix::Infra::logWarn("plugin greeter destroyed\n");
        delete this;
    }
    const char* describe() const override { return "greeter from a plugin"; }
};

} // namespace

extern "C" ORLIX_TEST_PLUGIN_EXPORT Orlix::Component::IUnknown*
GREETER_CREATOR(const Orlix::Component::ServerInfo* /*info*/)
{
    return new Greeter;
}
