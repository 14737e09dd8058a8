// The listing workers against the in-process gateway simulator.

#include "gateway/GatewaySimulator.h"
#include "listing/EasyNewsListingWorker.h"
#include "listing/EasyNewsParser.h"
#include "listing/NewsGuyListingWorker.h"
#include "net/GatewayHosts.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>
#include <thread>
#include <tuple>

using testsupport::RecordingSink;

namespace
{
struct CRun
{
    std::vector<ArticlePtr> articles;
    std::vector<int> progress;
    std::vector<std::string> status;
    int nDone = 0;
};

class ListingWorkerTest : public ::testing::Test
{
protected:
    void StartGateway(CGatewayOptions options = {})
    {
        m_pGateway = std::make_unique<CGatewaySimulator>(std::move(options));
        ASSERT_NE(m_pGateway->Start(), 0);
        m_pAccount->m_strHeaderDomain = m_pGateway->HostPort();
    }

    // Runs the service's worker to its end message; fnEach may act on every
    // message (Cancel).
    CRun Run(const std::string& strGroup, const std::function<void(const CViewMessage&, CRun&)>& fnEach = {})
    {
        auto pParams = std::make_unique<CRetrieveParams>();
        pParams->m_hWnd = m_pSink;
        pParams->m_hRunEvent = m_pRunEvent;
        pParams->m_strNewsgroup = strGroup;
        pParams->m_pAccount = m_pAccount;
        pParams->m_pSettings = m_pSettings;
        pParams->m_bEasyNewsPort81 = m_bPort81;
        m_pRunEvent->Set();
        std::thread worker(m_pAccount->m_nService == ServiceEasyNews ? EasyNewsListingWorker
                                                                     : NewsGuyListingWorker,
                           std::move(pParams));
        CRun run;
        CViewMessage msg;
        while (m_pSink->WaitNext(msg, std::chrono::seconds(60)))
        {
            if (msg.nMessage == WM_HEADER_ITEM && msg.wParam == 1)
            {
                ++run.nDone;
                break;
            }
            if (msg.nMessage == WM_HEADER_ITEM)
                run.articles.push_back(msg.pArticle);
            else if (msg.nMessage == WM_HEADER_PROGRESS)
                run.progress.push_back(static_cast<int>(msg.wParam));
            else if (msg.nMessage == WM_STATUS_TEXT)
                run.status.push_back(msg.strText);
            if (fnEach)
                fnEach(msg, run);
        }
        worker.join();
        return run;
    }

    static size_t Count(const std::vector<std::string>& lines, const std::string& strLine)
    {
        return static_cast<size_t>(std::count(lines.begin(), lines.end(), strLine));
    }

    // The corpus gives a subject as posted. A yEnc subject behind a "(????)"
    // marker is shown with the file name in place of the marker, when the
    // parser sees the name's quotes (EasyNews pages may carry them as &quot;).
    static std::string Shown(const std::string& strSubject, const std::string& strFileName, bool bQuotesSeen)
    {
        if (bQuotesSeen && strSubject.rfind("(?\?\?\?)", 0) == 0 &&
            strSubject.find("yEnc") != std::string::npos)
            return strFileName + " " + strSubject.substr(6);
        return strSubject;
    }

    void SetUp() override
    {
        m_pAccount->m_nService = ServiceNewsGuy;
        m_pAccount->m_strUsername = "user";
        m_pAccount->m_strPassword = "secret";
        m_pSettings->m_bUseProxy = 0; // whatever the test machine's environment says
        SetEasyNewsRetryPauseMs(10);
    }

    std::unique_ptr<CGatewaySimulator> m_pGateway;
    std::shared_ptr<RecordingSink> m_pSink = std::make_shared<RecordingSink>();
    std::shared_ptr<CManualResetEvent> m_pRunEvent = std::make_shared<CManualResetEvent>(false);
    AccountPtr m_pAccount = std::make_shared<ServiceAccount>();
    std::shared_ptr<CPreferences> m_pSettings = std::make_shared<CPreferences>();
    int32_t m_bPort81 = 0;
};
} // namespace

