// The print core, observed through what its sinks receive.
#include "infra/print.h"
#include "infra/thread.h"
#include "support/testsupport.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

using namespace Orlix::Infra;
using OrlixTest::PrintCapture;

namespace {

PrintOptions allHidden()
{
    PrintOptions o;
    o.hideTime = o.hideColor = o.hideModule = o.hideLevel = o.hideThreadId = true;
    o.hideVersion = o.hideFunction = o.hideFile = o.hideLine = true;
    return o;
}

// Every prefix element hidden but the level word.
PrintOptions onlyLevel()
{
    PrintOptions o = allHidden();
    o.hideLevel = false;
    return o;
}

std::string tid()
{
    return std::to_string(CThread::getCurrentThreadID());
}

struct Sink
{
    std::vector<std::string> texts;
    bool take(const char* text)
    {
        texts.emplace_back(text);
        return false; // results are ignored
    }
};

} // namespace

TEST(PrintLevels, DefaultIsWarnAndZeroSilencesEverything)
{
    PrintCapture capture;
    EXPECT_EQ(logInfo("hidden\n") + logTrace("hidden\n") + logDebug("hidden\n"), 0);
    EXPECT_TRUE(capture.text().empty());
    EXPECT_GT(logWarn("a\n"), 0);
    EXPECT_EQ(capture.text().substr(capture.text().size() - 2), "a\n");

    capture.clear();
    setPrintLogLevel(0);
    EXPECT_EQ(logFatal("x\n") + logError("x\n"), 0);
    setPrintLogLevel(100);
    EXPECT_EQ(logLibName(7, "m", "x\n") + logLibName(0, "m", "x\n") + logLibName(-1, "m", "x\n"),
              0);
    EXPECT_TRUE(capture.text().empty());
    EXPECT_GT(logDebug("shown\n"), 0);
}

TEST(PrintPrefix, DefaultPrefixOfEachLevelFunctionAndOfLibName)
{
    PrintCapture capture;
    setPrintLogLevel(6);
    const std::regex time("^[0-2][0-9]:[0-5][0-9]:[0-6][0-9]\\|");
    struct Case
    {
        int (*fn)(const char*, ...);
        const char* word;
    };
    const Case cases[] = {{&logFatal, "fatal "}, {&logError, "error "}, {&logWarn, "warn  "},
                          {&logInfo, "info  "},  {&logTrace, "trace "}, {&logDebug, "debug "}};
    for (const Case& c : cases) {
        capture.clear();
        const int n = c.fn("ready %d\n", 7);
        const std::string text = capture.text();
        ASSERT_TRUE(std::regex_search(text, time)) << text;
        // The empty function text still contributes its separating space.
        EXPECT_EQ(text.substr(9),
                  std::string("[] [ver:] ") + c.word + " tid:" + tid() + " ready 7\n");
        EXPECT_EQ(n, static_cast<int>(text.size()));
    }

    // logLibName takes the level word from the table and shows the module; null shows empty.
    const auto libLine = [&](int level, const char* module) {
        capture.clear();
        const int n = logLibName(level, module, "up\n");
        EXPECT_EQ(n, static_cast<int>(capture.text().size()));
        return capture.text().substr(9);
    };
    EXPECT_EQ(libLine(4, "net"), "[net] [ver:] info  tid:" + tid() + " up\n");
    EXPECT_EQ(libLine(3, "net"), "[net] [ver:] warn  tid:" + tid() + " up\n");
    EXPECT_EQ(libLine(4, nullptr), "[] [ver:] info  tid:" + tid() + " up\n");
}

