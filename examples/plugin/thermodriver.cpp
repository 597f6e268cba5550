// A sensor driver that lives in its own shared library, libThermoDriver.so. Nobody registers
// a creator for "ThermoDriver": the component registry loads this library by name and calls
// its createThermoDriverObject the first time the component is asked for.
#include "sensordriver.h"

#include <atomic>

namespace {

// Simulated thermometers: each channel drifts around its own base temperature, the same
// sequence on every run.
class ThermoDriver : public ISensorDriver
{
public:
    int readMilliCelsius(int channel) override
    {
        const unsigned int n = m_reads.fetch_add(1, std::memory_order_relaxed);
        return 21000 + 1500 * channel + static_cast<int>((n * 137u) % 400u) - 200;
    }
    void destroy() override { delete this; }
    const char* describe() const override { return "thermometer driver 2.0"; }

private:
    std::atomic<unsigned int> m_reads{0};
};

} // namespace

extern "C" __attribute__((visibility("default"))) Orlix::Component::IUnknown*
createThermoDriverObject(const Orlix::Component::ServerInfo* /*info*/)
{
    return new ThermoDriver;
}
