// What needs no second thread: the priority table, stack sizes, splitting command lines,
// systemCall and the load() precondition.
#include "infra/print.h"
#include "infra/thread.h"
#include "infra3/commandline.h"
#include "infra3/thread_internal.h"
#include "platform/threads.h"
#include "support/testsupport.h"

#include <gtest/gtest.h>

#include <climits>
#include <fstream>
#include <string>
#include <vector>

using Orlix::Infra::CThread;
using Orlix::Infra::systemCall;
using Orlix::Infra::Detail::splitCommandLine;
using Orlix::Infra::Detail::win32Priority;

namespace {

// The documented table, written as ranges, independently of the formula.
int tabledLevel(int priority)
{
    if (priority <= 5)
        return 15;
    if (priority <= 59)
        return 2;
    if (priority <= 63)
        return 1;
    if (priority <= 68)
        return 0;
    if (priority <= 72)
        return -1;
    if (priority <= 126)
        return -2;
    return -15;
}

std::vector<std::string> split(const char* line)
{
    std::vector<std::string> arguments;
    EXPECT_TRUE(splitCommandLine(line, arguments)) << line;
    return arguments;
}

using Args = std::vector<std::string>;

} // namespace

TEST(ThreadPriority, FollowsTheTableForEveryPriority)
{
    for (int priority = -20; priority <= 300; ++priority)
        EXPECT_EQ(win32Priority(priority, 0), tabledLevel(priority)) << "priority " << priority;
    // Far outside the range the table still holds (and the arithmetic must not overflow).
    for (int priority : {INT_MIN, INT_MIN + 1, -100000000, 100000000, INT_MAX - 1, INT_MAX})
        EXPECT_EQ(win32Priority(priority, 0), tabledLevel(priority)) << "priority " << priority;
}

TEST(ThreadPriority, TableEdgesAndRealTimePolicy)
{
    EXPECT_EQ(win32Priority(64, 0), 0);
    EXPECT_EQ(win32Priority(1, 0), 15);
    EXPECT_EQ(win32Priority(127, 0), -15);
    EXPECT_EQ(win32Priority(5, 0), 15);
    EXPECT_EQ(win32Priority(6, 0), 2);
    EXPECT_EQ(win32Priority(73, 0), -2);
    // Policy 1 is time critical whatever the priority; other policies are normal ones.
    for (int priority : {1, 64, 127, 500})
        EXPECT_EQ(win32Priority(priority, 1), 15);
    EXPECT_EQ(win32Priority(64, 2), 0);
    EXPECT_EQ(win32Priority(64, -1), 0);
}

TEST(ThreadStack, ZeroIsDefaultOthersRaisedAndRoundedToPages)
{
    using Orlix::Platform::effectiveStackSize;
    EXPECT_EQ(effectiveStackSize(0), 0);
    EXPECT_EQ(effectiveStackSize(-4096), 0);
    const int minimum = effectiveStackSize(1);
    EXPECT_GE(minimum, 16384);
    EXPECT_EQ(minimum % 4096, 0);
    EXPECT_EQ(effectiveStackSize(minimum), minimum);
    EXPECT_EQ(effectiveStackSize(minimum + 1), minimum + 4096);
    EXPECT_EQ(effectiveStackSize(100000), 102400);
    EXPECT_EQ(effectiveStackSize(1 << 20), 1 << 20);
}

TEST(CommandLine, SplitsOnBlanksAndHonoursQuotes)
{
    EXPECT_EQ(split("ls -l /tmp"), (Args{"ls", "-l", "/tmp"}));
    EXPECT_EQ(split("  a \t b\n c  "), (Args{"a", "b", "c"}));
    EXPECT_EQ(split(""), Args{});
    EXPECT_EQ(split("   "), Args{});
    EXPECT_EQ(split("echo 'a  b' \"c d\""), (Args{"echo", "a  b", "c d"}));
    EXPECT_EQ(split("x\"a\"'b'c"), (Args{"xabc"}));
    EXPECT_EQ(split("'' \"\" x"), (Args{"", "", "x"}));
    EXPECT_EQ(split("a\\ b c"), (Args{"a b", "c"}));
}

