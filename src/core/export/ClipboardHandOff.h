#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <string>

class IClock;
class IPrompts;
class ISystemServices;

// Puts texts on the clipboard one after the other, at least a second apart,
// so a program watching the clipboard can take each before the next replaces
// it. The clipboard is served by our own event loop, so the pause must not
// block it: a text that comes within the second waits in a queue and goes on
// at the next tick of timer kTimerId. The owner forwards timer expiries to
// OnTimer. User-interface thread only.
class CClipboardHandOff
{
public:
    static constexpr int kTimerId = 2;
    static constexpr int64_t kPauseMs = 1000;

    CClipboardHandOff(ISystemServices* pSystem, IClock* pClock, IPrompts* pPrompts);
    ~CClipboardHandOff();
    CClipboardHandOff(const CClipboardHandOff&) = delete;
    CClipboardHandOff& operator=(const CClipboardHandOff&) = delete;

    // Puts strText on the clipboard now, or after the texts before it. onPut
    // runs once it is on the clipboard; when the clipboard cannot be had,
    // "Can't open clipboard!" is shown instead and onPut does not run.
    void Put(std::string strText, std::function<void()> onPut = {});

    // Timer expiries; false for a timer that is not ours.
    bool OnTimer(int nId);

    // Texts still waiting for their turn.
    size_t GetPending() const { return m_pending.size(); }
    // A text went on less than a second ago (the timer runs).
    bool IsPausing() const { return m_bTimerRunning; }

private:
    struct CPending
    {
        std::string strText;
        std::function<void()> onPut;
    };

    // Puts the first waiting text that the clipboard takes; true when one went on.
    bool PutNext();

    ISystemServices* m_pSystem;
    IClock* m_pClock;
    IPrompts* m_pPrompts;
    std::deque<CPending> m_pending;
    bool m_bTimerRunning = false;
};
