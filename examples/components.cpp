// Components: objects made by name with a reference count, shared instances, and clients
// that stand for one login on one server, handed out by factory lookups and shared.
//
// Build: g++ -std=c++17 components.cpp $(pkg-config --cflags --libs orlix)
#include <infra/client.h>
#include <infra/clientfactory.h>
#include <infra/component.h>
#include <infra/error.h>

#include <cstdio>

using namespace Orlix::Component;
using Detail::CComponentHelper;

namespace {

// A component: derive from IUnknown, say how to dispose of the object and describe it.
class Greeter : public IUnknown
{
public:
    void destroy() override { delete this; }
    const char* describe() const override { return "greeter"; }
};

IUnknown* createGreeter(const ServerInfo* /*info*/)
{
    return new Greeter;
}

// A client: one login on one server. You write how to log in and out; the library decides
// when, and shares the client between everyone asking for the same class and server.
int g_logins = 0;
int g_logouts = 0;
class WeatherClient : public IClient
{
public:
    bool login() override { return ++g_logins > 0; }
    bool logout() override { return ++g_logouts > 0; }
    bool checkBroken() override { return false; }
    bool getUserID(int* id) override
    {
        *id = 7;
        return true;
    }
    void destroy() override { delete this; }
    const char* describe() const override { return "weather client"; }
};

// Makes clients of the class "Weather"; registered under the interface "Client".
class WeatherClients : public IClient::IFactory
{
public:
    const char* getClassID() override { return "Weather"; }
    IClient* create(const ServerInfo& /*info*/) override { return new WeatherClient; }
};

// A service of the weather server: class "Weather.Forecast" under the interface "Forecast".
// Its clients come from the client factory of the class prefix, "Weather".
class Forecasts : public IFactoryUnknown
{
public:
    const char* getClassID() override { return "Weather.Forecast"; }
    int temperature(IClient* /*client*/) { return 17; } // would ask the server
};

} // namespace

int main()
{
    // Objects by name: a new object each time, or one shared instance per server.
    registerComponent("Greeter", &createGreeter);
    IUnknown* fresh = createComponentObject("Greeter", nullptr);
    IUnknown* shared = getComponentInstance("Greeter", nullptr);
    IUnknown* again = getComponentInstance("Greeter", nullptr);
    const bool sharedOk = fresh != nullptr && shared == again && fresh != shared;
    fresh->release();
    again->release();
    shared->release(); // the last reference: the shared instance is destroyed

    // Factories live as long as they are registered.
    static WeatherClients clients;
    static Forecasts forecasts;
    clients.registerFactory(IClient::IFactory::iid());
    forecasts.registerFactory("Forecast");

    ServerInfo server;
    server.text1 = "weather.example";
    server.number1 = 4001;
    server.userName = "observer";

    // Each lookup hands out the factory and a logged-in client; both lookups share one.
    IClient* first = nullptr;
    IClient* second = nullptr;
    auto* service = dynamic_cast<Forecasts*>(CComponentHelper::getComponentFactory(
        "Forecast", ClassID("Weather.Forecast"), server, first));
    CComponentHelper::getComponentFactory("Forecast", ClassID("Weather.Forecast"), server, second);
    if (service != nullptr)
        std::printf("forecast: %d C; one client for both lookups: %s, logins: %d\n",
                    service->temperature(first), first == second ? "yes" : "no", g_logins);
    const bool sharedClient = service != nullptr && first == second && g_logins == 1;

    // Clients go back through the helper (or a TComPtr); the last release logs out.
    CComponentHelper::release(first);
    CComponentHelper::release(second);

    // A failed lookup returns null and leaves a component error for the calling thread.
    // ServerInfo::none asks for the factory alone, without a client for a server.
    IClient* none = nullptr;
    const bool missing = CComponentHelper::getComponentFactory("Radar", ClassID("Weather.Radar"),
                                                               ServerInfo::none, none) == nullptr;
    std::printf("unknown interface: %s\n", Orlix::Infra::getErrMsg(Orlix::Infra::getLastError()));

    forecasts.unregisterFactory("Forecast");
    clients.unregisterFactory(IClient::IFactory::iid());

    const bool ok = sharedOk && sharedClient && g_logouts == 1 && missing &&
                    Orlix::Infra::getLastError() == errInterfaceNotFound;
    std::printf("components: %s\n", ok ? "ok" : "FAILED");
    return ok ? 0 : 1;
}
