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
using OrlixTest::PrintCapture;
using OrlixTest::readFile;
using OrlixTest::TempDir;

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

// Every prefix element hidden: a print emits exactly the caller's text.
void hideWholePrefix()
{
    PrintOptions bare;
    bare.hideTime = bare.hideColor = bare.hideModule = bare.hideLevel = bare.hideThreadId = true;
    bare.hideVersion = bare.hideFunction = bare.hideFile = bare.hideLine = true;
    setPrintOptions(bare);
}

std::string tid()
{
    return std::to_string(Orlix::Platform::currentThreadId());
}

const char* const kTime = R"(\d\d:\d\d:\d\d\|)";

bool matches(const std::string& text, const std::string& pattern)
{
    return std::regex_match(text, std::regex(pattern));
}

// ---------------------------------------------------------------------------------------
// The command

TEST(LogFilterCommand, UsageForNoWordsOrHelp)
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

    testing::internal::CaptureStdout();
    command({"-h"});
    EXPECT_EQ(testing::internal::GetCapturedStdout(), usage);

    // "-h" with a value and unknown words are no options: silently ignored.
    testing::internal::CaptureStdout();
    command({"-h", "x"});
    command({"-LOGLEVEL", "6"});
    command({"-logbogus", "1"});
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(logInfo("x\n"), 0);
}

TEST(LogFilterCommand, LogLevel)
{
    PrintCapture capture;
    command({"-loglevel", "4"});
    EXPECT_GT(logInfo("info\n"), 0);
    EXPECT_EQ(logTrace("trace\n"), 0);

    command({"-loglevel", "0"});
    EXPECT_EQ(logFatal("fatal\n"), 0);

    command({"-loglevel", "6"});
    command({"-loglevel"}); // no value: ignored, the level stays 6
    EXPECT_GT(logDebug("debug\n"), 0);

    command({"-loglevel", "abc"}); // read like atoi: 0
    EXPECT_EQ(logFatal("fatal\n"), 0);

    command({"-loglevel", "99999999999999999999"}); // clamped, not undefined
    EXPECT_GT(logDebug("debug\n"), 0);
}

TEST(LogFilterCommand, PrefixSwitchesShowOnlyForOn)
{
    PrintCapture capture;
    const auto line = [&] {
        capture.clear();
        logFilter(2, "m", nullptr, "fn", 0, "1.0", "x\n");
        return capture.text();
    };
    const std::string t = tid();

    EXPECT_TRUE(
        matches(line(), std::string(kTime) + R"(\[m\] \[ver:1\.0\] error fn tid:)" + t + " x\n"));

    command({"-logtime", "no"});
    command({"-logthread", "off"});
    command({"-logversion", ""});
    command({"-logfunction", "yes"});
    EXPECT_EQ(line(), "[m] error x\n");

    command({"-logtime", "ON"});
    command({"-logthread", "On"});
    command({"-logversion", "on"});
    command({"-logfunction", "oN"});
    EXPECT_TRUE(
        matches(line(), std::string(kTime) + R"(\[m\] \[ver:1\.0\] error fn tid:)" + t + " x\n"));

    // A switch without its value changes nothing; the other five options flags are
    // unreachable from the command and keep their values.
    PrintOptions before; // what the four "on" commands above left, plus one flag of its own
    before.hideModule = true;
    setPrintOptions(before);
    command({"-logtime"});
    command({"-logthread"});
    EXPECT_TRUE(matches(line(), std::string(kTime) + R"(\[ver:1\.0\] error fn tid:)" + t + " x\n"));
}

// ---------------------------------------------------------------------------------------
// Module switching

