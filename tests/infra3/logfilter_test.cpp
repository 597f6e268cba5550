// The log filter command, logFilter() and the log file.
#include "support/testsupport.h"

#include "infra/logfilter.h"
#include "infra/print.h"
#include "platform/thread.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <regex>
#include <string>
#include <vector>

namespace {

using namespace Orlix::Infra;
using OrlixTest::readFile;

// Runs one command given as words.
void command(std::initializer_list<const char*> words)
{
    std::vector<std::string> storage(words.begin(), words.end());
    std::vector<char*> argv;
    for (auto& word : storage)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    setLogFilter(static_cast<int>(storage.size()), argv.data());
}

std::string stdoutOf(std::initializer_list<std::initializer_list<const char*>> commands)
{
    testing::internal::CaptureStdout();
    for (const auto& words : commands)
        command(words);
    return testing::internal::GetCapturedStdout();
}

bool matches(const std::string& text, const std::string& pattern)
{
    return std::regex_match(text, std::regex(pattern));
}

// The time, then "[module] [ver:version] " as logFilter() prints them by default.
const std::string kTimeNetVersion = R"(\d\d:\d\d:\d\d\|\[net\] \[ver:1\.0\] )";

class LogFilterTest : public testing::Test
{
protected:
    // What one logFilter() call printed ("" when it was filtered out).
    std::string line(int level, const char* module, const char* file = "c:\\src\\a.cpp",
                     const char* function = "f", int ln = 7, const char* version = "1.0")
    {
        m_capture.clear();
        const int n = logFilter(level, module, file, function, ln, version, "x\n");
        EXPECT_EQ(n, static_cast<int>(m_capture.text().size()));
        return m_capture.text();
    }
    bool prints(int level, const char* module) { return !line(level, module).empty(); }

    const std::string m_tid = std::to_string(Orlix::Platform::currentThreadId());
    OrlixTest::PrintCapture m_capture;
};

// ---------------------------------------------------------------------------------------
// The command

TEST(LogFilterCommand, UsageForNoWordsOrHelpAndNothingForOtherWords)
{
    const std::string usage =
        "logfilter command usage:\n"
        "logfilter -loglevel [levelnum](0-no printlevel, 1-fatal, 2-error, 3-warn, 4-info, "
        "5-trace, 6-debug): set log level\n"
        "logfilter -logmodule [modulename] [on/off] #turn module's log on/off\n"
        "logfilter -logmodule [on/off] #turn ALL module's log on/off\n"
        "logfilter -logpath [logpath/] #logger module's log to logpath or cancel "
        "logger(by set path to )\n"
        "logfiter -logsize [logsize] #log file max size limited to logsize Kbytes\n";
    testing::internal::CaptureStdout();
    setLogFilter(0, nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), usage);
    EXPECT_EQ(stdoutOf({{"-h"}}), usage);
    // "-h" with a value and unknown words are no options: silently ignored.
    EXPECT_EQ(stdoutOf({{"-h", "x"}, {"-LOGLEVEL", "6"}, {"-logbogus", "1"}}), "");
    EXPECT_EQ(logInfo("x\n"), 0);
}

TEST(LogFilterCommand, LogLevel)
{
    OrlixTest::PrintCapture capture;
    const auto levelAfter = [](std::initializer_list<const char*> words) {
        command(words);
        int level = 0; // the highest level function that prints
        for (auto fn : {&logFatal, &logError, &logWarn, &logInfo, &logTrace, &logDebug})
            level += fn("x\n") > 0;
        return level;
    };
    EXPECT_EQ(levelAfter({"-loglevel", "4"}), 4);
    EXPECT_EQ(levelAfter({"-loglevel", "0"}), 0);
    EXPECT_EQ(levelAfter({"-loglevel", "6"}), 6);
    EXPECT_EQ(levelAfter({"-loglevel"}), 6);                         // no value: ignored
    EXPECT_EQ(levelAfter({"-loglevel", "abc"}), 0);                  // read like atoi
    EXPECT_EQ(levelAfter({"-loglevel", "99999999999999999999"}), 6); // clamped, not undefined
}

TEST_F(LogFilterTest, PrefixSwitchesShowOnlyForOn)
{
    const std::string full = kTimeNetVersion + "error a\\.cpp f 7 tid:" + m_tid + " x\n";
    EXPECT_TRUE(matches(line(2, "net"), full));
    stdoutOf(
        {{"-logtime", "no"}, {"-logthread", "off"}, {"-logversion", ""}, {"-logfunction", "yes"}});
    EXPECT_EQ(line(2, "net"), "[net] error a.cpp 7 x\n");
    stdoutOf(
        {{"-logtime", "ON"}, {"-logthread", "On"}, {"-logversion", "on"}, {"-logfunction", "oN"}});
    EXPECT_TRUE(matches(line(2, "net"), full));

    // A switch without its value changes nothing; the other five options flags are
    // unreachable from the command and keep their values.
    PrintOptions before; // what the four "on" commands above left, plus one flag of its own
    before.hideModule = true;
    setPrintOptions(before);
    stdoutOf({{"-logtime"}, {"-logthread"}});
    EXPECT_TRUE(matches(line(2, "net"),
                        R"(\d\d:\d\d:\d\d\|\[ver:1\.0\] error a\.cpp f 7 tid:)" + m_tid + " x\n"));
}

