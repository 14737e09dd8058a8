// dravelin-cli download: runs the saved queue headless with the real
// scheduler and workers, until nothing runs and nothing can start.

#include "CliCommand.h"
#include "CliPrompts.h"
#include "download/DailyCounter.h"
#include "download/DownloadOptions.h"
#include "download/DownloadScheduler.h"
#include "gateway/real/UsenetGateway.h"
#include "model/ArticleList.h"
#include "model/QueueDocument.h"
#include "model/QueueFile.h"
#include "settings/ProfileFile.h"
#include "ui/Clock.h"
#include "ui/MessageQueue.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <map>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace
{
std::atomic<int> g_nInterrupts{0};

extern "C" void OnDownloadInterrupt(int)
{
    g_nInterrupts.fetch_add(1);
}

// The view's timer 1 for the daily counter, polled by the loop.
class CCliClock : public IClock
{
public:
    std::time_t Now() const override { return std::time(nullptr); }
    void SetTimer(int nId, int64_t nPeriodMs) override
    {
        m_due[nId] = std::chrono::steady_clock::now() + std::chrono::milliseconds(nPeriodMs);
    }
    void KillTimer(int nId) override { m_due.erase(nId); }
    // Ids of timers that are due now.
    std::vector<int> TakeDue()
    {
        std::vector<int> ids;
        auto now = std::chrono::steady_clock::now();
        for (const auto& [nId, due] : m_due)
            if (due <= now)
                ids.push_back(nId);
        return ids;
    }

private:
    std::map<int, std::chrono::steady_clock::time_point> m_due;
};

// One line per running download: on a terminal a block of lines redrawn in
// place, otherwise plain lines (at most one a second per download).
class CProgressDisplay
{
public:
    CProgressDisplay() : m_bTerminal(::isatty(STDOUT_FILENO) == 1) {}

    // A status line on stderr, kept clear of the progress block.
    void Status(const std::string& strText)
    {
        std::string strLine = strText;
        while (!strLine.empty() && (strLine.back() == '\n' || strLine.back() == '\r'))
            strLine.pop_back();
        Clear();
        std::fprintf(stderr, "%s\n", strLine.c_str());
        std::fflush(stderr);
        m_bDirty = true;
    }

    void Report(const CArticleList& progress, const CArticle* pReported)
    {
        if (m_bTerminal)
        {
            m_bDirty = true;
            return;
        }
        for (int i = 0; i < progress.GetItemCount(); ++i)
        {
            const ArticlePtr& pArticle = progress.GetArticle(i);
            if (pArticle.get() != pReported)
                continue;
            auto now = std::chrono::steady_clock::now();
            auto& last = m_lastPlain[pReported];
            if (now - last < std::chrono::seconds(1))
                return;
            last = now;
            std::printf("%s\n", Line(*pArticle, false).c_str());
            std::fflush(stdout);
        }
    }

    // Redraws the block (terminal only), at most five times a second.
    void Redraw(const CArticleList& progress, bool bForce = false)
    {
        if (!m_bTerminal || (!m_bDirty && !bForce))
            return;
        auto now = std::chrono::steady_clock::now();
        if (!bForce && now - m_lastDraw < std::chrono::milliseconds(200))
            return;
        m_lastDraw = now;
        Clear();
        std::string strBlock;
        int nLines = 0;
        for (int i = 0; i < progress.GetItemCount(); ++i)
        {
            const ArticlePtr& pArticle = progress.GetArticle(i);
            {
                std::lock_guard lock(pArticle->m_lock);
                if (pArticle->m_nState != StateDownloading)
                    continue;
            }
            strBlock += Line(*pArticle, true) + "\n";
            ++nLines;
        }
        std::fputs(strBlock.c_str(), stdout);
        std::fflush(stdout);
        m_nLines = nLines;
        m_bDirty = false;
    }

    void Clear()
    {
        if (!m_bTerminal || m_nLines == 0)
            return;
        // Up over the block and clear to the end of the screen.
        std::printf("\x1b[%dA\x1b[J", m_nLines);
        std::fflush(stdout);
        m_nLines = 0;
    }

    void Forget(const CArticle* pArticle) { m_lastPlain.erase(pArticle); }

private:
    static std::string Line(const CArticle& article, bool bBar)
    {
        std::string strName;
        std::string strPath;
        std::string strTimeLeft;
        float fSpeed = 0;
        int64_t nSize = 0;
        {
            std::lock_guard lock(article.m_lock);
            strName = article.m_strSavedName.empty() ? article.m_strSubject : article.m_strSavedName;
            strPath = article.m_strDownloadPath + article.m_strSavedName;
            const CArticleTransfer& transfer = article.GetTransfer();
            strTimeLeft = transfer.m_strTimeLeft.empty() ? "--:--:--" : transfer.m_strTimeLeft;
            fSpeed = transfer.m_fSpeed;
            nSize = article.GetSize();
        }
        // The bytes on disk: a continued download counts its whole file.
        int64_t nHave = 0;
        struct stat st
        {
        };
        if (!strPath.empty() && ::stat(strPath.c_str(), &st) == 0 && S_ISREG(st.st_mode))
            nHave = st.st_size;
        int nPercent = nSize > 0 ? static_cast<int>(std::min<int64_t>(100, nHave * 100 / nSize)) : 0;
        char szSpeed[32];
        if (fSpeed > 0)
            std::snprintf(szSpeed, sizeof(szSpeed), "%.1f kB/s", static_cast<double>(fSpeed));
        else
            std::snprintf(szSpeed, sizeof(szSpeed), "-- kB/s");
        char szLine[512];
        if (bBar)
        {
            constexpr int kWidth = 24;
            std::string strBar(static_cast<size_t>(nPercent * kWidth / 100), '#');
            strBar.resize(kWidth, '.');
            std::snprintf(szLine, sizeof(szLine), "[%s] %3d%% %14s %s %.60s", strBar.c_str(), nPercent,
                          szSpeed, strTimeLeft.c_str(), strName.c_str());
        }
        else
            std::snprintf(szLine, sizeof(szLine), "%s %d%% %s %s", strName.c_str(), nPercent, szSpeed,
                          strTimeLeft.c_str());
        return szLine;
    }

    bool m_bTerminal;
    bool m_bDirty = false;
    int m_nLines = 0;
    std::chrono::steady_clock::time_point m_lastDraw{};
    std::map<const CArticle*, std::chrono::steady_clock::time_point> m_lastPlain;
};

bool RunningWorkers(const CQueueDocument& doc)
{
    for (const auto& pAccount : doc.m_accounts)
    {
        std::lock_guard lock(pAccount->m_lock);
        if (pAccount->m_nRunning > 0)
            return true;
    }
    return false;
}

int Usage(const std::string& strText)
{
    std::fprintf(stderr, "dravelin-cli: %s\nusage: dravelin-cli [--data-dir DIR] download [--max N]\n",
                 strText.c_str());
    return CliBadArguments;
}
} // namespace

