#include "app/headless_check.h"

#include "app/history_commands.h"
#include "app/program_folders.h"
#include "base/exception.h"
#include "check/check_result.h"
#include "check/check_run.h"
#include "check/http_checker.h"
#include "notify/notification_wait.h"
#include "platform/termination_signals.h"
#include "session/failure_text.h"
#include "session/settings_session.h"
#include "session/sjis_text.h"
#include "session/status_words.h"
#include "store/config.h"
#include "store/item_extension.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

namespace {

std::string utf8(const std::string& sjis)
{
    return fromSjis(sjis).toStdString();
}

// A field of a printed line: a tab or line end inside it would split the line.
std::string field(const std::string& sjis)
{
    std::string text = utf8(sjis);
    for (char& c : text) {
        if (static_cast<unsigned char>(c) < 0x20)
            c = ' ';
    }
    return text;
}

void printError(const std::string& text)
{
    std::fprintf(stderr, "vantrel: %s\n", text.c_str());
}

// Prints each checked item as it is done, or collects them for one JSON array; stops the run on a signal.
class THeadlessObserver : public TCheckRunObserver
{
public:
    // With diffs, an updated item's change comes from the history under its line (or in its JSON object).
    THeadlessObserver(TCheckRun& run, bool json, THistoryTexts* diffs)
        : m_run(run)
        , m_json(json)
        , m_diffs(diffs)
    {
    }

    void stopOnSignal()
    {
        if (terminationSignal() != 0 && !m_run.stopped())
            m_run.stop();
    }

    void runStarted(size_t) override { stopOnSignal(); }
    void itemStarted(size_t, const TCheckItem&) override { stopOnSignal(); }

    void itemDone(size_t, const TCheckItem& item, const TItemDone& done) override
    {
        stopOnSignal();
        if (done.cancelled)
            return;
        ++m_checked;
        const char* status = statusWord(done);
        noteNews(item, done);
        std::string reason; // Shift_JIS, as the item holds it
        if (item.status == ItemStatus::Error) {
            // An answer that is itself the failure (404, 500) is told by its status line.
            reason = item.failureReason.empty() ? item.response() : item.failureReason;
            ++m_errors;
        }
        const std::string diff = done.updated ? changeOf(item) : std::string();
        if (m_json) {
            QJsonObject object {
                { QStringLiteral("title"), fromSjis(item.title()) },
                { QStringLiteral("url"), fromSjis(item.checkUri()) },
                { QStringLiteral("status"), QString::fromLatin1(status) },
                { QStringLiteral("reason"), fromSjis(reason) },
                { QStringLiteral("lastModified"), fromSjis(item.lastModified()) },
                { QStringLiteral("contentLength"), fromSjis(item.contentLength()) },
                { QStringLiteral("failures"), consecutiveFailures(item) },
                { QStringLiteral("finalUrl"), fromSjis(item.finalUrl) },
            };
            if (m_diffs)
                object.insert(QStringLiteral("diff"), QString::fromStdString(diff));
            m_array.append(object);
            return;
        }
        std::string line = std::string(status) + '\t' + field(item.title()) + '\t' + field(item.checkUri());
        if (!reason.empty())
            line += '\t' + field(reason);
        std::printf("%s\n%s", line.c_str(), diff.c_str());
        std::fflush(stdout);
    }

    void runEnded(const TRunSummary&) override { }

    // What --notify tells: each updated item, and those that have just failed for the third time in a row.
    TRunNews news(const TRunSummary& summary, THistoryTexts& history) const
    {
        TRunNews news;
        news.summary = QString::number(summary.taken) + QStringLiteral("件中、") + QString::number(summary.updated)
            + QStringLiteral("件が更新されています");
        news.updated = m_updated;
        news.unreachable = m_unreachable;
        addFirstAddedLines(news, history);
        return news;
    }

    // The item's last change as a unified diff; empty without diffs, without kept texts, or when the history
    // cannot be read (the item's line says why).
    std::string changeOf(const TCheckItem& item) const
    {
        if (!m_diffs || item.id().empty())
            return {};
        try {
            return m_diffs->withStore([&](THistoryStore& store) { return lastChangeDiff(store, item.id()); });
        } catch (const TException&) {
            return {};
        }
    }

    // The JSON array, or the summary line after the items' lines.
    void finish(const TRunSummary& summary) const
    {
        if (m_json) {
            const QByteArray text = QJsonDocument(m_array).toJson(QJsonDocument::Indented);
            std::fwrite(text.constData(), 1, static_cast<size_t>(text.size()), stdout);
        } else if (summary.taken == 0) {
            std::printf("nothing to check\n");
        } else {
            std::printf("%schecked %zu of %zu, updated %zu, failed %zu\n", summary.stopped ? "stopped: " : "",
                m_checked, summary.taken, summary.updated, m_errors);
        }
        std::fflush(stdout);
    }

private:
    TCheckRun& m_run;
    bool m_json;
    THistoryTexts* m_diffs;
    QJsonArray m_array;
    size_t m_checked = 0;
    size_t m_errors = 0;
    std::vector<TNotifiedPage> m_updated;
    QStringList m_unreachable;

