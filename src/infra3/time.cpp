// CTime: conversions, arithmetic, current time, clocks and setting the system time.
#include "infra/time.h"

#include "infra/error.h"
#include "infra/mutex.h"
#include "infra/print.h"
#include "infra3/clock.h"
#include "infra3/singleton.h"
#include "infra3/timecalc.h"
#include "infra3/timeset.h"
#include "platform/calendar.h"
#include "platform/time.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace Orlix {
namespace Infra {

const CTime CTime::minTime(CTime::RawFields(), 2000, 1, 1, 6, 0, 0, 0);
const CTime CTime::maxTime(CTime::RawFields(), 2038, 1, 1, 5, 0, 0, 0);

namespace {

// The time-zone switch. Written once during start-up (disableTimezone), read by every
// conversion; atomic so that a late switch is not a data race.
std::atomic<bool> g_timezoneOn{true};
std::atomic<bool> g_dst{false};

// The standard offset to add to local time to get UTC while the switch is on, else 0.
int64 zoneOffset()
{
    return g_timezoneOn.load(std::memory_order_relaxed) ? Platform::timezoneOffsetSeconds() : 0;
}

// 64-bit sums that wrap instead of overflowing: the results are reinterpreted as seconds, so
// a sum past the ends of int64 must stay defined.
int64 wrappingAdd(int64 a, int64 b)
{
    return static_cast<int64>(static_cast<uint64>(a) + static_cast<uint64>(b));
}

int64 normalisedSeconds(const SystemTime& fields)
{
    SystemTime copy = fields;
    Detail::normaliseFields(copy);
    return Detail::zoneFreeSeconds(copy);
}

// ---- The OS seam ----

bool platformSetter(const SystemTimeEx& t)
{
    return Platform::setLocalTime(t.year, t.month, t.day, t.hour, t.minute, t.second,
                                  t.millisecond);
}

std::atomic<Detail::LocalTimeSetter> g_localTimeSetter{&platformSetter};

// ---- Listeners ----

// The modify-proc list: created on first use, destroyed at process exit. Listeners are called
// with the mutex released (a listener may attach or detach), so the list also records which
// attachment each thread is calling: detaching waits for the calls of its attachment on other
// threads, and afterwards nothing calls it again.
class ModifyProcList
{
public:
    using Proc = TFunction1<bool, SystemTime>;

    void append(const Proc& proc)
    {
        TGuard<CMutex> guard(m_mutex);
        m_entries.push_back(Entry{m_nextId++, proc});
    }

    // Removes the earliest attachment equal to proc; false when there is none.
    bool remove(const Proc& proc)
    {
        Lock lock{m_mutex};
        std::unique_lock<Lock> hold(lock);
        const auto found = std::find_if(m_entries.begin(), m_entries.end(),
                                        [&](const Entry& entry) { return entry.proc == proc; });
        if (found == m_entries.end())
            return false;
        const uint64 id = found->id;
        m_entries.erase(found);
        // A call on this thread is the caller's own listener detaching: it cannot be waited for.
        const std::thread::id self = std::this_thread::get_id();
        m_callEnded.wait(hold, [&] {
            return std::none_of(m_calls.begin(), m_calls.end(), [&](const Call& call) {
                return call.id == id && call.thread != self;
            });
        });
        return true;
    }

    // Calls every listener attached now, in attach order, with time, skipping one that is
    // detached before its turn. False when none was attached.
    bool notify(const SystemTime& time)
    {
        std::vector<Entry> snapshot;
        {
            TGuard<CMutex> guard(m_mutex);
            snapshot = m_entries;
        }
        for (const Entry& entry : snapshot) {
            if (!beginCall(entry.id))
                continue;
            const CallEnd end{*this};
            entry.proc(time);
        }
        return !snapshot.empty();
    }

private:
    struct Entry
    {
        uint64 id; // tells apart two attachments of equal delegates
        Proc proc;
    };
    struct Call
    {
        uint64 id;
        std::thread::id thread;
    };
    // CMutex as a standard lockable, for the condition variable.
    struct Lock
    {
        CMutex& mutex;
        void lock() { mutex.enter(); }
        void unlock() { mutex.leave(); }
    };
    // Ends the calling thread's latest call when the listener returns (or throws).
    struct CallEnd
    {
        ModifyProcList& list;
        ~CallEnd() { list.endCall(); }
    };

    // Records that this thread calls attachment id; false when it is no longer attached.
    bool beginCall(uint64 id)
    {
        TGuard<CMutex> guard(m_mutex);
        const bool attached = std::any_of(m_entries.begin(), m_entries.end(),
                                          [&](const Entry& entry) { return entry.id == id; });
        if (attached)
            m_calls.push_back(Call{id, std::this_thread::get_id()});
        return attached;
    }