TEST(PrintPrefix, EachOptionHidesItsElement)
{
    PrintCapture capture;
    PrintOptions o;
    o.hideTime = o.hideColor = true;
    const auto line = [&] {
        setPrintOptions(o);
        capture.clear();
        ::logWarn("x\n"); // the level functions are reachable unqualified too
        return capture.text();
    };
    EXPECT_EQ(line(), "[] [ver:] warn   tid:" + tid() + " x\n");
    o.hideModule = o.hideVersion = true;
    EXPECT_EQ(line(), "warn   tid:" + tid() + " x\n");
    o.hideLevel = o.hideFunction = true;
    EXPECT_EQ(line(), "tid:" + tid() + " x\n");

    setPrintOptions(allHidden());
    capture.clear();
    EXPECT_EQ(logWarn("exactly %s\n", "this"), 13);
    EXPECT_EQ(capture.text(), "exactly this\n");
}

TEST(PrintLines, OpenLineContinuesWithoutPrefix)
{
    PrintCapture capture;
    PrintOptions o;
    o.hideTime = true;
    setPrintOptions(o);
    logError("part");
    logWarn(" end\n"); // another level continues the open line
    logError("next\n");
    const std::string prefix = "[] [ver:] error  tid:" + tid() + " ";
    EXPECT_EQ(capture.pieces(),
              (std::vector<std::string>{prefix + "part", " end\n", prefix + "next\n"}));
}

TEST(PrintLines, LongTextAndLongPrefixAreCutAt8191AndEndTheLine)
{
    PrintCapture capture;
    setPrintOptions(allHidden());
    const std::string longText(10000, 'x');
    EXPECT_EQ(logWarn("%s", longText.c_str()), 8191);
    EXPECT_EQ(capture.text(), std::string(8191, 'x'));

    setPrintOptions(onlyLevel());
    capture.clear();
    logWarn("after\n"); // the cut line counts as ended: a new prefix follows
    EXPECT_EQ(capture.text(), "warn  after\n"); // the dedicated six-character word

    PrintOptions withModule = onlyLevel();
    withModule.hideModule = false;
    setPrintOptions(withModule);
    setPrintLogLevel(4);
    capture.clear();
    const std::string module(9000, 'm');
    EXPECT_EQ(logLibName(4, module.c_str(), "text\n"), 8191);
    EXPECT_EQ(capture.text(), "[" + module.substr(0, 8190));
}

TEST(PrintLines, UnformattableTextLeavesOnlyThePrefix)
{
    // A wide character with no multibyte form makes the formatting fail part-way; what was
    // formatted before the failure must not reach one output but not another.
    PrintCapture capture;
    setPrintOptions(onlyLevel());
    const wchar_t unpaired[] = {static_cast<wchar_t>(0xD800), 0};
    EXPECT_EQ(logWarn("abc %ls\n", unpaired), 6);
    EXPECT_EQ(capture.text(), "warn  ");
}

TEST(PrintSinks, AttachDetachAndOrder)
{
    Sink first, second;
    TFunction1<bool, const char*> a(&Sink::take, &first);
    TFunction1<bool, const char*> b(&Sink::take, &second);
    EXPECT_TRUE(attachPrint(a));
    EXPECT_FALSE(attachPrint(a));
    EXPECT_TRUE(attachPrint(b));
    setPrintOptions(allHidden());
    testing::internal::CaptureStdout();
    logWarn("one\n");
    EXPECT_TRUE(detachPrint(a));
    EXPECT_FALSE(detachPrint(a));
    logWarn("two\n");
    EXPECT_TRUE(detachPrint(b));
    logWarn("three\n");
    // Without a printer the text also reaches standard output.
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "one\ntwo\nthree\n");
    EXPECT_EQ(first.texts, (std::vector<std::string>{"one\n"}));
    EXPECT_EQ(second.texts, (std::vector<std::string>{"one\n", "two\n"}));

    // Free-function sinks are the same sink when they name the same function.
    auto sinkFn = [](const char*) { return true; };
    EXPECT_TRUE(attachPrint(TFunction1<bool, const char*>(+sinkFn)));
    EXPECT_FALSE(attachPrint(TFunction1<bool, const char*>(+sinkFn)));
    EXPECT_TRUE(detachPrint(TFunction1<bool, const char*>(+sinkFn)));
}

