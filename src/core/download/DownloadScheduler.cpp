#include "download/DownloadScheduler.h"

#include "download/ArticleHandOff.h"
#include "download/DailyCounter.h"
#include "download/DownloadParams.h"
#include "download/DownloadWorker.h"
#include "model/ArticleList.h"
#include "model/QueueDocument.h"
#include "net/GatewayHosts.h"
#include "tools/QueueTools.h"
#include "ui/ListView.h"
#include "ui/MessageSink.h"
#include "ui/Prompts.h"

#include <filesystem>
#include <sys/stat.h>
#include <system_error>
#include <thread>
#include <unordered_map>

namespace
{
constexpr const char* kAskRemoveQueued =
    "Article is queued for downloading.\nAre you sure you want to remove it from the queue?";
constexpr const char* kAskExportedAgain =
    "Article was copied to Clipboard.\nDo you want to download it again?";
constexpr const char* kAskDoneAgain =
    "Article was downloaded successfully.\nDo you want to download it again?";
constexpr const char* kIncomplete = "Article is incomplete. It cannot be downloaded!";
constexpr const char* kNoAccount = "The account information for this article is no longer available!";

// Deletes the partial file of a failed download: only a file that this
// article's attempts since it was queued wrote, and only while it is still
// that file. A folder is never deleted.
void DeletePartialFile(CArticle& article)
{
    if (!article.GetTransfer().m_bWroteOwnFile || article.GetTransfer().m_strOwnFile.empty())
        return;
    CArticleTransfer& transfer = article.Transfer();
    transfer.m_bWroteOwnFile = false;
    struct stat st
    {
    };
    if (::stat(transfer.m_strOwnFile.c_str(), &st) != 0 || S_ISDIR(st.st_mode) ||
        static_cast<uint64_t>(st.st_dev) != transfer.m_nOwnFileDev ||
        static_cast<uint64_t>(st.st_ino) != transfer.m_nOwnFileIno)
        return;
    std::error_code ec;
    std::filesystem::remove(transfer.m_strOwnFile, ec);
}
} // namespace

CDownloadScheduler::CDownloadScheduler(std::shared_ptr<CQueueDocument> pDoc, CArticleList& articles,
                                       CArticleList& progress, std::shared_ptr<IMessageSink> pSink,
                                       IPrompts* pPrompts)
    : m_pDoc(std::move(pDoc)), m_lstArticles(articles), m_lstProgress(progress), m_pSink(std::move(pSink)),
      m_pPrompts(pPrompts)
{
}

void CDownloadScheduler::SetPaused(bool bPaused)
{
    if (bPaused == m_bPaused)
        return;
    m_bPaused = bPaused;
    if (m_onPauseChanged)
        m_onPauseChanged(m_bPaused);
    if (!m_bPaused)
        StartDownloads();
}

void CDownloadScheduler::SetRedraw(bool bRedraw)
{
    if (auto* pView = m_lstArticles.GetView())
        pView->SetRedraw(bRedraw);
    if (auto* pView = m_lstProgress.GetView())
        pView->SetRedraw(bRedraw);
}

void CDownloadScheduler::RedrawRows(const CArticle* pArticle)
{
    m_lstProgress.RedrawArticleRow(pArticle);
    m_lstArticles.RedrawArticleRow(pArticle);
}

void CDownloadScheduler::MoveToEnd(const ArticlePtr& pArticle)
{
    int nRow = m_lstProgress.FindArticleRow(pArticle.get());
    if (nRow < 0)
        return;
    m_lstProgress.DeleteRow(nRow);
    m_lstProgress.AddArticleRow(pArticle);
}

void CDownloadScheduler::RemoveFromQueue(const ArticlePtr& pArticle)
{
    pArticle->m_nLists &= ~ListProgress;
    pArticle->m_nState = StateListed;
    m_lstArticles.RedrawArticleRow(pArticle.get());
    int nRow = m_lstProgress.FindArticleRow(pArticle.get());
    if (nRow >= 0)
        m_lstProgress.DeleteRow(nRow);
}

