/// @file
/// Clients: one user's login on one server.
///
/// A client is the component that stands for one login. Concrete clients derive from IClient
/// and implement the connection itself (login, logout, checkBroken, getUserID); the base keeps
/// what the library needs to share clients between callers: the server the client was made
/// for, its login state (created, logged in, broken), when it was last active, and the status
/// procedures told when the client is aborted.
///
///     class MyClient : public Orlix::Component::IClient
///     {
///         bool login() override { ...; saveUserName("alice"); return true; }
///         bool logout() override { ...; return true; }
///         bool checkBroken() override { return !connected; }
///         bool getUserID(int* id) override { *id = 7; return true; }
///         void destroy() override { delete this; }
///         const char* describe() const override { return "MyClient"; }
///     };
///
/// Clients are made by client factories (IClient::IFactory, clientfactory.h), which also set up
/// the client's record; a client's operations that read the record must not be called before.
/// Clients are shared: hold them through TComPtr or give references back with
/// Detail::CComponentHelper::release, never with IUnknown::release directly.
///
/// Thread-safety: the status procedure list has its own lock, which is not held while a
/// procedure runs, so a procedure may attach or detach procedures of the same client. The
/// login state and activity time are atomic; the login itself is the concrete client's
/// business and may be called from several threads when they share a client. The current user
/// is per thread.
///
/// Failure: the optional operations (checkAuthorityString, getChallenge, getCurrentTime,
/// loginAgain, loginFirst, setCurrentTime) return false with last error errNotImplemented
/// unless a concrete client overrides them. Missing records are assertion failures.
#ifndef ORLIX_INFRA_CLIENT_H
#define ORLIX_INFRA_CLIENT_H

#include "infra/component.h"
#include "infra/defs.h"
#include "infra/function.h"
#include "infra/infra3/flex_string.h"
#include "infra/time.h"

#include <cstdint>
#include <memory>
#include <string>

namespace Orlix {
namespace Component {

/// A holding pointer: owns one reference to object (and, when set, one to companion, a second
/// component that travels with it; the library itself never sets one). Constructing from a
/// pointer adopts a reference the caller already holds; copying adds a reference to each
/// non-null pointer, destroying releases them through Detail::CComponentHelper::release.
template <class T>
class TComPtr
{
public:
    /// Holds nothing.
    TComPtr() noexcept = default;
    /// Adopts one reference to object (and to companion) held by the caller.
    explicit TComPtr(T* object, IUnknown* companion = nullptr) noexcept
        : object(object), companion(companion)
    {}
    /// Shares what other holds, adding a reference to each pointer.
    TComPtr(const TComPtr& other) noexcept : object(other.object), companion(other.companion)
    {
        Detail::CComponentHelper::addRef(object);
        Detail::CComponentHelper::addRef(companion);
    }
    /// Takes over other's references; other is empty afterwards.
    TComPtr(TComPtr&& other) noexcept : object(other.object), companion(other.companion)
    {
        other.object = nullptr;
        other.companion = nullptr;
    }
    /// Releases what was held and holds what other held (copied or moved in).
    TComPtr& operator=(TComPtr other) noexcept
    {
        swap(other);
        return *this;
    }
    /// Releases what is held.
    ~TComPtr() { reset(); }

    /// Releases what is held; the pointer is empty afterwards.
    void reset() noexcept
    {
        T* held = object;
        IUnknown* heldCompanion = companion;
        object = nullptr;
        companion = nullptr;
        Detail::CComponentHelper::release(held);
        Detail::CComponentHelper::release(heldCompanion);
    }
    /// Gives up ownership of the object without releasing it and returns it; the caller now
    /// owns that reference. The companion stays held.
    T* detach() noexcept
    {
        T* held = object;
        object = nullptr;
        return held;
    }
    /// Exchanges what the two pointers hold; no count changes.
    void swap(TComPtr& other) noexcept
    {
        T* o = object;
        object = other.object;
        other.object = o;
        IUnknown* c = companion;
        companion = other.companion;
        other.companion = c;
    }

