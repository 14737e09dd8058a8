#pragma once

#include "model/Article.h"
#include "settings/ServiceAccount.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class CArticleList;
class CDailyCounter;
class CDownloadParams;
class CQueueDocument;
class IArticleHandOff;
class IMessageSink;
class IPrompts;
class IQueueTools;
struct CViewMessage;

// Runs the download queue, which is the progress list: queues articles,
// starts workers within the global and per-account limits, and handles their
// ends (success, retry, final failure, stop, removal). Lives on the
// user-interface thread with the view (or the headless front end) that owns it.
class CDownloadScheduler
{
public:
    // pSink receives the workers' messages; the owner drains it on this thread
    // and passes WM_DOWNLOAD_DONE and WM_DISK_FULL to HandleMessage.
    CDownloadScheduler(std::shared_ptr<CQueueDocument> pDoc, CArticleList& articles, CArticleList& progress,
                       std::shared_ptr<IMessageSink> pSink, IPrompts* pPrompts);
    virtual ~CDownloadScheduler() = default;
    CDownloadScheduler(const CDownloadScheduler&) = delete;
    CDownloadScheduler& operator=(const CDownloadScheduler&) = delete;

    // Optional collaborators (null: no daily limit, no end-of-queue actions,
    // no hand-off — "DoNotQueue" then counts as off).
    void SetDailyCounter(CDailyCounter* pCounter) { m_pCounter = pCounter; }
    void SetQueueTools(IQueueTools* pTools) { m_pTools = pTools; }
    void SetHandOff(IArticleHandOff* pHandOff) { m_pHandOff = pHandOff; }
    void SetEasyNewsPort81(bool bPort81) { m_bEasyNewsPort81 = bPort81; }

    // The Pause button. Releasing it runs a pass; the scheduler presses it
    // itself when the daily limit is reached (the hook tells the view).
    void SetPaused(bool bPaused);
    bool IsPaused() const { return m_bPaused; }
    void SetPauseChanged(std::function<void(bool)> onChanged) { m_onPauseChanged = std::move(onChanged); }

    // Queues (or asks about) every selected row of the article list.
    void QueueSelectedArticles(const std::string& strFolder);
    // Puts one article at the end of the queue; nArticleRow is its row in the
    // article list or -1.
    void QueueArticle(const ArticlePtr& pArticle, int nArticleRow, const std::string& strFolder);
    // One scheduler pass.
    void StartDownloads();
    // WM_DOWNLOAD_DONE.
    void OnDownloadDone(bool bSuccess, const ArticlePtr& pArticle);
    // WM_DISK_FULL.
    void OnDiskFull();
    // Dispatches the two messages above; false for any other message.
    bool HandleMessage(const CViewMessage& msg);

    // "&Start Downloading" is enabled: the queue has rows and MaxDownloads is
    // not 0.
    bool CanStartDownloading() const;
    int32_t GetActiveDownloads() const;

    // Program exit: every running download goes to StateShutdown with its
    // event reset (its worker lets go of it and posts nothing); every row
    // leaves the progress list.
    void ShutdownDownloads();

protected:
    // Starts the worker thread (detached). False when it could not be started.
    virtual bool StartWorkerThread(std::unique_ptr<CDownloadParams> pParams);

private:
    void RedrawRows(const CArticle* pArticle);
    void MoveToEnd(const ArticlePtr& pArticle);
    void RemoveFromQueue(const ArticlePtr& pArticle);
    void SetRedraw(bool bRedraw);
    bool StartOne(const ArticlePtr& pArticle, const AccountPtr& pAccount);

    std::shared_ptr<CQueueDocument> m_pDoc;
    CArticleList& m_lstArticles;
    CArticleList& m_lstProgress;
    std::shared_ptr<IMessageSink> m_pSink;
    IPrompts* m_pPrompts;
    CDailyCounter* m_pCounter = nullptr;
    IQueueTools* m_pTools = nullptr;
    IArticleHandOff* m_pHandOff = nullptr;
    bool m_bEasyNewsPort81 = false;
    bool m_bPaused = false;
    std::function<void(bool)> m_onPauseChanged;
};
