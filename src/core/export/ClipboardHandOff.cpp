#include "export/ClipboardHandOff.h"

#include "tools/SystemServices.h"
#include "ui/Clock.h"
#include "ui/Prompts.h"

namespace
{
constexpr const char* kCantOpenClipboard = "Can't open clipboard!";
} // namespace

CClipboardHandOff::CClipboardHandOff(ISystemServices* pSystem, IClock* pClock, IPrompts* pPrompts)
    : m_pSystem(pSystem), m_pClock(pClock), m_pPrompts(pPrompts)
{
}

CClipboardHandOff::~CClipboardHandOff()
{
    if (m_bTimerRunning && m_pClock)
        m_pClock->KillTimer(kTimerId);
}

void CClipboardHandOff::Put(std::string strText, std::function<void()> onPut)
{
    m_pending.push_back({std::move(strText), std::move(onPut)});
    if (m_bTimerRunning)
        return; // its turn comes at a tick
    if (PutNext() && m_pClock)
    {
        m_pClock->SetTimer(kTimerId, kPauseMs);
        m_bTimerRunning = true;
    }
}

bool CClipboardHandOff::PutNext()
{
    while (!m_pending.empty())
    {
        CPending next = std::move(m_pending.front());
        m_pending.pop_front();
        if (!m_pSystem || !m_pSystem->SetClipboardText(next.strText))
        {
            // This one is dropped; the next may go on at once.
            if (m_pPrompts)
                m_pPrompts->ShowMessage(kCantOpenClipboard, PromptIcon::None);
            continue;
        }
        if (next.onPut)
            next.onPut();
        return true;
    }
    return false;
}

bool CClipboardHandOff::OnTimer(int nId)
{
    if (nId != kTimerId)
        return false;
    // A second has passed since the last text went on: the next may go.
    if (!PutNext() && m_bTimerRunning)
    {
        m_pClock->KillTimer(kTimerId);
        m_bTimerRunning = false;
    }
    return true;
}