    /// The held object (null when none), without adding a reference.
    T* get() const noexcept { return object; }
    /// The held companion (null when none), without adding a reference.
    IUnknown* getCompanion() const noexcept { return companion; }
    /// The held object, for member access; it must not be null.
    T* operator->() const noexcept { return object; }
    /// The held object; it must not be null.
    T& operator*() const noexcept { return *object; }
    /// True when an object is held.
    explicit operator bool() const noexcept { return object != nullptr; }

private:
    T* object = nullptr;
    IUnknown* companion = nullptr;
};

/// What a client's getChallenge() fills in: five texts and 27 numbers, all empty or zero at
/// construction; their meaning is the concrete client's.
struct ServerChallenge
{
    /// The texts: flex_string's interface over the compact storage, one pointer each and no
    /// memory while empty (challenges mostly leave texts unused).
    using ChallengeString =
        Infra::flex_string_shell<char, std::char_traits<char>, std::allocator<char>,
                                 Infra::ministringstorage<char>>;

    ChallengeString field1;        ///< the first text
    ChallengeString field2;        ///< the second text
    ChallengeString field3;        ///< the third text
    ChallengeString field4;        ///< the fourth text
    ChallengeString field5;        ///< the fifth text
    std::int32_t numbers[27] = {}; ///< the numbers
};

class IClient;
namespace Detail {
struct ClientAccess;
} // namespace Detail

/// @name Client state operations
/// The operations the client factories drive. All assert that client and its record exist
/// ("client != NULL && client->m_internal != NULL"), except clientCreateInternal, which
/// asserts that the record does not exist yet.
/// @{

/// Creates client's record for classId and a copy of info; state created. A sweepExempt
/// client is never removed by the idle sweep.
ORLIX_API void clientCreateInternal(IClient* client, const ClassID& classId, const ServerInfo& info,
                                    bool sweepExempt);
/// Marks the client active and calls login(); on success records the login time and sets the
/// state to logged in. The result is login()'s.
ORLIX_API bool clientLogin(IClient* client);
/// Marks the client active and calls checkBroken(); when the connection is broken sets the
/// state to broken and returns true.
ORLIX_API bool clientUpdateBroken(IClient* client);
/// True in state created: the client has never logged in.
ORLIX_API bool clientIsCreated(IClient* client);
/// True in state logged in: the last login succeeded and no broken connection was seen since.
ORLIX_API bool clientIsLogined(IClient* client);
/// True in state broken: clientUpdateBroken() found the connection broken and no login has
/// succeeded since.
ORLIX_API bool clientIsBroken(IClient* client);
/// True for a client still in state created, not sweep-exempt, whose last activity lies more
/// than five minutes (300000 ms of the library's clock) back.
ORLIX_API bool clientIsIdle(IClient* client);
/// True when the client was made for exactly classId and its getUserID() reports userId.
ORLIX_API bool clientIsSameAs(IClient* client, const ClassID& classId, int userId);
/// True when the client serves classId and info. The client's class id starts with the class
/// prefix of classId (the text before the first '.'), and every identifying field of info
/// equals the client's copy (all but text7, number4 and text11).
ORLIX_API bool clientIsSameAs(IClient* client, const ClassID& classId, const ServerInfo& info);
/// Marks the client in use; returns the previous mark (0 on the first call).
ORLIX_API long clientGetAndMarkUsing(IClient* client);
/// @}

/// Base of every client: one user's login on one server (see client.h).
class ORLIX_API IClient : public IUnknown
{
public:
    /// What a status procedure is told. The library reports statusAborted (abort()); every
    /// other value is the concrete client's to define.
    enum Status : int
    {
        statusAborted = 2 ///< the client is being aborted (abort())
    };

    /// A status procedure: called with the client's custom data, its class id, the client
    /// (held for the duration of the call), the status and a reason.
    using Proc = Infra::TFunction5<void, void*, ClassID, TComPtr<IClient>, Status, int>;

