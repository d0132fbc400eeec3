#include "ui/run_schedule.h"

#include <QApplication>

#include <algorithm>

int TRunSchedule::boundedInterval(int minutes)
{
    return TIniSettings::boundedCheckInterval(minutes);
}

TRunSchedule::TRunSchedule(QObject* parent)
    : QObject(parent)
    , m_clock([] { return QDateTime::currentDateTime(); })
{
    setObjectName(QStringLiteral("runSchedule"));
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &TRunSchedule::poll);
}

void TRunSchedule::setInterval(int minutes)
{
    m_interval = boundedInterval(minutes);
    restart();
}

void TRunSchedule::restart()
{
    plan(m_interval > 0 ? m_clock().addSecs(static_cast<qint64>(m_interval) * 60) : QDateTime());
}

void TRunSchedule::runSoon()
{
    plan(m_clock());
}

void TRunSchedule::plan(const QDateTime& next)
{
    m_next = next;
    arm();
    emit nextRunChanged();
}

void TRunSchedule::arm()
{
    if (m_next.isNull()) {
        m_timer.stop();
        return;
    }
    const qint64 left = m_clock().msecsTo(m_next);
    m_timer.start(static_cast<int>(std::clamp<qint64>(left, 0, LongestWaitMs)));
}

bool TRunSchedule::blocked() const
{
    return QApplication::activeModalWidget() || QApplication::activePopupWidget() || (m_mayStart && !m_mayStart());
}

void TRunSchedule::poll()
{
    // The run pumps the window's events, this timer's among them.
    if (m_starting || m_next.isNull())
        return;
    if (m_clock() < m_next) {
        arm();
        return;
    }
    if (blocked()) {
        m_timer.start(RetryMs);
        return;
    }
    m_starting = true;
    emit runDue();
    m_starting = false;
    restart();
}
