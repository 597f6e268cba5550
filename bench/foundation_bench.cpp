// The foundation's hot paths against what a user would otherwise reach for:
// a suppressed level call, a line delivered to a sink, lock enter/leave, read-lock
// throughput with two threads, semaphore post/pend.
#include "infra/mutex.h"
#include "infra/print.h"
#include "infra/readwritemutex.h"
#include "infra/semaphore.h"

#include <benchmark/benchmark.h>
#include <semaphore.h>

#include <cstdio>
#include <mutex>
#include <shared_mutex>

using namespace Orlix::Infra;

namespace {

// ---------------------------------------------------------------- printing

volatile int g_level = 3;

void BM_SuppressedLogDebug(benchmark::State& state)
{
    setPrintLogLevel(3);
    for (auto _ : state)
        benchmark::DoNotOptimize(logDebug("value %d\n", 42));
}
BENCHMARK(BM_SuppressedLogDebug);

// The floor: one comparison of a level held in memory.
void BM_SuppressedBareComparison(benchmark::State& state)
{
    for (auto _ : state) {
        int printed = 0;
        if (g_level >= 6)
            printed = std::printf("value %d\n", 42);
        benchmark::DoNotOptimize(printed);
    }
}
BENCHMARK(BM_SuppressedBareComparison);

bool nullSink(const char* text)
{
    benchmark::DoNotOptimize(text);
    return true;
}
void nullPrinter(const char* text)
{
    benchmark::DoNotOptimize(text);
}

// A full line with the default prefix (time, module, version, level, thread id) handed to
// a sink, with the console replaced by a printer that drops the text.
void BM_LineToSink(benchmark::State& state)
{
    setPrintLogLevel(3);
    setLogPrinter(TFunction1<void, const char*>(&nullPrinter));
    attachPrint(TFunction1<bool, const char*>(&nullSink));
    for (auto _ : state)
        benchmark::DoNotOptimize(logWarn("request %d served in %d us\n", 1234, 56));
    detachPrint(TFunction1<bool, const char*>(&nullSink));
    setLogPrinter(TFunction1<void, const char*>());
}
BENCHMARK(BM_LineToSink);

// The same text formatted by hand with snprintf (no prefix, no outputs): the cost of the
// formatting alone.
void BM_SnprintfOnly(benchmark::State& state)
{
    char buffer[256];
    for (auto _ : state) {
        const int n =
            std::snprintf(buffer, sizeof buffer, "request %d served in %d us\n", 1234, 56);
        benchmark::DoNotOptimize(n);
        benchmark::DoNotOptimize(buffer);
    }
}
BENCHMARK(BM_SnprintfOnly);

// ---------------------------------------------------------------- locks

void BM_CMutexEnterLeave(benchmark::State& state)
{
    CMutex mutex;
    for (auto _ : state) {
        mutex.enter();
        mutex.leave();
    }
}
BENCHMARK(BM_CMutexEnterLeave);

void BM_CRecursiveMutexEnterLeave(benchmark::State& state)
{
    CRecursiveMutex mutex;
    for (auto _ : state) {
        mutex.enter();
        mutex.leave();
    }
}
BENCHMARK(BM_CRecursiveMutexEnterLeave);

void BM_StdMutexLockUnlock(benchmark::State& state)
{
    std::mutex mutex;
    for (auto _ : state) {
        mutex.lock();
        mutex.unlock();
    }
}
BENCHMARK(BM_StdMutexLockUnlock);

void BM_StdRecursiveMutexLockUnlock(benchmark::State& state)
{
    std::recursive_mutex mutex;
    for (auto _ : state) {
        mutex.lock();
        mutex.unlock();
    }
}
BENCHMARK(BM_StdRecursiveMutexLockUnlock);

// Two threads taking one lock around a short critical section: the contended case.
CMutex g_sharedCMutex;
CRecursiveMutex g_sharedRecursive;
std::mutex g_sharedStdMutex;
std::recursive_mutex g_sharedStdRecursive;
long g_guarded = 0;

void BM_CMutexContended(benchmark::State& state)
{
    for (auto _ : state) {
        g_sharedCMutex.enter();
        benchmark::DoNotOptimize(++g_guarded);
        g_sharedCMutex.leave();
    }
}
BENCHMARK(BM_CMutexContended)->Threads(2);

void BM_CRecursiveMutexContended(benchmark::State& state)
{
    for (auto _ : state) {
        g_sharedRecursive.enter();
        benchmark::DoNotOptimize(++g_guarded);
        g_sharedRecursive.leave();
    }
}
BENCHMARK(BM_CRecursiveMutexContended)->Threads(2);

void BM_StdMutexContended(benchmark::State& state)
{
    for (auto _ : state) {
        g_sharedStdMutex.lock();
        benchmark::DoNotOptimize(++g_guarded);
        g_sharedStdMutex.unlock();
    }
}
BENCHMARK(BM_StdMutexContended)->Threads(2);

void BM_StdRecursiveMutexContended(benchmark::State& state)
{
    for (auto _ : state) {
        g_sharedStdRecursive.lock();
        benchmark::DoNotOptimize(++g_guarded);
        g_sharedStdRecursive.unlock();
    }
}
BENCHMARK(BM_StdRecursiveMutexContended)->Threads(2);

// ---------------------------------------------------------------- read locks, two threads

CReadWriteMutex g_rwDefault;
CReadWriteMutex g_rwWrite(CReadWriteMutex::priorityWrite);
std::shared_mutex g_shared;

void BM_CReadWriteMutexDefaultRead(benchmark::State& state)
{
    for (auto _ : state) {
        g_rwDefault.enterReading();
        g_rwDefault.leave();
    }
}
BENCHMARK(BM_CReadWriteMutexDefaultRead)->Threads(1)->Threads(2);

void BM_CReadWriteMutexWritePriorityRead(benchmark::State& state)
{
    for (auto _ : state) {
        g_rwWrite.enterReading();
        g_rwWrite.leave();
    }
}
BENCHMARK(BM_CReadWriteMutexWritePriorityRead)->Threads(1)->Threads(2);

void BM_StdSharedMutexRead(benchmark::State& state)
{
    for (auto _ : state) {
        g_shared.lock_shared();
        g_shared.unlock_shared();
    }
}
BENCHMARK(BM_StdSharedMutexRead)->Threads(1)->Threads(2);

// ---------------------------------------------------------------- semaphores

void BM_CSemaphorePostPend(benchmark::State& state)
{
    CSemaphore semaphore(0);
    for (auto _ : state) {
        semaphore.post();
        semaphore.pend();
    }
}
BENCHMARK(BM_CSemaphorePostPend);

void BM_SemTPostWait(benchmark::State& state)
{
    sem_t semaphore;
    sem_init(&semaphore, 0, 0);
    for (auto _ : state) {
        sem_post(&semaphore);
        sem_wait(&semaphore);
    }
    sem_destroy(&semaphore);
}
BENCHMARK(BM_SemTPostWait);

} // namespace

BENCHMARK_MAIN();
