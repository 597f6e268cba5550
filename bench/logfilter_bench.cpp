// Lines per second to the log file and to a print sink, with the default line prefix,
// against spdlog's synchronous file sink and a formatting sink of its own with an equivalent
// pattern, in the same run.
//
// Orlix flushes the log file after every line (a line is on disk, as far as the C library is
// concerned, when the print returns); spdlog's file sink buffers unless told to flush, so it
// runs both ways: buffered and flushing every line.
#include "infra/logfilter.h"
#include "infra/print.h"

#include <benchmark/benchmark.h>
#include <spdlog/sinks/base_sink.h>
#include <spdlog/sinks/basic_file_sink.h>
#include <spdlog/spdlog.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace {

using namespace Orlix::Infra;

// The Orlix default prefix "hh:mm:ss|[] [ver:] warn   tid:N " in spdlog's pattern language.
const char* const kPattern = "%H:%M:%S|[] [ver:] %-6l tid:%t %v";

// Files go to a fresh directory under the system's temporary directory, removed at exit.
// The name is kept on the heap for the life of the process: the exit function that removes
// the directory runs after static strings are destroyed.
const std::string& benchDir()
{
    static const std::string* dir = [] {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "orlix-bench-log-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr)
            std::abort();
        auto* name = new std::string(pattern);
        std::atexit([] {
            logCleanup();
            std::error_code ignored;
            std::filesystem::remove_all(benchDir(), ignored);
        });
        return name;
    }();
    return *dir;
}

void command(std::initializer_list<std::string> words)
{
    std::vector<std::string> storage(words);
    std::vector<char*> argv;
    for (auto& word : storage)
        argv.push_back(word.data());
    setLogFilter(static_cast<int>(argv.size()), argv.data());
}

void discard(const char* /*text*/) {}

std::atomic<size_t> g_sinkBytes{0};

bool countingSink(const char* text)
{
    g_sinkBytes.fetch_add(std::strlen(text), std::memory_order_relaxed);
    return true;
}

// Console output off (a printer that drops the text) and colours off, so only the output
// under test costs anything.
void quietConsole()
{
    setLogPrinter(TFunction1<void, const char*>(&discard));
    PrintOptions options;
    options.hideColor = true;
    setPrintOptions(options);
}

void BM_OrlixLogFile(benchmark::State& state)
{
    if (state.thread_index() == 0) {
        quietConsole();
        command({"-logpath", benchDir() + "/orlix.log"});
        command({"-logsize", "65536"}); // 64 MiB, then start afresh: bounds the disk used
    }
    int i = 0;
    for (auto _ : state)
        logWarn("request %d served in %d us\n", i++, 125);
    state.SetItemsProcessed(state.iterations());
    if (state.thread_index() == 0) {
        command({"-logpath", ""});
        logCleanup();
    }
}
BENCHMARK(BM_OrlixLogFile)->Threads(1)->Threads(2)->UseRealTime();

void BM_OrlixSink(benchmark::State& state)
{
    const TFunction1<bool, const char*> sink(&countingSink);
    if (state.thread_index() == 0) {
        quietConsole();
        attachPrint(sink);
    }
    int i = 0;
    for (auto _ : state)
        logWarn("request %d served in %d us\n", i++, 125);
    state.SetItemsProcessed(state.iterations());
    if (state.thread_index() == 0)
        detachPrint(sink);
}
BENCHMARK(BM_OrlixSink)->Threads(1)->Threads(2)->UseRealTime();

std::shared_ptr<spdlog::logger> fileLogger(bool flushEveryLine)
{
    auto sink = std::make_shared<spdlog::sinks::basic_file_sink_mt>(
        benchDir() + (flushEveryLine ? "/spdlog-flush.log" : "/spdlog.log"), true);
    auto logger = std::make_shared<spdlog::logger>("file", sink);
    logger->set_pattern(kPattern);
    if (flushEveryLine)
        logger->flush_on(spdlog::level::trace);
    return logger;
}

void spdlogFile(benchmark::State& state, bool flushEveryLine)
{
    static std::shared_ptr<spdlog::logger> logger;
    if (state.thread_index() == 0)
        logger = fileLogger(flushEveryLine);
    int i = 0;
    for (auto _ : state)
        logger->warn("request {} served in {} us", i++, 125);
    state.SetItemsProcessed(state.iterations());
}

void BM_SpdlogFileBuffered(benchmark::State& state)
{
    spdlogFile(state, false);
}
BENCHMARK(BM_SpdlogFileBuffered)->Threads(1)->Threads(2)->UseRealTime();

void BM_SpdlogFileFlushEachLine(benchmark::State& state)
{
    spdlogFile(state, true);
}
BENCHMARK(BM_SpdlogFileFlushEachLine)->Threads(1)->Threads(2)->UseRealTime();

// A sink that formats each line with the logger's pattern and counts its bytes: the
// counterpart of an attached Orlix print sink.
class CountingSink : public spdlog::sinks::base_sink<std::mutex>
{
protected:
    void sink_it_(const spdlog::details::log_msg& msg) override
    {
        spdlog::memory_buf_t formatted;
        formatter_->format(msg, formatted);
        g_sinkBytes.fetch_add(formatted.size(), std::memory_order_relaxed);
    }
    void flush_() override {}
};

void BM_SpdlogSink(benchmark::State& state)
{
    static std::shared_ptr<spdlog::logger> logger;
    if (state.thread_index() == 0) {
        logger = std::make_shared<spdlog::logger>("sink", std::make_shared<CountingSink>());
        logger->set_pattern(kPattern);
    }
    int i = 0;
    for (auto _ : state)
        logger->warn("request {} served in {} us", i++, 125);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SpdlogSink)->Threads(1)->Threads(2)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
