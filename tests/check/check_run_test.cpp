#include "check/check_run.h"

#include "support/http_server.h"

#include <gtest/gtest.h>

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
    return Reply::bytes("HTTP/1.0 200 OK\r\nLast-Modified: " + lastModified + "\r\nContent-Length: 0\r\n\r\n");
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
        std::string line = "done " + std::to_string(index) + " " + statusLetter(done.previous) + ">"
            + statusLetter(done.status);
        if (done.updated)
            line += " updated " + std::to_string(done.updatedSoFar);
        if (done.cancelled)
            line += " cancelled";
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
        {"one of three updated", {true, true, true}, {answer(OldDate), answer(NewDate), answer(OldDate)}, {}, false,
            {"started 3", "item 0", "done 0 N>N", "item 1", "done 1 N>U updated 1", "item 2", "done 2 N>N",
                "ended 3/1"}},
        {"unticked items are passed over", {false, true, false, true}, {answer(NewDate), answer(NewDate)}, {}, true,
            {"started 2", "item 1", "done 1 N>U updated 1", "item 3", "done 3 N>U updated 2", "ended 2/2"}},
        {"nothing ticked tells nothing", {false, false}, {}, {}, false, {}},
        {"stop during the second of four", {true, true, true, true}, {answer(NewDate), Reply::stall()}, 1, false,
            {"started 4", "item 0", "done 0 N>U updated 1", "item 1", "done 1 N>N cancelled", "ended 4/1 stopped"}},
        {"a failed request is no failure of the run", {true, true}, {Reply::ending(Reply::End::Reset), answer(OldDate)},
            {}, false, {"started 2", "item 0", "done 0 N>E", "item 1", "done 1 N>N", "ended 2/0"}},
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
