// The request framework: its pure rules in tables, and whole request
// sequences against the gateway simulator's download host.

#include "net/HttpRequestFramework.h"
#include "gateway/GatewaySimulator.h"
#include "settings/Preferences.h"
#include "settings/ServiceAccount.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <vector>

using testsupport::RecordingSink;

struct ProxyCase
{
    int32_t bUseProxy;
    int32_t nSetting;
    int nAccessType;
    const char* pszName;
};

class ResolveProxyTable : public ::testing::TestWithParam<ProxyCase>
{
};

TEST_P(ResolveProxyTable, AccessTypeAndName)
{
    CPreferences settings;
    settings.m_bUseProxy = GetParam().bUseProxy;
    settings.m_nProxySetting = GetParam().nSetting;
    settings.m_strProxyAddress = "proxy";
    settings.m_nProxyPort = 8080;
    CProxyChoice proxy = ResolveProxy(settings);
    EXPECT_EQ(proxy.nAccessType, GetParam().nAccessType);
    EXPECT_EQ(proxy.strProxyName, GetParam().pszName);
}

INSTANTIATE_TEST_SUITE_P(Settings, ResolveProxyTable,
                         ::testing::Values(ProxyCase{0, 1, ProxyAccessDirect, ""},
                                           ProxyCase{0, 0, ProxyAccessDirect, ""},
                                           ProxyCase{1, 0, ProxyAccessPreconfig, ""},
                                           ProxyCase{1, 1, ProxyAccessNamed, "proxy:8080"}));

struct HostCase
{
    const char* pszField;
    int nDefault;
    const char* pszHost;
    int nPort;
};

class SplitHostPortTable : public ::testing::TestWithParam<HostCase>
{
};

TEST_P(SplitHostPortTable, ExplicitPortWins)
{
    std::string strHost;
    int nPort = 0;
    CHttpConnection::SplitHostPort(GetParam().pszField, GetParam().nDefault, strHost, nPort);
    EXPECT_EQ(strHost, GetParam().pszHost);
    EXPECT_EQ(nPort, GetParam().nPort);
}

INSTANTIATE_TEST_SUITE_P(
    Hosts, SplitHostPortTable,
    ::testing::Values(HostCase{"www.newsguy.com", 0, "www.newsguy.com", 80},
                      HostCase{"members.easynews.com", 81, "members.easynews.com", 81},
                      HostCase{"127.0.0.1:8080", 81, "127.0.0.1", 8080},
                      HostCase{" host:1234 ", 0, "host", 1234}, HostCase{"host:", 0, "host:", 80},
                      HostCase{"host:99999", 0, "host:99999", 80}, HostCase{"[::1]:8080", 0, "[::1]", 8080},
                      HostCase{"[::1]", 81, "[::1]", 81}, HostCase{"::1", 0, "::1", 80}));

struct LocationCase
{
    const char* pszName;
    const char* pszHeaders;
    bool bFound;
    const char* pszObject;
};

class RedirectObjectTable : public ::testing::TestWithParam<LocationCase>
{
};

TEST_P(RedirectObjectTable, SameHostTargetWithoutLineEnds)
{
    std::string strObject = "unchanged";
    EXPECT_EQ(FindRedirectObject(GetParam().pszHeaders, strObject), GetParam().bFound);
    EXPECT_EQ(strObject, GetParam().pszObject);
}

INSTANTIATE_TEST_SUITE_P(
    Locations, RedirectObjectTable,
    ::testing::Values(
        LocationCase{"Relative", "HTTP/1.1 302 Found\r\nLocation: /file/a.rar\r\nServer: x\r\n", true,
                     "/file/a.rar"},
        LocationCase{"OtherHost",
                     "HTTP/1.1 302 Found\r\nLocation: http://other.invalid:81/file/a.rar?x=1\r\n", true,
                     "/file/a.rar?x=1"},
        LocationCase{"HostOnly", "HTTP/1.1 302 Found\r\nLocation: http://other.invalid\r\n", true, "/"},
        LocationCase{"HostAndQuery", "HTTP/1.1 302 Found\r\nLocation: http://h?x=1\r\n", true, "/?x=1"},
        LocationCase{"LastLine", "HTTP/1.1 301 Moved\r\nLocation: /a", true, "/a"},
        LocationCase{"LowerCase", "HTTP/1.1 302 Found\r\nlocation: /b\r\n", true, "/b"},
        LocationCase{"Missing", "HTTP/1.1 302 Found\r\nServer: x\r\n", false, "unchanged"},
        LocationCase{"CrInside", "HTTP/1.1 302 Found\r\nLocation: /c\rX-Evil: 1\r\n", true, "/cX-Evil: 1"}),
    [](const auto& info) { return std::string(info.param.pszName); });

