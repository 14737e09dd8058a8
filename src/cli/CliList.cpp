// dravelin-cli list: lists a newsgroup through the real listing worker, the
// way Go does in the desktop program, and prints every listed article.

#include "CliCommand.h"
#include "CliFormat.h"
#include "CliPrompts.h"
#include "gateway/real/UsenetGateway.h"
#include "listing/HeaderRetrieval.h"
#include "model/QueueDocument.h"
#include "net/GatewayHosts.h"
#include "settings/ProfileFile.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <deque>
#include <mutex>
#include <string>

namespace
{
std::atomic<bool> s_bInterrupted{false};

extern "C" void OnInterrupt(int)
{
    s_bInterrupted.store(true);
}

// The workers' messages, handed to the main thread as a window's queue would.
class CQueueSink : public IMessageSink
{
public:
    void PostMessage(CViewMessage msg) override
    {
        {
            std::lock_guard lock(m_mutex);
            m_queue.push_back(std::move(msg));
        }
        m_cv.notify_one();
    }
    void MessageBox(const std::string& strText) override
    {
        std::lock_guard lock(m_boxMutex);
        std::fprintf(stderr, "%s\n", strText.c_str());
        std::fflush(stderr);
    }
    bool WaitNext(CViewMessage& msg, std::chrono::milliseconds timeout)
    {
        std::unique_lock lock(m_mutex);
        if (!m_cv.wait_for(lock, timeout, [this] { return !m_queue.empty(); }))
            return false;
        msg = std::move(m_queue.front());
        m_queue.pop_front();
        return true;
    }

private:
    std::mutex m_mutex;
    std::mutex m_boxMutex;
    std::condition_variable m_cv;
    std::deque<CViewMessage> m_queue;
};

int BadArguments(const std::string& strText)
{
    std::fprintf(stderr, "dravelin-cli: %s\n", strText.c_str());
    return CliBadArguments;
}

// "MM/DD" as the date picker would hold it: that day of this year (of last
// year when the month lies ahead) at the current time of day.
bool ParseLimit(const std::string& strText, std::time_t& tLimit)
{
    if (strText.size() != 5 || strText[2] != '/')
        return false;
    for (size_t i : {0u, 1u, 3u, 4u})
        if (strText[i] < '0' || strText[i] > '9')
            return false;
    int nMonth = std::atoi(strText.substr(0, 2).c_str());
    int nDay = std::atoi(strText.substr(3, 2).c_str());
    if (nMonth < 1 || nMonth > 12 || nDay < 1 || nDay > 31)
        return false;
    std::time_t tNow = std::time(nullptr);
    std::tm tm{};
    localtime_r(&tNow, &tm);
    if (nMonth > tm.tm_mon + 1)
        tm.tm_year -= 1;
    tm.tm_mon = nMonth - 1;
    tm.tm_mday = nDay;
    tm.tm_isdst = -1;
    tLimit = std::mktime(&tm);
    return true;
}
} // namespace