    /// A client factory: makes clients of one class for a server. Registered under iid()
    /// ("Client") and its class id; the lookup hands it out wrapped so that the clients it
    /// makes are shared (clientfactory.h).
    /// Defined in clientfactory.h.
    class IFactory;

    /// No record yet: a factory creates it (clientCreateInternal).
    IClient();
    /// Frees the record; no procedure is called and no logout happens.
    ~IClient() override;

    /// True when the connection is broken.
    virtual bool checkBroken() = 0;
    /// Logs in to the server; true on success.
    virtual bool login() = 0;
    /// Logs out; called before the client is disposed of and by abort().
    virtual bool logout() = 0;
    /// Stores the user id of the login through id (the library presets -1 and ignores the
    /// result).
    virtual bool getUserID(int* id) = 0;
    /// @name Optional operations
    /// Operations a concrete client may offer. The library never calls them; each default sets
    /// the last error to errNotImplemented and returns false.
    /// @{

    /// Checks whether the logged-in user holds the authority named by text.
    virtual bool checkAuthorityString(const char* text);
    /// Sets the server's clock to time; flag is the concrete client's.
    virtual bool setCurrentTime(const Infra::CTime& time, int flag);
    /// Fills challenge with the server's login challenge.
    virtual bool getChallenge(ServerChallenge& challenge);
    /// Reads the server's clock into time.
    virtual bool getCurrentTime(Infra::CTime& time);
    /// A first login, for clients that tell it apart from later ones.
    virtual bool loginFirst();
    /// Logs in again, to the server info describes.
    virtual bool loginAgain(const ServerInfo& info);
    /// @}

    /// Attaches proc; false for an empty or wildcard delegate, one already attached, or when
    /// eight are attached already.
    virtual bool attachStatusProc(Proc proc);
    /// Detaches proc (a wildcard delegate detaches every matching one); false when none was
    /// attached. A call of proc running on another thread goes on with its own copy.
    virtual bool detachStatusProc(Proc proc);

    /// Fills info with the client's server (texts point into the client's own copies, valid
    /// while the client lives). Warns when no user name is known. Always true.
    bool getServerInfo(ServerInfo& info) const;
    /// Stores the user name of the login, once; a second call warns and changes nothing.
    /// Always true.
    bool saveUserName(const char* name);
    /// The time of the last successful login (default-constructed before one). Always true.
    bool getLoginTime(Infra::CTime& time) const;
    /// Tells every status procedure (statusAborted, reason), in slot order, then logs out; the
    /// result is logout()'s. The client is held for the duration. Slot order is attach order
    /// until a procedure is detached: the next one attached takes the freed slot.
    bool abort(int reason);
    /// Stores data, handed to every status procedure as its first argument; the library never
    /// reads it otherwise. Not locked: set it before the client is shared.
    void setCustomData(void* data);
    /// The data stored with setCustomData(), null before.
    void* getCustomData() const;

    /// The calling thread's current user id, set by the factory lookup; 0 on a thread where
    /// none was set.
    static int getCurrentUserID();

private:
    friend void clientCreateInternal(IClient*, const ClassID&, const ServerInfo&, bool);
    friend bool clientLogin(IClient*);
    friend bool clientUpdateBroken(IClient*);
    friend bool clientIsCreated(IClient*);
    friend bool clientIsLogined(IClient*);
    friend bool clientIsBroken(IClient*);
    friend bool clientIsIdle(IClient*);
    friend bool clientIsSameAs(IClient*, const ClassID&, int);
    friend bool clientIsSameAs(IClient*, const ClassID&, const ServerInfo&);
    friend long clientGetAndMarkUsing(IClient*);
    friend struct Detail::ClientAccess;

    struct ClientInternal;
    ClientInternal* m_internal;
};

} // namespace Component
} // namespace Orlix

#endif // ORLIX_INFRA_CLIENT_H
