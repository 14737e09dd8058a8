#include "listing/HeaderRetrieval.h"

#include "listing/EasyNewsListingWorker.h"
#include "listing/NewsGuyListingWorker.h"
#include "model/ArticleList.h"
#include "model/QueueDocument.h"
#include "net/GatewayHosts.h"
#include "ui/Clock.h"
#include "ui/Prompts.h"

#include <cstdlib>
#include <new>
#include <thread>

CHeaderRetrieval::CHeaderRetrieval(std::shared_ptr<CQueueDocument> pDocument,
                                   std::shared_ptr<IMessageSink> pWnd)
    : m_pDocument(std::move(pDocument)), m_pWnd(std::move(pWnd))
{
}

std::string CHeaderRetrieval::TrimNewsgroup(const std::string& strText)
{
    size_t nStart = strText.find_first_not_of(" \t\r\n");
    if (nStart == std::string::npos)
        return std::string();
    size_t nEnd = strText.find_last_not_of(" \t\r\n");
    return strText.substr(nStart, nEnd - nStart + 1);
}

bool CHeaderRetrieval::AddFavourite(std::vector<std::string>& favourites, const std::string& strNewsgroup)
{
    auto lower = [](std::string str)
    {
        for (char& c : str)
            if (c >= 'A' && c <= 'Z')
                c = static_cast<char>(c - 'A' + 'a');
        return str;
    };
    std::string strLower = lower(strNewsgroup);
    for (const std::string& strEntry : favourites)
        if (lower(strEntry) == strLower)
            return false;
    favourites.push_back(strNewsgroup);
    return true;
}

std::string CHeaderRetrieval::ServiceTitle(int32_t nService, bool bPort81)
{
    switch (nService)
    {
    case ServiceNewsGuy:
        return "Dravelin - NewsGuy";
    case ServiceNewsGuyExtra:
        return "Dravelin - NewsGuy Extra";
    case ServiceEasyNews:
        return bPort81 ? "Dravelin - EasyNews:81" : "Dravelin - EasyNews:80";
    default:
        return "Dravelin";
    }
}

std::string CHeaderRetrieval::WindowTitle(const std::string& strNewsgroup, int32_t nService, bool bPort81)
{
    return strNewsgroup + " - " + ServiceTitle(nService, bPort81);
}

bool CHeaderRetrieval::Go(const std::string& strNewsgroupText)
{
    if (m_nActiveService == 0)
    {
        if (m_pPrompts)
            m_pPrompts->ShowMessage("Please, select a News Service Provider in the Service-menu first.",
                                    PromptIcon::Exclamation);
        return false;
    }
    std::string strNewsgroup = TrimNewsgroup(strNewsgroupText);
    if (strNewsgroup.empty())
        return false;
    if (m_nActiveService != ServiceNewsGuy && m_nActiveService != ServiceNewsGuyExtra &&
        m_nActiveService != ServiceEasyNews)
        return false;
    AccountPtr pAccount = m_pDocument ? m_pDocument->FindAccount(m_nActiveService) : nullptr;
    if (!pAccount)
        return false;

    std::unique_ptr<CRetrieveParams> pParams;
    try
    {
        pParams = std::make_unique<CRetrieveParams>();
        pParams->m_hWnd = m_pWnd;
        pParams->m_hRunEvent = m_hHeaderRunEvent;
        pParams->m_strNewsgroup = strNewsgroup;
        pParams->m_pAccount = pAccount;
        // The settings live inside the document; sharing the document's
        // ownership keeps them alive for the worker.
        pParams->m_pSettings = std::shared_ptr<CPreferences>(m_pDocument, &m_pDocument->m_settings);
        pParams->m_bEasyNewsPort81 = m_nActiveService == ServiceEasyNews ? m_bEasyNewsPort81 : 0;
        pParams->m_pRunCount = m_pRunCount;
    }
    catch (const std::bad_alloc&)
    {
        return false;
    }

    m_pRunCount->Start(*m_hHeaderRunEvent);
    ReapWorkers();
    try
    {
        auto pFinished = std::make_shared<std::atomic<bool>>(false);
        int (*pfnWorker)(std::unique_ptr<CRetrieveParams>) =
            m_nActiveService == ServiceEasyNews ? EasyNewsListingWorker : NewsGuyListingWorker;
        std::thread worker(
            [pfnWorker, pFinished, pParams = std::move(pParams)]() mutable
            {
                pfnWorker(std::move(pParams));
                pFinished->store(true);
            });
        m_workers.push_back(CWorkerThread{std::move(worker), pFinished});
    }
    catch (const std::exception&)
    {
        m_pRunCount->End(*m_hHeaderRunEvent);
        return false;
    }
    return true;
}

