#include "check/http_response.h"

#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <limits>
#include <string>
#include <vector>

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
