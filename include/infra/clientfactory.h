/// @file
/// Factories: published under an interface id and a class id; shared clients.
///
/// A factory derives from IFactoryUnknown, names the class it serves with getClassID() and is
/// published with registerFactory(iid). Callers find it with
/// Detail::CComponentHelper::getComponentFactory(iid, classId, server, client), which also
/// hands them a logged-in client for the server:
///
///     IClient* client = nullptr;
///     IFactoryUnknown* f = CComponentHelper::getComponentFactory(
///         "Media", ClassID("Device.Config"), serverInfo, client);
///     if (auto* media = dynamic_cast<MediaFactory*>(f))
///         media->configure(client, ...);
///     CComponentHelper::release(client);
///
/// Clients come from client factories (IClient::IFactory) registered under "Client" and the
/// class prefix (here "Device"). The library keeps every client it made in one process-wide
/// list and hands the same client to every lookup for the same class prefix and server,
/// logging it in again when its connection broke; the last release takes it off the list,
/// logs it out and disposes of it. A client whose first login failed stays listed until it has
/// been idle for five minutes; a sweep every 60 ms removes such clients.
///
/// The interface id "Client" itself returns the client factory wrapped: its create() shares
/// clients in the same way (an existing client for an equal server is handed out again with a
/// reference added), except for the class "Local", whose every create() makes a new client.
///
/// Thread-safety: everything may be used from any thread. Two threads asking for the same
/// class and server at once end with one client. Logins run without library locks held;
/// client factories' create() runs under the library's client-creation lock.
///
/// Failure: lookups return null and set the last error to one of the ComponentError codes
/// (component.h); their texts are registered by the first registerFactory() of the process.
#ifndef ORLIX_INFRA_CLIENTFACTORY_H
#define ORLIX_INFRA_CLIENTFACTORY_H

#include "infra/client.h"
#include "infra/component.h"
#include "infra/defs.h"
#include "infra/infra3/flex_string.h"

namespace Orlix {
namespace Component {

/// Base of every factory.
class ORLIX_API IFactoryUnknown
{
public:
    virtual ~IFactoryUnknown();
    /// The class id this factory serves; must stay valid while the factory is registered.
    virtual const char* getClassID() = 0;

    /// Publishes this factory under iid and getClassID(), replacing what was there. The first
    /// call of the process also registers the component error texts. True, unless iid or
    /// getClassID() is null: then false with errInterfaceNotFound or errClassNotFound in the
    /// last error, and nothing is stored.
    bool registerFactory(const char* iid);
    /// Replaces the factory stored under iid and getClassID() with null (lookups then find
    /// nothing, ClassIDList still lists the class). True; a null iid or getClassID() fails as
    /// registerFactory() does.
    bool unregisterFactory(const char* iid);
};

/// A client factory: makes clients of its class for a server.
class ORLIX_API IClient::IFactory : public IFactoryUnknown
{
public:
    /// "Client": the interface id client factories are registered under.
    static const char* iid();
    /// A new client for info (reference count 1), or null. Called with the library's
    /// client-creation lock held.
    virtual IClient* create(const ServerInfo& info) = 0;
    /// The listed client of this factory's class whose user id is userId, or null; no
    /// reference is added.
    IClient* instance(int userId);
};

/// What the lookup hands out for iid "Client": the registered client factory, wrapped so that
/// the clients it makes are listed and shared.
class ORLIX_API IClientFactoryWrap : public IClient::IFactory
{
public:
    /// factory must be an IClient::IFactory (asserted); it is not owned.
    explicit IClientFactoryWrap(IFactoryUnknown* factory);
    IClientFactoryWrap(const IClientFactoryWrap&) = delete;
    IClientFactoryWrap& operator=(const IClientFactoryWrap&) = delete;

    /// The wrapped factory's class id.
    const char* getClassID() override;
    /// The listed live client of this class for info with a reference added, or a new one from
    /// the wrapped factory (null when it makes none), listed, marked in use, exempt from the
    /// idle sweep and made the calling thread's current user. The class "Local" always gets a
    /// new client. Give the reference back with CComponentHelper::release.
    IClient* create(const ServerInfo& info) override;
    /// As create(), for the factory lookup: a new client is not sweep-exempt and carries two
    /// references, the list's creation reference (dropped at its first use) and the caller's.
    IClient* createForServer(const ServerInfo& info);

private:
    IClient* createListed(const ServerInfo& info, bool forServer);

    IClient::IFactory* m_original;
};

/// The release path of clients.
class ORLIX_API ClientFactory
{
public:
    /// Takes one reference of client (asserted non-null); at 0 the client leaves the list, is
    /// logged out and disposed of. Returns the new count.
    static int releaseClientObject(IClient* client);
};

/// The class ids registered under an interface id, in ascending order, taken when the list is
/// made (classes whose factory was unregistered included).
class ORLIX_API ClassIDList
{
public:
    /// Takes the class ids registered under iid now; empty when iid has none, and when iid is
    /// null (then with errInterfaceNotFound in the last error).
    explicit ClassIDList(const char* iid);
    ~ClassIDList();
    ClassIDList(const ClassIDList&) = delete;
    ClassIDList& operator=(const ClassIDList&) = delete;

    /// The number of ids.
    unsigned count() const;
    /// A copy of the id at index; an index outside [0, count()) is an assertion failure.
    Infra::flex_string operator[](int index) const;

private:
    struct ClassIDListInternal;
    ClassIDListInternal* m_internal;
};

} // namespace Component
} // namespace Orlix

#endif // ORLIX_INFRA_CLIENTFACTORY_H
