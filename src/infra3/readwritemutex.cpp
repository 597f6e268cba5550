// CReadWriteMutex in its two modes.
#include "infra/readwritemutex.h"

#include "infra/error.h"
#include "infra/print.h"
#include "infra3/diag.h"
#include "infra3/readwritemutex_probe.h"
#include "platform/sync.h"
#include "platform/thread.h"

#include <atomic>
#include <memory>

namespace Orlix {
namespace Infra {

namespace {
constexpr int kWriterInside = 0x10000; // high half of m_state: a writer holds the lock
constexpr int kReaderMask = 0xFFFF;    // low half: number of readers inside
} // namespace

struct CReadWriteMutex::ReadWriteMutexInternal
{
    // Creates only the objects of the mode. They are owned by smart pointers, so that when
    // one cannot be allocated the ones already made are released.
    explicit ReadWriteMutexInternal(RWPriority priority) : m_priority(priority)
    {
        if (priority == priorityWrite) {
            m_readEvent = std::make_unique<Platform::ManualResetEvent>(false);
            m_writeSemaphore = std::make_unique<Platform::Semaphore>(0, 1);
            m_lock2 = std::make_unique<Platform::CriticalSection>();
        } else {
            m_lock = std::make_unique<Platform::CriticalSection>();
        }
    }

    RWPriority m_priority;

    // priorityDefault. Readers only touch m_readCount; a writer holds m_lock from
    // enterWriting() to leave(), which queues new readers behind it.
    std::atomic<int> m_readCount{0};
    std::atomic<int> m_writing{0};
    std::unique_ptr<Platform::CriticalSection> m_lock;

    // priorityWrite. The three counters are read and written only under m_lock2; the event
    // and the semaphore are signalled after leaving it.
    int m_waitingWriters = 0;
    int m_waitingReaders = 0;
    int m_state = 0;
    std::unique_ptr<Platform::ManualResetEvent> m_readEvent;
    std::unique_ptr<Platform::Semaphore> m_writeSemaphore;
    std::unique_ptr<Platform::CriticalSection> m_lock2;
};

CReadWriteMutex::CReadWriteMutex() : CReadWriteMutex(priorityDefault) {}

CReadWriteMutex::CReadWriteMutex(RWPriority priority)
{
    if (priority != priorityDefault && priority != priorityWrite) {
        logWarn(ORLIX_OBJ_FMT "Input rwpriority level error, priorityDefault used!\n",
                ORLIX_OBJ_ARGS);
        priority = priorityDefault;
    }
    m_internal = new ReadWriteMutexInternal(priority);
    ORLIX_ASSERT(m_internal);
}

CReadWriteMutex::~CReadWriteMutex()
{
    ReadWriteMutexInternal* const d = m_internal;
    if (d->m_priority == priorityDefault) {
        const int readers = d->m_readCount.load();
        if (readers > 0)
            logError(ORLIX_OBJ_FMT "has lock Read count(%d), maybe err\n", ORLIX_OBJ_ARGS, readers);
        if (d->m_writing.load() == 1) {
            logError(ORLIX_OBJ_FMT "has lock write, maybe err\n", ORLIX_OBJ_ARGS);
            d->m_lock->leave();
        }
    }
    delete d;
    m_internal = nullptr;
}

bool CReadWriteMutex::enterReading()
{
    ReadWriteMutexInternal* const d = m_internal;
    if (d->m_priority == priorityDefault) {
        d->m_lock->enter();
        d->m_readCount.fetch_add(1);
        d->m_lock->leave();
        return true;
    }

    d->m_lock2->enter();
    if (d->m_waitingWriters > 0 || (d->m_state & kWriterInside) != 0) {
        ++d->m_waitingReaders;
        do {
            d->m_readEvent->reset();
            d->m_lock2->leave();
            d->m_readEvent->wait();
            d->m_lock2->enter();
        } while (d->m_waitingWriters != 0 || (d->m_state & kWriterInside) != 0);
        --d->m_waitingReaders;
        ++d->m_state;
        d->m_lock2->leave();
        return true;
    }
    ++d->m_state;
    // The first reader in lets readers that queued earlier follow it.
    const bool wakeReaders = d->m_state == 1 && d->m_waitingReaders != 0;
    d->m_lock2->leave();
    if (wakeReaders)
        d->m_readEvent->set();
    return true;
}

bool CReadWriteMutex::enterWriting()
{
    ReadWriteMutexInternal* const d = m_internal;
    if (d->m_priority == priorityDefault) {
        d->m_lock->enter();
        while (d->m_readCount.load() >= 1)
            Platform::yield();
        d->m_writing.store(1);
        return true;
    }

    d->m_lock2->enter();
    if (d->m_state == 0) {
        d->m_state = kWriterInside;
        d->m_lock2->leave();
        return true;
    }
    ++d->m_waitingWriters;
    d->m_lock2->leave();
    // The releasing side sets m_state to kWriterInside on this writer's behalf.
    d->m_writeSemaphore->wait();
    return true;
}

bool CReadWriteMutex::leave()
{
    ReadWriteMutexInternal* const d = m_internal;
    if (d->m_priority == priorityDefault) {
        if (d->m_readCount.load() >= 1) {
            d->m_readCount.fetch_sub(1);
            return true;
        }
        if (d->m_writing.load() == 1) {
            d->m_writing.store(0);
            d->m_lock->leave();
            return true;
        }
        logError("No lock, maybe err\n");
        return false;
    }

    d->m_lock2->enter();
    if (d->m_state == kWriterInside) {
        if (d->m_waitingWriters != 0) {
            // Hand the lock straight to the next writer; m_state stays kWriterInside.
            --d->m_waitingWriters;
            d->m_lock2->leave();
            d->m_writeSemaphore->post();
            return true;
        }
        d->m_state = 0;
        const bool wakeReaders = d->m_waitingReaders != 0;
        d->m_lock2->leave();
        if (wakeReaders)
            d->m_readEvent->set();
        return true;
    }
    if (d->m_state != 0 && (d->m_state & ~kReaderMask) == 0) {
        --d->m_state;
        if (d->m_state == 0)
            d->m_readEvent->reset();
        bool wakeWriter = false;
        if (d->m_waitingWriters != 0 && d->m_state == 0) {
            --d->m_waitingWriters;
            d->m_state = kWriterInside;
            wakeWriter = true;
        }
        d->m_lock2->leave();
        if (wakeWriter)
            d->m_writeSemaphore->post();
        return true;
    }
    d->m_lock2->leave();
    return false;
}

namespace Detail {

int ReadWriteMutexProbe::waitingWriters(CReadWriteMutex& lock)
{
    CReadWriteMutex::ReadWriteMutexInternal* const d = lock.m_internal;
    if (d->m_lock2 == nullptr)
        return 0;
    d->m_lock2->enter();
    const int n = d->m_waitingWriters;
    d->m_lock2->leave();
    return n;
}

int ReadWriteMutexProbe::waitingReaders(CReadWriteMutex& lock)
{
    CReadWriteMutex::ReadWriteMutexInternal* const d = lock.m_internal;
    if (d->m_lock2 == nullptr)
        return 0;
    d->m_lock2->enter();
    const int n = d->m_waitingReaders;
    d->m_lock2->leave();
    return n;
}

} // namespace Detail
} // namespace Infra
} // namespace Orlix
