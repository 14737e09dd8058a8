// The real gateway's download face against the simulator's NNTP face, over
// loopback: HTTP by libcurl, and Dravelin's own download worker.

#include "gateway/real/RealGateway.h"

#include "download/DownloadOptions.h"
#include "download/DownloadParams.h"
#include "download/DownloadWorker.h"
#include "gateway/NntpFace.h"
#include "nzb/DecodeQuery.h"
#include "ui/MessageQueue.h"

#include <curl/curl.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <unistd.h>

namespace
{
constexpr const char* kGroup = "real.test";
constexpr int64_t kPartSize = 20000;
constexpr int64_t kFileSize = 49 * kPartSize + 7777; // 50 parts, the last one short

struct SFetch
{
    CURLcode m_nResult = CURLE_OK;
    long m_nStatus = 0;
    std::string m_strHeaders;
    std::string m_strBody;

    std::string Header(const std::string& strName) const
    {
        std::istringstream in(m_strHeaders);
        for (std::string strLine; std::getline(in, strLine);)
            if (strncasecmp(strLine.c_str(), (strName + ":").c_str(), strName.size() + 1) == 0)
            {
                std::string strValue = strLine.substr(strName.size() + 1);
                strValue.erase(0, strValue.find_first_not_of(' '));
                strValue.erase(strValue.find_last_not_of("\r ") + 1);
                return strValue;
            }
        return {};
    }
};

size_t Append(char* p, size_t nSize, size_t nCount, void* pOut)
{
    static_cast<std::string*>(pOut)->append(p, nSize * nCount);
    return nSize * nCount;
}

SFetch Fetch(const std::string& strUrl, const std::string& strLogin, const std::string& strRange = "")
{
    SFetch fetch;
    CURL* pCurl = curl_easy_init();
    curl_easy_setopt(pCurl, CURLOPT_URL, strUrl.c_str());
    curl_easy_setopt(pCurl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(pCurl, CURLOPT_PROXY, "");
    curl_easy_setopt(pCurl, CURLOPT_WRITEFUNCTION, Append);
    curl_easy_setopt(pCurl, CURLOPT_WRITEDATA, &fetch.m_strBody);
    curl_easy_setopt(pCurl, CURLOPT_HEADERFUNCTION, Append);
    curl_easy_setopt(pCurl, CURLOPT_HEADERDATA, &fetch.m_strHeaders);
    curl_easy_setopt(pCurl, CURLOPT_TIMEOUT, 60L);
    if (!strLogin.empty())
        curl_easy_setopt(pCurl, CURLOPT_USERPWD, strLogin.c_str());
    if (!strRange.empty())
        curl_easy_setopt(pCurl, CURLOPT_RANGE, strRange.c_str());
    fetch.m_nResult = curl_easy_perform(pCurl);
    curl_easy_getinfo(pCurl, CURLINFO_RESPONSE_CODE, &fetch.m_nStatus);
    curl_easy_cleanup(pCurl);
    return fetch;
}

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
    SFetch fetch = Fetch(Url(), "reader:secret");
    ASSERT_EQ(fetch.m_nResult, CURLE_OK);
    EXPECT_EQ(fetch.m_nStatus, 200);
    EXPECT_EQ(fetch.Header("Content-Length"), std::to_string(kFileSize));
    EXPECT_EQ(fetch.Header("Content-Disposition"),
              "attachment; filename=\"" + CRealGateway::SafeName(m_article.m_strFileName) + "\"");
    EXPECT_TRUE(fetch.m_strBody == m_strFile);
    EXPECT_EQ(Log(), "");
}

class RealGatewayRangeTest : public RealGatewayTest, public ::testing::WithParamInterface<int64_t>
{
};

TEST_P(RealGatewayRangeTest, ARangeSkipsWholePartsBeforeIt)
{
    const int64_t nFrom = GetParam();
    SFetch fetch = Fetch(Url(), "reader:secret", std::to_string(nFrom) + "-");
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
        SFetch fetch = Fetch(Url(), pszLogin);
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

class RealGatewayFaultTest : public RealGatewayTest, public ::testing::WithParamInterface<SFaultCase>
{
};

// A part that cannot be had ends the answer short of its length, and the log names it.
TEST_P(RealGatewayFaultTest, TheTransferFailsAndThePartIsNamed)
{
    const SFaultCase& c = GetParam();
    SNntpFaceFault fault;
    fault.m_nMissingPart = c.nMissing;
    fault.m_nCorruptPart = c.nCorrupt;
    m_pFace->SetFault(fault);
    SFetch fetch = Fetch(Url(), "reader:secret");
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
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("realgw-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    auto pParams = std::make_unique<CDownloadParams>();
    auto pQueue = std::make_shared<CMessageQueue>();
    pParams->m_pView = pQueue;
    pParams->m_pAccount = std::make_shared<ServiceAccount>();
    pParams->m_pAccount->m_nService = 1;
    pParams->m_pAccount->m_strDownloadDomain = m_pGateway->HostPort();
    pParams->m_pAccount->m_strUsername = "reader";
    pParams->m_pAccount->m_strPassword = "secret";
    pParams->m_pAccount->m_nRunning = 1;
    pParams->m_pSettings = std::make_shared<CPreferences>();
    pParams->m_pSettings->m_bUseProxy = 0;
    pParams->m_pArticle = std::make_shared<CArticle>();
    pParams->m_pArticle->m_nState = StateDownloading;
    pParams->m_pArticle->m_strDecodeQuery = Query();
    pParams->m_pArticle->m_strDownloadPath = dir.string();
    pParams->m_pRunEvent = std::make_shared<CManualResetEvent>(true);
    ArticlePtr pArticle = pParams->m_pArticle;
    DownloadWorker(std::move(pParams));
    intptr_t nDone = -1;
    CViewMessage msg;
    while (pQueue->Wait(msg, std::chrono::milliseconds(0)))
        if (msg.nMessage == WM_DOWNLOAD_DONE)
            nDone = msg.wParam;
    EXPECT_EQ(nDone, 0);
    EXPECT_NE(pArticle->GetTransfer().m_strLastError.find("the body ended after " + std::to_string(29 * kPartSize)),
              std::string::npos)
        << pArticle->GetTransfer().m_strLastError;
    std::filesystem::remove_all(dir);
    CDownloadOptions::Reset();
}
} // namespace
