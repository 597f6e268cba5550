// The include-version check (internal).
//
// Every module of a process registers, while it is loaded, the source revision of each
// public header directory it was compiled against. The check makes sure that all registered
// modules agree on the revision of every header directory they share, and logs each
// disagreement at error level. A failed check only prints: it never stops the process and
// never changes what the library does.
//
// The library registers its own record "Infra" from a static object at load. The checker is
// private to the library; registerIncludeVersion() is not exported from the shared library.
#ifndef ORLIX_SRC_INFRA3_CHECKINCLUDEVERSION_H
#define ORLIX_SRC_INFRA3_CHECKINCLUDEVERSION_H

namespace Orlix {
namespace Infra {
namespace Detail {

template <class T>
class CSingleton;

// One header directory a module was compiled against.
struct IncludeVersionEntry
{
    const char* location; // "URL: <location>/Include/Trunk/<Module>"
    const char* revision; // decimal digits
};

// The process-wide checker: the registered records in registration order, and a legacy
// mutex that serialises registrations. Created on first use, destroyed at process exit.
class CCheckIncludeVersionInter
{
public:
    // The checker, created on first call.
    static CCheckIncludeVersionInter* instance();

    virtual ~CCheckIncludeVersionInter();
    CCheckIncludeVersionInter(const CCheckIncludeVersionInter&) = delete;
    CCheckIncludeVersionInter& operator=(const CCheckIncludeVersionInter&) = delete;

    // Registers module's count entries (copied) and checks them: every revision must be
    // decimal digits, and every location the module shares with an earlier record must carry
    // the same revision. Prints the record at info level and each problem at error level. The
    // record stays registered whether the check passed or not. True when it passed.
    bool registerModule(const char* module, const IncludeVersionEntry* entries, int count);

private:
    friend class CSingleton<CCheckIncludeVersionInter>;
    CCheckIncludeVersionInter();

    struct CheckIncludeVersionInternal;
    CheckIncludeVersionInternal* m_internal;
};

// Registers a module's record with the checker; see registerModule().
bool registerIncludeVersion(const char* module, const IncludeVersionEntry* entries, int count);

} // namespace Detail
} // namespace Infra
} // namespace Orlix

#endif // ORLIX_SRC_INFRA3_CHECKINCLUDEVERSION_H
