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

using ResolveProxyTable = ::testing::TestWithParam<ProxyCase>;

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

using SplitHostPortTable = ::testing::TestWithParam<HostCase>;

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

using RedirectObjectTable = ::testing::TestWithParam<LocationCase>;

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

// A download as the download worker once made it, the body pulled in whole
// blocks; whatever goes wrong, the sequence ends with a failed read.
TEST(HttpRequest, DownloadSequenceReadsFullBlocksUntilTheEndOrAFailure)
{
    CGatewayOptions options;
    options.m_groups.push_back(CGatewayGroup{"alt.binaries.small", 20, 0, 3000000, false});
    CGatewaySimulator gateway(options);
    ASSERT_NE(gateway.Start(), 0);
    auto pSink = std::make_shared<RecordingSink>();
    CPreferences settings;
    settings.m_bUseProxy = 0;
    ServiceAccount account;
    account.m_strDownloadDomain = gateway.HostPort();
    HttpRequestProfile profile;
    profile.m_strHost = gateway.HostPort();
    profile.m_strServiceName = "NewsGuy";
    profile.m_pStatusWindow = pSink;
    profile.m_pRunEvent = std::make_shared<CManualResetEvent>(true);
    profile.m_bHandleRedirects = true;
    const CGatewayArticle article = gateway.Article("alt.binaries.small", 3);
    const long nSavedStall = CInternetSession::GetDefaultStallSeconds();
    CInternetSession::SetDefaultStallSeconds(1);
    // Whole, short, stalled (headers, then silence), whole after a redirect,
    // whole after a login.
    for (int nFault = 0; nFault < 5; ++nFault)
    {
        if (nFault == 4)
        {
            gateway.SetUsers({{"user", "secret"}});
            account.m_strUsername = "user";
            account.m_strPassword = "secret";
        }
        CGatewayFault fault;
        fault.m_bShortBody = nFault == 1;
        fault.m_nStallAfter = nFault == 2 ? 0 : -1;
        fault.m_nRedirect = nFault == 3 ? RedirectOtherHost : RedirectNone;
        if (nFault)
            gateway.SetArticleFault("alt.binaries.small", 3, fault);
        const std::string strObject = gateway.NewsGuyDecodeTarget(article).substr(1);
        auto pSession = OpenInternetSession(ResolveProxy(settings), HttpFlags::kDownloadSession, profile);
        auto pConnection = ConnectToHost(*pSession, profile, account);
        auto pRequest = OpenHttpRequest(*pConnection, strObject, HttpFlags::kDownloadRequest, profile);
        ASSERT_EQ(SendWithCredentials(pRequest, *pConnection, profile, account, settings), 200);
        EXPECT_EQ(pRequest->GetContentLength(), article.m_nSize);
        std::string strBody;
        std::vector<char> block(1024000);
        int64_t n = 0;
        if (nFault == 0)
        {
            // A few bytes first: the rest of what arrived waits in the request's
            // buffer, where a refusing consumer leaves it for the next block.
            ASSERT_EQ(pRequest->ReadBlock(block.data(), 7), 7);
            strBody.assign(block.data(), 7);
            EXPECT_EQ(pRequest->ReadBlockTo([](const char*, size_t) { return false; }, block.size()), 0);
        }
        const size_t nFirst = strBody.size();
        while ((n = pRequest->ReadBlock(block.data(), block.size())) > 0)
        {
            // Every block but the last is full.
            EXPECT_EQ((strBody.size() - nFirst) % block.size(), 0u);
            strBody.append(block.data(), static_cast<size_t>(n));
        }
        CloseRequest(pRequest, pConnection, pSession);
        EXPECT_EQ(n < 0, nFault == 1 || nFault == 2);
        const std::string strWhole = gateway.ExpectedBody(article);
        EXPECT_TRUE(strBody == strWhole.substr(0, nFault == 1 ? strWhole.size() - 1 : nFault == 2 ? 0 : strWhole.size()));
    }
    CInternetSession::SetDefaultStallSeconds(nSavedStall);
    CViewMessage msg;
    ASSERT_TRUE(pSink->WaitNext(msg, std::chrono::milliseconds(0)));
    EXPECT_EQ(msg.strText, "Open InternetSession...");
    ASSERT_TRUE(pSink->WaitNext(msg, std::chrono::milliseconds(0)));
    EXPECT_EQ(msg.strText, "Open Request...");
}
