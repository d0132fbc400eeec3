#include "check/http_response.h"

#include "check/local_zone.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <limits>
#include <string>
#include <vector>

namespace {

template <char Separator>
std::vector<std::string> fieldsOf(std::string_view text)
{
    const basic_text_line<Separator> line(text);
    std::vector<std::string> out;
    for (size_t i = 0; i < line.size(); ++i)
        out.emplace_back(line[i]);
    return out;
}

using Fields = std::vector<std::string>;

} // namespace

TEST(TextLine, SplitsAtEverySeparator)
{
    EXPECT_EQ(fieldsOf<32>("Sun, 06 Nov 1994 08:49:37 GMT"), (Fields { "Sun,", "06", "Nov", "1994", "08:49:37", "GMT" }));
    EXPECT_EQ(fieldsOf<32>("a  b"), (Fields { "a", "", "b" }));
    EXPECT_EQ(fieldsOf<32>(" a "), (Fields { "", "a", "" }));
    EXPECT_EQ(fieldsOf<32>("one"), (Fields { "one" }));
    EXPECT_EQ(fieldsOf<32>(""), Fields {});
    EXPECT_EQ(fieldsOf<58>("08:49:37"), (Fields { "08", "49", "37" }));
    EXPECT_EQ(fieldsOf<58>(":"), (Fields { "", "" }));
    EXPECT_EQ(fieldsOf<58>("a b:c"), (Fields { "a b", "c" }));
}

TEST(HttpResponse, ParsesTheStatusLine)
{
    const THTTPResponse plain("HTTP/1.0 200 OK\r\n\r\n");
    EXPECT_EQ(plain.statusLine(), "HTTP/1.0 200 OK");
    EXPECT_EQ(plain.version(), "HTTP/1.0");
    EXPECT_EQ(plain.statusCode(), "200");
    EXPECT_EQ(plain.reason(), "OK");

    const THTTPResponse spaced("  HTTP/1.1 \t 404   Not  Found \n");
    EXPECT_EQ(spaced.statusLine(), "  HTTP/1.1 \t 404   Not  Found ");
    EXPECT_EQ(spaced.version(), "HTTP/1.1");
    EXPECT_EQ(spaced.statusCode(), "404");
    EXPECT_EQ(spaced.reason(), "Not  Found ");

    const THTTPResponse bare("HTTP/1.0");
    EXPECT_EQ(bare.statusLine(), "HTTP/1.0");
    EXPECT_EQ(bare.statusCode(), "");
    EXPECT_EQ(bare.reason(), "");

    const THTTPResponse empty("");
    EXPECT_EQ(empty.statusLine(), "");
    EXPECT_EQ(empty.statusCode(), "");
    EXPECT_TRUE(empty.headers().empty());
    EXPECT_EQ(empty.value("Last-Modified:"), "");
}

TEST(HttpResponse, LooksUpHeaderLinesByName)
{
    const THTTPResponse response("HTTP/1.0 200 OK\r\n"
                                 "last-MODIFIED: Sun, 06 Nov 1994 08:49:37 GMT\r\n"
                                 "Last-Modified: second line loses\r\n"
                                 "Content-Length:  12 \r\n"
                                 "Server:Vantrel\r\n"
                                 "X-Long long value\r\n"
                                 " Folded: line\r\n"
                                 "\r\n");
    EXPECT_EQ(response.value("Last-Modified:"), "Sun, 06 Nov 1994 08:49:37 GMT");
    EXPECT_EQ(response.value("content-length:"), " 12 ");
    // The name keeps its colon and ends at the first blank.
    EXPECT_EQ(response.value("Last-Modified"), "");
    EXPECT_EQ(response.value("Server:"), "");
    EXPECT_EQ(response.value("Server:Vantrel"), "");
    EXPECT_EQ(response.value("X-Long"), "long value");
    EXPECT_EQ(response.value("Folded:"), "");
    EXPECT_EQ(response.value("Date:"), "");
    // Lines with an empty name (the blank line, the folded line) are not in the table.
    ASSERT_EQ(response.headers().size(), 5u);
    EXPECT_EQ(response.headers()[0].name, "last-MODIFIED:");
    EXPECT_EQ(response.headers()[3].name, "Server:Vantrel");
    EXPECT_EQ(response.headers()[3].value, "");
}

TEST(HttpResponse, BreaksLinesAtLfCrAndCrLf)
{
    EXPECT_EQ(splitHeaderLines("a\r\nb\nc\rd"), (std::vector<std::string_view> { "a", "b", "c", "d" }));
    EXPECT_EQ(splitHeaderLines("a\n\rb"), (std::vector<std::string_view> { "a", "", "b" }));
    EXPECT_EQ(splitHeaderLines("a\r\n\r\n"), (std::vector<std::string_view> { "a", "" }));
    EXPECT_EQ(splitHeaderLines(""), std::vector<std::string_view> {});

    const THTTPResponse mixed("HTTP/1.0 200 OK\rA: 1\nB: 2\r\nC: 3");
    EXPECT_EQ(mixed.statusLine(), "HTTP/1.0 200 OK");
    EXPECT_EQ(mixed.value("A:"), "1");
    EXPECT_EQ(mixed.value("B:"), "2");
    EXPECT_EQ(mixed.value("C:"), "3");
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
