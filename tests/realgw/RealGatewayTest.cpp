// The real gateway's download face against the simulator's NNTP face, over
// loopback: HTTP by libcurl, and Dravelin's own download worker.

#include "gateway/real/RealGateway.h"

#include "GatewayFetch.h"
#include "download/DownloadOptions.h"
#include "gateway/NntpFace.h"
#include "nzb/DecodeQuery.h"
#include "support/Articles.h"
#include "support/TestSupport.h"
#include "support/WithRow.h"
#include "support/WorkerRun.h"

#include <gtest/gtest.h>

#include <mutex>

namespace
{
constexpr const char* kGroup = "real.test";
constexpr int64_t kPartSize = 20000;
constexpr int64_t kFileSize = 49 * kPartSize + 7777; // 50 parts, the last one short

class RealGatewayTest : public ::testing::Test
{
protected:
    RealGatewayTest()
    {
        CGatewayOptions corpus;
        corpus.m_nArticles = 1;
        corpus.m_groups.push_back(CGatewayGroup{kGroup, 2, 0, 0, false, kFileSize});
        SNntpFaceOptions face;
        face.m_nPartSize = kPartSize;
        m_pFace = std::make_unique<CNntpFace>(corpus, face);
        m_pFace->Start();
        SRealGatewayOptions options;
        options.m_server.m_strHost = "127.0.0.1";
        options.m_server.m_nPort = m_pFace->Port();
        options.m_server.m_nConnections = 4;
        options.m_server.m_nReadTimeoutMs = 10000;
        options.m_nWindow = 6;
        options.m_users = {{"reader", "secret"}};
        options.m_log = [this](const std::string& strLine)
        {
            std::lock_guard lock(m_logLock);
            m_log += strLine + "\n";
        };
        m_pGateway = std::make_unique<CRealGateway>(options);
        m_pGateway->Start();
        m_article = m_pFace->Article(kGroup, 0);
        m_strFile = m_pFace->FileBytes(m_article);
    }

    std::string Query() const
    {
        usenet::CDecodeQuery query;
        query.m_vecGroups = {kGroup};
        for (int n = 1; n <= m_pFace->PartCount(m_article); ++n)
            query.m_vecSegments.push_back({n, m_pFace->MessageId(m_article, n)});
        return query.Encode();
    }
    std::string Url() const { return "http://" + m_pGateway->HostPort() + "/news-bin/wwwdecode?" + Query(); }
    std::string Log()
    {
        std::lock_guard lock(m_logLock);
        return m_log;
    }

