// Downloads: exact lengths and bytes, ranges, authentication, faults, the request log.

#include "GatewayFetch.h"
#include "gateway/GatewaySimulator.h"

#include <gtest/gtest.h>

#include <thread>

namespace
{
CGatewayOptions Options()
{
    CGatewayOptions options;
    options.m_nArticles = 20;
    options.m_nStallLimitMs = 500;
    return options;
}

// The first article of alt.test of at least nMinimum bytes.
CGatewayArticle ArticleOfAtLeast(const CGatewaySimulator& sim, int64_t nMinimum)
{
    for (const CGatewayArticle& a : sim.Articles("alt.test"))
        if (a.m_nSize >= nMinimum && a.m_nSize < 50000000)
            return a;
    ADD_FAILURE() << "no article of " << nMinimum << " bytes";
    return {};
}
} // namespace

TEST(GatewayDownload, EveryDecodePathServesTheExactGeneratedBody)
{
    CGatewaySimulator sim(Options());
    ASSERT_GT(sim.Start(), 0);
    const CGatewayArticle a = ArticleOfAtLeast(sim, 300000);
    for (const std::string& strTarget : {sim.NewsGuyDecodeTarget(a), sim.WebUseNetDecodeTarget(a), sim.EasyNewsDecodeTarget(a)})
    {
        SCOPED_TRACE(strTarget);
        const CGatewayFetch fetch = GatewayFetch(sim.BaseUrl() + strTarget);
        ASSERT_EQ(fetch.m_nResult, CURLE_OK);
        EXPECT_EQ(fetch.m_nStatus, 200);
        EXPECT_EQ(fetch.Header("Content-Length"), std::to_string(a.m_nSize));
        EXPECT_EQ(fetch.Header("Content-Disposition"), "attachment; filename=\"" + a.m_strFileName + "\"");
        ASSERT_EQ(fetch.m_strBody.size(), static_cast<size_t>(a.m_nSize));
        for (size_t i = 0; i < fetch.m_strBody.size(); i += 4099)
            ASSERT_EQ(static_cast<uint8_t>(fetch.m_strBody[i]), GatewayBodyByte(a.m_nBodyKey, static_cast<int64_t>(i)));
        EXPECT_TRUE(fetch.m_strBody == sim.ExpectedBody(a));
    }
    // Different articles have different bodies.
    const CGatewayArticle b = sim.Article("alt.test", a.m_nIndex + 1);
    EXPECT_NE(sim.ExpectedBody(a, 0, 64), sim.ExpectedBody(b, 0, 64));
    EXPECT_EQ(GatewayFetch(sim.BaseUrl() + "/news-bin/wwwdecode?alt.test/99999/x").m_nStatus, 404);
}

TEST(GatewayDownload, RangesAnswer206UnlessIfRangeNamesAnotherVersion)
{
    CGatewaySimulator sim(Options());
    ASSERT_GT(sim.Start(), 0);
    const CGatewayArticle a = ArticleOfAtLeast(sim, 5000);
    const std::string strUrl = sim.BaseUrl() + sim.NewsGuyDecodeTarget(a);
    const int64_t nFrom = a.m_nSize / 3;
    const std::string strRange = "Range: bytes=" + std::to_string(nFrom) + "-";

    const CGatewayFetch part = GatewayFetch(strUrl, {strRange});
    EXPECT_EQ(part.m_nStatus, 206);
    EXPECT_EQ(part.Header("Content-Range"),
              "bytes " + std::to_string(nFrom) + "-" + std::to_string(a.m_nSize - 1) + "/" + std::to_string(a.m_nSize));
    EXPECT_TRUE(part.m_strBody == sim.ExpectedBody(a, nFrom));
    EXPECT_FALSE(part.Header("ETag").empty());

    const CGatewayFetch same = GatewayFetch(strUrl, {strRange, "If-Range: " + a.m_strETag});
    EXPECT_EQ(same.m_nStatus, 206);
    const CGatewayFetch byDate = GatewayFetch(strUrl, {strRange, "If-Range: " + a.m_strLastModified});
    EXPECT_EQ(byDate.m_nStatus, 206);
    const CGatewayFetch changed = GatewayFetch(strUrl, {strRange, "If-Range: \"another-version\""});
    EXPECT_EQ(changed.m_nStatus, 200);
    EXPECT_TRUE(changed.m_strBody == sim.ExpectedBody(a));

    CGatewayFault noRange;
    noRange.m_bNoRange = true;
    sim.SetArticleFault(a.m_strGroup, a.m_nIndex, noRange);
    const CGatewayFetch ignored = GatewayFetch(strUrl, {strRange});
    EXPECT_EQ(ignored.m_nStatus, 200);
    EXPECT_EQ(ignored.m_strBody.size(), static_cast<size_t>(a.m_nSize));
}