// ---------------------------------------------------------------------------------------
// Module switching

TEST_F(LogFilterTest, OneModuleOffIsCaseSensitive)
{
    command({"-logmodule", "net", "off"});
    EXPECT_FALSE(prints(2, "net"));
    EXPECT_TRUE(prints(2, "Net"));
    EXPECT_TRUE(prints(2, nullptr));
    EXPECT_TRUE(prints(2, "disk"));
    EXPECT_GT(logError("e\n"), 0); // the level functions are never filtered by module

    // Any value but "on" (in any case) switches off; "ON" switches on again.
    command({"-logmodule", "net", "ON"});
    EXPECT_TRUE(prints(2, "net"));
    command({"-logmodule", "net", "enabled"});
    EXPECT_FALSE(prints(2, "net"));
}

TEST_F(LogFilterTest, AllOffThenPerModuleAgain)
{
    command({"-logmodule", "net", "off"});
    command({"-logmodule", "OFF"});
    EXPECT_FALSE(prints(1, "disk"));
    EXPECT_FALSE(prints(0, nullptr));
    EXPECT_GT(logFatal("level functions still print\n"), 0);

    // A per-module command brings back the table, which remembered "net".
    command({"-logmodule", "x", "on"});
    EXPECT_TRUE(prints(1, "disk"));
    EXPECT_FALSE(prints(1, "net"));

    // All on overrides the table without forgetting it.
    command({"-logmodule", "anything"});
    EXPECT_TRUE(prints(1, "net"));
    command({"-logmodule", "y", "on"});
    EXPECT_FALSE(prints(1, "net"));
}

// ---------------------------------------------------------------------------------------
// logFilter() lines

TEST_F(LogFilterTest, DefaultPrefixFileNameCutAndNullTexts)
{
    EXPECT_TRUE(
        matches(line(2, "net"), kTimeNetVersion + "error a\\.cpp f 7 tid:" + m_tid + " x\n"));
    // Without a line number the file and line are left out.
    EXPECT_TRUE(
        matches(line(2, "net", "a.cpp", "f", 0), kTimeNetVersion + R"(error f tid:\d+ x\n)"));

    PrintOptions options;
    options.hideTime = options.hideThreadId = true;
    setPrintOptions(options);
    // Only the backslash separates; a POSIX path is shown whole.
    EXPECT_EQ(line(3, "m", "dir/a.cpp", "f", 3, "v"), "[m] [ver:v] warn dir/a.cpp f 3 x\n");
    EXPECT_EQ(line(3, "m", "a\\b\\", "f", 3, "v"), "[m] [ver:v] warn  f 3 x\n");
    // Null module, file, function and version show as empty texts.
    EXPECT_EQ(line(3, nullptr, nullptr, nullptr, 3, nullptr), "[] [ver:] warn   3 x\n");

    options.hideVersion = true;
    setPrintOptions(options);
    EXPECT_EQ(line(3, "m", nullptr, "f", 0), "[m] warn f x\n");
    options.hideFile = options.hideLine = true;
    setPrintOptions(options);
    EXPECT_EQ(line(3, "m", "a.cpp", "f", 9), "[m] warn f x\n");
}

TEST_F(LogFilterTest, LevelsAgainstThePrintLevel)
{
    PrintOptions options;
    options.hideTime = options.hideThreadId = options.hideModule = options.hideVersion = true;
    options.hideFunction = options.hideFile = options.hideLine = true;
    setPrintOptions(options);

    // Default print level 3: warn prints, info does not. The table words of levels 1..6 are
    // single-space words.
    EXPECT_EQ(line(3, "m"), "warn x\n");
    EXPECT_EQ(line(4, "m"), "");
    setPrintLogLevel(6);
    const char* const words[] = {"fatal", "error", "warn", "info", "trace", "debug"};
    for (int level = 1; level <= 6; ++level)
        EXPECT_EQ(line(level, "m"), std::string(words[level - 1]) + " x\n");

    // Level 0 prints with no level word whenever the print level is 0 or more.
    setPrintLogLevel(0);
    EXPECT_EQ(line(0, "m"), "x\n");
    EXPECT_EQ(line(1, "m"), "");

    // Levels outside 0..6 have no word and compare like any number.
    EXPECT_EQ(line(-1, "m"), "x\n");
    EXPECT_EQ(line(7, "m"), "");
    setPrintLogLevel(7);
    EXPECT_EQ(line(7, "m"), "x\n");
}

// ---------------------------------------------------------------------------------------
// The log file

class LogFileTest : public testing::Test
{
protected:
    void SetUp() override
    {
        PrintOptions bare; // every prefix element hidden: a print emits exactly its text
        bare.hideTime = bare.hideColor = bare.hideModule = bare.hideLevel = true;
        bare.hideThreadId = bare.hideVersion = bare.hideFunction = true;
        bare.hideFile = bare.hideLine = true;
        setPrintOptions(bare);
    }
    void TearDown() override { logCleanup(); }
    void usePath(const std::string& path) { command({"-logpath", path.c_str()}); }