    // The log outlives the gateway that writes to it: members go in reverse.
    std::mutex m_logLock;
    std::string m_log;
    std::unique_ptr<CNntpFace> m_pFace;
    std::unique_ptr<CRealGateway> m_pGateway;
    CGatewayArticle m_article;
    std::string m_strFile;
};

TEST_F(RealGatewayTest, FiftyPartsArriveWholeWithLengthAndName)
{
    ASSERT_EQ(m_pFace->PartCount(m_article), 50);
    ASSERT_EQ(static_cast<int64_t>(m_strFile.size()), kFileSize);
    const CGatewayFetch fetch = GatewayFetch(Url(), {}, "reader:secret");
    ASSERT_EQ(fetch.m_nResult, CURLE_OK);
    EXPECT_EQ(fetch.m_nStatus, 200);
    EXPECT_EQ(fetch.Header("Content-Length"), std::to_string(kFileSize));
    EXPECT_EQ(fetch.Header("Content-Disposition"),
              "attachment; filename=\"" + CRealGateway::SafeName(m_article.m_strFileName) + "\"");
    EXPECT_TRUE(fetch.m_strBody == m_strFile);
    EXPECT_EQ(Log(), "");
}

using RealGatewayRangeTest = testsupport::WithRow<RealGatewayTest, int64_t>;

TEST_P(RealGatewayRangeTest, ARangeSkipsWholePartsBeforeIt)
{
    const int64_t nFrom = GetParam();
    const CGatewayFetch fetch =
        GatewayFetch(Url(), {"Range: bytes=" + std::to_string(nFrom) + "-"}, "reader:secret");
    ASSERT_EQ(fetch.m_nResult, CURLE_OK);
    EXPECT_EQ(fetch.m_nStatus, 206);
    EXPECT_EQ(fetch.Header("Content-Range"),
              "bytes " + std::to_string(nFrom) + "-" + std::to_string(kFileSize - 1) + "/" +
                  std::to_string(kFileSize));
    EXPECT_TRUE(fetch.m_strBody == m_strFile.substr(static_cast<size_t>(nFrom)));
    // Part 1 tells the size; the parts before the range are not asked for.
    EXPECT_LE(m_pFace->BodyRequests(), 1 + 50 - nFrom / kPartSize);
}

INSTANTIATE_TEST_SUITE_P(Offsets, RealGatewayRangeTest,
                         ::testing::Values(int64_t{1}, 17 * kPartSize, 17 * kPartSize + 123, kFileSize - 1));

TEST_F(RealGatewayTest, OurLoginIsAsked)
{
    for (const char* pszLogin : {"", "reader:wrong"})
    {
        const CGatewayFetch fetch = GatewayFetch(Url(), {}, pszLogin);
        EXPECT_EQ(fetch.m_nStatus, 401) << pszLogin;
        EXPECT_NE(fetch.Header("WWW-Authenticate").find("Basic realm="), std::string::npos);
    }
    EXPECT_EQ(m_pFace->BodyRequests(), 0);
}

struct SFaultCase
{
    const char* pszName;
    int nMissing;
    int nCorrupt;
    const char* pszLogged;
};

using RealGatewayFaultTest = testsupport::WithRow<RealGatewayTest, SFaultCase>;

// A part that cannot be had ends the answer short of its length, and the log names it.
TEST_P(RealGatewayFaultTest, TheTransferFailsAndThePartIsNamed)
{
    const SFaultCase& c = GetParam();
    SNntpFaceFault fault;
    fault.m_nMissingPart = c.nMissing;
    fault.m_nCorruptPart = c.nCorrupt;
    m_pFace->SetFault(fault);
    const CGatewayFetch fetch = GatewayFetch(Url(), {}, "reader:secret");
    EXPECT_EQ(fetch.m_nStatus, 200);
    EXPECT_EQ(fetch.m_nResult, CURLE_PARTIAL_FILE);
    const int nPart = c.nMissing + c.nCorrupt;
    EXPECT_EQ(static_cast<int64_t>(fetch.m_strBody.size()), (nPart - 1) * kPartSize);
    EXPECT_NE(Log().find("part " + std::to_string(nPart) + " (<" + m_pFace->MessageId(m_article, nPart) + ">)"),
              std::string::npos)
        << Log();
    EXPECT_NE(Log().find(c.pszLogged), std::string::npos) << Log();
}

INSTANTIATE_TEST_SUITE_P(Faults, RealGatewayFaultTest,
                         ::testing::Values(SFaultCase{"Missing", 7, 0, "is not on the server"},
                                           SFaultCase{"BadCrc", 0, 9, "twice"}),
                         [](const auto& info) { return std::string(info.param.pszName); });

// Dravelin's own worker does not take a short answer for the file.
TEST_F(RealGatewayTest, TheClientDoesNotMarkAShortFileDone)
{
    SNntpFaceFault fault;
    fault.m_nMissingPart = 30;
    m_pFace->SetFault(fault);
    CDownloadOptions::Reset();
    CDownloadOptions::SetFailureWaitMs(0);
    testsupport::TempDir dir;
    auto pSettings = std::make_shared<CPreferences>();
    pSettings->m_bUseProxy = 0;
    auto pArticle = testsupport::NewArticle({.strPath = dir.Path().string(), .strQuery = Query()});
    EXPECT_FALSE(testsupport::RunDownloadWorker(
        std::make_shared<CMessageQueue>(),
        testsupport::NewAccount(1, m_pGateway->HostPort(), "reader", "secret"), pSettings, pArticle));
    EXPECT_NE(
        pArticle->GetTransfer().m_strLastError.find("the body ended after " + std::to_string(29 * kPartSize)),
        std::string::npos)
        << pArticle->GetTransfer().m_strLastError;
    CDownloadOptions::Reset();
}
} // namespace
