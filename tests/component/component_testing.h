// Components and clients the component tests share.
#ifndef ORLIX_TESTS_COMPONENT_COMPONENT_TESTING_H
#define ORLIX_TESTS_COMPONENT_COMPONENT_TESTING_H

#include "infra/clientfactory.h"

#include <atomic>
#include <mutex>
#include <string>

namespace ComponentTesting {

using Orlix::Component::ClassID;
using Orlix::Component::IClient;
using Orlix::Component::IFactoryUnknown;
using Orlix::Component::IUnknown;
using Orlix::Component::ServerInfo;

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

// What happened to the clients of one test: calls of each operation, in total.
struct ClientLog
{
    std::atomic<int> logins{0};
    std::atomic<int> logouts{0};
    std::atomic<int> destroyed{0};
    std::atomic<int> created{0};
    std::atomic<bool> loginSucceeds{true};
    std::atomic<bool> broken{false};
    // "logout,destroy," as they happen.
    void note(const char* what)
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

// A client whose login outcome and connection state the test controls.
class TestClient : public IClient
{
public:
    TestClient(ClientLog& log, int userId) : m_log(log), m_userId(userId) {}
    void destroy() override
    {
        m_log.destroyed.fetch_add(1);
        m_log.note("destroy,");
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
        m_log.logouts.fetch_add(1);
        m_log.note("logout,");
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

// A client factory for one class id, making TestClients with user id userId.
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

// A server description with the fields the tests vary.
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
