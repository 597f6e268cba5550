// CThreadManager and the thread registry.
#include "infra/threadmanager.h"

#include "infra/print.h"
#include "infra3/clock.h"
#include "infra3/singleton.h"
#include "infra3/threadmanager_internal.h"
#include "platform/thread.h"

#include <cstdio>
#include <mutex>

namespace Orlix {
namespace Infra {

namespace {

// The list's lock and the registry that currently owns the list. A std::mutex because it must
// be usable before any static initialiser ran and after every exit-time destructor: it is
// constant-initialised and its destruction is trivial.
std::mutex g_listLock;
ThreadManagerInternal* g_registry = nullptr; // guarded by g_listLock

// "%24s   %8d  %3d  %s\n" formatted into a zeroed 128-byte buffer, as every table row is.
std::string tableRow(const char* name, int id, int priority, const char* state)
{
    char row[128] = {};
    std::snprintf(row, sizeof(row), "%24s   %8d  %3d  %s\n", name, id, priority, state);
    return row;
}

} // namespace

ThreadManagerInternal* ThreadManagerInternal::instance()
{
    return Detail::CSingleton<ThreadManagerInternal>::instance(
        __FILE__, "Orlix::Infra::ThreadManagerInternal::instance", __LINE__);
}

ThreadManagerInternal::ThreadManagerInternal()
{
    std::lock_guard<std::mutex> guard(g_listLock);
    g_registry = this;
}

ThreadManagerInternal::~ThreadManagerInternal()
{
    std::lock_guard<std::mutex> guard(g_listLock);
    for (Record* record = m_head; record != nullptr;) {
        Record* next = record->m_next;
        record->m_prev = record->m_next = nullptr;
        record->m_registered = false;
        record = next;
    }
    m_head = nullptr;
    if (g_registry == this)
        g_registry = nullptr;
}

void ThreadManagerInternal::add(Record* record)
{
    std::lock_guard<std::mutex> guard(g_listLock);
    record->m_prev = nullptr;
    record->m_next = m_head;
    if (m_head != nullptr)
        m_head->m_prev = record;
    m_head = record;
    record->m_registered = true;
}

void ThreadManagerInternal::remove(Record* record)
{
    std::lock_guard<std::mutex> guard(g_listLock);
    if (!record->m_registered || g_registry == nullptr)
        return;
    if (record->m_prev != nullptr) {
        record->m_prev->m_next = record->m_next;
        if (record->m_next != nullptr)
            record->m_next->m_prev = record->m_prev;
    } else {
        g_registry->m_head = record->m_next;
        if (record->m_next != nullptr)
            record->m_next->m_prev = nullptr;
    }
    record->m_prev = record->m_next = nullptr;
    record->m_registered = false;
}

ThreadManagerInternal::Record* ThreadManagerInternal::find(int id) const
{
    for (Record* record = m_head; record != nullptr; record = record->m_next) {
        if (record->m_threadId.load(std::memory_order_relaxed) == id)
            return record;
    }
    return nullptr;
}

bool ThreadManagerInternal::setTimeoutOf(int id, int milliseconds)
{
    std::lock_guard<std::mutex> guard(g_listLock);
    Record* record = find(id);
    if (record == nullptr)
        return false;
    TGuard<CMutex> recordGuard(record->m_mutex);
    const uint64 deadline = milliseconds == 0
                                ? 0
                                : Detail::monotonicMilliSecond() +
                                      static_cast<uint64>(static_cast<int64>(milliseconds));
    record->m_deadline.store(deadline, std::memory_order_relaxed);
    return true;
}

void ThreadManagerInternal::registerMainThread()
{
    m_mainThreadId.store(Platform::currentThreadId(), std::memory_order_relaxed);
}

bool ThreadManagerInternal::getThreadNameByID(int id, flex_string& name)
{
    std::lock_guard<std::mutex> guard(g_listLock);
    const Record* record = find(id);
    if (record == nullptr)
        return false;
    name = record->name().c_str();
    return true;
}

bool ThreadManagerInternal::getTimeOutThreads(flex_string& names)
{
    std::lock_guard<std::mutex> guard(g_listLock);
    names.clear();
    const uint64 now = Detail::monotonicMilliSecond();
    bool found = false;
    for (Record* record = m_head; record != nullptr; record = record->m_next) {
        TGuard<CMutex> recordGuard(record->m_mutex);
        if (!record->timedOut(now))
            continue;
        // "(%d)" is kept to 7 characters: a six-digit identifier loses its closing
        // parenthesis, longer ones their last digits too.
        char id[8] = {};
        std::snprintf(id, sizeof(id), "(%d)", record->m_threadId.load(std::memory_order_relaxed));
        names += record->name().c_str();
        names += id;
        found = true;
    }
    return found;
}

bool ThreadManagerInternal::hasThread(int id)
{
    std::lock_guard<std::mutex> guard(g_listLock);
    return find(id) != nullptr;
}

std::vector<std::string> ThreadManagerInternal::tableRows()
{
    std::vector<std::string> rows;
    std::lock_guard<std::mutex> guard(g_listLock);
    for (const Record* record = m_head; record != nullptr; record = record->m_next) {
        const bool late = record->timedOut(Detail::monotonicMilliSecond());
        rows.push_back(tableRow(record->name().c_str(),
                                record->m_threadId.load(std::memory_order_relaxed),
                                record->m_priority, late ? "Timeout" : "Normal"));
    }
    return rows;
}

void ThreadManagerInternal::dumpThreads()
{
    const std::vector<std::string> rows = tableRows();
    logInfo("Threads:\n");
    logInfo("               Name            TID  Prior State\n");
    logInfo("_______________________________________________________\n");
    logInfo("%s", tableRow("Main", mainThreadId(), 64, "Normal").c_str());
    for (const std::string& row : rows)
        logInfo("%s", row.c_str());
    logInfo("\n");
}

// ---------------------------------------------------------------- CThreadManager

CThreadManager* CThreadManager::instance()
{
    return Detail::CSingleton<CThreadManager>::instance(
        __FILE__, "Orlix::Infra::CThreadManager::instance", __LINE__);
}

CThreadManager::CThreadManager() : m_internal(ThreadManagerInternal::instance()) {}

CThreadManager::~CThreadManager() = default;

void CThreadManager::registerMainThread()
{
    m_internal->registerMainThread();
}

void CThreadManager::dumpThreads() const
{
    m_internal->dumpThreads();
}

bool CThreadManager::getThreadNameByID(int id, flex_string& name) const
{
    return m_internal->getThreadNameByID(id, name);
}

bool CThreadManager::getTimeOutThreads(flex_string& names) const
{
    return m_internal->getTimeOutThreads(names);
}

bool CThreadManager::hasThread(int id) const
{
    return m_internal->hasThread(id);
}

} // namespace Infra
} // namespace Orlix