TEST(HttpRequest, OverlongLineIsCutAndItsRestDropped)
{
    CGatewayOptions options;
    options.m_nLongLineBytes = 3 * static_cast<int64_t>(CHttpRequest::kMaxLine) + 5;
    CGatewaySimulator gateway(options);
    ASSERT_NE(gateway.Start(), 0);
    CInternetSession session(CProxyChoice{}, HttpFlags::kListingSession);
    CHttpConnection connection(session, gateway.HostPort(), 0);
    CHttpRequest request(connection, "/long-line", HttpFlags::kNewsGuyListingRequest, false);
    ASSERT_TRUE(request.Send());
    std::string strLine;
    ASSERT_TRUE(request.ReadLine(strLine));
    EXPECT_TRUE(strLine == std::string(CHttpRequest::kMaxLine, 'x')) << strLine.size();
    ASSERT_TRUE(request.ReadLine(strLine));
    EXPECT_EQ(strLine, "end");
    EXPECT_FALSE(request.ReadLine(strLine));
}

TEST(HttpRequest, TargetNeverCarriesLineEnds)
{
    EXPECT_EQ(CHttpRequest::MakeTarget("news-bin/wwwlist?-sz,b1,o,n100000+alt.test"),
              "/news-bin/wwwlist?-sz,b1,o,n100000+alt.test");
    EXPECT_EQ(CHttpRequest::MakeTarget("/g/a b/0-1.html"), "/g/a%20b/0-1.html");
    EXPECT_EQ(CHttpRequest::MakeTarget("x\r\nHost: evil\r\n"), "/xHost:%20evil");
    EXPECT_EQ(CHttpRequest::MakeTarget("a#b\x01\xe9"), "/a%23b%01%E9");
    EXPECT_EQ(CHttpRequest::MakeTarget(""), "/");
}

namespace
{
// A download as the download worker makes it: redirects followed by the send
// loop, the body pulled in blocks.
class DownloadSequenceTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        CGatewayOptions options;
        options.m_groups.push_back(CGatewayGroup{"alt.binaries.small", 20, 0, 3000000, false});
        m_pGateway = std::make_unique<CGatewaySimulator>(options);
        ASSERT_NE(m_pGateway->Start(), 0);
        m_settings.m_bUseProxy = 0;
        m_account.m_strDownloadDomain = m_pGateway->HostPort();
        m_account.m_strUsername = "user";
        m_account.m_strPassword = "secret";
        m_profile.m_strHost = m_pGateway->HostPort();
        m_profile.m_strServiceName = "NewsGuy";
        m_profile.m_pStatusWindow = m_pSink;
        m_profile.m_pRunEvent = std::make_shared<CManualResetEvent>(true);
        m_profile.m_bHandleRedirects = true;
        m_article = m_pGateway->Article("alt.binaries.small", 3);
    }

    // Runs the sequence; returns the send result and fills strBody (until the
    // end or a failure, noted in bFailed).
    int Download(std::string& strBody, bool& bFailed)
    {
        std::string strObject = m_pGateway->NewsGuyDecodeTarget(m_article).substr(1);
        auto pSession = OpenInternetSession(ResolveProxy(m_settings), HttpFlags::kDownloadSession, m_profile);
        auto pConnection = ConnectToHost(*pSession, m_profile, m_account);
        auto pRequest = OpenHttpRequest(*pConnection, strObject, HttpFlags::kDownloadRequest, m_profile);
        int nStatus = SendWithCredentials(pRequest, *pConnection, m_profile, m_account, m_settings);
        bFailed = false;
        if (nStatus > 0)
        {
            m_nContentLength = pRequest->GetContentLength();
            std::vector<char> block(1024000);
            for (;;)
            {
                int64_t n = pRequest->ReadBlock(block.data(), block.size());
                if (n < 0)
                {
                    bFailed = true;
                    break;
                }
                if (n == 0)
                    break;
                m_blockSizes.push_back(n);
                strBody.append(block.data(), static_cast<size_t>(n));
            }
        }
        CloseRequest(pRequest, pConnection, pSession);
        return nStatus;
    }

    std::vector<std::string> StatusLines()
    {
        std::vector<std::string> lines;
        CViewMessage msg;
        while (m_pSink->WaitNext(msg, std::chrono::milliseconds(0)))
            lines.push_back(msg.strText);
        return lines;
    }

    std::unique_ptr<CGatewaySimulator> m_pGateway;
    std::shared_ptr<RecordingSink> m_pSink = std::make_shared<RecordingSink>();
    CPreferences m_settings;
    ServiceAccount m_account;
    HttpRequestProfile m_profile;
    CGatewayArticle m_article;
    int64_t m_nContentLength = -1;
    std::vector<int64_t> m_blockSizes;
};
} // namespace

