// The log file and the module switches under concurrent printing.
#include "support/testsupport.h"

#include "infra/logfilter.h"
#include "infra/print.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace Orlix::Infra;
using OrlixTest::readFile;
using OrlixTest::TempDir;

constexpr int kThreads = 4;

void command(std::vector<std::string> words)
{
    std::vector<char*> argv;
    for (auto& word : words)
        argv.push_back(word.data());
    setLogFilter(static_cast<int>(words.size()), argv.data());
}

void discard(const char* /*text*/) {}

// Keeps standard output quiet and colourless while the threads print.
class ConcurrentLogTest : public testing::Test
{
protected:
    void SetUp() override
    {
        setLogPrinter(TFunction1<void, const char*>(&discard));
        PrintOptions options;
        options.hideColor = true;
        setPrintOptions(options);
    }
    void TearDown() override
    {
        logCleanup();
        setLogPrinter(TFunction1<void, const char*>());
    }

    // Threads 0 and 2 print through logWarn, 1 and 3 through logFilter; every line carries
    // the thread, a sequence number and a payload whose length depends on both, so a torn or
    // spliced line cannot pass for a whole one.
    static void printLines(int thread, int count)
    {
        for (int i = 0; i < count; ++i) {
            const std::string payload(static_cast<size_t>(10 + (i * 7 + thread) % 40), 'p');
            if (thread % 2 == 0)
                logWarn("T%d L%d %s\n", thread, i, payload.c_str());
            else
                logFilter(2, "net", "src\\net.cpp", "send", 42, "1.0", "T%d L%d %s\n", thread, i,
                          payload.c_str());
        }
    }

    static void runThreads(int count)
    {
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t)
            threads.emplace_back(printLines, t, count);
        for (auto& thread : threads)
            thread.join();
    }

    // Checks that every line of text is whole; returns each thread's sequence numbers in
    // file order.
    static std::map<int, std::vector<int>> wholeLines(const std::string& text)
    {
        static const std::regex kLine(
            R"(\d\d:\d\d:\d\d\|\[(net)?\] \[ver:(1\.0)?\] )"
            R"((warn   |error net\.cpp send 42 )tid:\d+ T(\d) L(\d+) (p+))");
        std::map<int, std::vector<int>> seen;
        EXPECT_TRUE(text.empty() || text.back() == '\n');
        std::istringstream lines(text);
        std::string line;
        while (std::getline(lines, line)) {
            std::smatch m;
            if (!std::regex_match(line, m, kLine)) {
                ADD_FAILURE() << "torn line: " << line;
                continue;
            }
            const int thread = std::stoi(m[4]);
            const int seq = std::stoi(m[5]);
            EXPECT_EQ(m[6].length(), static_cast<size_t>(10 + (seq * 7 + thread) % 40)) << line;
            seen[thread].push_back(seq);
        }
        return seen;
    }

    TempDir m_dir;
};

TEST_F(ConcurrentLogTest, SmallLimitKeepsOnlyWholeLines)
{
    const std::string path = m_dir.file("app.log");
    command({"-logpath", path});
    command({"-logsize", "4"});
    runThreads(3000);

    const std::string text = readFile(path);
    ASSERT_FALSE(text.empty());
    EXPECT_LT(text.size(), 4096u + 200u); // at most the limit plus the crossing line
    const auto seen = wholeLines(text);
    for (const auto& [thread, seqs] : seen) {
        for (size_t i = 1; i < seqs.size(); ++i)
            EXPECT_LT(seqs[i - 1], seqs[i]) << "thread " << thread;
    }
}

TEST_F(ConcurrentLogTest, NoLimitKeepsEveryLine)
{
    const std::string path = m_dir.file("app.log");
    command({"-logpath", path});
    const int count = 2000;
    runThreads(count);

    const auto seen = wholeLines(readFile(path));
    ASSERT_EQ(seen.size(), static_cast<size_t>(kThreads));
    for (const auto& [thread, seqs] : seen) {
        ASSERT_EQ(seqs.size(), static_cast<size_t>(count)) << "thread " << thread;
        for (int i = 0; i < count; ++i)
            ASSERT_EQ(seqs[static_cast<size_t>(i)], i) << "thread " << thread;
    }
}

TEST_F(ConcurrentLogTest, OperatorCommandsWhileThreadsPrint)
{
    // The operator switches modules, prefix parts, the file and its limit while another
    // thread prints; TSan watches the module table, the options and the writer.
    const std::string path = m_dir.file("app.log");
    command({"-logpath", path});
    std::atomic<bool> stop{false};
    std::thread printer([&] {
        for (int i = 0; !stop.load(); ++i) {
            logFilter(2, "net", "a.cpp", "send", 7, "1.0", "net %d\n", i);
            logFilter(2, "disk", nullptr, nullptr, 0, nullptr, "disk %d\n", i);
        }
    });
    for (int round = 0; round < 300; ++round) {
        const std::string value = round % 2 == 0 ? "off" : "on";
        command({"-logmodule", "net", value});
        command({"-logmodule", "mod" + std::to_string(round % 50), "off"});
        command({"-logmodule", round % 3 == 0 ? "off" : "on"});
        command({"-logsize", std::to_string(round % 4)});
        for (const char* option : {"-logtime", "-logthread", "-logversion", "-logfunction"})
            command({option, value});
        if (round % 100 == 99)
            logCleanup();
    }
    stop.store(true);
    printer.join();

    command({"-logmodule", "net", "on"});
    logFilter(2, "net", "a.cpp", "send", 7, "1.0", "done\n");
    EXPECT_NE(readFile(path).find("[ver:1.0] error a.cpp send 7 tid:"), std::string::npos);
}

} // namespace
