// flex_string against std::string on the operations its layout is meant to speed up:
// constructing short strings (8, 24 and 31 characters fit flex_string's inline buffer; only
// 8 fits std::string's 15-character one in libstdc++), a 64-character string that both put
// on the heap, and building a ~100-character string from short appends. Each case is
// registered for both types back to back so the report reads side by side.
#include "infra/infra3/flex_string.h"

#include <benchmark/benchmark.h>

#include <cstddef>
#include <string>

namespace {

using Orlix::Infra::flex_string;

constexpr char kText[] = "The quick brown fox jumps over the lazy dog; pack my box with five "
                         "dozen liquor jugs.";

template <typename S>
void constructFromChars(benchmark::State& state, std::size_t length)
{
    const char* text = kText;
    for (auto _ : state) {
        benchmark::DoNotOptimize(text);
        S s(text, length);
        benchmark::DoNotOptimize(s.data());
        benchmark::ClobberMemory();
    }
}

template <typename S>
void copyString(benchmark::State& state, std::size_t length)
{
    const S source(kText, length);
    for (auto _ : state) {
        S s(source);
        benchmark::DoNotOptimize(s.data());
        benchmark::ClobberMemory();
    }
}

// Builds "key=value;" records until the string holds about 100 characters.
template <typename S>
void appendPieces(benchmark::State& state)
{
    const char* pieces[] = {"id=", "4711", ";", "name=", "probe", ";", "unit=", "degC", ";"};
    for (auto _ : state) {
        S s;
        while (s.size() < 100) {
            for (const char* piece : pieces) {
                s += piece;
            }
        }
        benchmark::DoNotOptimize(s.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * 100);
}

template <typename S>
void appendChars(benchmark::State& state)
{
    for (auto _ : state) {
        S s;
        for (int i = 0; i < 100; ++i) {
            s.push_back(static_cast<char>('a' + i % 26));
        }
        benchmark::DoNotOptimize(s.data());
        benchmark::ClobberMemory();
    }
}

void registerAll()
{
    static_assert(sizeof(kText) > 64, "the longest case needs 64 characters");
    for (std::size_t length : {8, 24, 31, 64}) {
        const std::string suffix = "/" + std::to_string(length);
        benchmark::RegisterBenchmark(("construct/std::string" + suffix).c_str(),
                                     constructFromChars<std::string>, length);
        benchmark::RegisterBenchmark(("construct/flex_string" + suffix).c_str(),
                                     constructFromChars<flex_string>, length);
    }
    for (std::size_t length : {24, 64}) {
        const std::string suffix = "/" + std::to_string(length);
        benchmark::RegisterBenchmark(("copy/std::string" + suffix).c_str(), copyString<std::string>,
                                     length);
        benchmark::RegisterBenchmark(("copy/flex_string" + suffix).c_str(), copyString<flex_string>,
                                     length);
    }
    benchmark::RegisterBenchmark("append_pieces_to_100/std::string", appendPieces<std::string>);
    benchmark::RegisterBenchmark("append_pieces_to_100/flex_string", appendPieces<flex_string>);
    benchmark::RegisterBenchmark("push_back_100/std::string", appendChars<std::string>);
    benchmark::RegisterBenchmark("push_back_100/flex_string", appendChars<flex_string>);
}

} // namespace

int main(int argc, char** argv)
{
    registerAll();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
