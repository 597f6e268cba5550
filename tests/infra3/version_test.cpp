// Version records: reading revision and date texts, the printed line, the application date.
#include "support/testsupport.h"

#include "infra/print.h"
#include "infra/time.h"
#include "infra/version.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

namespace {

using namespace Orlix::Infra;

// Every date field, "year-month-day wday hh:mm:ss reserved", so that a stray value shows.
template <class Date>
std::string fields(const Date& d)
{
    return std::to_string(d.year) + "-" + std::to_string(d.month) + "-" + std::to_string(d.day) +
           " " + std::to_string(d.wday) + " " + std::to_string(d.hour) + ":" +
           std::to_string(d.minute) + ":" + std::to_string(d.second);
}

std::string dateOf(const char* date)
{
    return fields(CVersion("m", 0, 0, 0, "0", date).date);
}

std::string printed(const CVersion& version)
{
    OrlixTest::PrintCapture capture;
    PrintOptions bare;
    bare.hideTime = bare.hideColor = bare.hideModule = bare.hideLevel = true;
    bare.hideThreadId = bare.hideVersion = bare.hideFunction = true;
    setPrintOptions(bare);
    version.print();
    return capture.text();
}

TEST(CVersion, FieldsAndPrintedLine)
{
    const CVersion version("net", 3, 2, 1, "123", "Nov 28 2016");
    EXPECT_STREQ(version.name, "net");
    EXPECT_EQ((std::vector<int>{version.major, version.minor, version.revision, version.svn}),
              (std::vector<int>{3, 2, 1, 123}));
    EXPECT_EQ(fields(version.date), "2016-11-28 0 0:0:0");
    EXPECT_EQ(version.date.reserved, 0);

    // Printed at info level: nothing at the default level 3.
    EXPECT_EQ(printed(version), "");
    setPrintLogLevel(4);
    EXPECT_EQ(printed(version), "[*] net 3.2.1.123 Built in 2016/11/28 [*]\n");
    EXPECT_EQ(printed(CVersion("m", 0, 0, 0, "0", "Mar  5 2016")),
              "[*] m 0.0.0.0 Built in 2016/ 3/ 5 [*]\n");

    // The name keeps at most 31 characters; null is empty.
    const std::string forty(40, 'n');
    EXPECT_EQ(std::string(CVersion(forty.c_str(), 0, 0, 0, "", "").name), forty.substr(0, 31));
    EXPECT_STREQ(CVersion(nullptr, 0, 0, 0, "", "").name, "");
}

TEST(CVersion, RevisionTexts)
{
    const auto svn = [](const char* text) { return CVersion("m", 0, 0, 0, text, "").svn; };
    EXPECT_EQ(svn("123"), 123);
    EXPECT_EQ(svn("12abc"), 12);
    EXPECT_EQ(svn("abc"), 0);
    EXPECT_EQ(svn("$Revision: 4711 $"), 4711);
    EXPECT_EQ(svn("$Rev:-3"), -3);
    EXPECT_EQ(svn("r99"), 99);
    EXPECT_EQ(svn("$Revision$"), 0);
    EXPECT_EQ(svn(" 12"), 0); // the skipped run must come first
    EXPECT_EQ(svn("-12"), 0); // neither a digit nor a skipped character
    EXPECT_EQ(svn("r_1"), 0); // '_' ends the run and is no number
    EXPECT_EQ(svn(""), 0);
    EXPECT_EQ(svn(nullptr), 0);
    EXPECT_EQ(svn("99999999999"), INT_MAX);
}

TEST(CVersion, DateTexts)
{
    const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                  "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    for (int i = 0; i < 12; ++i)
        EXPECT_EQ(dateOf((std::string(months[i]) + " 9 1999").c_str()),
                  "1999-" + std::to_string(i + 1) + "-9 0 0:0:0");
    EXPECT_EQ(dateOf("nov 28 2016"), "2016-13-28 0 0:0:0"); // month names are case-sensitive
    EXPECT_EQ(dateOf("Nov"), "0-11-0 0 0:0:0");
    EXPECT_EQ(dateOf("Dec 24"), "0-12-24 0 0:0:0");
    EXPECT_EQ(dateOf("Ju"), "0-13-0 0 0:0:0");
    EXPECT_EQ(dateOf(nullptr), "0-0-0 0 0:0:0");
}

TEST(CVersion, AppDate)
{
    EXPECT_EQ(fields(CVersion::appDate), fields(CTime::minTime));
    CVersion::appDate.hour = 5;
    CVersion::setAppDate("Feb 29 2024");
    EXPECT_EQ(fields(CVersion::appDate), "2024-2-29 6 5:0:0"); // the other fields are kept
    // An unknown month gives 13; numbers that cannot be read leave day and year alone.
    CVersion::setAppDate("Someday");
    EXPECT_EQ(fields(CVersion::appDate), "2024-13-29 6 5:0:0");
    CVersion::setAppDate(nullptr);
    EXPECT_EQ(CVersion::appDate.month, 13);
}

} // namespace
