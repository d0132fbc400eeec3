#include "ui/run_controller.h"

#include "session/sjis_text.h"
#include "ui/wait_cursor.h"

#include <QCoreApplication>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <exception>

namespace {

constexpr int CloseWaitMs = 10000;
// Often enough for the window, the character and Stop to feel immediate, seldom enough that repainting the
// window does not cost more than a request to a near server.
constexpr auto PumpInterval = std::chrono::milliseconds(15);

} // namespace

// Turns the run's news into the controller's signals; the first one begins the window's share of the run.
class TRunController::TObserver : public TCheckRunObserver
{
public:
    TObserver(TRunController& controller, bool& began)
        : m_controller(controller)
        , m_began(began)
    {
    }

    void runStarted(size_t taken) override
    {
        m_began = true;
        m_controller.beginRun(taken);
    }
    void itemStarted(size_t, const TCheckItem& item) override { emit m_controller.itemStarted(fromSjis(item.title())); }
    void itemDone(size_t index, const TCheckItem& item, const TItemDone& done) override
    {
        emit m_controller.itemDone(item.id(), index, done);
    }
    void runEnded(const TRunSummary& summary) override { emit m_controller.runEnded(summary); }

private:
    TRunController& m_controller;
    bool& m_began;
};

// Whatever ends run(), a run that began is ended: the window idle again, every command enabled.
class TRunController::TScope
{
public:
    explicit TScope(TRunController& controller)
        : m_controller(controller)
    {
    }
    ~TScope()
    {
        if (m_began)
            m_controller.endRun();
    }
    TScope(const TScope&) = delete;
    TScope& operator=(const TScope&) = delete;

    bool m_began = false;

private:
    TRunController& m_controller;
};

TRunController::TRunController(QObject* parent)
    : QObject(parent)
{
    setObjectName(QStringLiteral("runController"));
    m_checker.client().Pump = [this] { pumpEvents(); };
}

TRunController::~TRunController()
{
    stopCheck(m_checker);
}

void TRunController::run(TConfig& config)
{
    if (!idle())
        return;
    TWaitCursor wait;
    TScope scope(*this);
    TObserver observer(*this, scope.m_began);
    try {
        // The ticks are in the items already: a tick changed in the list is its item's at once.
        m_run.setConcurrent(static_cast<size_t>(std::max(1, config.concurrentChecks)));
        m_run.run(config.items, config.defaultItem, observer);
    } catch (const std::exception&) {
        // The run ends where it failed; the scope leaves the window idle and the list shows its ticks again.
    }
}

void TRunController::stop()
{
    m_run.stop();
}

void TRunController::beginRun(size_t taken)
{
    m_runIdle.reset();
    emit runStarted(taken);
}

void TRunController::endRun()
{
    m_runIdle.set();
    emit runFinished();
    if (m_closeAfterRun) {
        m_closeAfterRun = false;
        emit closeDue();
    }
}

void TRunController::closeAfterRun()
{
    m_run.stop();
    // The run sits lower on this same thread's stack and can only finish once the close handler has returned;
    // waiting for it there would never see it end.
    m_closeAfterRun = true;
    QTimer::singleShot(CloseWaitMs, this, [this] {
        if (idle())
            return;
        emit closeOverdue();
        std::fflush(nullptr);
        // Unwinding from here would destroy the window under the run, so the process ends where it stands.
        std::_Exit(EXIT_SUCCESS);
    });
}

void TRunController::pumpEvents()
{
    const auto now = std::chrono::steady_clock::now();
    if (now - m_lastPump < PumpInterval)
        return;
    m_lastPump = now;
    emit progressDue();
    QCoreApplication::processEvents();
}
