// Components and clients the component tests share.
#ifndef ORLIX_TESTS_COMPONENT_COMPONENT_TESTING_H
#define ORLIX_TESTS_COMPONENT_COMPONENT_TESTING_H

#include "component/oldunknown.h"
#include "infra/clientfactory.h"
#include "infra/error.h"
#include "infra3/clock.h"

#include <atomic>
#include <mutex>
#include <string>

namespace ComponentTesting {

using namespace Orlix::Component;
using Orlix::Component::Detail::CComponentHelper;
using Orlix::Infra::getLastError;
using Orlix::Infra::setLastError;
using Orlix::Infra::Detail::advanceClockForTesting;

// A component that counts its disposals.
class Counted : public IUnknown
{
public:
    explicit Counted(std::atomic<int>* destroyed = nullptr) : m_destroyed(destroyed) {}
    void destroy() override
    {
        if (m_destroyed != nullptr)
            m_destroyed->fetch_add(1);
        delete this;
    }
    const char* describe() const override { return "Counted"; }

private:
    std::atomic<int>* m_destroyed;
};

// What happened to the clients of one test, and how their next calls behave.
struct ClientLog
{
    std::atomic<int> logins{0}, logouts{0}, destroyed{0}, created{0};
    std::atomic<bool> loginSucceeds{true}, broken{false};
    void note(const char* what) // "logout,destroy," as they happen
    {
        std::lock_guard<std::mutex> guard(mutex);
        order += what;
    }
    std::string orderText()
    {
        std::lock_guard<std::mutex> guard(mutex);
        return order;
    }

private:
    std::mutex mutex;
    std::string order;
};

class TestClient : public IClient
{
public:
    TestClient(ClientLog& log, int userId) : m_log(log), m_userId(userId) {}
    void destroy() override
    {
        // Counted last: a test that waits for the count may end, and free the log, at once.
        m_log.note("destroy,");
        m_log.destroyed.fetch_add(1);
        delete this;
    }
    const char* describe() const override { return "TestClient"; }
    bool checkBroken() override { return m_log.broken.load(); }
    bool login() override
    {
        m_log.logins.fetch_add(1);
        return m_log.loginSucceeds.load();
    }
    bool logout() override
    {
        m_log.note("logout,");
        m_log.logouts.fetch_add(1);
        return true;
    }
    bool getUserID(int* id) override
    {
        *id = m_userId;
        return true;
    }

private:
    ClientLog& m_log;
    int m_userId;
};

// Makes TestClients with user id userId for one class id, or none while makesClients is off.
class TestClientFactory : public IClient::IFactory
{
public:
    TestClientFactory(const char* classId, ClientLog& log, int userId = 7)
        : m_classId(classId), m_log(log), m_userId(userId)
    {}
    const char* getClassID() override { return m_classId; }
    IClient* create(const ServerInfo& /*info*/) override
    {
        if (!makesClients)
            return nullptr;
        m_log.created.fetch_add(1);
        return new TestClient(m_log, m_userId);
    }
    std::atomic<bool> makesClients{true};

private:
    const char* m_classId;
    ClientLog& m_log;
    int m_userId;
};

// A service factory (any interface but "Client").
class ServiceFactory : public IFactoryUnknown
{
public:
    explicit ServiceFactory(const char* classId) : m_classId(classId) {}
    const char* getClassID() override { return m_classId; }

private:
    const char* m_classId;
};

inline ServerInfo server(const char* host, int port = 9000, const char* user = "alice")
{
    ServerInfo info;
    info.text1 = host;
    info.number1 = port;
    info.userName = user;
    return info;
}

} // namespace ComponentTesting

#endif // ORLIX_TESTS_COMPONENT_COMPONENT_TESTING_H
