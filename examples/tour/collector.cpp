// The collector: an imaginary server the gateway reports to, reached through the component
// model. A client class stands for one login on the collector; two services of the
// collector (uploads and status reports) are factories published under their own
// interfaces. Looking a service up hands out a logged-in client, and both lookups for the
// same server share one client: one login, one logout when the last reference goes.
#include "tour.h"

#include <cstdio>

namespace {

using Orlix::Component::ClassID;
using Orlix::Component::IClient;
using Orlix::Component::IFactoryUnknown;
using Orlix::Component::ServerInfo;
using Orlix::Component::Detail::CComponentHelper;

// One login on the collector. The library decides when to log in and out; the client only
// knows how. The "connection" is imaginary: sending counts bytes.
class CollectorClient : public IClient
{
public:
    bool login() override
    {
        ServerInfo server;
        getServerInfo(server);
        tourSay("collector client #%d: logging in to %s:%d as %s", m_number, server.text1,
                server.number1, server.userName);
        // The collector greets in the Chinese double-byte code page (936): "欢迎，网关 17！".
        m_greeting = "\xBB\xB6\xD3\xAD\xA3\xAC\xCD\xF8\xB9\xD8 17\xA3\xA1";
        return true;
    }
    bool logout() override
    {
        tourSay("collector client #%d: logging out after %lu bytes sent", m_number,
                m_bytesSent.load());
        return true;
    }
    bool checkBroken() override { return false; }
    bool getUserID(int* id) override
    {
        *id = 17;
        return true;
    }
    void destroy() override { delete this; }
    const char* describe() const override { return "collector client"; }

    bool send(const unsigned char* /*data*/, unsigned int size)
    {
        m_bytesSent += size;
        return true;
    }
    const char* greeting() const { return m_greeting; }

private:
    static inline std::atomic<int> s_made{0}; // clients made so far: numbers tell them apart
    const int m_number = ++s_made;
    const char* m_greeting = "";
    std::atomic<unsigned long> m_bytesSent{0};
};

// Makes collector clients; published under "Client" and the class "Collector".
class CollectorClients : public IClient::IFactory
{
public:
    const char* getClassID() override { return "Collector"; }
    IClient* create(const ServerInfo& /*info*/) override { return new CollectorClient; }
};

// The collector's upload service ("Upload", class "Collector.Upload"). Its clients come from
// the "Collector" client factory: the class prefix before the '.' names it.
class UploadService : public IFactoryUnknown
{
public:
    const char* getClassID() override { return "Collector.Upload"; }
    bool upload(IClient* client, const Packet& packet)
    {
        auto* collector = dynamic_cast<CollectorClient*>(client);
        return collector != nullptr && collector->send(packet.getBuffer(), packet.size());
    }
};

// The status service ("Status", class "Collector.Status"): the heartbeat's "still alive".
class StatusService : public IFactoryUnknown
{
public:
    const char* getClassID() override { return "Collector.Status"; }
    bool alive(IClient* client)
    {
        static const unsigned char kAlive[] = "alive";
        auto* collector = dynamic_cast<CollectorClient*>(client);
        return collector != nullptr && collector->send(kAlive, sizeof(kAlive) - 1);
    }
};

ServerInfo collectorServer()
{
    ServerInfo server;
    server.text1 = "collector.example";
    server.number1 = 7001;
    server.userName = "gateway-17";
    return server;
}

// Factories stay registered for the whole program.
CollectorClients g_clients;
UploadService g_uploads;
StatusService g_status;

void showGreeting(IClient* client)
{
    const auto* collector = dynamic_cast<CollectorClient*>(client);
    if (collector == nullptr)
        return;
    unsigned char utf8[64];
    const int n = Orlix::Utils::Gb2312TUtf8(collector->greeting(), utf8, sizeof(utf8) - 1);
    tourSay("the collector greets in code page 936: %zu bytes, as UTF-8 %d bytes: %s",
            std::char_traits<char>::length(collector->greeting()), n,
            reinterpret_cast<const char*>(utf8));
}

} // namespace

bool Collector::connect()
{
    tourStep("Logging in to the collector");
    g_clients.registerFactory(IClient::IFactory::iid()); // "Client"
    g_uploads.registerFactory("Upload");
    g_status.registerFactory("Status");

    const ServerInfo server = collectorServer();
    m_upload = CComponentHelper::getComponentFactory("Upload", ClassID("Collector.Upload"), server,
                                                     m_uploadClient);
    if (m_upload == nullptr) {
        tourSay("upload service: %s", Orlix::Infra::getErrMsg(Orlix::Infra::getLastError()));
        return false;
    }
    showGreeting(m_uploadClient);

    m_status = CComponentHelper::getComponentFactory("Status", ClassID("Collector.Status"), server,
                                                     m_statusClient);
    if (m_status == nullptr) {
        tourSay("status service: %s", Orlix::Infra::getErrMsg(Orlix::Infra::getLastError()));
        return false;
    }
    tourSay("the status service shares the upload service's client: %s",
            m_statusClient == m_uploadClient ? "same client, no second login" : "NOT shared");
    return m_statusClient == m_uploadClient;
}

void Collector::disconnect()
{
    // Each lookup's reference goes back through the helper; the last one logs out.
    CComponentHelper::release(m_statusClient);
    CComponentHelper::release(m_uploadClient);
    m_statusClient = m_uploadClient = nullptr;
    m_upload = m_status = nullptr;
    g_status.unregisterFactory("Status");
    g_uploads.unregisterFactory("Upload");
    g_clients.unregisterFactory(IClient::IFactory::iid());
}

bool Collector::upload(const Packet& packet)
{
    auto* service = dynamic_cast<UploadService*>(m_upload);
    const bool sent = service != nullptr && service->upload(m_uploadClient, packet);
    m_uploads += sent ? 1 : 0;
    return sent;
}

void Collector::reportAlive()
{
    auto* service = dynamic_cast<StatusService*>(m_status);
    m_reports += service != nullptr && service->alive(m_statusClient) ? 1 : 0;
}
