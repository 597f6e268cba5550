/// @file
/// Components: reference-counted objects created by name.
///
/// A component is an object derived from IUnknown. It carries an atomic reference count and
/// is made by a creator function: one registered under a name with registerComponent(), or,
/// for a name nobody registered, one found in a shared library named after the component.
/// Two ways to ask for one:
///
///     IUnknown* fresh = createComponentObject("Greeter", nullptr);     // a new object
///     IUnknown* shared = getComponentInstance("Greeter", &serverInfo); // one per server
///     ...
///     shared->release();
///
/// Reference counting and hand-out. A new object starts with one reference that nobody holds
/// yet. The first hand-out (makeComponentObject, makeComponentInstance, a table's find or
/// insert) gives that reference to the receiver without counting; every later hand-out and
/// every addRef() adds one, every release() takes one. The release that reaches 0 takes the
/// object out of the registry or its table and disposes of it through destroy(), which each
/// component implements (typically `delete this`).
///
/// Shared libraries. For a name without a registered creator the registry loads the shared
/// library "lib<name>.so" (the platform's naming; the file name is cut to 31 characters) from
/// the system's library search path and calls its function "create<name>Object" (also cut to
/// 31 characters), declared as
///
///     extern "C" Orlix::Component::IUnknown* createGreeterObject(const ServerInfo* info);
///
/// The creator is looked up on every request; a loaded library stays loaded.
///
/// Helpers in the Detail namespace. Three classes declared below live in
/// Orlix::Component::Detail, which the API reference does not list; their contracts are in
/// the comments at their declarations:
///  - Detail::CComponentHelper: makeComponentObject() and makeComponentInstance() perform the
///    hand-out described above; addRef() and release() accept null, and release() is the way
///    to give back a client (it takes the client off the shared client list at 0);
///    setAsCurrentUser(); and getComponentFactory(), the factory lookup of clientfactory.h.
///  - Detail::CObjectTable: a table of shared objects kept by its user, in insertion order,
///    searched with find() and a matcher derived from Detail::key_base. Hold lock() around
///    every other call. The table holds no references: an object leaves it at its last
///    release.
///
/// Thread-safety: the registry and its creators may be used from any thread; creators run
/// with no library lock held, so they may use the registry themselves. Counts change only
/// atomically. A CObjectTable is locked by its user (lock()/unlock()) around every other call.
///
/// Failure: creation returns null (a missing creator or library sets no error code; a missing
/// symbol in a library logs an error line). makeComponentObject(null) and
/// makeComponentInstance(null) set the last error to errCreateObjectFailed and
/// errGetInstanceFailed. Broken preconditions (null objects, out-of-range indexes) end the
/// process through the library's assertion.
#ifndef ORLIX_INFRA_COMPONENT_H
#define ORLIX_INFRA_COMPONENT_H

#include "infra/defs.h"

#include <cstdint>

namespace Orlix {
namespace Component {

class IClient;
class IFactoryUnknown;

/// The component error codes. The library sets errInterfaceNotFound .. errClientNotExist,
/// errCreateObjectFailed, errGetInstanceFailed and errNotImplemented; the others are there for
/// concrete clients. Their texts ("Component error: ...") are registered with the error table
/// by the first IFactoryUnknown::registerFactory() of the process; errNotImplemented has none.
enum ComponentError : int
{
    errInterfaceNotFound = 0x10030000,    ///< no factory is registered under the interface id
    errClassNotFound = 0x10030001,        ///< the interface id has no factory for the class id
    errClientNotFound = 0x10030002,       ///< no client factory serves the class prefix
    errClientNotExist = 0x10030003,       ///< the client factory made no client for the server
    errNotLoggedIn = 0x10030004,          ///< for clients: not logged in yet
    errTryingLogin = 0x10030005,          ///< for clients: a login is in progress
    errUserNameInvalid = 0x10030006,      ///< for clients: the user name is not valid
    errPasswordInvalid = 0x10030007,      ///< for clients: the password is not valid
    errPeerBlocked = 0x10030008,          ///< for clients: the peer has been blocked
    errPeerInBlacklist = 0x10030009,      ///< for clients: the peer is blacklisted
    errUserNameUsed = 0x1003000A,         ///< for clients: the user name is in use
    errTooManyConnections = 0x1003000B,   ///< for clients: the server has too many connections
    errNoAuthority = 0x1003000C,          ///< for clients: the user lacks the authority
    errCreateObjectFailed = 0x1003000D,   ///< makeComponentObject() was given null
    errGetInstanceFailed = 0x1003000E,    ///< makeComponentInstance() was given null
    errLoginChallenge = 0x1003000F,       ///< for clients: the server asks a login challenge
    errNotImplemented = 0x10030010,       ///< an optional client operation is not implemented
    errUserOrPasswordInvalid = 0x10030015 ///< for clients: user name or password not valid
};

/// A class identifier: a text the caller owns (only the pointer is stored and copied). The
/// part before the first '.' names the client class that serves the class (clientfactory.h).
struct ORLIX_API ClassID
{
    /// Stores the pointer; name must outlive every copy. Implicit, so that a text can be
    /// passed where a class id is expected.
    constexpr ClassID(const char* name) noexcept : name(name) {}

