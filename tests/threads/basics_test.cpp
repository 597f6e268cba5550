// What needs no second thread: the priority table, stack sizes, splitting command lines,
// systemCall and the load() precondition.
#include "infra/print.h"
#include "infra/thread.h"
#include "infra3/commandline.h"
#include "infra3/thread_internal.h"
#include "platform/threads.h"
#include "support/testsupport.h"

#include <gtest/gtest.h>

#ifdef __linux__
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <algorithm>
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
    return priority <= 126 ? -2 : -15;
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
    // Whole pages of the system's size, and at least the C library's minimum (16 KiB on
    // x86-64, 128 KiB on aarch64): 100000 becomes 102400 on x86-64, 131072 on aarch64.
    // Windows reserves a stack in whole units of its allocation granularity, 64 KiB.
#ifdef __linux__
    const int page = static_cast<int>(sysconf(_SC_PAGESIZE));
#elif defined(_WIN32)
    const int page = 65536;
#else
    const int page = 4096;
#endif
    const int minimum = effectiveStackSize(1);
    EXPECT_GE(minimum, 16384);
    EXPECT_EQ(minimum % page, 0);
    EXPECT_EQ(effectiveStackSize(minimum), minimum);
    EXPECT_EQ(effectiveStackSize(minimum + 1), minimum + page);
    EXPECT_EQ(effectiveStackSize(100000), std::max(minimum, (100000 + page - 1) / page * page));
}

TEST(CommandLine, SplitsOnBlanksHonoursQuotesAndExpandsNothing)
{
    const std::pair<const char*, Args> cases[] = {
        {"ls -l /tmp", {"ls", "-l", "/tmp"}},
        {"  a \t b\n c  ", {"a", "b", "c"}},
        {"   ", {}},
        {"echo 'a  b' \"c d\"", {"echo", "a  b", "c d"}},
        {"x\"a\"'b'c", {"xabc"}},
        {"'' \"\" x", {"", "", "x"}},
        // Single quotes take everything literally, backslashes included.
        {"'a\\b\"c'", {"a\\b\"c"}},
        // Inside double quotes only \" \\ \$ \` are escapes; other backslashes stay.
        {"\"a\\\"b\\\\c\\$d\\`e\\nf\"", {"a\"b\\c$d`e\\nf"}},
        {"\"it's\"", {"it's"}},
        // Outside quotes a backslash takes the next character; backslash-newline joins lines.
        {"a\\ b \\'x\\\" y", {"a b", "'x\"", "y"}},
        {"ab\\\ncd", {"abcd"}},
        // What a shell would interpret stays text.
        {"echo $HOME *.txt a|b >out ~", {"echo", "$HOME", "*.txt", "a|b", ">out", "~"}},
    };
    for (const auto& c : cases) {
        Args arguments;
        EXPECT_TRUE(splitCommandLine(c.first, arguments)) << c.first;
        EXPECT_EQ(arguments, c.second) << c.first;
    }
    // Unterminated quotes and a trailing lone backslash are refused.
    for (const char* line : {"echo 'open", "echo \"open", "echo \"open\\\"", "echo \\"}) {
        Args arguments;
        EXPECT_FALSE(splitCommandLine(line, arguments)) << line;
    }
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
    EXPECT_EQ(systemCall("sh -c 'exit 7'"), 0);
}

// True when the C library's posix_spawnp reports a program that cannot be executed, as it
// does on Linux. Under qemu-user the spawn's vfork runs as a fork, the child's exec error
// never reaches the parent, and the child just exits with 127.
bool spawnReportsExecFailure()
{
#ifdef __linux__
    pid_t pid = 0;
    char name[] = "orlix-no-such-program-here";
    char* argv[] = {name, nullptr};
    char* envp[] = {nullptr};
    if (posix_spawnp(&pid, name, nullptr, nullptr, argv, envp) != 0)
        return true;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
    }
    return false;
#else
    return true;
#endif
}

TEST(SystemCall, RefusalsAndTheLimitOf259Characters)
{
    OrlixTest::TempDir dir;
    OrlixTest::PrintCapture capture;
    const std::string prefix = "touch " + dir.path() + "/";
    const std::string ok = prefix + std::string(259 - prefix.size(), 'a');
    EXPECT_EQ(systemCall(ok.c_str()), 0);
    EXPECT_TRUE(std::ifstream(ok.substr(6)).good()) << "the 259-character command ran";
    const std::string tooLong = prefix + std::string(260 - prefix.size(), 'b');
    EXPECT_EQ(systemCall(tooLong.c_str()), -1);
    EXPECT_FALSE(std::ifstream(tooLong.substr(6)).good()) << "nothing may be started";
    EXPECT_TRUE(capture.contains("systemCall's input parameter is too long, command : " + tooLong +
                                 ", line: "));

    EXPECT_EQ(systemCall(""), -1);
    EXPECT_EQ(systemCall("echo 'unterminated"), -1);
    EXPECT_EQ(systemCall(nullptr), -1);
    EXPECT_TRUE(capture.contains("systemCall CreateProcessA cmd : (null) failed"));

    if (!spawnReportsExecFailure())
        GTEST_SKIP() << "posix_spawn does not report a failed exec under this emulator "
                        "(qemu-user runs its vfork as a fork); the other refusals passed";
    EXPECT_EQ(systemCall("orlix-no-such-program-here --flag"), -1);
    EXPECT_TRUE(capture.contains(
        "systemCall CreateProcessA cmd : orlix-no-such-program-here --flag failed, line :  "));
}

TEST(ThreadLoadDeathTest, PercentOutsideOneToHundredAsserts)
{
    CThread::load(1);
    CThread::load(100);
    EXPECT_DEATH(CThread::load(0), "assertion \\(percent >= 1 && percent <= 100\\) failed");
    EXPECT_DEATH(CThread::load(101), "assertion \\(percent >= 1 && percent <= 100\\) failed");
}
