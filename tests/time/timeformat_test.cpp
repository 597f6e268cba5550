// CTime text: the process-wide format and its settings, format() with masks and pictures,
// the lenient parse() and its messages, and format -> parse round trips.
#include "infra/print.h"
#include "infra/time.h"

#include "support/testsupport.h"
#include "time/timetest.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>

using Orlix::uint64;
using Orlix::Infra::CTime;
using OrlixTest::show;

namespace {

const CTime kSample(2016, 3, 7, 9, 5, 2);

std::string formatted(const CTime& t, const char* picture, int mask)
{
    char buf[256];
    t.format(buf, picture, mask);
    return buf;
}

std::string at(int hour, const char* picture, int mask)
{
    return formatted(CTime(2016, 3, 7, hour, 0, 0), picture, mask);
}

} // namespace

TEST(TimeFormatSettings, DerivedFromTheStoredFormat)
{
    // "<format> <separator> <date order> <12-hour>" after storing format (null: as it is).
    const auto settingsAfter = [](const char* format) {
        if (format != nullptr)
            CTime::setFormatString(format);
        const int order = CTime::getDateFormat();
        return std::string(CTime::getFormat().c_str()) + " " + CTime::getSeparator() + " " +
               (order == CTime::ymd   ? "ymd"
                : order == CTime::mdy ? "mdy"
                                      : "dmy") +
               " " + (CTime::get12Hour() ? "12h" : "24h");
    };
    EXPECT_EQ(settingsAfter(nullptr), "yyyy-MM-dd HH:mm:ss - ymd 24h");
    EXPECT_EQ(settingsAfter("dd.MM.yyyy HH:mm"), "dd.MM.yyyy HH:mm . dmy 24h");
    CTime::setFormat(Orlix::Infra::flex_string("MM/dd/yyyy hh:mm:ss tt"));
    EXPECT_EQ(settingsAfter(nullptr), "MM/dd/yyyy hh:mm:ss tt / mdy 12h");
    // '.' wins wherever it stands; a missing year counts as standing last.
    EXPECT_EQ(settingsAfter("yyyy/MM/dd HH.mm"), "yyyy/MM/dd HH.mm . ymd 24h");
    EXPECT_EQ(settingsAfter("MM-dd"), "MM-dd - mdy 24h");
}

TEST(TimeFormatDeathTest, AssertionCases)
{
    EXPECT_DEATH(CTime::setFormatString("HH:mm"), "assertion \\(0\\) failed");
    EXPECT_DEATH(CTime::setFormatString(nullptr), "assertion \\(0\\) failed");
    EXPECT_DEATH(CTime::setFormatString("yyyy-HH"), "assertion \\(0\\) failed");
    EXPECT_DEATH(CTime::setFormatString("MM-yyyy-dd"), "assertion \\(0\\) failed");
    EXPECT_DEATH(kSample.format(nullptr, "yyyy", 0), "assertion \\(buf\\) failed");
    char buf[64];
    EXPECT_DEATH(kSample.format(buf, "HH:mm", CTime::pictureOrder), "assertion \\(0\\) failed");
    EXPECT_DEATH(kSample.format(nullptr, 8, "yyyy", 0), "assertion \\(buf\\) failed");
    EXPECT_DEATH(kSample.format(buf, sizeof(buf), "HH:mm", CTime::pictureOrder),
                 "assertion \\(0\\) failed");
}

TEST(TimeFormat, PicturesAndMasks)
{
    EXPECT_EQ(formatted(kSample, "yyyy-MM-dd HH:mm:ss", 0), "2016-03-07 09:05:02");
    EXPECT_EQ(formatted(kSample, nullptr, 0), "2016-03-07 09:05:02"); // the stored format
    EXPECT_EQ(formatted(kSample, "yy/M/d h:mm tt", 7), "16/3/7 9:05 AM");
    // The stored order and separator apply to the picture's date runs unless masked.
    EXPECT_EQ(formatted(kSample, "dd.MM.yyyy", 0), "2016-03-07");
    EXPECT_EQ(formatted(kSample, "dd.MM.yyyy", CTime::keepSeparator), "2016.03.07");
    EXPECT_EQ(formatted(kSample, "dd.MM.yyyy", CTime::pictureOrder), "07-03-2016");
    // Digits: more than two 'y' give four; one 'M'/'d'/'H' gives one below 10.
    EXPECT_EQ(formatted(kSample, "y-M-d", 0), "16-3-7");
    EXPECT_EQ(formatted(kSample, "yyy-M-d H:m:s", 0), "2016-3-7 9:5:2");
    EXPECT_EQ(formatted(CTime(2016, 11, 17, 13, 0, 0), "y-M-d H", 0), "16-11-17 13");
    EXPECT_EQ(formatted(kSample, "[yyyy] @ Hh", 0), "[2016] @ 09"); // 'H'/'h' mix: one run
    // Date runs take the elements the picture names, in order; a fourth run prints nothing.
    EXPECT_EQ(formatted(kSample, "d", 0), "7");
    EXPECT_EQ(formatted(kSample, "MM-dd", 0), "03-07");
    EXPECT_EQ(formatted(kSample, "yyyy-MM-dd d", 0), "2016-03-07 ");
}

