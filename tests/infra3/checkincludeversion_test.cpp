// The include-version check: agreement between registered records and its messages.
#include "support/testsupport.h"

#include "infra3/checkincludeversion.h"
#include "infra/print.h"

#include <gtest/gtest.h>

#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace {

using namespace Orlix::Infra;
using Detail::IncludeVersionEntry;
using Detail::registerIncludeVersion;
using OrlixTest::PrintCapture;

const char* const kInfraHeaders = "URL: orlix/Include/Trunk/Infra";
const char* const kMemoryHeaders = "URL: orlix/Include/Trunk/Memory";
const char* const kOwnHeaders = "URL: elsewhere/Include/Trunk/Mine";

// Captures printed lines with every prefix element hidden, and strips the diagnostic prefix
// "[file:line] this:0x... tid:N, " after checking its form, so the lines read as messages.
class IncludeVersionTest : public testing::Test
{
protected:
    void SetUp() override
    {
        PrintOptions bare;
        bare.hideTime = bare.hideColor = bare.hideModule = bare.hideLevel = true;
        bare.hideThreadId = bare.hideVersion = bare.hideFunction = true;
        setPrintOptions(bare);
    }

    std::vector<std::string> messages()
    {
        static const std::regex kPrefix(
            R"(\[src/infra3/checkincludeversion\.cpp:\d+\] this:0x[0-9a-f]+ tid:\d+, (.*))");
        std::vector<std::string> result;
        std::istringstream lines(m_capture.text());
        std::string line;
        while (std::getline(lines, line)) {
            std::smatch m;
            result.push_back(std::regex_match(line, m, kPrefix) ? m[1].str() : "plain: " + line);
        }
        m_capture.clear();
        return result;
    }

    PrintCapture m_capture;
};

using Lines = std::vector<std::string>;

TEST_F(IncludeVersionTest, RecordIsListedAtInfoLevel)
{
    setPrintLogLevel(4);
    const IncludeVersionEntry entries[] = {{kOwnHeaders, "42"}, {kMemoryHeaders, "277527"}};
    EXPECT_TRUE(registerIncludeVersion("app", entries, 2));
    EXPECT_EQ(m_capture.text(), "check include version:app\n"
                                "URL: elsewhere/Include/Trunk/Mine 42\n"
                                "URL: orlix/Include/Trunk/Memory 277527\n");
}

TEST_F(IncludeVersionTest, AgreeingOrUnrelatedRecordsPassADifferentRevisionFails)
{
    // The library registered its own record "Infra" when it was loaded.
    const IncludeVersionEntry same[] = {{kInfraHeaders, "279799"}, {kMemoryHeaders, "277527"}};
    EXPECT_TRUE(registerIncludeVersion("app", same, 2));
    const IncludeVersionEntry unrelated[] = {{kOwnHeaders, "1"}};
    EXPECT_TRUE(registerIncludeVersion("plugin", unrelated, 1));
    EXPECT_TRUE(registerIncludeVersion("empty", nullptr, 0));
    EXPECT_EQ(messages(), Lines());

    const IncludeVersionEntry entries[] = {{kOwnHeaders, "5"}, {kInfraHeaders, "279800"}};
    EXPECT_FALSE(registerIncludeVersion("other", entries, 2));
    EXPECT_EQ(messages(), (Lines{
                              "check include version failed",
                              "Infra URL: orlix/Include/Trunk/Infra 279799",
                              "other URL: orlix/Include/Trunk/Infra 279800",
                              "check include version failed, assert",
                          }));
}

TEST_F(IncludeVersionTest, ListsTheFirstDisagreeingRecordEarlierEntriesFirst)
{
    const IncludeVersionEntry first[] = {{"URL: a", "100"}, {"URL: b", "200"}};
    ASSERT_TRUE(registerIncludeVersion("one", first, 2));
    const IncludeVersionEntry second[] = {{"URL: b", "201"}, {"URL: c", "1"}, {"URL: a", "101"}};
    EXPECT_FALSE(registerIncludeVersion("two", second, 3));
    EXPECT_EQ(messages(), (Lines{
                              "check include version failed",
                              "one URL: a 100",
                              "two URL: a 101",
                              "one URL: b 200",
                              "two URL: b 201",
                              "check include version failed, assert",
                          }));
    // "two" was registered all the same; the next check stops at "one".
    const IncludeVersionEntry third[] = {{"URL: a", "102"}};
    EXPECT_FALSE(registerIncludeVersion("three", third, 1));
    EXPECT_EQ(messages(), (Lines{
                              "check include version failed",
                              "one URL: a 100",
                              "three URL: a 102",
                              "check include version failed, assert",
                          }));
}

TEST_F(IncludeVersionTest, InvalidRevisionIsReportedAndStillRegistered)
{
    const IncludeVersionEntry entries[] = {
        {"URL: p", "12a"}, {"URL: q", "7"}, {"URL: r", ""}, {"URL: s", nullptr}};
    EXPECT_FALSE(registerIncludeVersion("bad", entries, 4));
    EXPECT_EQ(messages(), (Lines{
                              "bad version error",
                              "URL: p 12a",
                              "URL: r ",
                              "URL: s ",
                              "check include version failed, assert",
                          }));

    // The record stays registered: a later record is compared with it.
    const IncludeVersionEntry later[] = {{"URL: p", "12"}};
    EXPECT_FALSE(registerIncludeVersion("later", later, 1));
    EXPECT_EQ(messages()[1], "bad URL: p 12a");
}

} // namespace