int RunDownloadCommand(const CCliContext& context, const std::vector<std::string>& args)
{
    int32_t nMax = -1;
    std::string strCommandLine;
    for (size_t i = 0; i < args.size(); ++i)
    {
        strCommandLine += args[i] + " ";
        if (args[i] == "--max")
        {
            if (i + 1 >= args.size())
                return Usage("--max needs a number");
            char* pEnd = nullptr;
            long n = std::strtol(args[i + 1].c_str(), &pEnd, 10);
            if (*pEnd != '\0' || args[i + 1].empty() || n < 1 || n > 1000)
                return Usage("--max must be a number from 1 to 1000");
            nMax = static_cast<int32_t>(n);
            ++i;
        }
        else if (IsHelpOption(args[i]))
            return ShowCommandUsage("download");
        else if (!CDownloadOptions::CommandLineDisablesProgress(args[i]))
            return Usage("unknown download argument: " + args[i]);
    }
    if (CDownloadOptions::CommandLineDisablesProgress(strCommandLine))
        CDownloadOptions::SetProgressDisabled(true);

    CCliPrompts prompts;
    const std::string strIni = context.folder.GetIniPath();
    // Before the accounts are read: the NewsGuy hosts follow the gateway.
    CUsenetGateway usenet;
    {
        std::string strStatus;
        usenet.Start(strIni, strStatus);
        if (!strStatus.empty())
            std::fprintf(stderr, "dravelin-cli: %s\n", strStatus.c_str());
    }
    auto pDoc = std::make_shared<CQueueDocument>();
    pDoc->Open(strIni, &prompts);
    bool bLoadQueue = false;
    bool bLoadAll = false;
    bool bSaveQueue = false;
    {
        std::lock_guard lock(pDoc->m_settings.m_lock);
        if (nMax > 0)
            pDoc->m_settings.m_nMaxDownloads = nMax;
        bLoadQueue = pDoc->m_settings.m_bLoadQueue != 0;
        bLoadAll = pDoc->m_settings.m_bLoadOriginalQueue != 0;
        bSaveQueue = pDoc->m_settings.m_bSaveQueue != 0;
    }

    CArticleList articles(CArticleList::KindArticles);
    CArticleList progress(CArticleList::KindProgress);
    progress.SetPrompts(&prompts);
    const std::string strQueue = context.folder.GetQueuePath();
    if (bLoadQueue)
    {
        CQueueLoadResult result = CQueueFile::LoadQueueFile(strQueue, bLoadAll, progress);
        if (!result.strError.empty())
            std::fprintf(stderr, "dravelin-cli: %s: %s\n", strQueue.c_str(), result.strError.c_str());
    }
    else
        std::fprintf(stderr, "dravelin-cli: the queue is not loaded (LoadQueue is off)\n");

    CProgressDisplay display;
    auto pQueue = std::make_shared<CMessageQueue>(
        [](const std::string& strText) { std::fprintf(stderr, "dravelin-cli: %s\n", strText.c_str()); });
    CCliClock clock;
    CDailyCounter counter;
    counter.SetupDailyCounter(strIni, &clock);
    CDownloadScheduler scheduler(pDoc, articles, progress, pQueue, &prompts);
    scheduler.SetDailyCounter(&counter);
    // EasyNews downloads take the port the desktop program last used.
    scheduler.SetEasyNewsPort81(CProfileFile::GetProfileInt("Account", "UseEasyNewsPort81", 0, strIni) != 0);
    // Ctrl-C presses Pause too; only the counter's pause is the daily limit.
    bool bInterrupted = false;
    scheduler.SetPauseChanged(
        [&](bool bPaused)
        {
            if (bPaused && !bInterrupted)
                display.Status("Paused: the NewsGuy daily download limit is reached (" +
                               counter.GetCountText() + ")");
        });

    struct sigaction action
    {
    };
    action.sa_handler = OnDownloadInterrupt;
    sigemptyset(&action.sa_mask);
    struct sigaction oldInt
    {
    };
    struct sigaction oldTerm
    {
    };
    sigaction(SIGINT, &action, &oldInt);
    sigaction(SIGTERM, &action, &oldTerm);

    auto handle = [&](const CViewMessage& msg)
    {
        switch (msg.nMessage)
        {
        case WM_STATUS_TEXT:
            if (msg.wParam == 0)
                display.Status(msg.strText);
            else if (msg.pArticle)
                display.Report(progress, msg.pArticle.get());
            break;
        case WM_DOWNLOAD_DONE:
            if (msg.pArticle)
            {
                display.Forget(msg.pArticle.get());
                std::string strSubject;
                {
                    std::lock_guard lock(msg.pArticle->m_lock);
                    strSubject = msg.pArticle->m_strSubject;
                }
                display.Status((msg.wParam ? "Downloaded: " : "Attempt failed: ") + strSubject);
            }
            scheduler.HandleMessage(msg);
            break;
        default:
            scheduler.HandleMessage(msg);
            break;
        }
    };

    // The articles this run is for: those waiting now. Finished and failed
    // ones of earlier runs come back with the whole queue but are not counted.
    std::vector<ArticlePtr> thisRun;
    for (int i = 0; i < progress.GetItemCount(); ++i)
    {
        const ArticlePtr& pArticle = progress.GetArticle(i);
        std::lock_guard lock(pArticle->m_lock);
        if (pArticle->m_nState == StateQueued)
            thisRun.push_back(pArticle);
    }
    scheduler.StartDownloads();
    for (;;)
    {
        if (g_nInterrupts.load() > 0)
        {
            bInterrupted = true;
            break;
        }
        if (scheduler.GetActiveDownloads() <= 0 && pQueue->GetPending() == 0)
            break; // nothing runs and nothing could start
        // A signal does not wake the wait; a short one keeps Ctrl-C prompt.
        CViewMessage msg;
        if (pQueue->Wait(msg, std::chrono::milliseconds(50)))
            handle(msg);
        for (int nId : clock.TakeDue())
            counter.OnTimer(nId);
        display.Redraw(progress);
    }

    if (bInterrupted)
    {
        display.Status("Stopping downloads...");
        // Nothing new starts; the running ones stop after their current block
        // and are left to their workers, which report nothing.
        scheduler.SetPaused(true);
        const auto stopStart = std::chrono::steady_clock::now();
        std::vector<ArticlePtr> stopped;
        for (int i = 0; i < progress.GetItemCount(); ++i)
        {
            const ArticlePtr& pArticle = progress.GetArticle(i);
            std::lock_guard lock(pArticle->m_lock);
            if (pArticle->m_nState != StateDownloading)
                continue;
            pArticle->m_nState = StateShutdown;
            if (pArticle->m_hRunEvent)
                pArticle->m_hRunEvent->Reset();
            stopped.push_back(pArticle);
        }
        // A second Ctrl-C stops waiting.
        int nInterrupts = g_nInterrupts.load();
        while (RunningWorkers(*pDoc) && g_nInterrupts.load() == nInterrupts)
        {
            CViewMessage msg;
            if (pQueue->Wait(msg, std::chrono::milliseconds(5)))
                handle(msg);
        }
        const auto nStopMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                                 std::chrono::steady_clock::now() - stopStart)
                                 .count();
        display.Status("Downloads stopped in " + std::to_string(nStopMs) + " ms");
        // They wait again in the saved queue.
        for (const auto& pArticle : stopped)
        {
            std::lock_guard lock(pArticle->m_lock);
            pArticle->m_nState = StateQueued;
        }
        {
            std::lock_guard lock(pDoc->m_lock);
            pDoc->m_nActiveDownloads = 0;
        }
    }
    display.Clear();

    if (bSaveQueue)
    {
        std::string strError;
        if (!CQueueFile::SaveQueueFile(strQueue, progress, &strError))
            std::fprintf(stderr, "dravelin-cli: %s\n", strError.c_str());
    }
    sigaction(SIGINT, &oldInt, nullptr);
    sigaction(SIGTERM, &oldTerm, nullptr);

    size_t nDone = 0;
    for (const auto& pArticle : thisRun)
    {
        std::lock_guard lock(pArticle->m_lock);
        nDone += pArticle->m_nState == StateDone;
    }
    std::fprintf(stderr, "%zu of %zu articles downloaded%s\n", nDone, thisRun.size(),
                 bInterrupted ? " (stopped)" : "");
    // Workers still in their failure wait are abandoned, as at any exit.
    return nDone == thisRun.size() && !bInterrupted ? CliOk : CliFailed;
}
