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

TEST(PrintLevels, DefaultLevelIsWarn)
{
    PrintCapture capture;
    EXPECT_EQ(logInfo("hidden\n"), 0);
    EXPECT_EQ(logTrace("hidden\n"), 0);
    EXPECT_EQ(logDebug("hidden\n"), 0);
    EXPECT_TRUE(capture.text().empty());
    EXPECT_GT(logWarn("a\n"), 0);
    EXPECT_TRUE(capture.contains("a\n"));
}

TEST(PrintLevels, LevelZeroSilencesEverything)
{
    PrintCapture capture;
    setPrintLogLevel(0);
    EXPECT_EQ(logFatal("x\n"), 0);
    EXPECT_EQ(logError("x\n"), 0);
    setPrintLogLevel(100);
    EXPECT_EQ(logLibName(7, "m", "x\n"), 0);
    EXPECT_EQ(logLibName(0, "m", "x\n"), 0);
    EXPECT_EQ(logLibName(-1, "m", "x\n"), 0);
    EXPECT_TRUE(capture.text().empty());
    EXPECT_GT(logDebug("shown\n"), 0);
}

TEST(PrintPrefix, DefaultPrefixOfEachLevelFunction)
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
}

TEST(PrintPrefix, LibNameUsesTableWordsAndModule)
{
    PrintCapture capture;
    setPrintLogLevel(4);
    logLibName(4, "net", "up\n");
    EXPECT_EQ(capture.text().substr(9), "[net] [ver:] info  tid:" + tid() + " up\n");
    capture.clear();
    logLibName(3, "net", "careful\n");
    EXPECT_EQ(capture.text().substr(9), "[net] [ver:] warn  tid:" + tid() + " careful\n");
}

TEST(PrintPrefix, NullModuleShowsEmpty)
{
    PrintCapture capture;
    setPrintLogLevel(4);
    const int n = logLibName(4, nullptr, "up\n");
    EXPECT_EQ(capture.text().substr(9), "[] [ver:] info  tid:" + tid() + " up\n");
    EXPECT_EQ(n, static_cast<int>(capture.text().size()));
}

TEST(PrintPrefix, EachOptionHidesItsElement)
{
    PrintCapture capture;
    PrintOptions o;
    o.hideTime = true;
    o.hideColor = true;
    setPrintOptions(o);
    logWarn("x\n");
    EXPECT_EQ(capture.text(), "[] [ver:] warn   tid:" + tid() + " x\n");

    o.hideModule = o.hideVersion = true;
    setPrintOptions(o);
    capture.clear();
    logWarn("x\n");
    EXPECT_EQ(capture.text(), "warn   tid:" + tid() + " x\n");

    o.hideLevel = o.hideFunction = true;
    setPrintOptions(o);
    capture.clear();
    logWarn("x\n");
    EXPECT_EQ(capture.text(), "tid:" + tid() + " x\n");

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
    const std::vector<std::string> pieces = capture.pieces();
    ASSERT_EQ(pieces.size(), 3u);
    EXPECT_EQ(pieces[0], "[] [ver:] error  tid:" + tid() + " part");
    EXPECT_EQ(pieces[1], " end\n");
    EXPECT_EQ(pieces[2], "[] [ver:] error  tid:" + tid() + " next\n");
}

TEST(PrintLines, LongTextIsCutAndEndsTheLine)
{
    PrintCapture capture;
    setPrintOptions(allHidden());
    const std::string longText(10000, 'x');
    EXPECT_EQ(logWarn("%s", longText.c_str()), 8191);
    EXPECT_EQ(capture.text(), std::string(8191, 'x'));

    PrintOptions o = allHidden();
    o.hideLevel = false;
    setPrintOptions(o);
    capture.clear();
    logWarn("after\n"); // the cut line counts as ended: a new prefix follows
    EXPECT_EQ(capture.text(), "warn  after\n"); // the dedicated six-character word
}

TEST(PrintLines, UnformattableTextLeavesOnlyThePrefix)
{
    // A wide character with no multibyte form makes the formatting fail part-way; what was
    // formatted before the failure must not reach one output but not another.
    PrintCapture capture;
    PrintOptions o = allHidden();
    o.hideLevel = false;
    setPrintOptions(o);
    const wchar_t unpaired[] = {static_cast<wchar_t>(0xD800), 0};
    const int n = logWarn("abc %ls\n", unpaired);
    EXPECT_EQ(capture.text(), "warn  ");
    EXPECT_EQ(n, 6);
}

TEST(PrintLines, PrefixIsCutToo)
{
    PrintCapture capture;
    setPrintLogLevel(4);
    const std::string module(9000, 'm');
    const int n = logLibName(4, module.c_str(), "text\n");
    EXPECT_EQ(n, 8191);
    EXPECT_EQ(capture.text().size(), 8191u);
    EXPECT_EQ(capture.text().find("text"), std::string::npos);
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

TEST(PrintSinks, FreeFunctionSinkAndPrinterAreEqualByFunction)
{
    auto sinkFn = [](const char*) { return true; };
    EXPECT_TRUE(attachPrint(TFunction1<bool, const char*>(+sinkFn)));
    EXPECT_FALSE(attachPrint(TFunction1<bool, const char*>(+sinkFn)));
    EXPECT_TRUE(detachPrint(TFunction1<bool, const char*>(+sinkFn)));
}

TEST(DumpHex, RowsLayoutAndBlankLine)
{
    PrintCapture capture;
    setPrintLogLevel(5);
    setPrintOptions(allHidden());
    unsigned char data[34];
    for (int i = 0; i < 34; ++i)
        data[i] = static_cast<unsigned char>(i < 16 ? 'a' + i : i * 7);
    dumpHex(data, 32);
    const std::vector<std::string> rows = capture.pieces();
    ASSERT_EQ(rows.size(), 2u);
    char address[32];
    std::snprintf(address, sizeof address, "%p: ", static_cast<void*>(data));
    EXPECT_EQ(rows[0],
              std::string(address) +
                  "61 62 63 64 65 66 67 68 69 6a 6b 6c 6d 6e 6f 70   abcdefghijklmnop\n\n");
    std::snprintf(address, sizeof address, "%p: ", static_cast<void*>(data + 16));
    std::string expected = address;
    std::string chars;
    for (int i = 16; i < 32; ++i) {
        char hex[4];
        std::snprintf(hex, sizeof hex, "%02x ", data[i]);
        expected += hex;
        chars += (data[i] >= 32 && data[i] <= 122) ? static_cast<char>(data[i]) : '.';
    }
    EXPECT_EQ(rows[1], expected + "  " + chars + "\n");
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

TEST(DumpHex, SilentBelowTraceLevel)
{
    PrintCapture capture;
    unsigned char data[4] = {1, 2, 3, 4};
    dumpHex(data, 4);
    EXPECT_TRUE(capture.text().empty());
}

TEST(PrintGlobal, LevelFunctionsAreReachableUnqualified)
{
    PrintCapture capture;
    setPrintOptions(allHidden());
    ::logWarn("global\n");
    EXPECT_EQ(capture.text(), "global\n");
}
