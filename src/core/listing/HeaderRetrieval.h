#pragma once

#include "filters/KillFilter.h"
#include "listing/ListingRunCount.h"
#include "model/ManualResetEvent.h"
#include "ui/MessageSink.h"

#include <atomic>
#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

class CArticle;
class CArticleList;
class CQueueDocument;
class IClock;
class IPrompts;

// The user-interface side of a header retrieval: Go starts a listing worker
// for the active service, Cancel stops every running one, and the workers'
// messages end up as rows of the article list and lines of the status window.
// Everything here runs on the user-interface thread; the front end routes the
// messages its sink receives to OnViewMessage.
class CHeaderRetrieval
{
public:
    // pWnd is the sink the workers post to; it must deliver the messages back
    // to this object's OnViewMessage on the user-interface thread.
    CHeaderRetrieval(std::shared_ptr<CQueueDocument> pDocument, std::shared_ptr<IMessageSink> pWnd);
    // Workers still running are let go: they end on their own.
    virtual ~CHeaderRetrieval();
    CHeaderRetrieval(const CHeaderRetrieval&) = delete;
    CHeaderRetrieval& operator=(const CHeaderRetrieval&) = delete;

    // Collaborators (any may be null).
    void SetPrompts(IPrompts* pPrompts) { m_pPrompts = pPrompts; }
    void SetArticleList(CArticleList* pList) { m_pArticleList = pList; }
    void SetClock(IClock* pClock) { m_pClock = pClock; }
    // Each status-window line.
    void SetStatusCallback(std::function<void(const std::string&)> fn) { m_fnStatus = std::move(fn); }
    // A worker ended (the view disables Cancel).
    void SetRetrievalEndedCallback(std::function<void()> fn) { m_fnEnded = std::move(fn); }
    // A listing page could not be fetched, with the reason (the desktop
    // shows nothing: the page is skipped as the listing rules say).
    void SetRetrievalFailedCallback(std::function<void(const std::string&)> fn) { m_fnFailed = std::move(fn); }
    // An article passed the arrival filter and was appended (after the list).
    void SetArticleCallback(std::function<void(const std::shared_ptr<CArticle>&)> fn)
    {
        m_fnArticle = std::move(fn);
    }

    // Go with the newsgroup text as typed; true when a worker was started
    // (the view then sets the window title and enables Cancel).
    bool Go(const std::string& strNewsgroup);
    // Cancel: every running listing worker stops before its next line.
    void Cancel();
    // Waits for every worker thread to be gone. Only for front ends that end
    // with the retrieval (the command line, tests); the desktop never waits.
    void JoinWorkers();
    // Handles WM_HEADER_ITEM, WM_HEADER_PROGRESS, WM_HEADER_FAILED and WM_STATUS_TEXT 0;
    // false for any other message.
    bool OnViewMessage(const CViewMessage& msg);

    // The arrival filter: kill lists, date limit, hide incomplete.
    bool IsFilteredOut(const CArticle& article) const;
    // The date-limit rule on its own, with "now" given.
    static bool IsBeforeDateLimit(const std::string& strDate, std::time_t tLimit, std::time_t tNow);

    // "Dravelin - NewsGuy" ... for the Service menu choices.
    static std::string ServiceTitle(int32_t nService, bool bPort81);
    // newsgroup + " - Dravelin - NewsGuy" ... for Go.
    static std::string WindowTitle(const std::string& strNewsgroup, int32_t nService, bool bPort81);
    // Adds a newsgroup to the favourites unless one equals it ignoring case;
    // true when added.
    static bool AddFavourite(std::vector<std::string>& favourites, const std::string& strNewsgroup);
    // Leading and trailing blanks removed.
    static std::string TrimNewsgroup(const std::string& strText);

    // The active service (0 none, 1, 2, 16) and the EasyNews port choice.
    int32_t m_nActiveService = 0;
    int32_t m_bEasyNewsPort81 = 0;
    // Hide incomplete articles, and the date limit ("Limit" box and picker).
    int32_t m_bHideIncomplete = 0;
    int32_t m_bLimit = 0;
    std::time_t m_tLimit = 0;
    CKillFilter m_killFilter;
    std::shared_ptr<CManualResetEvent> m_hHeaderRunEvent = std::make_shared<CManualResetEvent>(false);
    std::shared_ptr<CListingRunCount> m_pRunCount = std::make_shared<CListingRunCount>();

private:
    void AppendStatusLine(const std::string& strText);
    // Joins the threads whose worker has returned.
    void ReapWorkers();

    struct CWorkerThread
    {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> pFinished;
    };
    std::vector<CWorkerThread> m_workers;

    std::shared_ptr<CQueueDocument> m_pDocument;
    std::shared_ptr<IMessageSink> m_pWnd;
    IPrompts* m_pPrompts = nullptr;
    CArticleList* m_pArticleList = nullptr;
    IClock* m_pClock = nullptr;
    std::function<void(const std::string&)> m_fnStatus;
    std::function<void()> m_fnEnded;
    std::function<void(const std::string&)> m_fnFailed;
    std::function<void(const std::shared_ptr<CArticle>&)> m_fnArticle;
};
