#include "store/config.h"
#include "store/item_extension.h"
#include "store/store_file.h"

#include "support/child_process.h"
#include "support/http_server.h"
#include "support/temp_dir.h"
#include "support/test_config.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const std::string Program = VANTREL_BINARY_DIR "/vantrel";
const std::vector<std::string> NoDisplay = { "DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM" };

std::string page(const std::string& paragraphs)
{
    return "HTTP/1.0 200 OK\r\nContent-Type: text/html; charset=utf-8\r\n\r\n<html><body>" + paragraphs
        + "<script>n=Math.random()</script></body></html>";
}

bool contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

} // namespace

// Three versions kept by real checks, then what the headless commands make of them.
TEST(HistoryCommands, ChecksKeepVersionsThatTheCommandsListAndDiff)
{
    if (!test::fileExists(Program))
        GTEST_SKIP() << "the program is built only with the user interface";
    test::TempDir dir;
    test::HttpServer server({ test::Reply::bytes(page("<p>one</p>")), test::Reply::bytes(page("<p>one</p>")),
        test::Reply::bytes(page("<p>one</p><p>two</p>")), test::Reply::bytes(page("<p>uno</p><p>two</p>")),
        test::Reply::bytes(page("<h1>Preview</h1><div id=m>kept</div><p>10:15</p>")) });
    TConfig config;
    TCheckItem item = newItemTemplate();
    item.checkUri() = server.url("/");
    item.compareLastModified = 0;
    item.compareContentLength = 0;
    item.setExtension(ExtKey::CompareText, "1");
    config.items.append(item);
    ASSERT_TRUE(writeSettingsFile(config, dir.file("vantrel.cfg")));
    const std::string id = config.items[0].id();
    const auto run = [&](std::vector<std::string> arguments) {
        return test::runProgram(Program, arguments, dir.path(), NoDisplay);
    };

    // New, unchanged (a new script nonce), a new paragraph, a changed word.
    EXPECT_EQ(run({ "--check" }).status, 0);
    EXPECT_EQ(run({ "--check", "--diff" }).status, 0);
    test::ProgramResult result = run({ "--check", "--diff" });
    EXPECT_EQ(result.status, 1) << result.err;
    EXPECT_TRUE(contains(result.out, "\n--- ")) << result.out;
    EXPECT_TRUE(contains(result.out, "@@ -1 +1,3 @@\n one\n+\n+two\n")) << result.out;
    result = run({ "--check", "--diff", "--json" });
    EXPECT_EQ(result.status, 1);
    EXPECT_TRUE(contains(result.out, "\"diff\": \"--- ")) << result.out;

    result = run({ "--history", id });
    EXPECT_EQ(result.status, 0) << result.err;
    std::vector<std::string> lines;
    for (size_t start = 0, end; (end = result.out.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(result.out.substr(start, end - start));
    ASSERT_EQ(lines.size(), 3u) << result.out;
    EXPECT_EQ(lines[0].substr(0, 2), "1\t");
    EXPECT_EQ(lines[2].substr(lines[2].rfind('\t')), "\t9"); // "uno\n\ntwo\n" has 9 characters
    EXPECT_TRUE(contains(run({ "--diff", "1", "2" }).out, "+two\n"));
    EXPECT_TRUE(contains(run({ "--diff", "1" }).out, "-one\n+uno\n"));
    EXPECT_TRUE(contains(run({ "--diff", "1", "1" }).out, "+one\n"));

    // What cannot be answered says so and exits with 2.
    for (const std::vector<std::string>& arguments :
        std::vector<std::vector<std::string>> { { "--history", "2" }, { "--diff", "1", "4" }, { "--history", "ffff" },
            { "--page-text", "http://127.0.0.1:1/" }, { "--page-text", server.url("/"), "--ignore", "(" } }) {
        result = run(arguments);
        EXPECT_EQ(result.status, 2) << arguments[0] << ' ' << arguments[1];
        EXPECT_FALSE(result.err.empty());
    }

    result = run({ "--page-text", server.url("/"), "--region", "div#m, p", "--ignore", "^\\d+:\\d+$" });
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "kept\n");
}