TEST(TimeFormat, TwelveHourClock)
{
    const int twelve = CTime::picture12Hour;
    EXPECT_EQ(at(0, "hh tt", twelve), "12 AM");
    EXPECT_EQ(at(12, "hh tt", twelve), "12 PM");
    EXPECT_EQ(at(13, "h t", twelve), "1 PM");
    EXPECT_EQ(at(23, "h t", twelve), "11 PM");
    // In 24-hour mode a 't' prints nothing and removes the spaces before it.
    EXPECT_EQ(at(0, "HH t", 0), "00");
    EXPECT_EQ(at(0, "HH   tt!", 0), "00!");
    // The letter does not choose the mode; without mask bit 4 the stored mode does.
    EXPECT_EQ(at(15, "hh", 0), "15");
    CTime::setFormatString("MM/dd/yyyy hh:mm:ss tt");
    EXPECT_EQ(at(15, "HH tt", 0), "03 PM");
    EXPECT_EQ(formatted(kSample, nullptr, 0), "03/07/2016 09:05:02 AM");
}

// The form with a size writes the text of the form without one, cut to size - 1 characters
// and terminated, for every size, and never touches a byte past size.
TEST(TimeFormat, WithASizeCutsAndTerminatesNeverWritingPast)
{
    CTime wide = kSample; // fields out of range print every digit: the longest texts
    wide.year = -2147483647 - 1;
    wide.month = 1234567890;
    wide.hour = -7;
    const struct
    {
        const CTime* time;
        const char* picture;
        int mask;
    } cases[] = {{&kSample, "yyyy-MM-dd HH:mm:ss", 0},
                 {&kSample, "yy/M/d h:mm tt", 7},
                 {&kSample, nullptr, 0},
                 {&kSample, "HH   tt!", 0}, // spaces removed by the 't' past any cut
                 {&kSample, "yyyy-MM-dd   t", 0},
                 {&kSample, "", 0},
                 {&wide, "yyyy.MM.dd hh:mm:ss tt [yyyy]", 7}};
    for (const auto& c : cases) {
        const std::string whole = formatted(*c.time, c.picture, c.mask);
        for (std::size_t size = 0; size <= whole.size() + 2; ++size) {
            char buf[96];
            std::memset(buf, '#', sizeof(buf));
            const std::size_t length = c.time->format(buf, size, c.picture, c.mask);
            const std::string context = std::string(c.picture != nullptr ? c.picture : "(null)") +
                                        " size " + std::to_string(size);
            EXPECT_EQ(length, whole.size()) << context;
            if (size > 0) {
                EXPECT_EQ(std::string(buf), whole.substr(0, size - 1)) << context;
            }
            const std::size_t used = size == 0 ? 0 : std::min(size, whole.size() + 1);
            EXPECT_EQ(std::string(buf + used, sizeof(buf) - used),
                      std::string(sizeof(buf) - used, '#'))
                << context;
        }
    }
    EXPECT_EQ(kSample.format(nullptr, 0, "yyyy-MM-dd"), 10u) << "size 0 only measures";
}

