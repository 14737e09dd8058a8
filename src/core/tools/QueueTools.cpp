#include "tools/QueueTools.h"

#include "settings/Preferences.h"
#include "tools/SystemServices.h"
#include "tools/TrashCan.h"
#include "ui/Clock.h"
#include "ui/Prompts.h"

#include <mutex>

namespace
{
constexpr const char* kPowerOffRefused = "ERROR: ExitWindowsEx";
} // namespace

CQueueTools::CQueueTools(CPreferences& settings, ISystemServices* pSystem, IPrompts* pPrompts, IClock* pClock)
    : m_settings(settings), m_pSystem(pSystem), m_pPrompts(pPrompts), m_pClock(pClock)
{
    m_bHaveRas = m_pSystem && m_pSystem->HaveDialUp();
    UpdateCanEmptyRecycleBin();
}

CQueueTools::~CQueueTools()
{
    if (m_bTimerRunning && m_pClock)
        m_pClock->KillTimer(kHangUpTimerId);
}

bool CQueueTools::HasOwnQueue() const
{
    std::lock_guard lock(m_settings.m_lock);
    return !m_settings.m_bDoNotQueue && m_settings.m_nMaxDownloads != 0;
}

bool CQueueTools::CanHangUpWhenDone() const
{
    return m_bHaveRas && HasOwnQueue();
}

bool CQueueTools::CanPowerOffWhenDone() const
{
    return HasOwnQueue();
}

void CQueueTools::HangUpConnections()
{
    if (!HasOwnQueue())
        return;
    // Lines are already being dropped; that run covers this call too.
    if (m_bHangingUp)
        return;
    if (!m_pSystem || !m_pSystem->HaveDialUp())
        return;
    std::vector<std::string> connections;
    if (!m_pSystem->EnumDialUpConnections(connections) || connections.empty())
        return;
    m_connections = std::move(connections);
    m_nNextConnection = 0;
    m_bHangingUp = true;
    HangUpNext();
}

void CQueueTools::HangUpNext()
{
    while (m_nNextConnection < m_connections.size())
    {
        const std::string strConnection = m_connections[m_nNextConnection++];
        // Ended between the listing and now.
        if (!m_pSystem->IsDialUpConnectionActive(strConnection))
            continue;
        m_pSystem->HangUpDialUpConnection(strConnection);
        if (!m_pSystem->IsDialUpConnectionActive(strConnection))
            continue;
        if (!m_pClock)
            continue; // nothing to wait with: the request has been made
        m_strWaitingFor = strConnection;
        m_pClock->SetTimer(kHangUpTimerId, kHangUpPollMs);
        m_bTimerRunning = true;
        return;
    }
    FinishHangUp();
}

void CQueueTools::FinishHangUp()
{
    m_bHangingUp = false;
    m_connections.clear();
    m_nNextConnection = 0;
    m_strWaitingFor.clear();
    if (m_bPowerOffPending)
    {
        m_bPowerOffPending = false;
        // The user may have taken the choice back while the lines dropped.
        if (m_bPowerOffWhenDone)
            DoPowerOff();
    }
}

bool CQueueTools::OnTimer(int nId)
{
    if (nId != kHangUpTimerId)
        return false;
    if (m_bHangingUp && !m_strWaitingFor.empty() && m_pSystem->IsDialUpConnectionActive(m_strWaitingFor))
        return true; // still dropping
    if (m_bTimerRunning)
    {
        m_pClock->KillTimer(kHangUpTimerId);
        m_bTimerRunning = false;
    }
    if (!m_bHangingUp)
        return true;
    m_strWaitingFor.clear();
    HangUpNext();
    return true;
}

void CQueueTools::PowerOffMachine()
{
    if (!HasOwnQueue())
        return;
    // Hang-up first, power-off after it: the end of the hang-up runs it.
    if (m_bHangingUp)
    {
        m_bPowerOffPending = true;
        return;
    }
    DoPowerOff();
}

void CQueueTools::DoPowerOff()
{
    if (m_bPoweringOff)
        return; // a pass run from within the message box below
    m_bPoweringOff = true;
    if (m_onShutdownSave)
        m_onShutdownSave();
    m_bStateSaved = 1;
    if (!(m_pSystem && m_pSystem->PowerOff()) && m_pPrompts)
        m_pPrompts->ShowMessage(kPowerOffRefused, PromptIcon::None);
    // The queue is done: Dravelin ends in any case.
    if (m_onCloseMainWindow)
        m_onCloseMainWindow();
    m_bPoweringOff = false;
}

void CQueueTools::WaitCursor(bool bOn)
{
    if (m_onWaitCursor)
        m_onWaitCursor(bOn);
}

std::string CQueueTools::GetCacheFolder() const
{
    if (!m_pSystem)
        return {};
    std::string strCacheHome = m_pSystem->GetCacheHome();
    if (strCacheHome.empty())
        return {};
    return strCacheHome + "/dravelin";
}

bool CQueueTools::TryDeleteTemporaryInternetFiles()
{
    m_bDeletingTempFiles = 1;
    WaitCursor(true);
    std::string strFolder = GetCacheFolder();
    bool bOk = !strFolder.empty() && CTrashCan::ClearFolder(strFolder);
    m_bDeletingTempFiles = 0;
    WaitCursor(false);
    return bOk;
}

void CQueueTools::UpdateCanEmptyRecycleBin()
{
    bool bCan = m_pSystem && !CTrashCan::FindTrashFolders(*m_pSystem).empty();
    std::lock_guard lock(m_settings.m_lock);
    m_settings.m_bCanEmptyRecycleBin = bCan;
}

bool CQueueTools::TryEmptyTheRecycleBin()
{
    std::vector<std::string> folders;
    if (m_pSystem)
        folders = CTrashCan::FindTrashFolders(*m_pSystem);
    {
        std::lock_guard lock(m_settings.m_lock);
        m_settings.m_bCanEmptyRecycleBin = !folders.empty();
    }
    WaitCursor(true);
    bool bOk = false;
    if (!m_bEmptyingRecycleBin && !folders.empty())
    {
        m_bEmptyingRecycleBin = 1;
        bOk = true;
        for (const auto& strFolder : folders)
            bOk = CTrashCan::EmptyTrashFolder(strFolder) && bOk;
        m_bEmptyingRecycleBin = 0;
    }
    WaitCursor(false);
    return bOk;
}
