#include "app/ToolsController.h"

#include "app/CommandIds.h"
#include "app/DravelinDoc.h"
#include "app/DravelinView.h"
#include "app/MainFrame.h"
#include "download/DownloadScheduler.h"
#include "export/QueueExport.h"
#include "system/QtSystemServices.h"
#include "tools/QueueTools.h"
#include "ui/Clock.h"

#include <QGuiApplication>
#include <QTimer>

#include <ctime>
#include <functional>

// The timers of the clipboard hand-off and of the hang-up, as QTimers whose
// expiry calls back with the timer's id.
class CToolsController::CTimerClock : public IClock
{
public:
    explicit CTimerClock(std::function<void(int)> onExpired) : m_onExpired(std::move(onExpired)) {}

    std::time_t Now() const override { return std::time(nullptr); }

    void SetTimer(int nId, int64_t nPeriodMs) override
    {
        std::unique_ptr<QTimer>& pTimer = m_timers[nId];
        if (!pTimer)
        {
            pTimer = std::make_unique<QTimer>();
            QObject::connect(pTimer.get(), &QTimer::timeout, [this, nId] { m_onExpired(nId); });
        }
        pTimer->start(static_cast<int>(nPeriodMs));
    }

    void KillTimer(int nId) override
    {
        auto it = m_timers.find(nId);
        if (it != m_timers.end())
            it->second->stop();
    }

    bool IsRunning(int nId) const
    {
        auto it = m_timers.find(nId);
        return it != m_timers.end() && it->second->isActive();
    }

private:
    std::function<void(int)> m_onExpired;
    std::map<int, std::unique_ptr<QTimer>> m_timers;
};

CToolsController::CToolsController(CDravelinView& view, CDravelinDoc& doc, IPrompts& prompts,
                                   CMainFrame& frame, std::unique_ptr<ISystemServices> pSystem)
    : m_view(view), m_doc(doc), m_prompts(prompts), m_frame(frame), m_pSystem(std::move(pSystem))
{
    if (!m_pSystem)
        m_pSystem = std::make_unique<CQtSystemServices>();
    m_pClock = std::make_unique<CTimerClock>([this](int nId) { OnTimer(nId); });
    m_pTools = std::make_unique<CQueueTools>(m_doc.Document().m_settings, m_pSystem.get(), &m_prompts,
                                             m_pClock.get());
    m_pTools->SetShutdownSave([this] { ShutdownSave(); });
    m_pTools->SetCloseMainWindow([this] { m_frame.close(); });
    m_pTools->SetWaitCursor(
        [](bool bOn)
        {
            if (bOn)
                QGuiApplication::setOverrideCursor(Qt::WaitCursor);
            else
                QGuiApplication::restoreOverrideCursor();
        });
    m_pExport = std::make_unique<CQueueExport>(m_doc.DocumentPtr(), m_view.Articles(), m_view.Progress(),
                                               m_pSystem.get(), &m_prompts, m_pClock.get(), m_doc.Folder());
    RegisterCommands();
}

CToolsController::~CToolsController()
{
    // The users of the clock go before it.
    m_pExport.reset();
    m_pTools.reset();
}

IQueueTools* CToolsController::Tools()
{
    return m_pTools.get();
}

void CToolsController::AttachTo(CDownloadScheduler& scheduler)
{
    scheduler.SetHandOff(HandOff());
    scheduler.SetQueueTools(Tools());
}

void CToolsController::SetDailyCounter(CDailyCounter* pCounter)
{
    m_pExport->SetDailyCounter(pCounter);
}

void CToolsController::SyncPort81()
{
    m_pExport->SetEasyNewsPort81(m_view.IsEasyNewsPort81());
}

void CToolsController::HandOffArticle(const ArticlePtr& pArticle, int nRow, const std::string& strFolder)
{
    SyncPort81();
    m_pExport->HandOffArticle(pArticle, nRow, strFolder);
}

bool CToolsController::OnTimer(int nId)
{
    if (m_pExport->OnTimer(nId))
        return true;
    return m_pTools->OnTimer(nId);
}

void CToolsController::ShutdownSave()
{
    // The view keeps its own flag, so closing the window afterwards does not
    // save a second time.
    m_view.OnDestroy();
}

void CToolsController::RegisterCommands()
{
    CQueueTools& tools = *m_pTools;
    m_view.RegisterCommand(
        ID_TOOLS_HANGUP, [&tools] { tools.ToggleHangUpWhenDone(); },
        [&tools](CCmdUI& ui)
        {
            ui.m_bEnabled = tools.CanHangUpWhenDone();
            ui.m_bChecked = tools.m_bHangUpWhenDone != 0;
        });
    m_view.RegisterCommand(
        ID_TOOLS_POWEROFF, [&tools] { tools.TogglePowerOffWhenDone(); },
        [&tools](CCmdUI& ui)
        {
            ui.m_bEnabled = tools.CanPowerOffWhenDone();
            ui.m_bChecked = tools.m_bPowerOffWhenDone != 0;
        });
    m_view.RegisterCommand(
        ID_TOOLS_DELETETEMPINET, [&tools] { tools.DeleteTemporaryInternetFiles(); },
        [&tools](CCmdUI& ui) { ui.m_bEnabled = tools.CanDeleteTemporaryInternetFiles(); });
    m_view.RegisterCommand(
        ID_TOOLS_EMPTYRECYCLEBIN, [&tools] { tools.EmptyTheRecycleBin(); },
        [&tools](CCmdUI& ui) { ui.m_bEnabled = tools.CanEmptyTheRecycleBin(); });

    auto canCopy = [this](CCmdUI& ui) { ui.m_bEnabled = m_pExport->CanCopyQueueToClipboard(); };
    m_view.RegisterCommand(
        ID_QUEUE_COPYTOCLIPBOARD,
        [this]
        {
            SyncPort81();
            m_pExport->CopyQueueToClipboard(false);
        },
        canCopy);
    m_view.RegisterCommand(
        ID_QUEUE_COPYWITHPASSWORD,
        [this]
        {
            SyncPort81();
            m_pExport->CopyQueueToClipboard(true);
        },
        canCopy);
    m_view.RegisterCommand(
        ID_QUEUE_EXPORTGETRIGHT,
        [this]
        {
            SyncPort81();
            m_pExport->ExportQueueToGetRight();
        },
        [](CCmdUI& ui) { ui.m_bEnabled = true; });
}