void CDownloadScheduler::QueueSelectedArticles(const std::string& strFolder)
{
    bool bHandOff = false;
    {
        std::lock_guard lock(m_pDoc->m_settings.m_lock);
        // Without a hand-off installed there is nowhere else to send them.
        bHandOff = m_pDoc->m_settings.m_bDoNotQueue && m_pHandOff != nullptr;
    }
    auto ask = [this](const char* pszText)
    {
        SetRedraw(true);
        bool bYes = m_pPrompts && m_pPrompts->AskYesNo(pszText, PromptIcon::Question);
        SetRedraw(false);
        return bYes;
    };
    auto queue = [&](const ArticlePtr& pArticle, int nRow)
    {
        if (bHandOff)
            m_pHandOff->HandOffArticle(pArticle, nRow, strFolder);
        else
            QueueArticle(pArticle, nRow, strFolder);
    };

    // A question runs an event loop in which downloads end and start and rows
    // move: the selection is taken first, and after each answer the article's
    // row and state are read again and the answer applies only when the state
    // is still the one asked about.
    std::vector<ArticlePtr> selected;
    std::unordered_map<const CArticle*, int> rows;
    for (int nRow = m_lstArticles.GetNextSelected(-1); nRow >= 0; nRow = m_lstArticles.GetNextSelected(nRow))
    {
        selected.push_back(m_lstArticles.GetArticle(nRow));
        rows[selected.back().get()] = nRow;
    }
    auto rowsAfterQuestion = [&]
    {
        rows.clear();
        for (int nRow = 0; nRow < m_lstArticles.GetItemCount(); ++nRow)
            rows[m_lstArticles.GetArticle(nRow).get()] = nRow;
    };
    auto stateOf = [](const ArticlePtr& pArticle)
    {
        std::lock_guard lock(pArticle->m_lock);
        return pArticle->m_nState;
    };
    SetRedraw(false);
    for (const ArticlePtr& pArticle : selected)
    {
        const int32_t nState = stateOf(pArticle);
        const char* pszQuestion = nState == StateQueued     ? kAskRemoveQueued
                                  : nState == StateExported ? kAskExportedAgain
                                  : nState == StateDone     ? kAskDoneAgain
                                                            : nullptr;
        if (pszQuestion)
        {
            const bool bYes = ask(pszQuestion);
            rowsAfterQuestion();
            if (!bYes || stateOf(pArticle) != nState)
                continue;
        }
        const auto itRow = rows.find(pArticle.get());
        if (itRow == rows.end())
            continue;
        const int nRow = itRow->second;
        std::lock_guard lock(pArticle->m_lock);
        if (pArticle->m_nState != nState)
            continue;
        switch (nState)
        {
        case StateListed:
        case StateFailed:
        case StateExported:
        case StateDone:
            queue(pArticle, nRow);
            break;
        case StateQueued:
            RemoveFromQueue(pArticle);
            break;
        case StateIncomplete:
            SetRedraw(true);
            if (m_pPrompts)
                m_pPrompts->ShowMessage(kIncomplete, PromptIcon::Exclamation);
            SetRedraw(false);
            break;
        default:
            break;
        }
    }
    SetRedraw(true);
    StartDownloads();
}

void CDownloadScheduler::QueueArticle(const ArticlePtr& pArticle, int nArticleRow,
                                      const std::string& strFolder)
{
    {
        std::lock_guard lock(pArticle->m_lock);
        int nRow = m_lstProgress.FindArticleRow(pArticle.get());
        if (nRow < 0)
            pArticle->m_nLists |= ListProgress;
        else
            m_lstProgress.DeleteRow(nRow);
        pArticle->m_nRetries = 0;
        pArticle->m_nState = StateQueued;
        pArticle->m_strDownloadPath = strFolder;
        // Queued afresh: the next download starts from the first byte and
        // names its file from its own answer; until it writes one, the file
        // of an earlier download is not this queueing's to delete.
        pArticle->Transfer().m_strResumeValidator.clear();
        pArticle->m_strSavedName.clear();
        pArticle->Transfer().m_bWroteOwnFile = false;
    }
    m_lstProgress.AddArticleRow(pArticle);
    if (nArticleRow > -1)
        m_lstArticles.RedrawArticleRow(pArticle.get());
    StartDownloads();
}

int32_t CDownloadScheduler::GetActiveDownloads() const
{
    std::lock_guard lock(m_pDoc->m_lock);
    return m_pDoc->m_nActiveDownloads;
}

bool CDownloadScheduler::CanStartDownloading() const
{
    std::lock_guard lock(m_pDoc->m_settings.m_lock);
    return m_lstProgress.GetItemCount() > 0 && m_pDoc->m_settings.m_nMaxDownloads != 0;
}