TEST_F(ListingWorkerTest, NewsGuyListingMatchesTheCorpus)
{
    StartGateway();
    m_pAccount->m_nRetrieveBy = 1;
    m_pAccount->m_bShowOnlyBin = 1;
    m_pAccount->m_nService = ServiceNewsGuyExtra;
    CRun run = Run("alt.test");

    EXPECT_EQ(m_pAccount->m_nRetrieveBy, 3);
    EXPECT_EQ(m_pAccount->m_bShowOnlyBin, 0);
    EXPECT_FALSE(m_pRunEvent->IsSet());
    auto requests = m_pGateway->Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].m_strTarget, CGatewaySimulator::NewsGuyListTarget("alt.test"));
    EXPECT_EQ(requests[0].m_strTarget, "/news-bin/wwwlist?-sz,b1,o,n100000+alt.test");
    EXPECT_FALSE(requests[0].m_bCredentials);

    ASSERT_GE(run.status.size(), 4u);
    EXPECT_EQ(
        std::vector<std::string>(run.status.begin(), run.status.begin() + 3),
        (std::vector<std::string>{"Retrieving Headers...", "Open InternetSession...", "Open Request..."}));
    EXPECT_TRUE(run.status[3].rfind("HTTP/1.1 200", 0) == 0 &&
                run.status[3].find("\r\n") != std::string::npos);
    EXPECT_FALSE(run.progress.empty());
    EXPECT_EQ(run.progress.back(), 100);

    auto expected = m_pGateway->Articles("alt.test");
    ASSERT_EQ(run.articles.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i)
    {
        const CArticle& a = *run.articles[i];
        const CGatewayArticle& e = expected[i];
        SCOPED_TRACE("article " + std::to_string(i) + " " + e.m_strSubjectHtml);
        EXPECT_EQ(std::tie(a.m_strSubject, a.m_strAuthor, a.m_strDate, a.m_strDecodeQuery),
                  std::make_tuple(Shown(e.m_strSubject, e.m_strFileName, true), e.m_strAuthor, e.m_strDate,
                                  e.m_strDecodeQuery));
        EXPECT_EQ(std::make_tuple(a.m_nSize, a.m_nState, a.m_nService),
                  std::make_tuple(e.m_nListedSize, e.m_bComplete ? StateListed : StateIncomplete,
                                  ServiceNewsGuyExtra));
    }

    run = Run("alt.not.carried");
    EXPECT_TRUE(run.articles.empty());
    EXPECT_EQ(Count(run.status, "Cannot access Newsgroup."), 1u);
    EXPECT_EQ(run.nDone, 1);
}

// The login is answered only when the gateway asks for it; a wrong password
// is tried twice, said once, and ends the retrieval.
TEST_F(ListingWorkerTest, LoginAnsweredOnlyWhenChallenged)
{
    CGatewayOptions options;
    options.m_users = {{"user", "secret"}};
    StartGateway(options);
    CRun run = Run("alt.test");
    EXPECT_EQ(Count(run.status, "Sending NewsGuy Password..."), 1u);
    EXPECT_TRUE(m_pSink->MessageBoxes().empty());
    EXPECT_EQ(run.articles.size(), static_cast<size_t>(m_pGateway->ArticleCount("alt.test")));
    auto requests = m_pGateway->Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_FALSE(requests[0].m_bCredentials);
    EXPECT_TRUE(requests[1].m_bCredentials);
    EXPECT_EQ(requests[1].m_strUser, "user");

    m_pAccount->m_strPassword = "other";
    for (const char* pszService : {"NewsGuy", "EasyNews"})
    {
        SCOPED_TRACE(pszService);
        m_pGateway->ClearRequests();
        m_pAccount->m_nService = pszService[0] == 'E' ? ServiceEasyNews : ServiceNewsGuy;
        run = Run("alt.test");
        EXPECT_EQ(Count(run.status, "Sending " + std::string(pszService) + " Password..."), 2u);
        EXPECT_EQ(m_pSink->MessageBoxes().back(),
                  "The configured password for " + std::string(pszService) + " is incorrect!");
        EXPECT_TRUE(run.articles.empty());
        EXPECT_EQ(run.nDone, 1);
        EXPECT_EQ(m_pGateway->RequestCount(), 2u); // no third request
        EXPECT_FALSE(m_pRunEvent->IsSet());
    }
    EXPECT_EQ(m_pSink->MessageBoxes().size(), 2u);
}

TEST_F(ListingWorkerTest, NewsGuyCancelStopsBeforeTheNextLine)
{
    CGatewayOptions options;
    options.m_groups.push_back(CGatewayGroup{"alt.binaries.big", 100000, 0, 0, false});
    StartGateway(options);
    CRun run = Run("alt.binaries.big",
                   [this](const CViewMessage& msg, CRun& r)
                   {
                       if (msg.nMessage == WM_HEADER_ITEM && r.articles.size() == 10)
                           m_pRunEvent->Reset();
                   });
    EXPECT_EQ(run.nDone, 1);
    EXPECT_GE(run.articles.size(), 10u);
    EXPECT_LT(run.articles.size(), 100000u);
    // The articles listed before Cancel are whole ones, in order.
    auto first = m_pGateway->Article("alt.binaries.big", 0);
    EXPECT_EQ(run.articles[0]->m_strSubject, Shown(first.m_strSubject, first.m_strFileName, true));
}