    const char* name; ///< the class id text, owned by the caller

    /// "Local": the class whose client wrapper always creates a new client.
    static const ClassID local;
};

/// The description of one server connection. Texts are pointers the record does not own; a
/// null text counts as "" wherever the library compares or copies it. The record is copied
/// and assigned as a whole; a default-constructed one is all zero.
///
/// Apart from userName, what the fields mean is the concrete client's business (an address, a
/// port, a password, options, ...); the library only copies and compares them. Two lookups
/// compare servers: the shared-instance lookup of getComponentInstance() compares text1,
/// number1, userName, text2 and flag1; the shared-client lookup of the factories compares every
/// field except text7, number4, text11 and reserved.
struct ORLIX_API ServerInfo
{
    const char* text1 = nullptr;     ///< compared by both lookups
    std::int32_t number1 = 0;        ///< compared by both lookups
    const char* userName = nullptr;  ///< the user name of the login; compared by both lookups
    const char* text2 = nullptr;     ///< compared by both lookups
    const char* text3 = nullptr;     ///< compared by the client lookup
    std::uint8_t flag1 = 0;          ///< compared by both lookups
    std::uint8_t flag2 = 0;          ///< compared by the client lookup
    const char* text4 = nullptr;     ///< compared by the client lookup
    const char* text5 = nullptr;     ///< compared by the client lookup
    const char* text6 = nullptr;     ///< compared by the client lookup
    const char* text7 = nullptr;     ///< copied, never compared
    std::int32_t number2 = 0;        ///< compared by the client lookup
    const char* text8 = nullptr;     ///< compared by the client lookup
    std::uint8_t flag3 = 0;          ///< compared by the client lookup
    std::int32_t number3 = 0;        ///< compared by the client lookup
    std::int32_t number4 = 0;        ///< copied, never compared
    const char* text9 = nullptr;     ///< compared by the client lookup
    const char* text10 = nullptr;    ///< compared by the client lookup
    const char* text11 = nullptr;    ///< copied, never compared
    unsigned char reserved[56] = {}; ///< never read or written by the library

    /// All zero. The factory lookup recognises this very object by its address (meaning "no
    /// server"), not by its contents.
    static const ServerInfo none;
};

namespace Detail {
class CObjectTable;
struct UnknownAccess;
} // namespace Detail

/// Base of every component. Components are used through pointers only and never copied.
class ORLIX_API IUnknown
{
public:
    /// Reference count 1, not handed out yet, not in the registry or a table.
    IUnknown();
    /// Frees the bookkeeping record only; it touches neither tables nor the registry.
    virtual ~IUnknown();

    IUnknown(const IUnknown&) = delete;
    IUnknown& operator=(const IUnknown&) = delete;

    /// Disposes of the object once its last reference is gone. Each component decides how
    /// (usually `delete this`, or returning it to a pool).
    virtual void destroy() = 0;

    /// A short description of the object for diagnostics (its kind, its server). The library
    /// never calls it; it exists so that tools holding an IUnknown* can say what it is.
    virtual const char* describe() const = 0;

    /// Marks the object handed out and adds one reference; returns the new count.
    virtual int addRef();