// A lambda with captures is a sink and a printer as it stands; a sink lambda is one sink per
// binding, detached through a copy of the delegate that was attached.
TEST(PrintSinks, LambdasAreSinksAndPrinters)
{
    std::vector<std::string> seen, printed;
    const TFunction1<bool, const char*> sink = [&seen](const char* text) {
        seen.emplace_back(text);
        return true;
    };
    EXPECT_TRUE(attachPrint(sink));
    EXPECT_FALSE(attachPrint(sink)); // a copy is the same sink
    auto other = [&seen](const char* text) { return !seen.empty() && text != nullptr; };
    const TFunction1<bool, const char*> otherSink = other;
    EXPECT_TRUE(attachPrint(otherSink));
    EXPECT_EQ(setLogPrinter([&printed](const char* text) { printed.emplace_back(text); }), 0);
    setPrintOptions(allHidden());
    logWarn("lambda\n");
    setLogPrinter(TFunction1<void, const char*>());
    EXPECT_TRUE(detachPrint(sink));
    EXPECT_FALSE(detachPrint(sink));
    // The lambda converted again is another binding: only the attached delegate detaches.
    EXPECT_FALSE(detachPrint(other));
    EXPECT_TRUE(detachPrint(otherSink));
    logWarn("after\n");
    EXPECT_EQ(seen, (std::vector<std::string>{"lambda\n"}));
    EXPECT_EQ(printed, (std::vector<std::string>{"lambda\n"}));
}

TEST(PrintSinks, PrinterReplacesConsoleAndEmptyRestoresIt)
{
    setPrintOptions(allHidden());
    testing::internal::CaptureStdout();
    setLogPrinter(TFunction1<void, const char*>(
        [](const char* text) { std::fputs(text, stderr); })); // not stdout
    logWarn("to printer\n");
    setLogPrinter(TFunction1<void, const char*>());
    logWarn("to console\n");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "to console\n");
}

TEST(DumpHex, RowsLayoutAndBlankLine)
{
    PrintCapture capture;
    setPrintOptions(allHidden());
    unsigned char data[34];
    for (int i = 0; i < 34; ++i)
        data[i] = static_cast<unsigned char>(i < 16 ? 'a' + i : i * 7);
    dumpHex(data, 32);
    EXPECT_TRUE(capture.text().empty()) << "silent below trace level";
    setPrintLogLevel(5);
    dumpHex(data, 32);
    char first[32], second[32];
    std::snprintf(first, sizeof first, "%p: ", static_cast<void*>(data));
    std::snprintf(second, sizeof second, "%p: ", static_cast<void*>(data + 16));
    // Only the characters 32..122 are shown: 126 ('~') and above are dots.
    EXPECT_EQ(capture.pieces(),
              (std::vector<std::string>{
                  first + std::string("61 62 63 64 65 66 67 68 69 6a 6b 6c 6d 6e 6f 70 "
                                      "  abcdefghijklmnop\n\n"),
                  second + std::string("70 77 7e 85 8c 93 9a a1 a8 af b6 bd c4 cb d2 d9 "
                                       "  pw..............\n")}));
}

TEST(DumpHex, ShortLastRowReadsOnlyLen)
{
    PrintCapture capture;
    setPrintLogLevel(5);
    setPrintOptions(allHidden());
    // Under ASan, a read past the 3-byte heap block would be reported.
    auto* data = new unsigned char[3]{'{', 'A', 0};
    dumpHex(data, 3);
    delete[] data;
    const std::string text = capture.text();
    EXPECT_NE(text.find(": 7b 41 00 "), std::string::npos) << text;
    EXPECT_NE(text.find("  .A.\n\n"), std::string::npos) << text; // '{' (123) is not shown
}
