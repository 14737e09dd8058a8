#pragma once

#include "download/ArticleHandOff.h"
#include "tools/SystemServices.h"

#include <map>
#include <memory>

class CDailyCounter;
class CDownloadScheduler;
class CDravelinDoc;
class CDravelinView;
class CMainFrame;
class CQueueExport;
class CQueueTools;
class IClock;
class IPrompts;
class IQueueTools;

// The Tools menu ("when done" choices, temporary files, recycle bin) and the
// queue's hand-over commands (clipboard, GetRight) of the main view. It owns
// the system services, the end-of-queue tools and the queue export, and a
// clock of its own whose timers (the clipboard's pause, the hang-up's poll)
// come back to them. It is also the download side's hand-off: with "Use a
// download manager" on, queued articles come here instead of the queue.
class CToolsController : public IArticleHandOff
{
public:
    // pSystem: the services to use (null: the desktop's own, CQtSystemServices).
    CToolsController(CDravelinView& view, CDravelinDoc& doc, IPrompts& prompts, CMainFrame& frame,
                     std::unique_ptr<ISystemServices> pSystem = nullptr);
    ~CToolsController() override;
    CToolsController(const CToolsController&) = delete;
    CToolsController& operator=(const CToolsController&) = delete;

    // Gives the download scheduler its hand-off and its end-of-queue tools.
    void AttachTo(CDownloadScheduler& scheduler);
    // The daily byte count that handed-over NewsGuy Extra articles add to.
    void SetDailyCounter(CDailyCounter* pCounter);

    IArticleHandOff* HandOff() { return this; }
    IQueueTools* Tools();
    CQueueTools& QueueTools() { return *m_pTools; }
    CQueueExport& QueueExport() { return *m_pExport; }
    ISystemServices& System() { return *m_pSystem; }

    // IArticleHandOff: takes the view's current EasyNews port along.
    void HandOffArticle(const ArticlePtr& pArticle, int nRow, const std::string& strFolder) override;

    // A timer of our clock has expired; false for an id that is not ours.
    bool OnTimer(int nId);

    // Registers the commands with the view (done when built; again to take
    // them back after another controller had them).
    void RegisterCommands();

private:
    class CTimerClock;

    // The shutdown save before a power-off: the view's own, done only once.
    void ShutdownSave();
    void SyncPort81();

    CDravelinView& m_view;
    CDravelinDoc& m_doc;
    IPrompts& m_prompts;
    CMainFrame& m_frame;
    std::unique_ptr<ISystemServices> m_pSystem;
    std::unique_ptr<CTimerClock> m_pClock;
    std::unique_ptr<CQueueTools> m_pTools;
    std::unique_ptr<CQueueExport> m_pExport;
};
