#include "text/date_text.h"

#include "support/local_zone.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <climits>
#include <clocale>
#include <cstdlib>
#include <limits>
#include <string>

TEST(DateText, NumberValueSkipsWhatIsNotADigit)
{
    EXPECT_EQ(numberValue(""), 0);
    EXPECT_EQ(numberValue("1,024 bytes"), 1024);
    EXPECT_EQ(numberValue("-12"), -12);
    EXPECT_EQ(numberValue("--12"), 12);
    EXPECT_EQ(numberValue("1-2"), -12);
    EXPECT_EQ(numberValue("4294967295"), -1); // wraps as the stored 32-bit numbers do
}

TEST(DateText, ReadsTheDateTextAtFixedPositionsAsStandardTime)
{
    test::useJapanTime();
    int32_t moment = 12345;
    EXPECT_TRUE(readDateText(test::ExportDate, moment));
    EXPECT_EQ(moment, test::ExportMoment);

    // Twenty characters or fewer: not read, the caller keeps what it had.
    moment = 12345;
    EXPECT_FALSE(readDateText("", moment));
    EXPECT_FALSE(readDateText("Tue Dec 08 03:32:10 ", moment));
    EXPECT_EQ(moment, 12345);
    EXPECT_TRUE(readDateText("Tue Dec 08 03:32:10 1", moment));

    // An unknown month counts as the month before January; non-digits count 0 in their place.
    EXPECT_TRUE(readDateText("Tue Xyz 08 03:32:10 2026", moment));
    EXPECT_EQ(moment, 1765164730 - 9 * 3600);
    EXPECT_TRUE(readDateText("Thu Jan 01 09:00:x0 1970", moment));
    EXPECT_EQ(moment, 0);
    EXPECT_TRUE(readDateText("Thu jan 01 09:00:00 1970", moment));
    EXPECT_NE(moment, 0); // month names are case-sensitive
    EXPECT_TRUE(readDateText("Thu Jan 01 09:00:00 99999", moment));
    EXPECT_EQ(moment, -1); // beyond a 32-bit time

    // Daylight saving is never applied.
    ::setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
    ::tzset();
    EXPECT_TRUE(readDateText("Wed Jul 01 12:00:00 2026", moment));
    EXPECT_EQ(moment, 1782903600);
    test::useJapanTime();
}

TEST(LastModifiedTime, ReadsTheDateAsLocalTime)
{
    const test::LocalZone utc("UTC0");
    struct Case
    {
        const char* value;
        int32_t time;
    };
    const Case cases[] = {
        { "Sun, 06 Nov 1994 08:49:37 GMT", 784111777 },
        // The weekday and the zone are not read.
        { "Xyz, 06 Nov 1994 08:49:37 PST", 784111777 },
        { "Sun, 06 Nov 1994 08:49:37", 784111777 },
        // Only the leading digits count; the month needs its first three bytes exactly.
        { "x 6th Decimal 1994AD 8h:49m:37s", 786703777 },
        { "Sun, 06 nov 1994 08:49:37 GMT", 757846177 },
        { "Sun, 06 No 1994 08:49:37 GMT", 757846177 },
        // Fewer than three parts in the time give midnight; more than three use the first three.
        { "Sun, 06 Nov 1994 08:49 GMT", 784080000 },
        { "Sun, 06 Nov 1994 08:49:37:99 GMT", 784111777 },
        // Values out of range carry over as the calendar conversion does.
        { "Sun, 31 Feb 1994 25:61:61 GMT", 762746521 },
        { "Sun, 00 Nov 1994 00:00:00 GMT", 783561600 },
        // Too few fields.
        { "Sun, 06 Nov 1994", -1 },
        { "", -1 },
        { "784111777", -1 },
        // Two blanks shift the fields: no day, month "06" (January), year "Nov" (0), which is out of range.
        { "Sun,  06 Nov 1994 08:49:37 GMT", -1 },
        // Moments that the 32-bit field cannot hold.
        { "Sun, 06 Nov 2040 08:49:37 GMT", -1 },
        { "Sun, 06 Nov 1800 08:49:37 GMT", -1 },
        { "Sun, 99999999999999999999999 Nov 1994 08:49:37 GMT", -1 },
        { "Sun, 06 Nov 1994 99999999999999999999:00:00 GMT", -1 },
    };
    for (const Case& c : cases)
        EXPECT_EQ(readLastModifiedTime(c.value), c.time) << c.value;
}

