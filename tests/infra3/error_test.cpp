// Last error, message table and the assertion back end.
#include "infra/error.h"
#include "infra/print.h"
#include "support/testsupport.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <string>
#include <thread>

using namespace Orlix::Infra;

TEST(LastError, IsPerThreadAndStartsAtZero)
{
    EXPECT_EQ(getLastError(), 0);
    setLastError(0x1000000E);
    int seenByOther = -1;
    std::thread([&] {
        seenByOther = getLastError();
        setLastError(42);
    }).join();
    EXPECT_EQ(seenByOther, 0);
    EXPECT_EQ(getLastError(), 0x1000000E); // the other thread's code did not leak here
    EXPECT_EQ(getLastError(), 0x1000000E); // reading does not clear
}

TEST(ErrorMessages, StoreReplaceAndMiss)
{
    EXPECT_STREQ(getErrMsg(7), "");
    EXPECT_EQ(getErrorMessage(7), flex_string());
    setErrMsg(5, nullptr);
    EXPECT_STREQ(getErrMsg(5), "");
    setErrMsg(9, "first");
    setErrMsg(9, "second");
    EXPECT_STREQ(getErrMsg(9), "second");
    setErrorMessage(-3, flex_string("negative codes work too"));
    EXPECT_EQ(getErrorMessage(-3), flex_string("negative codes work too"));
    EXPECT_STREQ(getErrMsg(-3), "negative codes work too");
}

// A run of decimal digits in a death test's pattern. GoogleTest matches with POSIX extended
// expressions where the system has them and with its own simple ones elsewhere (Windows),
// which know "\\d" but no brackets; POSIX extended expressions have no "\\d".
#if GTEST_USES_SIMPLE_RE
#define ORLIX_RE_DIGITS "\\d+"
#else
#define ORLIX_RE_DIGITS "[0-9]+"
#endif

TEST(AssertionDeathTest, WritesTheFailureLineThenPerror)
{
    // The exact failure line, then perror's "<expr>: <strerror>" line, then abort.
    EXPECT_DEATH(
        {
            errno = 0;
            Detail::assertionFailed("x > 0", "void f(int)", "a.cpp", 12);
        },
        "^\\*\\*\\*\\*\\* Internal Program Error - assertion \\(x > 0\\) failed in void "
        "f\\(int\\): a\\.cpp\\(12\\)\nx > 0: Success\n");
    EXPECT_DEATH(Detail::assertionFailedMsg("false", "unreachable!", "void g()", "b.cpp", 3),
                 "assertion \\(false\\) failed in void g\\(\\): b\\.cpp\\(3\\): unreachable!\n");
}

TEST(AssertionDeathTest, MacroReportsConditionTextFunctionAndLocationOnlyWhenFalse)
{
    const int value = 0;
    EXPECT_DEATH(ORLIX_ASSERT(value > 0), "assertion \\(value > 0\\) failed in "
                                          ".*TestBody.*error_test\\.cpp\\(" ORLIX_RE_DIGITS "\\)");
    int evaluations = 0;
    ORLIX_ASSERT(++evaluations == 1);
    EXPECT_EQ(evaluations, 1); // evaluated exactly once
}

TEST(AssertionDeathTest, CustomAbortLineIsShownAtInfoLevel)
{
    // Printed lines normally go to standard output; route them to standard error, which the
    // death test inspects.
    setLogPrinter(
        TFunction1<void, const char*>([](const char* text) { std::fputs(text, stderr); }));
    setPrintLogLevel(4);
    EXPECT_DEATH(Detail::assertionFailed("c", "f", "x.cpp", 1),
                 "x.cpp\\(1\\)\n.*\n.*info   tid:" ORLIX_RE_DIGITS
                 " custom_abort, line : " ORLIX_RE_DIGITS "\n");
}

TEST(AssertionDeathTest, LinesPrintedBeforeTheFailureReachTheFile)
{
    // Standard output redirected to a file is fully buffered; abort() does not flush it, so
    // the lines printed just before a failure - the ones that explain it - must be flushed
    // on the way out.
    OrlixTest::TempDir dir;
    const std::string path = dir.file("stdout.txt");
    EXPECT_DEATH(
        {
            if (std::freopen(path.c_str(), "w", stdout) == nullptr)
                return;
            logWarn("last words\n");
            Detail::assertionFailed("c", "f", "x.cpp", 1);
        },
        "assertion \\(c\\) failed");
    // The line as written: standard output is a text stream, whose line ends are CR LF on
    // Windows.
    EXPECT_NE(OrlixTest::readFile(path).find("last words"), std::string::npos);
}