TEST(GatewayDownload, BasicAuthenticationAndTheRequestLog)
{
    CGatewayOptions options = Options();
    options.m_users = {{"reader", "s3cret"}};
    options.m_realms = {{"/news-bin/wwwdecode", "Downloads"}};
    CGatewaySimulator sim(options);
    ASSERT_GT(sim.Start(), 0);
    const CGatewayArticle a = sim.Article("alt.test", 0);
    const std::string strList = sim.BaseUrl() + CGatewaySimulator::NewsGuyListTarget("alt.test");

    const CGatewayFetch anonymous = GatewayFetch(strList);
    EXPECT_EQ(anonymous.m_nStatus, 401);
    EXPECT_EQ(anonymous.Header("WWW-Authenticate"), "Basic realm=\"Dravelin Gateway\"");
    EXPECT_EQ(GatewayFetch(sim.BaseUrl() + sim.NewsGuyDecodeTarget(a)).Header("WWW-Authenticate"),
              "Basic realm=\"Downloads\"");
    EXPECT_EQ(GatewayFetch(strList, {}, "reader:wrong").m_nStatus, 401);
    const CGatewayFetch accepted = GatewayFetch(strList, {}, "reader:s3cret");
    EXPECT_EQ(accepted.m_nStatus, 200);
    EXPECT_NE(accepted.m_strBody.find("BatchLink("), std::string::npos);

    const std::vector<CGatewayRequest> log = sim.Requests();
    ASSERT_EQ(log.size(), 4u);
    EXPECT_FALSE(log[0].m_bCredentials);
    EXPECT_EQ(log[0].m_nStatus, 401);
    EXPECT_TRUE(log[2].m_bCredentials);
    EXPECT_FALSE(log[2].m_bAccepted);
    EXPECT_EQ(log[3].m_strUser, "reader");
    EXPECT_TRUE(log[3].m_bAccepted);
    EXPECT_EQ(log[3].m_strTarget, CGatewaySimulator::NewsGuyListTarget("alt.test"));
    sim.ClearRequests();
    EXPECT_EQ(sim.RequestCount(), 0u);
}

