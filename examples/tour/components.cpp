// Chapter: components. A client for an imaginary weather station, its factory published under
// "Client", a forecast service published under its own interface, two lookups that share one
// logged-in client, and a component loaded from a shared library by name.
#include "tour.h"

#include <infra/orlix.h>

#include <cstdio>
#include <string>

namespace {

using Orlix::Component::ClassID;
using Orlix::Component::createComponentObject;
using Orlix::Component::IClient;
using Orlix::Component::IFactoryUnknown;
using Orlix::Component::IUnknown;
using Orlix::Component::ServerInfo;
using Orlix::Component::Detail::CComponentHelper;

// One login on one weather station. The library decides when to log in and out; the client
// only knows how.
class StationClient : public IClient
{
public:
    bool login() override
    {
        ServerInfo server;
        getServerInfo(server);
        std::printf("  StationClient %p: logging in to %s:%d as %s\n", static_cast<void*>(this),
                    server.text1, server.number1, server.userName);
        return true;
    }
    bool logout() override
    {
        std::printf("  StationClient %p: logging out\n", static_cast<void*>(this));
        return true;
    }
    bool checkBroken() override { return false; }
    bool getUserID(int* id) override
    {
        *id = 1001;
        return true;
    }
    void destroy() override
    {
        std::printf("  StationClient %p: disposed of\n", static_cast<void*>(this));
        delete this;
    }
    const char* describe() const override { return "weather station client"; }

    // What the station would send over the connection.
    int temperature() const { return 17; }
};

// Makes station clients; published under "Client" and the class "Station".
class StationClientFactory : public IClient::IFactory
{
public:
    const char* getClassID() override { return "Station"; }
    IClient* create(const ServerInfo& /*info*/) override { return new StationClient; }
};

// A service of the station, published under the interface "Forecast" and the class
// "Station.Forecast": its clients come from the "Station" client factory.
class ForecastFactory : public IFactoryUnknown
{
public:
    const char* getClassID() override { return "Station.Forecast"; }
    std::string forecast(IClient* client) const
    {
        auto* station = dynamic_cast<StationClient*>(client);
        return station != nullptr ? "mild, " + std::to_string(station->temperature()) + " C"
                                  : "unknown";
    }
};

IFactoryUnknown* lookUpForecast(const ServerInfo& server, IClient*& client)
{
    return CComponentHelper::getComponentFactory("Forecast", ClassID("Station.Forecast"), server,
                                                 client);
}

} // namespace

void tourComponents()
{
    tourHeading("Components: shared clients, factories and plugins");

    // Factories live as long as they are registered; static ones for the whole program.
    static StationClientFactory stationClients;
    static ForecastFactory forecasts;
    stationClients.registerFactory(IClient::IFactory::iid()); // "Client"
    forecasts.registerFactory("Forecast");

    ServerInfo server;
    server.text1 = "station.example";
    server.number1 = 4001;
    server.userName = "observer";

    std::printf("First lookup: no client for this station yet, so one is made and logged in.\n");
    IClient* first = nullptr;
    auto* service = dynamic_cast<ForecastFactory*>(lookUpForecast(server, first));
    if (service == nullptr) {
        std::printf("  lookup failed: %s\n", Orlix::Infra::getErrMsg(Orlix::Infra::getLastError()));
        return;
    }
    std::printf("  forecast: %s (current user %d)\n", service->forecast(first).c_str(),
                IClient::getCurrentUserID());

    std::printf("Second lookup for the same station shares the client (no second login).\n");
    IClient* second = nullptr;
    lookUpForecast(server, second);
    std::printf("  same client: %s\n", first == second ? "yes" : "no");

    std::printf("Each lookup gives its reference back; the last one logs out.\n");
    CComponentHelper::release(first);
    CComponentHelper::release(second);

    std::printf("Asking for an unknown interface fails with a component error:\n");
    IClient* none = nullptr;
    if (CComponentHelper::getComponentFactory("Radar", ClassID("Station.Radar"), ServerInfo::none,
                                              none) == nullptr)
        std::printf("  %s\n", Orlix::Infra::getErrMsg(Orlix::Infra::getLastError()));

    std::printf("A component nobody registered is loaded from libTourGreeter.so by name:\n");
    IUnknown* greeter = createComponentObject("TourGreeter", nullptr);
    if (greeter != nullptr) {
        std::printf("  got %s\n", greeter->describe());
        greeter->release();
    } else {
        std::printf("  libTourGreeter.so was not found on the library search path\n");
    }

    forecasts.unregisterFactory("Forecast");
    stationClients.unregisterFactory(IClient::IFactory::iid());
}
