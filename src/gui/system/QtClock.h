#pragma once

#include "ui/Clock.h"

#include <functional>
#include <map>
#include <memory>

class QTimer;

// The core's clock on the Qt event loop: one repeating QTimer per timer id,
// each expiry handed to the owner's callback with its id (as WM_TIMER would).
class CQtClock : public IClock
{
public:
    explicit CQtClock(std::function<void(int)> onTimer);
    ~CQtClock() override;
    CQtClock(const CQtClock&) = delete;
    CQtClock& operator=(const CQtClock&) = delete;

    std::time_t Now() const override;
    void SetTimer(int nId, int64_t nPeriodMs) override;
    void KillTimer(int nId) override;

    // The period timer nId is armed with, or -1 when it is not running.
    int64_t GetPeriod(int nId) const;

private:
    std::function<void(int)> m_onTimer;
    std::map<int, std::unique_ptr<QTimer>> m_timers;
};
