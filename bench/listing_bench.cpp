// Listing benchmark: a 100,000-entry NewsGuy listing served by the in-process
// gateway simulator.
//   1. curl (the program) fetches the page to /dev/null: the transfer alone.
//   2. NewsGuyListingWorker lists it: request to the last article handed to
//      the sink, and the resident memory the 100,000 held articles add.
//   3. The parser alone over the page in memory: MB/s on one core.
//   4. A 300 MB page without a line feed read line by line: the peak
//      resident memory it adds (the line is cut, its rest dropped).

#include "gateway/GatewaySimulator.h"
#include "listing/LineSource.h"
#include "listing/NewsGuyListingWorker.h"
#include "listing/NewsGuyParser.h"
#include "net/GatewayHosts.h"
#include "net/HttpRequestFramework.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

using Clock = std::chrono::steady_clock;

namespace
{
long StatusKiB(const char* pszKey)
{
    std::ifstream in("/proc/self/status");
    std::string strLine;
    while (std::getline(in, strLine))
        if (strLine.rfind(pszKey, 0) == 0)
            return std::atol(strLine.c_str() + std::strlen(pszKey));
    return 0;
}

long RssKiB()
{
    return StatusKiB("VmRSS:");
}

// Reads the gateway's long-line page line by line; the count of lines.
size_t ReadLongLinePage(const std::string& strHostPort)
{
    CInternetSession session(CProxyChoice{}, HttpFlags::kListingSession);
    CHttpConnection connection(session, strHostPort, 0);
    CHttpRequest request(connection, "/long-line", HttpFlags::kNewsGuyListingRequest, false);
    size_t nLines = 0;
    std::string strLine;
    if (request.Send())
        while (request.ReadLine(strLine))
            ++nLines;
    return nLines;
}

double Seconds(Clock::duration d)
{
    return std::chrono::duration<double>(d).count();
}

// Holds every listed article, as the article list would.
class CHoldingSink : public IMessageSink
{
public:
    void PostMessage(CViewMessage msg) override
    {
        std::lock_guard lock(m_mutex);
        if (msg.nMessage == WM_HEADER_ITEM && msg.wParam == 0)
        {
            m_articles.push_back(std::move(msg.pArticle));
            m_tLast = Clock::now();
        }
        else if (msg.nMessage == WM_HEADER_ITEM && msg.wParam == 1)
            m_bDone = true;
    }
    void MessageBox(const std::string& strText) override
    {
        std::fprintf(stderr, "box: %s\n", strText.c_str());
    }

    std::mutex m_mutex;
    std::vector<ArticlePtr> m_articles;
    Clock::time_point m_tLast;
    bool m_bDone = false;
};

class CCountingSink : public IListingSink
{
public:
    void OnArticle(ArticlePtr) override { ++m_nArticles; }
    void OnProgress(int) override {}
    void OnStatusLine(const std::string&) override {}
    size_t m_nArticles = 0;
};

std::string FetchPage(const std::string& strHost, const std::string& strObject)
{
    CPreferences settings;
    settings.m_bUseProxy = 0;
    ServiceAccount account;
    HttpRequestProfile profile;
    profile.m_strHost = strHost;
    auto pSession = OpenInternetSession(ResolveProxy(settings), 0, profile);
    auto pConnection = ConnectToHost(*pSession, profile, account);
    auto pRequest = OpenHttpRequest(*pConnection, strObject, HttpFlags::kNewsGuyListingRequest, profile);
    std::string strPage;
    if (SendWithCredentials(pRequest, *pConnection, profile, account, settings) == 200)
    {
        std::vector<char> block(1024000);
        int64_t n;
        while ((n = pRequest->ReadBlock(block.data(), block.size())) > 0)
            strPage.append(block.data(), static_cast<size_t>(n));
    }
    CloseRequest(pRequest, pConnection, pSession);
    return strPage;
}
} // namespace

