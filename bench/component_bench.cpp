// The component model's hot paths against what a user would otherwise write with the standard
// library: the factory lookup that hands out an already listed, logged-in client; a hit on a
// shared instance; reference count pairs from two threads.
#include "infra/clientfactory.h"

#include <benchmark/benchmark.h>

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <tuple>
#include <vector>

using namespace Orlix::Component;

namespace {

// ---------------------------------------------------------------- subjects

class BenchClient : public IClient
{
public:
    void destroy() override { delete this; }
    const char* describe() const override { return "BenchClient"; }
    bool checkBroken() override { return false; }
    bool login() override { return true; }
    bool logout() override { return true; }
    bool getUserID(int* id) override
    {
        *id = 1;
        return true;
    }
};

class BenchClientFactory : public IClient::IFactory
{
public:
    const char* getClassID() override { return "Device"; }
    IClient* create(const ServerInfo&) override { return new BenchClient; }
};

class BenchService : public IFactoryUnknown
{
public:
    const char* getClassID() override { return "Device.Config"; }
};

class BenchObject : public IUnknown
{
public:
    void destroy() override { delete this; }
    const char* describe() const override { return "BenchObject"; }
};

IUnknown* makeBenchObject(const ServerInfo*)
{
    return new BenchObject;
}

ServerInfo benchServer()
{
    ServerInfo info;
    info.text1 = "10.0.0.1";
    info.number1 = 9000;
    info.userName = "alice";
    return info;
}

// ---------------------------------------------------------------- factory lookup

// One listed client (held for the whole run) and a dozen neighbours for other servers, so the
// list walk is not trivially short.
void BM_GetComponentFactoryExistingClient(benchmark::State& state)
{
    static BenchClientFactory clientFactory;
    static BenchService service;
    clientFactory.registerFactory("Client");
    service.registerFactory("Media");
    const ServerInfo info = benchServer();
    std::vector<std::string> hosts;
    for (int i = 0; i < 12; ++i)
        hosts.push_back("10.0.1." + std::to_string(i));
    std::vector<IClient*> held;
    for (const std::string& host : hosts) {
        ServerInfo other = info;
        other.text1 = host.c_str();
        IClient* c = nullptr;
        Detail::CComponentHelper::getComponentFactory("Media", ClassID("Device.Config"), other, c);
        held.push_back(c);
    }
    IClient* keep = nullptr;
    Detail::CComponentHelper::getComponentFactory("Media", ClassID("Device.Config"), info, keep);

    for (auto _ : state) {
        IClient* client = nullptr;
        IFactoryUnknown* f = Detail::CComponentHelper::getComponentFactory(
            "Media", ClassID("Device.Config"), info, client);
        benchmark::DoNotOptimize(f);
        Detail::CComponentHelper::release(client);
    }
    Detail::CComponentHelper::release(keep);
    for (IClient* c : held)
        Detail::CComponentHelper::release(c);
}
BENCHMARK(BM_GetComponentFactoryExistingClient);

// What a user would write instead: a mutex-guarded map of factories by (interface, class) and
// a mutex-guarded list of shared_ptr connections searched by server, copied out.
struct StdConnection
{
    std::string host;
    int port;
    std::string user;
    bool broken() const { return false; }
};

struct StdRegistry
{
    std::mutex factoryMutex;
    std::map<std::pair<std::string, std::string>, void*> factories;
    std::mutex clientMutex;
    std::vector<std::shared_ptr<StdConnection>> clients;

    void* lookUp(const char* iid, const char* classId, const ServerInfo& info,
                 std::shared_ptr<StdConnection>& out)
    {
        {
            std::lock_guard<std::mutex> guard(clientMutex);
            for (const auto& c : clients) {
                if (c->host == info.text1 && c->port == info.number1 && c->user == info.userName) {
                    out = c;
                    break;
                }
            }
        }
        if (out && out->broken())
            return nullptr;
        std::lock_guard<std::mutex> guard(factoryMutex);
        auto it = factories.find({iid, classId});
        return it != factories.end() ? it->second : nullptr;
    }
};

void BM_StdRegistryExistingClient(benchmark::State& state)
{
    static StdRegistry registry;
    static int factory;
    registry.factories[{"Media", "Device.Config"}] = &factory;
    const ServerInfo info = benchServer();
    for (int i = 0; i < 12; ++i)
        registry.clients.push_back(std::make_shared<StdConnection>(
            StdConnection{"10.0.1." + std::to_string(i), 9000, "alice"}));
    registry.clients.push_back(
        std::make_shared<StdConnection>(StdConnection{"10.0.0.1", 9000, "alice"}));
    for (auto _ : state) {
        std::shared_ptr<StdConnection> client;
        benchmark::DoNotOptimize(registry.lookUp("Media", "Device.Config", info, client));
    }
    registry.clients.clear();
}
BENCHMARK(BM_StdRegistryExistingClient);

// ---------------------------------------------------------------- shared instance hit

void BM_GetComponentInstanceHit(benchmark::State& state)
{
    static const bool registered = registerComponent("BenchShared", &makeBenchObject);
    benchmark::DoNotOptimize(registered);
    const ServerInfo info = benchServer();
    IUnknown* keep = getComponentInstance("BenchShared", &info);
    for (auto _ : state) {
        IUnknown* object = getComponentInstance("BenchShared", &info);
        benchmark::DoNotOptimize(object);
        object->release();
    }
    keep->release();
}
BENCHMARK(BM_GetComponentInstanceHit);

// The usual alternative: a mutex-guarded map from key to weak_ptr, locked on each hit.
void BM_StdWeakPtrCacheHit(benchmark::State& state)
{
    std::mutex mutex;
    std::map<std::tuple<std::string, std::string, int, std::string>, std::weak_ptr<BenchObject>>
        cache;
    auto keep = std::make_shared<BenchObject>();
    const ServerInfo info = benchServer();
    cache[{"BenchShared", info.text1, info.number1, info.userName}] = keep;
    for (auto _ : state) {
        std::shared_ptr<BenchObject> object;
        {
            std::lock_guard<std::mutex> guard(mutex);
            auto it = cache.find({"BenchShared", info.text1, info.number1, info.userName});
            if (it != cache.end())
                object = it->second.lock();
        }
        benchmark::DoNotOptimize(object.get());
    }
}
BENCHMARK(BM_StdWeakPtrCacheHit);

// ---------------------------------------------------------------- reference counts

IUnknown* sharedObject()
{
    static IUnknown* object = new BenchObject; // lives for the whole run
    return object;
}

void BM_AddRefReleasePairs(benchmark::State& state)
{
    IUnknown* object = sharedObject();
    for (auto _ : state) {
        object->addRef();
        object->release();
    }
}
BENCHMARK(BM_AddRefReleasePairs)->Threads(1)->Threads(2);

void BM_SharedPtrCopyPairs(benchmark::State& state)
{
    static const std::shared_ptr<int> shared = std::make_shared<int>(1);
    for (auto _ : state) {
        std::shared_ptr<int> copy = shared;
        benchmark::DoNotOptimize(copy.get());
    }
}
BENCHMARK(BM_SharedPtrCopyPairs)->Threads(1)->Threads(2);

} // namespace

BENCHMARK_MAIN();
