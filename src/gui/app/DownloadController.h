#pragma once

#include "download/DailyCounter.h"
#include "download/DownloadScheduler.h"
#include "system/DesktopNotifier.h"
#include "system/QtClock.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

class CDownloadToDlg;
class CDravelinDoc;
class CDravelinView;
class CMainFrame;
class IPrompts;
class QLabel;
class QToolButton;
struct CViewMessage;

// The download side of the main view: owns the scheduler and the daily byte
// counter, registers the download, queue and progress-list commands with the
// view, takes the workers' download messages and keeps the Pause button and
// the two counter labels in step with the core.
class CDownloadController
{
public:
    CDownloadController(CDravelinView& view, CDravelinDoc& doc, IPrompts& prompts, CMainFrame& frame,
                        QToolButton* pPause, QLabel* pBytesToday, QLabel* pResetAt);
    ~CDownloadController();
    CDownloadController(const CDownloadController&) = delete;
    CDownloadController& operator=(const CDownloadController&) = delete;

    // After the queue file was loaded at start-up: a non-empty queue starts.
    void OnQueueLoaded();
    // Program exit, after the queue was saved: running downloads are left to
    // their workers and the queue is emptied.
    void OnShutdown();

    // Where articles go instead of the queue while "DoNotQueue" is on.
    void SetHandOff(IArticleHandOff* pHandOff)
    {
        m_pHandOff = pHandOff;
        m_pScheduler->SetHandOff(pHandOff);
    }

    // The "Download to" dialog runs through this (tests answer it in place).
    // Returns true for OK.
    void SetDialogRunner(std::function<bool(CDownloadToDlg&)> fnRun) { m_fnRunDialog = std::move(fnRun); }

    // Queues the files of an NZB file into the default folder, as the
    // command line's import does. A file that cannot be used shows one
    // message and queues nothing. True when something was queued.
    // With "DoNotQueue" on, the files go to the hand-off instead, as
    // "&Download" sends them.
    bool ImportNzbFile(const std::string& strPath);
    // Adds the articles of a queue file to the queue, by the load rules of
    // the start-up's own queue file. A file that cannot be read gets a
    // status line. True when something was queued.
    bool ImportQueueFile(const std::string& strPath);
    // A file opened from outside (command line, another start, a drop): an
    // NZB file or a queue file, by its name.
    bool OpenFile(const std::string& strPath);
    static bool IsQueueFilePath(const std::string& strPath);
    // File, "Import NZB...": the chosen files, each as above.
    void OnImportNzb();
    // Asks for the NZB files to import (empty when cancelled); tests answer
    // for the file dialog here.
    void SetNzbChooser(std::function<std::vector<std::string>()> fnChoose)
    {
        m_fnChooseNzb = std::move(fnChoose);
    }

    // A double-click on the progress list: each selected row by its state.
    void OnProgressDoubleClick();

    CDownloadScheduler& Scheduler() { return *m_pScheduler; }
    CDailyCounter& Counter() { return m_counter; }
    CQtClock& Clock() { return m_clock; }
    CDesktopNotifier& Notifier() { return m_notifier; }

private:
    void RegisterCommands();
    void OnDownloadMessage(const CViewMessage& msg);
    // The desktop hears of final failures, a full disk and the end of the
    // queue (nothing runs and nothing waits) after downloads have run.
    void NotifyDesktop(const CViewMessage& msg, int32_t nStateBefore);
    void UpdateCounterLabels();
    // Runs the dialog on strProposal; on OK queues the selected articles
    // into the chosen folder.
    void DownloadTo(const std::string& strProposal);
    bool RunFolderDialog(std::string& strFolder);
    std::string GetDefaultPath() const;
    bool CanDownloadTo() const;
    void StartDownloads();

    CDravelinView& m_view;
    CDravelinDoc& m_doc;
    IPrompts& m_prompts;
    CMainFrame& m_frame;
    QToolButton* m_btnPause;
    QLabel* m_stcBytesToday;
    QLabel* m_stcResetAt;
    CDailyCounter m_counter;
    CQtClock m_clock;
    std::unique_ptr<CDownloadScheduler> m_pScheduler;
    std::function<bool(CDownloadToDlg&)> m_fnRunDialog;
    std::function<std::vector<std::string>()> m_fnChooseNzb;
    IArticleHandOff* m_pHandOff = nullptr;
    bool m_bShutDown = false;
    CDesktopNotifier m_notifier;
    // Downloads that ended since the queue was last done, and what they got.
    int m_nRunEnded = 0;
    int m_nRunFiles = 0;
    int64_t m_nRunBytes = 0;
    bool m_bDiskFullTold = false;
};