TEST(LogFilterModules, OneModuleOffIsCaseSensitive)
{
    PrintCapture capture;
    command({"-logmodule", "net", "off"});
    EXPECT_EQ(logFilter(2, "net", nullptr, nullptr, 0, nullptr, "a\n"), 0);
    EXPECT_GT(logFilter(2, "Net", nullptr, nullptr, 0, nullptr, "b\n"), 0);
    EXPECT_GT(logFilter(2, nullptr, nullptr, nullptr, 0, nullptr, "c\n"), 0);
    EXPECT_GT(logFilter(2, "disk", nullptr, nullptr, 0, nullptr, "d\n"), 0);
    // The level functions are never filtered by module.
    EXPECT_GT(logError("e\n"), 0);

    // Any value but "on" (in any case) switches off; "ON" switches on again.
    command({"-logmodule", "net", "ON"});
    EXPECT_GT(logFilter(2, "net", nullptr, nullptr, 0, nullptr, "f\n"), 0);
    command({"-logmodule", "net", "enabled"});
    EXPECT_EQ(logFilter(2, "net", nullptr, nullptr, 0, nullptr, "g\n"), 0);
    EXPECT_FALSE(capture.contains("a\n"));
    EXPECT_FALSE(capture.contains("g\n"));
}

TEST(LogFilterModules, AllOffThenPerModuleAgain)
{
    PrintCapture capture;
    command({"-logmodule", "net", "off"});
    command({"-logmodule", "OFF"});
    EXPECT_EQ(logFilter(1, "disk", nullptr, nullptr, 0, nullptr, "x\n"), 0);
    EXPECT_EQ(logFilter(0, nullptr, nullptr, nullptr, 0, nullptr, "x\n"), 0);
    EXPECT_GT(logFatal("level functions still print\n"), 0);

    // A per-module command brings back the table, which remembered "net".
    command({"-logmodule", "x", "on"});
    EXPECT_GT(logFilter(1, "disk", nullptr, nullptr, 0, nullptr, "x\n"), 0);
    EXPECT_EQ(logFilter(1, "net", nullptr, nullptr, 0, nullptr, "x\n"), 0);

    // All on overrides the table without forgetting it.
    command({"-logmodule", "anything"});
    EXPECT_GT(logFilter(1, "net", nullptr, nullptr, 0, nullptr, "x\n"), 0);
    command({"-logmodule", "y", "on"});
    EXPECT_EQ(logFilter(1, "net", nullptr, nullptr, 0, nullptr, "x\n"), 0);
}

// ---------------------------------------------------------------------------------------
// logFilter() lines

TEST(LogFilterLine, DefaultPrefixWithLocation)
{
    PrintCapture capture;
    const int n = logFilter(2, "net", "c:\\src\\a.cpp", "f", 7, "1.0", "x\n");
    const std::string text = capture.text();
    EXPECT_TRUE(matches(text, std::string(kTime) + R"(\[net\] \[ver:1\.0\] error a\.cpp f 7 tid:)" +
                                  tid() + " x\n"))
        << text;
    EXPECT_EQ(n, static_cast<int>(text.size()));

    // Without a line number the file and line are left out.
    capture.clear();
    logFilter(2, "net", "c:\\src\\a.cpp", "f", 0, "1.0", "x\n");
    EXPECT_TRUE(matches(capture.text(),
                        std::string(kTime) + R"(\[net\] \[ver:1\.0\] error f tid:\d+ x\n)"));
}

TEST(LogFilterLine, FileNameCutAndNullTexts)
{
    PrintCapture capture;
    PrintOptions options;
    options.hideTime = options.hideThreadId = true;
    setPrintOptions(options);
    const auto line = [&](const char* module, const char* file, const char* function, int ln,
                          const char* version) {
        capture.clear();
        logFilter(3, module, file, function, ln, version, "x\n");
        return capture.text();
    };

    // Only the backslash separates; a POSIX path is shown whole.
    EXPECT_EQ(line("m", "dir/a.cpp", "f", 3, "v"), "[m] [ver:v] warn dir/a.cpp f 3 x\n");
    EXPECT_EQ(line("m", "a\\b\\", "f", 3, "v"), "[m] [ver:v] warn  f 3 x\n");
    EXPECT_EQ(line("m", "plain.cpp", "f", 3, "v"), "[m] [ver:v] warn plain.cpp f 3 x\n");
    // Null module, file, function and version show as empty texts.
    EXPECT_EQ(line(nullptr, nullptr, nullptr, 3, nullptr), "[] [ver:] warn   3 x\n");

    options.hideVersion = true;
    setPrintOptions(options);
    EXPECT_EQ(line("m", nullptr, "f", 0, "1.0"), "[m] warn f x\n");
    options.hideFile = options.hideLine = true;
    setPrintOptions(options);
    EXPECT_EQ(line("m", "a.cpp", "f", 9, "1.0"), "[m] warn f x\n");
}

