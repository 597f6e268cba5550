// The include-version check and the library's own record.
#include "infra3/checkincludeversion.h"

#include "infra/legacy_mutex.h"
#include "infra/print.h"
#include "infra3/diag.h"
#include "infra3/singleton.h"

#include <string>
#include <utility>
#include <vector>

namespace Orlix {
namespace Infra {
namespace Detail {

namespace {

struct Record
{
    std::string name;
    std::vector<std::pair<std::string, std::string>> entries; // location, revision
};

bool isDecimal(const std::string& text)
{
    if (text.empty())
        return false;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return false;
    }
    return true;
}

// The entries are copied, so a caller may register a table that does not outlive the call.
Record makeRecord(const char* module, const IncludeVersionEntry* entries, int count)
{
    Record record;
    record.name = module != nullptr ? module : "";
    for (int i = 0; entries != nullptr && i < count; ++i) {
        record.entries.emplace_back(entries[i].location != nullptr ? entries[i].location : "",
                                    entries[i].revision != nullptr ? entries[i].revision : "");
    }
    return record;
}

// ORLIX_OBJ_ARGS for a function that is handed the checker instead of running on it.
#define CHECKER_ARGS __FILE__, __LINE__, checker, ::Orlix::Platform::currentThreadId()

// Compares a new record with one registered earlier: every location both list must carry the
// same revision. Prints the disagreements on behalf of checker; true when there are none.
bool agrees(const void* checker, const Record& earlier, const Record& added)
{
    // Pairs of (earlier entry, added entry) at one location with different revisions, in
    // the order found: the earlier record's entries outer, the added record's inner.
    std::vector<std::pair<size_t, size_t>> differing;
    for (size_t a = 0; a < earlier.entries.size(); ++a) {
        for (size_t b = 0; b < added.entries.size(); ++b) {
            if (earlier.entries[a].first == added.entries[b].first &&
                earlier.entries[a].second != added.entries[b].second)
                differing.emplace_back(a, b);
        }
    }
    if (differing.empty())
        return true;
    logError(ORLIX_OBJ_FMT "check include version failed\n", CHECKER_ARGS);
    for (const auto& [a, b] : differing) {
        logError(ORLIX_OBJ_FMT "%s %s %s\n", CHECKER_ARGS, earlier.name.c_str(),
                 earlier.entries[a].first.c_str(), earlier.entries[a].second.c_str());
        logError(ORLIX_OBJ_FMT "%s %s %s\n", CHECKER_ARGS, added.name.c_str(),
                 added.entries[b].first.c_str(), added.entries[b].second.c_str());
    }
    return false;
}

#undef CHECKER_ARGS

} // namespace

struct CCheckIncludeVersionInter::CheckIncludeVersionInternal
{
    ::CMutex mutex;
    std::vector<Record> records; // in registration order; guarded by mutex
};

CCheckIncludeVersionInter* CCheckIncludeVersionInter::instance()
{
    return CSingleton<CCheckIncludeVersionInter>::instance(
        __FILE__, "Orlix::Infra::Detail::CCheckIncludeVersionInter::instance", __LINE__);
}

CCheckIncludeVersionInter::CCheckIncludeVersionInter() : m_internal(new CheckIncludeVersionInternal)
{}

CCheckIncludeVersionInter::~CCheckIncludeVersionInter()
{
    delete m_internal;
}

bool CCheckIncludeVersionInter::registerModule(const char* module,
                                               const IncludeVersionEntry* entries, int count)
{
    Record added = makeRecord(module, entries, count);
    bool passed = true;
    {
        ::CGuard guard(m_internal->mutex);
        logInfo("check include version:%s\n", added.name.c_str());
        for (const auto& entry : added.entries)
            logInfo("%s %s\n", entry.first.c_str(), entry.second.c_str());

        bool allValid = true;
        for (const auto& entry : added.entries)
            allValid = allValid && isDecimal(entry.second);
        if (!allValid) {
            passed = false;
            logError(ORLIX_OBJ_FMT "%s version error\n", ORLIX_OBJ_ARGS, added.name.c_str());
            for (const auto& entry : added.entries) {
                if (!isDecimal(entry.second))
                    logError(ORLIX_OBJ_FMT "%s %s\n", ORLIX_OBJ_ARGS, entry.first.c_str(),
                             entry.second.c_str());
            }
        } else {
            for (const Record& earlier : m_internal->records) {
                if (!agrees(this, earlier, added)) {
                    passed = false;
                    break;
                }
            }
        }
        m_internal->records.push_back(std::move(added));
    }
    if (!passed)
        logError(ORLIX_OBJ_FMT "check include version failed, assert\n", ORLIX_OBJ_ARGS);
    return passed;
}

bool registerIncludeVersion(const char* module, const IncludeVersionEntry* entries, int count)
{
    return CCheckIncludeVersionInter::instance()->registerModule(module, entries, count);
}

namespace {

// The header directories this library was compiled against.
const IncludeVersionEntry kInfraHeaders[] = {
    {"URL: orlix/Include/Trunk/Component", "270264"},
    {"URL: orlix/Include/Trunk/Infra", "279799"},
    {"URL: orlix/Include/Trunk/Memory", "277527"},
    {"URL: orlix/Include/Trunk/Utils", "269948"},
};

// Registers the library's record while the library is loaded.
struct InfraRegistration
{
    InfraRegistration()
    {
        registerIncludeVersion("Infra", kInfraHeaders,
                               static_cast<int>(sizeof(kInfraHeaders) / sizeof(kInfraHeaders[0])));
    }
};
const InfraRegistration g_infraRegistration;

} // namespace

} // namespace Detail
} // namespace Infra
} // namespace Orlix