int main()
{
    const int nArticles = 100000;
    const std::string strGroup = "alt.binaries.bench";
    CGatewayOptions options;
    options.m_groups.push_back(CGatewayGroup{strGroup, nArticles, 0, 0, false});
    options.m_nLongLineBytes = 300000000;
    CGatewaySimulator gateway(options);
    if (gateway.Start() == 0)
    {
        std::fprintf(stderr, "gateway did not start\n");
        return 1;
    }
    const std::string strTarget = CGatewaySimulator::NewsGuyListTarget(strGroup);
    const std::string strUrl = gateway.BaseUrl() + strTarget;

    // 4. first, so the peak it adds is its own.
    const long nPeakBefore = StatusKiB("VmHWM:");
    const size_t nLongLines = ReadLongLinePage(gateway.HostPort());
    const long nPeakAfter = StatusKiB("VmHWM:");

    // 1. curl, twice (the first run also warms the simulator's corpus).
    double fCurl = 0;
    for (int i = 0; i < 2; ++i)
    {
        std::string strCommand = "curl -s --noproxy '*' -o /dev/null '" + strUrl + "'";
        auto t0 = Clock::now();
        if (std::system(strCommand.c_str()) != 0)
            std::fprintf(stderr, "curl failed\n");
        fCurl = Seconds(Clock::now() - t0);
    }

    // 2. The listing worker.
    long nRssBefore = RssKiB();
    auto pSink = std::make_shared<CHoldingSink>();
    auto pParams = std::make_unique<CRetrieveParams>();
    pParams->m_hWnd = pSink;
    pParams->m_hRunEvent = std::make_shared<CManualResetEvent>(true);
    pParams->m_strNewsgroup = strGroup;
    pParams->m_pAccount = std::make_shared<ServiceAccount>();
    pParams->m_pAccount->m_nService = ServiceNewsGuy;
    pParams->m_pAccount->m_strHeaderDomain = gateway.HostPort();
    pParams->m_pSettings = std::make_shared<CPreferences>();
    pParams->m_pSettings->m_bUseProxy = 0;
    auto t0 = Clock::now();
    std::thread worker(NewsGuyListingWorker, std::move(pParams));
    worker.join();
    double fWorker = Seconds(pSink->m_tLast - t0);
    long nRssAfter = RssKiB();
    size_t nListed = pSink->m_articles.size();

    // 3. The parser alone.
    std::string strPage = FetchPage(gateway.HostPort(), strTarget.substr(1));
    double fBest = 1e9;
    size_t nParsed = 0;
    for (int i = 0; i < 5; ++i)
    {
        CStringLineSource source(strPage);
        CCountingSink counting;
        CNewsGuyParser parser(ServiceNewsGuy);
        auto t1 = Clock::now();
        parser.ParsePage(source, counting);
        fBest = std::min(fBest, Seconds(Clock::now() - t1));
        nParsed = counting.m_nArticles;
    }
    gateway.Stop();

    double fMB = static_cast<double>(strPage.size()) / 1e6;
    std::printf("page: %.1f MB, %d entries\n", fMB, nArticles);
    std::printf("curl to /dev/null:            %.3f s\n", fCurl);
    std::printf("listing worker (to last art): %.3f s  (%zu articles, %.2f x curl)\n", fWorker, nListed,
                fWorker / fCurl);
    std::printf("parser alone:                 %.3f s  (%zu articles, %.0f MB/s)\n", fBest, nParsed,
                fMB / fBest);
    std::printf("RSS growth, %zu articles held: %.1f MB\n", nListed,
                static_cast<double>(nRssAfter - nRssBefore) / 1024.0);
    std::printf("300 MB without a line feed:   %.1f MB peak growth (%zu lines)\n",
                static_cast<double>(nPeakAfter - nPeakBefore) / 1024.0, nLongLines);
    return nLongLines == 2 && nPeakAfter - nPeakBefore < 50 * 1024 && nListed == static_cast<size_t>(nArticles) && nParsed == static_cast<size_t>(nArticles) ? 0 : 1;
}
