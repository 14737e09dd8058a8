#pragma once

#include "app/CommandIds.h"
#include "app/GuiMessageSink.h"
#include "listing/HeaderRetrieval.h"
#include "model/ArticleList.h"
#include "model/ManualResetEvent.h"

#include <QWidget>

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class CArticleListCtrl;
class CDownloadController;
class CDravelinDoc;
class CMainFrame;
class CToolsController;
class IPrompts;
class QCheckBox;
class QGroupBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QToolButton;

// The main window's client area and the hub of the program: the article list,
// the progress list (the download queue), the status window and their buttons.
// It receives the commands and the workers' messages.
class CDravelinView : public QWidget, public ICommandTarget
{
    Q_OBJECT

public:
    CDravelinView(CDravelinDoc& doc, IPrompts& prompts, CMainFrame& frame);
    ~CDravelinView() override;

    // Set-up after the frame exists: date picker, title, favourites, columns,
    // the queue file.
    void OnInitialUpdate();
    // The shutdown save (once): account choice, favourites, lists, queue file,
    // column widths.
    void OnDestroy();
    // What the shutdown save writes, with the program left running (the
    // desktop session is about to end and may not let us close normally).
    void SaveState();

    // ICommandTarget
    bool OnCommand(int nId) override;
    bool OnUpdateCommand(int nId, CCmdUI& ui) override;
    // Other parts of the program add their commands here (downloads, dialogs).
    void RegisterCommand(int nId, std::function<void()> fnRun, std::function<void(CCmdUI&)> fnUpdate = {});
    // Messages of the download side (WM_DOWNLOAD_DONE, WM_DISK_FULL, progress).
    void SetDownloadMessageHandler(std::function<void(const CViewMessage&)> fn)
    {
        m_fnDownloadMessage = std::move(fn);
    }

    // Header retrieval.
    void OnGo();
    void OnCancel();
    void SetActiveService(int32_t nService, bool bPort81);
    int32_t GetActiveService() const { return m_pRetrieval->m_nActiveService; }
    bool IsEasyNewsPort81() const { return m_pRetrieval->m_bEasyNewsPort81 != 0; }
    // The core's control of header retrieval (service, run event, arrival
    // filter with kill lists, date limit and hide-incomplete).
    CHeaderRetrieval& Retrieval() const { return *m_pRetrieval; }
    // "Dravelin" and the service's suffix.
    std::string GetServiceTitle() const;

    // Status window: appends one line (CR LF between lines) and scrolls to it.
    // It keeps the newest kMaxStatusLines lines only, so a day of downloads
    // does not grow it without end.
    static constexpr int kMaxStatusLines = 2000;
    void AppendStatusLine(const std::string& strLine);
    // The status window's whole text, lines joined by CR LF.
    std::string GetStatusText() const;
    void OnClearStatusWindow();

    // The workers' way in.
    IMessageSink& Sink() { return *m_pSink; }
    std::shared_ptr<CGuiMessageSink> SinkPtr() const { return m_pSink; }
    // Handles one message as its posted event would.
    void HandleMessage(const CViewMessage& msg);

    CArticleList& Articles() { return m_articles; }
    CArticleList& Progress() { return m_progress; }
    CArticleListCtrl& ArticleListCtrl() const { return *m_lstArticles; }
    CArticleListCtrl& ProgressListCtrl() const { return *m_lstProgress; }
    QPushButton* CancelButton() const { return m_btnCancel; }
    QPushButton* ClearButton() const { return m_btnClear; }
    QCheckBox* AutoCheck() const { return m_btnAuto; }
    QLabel* SelectedCountLabel() const { return m_stcSelectedCount; }
    QPlainTextEdit* StatusWindow() const { return m_edtStatus; }
    QGroupBox* ArticlesGroup() const { return m_grpArticles; }
    QGroupBox* ProgressGroup() const { return m_grpProgress; }
    const std::shared_ptr<CManualResetEvent>& GetHeaderRunEvent() const
    {
        return m_pRetrieval->m_hHeaderRunEvent;
    }

    // The download side (scheduler, daily counter, their commands).
    CDownloadController& Downloads() const { return *m_pDownloads; }
    // The Tools menu and the queue's hand-over commands.
    CToolsController* Tools() const { return m_pTools.get(); }

    int32_t m_bAuto = 0;

protected:
    bool event(QEvent* pEvent) override;

private:
    void CreateControls();
    void ReadColumnWidths();
    void WriteColumnWidths();
    void LoadFavorites();
    void SaveFavorites();
    void SaveQueueIfWanted();
    void UpdateSelectedCount();
    void UpdateFrameUI();
    void RegisterOwnCommands();
    void DrainMessages();
    void OnHeaderEnd();
    // The "Limit" box and the date picker, as the arrival filter reads them.
    void UpdateDateLimit();
    void OnHeaderProgress(int nPercent);
    void SetTitle(const std::string& strTitle);
    void ClearProgressListForExit();

    struct CCommand
    {
        std::function<void()> fnRun;
        std::function<void(CCmdUI&)> fnUpdate;
    };

    CDravelinDoc& m_doc;
    IPrompts& m_prompts;
    CMainFrame& m_frame;

    CArticleList m_articles{CArticleList::KindArticles};
    CArticleList m_progress{CArticleList::KindProgress};

    QLabel* m_stcResetAt = nullptr;
    QLabel* m_stcBytesToday = nullptr;
    QToolButton* m_btnPause = nullptr;
    QLabel* m_stcSelectedCount = nullptr;
    QLabel* m_stcSelected = nullptr;
    CArticleListCtrl* m_lstProgress = nullptr;
    CArticleListCtrl* m_lstArticles = nullptr;
    QGroupBox* m_grpProgress = nullptr;
    QGroupBox* m_grpArticles = nullptr;
    QPlainTextEdit* m_edtStatus = nullptr;
    QCheckBox* m_btnAuto = nullptr;
    QToolButton* m_btnUp = nullptr;
    QToolButton* m_btnDown = nullptr;
    QPushButton* m_btnClear = nullptr;
    QPushButton* m_btnCancel = nullptr;

    int32_t m_bStateSaved = 0;
    mutable std::recursive_mutex m_lock; // the status window's text
    int m_nStatusLines = 0;

    std::shared_ptr<CGuiMessageSink> m_pSink;
    std::unique_ptr<CHeaderRetrieval> m_pRetrieval;
    std::deque<CGuiMessageSink::CEntry> m_pending;
    bool m_bDraining = false;
    bool m_bDrainAgain = false;
    int m_nListingsRunning = 0; // Go presses whose end line has not come yet
    std::map<int, CCommand> m_commands;
    std::function<void(const CViewMessage&)> m_fnDownloadMessage;
    std::unique_ptr<CDownloadController> m_pDownloads;
    std::unique_ptr<CToolsController> m_pTools;
};