TEST(LogFilterLine, LevelsAgainstThePrintLevel)
{
    PrintCapture capture;
    PrintOptions options;
    options.hideTime = options.hideThreadId = options.hideModule = options.hideVersion = true;
    options.hideFunction = true;
    setPrintOptions(options);

    // Default print level 3: warn prints, info does not.
    EXPECT_GT(logFilter(3, "m", nullptr, nullptr, 0, nullptr, "w\n"), 0);
    EXPECT_EQ(logFilter(4, "m", nullptr, nullptr, 0, nullptr, "i\n"), 0);
    EXPECT_EQ(capture.text(), "warn w\n");

    // Level 0 prints with no level word whenever the print level is 0 or more.
    setPrintLogLevel(0);
    capture.clear();
    EXPECT_EQ(logFilter(0, "m", nullptr, nullptr, 0, nullptr, "zero\n"), 5);
    EXPECT_EQ(logFilter(1, "m", nullptr, nullptr, 0, nullptr, "fatal\n"), 0);
    EXPECT_EQ(capture.text(), "zero\n");

    // Levels outside 0..6 have no word and compare like any number.
    capture.clear();
    EXPECT_GT(logFilter(-1, "m", nullptr, nullptr, 0, nullptr, "minus\n"), 0);
    EXPECT_EQ(logFilter(7, "m", nullptr, nullptr, 0, nullptr, "seven\n"), 0);
    setPrintLogLevel(7);
    EXPECT_GT(logFilter(7, "m", nullptr, nullptr, 0, nullptr, "seven\n"), 0);
    EXPECT_EQ(capture.text(), "minus\nseven\n");

    // The table words of levels 1..6 are single-space words.
    capture.clear();
    for (int level = 1; level <= 6; ++level)
        logFilter(level, "m", nullptr, nullptr, 0, nullptr, "%d\n", level);
    EXPECT_EQ(capture.text(), "fatal 1\nerror 2\nwarn 3\ninfo 4\ntrace 5\ndebug 6\n");
}

// ---------------------------------------------------------------------------------------
// The log file

class LogFileTest : public testing::Test
{
protected:
    void SetUp() override { hideWholePrefix(); }
    void TearDown() override { logCleanup(); }

    PrintCapture m_capture;
    TempDir m_dir;
};

TEST_F(LogFileTest, NothingIsWrittenWithoutAPath)
{
    logWarn("no file\n");
    EXPECT_TRUE(std::filesystem::is_empty(m_dir.path()));
    EXPECT_EQ(m_capture.text(), "no file\n");
}

TEST_F(LogFileTest, CreatesTheFileAndGetsEveryPrint)
{
    const std::string path = m_dir.file("app.log");
    command({"-logpath", path.c_str()});
    EXPECT_FALSE(std::filesystem::exists(path)); // opened by the first write, not the command
    logWarn("one\n");
    logFilter(1, "m", nullptr, nullptr, 0, nullptr, "two ");
    logError("three\n");
    logInfo("silent at level 3\n");
    EXPECT_EQ(readFile(path), "one\ntwo three\n");
    EXPECT_EQ(m_capture.text(), "one\ntwo three\n");
}

TEST_F(LogFileTest, AppendsToExistingContentAndAcrossCleanup)
{
    const std::string path = m_dir.file("app.log");
    std::ofstream(path) << "old\n";
    command({"-logpath", path.c_str()});
    logWarn("a\n");
    logCleanup();
    logCleanup(); // harmless when nothing is open
    logWarn("b\n");
    EXPECT_EQ(readFile(path), "old\na\nb\n");
}

