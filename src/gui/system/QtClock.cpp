#include "system/QtClock.h"

#include <QTimer>

#include <algorithm>
#include <climits>

CQtClock::CQtClock(std::function<void(int)> onTimer) : m_onTimer(std::move(onTimer))
{
}

CQtClock::~CQtClock() = default;

std::time_t CQtClock::Now() const
{
    return std::time(nullptr);
}

void CQtClock::SetTimer(int nId, int64_t nPeriodMs)
{
    std::unique_ptr<QTimer>& pTimer = m_timers[nId];
    if (!pTimer)
    {
        pTimer = std::make_unique<QTimer>();
        pTimer->setTimerType(Qt::CoarseTimer);
        QObject::connect(pTimer.get(), &QTimer::timeout,
                         [this, nId]
                         {
                             if (m_onTimer)
                                 m_onTimer(nId);
                         });
    }
    // QTimer takes an int of milliseconds; a day fits, longer periods are cut.
    const int64_t nMs = std::clamp<int64_t>(nPeriodMs, 0, INT_MAX);
    pTimer->start(static_cast<int>(nMs));
}

void CQtClock::KillTimer(int nId)
{
    auto it = m_timers.find(nId);
    if (it != m_timers.end())
        it->second->stop();
}

int64_t CQtClock::GetPeriod(int nId) const
{
    auto it = m_timers.find(nId);
    if (it == m_timers.end() || !it->second->isActive())
        return -1;
    return it->second->interval();
}
