// The interface between the tour and its sensor driver plugin. The driver lives in its own
// shared library (libThermoDriver.so); the tour asks the component registry for
// "ThermoDriver" by name and uses the object it gets through this interface.
#ifndef ORLIX_EXAMPLES_PLUGIN_SENSORDRIVER_H
#define ORLIX_EXAMPLES_PLUGIN_SENSORDRIVER_H

#include <infra/component.h>

class ISensorDriver : public Orlix::Component::IUnknown
{
public:
    // One reading of channel in thousandths of a degree Celsius. Called from several threads
    // at once: implementations are thread-safe.
    virtual int readMilliCelsius(int channel) = 0;
};

#endif // ORLIX_EXAMPLES_PLUGIN_SENSORDRIVER_H
