// Win32 implementation of the synchronisation primitives: critical sections, event,
// semaphore and mutex objects, TLS slots.
#include "platform/sync.h"

#include "platform/win32/win32.h"

#include <climits>
#include <new>

namespace Orlix {
namespace Platform {

namespace {

static_assert(sizeof(CRITICAL_SECTION) <= 40 && alignof(CRITICAL_SECTION) <= 8,
              "CriticalSection's storage is too small for a CRITICAL_SECTION");

CRITICAL_SECTION* section(unsigned char* storage)
{
    return reinterpret_cast<CRITICAL_SECTION*>(storage);
}

HANDLE handle(void* object)
{
    return static_cast<HANDLE>(object);
}

} // namespace

// ---------------------------------------------------------------- CriticalSection

CriticalSection::CriticalSection()
{
    // A short spin before sleeping: the library's sections are brief.
    InitializeCriticalSectionAndSpinCount(new (m_section) CRITICAL_SECTION, 1000);
}

CriticalSection::~CriticalSection()
{
    DeleteCriticalSection(section(m_section));
}

void CriticalSection::enter()
{
    EnterCriticalSection(section(m_section));
}

bool CriticalSection::tryEnter()
{
    return TryEnterCriticalSection(section(m_section)) != FALSE;
}

void CriticalSection::leave()
{
    LeaveCriticalSection(section(m_section));
}

// ---------------------------------------------------------------- ManualResetEvent

ManualResetEvent::ManualResetEvent(bool initiallySet)
    : m_event(CreateEventW(nullptr, TRUE, initiallySet ? TRUE : FALSE, nullptr))
{
}

ManualResetEvent::~ManualResetEvent()
{
    if (m_event != nullptr)
        CloseHandle(handle(m_event));
}

void ManualResetEvent::set()
{
    SetEvent(handle(m_event));
}

void ManualResetEvent::reset()
{
    ResetEvent(handle(m_event));
}

void ManualResetEvent::wait()
{
    Win32::alertableWait(handle(m_event), INFINITE);
}

bool ManualResetEvent::waitFor(unsigned int timeoutMs)
{
    // INFINITE is 0xFFFFFFFF: the longest finite wait stays finite.
    const DWORD timeout = timeoutMs == INFINITE ? INFINITE - 1 : timeoutMs;
    return Win32::alertableWait(handle(m_event), timeout) == WAIT_OBJECT_0;
}

// ---------------------------------------------------------------- Semaphore

Semaphore::Semaphore(int initial, int maximum) : m_sem(nullptr), m_maximum(maximum)
{
    if (initial >= 0 && maximum > 0 && initial <= maximum)
        m_sem = CreateSemaphoreW(nullptr, initial, maximum, nullptr);
    m_valid = m_sem != nullptr;
}

Semaphore::~Semaphore()
{
    if (m_valid)
        CloseHandle(handle(m_sem));
}

bool Semaphore::wait()
{
    return m_valid && Win32::alertableWait(handle(m_sem), INFINITE) == WAIT_OBJECT_0;
}

bool Semaphore::waitFor(unsigned int timeoutMs)
{
    const DWORD timeout = timeoutMs == INFINITE ? INFINITE - 1 : timeoutMs;
    return m_valid && Win32::alertableWait(handle(m_sem), timeout) == WAIT_OBJECT_0;
}

bool Semaphore::tryWait()
{
    return m_valid && WaitForSingleObject(handle(m_sem), 0) == WAIT_OBJECT_0;
}

bool Semaphore::post()
{
    // The semaphore object itself refuses a release past its maximum.
    return m_valid && ReleaseSemaphore(handle(m_sem), 1, nullptr) != FALSE;
}

// ---------------------------------------------------------------- RobustMutex

RobustMutex::RobustMutex() : m_mutex(CreateMutexW(nullptr, FALSE, nullptr)) {}

RobustMutex::~RobustMutex()
{
    if (m_mutex != nullptr)
        CloseHandle(handle(m_mutex));
}

namespace {

RobustMutex::LockResult lockResult(DWORD rc)
{
    if (rc == WAIT_OBJECT_0)
        return RobustMutex::LockResult::acquired;
    if (rc == WAIT_ABANDONED)
        return RobustMutex::LockResult::abandoned; // granted: the previous owner ended holding it
    return RobustMutex::LockResult::failed;
}

} // namespace

RobustMutex::LockResult RobustMutex::lock()
{
    if (m_mutex == nullptr)
        return LockResult::failed;
    return lockResult(WaitForSingleObject(handle(m_mutex), INFINITE));
}

RobustMutex::LockResult RobustMutex::tryLock()
{
    if (m_mutex == nullptr)
        return LockResult::failed;
    return lockResult(WaitForSingleObject(handle(m_mutex), 0));
}

bool RobustMutex::unlock()
{
    return m_mutex != nullptr && ReleaseMutex(handle(m_mutex)) != FALSE;
}

// ---------------------------------------------------------------- TlsSlot

TlsSlot::TlsSlot() : m_key(TlsAlloc())
{
    m_valid = m_key != TLS_OUT_OF_INDEXES;
}

TlsSlot::~TlsSlot()
{
    if (m_valid)
        TlsFree(m_key);
}

bool TlsSlot::set(const void* value)
{
    return m_valid && TlsSetValue(m_key, const_cast<void*>(value)) != FALSE;
}

void* TlsSlot::get() const
{
    return m_valid ? TlsGetValue(m_key) : nullptr;
}

} // namespace Platform
} // namespace Orlix
