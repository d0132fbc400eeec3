#include "check/check_run.h"

#include "support/checked_item.h"
#include "support/encoded_text.h"
#include "support/holding_server.h"
#include "support/http_server.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

using test::HttpServer;
using test::Reply;

const std::string OldDate = "Mon, 01 Jan 2024 00:00:00 GMT";
const std::string NewDate = "Tue, 02 Jan 2024 00:00:00 GMT";

Reply answer(const std::string& lastModified)
{
    return Reply::bytes(test::answerDated(lastModified));
}

// A normal item that last saw OldDate and a length of 0, so that only an answer with NewDate counts as updated.
TCheckItem watched(const std::string& uri, bool ticked)
{
    TCheckItem item = newItemTemplate();
    item.checkUri() = uri;
    item.status = ItemStatus::Normal;
    item.compareLastModified = 1;
    item.lastModified() = OldDate;
    item.compareContentLength = 1;
    item.contentLength() = "0";
    item.check = ticked ? 1 : 0;
    return item;
}

char statusLetter(ItemStatus status)
{
    return "INUE"[static_cast<size_t>(status) & 3];
}

// Writes down what the run tells, one line per call.
class Recorder : public TCheckRunObserver
{
public:
    std::vector<std::string> lines;

    void runStarted(size_t taken) override { lines.push_back("started " + std::to_string(taken)); }
    void itemStarted(size_t index, const TCheckItem&) override { lines.push_back("item " + std::to_string(index)); }
    void itemDone(size_t index, const TCheckItem& item, const TItemDone& done) override
    {
        EXPECT_EQ(item.status, done.status);
        std::string line
            = "done " + std::to_string(index) + " " + statusLetter(done.previous) + ">" + statusLetter(done.status);
        if (done.updated)
            line += " updated " + std::to_string(done.updatedSoFar);
        if (done.cancelled)
            line += " cancelled";
        if (done.deferred)
            line += " deferred";
        lines.push_back(line);
    }
    void runEnded(const TRunSummary& summary) override
    {
        lines.push_back("ended " + std::to_string(summary.taken) + "/" + std::to_string(summary.updated)
            + (summary.stopped ? " stopped" : ""));
    }
};

} // namespace