TEST_F(DownloadSequenceTest, BodyArrivesInFullBlocks)
{
    std::string strBody;
    bool bFailed = true;
    ASSERT_EQ(Download(strBody, bFailed), 200);
    EXPECT_FALSE(bFailed);
    EXPECT_EQ(m_nContentLength, m_article.m_nSize);
    EXPECT_TRUE(strBody == m_pGateway->ExpectedBody(m_article));
    // Every block but the last is full.
    for (size_t i = 0; i + 1 < m_blockSizes.size(); ++i)
        EXPECT_EQ(m_blockSizes[i], 1024000);
    EXPECT_EQ(StatusLines(), (std::vector<std::string>{"Open InternetSession...", "Open Request..."}));
}

TEST_F(DownloadSequenceTest, RedirectToAnotherHostStaysOnTheSameHost)
{
    CGatewayFault fault;
    fault.m_nRedirect = RedirectOtherHost;
    m_pGateway->SetArticleFault("alt.binaries.small", 3, fault);
    std::string strBody;
    bool bFailed = true;
    ASSERT_EQ(Download(strBody, bFailed), 200);
    EXPECT_TRUE(strBody == m_pGateway->ExpectedBody(m_article));
    auto requests = m_pGateway->Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[1].m_strTarget.rfind("/file/", 0), 0u);
    EXPECT_EQ(requests[1].m_strHost, m_pGateway->HostPort());
    auto lines = StatusLines();
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[2], "Redirected: " + requests[1].m_strTarget);
    EXPECT_EQ(lines[3], "Open Request...");
}

TEST_F(DownloadSequenceTest, RedirectWithoutLocationFails)
{
    CGatewayFault fault;
    fault.m_nRedirect = RedirectNoLocation;
    m_pGateway->SetArticleFault("alt.binaries.small", 3, fault);
    std::string strBody;
    bool bFailed = false;
    EXPECT_EQ(Download(strBody, bFailed), SendRedirectFailed);
    EXPECT_EQ(m_pSink->MessageBoxes(),
              std::vector<std::string>{"Error: Site redirects with no new location"});
    EXPECT_EQ(m_pGateway->RequestCount(), 1u);
}

TEST_F(DownloadSequenceTest, RedirectLoopEndsAfterTwentyRedirects)
{
    CGatewayFault fault;
    fault.m_nRedirect = RedirectLoop;
    m_pGateway->SetArticleFault("alt.binaries.small", 3, fault);
    std::string strBody;
    bool bFailed = false;
    EXPECT_EQ(Download(strBody, bFailed), SendRedirectFailed);
    EXPECT_EQ(m_pGateway->RequestCount(), static_cast<size_t>(kMaxRedirects + 1));
    EXPECT_TRUE(m_pSink->MessageBoxes().empty());
}

TEST_F(DownloadSequenceTest, LoginAnsweredOnceThenRefusedTwice)
{
    m_pGateway->SetUsers({{"user", "secret"}});
    std::string strBody;
    bool bFailed = true;
    ASSERT_EQ(Download(strBody, bFailed), 200);
    EXPECT_TRUE(strBody == m_pGateway->ExpectedBody(m_article));
    auto requests = m_pGateway->Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_FALSE(requests[0].m_bCredentials);
    EXPECT_TRUE(requests[1].m_bCredentials);

    m_pGateway->ClearRequests();
    m_account.m_strPassword = "wrong";
    m_profile.m_strServiceName = "NewsGuy Extra";
    strBody.clear();
    EXPECT_EQ(Download(strBody, bFailed), SendRefused);
    EXPECT_EQ(m_pGateway->RequestCount(), 2u);
    EXPECT_EQ(m_pSink->MessageBoxes(),
              std::vector<std::string>{"The configured password for NewsGuy Extra is incorrect!"});
}

TEST_F(DownloadSequenceTest, ShortBodyAndStalledBodyFail)
{
    CGatewayFault shortBody;
    shortBody.m_bShortBody = true;
    m_pGateway->SetArticleFault("alt.binaries.small", 3, shortBody);
    std::string strBody;
    bool bFailed = false;
    ASSERT_EQ(Download(strBody, bFailed), 200);
    EXPECT_TRUE(bFailed);
    EXPECT_EQ(static_cast<int64_t>(strBody.size()), m_article.m_nSize - 1);

    // A transfer that goes silent fails once the stall time has passed.
    CGatewayFault stall;
    stall.m_nStallAfter =
        0; // headers, then silence (bytes before it would keep the average speed up for seconds)
    m_pGateway->SetArticleFault("alt.binaries.small", 3, stall);
    long nSaved = CInternetSession::GetDefaultStallSeconds();
    CInternetSession::SetDefaultStallSeconds(1);
    strBody.clear();
    EXPECT_EQ(Download(strBody, bFailed), 200);
    CInternetSession::SetDefaultStallSeconds(nSaved);
    EXPECT_TRUE(bFailed);
    EXPECT_TRUE(strBody.empty());
}
