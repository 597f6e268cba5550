// Version records: reading revision and date texts, the printed line, the application date.
#include "support/testsupport.h"

#include "infra/print.h"
#include "infra/time.h"
#include "infra/version.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

namespace {

using namespace Orlix::Infra;
using OrlixTest::PrintCapture;

CVersion withSvn(const char* svn)
{
    return CVersion("m", 0, 0, 0, svn, "Jan 1 2000");
}
CVersion withDate(const char* date)
{
    return CVersion("m", 0, 0, 0, "0", date);
}

std::string printed(const CVersion& version)
{
    PrintCapture capture;
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
    EXPECT_EQ(version.major, 3);
    EXPECT_EQ(version.minor, 2);
    EXPECT_EQ(version.revision, 1);
    EXPECT_EQ(version.svn, 123);
    EXPECT_EQ(version.date.year, 2016);
    EXPECT_EQ(version.date.month, 11);
    EXPECT_EQ(version.date.day, 28);
    EXPECT_EQ(version.date.wday, 0);
    EXPECT_EQ(version.date.hour, 0);
    EXPECT_EQ(version.date.minute, 0);
    EXPECT_EQ(version.date.second, 0);
    EXPECT_EQ(version.date.reserved, 0);

    // Printed at info level: nothing at the default level 3.
    EXPECT_EQ(printed(version), "");
    setPrintLogLevel(4);
    EXPECT_EQ(printed(version), "[*] net 3.2.1.123 Built in 2016/11/28 [*]\n");
    EXPECT_EQ(printed(withDate("Mar  5 2016")), "[*] m 0.0.0.0 Built in 2016/ 3/ 5 [*]\n");
}

TEST(CVersion, NameKeepsAtMost31Characters)
{
    const std::string forty(40, 'n');
    EXPECT_EQ(std::string(CVersion(forty.c_str(), 0, 0, 0, "", "").name), forty.substr(0, 31));
    const std::string exact(31, 'e');
    EXPECT_EQ(std::string(CVersion(exact.c_str(), 0, 0, 0, "", "").name), exact);
    EXPECT_STREQ(CVersion(nullptr, 0, 0, 0, "", "").name, "");
}

TEST(CVersion, RevisionTexts)
{
    EXPECT_EQ(withSvn("123").svn, 123);
    EXPECT_EQ(withSvn("12abc").svn, 12);
    EXPECT_EQ(withSvn("abc").svn, 0);
    EXPECT_EQ(withSvn("$Revision: 4711 $").svn, 4711);
    EXPECT_EQ(withSvn("$Rev:-3").svn, -3);
    EXPECT_EQ(withSvn("r99").svn, 99);
    EXPECT_EQ(withSvn("$Revision$").svn, 0);
    EXPECT_EQ(withSvn(" 12").svn, 0); // the skipped run must come first
    EXPECT_EQ(withSvn("-12").svn, 0); // neither a digit nor a skipped character
    EXPECT_EQ(withSvn("r_1").svn, 0); // '_' ends the run and is no number
    EXPECT_EQ(withSvn("").svn, 0);
    EXPECT_EQ(withSvn(nullptr).svn, 0);
    EXPECT_EQ(withSvn("99999999999").svn, INT_MAX);
}

TEST(CVersion, DateTexts)
{
    const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                  "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    for (int i = 0; i < 12; ++i) {
        const CVersion version = withDate((std::string(months[i]) + " 9 1999").c_str());
        EXPECT_EQ(version.date.month, i + 1) << months[i];
        EXPECT_EQ(version.date.day, 9);
        EXPECT_EQ(version.date.year, 1999);
    }

    const CVersion lower = withDate("nov 28 2016"); // month names are case-sensitive
    EXPECT_EQ(lower.date.month, 13);
    EXPECT_EQ(lower.date.day, 28);
    EXPECT_EQ(lower.date.year, 2016);

    const CVersion monthOnly = withDate("Nov");
    EXPECT_EQ(monthOnly.date.month, 11);
    EXPECT_EQ(monthOnly.date.day, 0);
    EXPECT_EQ(monthOnly.date.year, 0);

    const CVersion dayOnly = withDate("Dec 24");
    EXPECT_EQ(dayOnly.date.day, 24);
    EXPECT_EQ(dayOnly.date.year, 0);

    const CVersion garbage = withDate("Ju");
    EXPECT_EQ(garbage.date.month, 13);
    EXPECT_EQ(garbage.date.day, 0);

    const CVersion noDate = withDate(nullptr);
    EXPECT_EQ(noDate.date.month, 0);
    EXPECT_EQ(noDate.date.year, 0);
}

TEST(CVersion, AppDate)
{
    const SystemTime min = CTime::minTime;
    EXPECT_EQ(CVersion::appDate.year, min.year);
    EXPECT_EQ(CVersion::appDate.month, min.month);
    EXPECT_EQ(CVersion::appDate.day, min.day);
    EXPECT_EQ(CVersion::appDate.wday, min.wday);
    EXPECT_EQ(CVersion::appDate.hour, min.hour);
    EXPECT_EQ(CVersion::appDate.minute, min.minute);
    EXPECT_EQ(CVersion::appDate.second, min.second);

    CVersion::appDate.hour = 5;
    CVersion::setAppDate("Feb 29 2024");
    EXPECT_EQ(CVersion::appDate.year, 2024);
    EXPECT_EQ(CVersion::appDate.month, 2);
    EXPECT_EQ(CVersion::appDate.day, 29);
    EXPECT_EQ(CVersion::appDate.hour, 5); // the other fields keep their values

    // An unknown month gives 13; numbers that cannot be read leave day and year alone.
    CVersion::setAppDate("Someday");
    EXPECT_EQ(CVersion::appDate.month, 13);
    EXPECT_EQ(CVersion::appDate.day, 29);
    EXPECT_EQ(CVersion::appDate.year, 2024);
    CVersion::setAppDate(nullptr);
    EXPECT_EQ(CVersion::appDate.month, 13);
}

} // namespace