TEST(TimeParse, ReadsSixNumbersInThePicturesDateOrder)
{
    CTime t;
    EXPECT_TRUE(t.parse("2016-3-7 9:5:2", "yyyy-MM-dd HH:mm:ss", 0));
    EXPECT_EQ(show(t), "2016-03-07 09:05:02");
    EXPECT_EQ(t.wday, 1);
    EXPECT_TRUE(t.parse("3/7/2016 9h05m02s", "MM/dd/yyyy HH:mm:ss", 0));
    EXPECT_EQ(show(t), "2016-03-07 09:05:02");
    // A leading non-digit reads as a first number 0.
    EXPECT_TRUE(t.parse("x2016-3-7 9:5:2", "yyyy-MM-dd HH:mm:ss", 0));
    EXPECT_EQ(show(t), "1970-12-03 07:09:05");
    // The result is clamped; a number too large for an int saturates first.
    EXPECT_TRUE(t.parse("2016-02-30 25:00:00", "yyyy-MM-dd HH:mm:ss", 0));
    EXPECT_EQ(show(t), "2016-02-28 23:59:59");
    EXPECT_TRUE(t.parse("99999999999999999999-1-1 0:0:0", "yyyy-MM-dd HH:mm:ss", 0));
    EXPECT_EQ(t.year, 2038);
    // Without a usable order the date fields keep their values.
    CTime kept(2001, 2, 3, 0, 0, 0);
    EXPECT_TRUE(kept.parse("1 2 3 4 5 6", "HH:mm:ss", 0));
    EXPECT_EQ(show(kept), "2001-02-03 04:05:06");
    // A null picture reads with the stored format.
    CTime::setFormatString("dd.MM.yyyy HH:mm:ss");
    EXPECT_TRUE(t.parse("07.03.2016 09:05:02"));
    EXPECT_EQ(show(t), "2016-03-07 09:05:02");

    const char* twelve = "MM/dd/yyyy hh:mm:ss tt";
    EXPECT_TRUE(t.parse("03/07/2016 12:30:00 AM", twelve, 0));
    EXPECT_EQ(show(t), "2016-03-07 00:30:00");
    EXPECT_TRUE(t.parse("03/07/2016 12:30:00 PM", twelve, 0));
    EXPECT_EQ(show(t), "2016-03-07 12:30:00");
    EXPECT_TRUE(t.parse("03/07/2016 01:30:00 PM", twelve, 0));
    EXPECT_EQ(show(t), "2016-03-07 13:30:00");
}

TEST(TimeParse, FailuresReportAndZeroTheFieldsOnly)
{
    OrlixTest::PrintCapture capture;
    const char* notEnough = "CTime parser input information is not enough.\n";
    const char* cases[][3] = {
        {"07/03/2016 09:05", "dd/MM/yyyy HH:mm", notEnough},
        {"", "yyyy-MM-dd HH:mm:ss", notEnough},
        {nullptr, "yyyy-MM-dd HH:mm:ss", notEnough},
        {"16/3/7 9:05 AM", "yy/M/d h:mm tt", notEnough}, // incomplete pictures do not read back
        {"03/07/2016 13:00:00 PM", "MM/dd/yyyy hh:mm:ss tt",
         "CTime parser input hour format is not accord with real value format.\n"},
        {"03/07/2016 10:00:00", "MM/dd/yyyy hh:mm:ss tt", "12 hours time point is unclear.\n"},
    };
    for (const auto& c : cases) {
        capture.clear();
        CTime t = kSample;
        t.reserved = 77;
        EXPECT_FALSE(t.parse(c[0], c[1], 0)) << c[1];
        EXPECT_EQ(show(t), "0000-00-00 00:00:00");
        EXPECT_EQ(t.wday, 1);
        EXPECT_EQ(t.reserved, 77);
        const std::string printed = capture.text();
        EXPECT_NE(printed.find(c[2]), std::string::npos) << printed;
        EXPECT_NE(printed.find("error "), std::string::npos) << printed;
        EXPECT_NE(printed.find("timeformat.cpp:"), std::string::npos) << printed;
    }
}

TEST(TimeParse, RoundTripsEveryCompletePicture)
{
    CTime::disableTimezone();
    // The pictures above that carry all six fields, and a few more spellings.
    const char* pictures[] = {
        "yyyy-MM-dd HH:mm:ss", "MM/dd/yyyy hh:mm:ss tt", "dd.MM.yyyy HH:mm:ss", "yyy-M-d H:m:s",
        "d/M/yyyy h:m:s t",    "yyyy-MM-dd, HH'mm'ss",   "yyyy/MM/dd HH.mm.ss"};
    std::mt19937_64 random(3);
    std::uniform_int_distribution<uint64> pick(0, 2177452799);
    for (const char* picture : pictures) {
        for (int i = 0; i < 500; ++i) {
            const CTime t(pick(random));
            CTime back;
            const std::string text = formatted(t, picture, 7);
            ASSERT_TRUE(back.parse(text.c_str(), picture, 0)) << picture << " " << text;
            ASSERT_EQ(show(back), show(t)) << picture << " " << text;
        }
        // With mask 0 the stored settings decide, so a picture round-trips once stored.
        CTime::setFormatString(picture);
        for (int i = 0; i < 200; ++i) {
            const CTime t(pick(random));
            CTime back;
            const std::string text = formatted(t, nullptr, 0);
            ASSERT_TRUE(back.parse(text.c_str())) << picture << " " << text;
            ASSERT_EQ(show(back), show(t)) << picture << " " << text;
        }
    }
}
