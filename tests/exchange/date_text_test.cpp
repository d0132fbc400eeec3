#include "exchange/date_text.h"

#include "exchange_fixture.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>

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