void CDownloadScheduler::StartDownloads()
{
    if (m_bPaused)
        return;
    int32_t nMaxDownloads = 0;
    {
        std::lock_guard lock(m_pDoc->m_settings.m_lock);
        nMaxDownloads = m_pDoc->m_settings.m_nMaxDownloads;
    }
    if (GetActiveDownloads() < nMaxDownloads)
    {
        const int nRows = m_lstProgress.GetItemCount();
        for (int nRow = 0; nRow < nRows && nRow < m_lstProgress.GetItemCount(); ++nRow)
        {
            ArticlePtr pArticle = m_lstProgress.GetArticle(nRow);
            // Only this thread changes the state of a queued article.
            int32_t nState = 0;
            {
                std::lock_guard lock(pArticle->m_lock);
                nState = pArticle->m_nState;
            }
            if (nState != StateQueued)
                continue;
            AccountPtr pAccount = m_pDoc->FindAccount(pArticle->m_nService);
            if (!pAccount)
            {
                if (m_pPrompts)
                    m_pPrompts->ShowMessage(kNoAccount, PromptIcon::Exclamation);
                {
                    std::lock_guard lock(pArticle->m_lock);
                    pArticle->m_nState = StateFailed;
                }
                RedrawRows(pArticle.get());
                continue;
            }
            bool bAccountFull = false;
            {
                std::lock_guard lock(pAccount->m_lock);
                bAccountFull = pAccount->m_nRunning >= pAccount->m_nMaxDownloads;
            }
            if (bAccountFull)
            {
                RedrawRows(pArticle.get());
                continue;
            }
            if (pArticle->m_nService == ServiceNewsGuyExtra && m_pCounter &&
                !m_pCounter->AddToDailyCounter(*pArticle, true))
            {
                // The limit presses Pause; the rest of this pass still runs,
                // so other services and smaller articles may start.
                if (!m_bPaused)
                {
                    m_bPaused = true;
                    if (m_onPauseChanged)
                        m_onPauseChanged(true);
                }
                RedrawRows(pArticle.get());
                continue;
            }
            if (StartOne(pArticle, pAccount))
                StartDownloads(); // the next free slot
            break;
        }
    }
    // Nothing runs any more: the queue is done.
    if (GetActiveDownloads() <= 0 && m_pTools)
    {
        if (m_pTools->m_bHangUpWhenDone)
            m_pTools->HangUpConnections();
        if (m_pTools->m_bPowerOffWhenDone)
            m_pTools->PowerOffMachine();
    }
}

bool CDownloadScheduler::StartOne(const ArticlePtr& pArticle, const AccountPtr& pAccount)
{
    auto pParams = std::make_unique<CDownloadParams>();
    {
        std::lock_guard lock(pArticle->m_lock);
        pArticle->m_nState = StateDownloading;
        // A new event per attempt, set before the thread starts: a stop that
        // comes before the worker's first poll is not lost.
        pArticle->m_hRunEvent = std::make_shared<CManualResetEvent>(true);
        pParams->m_pRunEvent = pArticle->m_hRunEvent;
    }
    RedrawRows(pArticle.get());
    {
        std::lock_guard lock(pAccount->m_lock);
        ++pAccount->m_nRunning;
    }
    {
        std::lock_guard lock(m_pDoc->m_lock);
        ++m_pDoc->m_nActiveDownloads;
    }
    pParams->m_pView = m_pSink;
    pParams->m_pAccount = pAccount;
    // The settings live in the document; sharing its ownership keeps them
    // alive for a worker that outlasts the user interface.
    pParams->m_pSettings = std::shared_ptr<CPreferences>(m_pDoc, &m_pDoc->m_settings);
    pParams->m_pArticle = pArticle;
    pParams->m_bPort81 = pArticle->m_nService == ServiceEasyNews && m_bEasyNewsPort81;
    if (StartWorkerThread(std::move(pParams)))
        return true;

    // No thread: the article waits again and both counts fall back.
    {
        std::lock_guard lock(pArticle->m_lock);
        pArticle->m_nState = StateQueued;
        pArticle->m_hRunEvent.reset();
    }
    {
        std::lock_guard lock(pAccount->m_lock);
        --pAccount->m_nRunning;
    }
    {
        std::lock_guard lock(m_pDoc->m_lock);
        --m_pDoc->m_nActiveDownloads;
    }
    if (pArticle->m_nService == ServiceNewsGuyExtra && m_pCounter)
        m_pCounter->GiveBack(*pArticle);
    RedrawRows(pArticle.get());
    return false;
}

