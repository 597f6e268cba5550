// CTime against what a C++ program would otherwise call: timegm/gmtime_r for conversions,
// strftime/strptime for text, clock_gettime for the monotonic clock. Each pair works on the
// same 1024 random instants from 1970 to 2038.
//
// The time-zone switch can only be turned off, so the benchmarks that run with it on are
// registered (and so run) first.
#include "infra/time.h"

#include <benchmark/benchmark.h>

#include <ctime>
#include <random>
#include <vector>

using Orlix::uint64;
using Orlix::Infra::CTime;

namespace {

const size_t kCount = 1024;

const std::vector<time_t>& instants()
{
    static const std::vector<time_t> all = [] {
        std::mt19937_64 random(42);
        std::uniform_int_distribution<long long> pick(0, 2177452799LL);
        std::vector<time_t> v;
        for (size_t i = 0; i < kCount; ++i)
            v.push_back(static_cast<time_t>(pick(random)));
        return v;
    }();
    return all;
}

std::vector<std::tm> brokenDown()
{
    std::vector<std::tm> v;
    for (time_t t : instants()) {
        std::tm tm{};
        gmtime_r(&t, &tm);
        v.push_back(tm);
    }
    return v;
}

std::vector<CTime> asCTimes()
{
    std::vector<CTime> v;
    for (const std::tm& tm : brokenDown())
        v.emplace_back(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min,
                       tm.tm_sec);
    return v;
}

// ---- Zone switch on (the default): the C library's offset is looked up per call ----

void BM_MakeTime_ZoneOn(benchmark::State& state)
{
    const std::vector<CTime> times = asCTimes();
    size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(times[i].makeTime());
        i = (i + 1) % kCount;
    }
}
BENCHMARK(BM_MakeTime_ZoneOn);

void BM_BreakTime_ZoneOn(benchmark::State& state)
{
    CTime t;
    size_t i = 0;
    for (auto _ : state) {
        t.breakTime(static_cast<uint64>(instants()[i]));
        benchmark::DoNotOptimize(t);
        i = (i + 1) % kCount;
    }
}
BENCHMARK(BM_BreakTime_ZoneOn);

void BM_Mktime(benchmark::State& state)
{
    std::vector<std::tm> tms = brokenDown();
    size_t i = 0;
    for (auto _ : state) {
        std::tm tm = tms[i];
        benchmark::DoNotOptimize(mktime(&tm));
        i = (i + 1) % kCount;
    }
}
BENCHMARK(BM_Mktime);

void BM_LocaltimeR(benchmark::State& state)
{
    std::tm tm;
    size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(localtime_r(&instants()[i], &tm));
        i = (i + 1) % kCount;
    }
}
BENCHMARK(BM_LocaltimeR);

// ---- Zone switch off: both sides are pure UTC arithmetic ----

void BM_MakeTime(benchmark::State& state)
{
    CTime::disableTimezone();
    const std::vector<CTime> times = asCTimes();
    size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(times[i].makeTime());
        i = (i + 1) % kCount;
    }
}
BENCHMARK(BM_MakeTime);

void BM_Timegm(benchmark::State& state)
{
    std::vector<std::tm> tms = brokenDown();
    size_t i = 0;
    for (auto _ : state) {
        std::tm tm = tms[i];
        benchmark::DoNotOptimize(timegm(&tm));
        i = (i + 1) % kCount;
    }
}
BENCHMARK(BM_Timegm);

void BM_BreakTime(benchmark::State& state)
{
    CTime::disableTimezone();
    CTime t;
    size_t i = 0;
    for (auto _ : state) {
        t.breakTime(static_cast<uint64>(instants()[i]));
        benchmark::DoNotOptimize(t);
        i = (i + 1) % kCount;
    }
}
BENCHMARK(BM_BreakTime);

void BM_GmtimeR(benchmark::State& state)
{
    std::tm tm;
    size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(gmtime_r(&instants()[i], &tm));
        i = (i + 1) % kCount;
    }
}
BENCHMARK(BM_GmtimeR);

// ---- Text ----

void BM_Format(benchmark::State& state)
{
    const std::vector<CTime> times = asCTimes();
    char buf[64];
    size_t i = 0;
    for (auto _ : state) {
        times[i].format(buf, "yyyy-MM-dd HH:mm:ss", 0);
        benchmark::DoNotOptimize(buf);
        i = (i + 1) % kCount;
    }
}
BENCHMARK(BM_Format);

void BM_Strftime(benchmark::State& state)
{
    const std::vector<std::tm> tms = brokenDown();
    char buf[64];
    size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(strftime(buf, sizeof(buf), "%Y-%m-%d %H:%M:%S", &tms[i]));
        i = (i + 1) % kCount;
    }
}
BENCHMARK(BM_Strftime);

std::vector<std::string> texts()
{
    std::vector<std::string> v;
    char buf[64];
    for (const std::tm& tm : brokenDown()) {
        strftime(buf, sizeof(buf), "%Y-%m-%d %H:%M:%S", &tm);
        v.emplace_back(buf);
    }
    return v;
}

void BM_Parse(benchmark::State& state)
{
    const std::vector<std::string> all = texts();
    CTime t;
    size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(t.parse(all[i].c_str(), "yyyy-MM-dd HH:mm:ss", 0));
        i = (i + 1) % kCount;
    }
}
BENCHMARK(BM_Parse);

void BM_Strptime(benchmark::State& state)
{
    const std::vector<std::string> all = texts();
    std::tm tm{};
    size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(strptime(all[i].c_str(), "%Y-%m-%d %H:%M:%S", &tm));
        i = (i + 1) % kCount;
    }
}
BENCHMARK(BM_Strptime);

// ---- Clocks ----

void BM_GetCurrentMilliSecond(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(CTime::getCurrentMilliSecond());
}
BENCHMARK(BM_GetCurrentMilliSecond);
BENCHMARK(BM_GetCurrentMilliSecond)->Threads(2);

void BM_ClockGettimeMonotonic(benchmark::State& state)
{
    timespec ts;
    for (auto _ : state) {
        clock_gettime(CLOCK_MONOTONIC, &ts);
        benchmark::DoNotOptimize(ts);
    }
}
BENCHMARK(BM_ClockGettimeMonotonic);
BENCHMARK(BM_ClockGettimeMonotonic)->Threads(2);

} // namespace

BENCHMARK_MAIN();