    void endCall()
    {
        {
            TGuard<CMutex> guard(m_mutex);
            // The latest record of this thread: a listener that sets the time nests calls.
            const std::thread::id self = std::this_thread::get_id();
            for (auto it = m_calls.end(); it != m_calls.begin();) {
                if ((--it)->thread == self) {
                    m_calls.erase(it);
                    break;
                }
            }
        }
        m_callEnded.notify_all();
    }

    CMutex m_mutex;
    std::condition_variable_any m_callEnded; // signalled whenever a call ends
    std::vector<Entry> m_entries;            // guarded by m_mutex
    std::vector<Call> m_calls;               // guarded by m_mutex
    uint64 m_nextId = 0;                     // guarded by m_mutex
};

ModifyProcList& modifyProcs()
{
    return *Detail::CSingleton<ModifyProcList>::instance(
        __FILE__, "Orlix::Infra::`anonymous-namespace'::modifyProcs", __LINE__);
}

// ---- The built-in setters ----

// Steps shared by both built-in setters once the target t is known: clamp, tolerance, set,
// notify.
void applyTime(CTime t, int millisecond, int tolerance)
{
    if (t < CTime::minTime)
        t = CTime::minTime;
    else if (t > CTime::maxTime)
        t = CTime::maxTime;

    if (tolerance != 0) {
        int64 difference = CTime::getCurrentTime() - t;
        if (difference < 0)
            difference = -difference;
        if (difference <= tolerance)
            return;
    }

    const SystemTimeEx record{t.year,   t.month,  t.day,       t.wday, t.hour,
                              t.minute, t.second, millisecond, {}};
    if (!Detail::setSystemLocalTime(record)) {
        setLastError(CTime::errorTimeRefused);
        return;
    }

    const SystemTime set = t;
    if (!modifyProcs().notify(set))
        logInfo("CTime::setCurrentTime() success without callback function\n");
}

void builtInSetter(const CTime& time, int tolerance)
{
    applyTime(time, 0, tolerance);
}

void builtInSetterEx(const SystemTimeEx& time, int tolerance)
{
    applyTime(CTime(time.year, time.month, time.day, time.hour, time.minute, time.second),
              time.millisecond, tolerance);
}

// ---- The hooks ----

struct Hooks
{
    std::mutex mutex; // guards both hooks: a hook is copied out under it, then called
    TFunction2<void, const CTime&, int> setTime{&builtInSetter};
    TFunction2<void, const SystemTimeEx&, int> setTimeEx{&builtInSetterEx};
};

// Function-local so that a caller in another library's static initialiser finds it built.
Hooks& hooks()
{
    static Hooks instance;
    return instance;
}

// Runs call (which invokes a hook) and tells whether the hook reported a failure through the
// last error. The caller's earlier code is kept when nothing new was reported.
template <class Call>
bool reportsSuccess(Call call)
{
    const int before = getLastError();
    setLastError(0);
    call();
    const int after = getLastError();
    if (after == 0)
        setLastError(before);
    return after != CTime::errorTimeRefused && after != CTime::errorHardwareClock;
}

} // namespace

namespace Detail {

LocalTimeSetter replaceLocalTimeSetter(LocalTimeSetter setter)
{
    return g_localTimeSetter.exchange(setter != nullptr ? setter : &platformSetter);
}

bool setSystemLocalTime(const SystemTimeEx& time)
{
    return g_localTimeSetter.load()(time);
}

} // namespace Detail

// ---- Construction and conversion ----

CTime::CTime(int year, int month, int day, int hour, int minute, int second)
    : SystemTime{year, month, day, 0, hour, minute, second, 0}
{
    Detail::normaliseFields(*this);
}

CTime::CTime(uint64 seconds) : SystemTime{}
{
    breakTime(seconds);
}

uint64 CTime::makeTime() const
{
    return static_cast<uint64>(wrappingAdd(normalisedSeconds(*this), zoneOffset()));
}

void CTime::breakTime(uint64 seconds)
{
    Detail::fieldsFromSeconds(wrappingAdd(static_cast<int64>(seconds), -zoneOffset()), *this);
}

// ---- Arithmetic and comparison ----

CTime CTime::operator+(int64 seconds) const
{
    CTime result(*this);
    result += seconds;
    return result;
}

CTime CTime::operator-(int64 seconds) const
{
    CTime result(*this);
    result -= seconds;
    return result;
}

CTime& CTime::operator+=(int64 seconds)
{
    Detail::fieldsFromSeconds(wrappingAdd(normalisedSeconds(*this), seconds), *this);
    return *this;
}

CTime& CTime::operator-=(int64 seconds)
{
    Detail::fieldsFromSeconds(
        wrappingAdd(normalisedSeconds(*this), static_cast<int64>(0 - static_cast<uint64>(seconds))),
        *this);
    return *this;
}

int64 CTime::operator-(const CTime& other) const
{
    return normalisedSeconds(*this) - normalisedSeconds(other);
}

bool CTime::operator<(const CTime& o) const
{
    if (year != o.year)
        return year < o.year;
    if (month != o.month)
        return month < o.month;
    if (day != o.day)
        return day < o.day;
    if (hour != o.hour)
        return hour < o.hour;
    if (minute != o.minute)
        return minute < o.minute;
    return second < o.second;
}

bool CTime::operator==(const CTime& o) const
{
    return year == o.year && month == o.month && day == o.day && hour == o.hour &&
           minute == o.minute && second == o.second;
}

bool CTime::operator!=(const CTime& o) const
{
    return !(*this == o);
}
bool CTime::operator>(const CTime& o) const
{
    return o < *this;
}
bool CTime::operator<=(const CTime& o) const
{
    return !(*this > o);
}
bool CTime::operator>=(const CTime& o) const
{
    return !(*this < o);
}

// ---- Current time ----

CTime CTime::getCurrentTime()
{
    const Platform::CalendarReading now = Platform::localTime();
    return CTime(now.year, now.month, now.day, now.hour, now.minute, now.second);
}

CTime CTime::getCurTimeForPrint()
{
    return getCurrentTime();
}

SystemTimeEx CTime::getCurrentTimeEx()
{
    const Platform::CalendarReading now = Platform::localTime();
    return SystemTimeEx{now.year,   now.month,  now.day,         now.wday, now.hour,
                        now.minute, now.second, now.millisecond, {}};
}

namespace {

uint64 utcSeconds(const Platform::CalendarReading& now)
{
    const SystemTime fields{now.year, now.month, now.day, 0, now.hour, now.minute, now.second, 0};
    return static_cast<uint64>(normalisedSeconds(fields));
}

} // namespace

uint64 CTime::getCurrentUTCtime()
{
    return utcSeconds(Platform::utcTime());
}

uint64 CTime::getCurrentUTCMilliSecond()
{
    const Platform::CalendarReading now = Platform::utcTime();
    return utcSeconds(now) * 1000 + static_cast<uint64>(now.millisecond);
}

uint64 CTime::getCurrentMilliSecond()
{
    return Detail::monotonicMilliSecond();
}

uint64 CTime::getCurrentMicroSecond()
{
    return Detail::monotonicMicroSecond();
}

// ---- Setting the time ----

void CTime::setCurrentTime(const CTime& time, int tolerance)
{
    const CTime fresh(time.year, time.month, time.day, time.hour, time.minute, time.second);
    TFunction2<void, const CTime&, int> hook;
    {
        std::lock_guard<std::mutex> guard(hooks().mutex);
        hook = hooks().setTime;
    }
    hook(fresh, tolerance);
}

bool CTime::setCurrentTimeEx(const CTime& time, int tolerance)
{
    return reportsSuccess([&] { setCurrentTime(time, tolerance); });
}

bool CTime::setCurrentTime(const SystemTimeEx& time, int tolerance)
{
    // The weekday of the date as the six-value constructor would clamp it.
    const int wday = CTime(time.year, time.month, time.day, 0, 0, 0).wday;
    const SystemTimeEx fresh{time.year,   time.month,  time.day,         wday, time.hour,
                             time.minute, time.second, time.millisecond, {}};

    TFunction2<void, const SystemTimeEx&, int> hook;
    {
        std::lock_guard<std::mutex> guard(hooks().mutex);
        hook = hooks().setTimeEx;
    }
    return reportsSuccess([&] { hook(fresh, tolerance); });
}

TFunction2<void, const CTime&, int>
CTime::attachSetCurrentTimeHook(TFunction2<void, const CTime&, int> hook)
{
    std::lock_guard<std::mutex> guard(hooks().mutex);
    TFunction2<void, const CTime&, int> previous = hooks().setTime;
    hooks().setTime = hook;
    return previous;
}

TFunction2<void, const SystemTimeEx&, int>
CTime::attachSetCurrentTimeHookEx(TFunction2<void, const SystemTimeEx&, int> hook)
{
    std::lock_guard<std::mutex> guard(hooks().mutex);
    TFunction2<void, const SystemTimeEx&, int> previous = hooks().setTimeEx;
    hooks().setTimeEx = hook;
    return previous;
}

bool CTime::attachModifyProc(TFunction1<bool, SystemTime> proc)
{
    modifyProcs().append(proc);
    return true;
}

bool CTime::detachModifyProc(TFunction1<bool, SystemTime> proc)
{
    return modifyProcs().remove(proc);
}

int CTime::disableTimezone()
{
    g_timezoneOn.store(false, std::memory_order_relaxed);
    return 0;
}

bool CTime::setDst(bool enable)
{
    g_dst.store(enable, std::memory_order_relaxed);
    return true;
}

} // namespace Infra
} // namespace Orlix
