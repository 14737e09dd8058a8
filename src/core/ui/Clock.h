#pragma once

#include <cstdint>
#include <ctime>

// Time and the view's timer, so the daily counter and its reset can be tested.
class IClock
{
public:
    virtual ~IClock() = default;
    // Current calendar time (seconds since the epoch).
    virtual std::time_t Now() const = 0;
    // (Re-)arms timer nId with the given period; the owner calls back on expiry.
    virtual void SetTimer(int nId, int64_t nPeriodMs) = 0;
    virtual void KillTimer(int nId) = 0;
};