TEST(CommandLine, EscapesInsideAndOutsideQuotes)
{
    // Single quotes take everything literally, backslashes included.
    EXPECT_EQ(split("'a\\b\"c'"), (Args{"a\\b\"c"}));
    // Inside double quotes only \" \\ \$ \` are escapes; other backslashes stay.
    EXPECT_EQ(split("\"a\\\"b\\\\c\\$d\\`e\\nf\""), (Args{"a\"b\\c$d`e\\nf"}));
    EXPECT_EQ(split("\"it's\""), (Args{"it's"}));
    // Outside quotes a backslash takes the next character; backslash-newline joins lines.
    EXPECT_EQ(split("\\'x\\\" y"), (Args{"'x\"", "y"}));
    EXPECT_EQ(split("ab\\\ncd"), (Args{"abcd"}));
    // No expansion of any kind: what a shell would interpret stays text.
    EXPECT_EQ(split("echo $HOME *.txt a|b >out ~"),
              (Args{"echo", "$HOME", "*.txt", "a|b", ">out", "~"}));

    // Unterminated quotes and a trailing lone backslash are refused.
    std::vector<std::string> arguments;
    EXPECT_FALSE(splitCommandLine("echo 'open", arguments));
    EXPECT_FALSE(splitCommandLine("echo \"open", arguments));
    EXPECT_FALSE(splitCommandLine("echo \"open\\\"", arguments));
    EXPECT_FALSE(splitCommandLine("echo \\", arguments));
}

TEST(SystemCall, RunsTheProgramWithoutAShellAndWaits)
{
    OrlixTest::TempDir dir;
    const std::string file = dir.file("out file.txt");
    // The quotes reach sh as one argument each; sh itself writes the file.
    const std::string command =
        "sh -c 'printf \"%s|%s\" \"$0\" \"$1\" > \"$2\"' 'a b' \"c'd\" '" + file + "'";
    ASSERT_EQ(systemCall(command.c_str()), 0);
    // systemCall waited for the child: the file is complete now.
    EXPECT_EQ(OrlixTest::readFile(file), "a b|c'd");
    // The exit status is not reported.
    EXPECT_EQ(systemCall("false"), 0);
    EXPECT_EQ(systemCall("sh -c 'exit 7'"), 0);
}

TEST(SystemCall, LimitIs259Characters)
{
    OrlixTest::TempDir dir;
    OrlixTest::PrintCapture capture;
    const std::string prefix = "touch " + dir.path() + "/";
    std::string ok = prefix + std::string(259 - prefix.size(), 'a');
    ASSERT_EQ(ok.size(), 259u);
    EXPECT_EQ(systemCall(ok.c_str()), 0);
    EXPECT_TRUE(std::ifstream(ok.substr(6)).good()) << "the 259-character command ran";

    std::string tooLong = prefix + std::string(260 - prefix.size(), 'b');
    ASSERT_EQ(tooLong.size(), 260u);
    EXPECT_EQ(systemCall(tooLong.c_str()), -1);
    EXPECT_FALSE(std::ifstream(tooLong.substr(6)).good()) << "nothing may be started";
    EXPECT_TRUE(capture.contains("systemCall's input parameter is too long, command : " + tooLong +
                                 ", line: "));
}

TEST(SystemCall, ProgramThatCannotStartFailsWithWarning)
{
    OrlixTest::PrintCapture capture;
    EXPECT_EQ(systemCall("orlix-no-such-program-here --flag"), -1);
    EXPECT_TRUE(capture.contains(
        "systemCall CreateProcessA cmd : orlix-no-such-program-here --flag failed, line :  "));
    capture.clear();
    EXPECT_EQ(systemCall(""), -1);
    EXPECT_EQ(systemCall("echo 'unterminated"), -1);
    EXPECT_EQ(systemCall(nullptr), -1);
    EXPECT_TRUE(capture.contains("systemCall CreateProcessA cmd : (null) failed"));
}

TEST(ThreadIdentity, SleepZeroReturnsAndIdsAreStable)
{
    CThread::sleep(0);
    const int id = CThread::getCurrentThreadID();
    EXPECT_EQ(id, CThread::getCurrentThreadID());
    EXPECT_GT(id, 0);
    EXPECT_GT(Orlix::Infra::getCurrectProcessID(), 0u);
}

TEST(ThreadLoadDeathTest, PercentOutsideOneToHundredAsserts)
{
    CThread::load(1);
    CThread::load(100);
    EXPECT_DEATH(CThread::load(0), "assertion \\(percent >= 1 && percent <= 100\\) failed");
    EXPECT_DEATH(CThread::load(101), "assertion \\(percent >= 1 && percent <= 100\\) failed");
}
