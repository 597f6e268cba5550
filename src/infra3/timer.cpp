// CTimer and CTimerManager.
#include "infra/timer.h"

#include "infra/error.h"
#include "infra/print.h"
#include "infra3/diag.h"
#include "infra3/singleton.h"
#include "infra3/timer_internal.h"

#include <cstring>

namespace Orlix {
namespace Infra {

namespace {

constexpr int kWaitRoundMilliseconds = 10;
constexpr unsigned int kWaitLogEvery = 500;

} // namespace

CTimer::TimerInternal::TimerInternal(const char* name)
{
    setName(name);
}

void CTimer::TimerInternal::setName(const char* name)
{
    std::strncpy(m_name, name, Detail::kMaxNameLength);
    m_name[Detail::kMaxNameLength] = '\0';
}

// ---------------------------------------------------------------- CTimer

CTimer::CTimer(const char* name)
{
    ORLIX_ASSERT(name);
    m_internal = new TimerInternal(name);
}

CTimer::~CTimer()
{
    if (TimerManagerInternal::peek() != nullptr)
        stopAndWait();
    TGuard<CRecursiveMutex> guard(TimerManagerInternal::mutex());
    // Only after the manager ended can a callback still run here (see timer.h): its pooled
    // thread frees the record when the callback returns.
    if (m_internal->m_runningThread.load() != nullptr)
        m_internal->m_orphaned = true;
    else
        delete m_internal;
    m_internal = nullptr;
}

bool CTimer::start(TFunction1<void, unsigned long> proc, unsigned int delay, unsigned int period,
                   unsigned long param, unsigned int timeout)
{
    if (proc.empty()) {
        logWarn(ORLIX_OBJ_FMT "CTimer::start '%s' refused: empty callback!\n", ORLIX_OBJ_ARGS,
                getName());
        return false;
    }
    TimerManagerInternal* manager = TimerManagerInternal::instance();
    TGuard<CRecursiveMutex> guard(TimerManagerInternal::mutex());
    TimerInternal& t = *m_internal;
    t.m_proc = proc;
    t.m_nextTime = manager->now() + delay;
    t.m_period = period;
    t.m_param = param;
    t.m_timeout = timeout;
    t.m_called.store(false);
    t.m_stat.store(false);
    manager->removeTimer(&t);
    manager->insertTimer(&t);
    t.m_started.store(true);
    if (delay == 0)
        return manager->dispatchTimer(&t);
    return true;
}

bool CTimer::stop(bool callNow)
{
    TGuard<CRecursiveMutex> guard(TimerManagerInternal::mutex());
    TimerManagerInternal* manager = TimerManagerInternal::peek();
    TimerInternal& t = *m_internal;
    if (manager == nullptr || !t.m_started.load())
        return false;
    manager->removeTimer(&t);
    t.m_started.store(false);
    if (t.m_period == 0 && callNow)
        return manager->dispatchTimer(&t);
    return true;
}

bool CTimer::stopAndWait()
{
    CRecursiveMutex& lock = TimerManagerInternal::mutex();
    TGuard<CRecursiveMutex> guard(lock);
    stop(false);
    const int self = CThread::getCurrentThreadID();
    for (unsigned int pass = 0;; ++pass) {
        CTimerThread* running = m_internal->m_runningThread.load();
        if (running == nullptr || running->getThreadID() == self)
            break;
        lock.leave();
        CThread::sleep(kWaitRoundMilliseconds);
        lock.enter();
        if (pass % kWaitLogEvery == 0)
            logInfo(ORLIX_OBJ_FMT "CTimer::Stop '%s' wait callback exit!\n", ORLIX_OBJ_ARGS,
                    m_internal->m_name);
        // Started again meanwhile (by the running callback or by another thread): that start
        // counts as earlier than this call, which stops the timer again.
        if (m_internal->m_started.load())
            stop(false);
    }
    return true;
}

void CTimer::setPeriodTime(unsigned int period)
{
    TGuard<CRecursiveMutex> guard(TimerManagerInternal::mutex());
    TimerManagerInternal* manager = TimerManagerInternal::peek();
    TimerInternal& t = *m_internal;
    const bool linked = manager != nullptr && t.m_linked;
    if (linked)
        manager->removeTimer(&t);
    const uint64 base = t.m_nextTime + period;
    t.m_nextTime = base > t.m_period ? base - t.m_period : 0;
    t.m_period = period;
    if (linked)
        manager->insertTimer(&t);
}

void CTimer::enableStat(bool enable)
{
    m_internal->m_stat.store(enable);
}

const char* CTimer::getName() const
{
    return m_internal->m_name;
}

void CTimer::setName(const char* name)
{
    ORLIX_ASSERT(name);
    TGuard<CRecursiveMutex> guard(TimerManagerInternal::mutex());
    m_internal->setName(name);
}

bool CTimer::isStarted() const
{
    return m_internal->m_started.load();
}

bool CTimer::isCalled() const
{
    return m_internal->m_called.load();
}

bool CTimer::isRunning() const
{
    return m_internal->m_runningThread.load() != nullptr;
}

// ---------------------------------------------------------------- CTimerManager

CTimerManager* CTimerManager::instance()
{
    return Detail::CSingleton<CTimerManager>::instance(
        __FILE__, "Orlix::Infra::CTimerManager::instance", __LINE__);
}

CTimerManager::CTimerManager() : m_internal(TimerManagerInternal::instance())
{
    logTrace(ORLIX_OBJ_FMT "CTimerManager::CTimerManager()>>>>>>>>>\n", ORLIX_OBJ_ARGS);
}

CTimerManager::~CTimerManager() = default;

void CTimerManager::dumpTimers() const
{
    m_internal->dumpTimers();
}

bool CTimerManager::limitIdlePooled(int count)
{
    return m_internal->limitIdlePooled(count);
}

} // namespace Infra
} // namespace Orlix