TEST(LastModifiedTime, FollowsTheLocalZone)
{
    const test::LocalZone tokyo("JST-9");
    EXPECT_EQ(readLastModifiedTime("Sun, 06 Nov 1994 08:49:37 GMT"), 784111777 - 9 * 3600);
}

TEST(ContentLengthValue, TakesDigitsAndSigns)
{
    struct Case
    {
        const char* value;
        int32_t number;
    };
    const Case cases[] = {
        { "1234", 1234 },
        { "", 0 },
        { "abc", 0 },
        { " 12 ", 12 },
        { "1 2,3", 123 },
        { "-12", -12 },
        { "--12", 12 },
        { "1-2", -12 },
        { "0x1F", 1 },
        { "2147483647", 2147483647 },
        { "2147483648", std::numeric_limits<int32_t>::max() },
        { "99999999999999999999999", std::numeric_limits<int32_t>::max() },
        { "-2147483648", std::numeric_limits<int32_t>::min() },
        { "-99999999999999999999999", std::numeric_limits<int32_t>::min() },
    };
    for (const Case& c : cases)
        EXPECT_EQ(readContentLengthValue(c.value), c.number) << c.value;
}

TEST(CheckTimeText, WritesEnglishNamesAndTwoDigitFields)
{
    std::tm time {};
    time.tm_wday = 2;
    time.tm_mon = 11;
    time.tm_mday = 8;
    time.tm_hour = 3;
    time.tm_min = 34;
    time.tm_sec = 9;
    time.tm_year = 126;
    EXPECT_EQ(formatCheckTime(time), "Tue Dec 08 03:34:09 2026");

    const test::LocalZone utc("UTC0");
    EXPECT_EQ(formatCheckTime(std::time_t(0)), "Thu Jan 01 00:00:00 1970");
    EXPECT_EQ(formatCheckTime(std::time_t(1796700879)), "Tue Dec 08 03:34:39 2026");

    // Seven days in a row from Sunday 2026-03-01, and the first of each month of 2026.
    const char* days[] = { "Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat" };
    for (int i = 0; i < 7; ++i)
        EXPECT_EQ(formatCheckTime(std::time_t(1772323200 + i * 86400)).substr(0, 3), days[i]);
    const char* months[] = { "Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec" };
    for (int m = 0; m < 12; ++m) {
        std::tm first {};
        first.tm_year = 126;
        first.tm_mon = m;
        first.tm_mday = 1;
        first.tm_hour = 12;
        EXPECT_EQ(formatCheckTime(timegm(&first)).substr(4, 6), std::string(months[m]) + " 01");
    }

    const test::LocalZone tokyo("JST-9");
    EXPECT_EQ(formatCheckTime(std::time_t(0)), "Thu Jan 01 09:00:00 1970");
}

TEST(CheckTimeText, IsTheSameUnderAnotherLocale)
{
    // A German locale built for this test alone: its day and month names differ from the English ones.
    const test::TempDir dir;
    const std::string command = "localedef -i de_DE -f UTF-8 '" + dir.file("de_DE.UTF-8") + "' >/dev/null 2>&1";
    if (std::system(command.c_str()) != 0)
        GTEST_SKIP() << "localedef cannot build de_DE here";
    ::setenv("LOCPATH", dir.path().c_str(), 1);
    const std::string previous = std::setlocale(LC_ALL, nullptr);
    if (!std::setlocale(LC_ALL, "de_DE.UTF-8")) {
        ::unsetenv("LOCPATH");
        GTEST_SKIP() << "the de_DE locale does not load";
    }

    const test::LocalZone utc("UTC0");
    const std::time_t moment = 1796700879;
    std::tm local {};
    gmtime_r(&moment, &local);
    char localeText[64] = {};
    std::strftime(localeText, sizeof localeText, "%a %b", &local);
    const std::string text = formatCheckTime(moment);

    std::setlocale(LC_ALL, previous.c_str());
    ::unsetenv("LOCPATH");
    EXPECT_EQ(std::string(localeText), "Di Dez"); // the locale really was in force
    EXPECT_EQ(text, "Tue Dec 08 03:34:39 2026");
}