    /// Takes one reference; returns the new count. At 0 the object leaves the registry (when
    /// the registry made it) or its table, and destroy() is called. Clients are released
    /// through Detail::CComponentHelper::release instead, which also takes them off the shared
    /// client list.
    virtual int release();

private:
    friend struct Detail::UnknownAccess;
    struct UnknownInternal;
    UnknownInternal* m_internal;
};

/// A creator: makes a new object (count 1, not handed out) for info (possibly null), or null.
using ComponentCreator = IUnknown* (*)(const ServerInfo* info);

/// Registers creator under name and returns true. A name that already has a creator logs the
/// warning "registerComponentCreator creator for '<name>' already exist!" and keeps the new
/// creator; instances made earlier stay recorded. A null name is refused: false, with
/// errCreateObjectFailed in the last error.
ORLIX_API bool registerComponent(const char* name, IUnknown* (*creator)(const ServerInfo*));

/// A new object made by name's creator (or the shared library's), with info passed through;
/// null when there is no creator or it made nothing. The object is not recorded: release() is
/// the holder's business. The first hand-out is the caller's: the count is the creator's 1.
/// A null name gives null with errCreateObjectFailed in the last error.
ORLIX_API IUnknown* createComponentObject(const char* name, const ServerInfo* info);

/// The shared instance of name for info: the first recorded instance whose server matches
/// (text1, number1, userName, text2 and flag1; a null info matches only the instance made
/// without a server) with one reference added, or else a new object, recorded. Null when
/// nothing could be made. Each holder releases its reference; the last release forgets the
/// record and disposes of the object. A request racing with that last release never gets the
/// departing object: it finds another instance or makes a new one. A null name gives null
/// with errGetInstanceFailed in the last error.
ORLIX_API IUnknown* getComponentInstance(const char* name, const ServerInfo* info);

namespace Detail {

/// A matcher for CObjectTable::find. Derive and implement matches().
class ORLIX_API key_base
{
public:
    virtual ~key_base();
    /// True when object is the one looked for.
    virtual bool matches(IUnknown* object) const = 0;
};

/// A user-kept table of shared objects, in insertion order. The table holds no references of
/// its own: an object leaves it when its last reference is released, and destroying the
/// table neither releases nor destroys what is in it.
///
/// Locking: hold lock() around find, insert, erase, count and get. The lock is re-entrant,
/// and release() of an object in the table takes it itself, so a holder may release while
/// holding it.
class ORLIX_API CObjectTable
{
public:
    /// An empty table.
    CObjectTable();
    /// Forgets the entries without releasing them; they live on as objects in no table.
    ~CObjectTable();
    CObjectTable(const CObjectTable&) = delete;
    CObjectTable& operator=(const CObjectTable&) = delete;

    /// Takes and gives back the table's re-entrant lock.
    void lock();
    void unlock();

    /// The first object that key matches, handed out (the first hand-out is free, later ones
    /// add a reference); null when none matches.
    IUnknown* find(const key_base& key) const;
    /// Appends object (no duplicate check) and hands it out once, as find does.
    void insert(IUnknown* object);
    /// Removes every occurrence of object; the others keep their order.
    void erase(IUnknown* object);
    /// The number of entries.
    unsigned count() const;
    /// The entry at index, without touching its count. index < count() is asserted.
    IUnknown* get(unsigned index) const;

private:
    struct ObjectTableInternal;
    ObjectTableInternal* m_internal;
};

/// Reference operations for holders that may see null objects, and the factory lookup.
class ORLIX_API CComponentHelper
{
public:
    /// Hands out a freshly created object without counting (unless it lives in a table, whose
    /// find counted it already). Null: last error errCreateObjectFailed, null result.
    static IUnknown* makeComponentObject(IUnknown* object);
    /// Hands out a shared object: the first hand-out is free, later ones add a reference
    /// (objects in a table were counted by find already). Null: last error
    /// errGetInstanceFailed, null result.
    static IUnknown* makeComponentInstance(IUnknown* object);
    /// object->addRef(), or 0 for null.
    static int addRef(IUnknown* object);
    /// Takes one reference: a client goes through ClientFactory::releaseClientObject (which
    /// takes it off the shared client list at 0), anything else through release(). 0 for null.
    static int release(IUnknown* object);

    /// Makes client's user (its getUserID()) the calling thread's current user
    /// (IClient::getCurrentUserID()). False for null.
    static bool setAsCurrentUser(IClient* client);

    /// The factory registered under iid and classId, together with a logged-in client for the
    /// server info names. For iid "Client" the result is the class's client factory, wrapped
    /// so that every client it makes is shared (see clientfactory.h), and no client is looked
    /// up. For any other iid with info other than ServerInfo::none itself, the shared client of
    /// the class prefix of classId (up to the first '.') for that server is found or created
    /// and logged in (again, when its connection broke); client receives it and the caller
    /// releases it with release() when done. Null when anything fails: errInterfaceNotFound,
    /// errClassNotFound, errClientNotFound or errClientNotExist in the last error, or a failed
    /// login (debug log line; the client stays listed). client is null unless a client was
    /// found. A null iid gives errInterfaceNotFound and a null class id (classId.name)
    /// errClassNotFound, before any client is looked up.
    static IFactoryUnknown* getComponentFactory(const char* iid, const ClassID& classId,
                                                const ServerInfo& info, IClient*& client);
    /// As above, but the client is the listed one whose user id is userId (-1: none is looked
    /// for), with a reference added; no login is attempted. Null at once, without an error
    /// code, when no such client is listed. Null iid and class id fail as above.
    static IFactoryUnknown* getComponentFactory(const char* iid, const ClassID& classId, int userId,
                                                IClient*& client);
};

} // namespace Detail

} // namespace Component
} // namespace Orlix

#endif // ORLIX_INFRA_COMPONENT_H
