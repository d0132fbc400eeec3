#pragma once

// A check run through the real window for the benchmarks: a settings folder with the default character and one
// ticked item per URL, the window started from it offscreen with the character playing, and the run timed from
// its command to its end.
#include "side_by_side.h"
#include "window_main.h"

#include "store/check_item.h"
#include "store/store_file.h"
#include "ui/main_window.h"

#include "support/holding_server.h"
#include "support/temp_dir.h"
#include "support/test_config.h"

#include <QAction>
#include <QApplication>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

namespace bench {

// The loopback servers of one round and the URLs of `items` items over them, item i on server i % count; each
// server holds every answer for `hold`.
struct TServers
{
    TServers(int count, int items, std::chrono::milliseconds hold)
    {
        for (int s = 0; s < count; ++s)
            servers.push_back(std::make_unique<test::HoldingServer>(hold));
        for (int i = 0; i < items; ++i)
            urls.push_back(servers[static_cast<size_t>(i % count)]->url("/page" + std::to_string(i) + ".html"));
    }

    size_t requests() const
    {
        size_t total = 0;
        for (const auto& server : servers)
            total += server->paths().size();
        return total;
    }

    std::vector<std::unique_ptr<test::HoldingServer>> servers;
    std::vector<std::string> urls;
};

class TWindowRun
{
public:
    // The items last saw `lastModified` and `contentLength`; `concurrent` checks at a time.
    TWindowRun(const std::vector<std::string>& urls, int concurrent, const std::string& lastModified,
        const std::string& contentLength)
    {
        test::writeFile(m_folder.file("vantrel.dat"), test::readFile(VANTREL_BINARY_DIR "/vantrel.dat"));
        test::writeFile(
            m_folder.file("vantrel.ini"), "[General]\nConcurrentChecks=" + std::to_string(concurrent) + "\n");
        TConfig config;
        config.reportMode = 0;
        for (size_t i = 0; i < urls.size(); ++i) {
            TCheckItem item = newItemTemplate();
            item.title() = "page " + std::to_string(i);
            item.checkUri() = urls[i];
            item.status = ItemStatus::Normal;
            item.lastModified() = lastModified;
            item.contentLength() = contentLength;
            config.items.append(std::move(item));
        }
        writeSettingsFile(config, m_folder.file("vantrel.cfg"));
        m_form = std::make_unique<TImgForm>();
        m_started = m_form->startUp(m_folder.path(), m_folder.path());
        if (m_started) {
            m_form->showMain();
            QApplication::processEvents();
        }
    }

    bool started() const { return m_started; }
    TImgForm& form() { return *m_form; }

    // The run as the run command starts it, to its end.
    TRound run()
    {
        const TStopwatch stopwatch;
        (*m_form->actions())[actRun]->trigger();
        return stopwatch.elapsed();
    }

    size_t itemsWith(ItemStatus status) const
    {
        size_t count = 0;
        for (const TCheckItem& item : m_form->settings().items)
            count += item.status == status;
        return count;
    }

private:
    test::TempDir m_folder;
    std::unique_ptr<TImgForm> m_form;
    bool m_started = false;
};

} // namespace bench
