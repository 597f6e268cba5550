// The process-wide list of shared clients (internal).
//
// Every client a client factory wrapper makes is listed here in creation order; lookups walk
// the list (the first match wins) and hand clients out again. A periodic sweep on the timer
// "ClientCheck" removes clients that never got logged in and have been idle for more than
// five minutes. The list does not own its clients: it holds the creation reference of a
// client that a lookup made only until that client is first used.
//
// Lock order: the client-creation lock of the wrappers before this list's lock. logout() and
// destroy() of a client always run after this list's lock is released.
#ifndef ORLIX_SRC_COMPONENT_CLIENTINSTANCELIST_H
#define ORLIX_SRC_COMPONENT_CLIENTINSTANCELIST_H

#include "infra/client.h"

#include <cstddef>

namespace Orlix {
namespace Infra {
namespace Detail {
template <class T>
class CSingleton;
} // namespace Detail
} // namespace Infra

namespace Component {

namespace Detail {

// True while the list still holds the creation reference of client: the client has not had
// its first use (clientGetAndMarkUsing) yet. Reads the mark without setting it.
bool clientHoldsListReference(IClient* client);

} // namespace Detail

class CClientInstanceList
{
public:
    // The list, created (and its sweep started) on first use; destroyed at process exit,
    // which stops the sweep and drops the list without touching the clients still in it.
    static CClientInstanceList* instance();

    CClientInstanceList(const CClientInstanceList&) = delete;
    CClientInstanceList& operator=(const CClientInstanceList&) = delete;

    // Appends client; null is ignored.
    void add(IClient* client);
    // The first client made for exactly classId whose user id is userId; no reference added.
    IClient* findByUser(const ClassID& classId, int userId);
    // The same client, handed out (CComponentHelper::makeComponentInstance).
    IClient* findByUserAndHandOut(const ClassID& classId, int userId);
    // The first client serving classId and info, broken ones included, handed out.
    IClient* findByServer(const ClassID& classId, const ServerInfo& info);
    // The first client serving classId and info that is not broken; no reference added.
    IClient* findLiveByServer(const ClassID& classId, const ServerInfo& info);
    // findLiveByServer with a reference added before the list's lock is released, so that a
    // concurrent last release cannot dispose of the client in between.
    IClient* findLiveByServerAndAddRef(const ClassID& classId, const ServerInfo& info);
    // Takes one reference of client (asserted non-null); at 0 removes it from the list, then,
    // outside the lock, logs it out and destroys it. Returns the new count.
    int releaseClientInstance(IClient* client);
    // The sweep (the timer procedure; the parameter is ignored): removes, in one pass, every
    // idle client whose only reference is the list's own (at most one reference, and not
    // used yet), then logs each out and destroys it when its last reference is gone.
    void removeIdleClientInstance(unsigned long param);

    // Test seams: the number of listed clients, whether client is listed, and stopping the
    // periodic sweep so that a test can run passes itself.
    std::size_t countForTesting();
    bool containsForTesting(IClient* client);
    void stopSweepForTesting();

private:
    friend class Infra::Detail::CSingleton<CClientInstanceList>;
    CClientInstanceList();
    ~CClientInstanceList();

    IClient* findMatching(bool (*match)(IClient*, const void*), const void* context);

    struct ClientInstanceListInternal;
    ClientInstanceListInternal* m_internal;
};

} // namespace Component
} // namespace Orlix

#endif // ORLIX_SRC_COMPONENT_CLIENTINSTANCELIST_H
