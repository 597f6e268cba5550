// Threads and timers against what a user would otherwise reach for:
//  - createThread + destroyThread of a CThreadLite against std::thread start + join;
//  - CTimer start + stop with 10, 1,000 and 100,000 other timers started, against a Boost.Asio
//    steady_timer (expires_after + async_wait + cancel) on an io_context holding as many
//    pending timers, and a plain std::multimap of due times (insert + erase);
//  - the latency from a timer's due time to its callback's entry, for CTimer (10 ms tick) and
//    for a steady_timer served by a thread running io_context::run().
#include "infra/thread.h"
#include "infra/timer.h"
#include "infra3/clock.h"
#include "infra3/timer_internal.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <map>
#include <memory>
#include <random>
#include <thread>
#include <vector>

#if ORLIX_BENCH_WITH_ASIO
#include <boost/asio/io_context.hpp>
#include <boost/asio/steady_timer.hpp>
#endif

using namespace Orlix::Infra;

namespace {

// ---------------------------------------------------------------- threads

void pollStopFlag(CThreadLite& self)
{
    while (self.looping())
        CThread::sleep(0);
}

void BM_CThreadCreateDestroy(benchmark::State& state)
{
    CThreadLite thread(TFunction1<void, CThreadLite&>(&pollStopFlag), "bench", 64, 0, 0);
    for (auto _ : state) {
        thread.createThread();
        thread.destroyThread();
    }
}
BENCHMARK(BM_CThreadCreateDestroy)->UseRealTime();

void BM_StdThreadStartJoin(benchmark::State& state)
{
    for (auto _ : state) {
        std::atomic<bool> run{true};
        std::thread thread([&] {
            while (run.load())
                std::this_thread::yield();
        });
        run = false;
        thread.join();
    }
}
BENCHMARK(BM_StdThreadStartJoin)->UseRealTime();

// ---------------------------------------------------------------- timer start + stop

void noop(unsigned long) {}

// Delays far in the future (about 11 to 23 days) so that nothing fires while measuring.
std::vector<unsigned int> farDelays(size_t count, unsigned int seed)
{
    std::mt19937 random(seed);
    std::vector<unsigned int> delays(count);
    for (auto& delay : delays)
        delay = 1000000000u + random() % 1000000000u;
    return delays;
}

void BM_CTimerStartStop(benchmark::State& state)
{
    const auto others = static_cast<size_t>(state.range(0));
    const TFunction1<void, unsigned long> proc(&noop);
    std::vector<std::unique_ptr<CTimer>> started;
    started.reserve(others);
    for (unsigned int delay : farDelays(others, 1)) {
        started.push_back(std::make_unique<CTimer>("other"));
        started.back()->start(proc, delay, 0);
    }
    const std::vector<unsigned int> delays = farDelays(4096, 2);
    CTimer timer("measured");
    size_t i = 0;
    for (auto _ : state) {
        timer.start(proc, delays[i++ & 4095], 0);
        timer.stop();
    }
    state.counters["started"] = static_cast<double>(others);
}
BENCHMARK(BM_CTimerStartStop)->Arg(10)->Arg(1000)->Arg(100000);

void BM_MultimapInsertErase(benchmark::State& state)
{
    const auto others = static_cast<size_t>(state.range(0));
    std::multimap<Orlix::uint64, void*> due;
    for (unsigned int delay : farDelays(others, 1))
        due.emplace(delay, nullptr);
    const std::vector<unsigned int> delays = farDelays(4096, 2);
    size_t i = 0;
    for (auto _ : state) {
        auto position = due.emplace(delays[i++ & 4095], nullptr);
        due.erase(position);
    }
}
BENCHMARK(BM_MultimapInsertErase)->Arg(10)->Arg(1000)->Arg(100000);

#if ORLIX_BENCH_WITH_ASIO
void BM_AsioSteadyTimerStartCancel(benchmark::State& state)
{
    const auto others = static_cast<size_t>(state.range(0));
    boost::asio::io_context context;
    std::vector<std::unique_ptr<boost::asio::steady_timer>> pending;
    pending.reserve(others);
    for (unsigned int delay : farDelays(others, 1)) {
        pending.push_back(std::make_unique<boost::asio::steady_timer>(context));
        pending.back()->expires_after(std::chrono::milliseconds(delay));
        pending.back()->async_wait([](const boost::system::error_code&) {});
    }
    const std::vector<unsigned int> delays = farDelays(4096, 2);
    boost::asio::steady_timer timer(context);
    size_t i = 0;
    for (auto _ : state) {
        timer.expires_after(std::chrono::milliseconds(delays[i++ & 4095]));
        timer.async_wait([](const boost::system::error_code&) {});
        timer.cancel();
        context.poll(); // runs the cancelled wait's handler
    }
    for (auto& t : pending)
        t->cancel();
    context.poll();
}
BENCHMARK(BM_AsioSteadyTimerStartCancel)->Arg(10)->Arg(1000)->Arg(100000);
#endif

// ---------------------------------------------------------------- latency

constexpr unsigned int kLatencyDelayMs = 20;

struct LatencyProbe
{
    std::atomic<Orlix::uint64> enteredMicro{0};
    void call(unsigned long) { enteredMicro = Detail::monotonicMicroSecond(); }
};

void reportLatencies(benchmark::State& state, std::vector<double>& fromDue,
                     std::vector<double>& fromRequest)
{
    auto summarise = [&](std::vector<double>& values, const char* name) {
        if (values.empty())
            return;
        std::sort(values.begin(), values.end());
        double sum = 0;
        for (double v : values)
            sum += v;
        state.counters[std::string(name) + "_mean_us"] = sum / static_cast<double>(values.size());
        state.counters[std::string(name) + "_p50_us"] = values[values.size() / 2];
        state.counters[std::string(name) + "_max_us"] = values.back();
    };
    summarise(fromDue, "due");
    summarise(fromRequest, "request");
}

// due: from the timer's due time (the manager's tick reading + delay) to the callback's entry.
// request: from start() + delay, as the caller counts it.
void BM_CTimerLatency(benchmark::State& state)
{
    LatencyProbe probe;
    CTimer timer("latency");
    const TFunction1<void, unsigned long> proc(&LatencyProbe::call, &probe);
    std::vector<double> fromDue;
    std::vector<double> fromRequest;
    for (auto _ : state) {
        probe.enteredMicro = 0;
        Orlix::uint64 dueMs = 0;
        Orlix::uint64 requested = 0;
        {
            TGuard<CRecursiveMutex> guard(TimerManagerInternal::mutex());
            requested = Detail::monotonicMicroSecond();
            timer.start(proc, kLatencyDelayMs, 0);
            dueMs = TimerManagerInternal::instance()->now() + kLatencyDelayMs;
        }
        while (probe.enteredMicro.load() == 0)
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        const double entered = static_cast<double>(probe.enteredMicro.load());
        fromDue.push_back(entered - static_cast<double>(dueMs) * 1000.0);
        fromRequest.push_back(entered - static_cast<double>(requested) - kLatencyDelayMs * 1000.0);
    }
    reportLatencies(state, fromDue, fromRequest);
}
BENCHMARK(BM_CTimerLatency)->Iterations(40)->UseRealTime()->Unit(benchmark::kMillisecond);

#if ORLIX_BENCH_WITH_ASIO
void BM_AsioSteadyTimerLatency(benchmark::State& state)
{
    boost::asio::io_context context;
    auto work = boost::asio::make_work_guard(context);
    std::thread runner([&] { context.run(); });
    boost::asio::steady_timer timer(context);
    std::vector<double> fromDue;
    std::vector<double> none;
    for (auto _ : state) {
        std::atomic<Orlix::uint64> entered{0};
        const Orlix::uint64 requested = Detail::monotonicMicroSecond();
        timer.expires_after(std::chrono::milliseconds(kLatencyDelayMs));
        timer.async_wait(
            [&](const boost::system::error_code&) { entered = Detail::monotonicMicroSecond(); });
        while (entered.load() == 0)
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        fromDue.push_back(static_cast<double>(entered.load()) - static_cast<double>(requested) -
                          kLatencyDelayMs * 1000.0);
    }
    work.reset();
    runner.join();
    reportLatencies(state, fromDue, none);
}
BENCHMARK(BM_AsioSteadyTimerLatency)->Iterations(40)->UseRealTime()->Unit(benchmark::kMillisecond);
#endif

} // namespace

BENCHMARK_MAIN();