// The group's cookie lasts for every day page; the missing day's page is not
// parsed; the port in the host wins over the port-81 flag.
TEST_F(ListingWorkerTest, EasyNewsListsEveryDayUntil404)
{
    CGatewayOptions options;
    options.m_strGroupCookie = "visit=42";
    options.m_strMissingDayBody = "x<br><input type=\"checkbox\"> <a "
                                  "href=\"/d/404\">not an article - 1 KB</a>\n";
    StartGateway(options);
    m_pAccount->m_nService = ServiceEasyNews;
    m_bPort81 = 1;
    CRun run = Run("alt.test");
    EXPECT_EQ(run.nDone, 1);
    EXPECT_FALSE(m_pRunEvent->IsSet());

    int32_t nDays = m_pGateway->DayCount("alt.test");
    ASSERT_GT(nDays, 1);
    // The first page is asked for by group, every later page by number, and the
    // first missing page ends the retrieval.
    auto requests = m_pGateway->Requests();
    std::vector<std::string> targets;
    for (size_t i = 0; i < requests.size(); ++i)
    {
        targets.push_back(requests[i].m_strTarget);
        EXPECT_EQ(requests[i].m_strCookie, i ? "visit=42" : "") << requests[i].m_strTarget;
    }
    std::vector<std::string> expectedTargets{CGatewaySimulator::EasyNewsGroupTarget("alt.test")};
    for (int32_t nDay = 0; nDay <= nDays; ++nDay)
        expectedTargets.push_back(CGatewaySimulator::EasyNewsDayTarget("alt.test", nDay));
    EXPECT_EQ(targets, expectedTargets);
    EXPECT_EQ(requests.back().m_nStatus, 404);

    std::string strHost = m_pGateway->HostPort();
    EXPECT_EQ(Count(run.status, strHost + "group.html?group=alt.test"), 1u);
    EXPECT_EQ(Count(run.status, strHost + CGatewaySimulator::EasyNewsDayTarget("alt.test", 1)), 1u);
    EXPECT_EQ(Count(run.status, "Retrieving Headers..."), 1u);
    EXPECT_EQ(Count(run.status, "Open InternetSession..."), static_cast<size_t>(nDays + 1));

    size_t nArticle = 0;
    std::time_t tNow = std::time(nullptr);
    for (int32_t nDay = 0; nDay < nDays; ++nDay)
    {
        std::string strAuthor; // carried over within a page
        std::string strDate = CEasyNewsParser::PageDate(tNow, nDay);
        for (const CGatewayArticle& e : m_pGateway->DayArticles("alt.test", nDay))
        {
            ASSERT_LT(nArticle, run.articles.size());
            const CArticle& a = *run.articles[nArticle++];
            SCOPED_TRACE("day " + std::to_string(nDay) + " " + e.m_strEasySubjectHtml);
            if (!e.m_strEasyAuthorHtml.empty())
                strAuthor = e.m_strAuthor;
            EXPECT_EQ(std::tie(a.m_strAuthor, a.m_strDecodeQuery, a.m_strDate),
                      std::tie(strAuthor, e.m_strEasyQuery, strDate));
            EXPECT_EQ(a.m_strSubject, Shown(e.m_strEasySubject, e.m_strFileName,
                                            e.m_strEasySubjectHtml.find('"') != std::string::npos));
            EXPECT_EQ(std::make_tuple(a.m_nSize, a.m_nService),
                      std::make_tuple(e.m_nEasyListedSize, ServiceEasyNews));
        }
    }
    EXPECT_EQ(nArticle, run.articles.size());
}

TEST_F(ListingWorkerTest, EasyNewsPort81FlagUsesPort81)
{
    CGatewayOptions options;
    options.m_nPort = GatewayHosts::kEasyNewsAltPort;
    m_pGateway = std::make_unique<CGatewaySimulator>(options);
    if (m_pGateway->Start() == 0)
        GTEST_SKIP() << "port 81 is not available here";
    m_pAccount->m_strHeaderDomain = "127.0.0.1";
    m_pAccount->m_nService = ServiceEasyNews;
    m_bPort81 = 1;
    CRun run = Run("alt.test");
    EXPECT_EQ(run.articles.size(), m_pGateway->Articles("alt.test").size());
    // Later pages are asked for by path, without the port of the final address.
    EXPECT_EQ(Count(run.status, "127.0.0.1" + CGatewaySimulator::EasyNewsDayTarget("alt.test", 1)), 1u);
    EXPECT_EQ(m_pGateway->Requests().back().m_nStatus, 404);
}

// NewsGuy ends quietly; EasyNews tries page after page until Cancel.
TEST_F(ListingWorkerTest, UnreachableHost)
{
    m_pAccount->m_strHeaderDomain = "127.0.0.1:" + std::to_string(testsupport::ClosedLoopbackPort());
    CRun run = Run("alt.test");
    EXPECT_EQ(run.nDone, 1);
    EXPECT_TRUE(run.articles.empty());
    ASSERT_FALSE(run.status.empty());
    EXPECT_EQ(run.status[0], "Retrieving Headers...");
    EXPECT_FALSE(m_pRunEvent->IsSet());

    m_pAccount->m_nService = ServiceEasyNews;
    run = Run("alt.test",
              [this](const CViewMessage& msg, CRun& r)
              {
                  if (msg.nMessage == WM_STATUS_TEXT && Count(r.status, "Open InternetSession...") == 3)
                      m_pRunEvent->Reset();
              });
    EXPECT_EQ(run.nDone, 1);
    EXPECT_TRUE(run.articles.empty());
    EXPECT_TRUE(m_pSink->MessageBoxes().empty());
    EXPECT_GE(Count(run.status, "Open InternetSession..."), 3u);
}
