#pragma once

// The real scheduler and workers against the in-process gateway simulator,
// with a small loop that hands the workers' messages to the scheduler as the
// view would.

#include "SchedulerFixture.h"

#include "download/DownloadOptions.h"
#include "download/ProgressCommands.h"
#include "gateway/GatewaySimulator.h"
#include "ui/MessageQueue.h"

#include <algorithm>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace downloadtest
{
// Keeps the texts of everything posted, in order, and the message boxes in
// the same log, without holding on to the articles.
class LoggingQueue : public CMessageQueue
{
public:
    LoggingQueue() : CMessageQueue([this](const std::string& strText) { Log("box:" + strText); }) {}
    void PostMessage(CViewMessage msg) override
    {
        if (msg.nMessage == WM_STATUS_TEXT && msg.wParam == 0)
            Log("status:" + msg.strText);
        else if (msg.nMessage == WM_STATUS_TEXT)
            Log("progress");
        else if (msg.nMessage == WM_DISK_FULL)
            Log("diskfull");
        else if (msg.nMessage == WM_DOWNLOAD_DONE)
            Log(msg.wParam ? "done:1" : "done:0");
        CMessageQueue::PostMessage(std::move(msg));
    }
    std::vector<std::string> GetLog() const
    {
        std::lock_guard lock(m_logLock);
        return m_log;
    }
    size_t Count(const std::string& strEntry) const
    {
        const auto log = GetLog();
        return static_cast<size_t>(std::count(log.begin(), log.end(), strEntry));
    }
    bool HasPrefix(const std::string& strPrefix) const
    {
        const auto log = GetLog();
        return std::any_of(log.begin(), log.end(),
                           [&](const std::string& s) { return s.rfind(strPrefix, 0) == 0; });
    }

private:
    void Log(std::string strEntry)
    {
        std::lock_guard lock(m_logLock);
        m_log.push_back(std::move(strEntry));
    }
    mutable std::mutex m_logLock;
    std::vector<std::string> m_log;
};

class GatewayDownloadTest : public SchedulerWorld<CDownloadScheduler, LoggingQueue>
{
public:
    static constexpr const char* kGroup = "dl.test";

protected:
    GatewayDownloadTest()
    {
        CDownloadOptions::Reset();
        CDownloadOptions::SetFailureWaitMs(20);
        CGatewayOptions options;
        options.m_nArticles = 10;
        options.m_nStallLimitMs = 3000;
        options.m_groups.push_back(CGatewayGroup{kGroup, 40, 0, 3000000, false});
        m_pSim = std::make_unique<CGatewaySimulator>(options);
        m_pSim->Start();
        m_pDoc->m_settings.m_nMaxRetries = 0;
        m_pDoc->m_settings.m_bUseProxy = 0;
        std::filesystem::create_directories(m_dir.Path() / "dl" / "sub");
    }
    ~GatewayDownloadTest() override
    {
        m_pSim->Stop();
        CDownloadOptions::Reset();
    }

    std::string Folder() const { return (m_dir.Path() / "dl" / "sub").string(); }
    AccountPtr Account(int32_t nService, int32_t nMax = 2)
    {
        return AddAccount(*m_pDoc, nService, nMax, m_pSim->HostPort());
    }
    // A listed article for gateway article nIndex as service nService lists it.
    ArticlePtr List(int32_t nIndex, int32_t nService = 1)
    {
        CGatewayArticle g = m_pSim->Article(kGroup, nIndex);
        auto pArticle = MakeListed(nService, g.m_strFileName, static_cast<int32_t>(g.m_nSize));
        pArticle->m_strFileName = g.m_strFileName;
        pArticle->m_strDecodeQuery = nService == 16 ? g.m_strEasyQuery : g.m_strDecodeQuery;
        m_articles.AddArticleRow(pArticle);
        return pArticle;
    }
    ArticlePtr Queue(int32_t nIndex, int32_t nService = 1)
    {
        auto pArticle = List(nIndex, nService);
        m_scheduler.QueueArticle(pArticle, m_articles.FindArticleRow(pArticle.get()), Folder());
        return pArticle;
    }
    CGatewayArticle Gateway(int32_t nIndex) const { return m_pSim->Article(kGroup, nIndex); }
    // The index of the (nSkip+1)th article within a size range.
    int32_t IndexOfSize(int64_t nMin, int64_t nMax, int nSkip = 0) const
    {
        for (const auto& a : m_pSim->Articles(kGroup))
            if (a.m_nSize >= nMin && a.m_nSize <= nMax && nSkip-- == 0)
                return a.m_nIndex;
        ADD_FAILURE() << "no article of " << nMin << " to " << nMax << " bytes";
        return 0;
    }
    static size_t FilesIn(const std::filesystem::path& dir)
    {
        size_t n = 0;
        for (const auto& entry : std::filesystem::directory_iterator(dir))
            n += entry.is_regular_file() || entry.is_symlink();
        return n;
    }
    void Fault(int32_t nIndex, const CGatewayFault& fault) { m_pSim->SetArticleFault(kGroup, nIndex, fault); }

    // The view's loop: handles worker messages until done() holds.
    bool RunUntil(const std::function<bool()>& done, std::chrono::seconds timeout = std::chrono::seconds(60))
    {
        auto deadline = std::chrono::steady_clock::now() + timeout;
        while (!done())
        {
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            CViewMessage msg;
            if (m_pQueue->Wait(msg, std::chrono::milliseconds(50)))
                m_scheduler.HandleMessage(msg);
        }
        return true;
    }
    bool RunUntilIdle()
    {
        return RunUntil([this]
                        { return m_scheduler.GetActiveDownloads() == 0 && m_pQueue->GetPending() == 0; });
    }
    std::string Saved(const ArticlePtr& pArticle) const
    {
        std::lock_guard lock(pArticle->m_lock);
        return testsupport::ReadFile(pArticle->m_strDownloadPath + pArticle->m_strSavedName);
    }
    std::vector<CGatewayRequest> Downloads() const
    {
        std::vector<CGatewayRequest> requests;
        for (auto& r : m_pSim->Requests())
            if (r.m_strTarget.find("wwwdecode") != std::string::npos || r.m_strTarget.rfind("/dl/", 0) == 0 ||
                r.m_strTarget.rfind("/file/", 0) == 0)
                requests.push_back(r);
        return requests;
    }

    std::unique_ptr<CGatewaySimulator> m_pSim;
};
} // namespace downloadtest
