// A component that lives in its own shared library, libTourGreeter.so. Nobody registers a
// creator for "TourGreeter": the registry loads this library by name and calls its
// createTourGreeterObject the first time the component is asked for.
#include <infra/component.h>

#include <cstdio>

namespace {

class TourGreeter : public Orlix::Component::IUnknown
{
public:
    void destroy() override
    {
        std::printf("  (the plugin's greeter is disposed of)\n");
        delete this;
    }
    const char* describe() const override { return "a greeter from libTourGreeter.so"; }
};

} // namespace

extern "C" __attribute__((visibility("default"))) Orlix::Component::IUnknown*
createTourGreeterObject(const Orlix::Component::ServerInfo* /*info*/)
{
    return new TourGreeter;
}