TEST(GatewayDownload, FaultsBreakTheAnswerAsAsked)
{
    CGatewaySimulator sim(Options());
    ASSERT_GT(sim.Start(), 0);
    const CGatewayArticle a = ArticleOfAtLeast(sim, 20000);
    const std::string strUrl = sim.BaseUrl() + sim.EasyNewsDecodeTarget(a);
    auto withFault = [&](auto change) {
        CGatewayFault fault;
        change(fault);
        sim.SetArticleFault(a.m_strGroup, a.m_nIndex, fault);
        return GatewayFetch(strUrl);
    };

    CGatewayFault failTwice;
    failTwice.m_nFailFirst = 2;
    sim.SetArticleFault(a.m_strGroup, a.m_nIndex, failTwice);
    EXPECT_EQ(GatewayFetch(strUrl).m_nStatus, 500);
    EXPECT_EQ(GatewayFetch(strUrl).m_nStatus, 500);
    EXPECT_EQ(GatewayFetch(strUrl).m_nStatus, 200);
    EXPECT_EQ(sim.Attempts(a.m_strGroup, a.m_nIndex), 3);

    const CGatewayFetch shortBody = withFault([](CGatewayFault& f) { f.m_bShortBody = true; });
    EXPECT_EQ(shortBody.m_nResult, CURLE_PARTIAL_FILE);
    EXPECT_EQ(shortBody.m_strBody.size(), static_cast<size_t>(a.m_nSize - 1));

    const CGatewayFetch noLength = withFault([](CGatewayFault& f) { f.m_bNoContentLength = true; });
    EXPECT_EQ(noLength.m_nResult, CURLE_OK);
    EXPECT_FALSE(noLength.HasHeader("Content-Length"));
    EXPECT_TRUE(noLength.m_strBody == sim.ExpectedBody(a));

    const CGatewayFetch dropped = withFault([](CGatewayFault& f) { f.m_nDropAfter = 1000; });
    EXPECT_NE(dropped.m_nResult, CURLE_OK);
    EXPECT_EQ(dropped.m_strBody.size(), 1000u);

    EXPECT_EQ(withFault([](CGatewayFault& f) { f.m_nStatus = 503; }).m_nStatus, 503);

    const CGatewayFetch same = withFault([](CGatewayFault& f) { f.m_nRedirect = RedirectSameHost; });
    EXPECT_EQ(same.m_nStatus, 302);
    const CGatewayFetch followed = GatewayFetch(strUrl, {}, "", true);
    EXPECT_EQ(followed.m_nStatus, 200);
    EXPECT_TRUE(followed.m_strBody == sim.ExpectedBody(a));
    EXPECT_NE(withFault([](CGatewayFault& f) { f.m_nRedirect = RedirectOtherHost; }).Header("Location").find("other.invalid:"),
              std::string::npos);
    const CGatewayFetch bare = withFault([](CGatewayFault& f) { f.m_nRedirect = RedirectNoLocation; });
    EXPECT_EQ(bare.m_nStatus, 302);
    EXPECT_FALSE(bare.HasHeader("Location"));
    EXPECT_EQ(GatewayFetch(strUrl, {}, "", true).m_nResult, CURLE_OK); // curl stops at a 302 without Location
    withFault([](CGatewayFault& f) { f.m_nRedirect = RedirectLoop; });
    EXPECT_EQ(GatewayFetch(strUrl, {}, "", true).m_nResult, CURLE_TOO_MANY_REDIRECTS);

    const CGatewayFetch unsafe = withFault([](CGatewayFault& f) { f.m_nUnsafeName = UnsafeNameParent; });
    EXPECT_EQ(unsafe.Header("Content-Disposition"), "attachment; filename=\"../../x\"");
    EXPECT_EQ(sim.ServedFileName(a), "../../x");
    sim.ClearFaults();
    EXPECT_EQ(sim.ServedFileName(a), a.m_strFileName);
    EXPECT_EQ(sim.Attempts(a.m_strGroup, a.m_nIndex), 0);
}

TEST(GatewayDownload, CorpusFaultGroupCarriesFaultsAndAStallEndsAtItsLimit)
{
    CGatewaySimulator sim(Options());
    ASSERT_GT(sim.Start(), 0);
    int nFaulty = 0;
    for (const CGatewayArticle& a : sim.Articles("alt.binaries.test.faults"))
        nFaulty += !a.m_fault.IsClean();
    EXPECT_GE(nFaulty, 50);
    for (const CGatewayArticle& a : sim.Articles("alt.test"))
        EXPECT_TRUE(a.m_fault.IsClean());

    const CGatewayArticle a = ArticleOfAtLeast(sim, 20000);
    CGatewayFault stall;
    stall.m_nStallAfter = 100;
    sim.SetArticleFault(a.m_strGroup, a.m_nIndex, stall);
    const CGatewayFetch stalled = GatewayFetch(sim.BaseUrl() + sim.NewsGuyDecodeTarget(a));
    EXPECT_NE(stalled.m_nResult, CURLE_OK); // the stall limit (half a second here) closes the connection
    EXPECT_EQ(stalled.m_strBody.size(), 100u);
}

TEST(GatewayDownload, StopEndsAStalledAnswer)
{
    CGatewayOptions options = Options();
    options.m_nStallLimitMs = 600000; // only Stop can end it within the test's time
    CGatewaySimulator sim(options);
    ASSERT_GT(sim.Start(), 0);
    const CGatewayArticle a = ArticleOfAtLeast(sim, 20000);
    CGatewayFault stall;
    stall.m_nStallAfter = 0;
    sim.SetArticleFault(a.m_strGroup, a.m_nIndex, stall);
    CGatewayFetch stalled;
    std::thread client([&] { stalled = GatewayFetch(sim.BaseUrl() + sim.NewsGuyDecodeTarget(a)); });
    while (sim.Attempts(a.m_strGroup, a.m_nIndex) == 0)
        std::this_thread::yield();
    sim.Stop();
    client.join();
    EXPECT_NE(stalled.m_nResult, CURLE_OK);
    EXPECT_TRUE(stalled.m_strBody.empty());
}