int RunListCommand(const CCliContext& context, const std::vector<std::string>& args)
{
    const std::string strIni = context.folder.GetIniPath();
    CProfileFile ini;
    ini.Read(strIni);
    int32_t nService = ini.GetInt("Account", "Active", 0);
    int32_t bPort81 = ini.GetInt("Account", "UseEasyNewsPort81", 0);
    bool bHideIncomplete = false;
    bool bLimit = false;
    std::time_t tLimit = 0;
    std::string strGroup;
    for (size_t i = 0; i < args.size(); ++i)
    {
        const std::string& strArg = args[i];
        if (strArg == "--service")
        {
            if (++i >= args.size())
                return BadArguments("--service needs a value");
            const std::string& strValue = args[i];
            if (strValue == "newsguy")
                nService = ServiceNewsGuy;
            else if (strValue == "newsguy-extra")
                nService = ServiceNewsGuyExtra;
            else if (strValue == "easynews" || strValue == "easynews81")
            {
                nService = ServiceEasyNews;
                bPort81 = strValue == "easynews81";
            }
            else
                return BadArguments("unknown service: " + strValue);
        }
        else if (strArg == "--limit")
        {
            if (++i >= args.size() || !ParseLimit(args[i], tLimit))
                return BadArguments("--limit needs a date MM/DD");
            bLimit = true;
        }
        else if (strArg == "--hide-incomplete")
            bHideIncomplete = true;
        else if (IsHelpOption(strArg))
            return ShowCommandUsage("list");
        else if (!strArg.empty() && strArg[0] == '-')
            return BadArguments("unknown list argument: " + strArg);
        else if (strGroup.empty())
            strGroup = strArg;
        else
            return BadArguments("list takes one newsgroup");
    }
    if (CHeaderRetrieval::TrimNewsgroup(strGroup).empty())
        return BadArguments("list needs a newsgroup");

    // Before the accounts are read: the NewsGuy hosts follow the gateway.
    CUsenetGateway usenet;
    {
        std::string strStatus;
        usenet.Start(strIni, strStatus);
        if (!strStatus.empty())
            std::fprintf(stderr, "dravelin-cli: %s\n", strStatus.c_str());
    }
    CCliPrompts prompts;
    auto pDocument = std::make_shared<CQueueDocument>();
    pDocument->Open(strIni, &prompts);
    auto pSink = std::make_shared<CQueueSink>();
    CHeaderRetrieval retrieval(pDocument, pSink);
    retrieval.SetPrompts(&prompts);
    retrieval.m_nActiveService = nService;
    retrieval.m_bEasyNewsPort81 = bPort81;
    retrieval.m_bHideIncomplete = bHideIncomplete;
    retrieval.m_bLimit = bLimit;
    retrieval.m_tLimit = tLimit;
    retrieval.m_killFilter.LoadKillFilter(context.folder.GetPath());

    bool bEnded = false;
    retrieval.SetStatusCallback([](const std::string& strLine)
                                { std::fprintf(stderr, "%s\n", strLine.c_str()); });
    retrieval.SetRetrievalEndedCallback([&bEnded] { bEnded = true; });
    // The first page that could not be fetched ends the listing: a command
    // line tool reports it rather than going on with the next day.
    std::string strFailure;
    retrieval.SetRetrievalFailedCallback(
        [&strFailure](const std::string& strReason)
        {
            if (strFailure.empty())
                strFailure = strReason;
        });
    retrieval.SetArticleCallback(
        [](const ArticlePtr& pArticle)
        {
            std::string strLine = FormatArticleLine(*pArticle);
            strLine.push_back('\n');
            std::fwrite(strLine.data(), 1, strLine.size(), stdout);
        });

    if (!retrieval.Go(strGroup))
    {
        if (nService != 0)
            std::fprintf(stderr, "dravelin-cli: no account for service %d\n", nService);
        return CliBadArguments;
    }

    s_bInterrupted.store(false);
    struct sigaction action
    {
    };
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    struct sigaction previous
    {
    };
    sigaction(SIGINT, &action, &previous);
    bool bCancelled = false;
    while (!bEnded)
    {
        if ((s_bInterrupted.load() || !strFailure.empty()) && !bCancelled)
        {
            // Ctrl-C is the Cancel button: the worker ends before its next line.
            // A failed page stops it the same way.
            retrieval.Cancel();
            bCancelled = true;
        }
        CViewMessage msg;
        if (pSink->WaitNext(msg, std::chrono::milliseconds(100)))
            retrieval.OnViewMessage(msg);
    }
    sigaction(SIGINT, &previous, nullptr);
    retrieval.JoinWorkers();
    std::fflush(stdout);
    if (!strFailure.empty())
    {
        std::fprintf(stderr, "dravelin-cli: cannot list %s: %s\n", strGroup.c_str(), strFailure.c_str());
        return CliFailed;
    }
    std::fflush(stderr);
    return CliOk;
}