CHeaderRetrieval::~CHeaderRetrieval()
{
    for (auto& worker : m_workers)
        if (worker.thread.joinable())
            worker.thread.detach();
}

void CHeaderRetrieval::ReapWorkers()
{
    for (auto it = m_workers.begin(); it != m_workers.end();)
    {
        if (it->pFinished->load())
        {
            if (it->thread.joinable())
                it->thread.join();
            it = m_workers.erase(it);
        }
        else
            ++it;
    }
}

void CHeaderRetrieval::JoinWorkers()
{
    for (auto& worker : m_workers)
        if (worker.thread.joinable())
            worker.thread.join();
    m_workers.clear();
}

void CHeaderRetrieval::Cancel()
{
    m_hHeaderRunEvent->Reset();
}

void CHeaderRetrieval::AppendStatusLine(const std::string& strText)
{
    if (m_fnStatus)
        m_fnStatus(strText);
}

bool CHeaderRetrieval::IsBeforeDateLimit(const std::string& strDate, std::time_t tLimit, std::time_t tNow)
{
    int nMonth = std::atoi(strDate.substr(0, 2).c_str());
    int nDay = std::atoi(strDate.size() >= 2 ? strDate.substr(strDate.size() - 2).c_str() : strDate.c_str());
    std::tm now{};
    localtime_r(&tNow, &now);
    std::tm tm{};
    tm.tm_year = now.tm_year;
    if (nMonth > now.tm_mon + 1)
        tm.tm_year -= 1;
    tm.tm_mon = nMonth - 1;
    tm.tm_mday = nDay;
    tm.tm_isdst = -1;
    std::time_t tArticle = std::mktime(&tm);
    return tLimit > tArticle;
}

bool CHeaderRetrieval::IsFilteredOut(const CArticle& article) const
{
    if (m_killFilter.IsKilled(article))
        return true;
    if (m_bLimit)
    {
        std::time_t tNow = m_pClock ? m_pClock->Now() : std::time(nullptr);
        if (IsBeforeDateLimit(article.m_strDate, m_tLimit, tNow))
            return true;
    }
    return m_bHideIncomplete && article.m_nState == StateIncomplete;
}

bool CHeaderRetrieval::OnViewMessage(const CViewMessage& msg)
{
    switch (msg.nMessage)
    {
    case WM_HEADER_ITEM:
        if (msg.wParam == 1)
        {
            ReapWorkers();
            AppendStatusLine("Done retrieving headers.");
            if (m_fnEnded)
                m_fnEnded();
            return true;
        }
        if (!msg.pArticle || IsFilteredOut(*msg.pArticle))
            return true; // the last reference goes with the message
        msg.pArticle->m_nLists = ListArticles;
        if (m_pArticleList)
            m_pArticleList->AddArticleRow(msg.pArticle);
        if (m_fnArticle)
            m_fnArticle(msg.pArticle);
        return true;
    case WM_HEADER_FAILED:
        if (m_fnFailed)
            m_fnFailed(msg.strText);
        return true;
    case WM_HEADER_PROGRESS:
        AppendStatusLine("Retrieving headers: " + std::to_string(msg.wParam) + "%");
        return true;
    case WM_STATUS_TEXT:
        if (msg.wParam != 0)
            return false;
        AppendStatusLine(msg.strText);
        return true;
    default:
        return false;
    }
}