bool CDownloadScheduler::StartWorkerThread(std::unique_ptr<CDownloadParams> pParams)
{
    try
    {
        std::thread(DownloadWorker, std::move(pParams)).detach();
        return true;
    }
    catch (const std::system_error&)
    {
        return false;
    }
}

void CDownloadScheduler::OnDownloadDone(bool bSuccess, const ArticlePtr& pArticle)
{
    {
        std::lock_guard lock(m_pDoc->m_lock);
        --m_pDoc->m_nActiveDownloads;
    }
    if (pArticle)
    {
        std::lock_guard lock(pArticle->m_lock);
        switch (pArticle->m_nState)
        {
        case StateDownloading:
            if (bSuccess)
            {
                pArticle->m_nState = StateDone;
            }
            else
            {
                ++pArticle->m_nRetries;
                std::lock_guard settingsLock(m_pDoc->m_settings.m_lock);
                const CPreferences& settings = m_pDoc->m_settings;
                if (pArticle->m_nService == ServiceNewsGuyExtra && m_pCounter)
                    m_pCounter->GiveBack(*pArticle); // a retry is counted once
                if (pArticle->m_nRetries > settings.m_nMaxRetries && !settings.m_bRetryInfinite)
                {
                    pArticle->m_nState = StateFailed;
                    pArticle->Transfer().m_strResumeValidator.clear();
                    if (!settings.m_bKeepFailed)
                        DeletePartialFile(*pArticle);
                }
                else
                {
                    pArticle->m_nState = StateQueued;
                    MoveToEnd(pArticle);
                }
            }
            RedrawRows(pArticle.get());
            break;
        case StateCancelled:
            if (pArticle->m_nLists & ListProgress)
            {
                pArticle->m_nState = StateQueued;
                MoveToEnd(pArticle);
                m_lstArticles.RedrawArticleRow(pArticle.get());
                break;
            }
            // Cancelled, then removed from the queue before its worker
            // ended: finished like a removal.
            [[fallthrough]];
        case StateRemoving:
            pArticle->m_nState = StateListed;
            // Still listed: show it as listed. Otherwise the message held the
            // last reference and the article goes with it.
            m_lstArticles.RedrawArticleRow(pArticle.get());
            break;
        default:
            break;
        }
    }
    StartDownloads();
}

void CDownloadScheduler::OnDiskFull()
{
    bool bDeleteTemp = false;
    bool bEmptyTrash = false;
    {
        std::lock_guard lock(m_pDoc->m_settings.m_lock);
        bDeleteTemp = m_pDoc->m_settings.m_bDeleteTempInet != 0;
        bEmptyTrash = m_pDoc->m_settings.m_bEmptyRecycleBin != 0;
    }
    if (!m_pTools)
        return;
    if (bDeleteTemp && !m_pTools->m_bDeletingTempFiles)
        m_pTools->DeleteTemporaryInternetFiles();
    if (bEmptyTrash && !m_pTools->m_bEmptyingRecycleBin)
        m_pTools->EmptyTheRecycleBin();
}

bool CDownloadScheduler::HandleMessage(const CViewMessage& msg)
{
    switch (msg.nMessage)
    {
    case WM_DOWNLOAD_DONE:
        OnDownloadDone(msg.wParam != 0, msg.pArticle);
        return true;
    case WM_DISK_FULL:
        OnDiskFull();
        return true;
    default:
        return false;
    }
}

void CDownloadScheduler::ShutdownDownloads()
{
    for (int nRow = m_lstProgress.GetItemCount() - 1; nRow >= 0; --nRow)
    {
        ArticlePtr pArticle = m_lstProgress.GetArticle(nRow);
        {
            std::lock_guard lock(pArticle->m_lock);
            if (pArticle->m_nState == StateDownloading)
            {
                pArticle->m_nState = StateShutdown;
                if (pArticle->m_hRunEvent)
                    pArticle->m_hRunEvent->Reset();
            }
            pArticle->m_nLists &= ~ListProgress;
        }
        m_lstProgress.DeleteRow(nRow);
    }
}
