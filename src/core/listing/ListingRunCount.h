#pragma once

#include "model/ManualResetEvent.h"

#include <mutex>

// The listing workers that share one run event. A worker that ends resets the
// event only when it is the last one running: a finished listing must not cut
// off another one that Go started beside it. Cancel still resets the event
// for all of them.
class CListingRunCount
{
public:
    // Go: one more worker, the event set.
    void Start(CManualResetEvent& runEvent)
    {
        std::lock_guard lock(m_mutex);
        ++m_nRunning;
        runEvent.Set();
    }
    // A worker ends; the event is reset when no other one runs.
    void End(CManualResetEvent& runEvent)
    {
        std::lock_guard lock(m_mutex);
        if (m_nRunning > 0)
            --m_nRunning;
        if (m_nRunning == 0)
            runEvent.Reset();
    }
    int GetRunning() const
    {
        std::lock_guard lock(m_mutex);
        return m_nRunning;
    }

private:
    mutable std::mutex m_mutex;
    int m_nRunning = 0;
};
