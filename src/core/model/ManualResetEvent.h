#pragma once

#include <atomic>

// A manual-reset event that is only ever tested, never waited on: workers poll
// it between lines or blocks, the user interface sets and resets it.
class CManualResetEvent
{
public:
    explicit CManualResetEvent(bool bSignalled = false) : m_bSignalled(bSignalled) {}
    CManualResetEvent(const CManualResetEvent&) = delete;
    CManualResetEvent& operator=(const CManualResetEvent&) = delete;

    void Set() { m_bSignalled.store(true, std::memory_order_release); }
    void Reset() { m_bSignalled.store(false, std::memory_order_release); }
    bool IsSet() const { return m_bSignalled.load(std::memory_order_acquire); }

private:
    std::atomic<bool> m_bSignalled;
};