    void noteNews(const TCheckItem& item, const TItemDone& done)
    {
        if (done.updated && item.status != ItemStatus::Error)
            m_updated.push_back({ QString::fromStdString(item.id()), fromSjis(item.title()), {} });
        else if (item.status == ItemStatus::Error && item.extension(ExtKey::Failures) == "3")
            m_unreachable.append(fromSjis(item.title()));
    }
};

// The window that a click on the notification starts keeps the settings in the same folder.
QStringList windowArguments(const TCommandLine& commandLine, const std::string& folder)
{
    switch (commandLine.folderKind) {
    case TCommandLine::TFolder::Given:
        return { QStringLiteral("--folder"), QString::fromLocal8Bit(folder) };
    case TCommandLine::TFolder::Xdg:
        return { QStringLiteral("--xdg-folder") };
    case TCommandLine::TFolder::Current:
        break;
    }
    return {};
}

// The command line's settings folder, held and read; null, with the exit status in `status`, when it cannot be.
std::unique_ptr<TSettingsSession> openFolder(const TCommandLine& commandLine, TConfig& config, int& status)
{
    std::string folder;
    try {
        folder = settingsFolder(commandLine);
    } catch (const TException& e) {
        printError(e.message());
        status = 2;
        return nullptr;
    }
    auto session = std::make_unique<TSettingsSession>(folder);
    if (session->inUse()) {
        printError("the settings in " + session->folder() + " are in use by another Vantrel");
        status = 3;
        return nullptr;
    }
    try {
        session->load(config);
    } catch (const std::exception& e) {
        printError(session->settingsPath() + " cannot be used: " + failureText(e).toStdString());
        status = 2;
        return nullptr;
    }
    return session;
}

// The run itself, with the folder held; what --notify tells goes to `news`, and the folder to `folder`.
int checkFolder(const TCommandLine& commandLine, TRunNews& news, std::string& folder)
{
    catchTerminationSignals(TSecondSignal::EndsAtOnce);
    // A reader of our output that goes away must not end the run before its results are written.
    std::signal(SIGPIPE, SIG_IGN);
    TConfig config;
    int status = 0;
    const std::unique_ptr<TSettingsSession> held = openFolder(commandLine, config, status);
    if (!held)
        return status;
    TSettingsSession& session = *held;
    folder = session.folder();

    THTTPChecker checker;
    checker.pageTexts = &session.history();
    TCheckRun run(checker);
    THeadlessObserver observer(run, commandLine.json, commandLine.diff ? &session.history() : nullptr);
    checker.client().Pump = [&observer] { observer.stopOnSignal(); };
    run.setConcurrent(static_cast<size_t>(commandLine.jobs > 0 ? commandLine.jobs : config.concurrentChecks));
    TRunSummary summary;
    bool failed = false;
    try {
        summary = run.run(config.items, config.defaultItem, observer);
    } catch (const std::exception& e) {
        // What was checked before the failure is kept, as the window keeps it.
        printError("the check run failed: " + failureText(e).toStdString());
        summary.taken = static_cast<size_t>(std::count_if(
            config.items.begin(), config.items.end(), [](const TCheckItem& item) { return item.check != 0; }));
        summary.stopped = failed = true;
    }
    observer.finish(summary);

    if (session.history().wasDamaged())
        printError(std::string("the history was damaged; it was moved aside as ") + THistoryStore::FileName
            + ".damaged and begun anew");
    if (summary.taken > 0 && !session.writeSettings(config)) {
        printError("the results could not be written to " + session.settingsPath());
        return 2;
    }
    if (terminationSignal() != 0)
        return 128 + terminationSignal();
    if (commandLine.notify)
        news = observer.news(summary, session.history());
    return failed ? 2 : summary.updated > 0 ? 1 : 0;
}

} // namespace

int runHeadlessCheck(const TCommandLine& commandLine)
{
    TRunNews news;
    std::string folder;
    const int status = checkFolder(commandLine, news, folder);
    // The folder is free by now, for the window that a click on the notification starts.
    if (commandLine.notify && !news.empty()) {
        // The results are written: a signal during the wait may end the program at once.
        for (int signal : { SIGINT, SIGTERM, SIGHUP })
            std::signal(signal, SIG_DFL);
        postAndAwaitAnswer(news, windowArguments(commandLine, folder));
    }
    return status;
}

int runHistoryCommand(const TCommandLine& commandLine)
{
    TConfig config;
    int status = 0;
    const std::unique_ptr<TSettingsSession> session = openFolder(commandLine, config, status);
    if (!session)
        return status;
    try {
        switch (commandLine.action) {
        case TCommandLine::TAction::PageText:
            return printPageText(commandLine, config.defaultItem, std::cout, std::cerr);
        case TCommandLine::TAction::Diff:
            return printDiff(config.items, session->history().store(), commandLine, std::cout, std::cerr);
        default:
            return printHistory(config.items, session->history().store(), commandLine, std::cout, std::cerr);
        }
    } catch (const std::exception& e) {
        printError(failureText(e).toStdString() + ": " + e.what());
        return 2;
    }
}