TEST_F(LogFileTest, NewPathTakesEffectWhenTheFileIsReopened)
{
    const std::string first = m_dir.file("first.log");
    const std::string second = m_dir.file("second.log");
    command({"-logpath", first.c_str()});
    logWarn("1\n");
    command({"-logpath", second.c_str()});
    logWarn("2\n"); // the open file is kept
    logCleanup();
    logWarn("3\n");
    EXPECT_EQ(readFile(first), "1\n2\n");
    EXPECT_EQ(readFile(second), "3\n");

    // An empty path stops file output at once, even with the file open.
    command({"-logpath", ""});
    logWarn("4\n");
    EXPECT_EQ(readFile(second), "3\n");
    EXPECT_EQ(m_capture.text(), "1\n2\n3\n4\n");
}

TEST_F(LogFileTest, RollOverStartsTheFileWithTheCrossingLine)
{
    const std::string path = m_dir.file("app.log");
    command({"-logpath", path.c_str()});
    command({"-logsize", "1"}); // 1024 bytes
    const std::string body(99, 'x');
    for (int i = 0; i < 11; ++i) // 11 x 100 bytes: the 11th passes the limit but is written
        logWarn("%s\n", body.c_str());
    EXPECT_EQ(std::filesystem::file_size(path), 1100u);

    logWarn("crossing\n"); // the file holds 1100 >= 1024: re-created first
    EXPECT_EQ(readFile(path), "crossing\n");
    logWarn("next\n");
    EXPECT_EQ(readFile(path), "crossing\nnext\n");
}

TEST_F(LogFileTest, ExistingFileSizeCountsTowardsTheLimit)
{
    const std::string path = m_dir.file("app.log");
    std::ofstream(path) << std::string(2000, 'o') << "\n";
    command({"-logsize", "1"});
    command({"-logpath", path.c_str()});
    logWarn("fresh\n");
    EXPECT_EQ(readFile(path), "fresh\n");
}

TEST_F(LogFileTest, NonPositiveOrOverflowingSizeMeansNoLimit)
{
    const std::string path = m_dir.file("app.log");
    command({"-logpath", path.c_str()});
    const std::string body(511, 'z');
    const auto writeKiB = [&](int kib) {
        for (int i = 0; i < 2 * kib; ++i)
            logWarn("%s\n", body.c_str());
    };
    writeKiB(2); // default: no limit
    command({"-logsize", "1"});
    command({"-logsize", "-5"});
    writeKiB(1);
    command({"-logsize", "1"});
    command({"-logsize", "0"});
    writeKiB(1);
    command({"-logsize", "1"});
    command({"-logsize", "4194304"}); // 4194304 x 1024 = 2^32: 0 in 32 bits
    writeKiB(1);
    command({"-logsize", "1"});
    command({"-logsize"}); // no value: ignored, the limit stays 1 KiB
    EXPECT_EQ(std::filesystem::file_size(path), 5u * 1024u);
    logWarn("rolled\n");
    EXPECT_EQ(readFile(path), "rolled\n");
}

TEST_F(LogFileTest, UnwritablePathIsReportedEachTimeAndDisturbsNothingElse)
{
    const std::string bad = m_dir.file("missing/dir/app.log");
    command({"-logpath", bad.c_str()});
    testing::internal::CaptureStderr();
    const int n1 = logWarn("first\n");
    const int n2 = logWarn("second\n");
    const std::string errors = testing::internal::GetCapturedStderr();
    EXPECT_EQ(n1, 6);
    EXPECT_EQ(n2, 7);
    EXPECT_EQ(m_capture.text(), "first\nsecond\n");
    EXPECT_TRUE(matches(errors, "(fopen:: [^\n]+\n){2}")) << errors;

    // A directory cannot be opened as a file either.
    command({"-logpath", m_dir.path().c_str()});
    testing::internal::CaptureStderr();
    logWarn("third\n");
    EXPECT_TRUE(matches(testing::internal::GetCapturedStderr(), "fopen:: [^\n]+\n"));

    // A good path works again at once.
    const std::string good = m_dir.file("app.log");
    command({"-logpath", good.c_str()});
    logWarn("fourth\n");
    EXPECT_EQ(readFile(good), "fourth\n");
}

} // namespace