TEST(CheckRun, WalksTheTickedItemsAndTellsTheObserver)
{
    struct Case
    {
        const char* name;
        std::vector<bool> ticked;
        std::vector<Reply> script;
        std::optional<size_t> stopDuringConnection; // Stop while this connection's request is in flight
        bool stopBefore; // a Stop outside a run is forgotten by the next run
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        { "one of three updated", { true, true, true }, { answer(OldDate), answer(NewDate), answer(OldDate) }, {},
            false,
            { "started 3", "item 0", "done 0 N>N", "item 1", "done 1 N>U updated 1", "item 2", "done 2 N>N",
                "ended 3/1" } },
        { "unticked items are passed over", { false, true, false, true }, { answer(NewDate), answer(NewDate) }, {},
            true, { "started 2", "item 1", "done 1 N>U updated 1", "item 3", "done 3 N>U updated 2", "ended 2/2" } },
        { "nothing ticked tells nothing", { false, false }, {}, {}, false, {} },
        { "stop during the second of four", { true, true, true, true }, { answer(NewDate), Reply::stall() }, 1, false,
            { "started 4", "item 0", "done 0 N>U updated 1", "item 1", "done 1 N>N cancelled", "ended 4/1 stopped" } },
        { "a failed request is no failure of the run", { true, true },
            { Reply::ending(Reply::End::Reset), answer(OldDate) }, {}, false,
            { "started 2", "item 0", "done 0 N>E", "item 1", "done 1 N>N", "ended 2/0" } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HttpServer server(c.script);
        TCheckItems items;
        for (size_t i = 0; i < c.ticked.size(); ++i)
            items.append(watched(server.url("/" + std::to_string(i)), c.ticked[i]));
        const TCheckItems before = items;

        THTTPChecker checker;
        TCheckRun run(checker);
        if (c.stopBefore)
            run.stop();
        bool stopped = false;
        checker.client().Pump = [&] {
            const std::optional<size_t> at = c.stopDuringConnection;
            if (!stopped && at && server.connectionCount() > *at
                && server.request(*at).find("\r\n\r\n") != std::string::npos) {
                stopped = true;
                run.stop();
            }
        };
        Recorder recorder;
        const TRunSummary summary = run.run(items, newItemTemplate(), recorder);

        EXPECT_EQ(recorder.lines, c.lines);
        EXPECT_EQ(run.stopped(), c.stopDuringConnection.has_value());
        EXPECT_FALSE(run.running());
        EXPECT_EQ(summary.stopped, c.stopDuringConnection.has_value());
        EXPECT_EQ(server.connectionCount(), c.script.size());
        if (c.stopDuringConnection) {
            // The item in flight and those after it are exactly as they were.
            for (size_t i = *c.stopDuringConnection; i < items.count(); ++i)
                EXPECT_EQ(items[i], before[i]) << i;
        }
    }
}

namespace {

using namespace std::chrono_literals;

// The items of a run over several servers: item i asks server i % servers for "/<i>".
TCheckItems itemsOver(const std::vector<std::unique_ptr<test::HoldingServer>>& servers, size_t count)
{
    TCheckItems items;
    for (size_t i = 0; i < count; ++i)
        items.append(watched(servers[i % servers.size()]->url("/" + std::to_string(i)), true));
    return items;
}

// What a check leaves in an item apart from the moment it was made.
TCheckItem withoutCheckTime(TCheckItem item)
{
    item.lastCheck().clear();
    item.lastCheckTime = 0;
    return item;
}

} // namespace

TEST(CheckRun, SeveralAtOnceKeepOneConnectionPerServer)
{
    struct Case
    {
        const char* name;
        size_t concurrent;
        size_t servers;
        size_t items;
        size_t mostInAll; // connections open at once over all servers
        std::optional<size_t> stopAtRequests; // Stop once this many requests have arrived
    };
    const Case cases[] = {
        { "four at once over three servers", 4, 3, 12, 3, {} },
        { "four at once over six servers", 4, 6, 12, 4, {} },
        { "one at a time is the run of old", 1, 3, 6, 1, {} },
        { "stop with four in flight", 4, 6, 12, 4, 4 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::ConnectionGauge inAll;
        std::vector<std::unique_ptr<test::HoldingServer>> servers;
        for (size_t s = 0; s < c.servers; ++s) {
            // Every third item's page changed, so the results differ from item to item.
            std::map<std::string, std::string> answers;
            for (size_t i = s; i < c.items; i += c.servers) {
                if (i % 3 == 1)
                    answers["/" + std::to_string(i)] = test::answerDated(NewDate);
            }
            servers.push_back(std::make_unique<test::HoldingServer>(c.stopAtRequests ? 300ms : 40ms, answers, &inAll));
        }
        auto requests = [&] {
            size_t total = 0;
            for (const auto& server : servers)
                total += server->paths().size();
            return total;
        };
        TCheckItems items = itemsOver(servers, c.items);
        const TCheckItems before = items;

        THTTPChecker checker;
        TCheckRun run(checker);
        run.setConcurrent(c.concurrent);
        checker.client().Pump = [&] {
            if (c.stopAtRequests && !run.stopped() && requests() >= *c.stopAtRequests)
                run.stop();
        };
        Recorder recorder;
        const TRunSummary summary = run.run(items, newItemTemplate(), recorder);

        EXPECT_EQ(inAll.most(), c.mostInAll);
        for (size_t s = 0; s < c.servers; ++s) {
            EXPECT_LE(servers[s]->mostOpen(), 1u) << s;
            // One server sees its items in list order.
            const std::vector<std::string> paths = servers[s]->paths();
            EXPECT_TRUE(std::is_sorted(paths.begin(), paths.end(), [](const std::string& a, const std::string& b) {
                return std::stoi(a.substr(1)) < std::stoi(b.substr(1));
            })) << s;
        }
        EXPECT_EQ(summary.stopped, c.stopAtRequests.has_value());
        if (c.stopAtRequests) {
            // The checks in flight were cancelled, the rest never requested: every item is exactly as before.
            EXPECT_EQ(requests(), *c.stopAtRequests);
            for (size_t i = 0; i < items.count(); ++i)
                EXPECT_EQ(items[i], before[i]) << i;
            const size_t cancelled = static_cast<size_t>(std::count_if(recorder.lines.begin(), recorder.lines.end(),
                [](const std::string& line) { return line.ends_with(" cancelled"); }));
            EXPECT_EQ(cancelled, *c.stopAtRequests);
            continue;
        }
        EXPECT_EQ(requests(), c.items);
        EXPECT_EQ(summary.updated, c.items / 3);
        if (c.concurrent == 1) {
            // Each item is started and done before the next one starts.
            std::vector<std::string> expected { "started " + std::to_string(c.items) };
            for (size_t i = 0; i < c.items; ++i) {
                expected.push_back("item " + std::to_string(i));
                expected.push_back(
                    "done " + std::to_string(i) + (i % 3 == 1 ? " N>U updated " + std::to_string(i / 3 + 1) : " N>N"));
            }
            expected.push_back("ended " + std::to_string(c.items) + "/" + std::to_string(c.items / 3));
            EXPECT_EQ(recorder.lines, expected);
        }
        // The same items checked one at a time end up the same.
        TCheckItems oneByOne = before;
        TCheckRun single(checker);
        checker.client().Pump = nullptr;
        Recorder ignored;
        single.run(oneByOne, newItemTemplate(), ignored);
        for (size_t i = 0; i < items.count(); ++i)
            EXPECT_EQ(withoutCheckTime(items[i]), withoutCheckTime(oneByOne[i])) << i;
    }
}

TEST(CheckRun, AFailureAmongChecksInFlightIsItsItemsAlone)
{
    const uint16_t refused = test::closedPort();
    std::vector<std::unique_ptr<test::HoldingServer>> servers;
    for (int s = 0; s < 3; ++s)
        servers.push_back(std::make_unique<test::HoldingServer>(60ms));
    TCheckItems items = itemsOver(servers, 6);
    items[2].checkUri() = "http://127.0.0.1:" + std::to_string(refused) + "/";

    THTTPChecker checker;
    TCheckRun run(checker);
    run.setConcurrent(4);
    Recorder recorder;
    const TRunSummary summary = run.run(items, newItemTemplate(), recorder);

    EXPECT_FALSE(summary.stopped);
    for (size_t i = 0; i < items.count(); ++i) {
        EXPECT_EQ(items[i].status, i == 2 ? ItemStatus::Error : ItemStatus::Normal) << i;
        EXPECT_EQ(items[i].failureReason, i == 2 ? "Connection Failed" : "") << i;
    }
    // The failure came back while the first item's answer was still held.
    const auto failed = std::find(recorder.lines.begin(), recorder.lines.end(), "done 2 N>E");
    const auto first = std::find(recorder.lines.begin(), recorder.lines.end(), "done 0 N>N");
    EXPECT_LT(failed, first);
}

TEST(CheckRun, ServerOfUrl)
{
    const std::pair<const char*, const char*> cases[] = {
        { "http://Example.COM/a", "example.com:80" },
        { "https://example.com", "example.com:443" },
        { "http://example.com:8080/?q", "example.com:8080" },
        { "http://user:pw@example.com:81#top", "example.com:81" },
        { "http://[::1]:8443/", "[::1]:8443" },
        { "https://[::1]/", "[::1]:443" },
        { "127.0.0.1:5000/page", "127.0.0.1:5000" },
        { "", "" },
    };
    for (const auto& [url, server] : cases)
        EXPECT_EQ(serverOf(url), server) << url;
}

TEST(CheckRun, ABusyServerIsAskedNothingMoreInTheRun)
{
    for (const size_t concurrent : { size_t { 1 }, size_t { 4 } }) {
        SCOPED_TRACE(concurrent);
        HttpServer busy({ Reply::bytes("HTTP/1.0 429 Too Many Requests\r\nRetry-After: 120\r\n\r\n") });
        HttpServer other({ answer(NewDate), answer(OldDate) });
        HttpServer slow({ Reply::bytes("HTTP/1.0 503 Service Unavailable\r\nRetry-After: 30\r\n\r\n") });
        TCheckItems items;
        for (const std::string& url : { busy.url("/1"), other.url("/2"), busy.url("/3"), slow.url("/4"), busy.url("/5"),
                 other.url("/6"), slow.url("/7") })
            items.append(watched(url, true));
        const TCheckItems before = items;

        THTTPChecker checker;
        TCheckRun run(checker);
        run.setConcurrent(concurrent);
        Recorder recorder;
        const TRunSummary summary = run.run(items, newItemTemplate(), recorder);

        EXPECT_EQ(busy.connectionCount(), 1u);
        EXPECT_EQ(other.connectionCount(), 2u);
        EXPECT_EQ(slow.connectionCount(), 1u);
        EXPECT_EQ(summary.updated, 1u);
        EXPECT_EQ(run.longestRetryAfter(), 120);
        EXPECT_EQ(items[0].status, ItemStatus::Error);
        EXPECT_EQ(items[0].failureReason, test::sjis("サーバーが混雑しています（120秒後に再試行）"));
        EXPECT_EQ(items[1].status, ItemStatus::Update);
        // The items held back keep everything they had; only the reason tells why they were not checked.
        for (const size_t held : { 2, 4, 6 }) {
            TCheckItem expected = before[held];
            expected.failureReason = test::sjis("このサーバーは後で確認します");
            EXPECT_EQ(items[held], expected) << held;
            EXPECT_NE(std::find(recorder.lines.begin(), recorder.lines.end(),
                          "done " + std::to_string(held) + " N>N deferred"),
                recorder.lines.end())
                << held;
        }
        EXPECT_EQ(recorder.lines.back(), "ended 7/1");
    }
}
