// Locks: a mutex with a scoped guard, a recursive mutex, a read-write lock, a semaphore
// between a producer and a consumer, and a thread-local slot.
//
// Build: g++ -std=c++17 locks.cpp $(pkg-config --cflags --libs orlix)
#include <infra/mutex.h>
#include <infra/readwritemutex.h>
#include <infra/semaphore.h>
#include <infra/threadspecific.h>

#include <cstdio>
#include <map>
#include <string>
#include <thread>
#include <vector>

// The library also has a legacy global ::CMutex; name the classes you use instead of a
// using-directive, and the two never meet.
using Orlix::Infra::CMutex;
using Orlix::Infra::CReadWriteMutex;
using Orlix::Infra::CRecursiveMutex;
using Orlix::Infra::CSemaphore;
using Orlix::Infra::CThreadSpecific;
using Orlix::Infra::TGuard;

namespace {

// A counter shared by threads: TGuard enters the mutex and leaves it at the end of the scope.
class Counter
{
public:
    void add()
    {
        TGuard<CMutex> guard(m_lock);
        ++m_value;
    }
    long value()
    {
        TGuard<CMutex> guard(m_lock);
        return m_value;
    }

private:
    CMutex m_lock;
    long m_value = 0; // guarded by m_lock
};

// A settings table: many readers, an occasional writer. priorityWrite serves waiting
// writers before new readers, so a writer is never starved.
class Settings
{
public:
    void set(const std::string& key, int value)
    {
        m_lock.enterWriting();
        m_values[key] = value;
        m_lock.leave();
    }
    int get(const std::string& key)
    {
        m_lock.enterReading();
        auto it = m_values.find(key);
        const int value = it == m_values.end() ? 0 : it->second;
        m_lock.leave();
        return value;
    }

private:
    CReadWriteMutex m_lock{CReadWriteMutex::priorityWrite};
    std::map<std::string, int> m_values; // guarded by m_lock
};

} // namespace

int main()
{
    Counter counter;
    Settings settings;
    settings.set("rate", 5);
    std::vector<std::thread> threads;
    long reads = 0;
    CMutex readsLock;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 10000; ++i)
                counter.add();
            const int rate = settings.get("rate");
            TGuard<CMutex> guard(readsLock);
            reads += rate;
        });
    for (auto& thread : threads)
        thread.join();
    std::printf("4 threads x 10000 increments: %ld; rate read 4 times, sum %ld\n", counter.value(),
                reads);

    // A recursive mutex may be entered again by its owner; it counts the depth.
    CRecursiveMutex nested;
    nested.enter();
    nested.enter();
    nested.leave();
    nested.leave();

    // A semaphore counts units: the producer posts one per item, the consumer pends for one.
    // pend(timeout) gives up after the time-out (milliseconds) and returns -1.
    CSemaphore items(0);
    std::thread producer([&items] {
        for (int i = 0; i < 3; ++i)
            items.post();
    });
    int consumed = 0;
    while (consumed < 3 && items.pend(5000) == 0)
        ++consumed;
    producer.join();
    const bool timedOut = items.pend(10) == -1; // nothing left: times out
    std::printf("consumed %d items, then a pend timed out: %s\n", consumed,
                timedOut ? "yes" : "no");

    // A thread-local slot: each thread sees its own pointer (null until it stores one).
    CThreadSpecific slot;
    int mine = 1;
    slot.setValue(&mine);
    void* seenByOther = &mine;
    std::thread other([&slot, &seenByOther] { slot.getValue(&seenByOther); });
    other.join();
    void* seenHere = nullptr;
    slot.getValue(&seenHere);

    const bool ok = counter.value() == 40000 && reads == 20 && consumed == 3 && timedOut &&
                    seenHere == &mine && seenByOther == nullptr;
    std::printf("locks: %s\n", ok ? "ok" : "FAILED");
    return ok ? 0 : 1;
}