    OrlixTest::PrintCapture m_capture;
    OrlixTest::TempDir m_dir;
    const std::string m_path = m_dir.file("app.log");
};

TEST_F(LogFileTest, CreatedByTheFirstPrintAndGetsEveryPrint)
{
    logWarn("no file\n");
    usePath(m_path);
    EXPECT_TRUE(std::filesystem::is_empty(m_dir.path())); // opened by a write, not the command
    logWarn("one\n");
    logFilter(1, "m", nullptr, nullptr, 0, nullptr, "two ");
    logError("three\n");
    logInfo("silent at level 3\n");
    EXPECT_EQ(readFile(m_path), "one\ntwo three\n");
    EXPECT_EQ(m_capture.text(), "no file\none\ntwo three\n");
}

TEST_F(LogFileTest, AppendsToExistingContentAndAcrossCleanup)
{
    std::ofstream(m_path, std::ios::binary) << "old\n";
    usePath(m_path);
    logWarn("a\n");
    logCleanup();
    logCleanup(); // harmless when nothing is open
    logWarn("b\n");
    EXPECT_EQ(readFile(m_path), "old\na\nb\n");
}

TEST_F(LogFileTest, NewPathTakesEffectWhenTheFileIsReopened)
{
    const std::string second = m_dir.file("second.log");
    usePath(m_path);
    logWarn("1\n");
    usePath(second);
    logWarn("2\n"); // the open file is kept
    logCleanup();
    logWarn("3\n");
    EXPECT_EQ(readFile(m_path), "1\n2\n");
    EXPECT_EQ(readFile(second), "3\n");

    // An empty path stops file output at once, even with the file open.
    usePath("");
    logWarn("4\n");
    EXPECT_EQ(readFile(second), "3\n");
    EXPECT_EQ(m_capture.text(), "1\n2\n3\n4\n");
}

TEST_F(LogFileTest, RollOverStartsTheFileWithTheCrossingLine)
{
    usePath(m_path);
    command({"-logsize", "1"}); // 1024 bytes
    const std::string body(99, 'x');
    for (int i = 0; i < 11; ++i) // 11 x 100 bytes: the 11th passes the limit but is written
        logWarn("%s\n", body.c_str());
    EXPECT_EQ(std::filesystem::file_size(m_path), 1100u);

    logWarn("crossing\n"); // the file holds 1100 >= 1024: re-created first
    EXPECT_EQ(readFile(m_path), "crossing\n");
    logWarn("next\n");
    EXPECT_EQ(readFile(m_path), "crossing\nnext\n");
}

TEST_F(LogFileTest, ExistingFileSizeCountsTowardsTheLimit)
{
    std::ofstream(m_path, std::ios::binary) << std::string(2000, 'o') << "\n";
    command({"-logsize", "1"});
    usePath(m_path);
    logWarn("fresh\n");
    EXPECT_EQ(readFile(m_path), "fresh\n");
}

TEST_F(LogFileTest, NonPositiveOrOverflowingSizeMeansNoLimit)
{
    usePath(m_path);
    const std::string body(511, 'z');
    const auto writeKiB = [&](int kib) {
        for (int i = 0; i < 2 * kib; ++i)
            logWarn("%s\n", body.c_str());
    };
    writeKiB(2);                                         // default: no limit
    for (const char* noLimit : {"-5", "0", "4194304"}) { // 4194304 x 1024 = 2^32: 0 in 32 bits
        command({"-logsize", "1"});
        command({"-logsize", noLimit});
        writeKiB(1);
    }
    command({"-logsize", "1"});
    command({"-logsize"}); // no value: ignored, the limit stays 1 KiB
    EXPECT_EQ(std::filesystem::file_size(m_path), 5u * 1024u);
    logWarn("rolled\n");
    EXPECT_EQ(readFile(m_path), "rolled\n");
}

TEST_F(LogFileTest, UnwritablePathIsReportedEachTimeAndDisturbsNothingElse)
{
    usePath(m_dir.file("missing/dir/app.log"));
    testing::internal::CaptureStderr();
    EXPECT_EQ(logWarn("first\n"), 6);
    EXPECT_EQ(logWarn("second\n"), 7);
    const std::string errors = testing::internal::GetCapturedStderr();
    EXPECT_EQ(m_capture.text(), "first\nsecond\n");
    EXPECT_TRUE(matches(errors, "(fopen:: [^\n]+\n){2}")) << errors;

    // A directory cannot be opened as a file either.
    usePath(m_dir.path());
    testing::internal::CaptureStderr();
    logWarn("third\n");
    EXPECT_TRUE(matches(testing::internal::GetCapturedStderr(), "fopen:: [^\n]+\n"));

    // A good path works again at once.
    usePath(m_path);
    logWarn("fourth\n");
    EXPECT_EQ(readFile(m_path), "fourth\n");
}

} // namespace
