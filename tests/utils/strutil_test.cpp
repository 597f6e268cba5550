// Bounded copies, appends and formatting; the exported platform routines; IPv4 text.
#include "infra/error.h"
#include "infra/strutil.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>

namespace {

using namespace Orlix::Utils;

TEST(StrUtil, StrncpyCutsAndAlwaysTerminates)
{
    char buf[12];
    std::memset(buf, 'X', sizeof(buf));
    EXPECT_EQ(7u, Orlix::Utils::strncpy(buf, 8, "abcdefghij", 100));
    EXPECT_EQ(std::string("abcdefg\0X", 9), std::string(buf, 9));
    EXPECT_EQ(3u, Orlix::Utils::strncpy(buf, 8, "abcdefghij", 3));
    EXPECT_STREQ("abc", buf);
    EXPECT_EQ(2u, Orlix::Utils::strncpy(buf, 8, "ab", 100));
    EXPECT_STREQ("ab", buf);
    EXPECT_EQ(0u, Orlix::Utils::strncpy(buf, 1, "ab", 100));
    EXPECT_STREQ("", buf);
    buf[0] = 'X';
    EXPECT_EQ(0u, Orlix::Utils::strncpy(buf, 0, "ab", 100)); // nothing written
    EXPECT_EQ('X', buf[0]);
}

TEST(StrUtil, StrncatReturnsTheBoundAndTerminatesTheBuffer)
{
    char buf[12];
    std::memset(buf, 'X', sizeof(buf));
    std::strcpy(buf, "abcde");
    EXPECT_EQ(2u, Orlix::Utils::strncat(buf, 8, "xyz", 10));
    EXPECT_EQ(std::string("abcdexy\0X", 9), std::string(buf, 9));
    std::strcpy(buf, "ab");
    EXPECT_EQ(5u, Orlix::Utils::strncat(buf, 8, "x", 10)); // the bound, not what was appended
    EXPECT_STREQ("abx", buf);
    EXPECT_EQ(0u, Orlix::Utils::strncat(buf, 4, "yz", 10)); // already full
    EXPECT_STREQ("abx", buf);
    EXPECT_EQ(1u, Orlix::Utils::strncat(buf, 8, "yz", 1));
    EXPECT_STREQ("abxy", buf);
    // A buffer without a terminator in its first dstSize bytes is cut at its last byte.
    std::memset(buf, 'X', sizeof(buf));
    EXPECT_EQ(0u, Orlix::Utils::strncat(buf, 6, "yz", 10));
    EXPECT_EQ(std::string("XXXXX"), buf);
}

TEST(StrUtil, SnprintfXReturnsWhatIsInTheBuffer)
{
    char buf[16];
    std::memset(buf, 'X', sizeof(buf));
    EXPECT_EQ(7, snprintf_x(buf, 8, "%s-%d", "abcdefgh", 123)); // 12 characters wanted
    EXPECT_EQ(std::string("abcdefg\0X", 9), std::string(buf, 9));
    EXPECT_EQ(7, snprintf_x(buf, 8, "%d", 1234567)); // exactly fits
    EXPECT_STREQ("1234567", buf);
    EXPECT_EQ(7, snprintf_x(buf, 8, "%d", 12345678)); // one too many
    EXPECT_STREQ("1234567", buf);
    EXPECT_EQ(0, snprintf_x(buf, 0, "%d", 1));
    EXPECT_EQ(0, snprintf_x(buf, 8, "%s", ""));

    // The exported routines: the platform's snprintf (which returns the length wanted) and
    // a case-blind comparison.
    EXPECT_EQ(10, Orlix::Utils::snprintf(buf, 8, "%d", 1234567890));
    EXPECT_STREQ("1234567", buf);
    EXPECT_EQ(0, Orlix::Utils::stricmp("Hello", "hELLO"));
    EXPECT_LT(Orlix::Utils::stricmp("apple", "BANANA"), 0);
    EXPECT_GT(Orlix::Utils::stricmp("b", "A"), 0);
}

// A null source or format is taken as the empty text and reported as EINVAL.
TEST(StrUtil, NullSourcesAndFormatsActAsEmptyAndSetTheLastError)
{
    using Orlix::Infra::getLastError;
    using Orlix::Infra::setLastError;
    char buf[8];
    std::memset(buf, 'X', sizeof(buf));
    setLastError(0);
    EXPECT_EQ(0u, Orlix::Utils::strncpy(buf, 8, nullptr, 5));
    EXPECT_STREQ("", buf);
    EXPECT_EQ(EINVAL, getLastError());

    std::strcpy(buf, "ab");
    setLastError(0);
    EXPECT_EQ(5u, Orlix::Utils::strncat(buf, 8, nullptr, 10)); // the bound, as for ""
    EXPECT_STREQ("ab", buf);
    EXPECT_EQ(EINVAL, getLastError());

    setLastError(0);
    const char* noFormat = nullptr;
    EXPECT_EQ(0, snprintf_x(buf, 8, noFormat, 1));
    EXPECT_STREQ("", buf);
    EXPECT_EQ(EINVAL, getLastError());
}

TEST(StrUtil, IpAddressText)
{
    IpAddress ip = stringToIp("192.168.1.2");
    EXPECT_EQ(0xC0A80102u, ip.value);
    char buf[16];
    EXPECT_EQ(buf, ipToString(ip, buf, sizeof(buf)));
    EXPECT_STREQ("192.168.1.2", buf);

    EXPECT_EQ(0x0A010000u, stringToIp("10.1").value);             // missing octets are 0
    EXPECT_EQ(0x2CFF0001u, stringToIp("300.-1.256.257").value);   // low 8 bits of each number
    EXPECT_EQ(0x01020304u, stringToIp(" 1. 2. 3. 4 junk").value); // %d skips blanks
    EXPECT_EQ(0x01000000u, stringToIp("1 .2.3.4").value);         // the dot must follow the number
    EXPECT_EQ(0u, stringToIp("host.example").value);
    EXPECT_EQ(0u, stringToIp("").value);
    EXPECT_EQ(0u, stringToIp(nullptr).value);

    ip.value = 0xFFFFFFFF;
    EXPECT_STREQ("255.255.255.255", ipToString(ip, buf, sizeof(buf)));
    EXPECT_STREQ("255.255", ipToString(ip, buf, 8)); // cut to fit, terminated
}

} // namespace
