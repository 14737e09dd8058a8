// Files beyond 2 GiB: the transfer counts in 64 bits while the queue record
// keeps its 32-bit size field.

#include "GatewayDownloadFixture.h"

#include "download/TransferProgress.h"
#include "model/Archive.h"
#include "net/GatewayHosts.h"
#include "support/Articles.h"
#include "support/Join.h"
#include "support/WorkerRun.h"

#include <climits>
#include <cstring>
#include <fstream>
#include <vector>

using namespace downloadtest;

namespace
{
constexpr int64_t k2GiB = int64_t{1} << 31;

struct BigStepCase
{
    int64_t nReceived;
    int64_t nRemaining;
    int64_t nElapsed;
    int32_t nSpeed;
    const char* pszTimeLeft;
};

using LargeProgressStep = ::testing::TestWithParam<BigStepCase>;

TEST_P(LargeProgressStep, SpeedAndTimeLeftPast2GiB)
{
    const BigStepCase& c = GetParam();
    int32_t nSpeed = 0;
    std::string strTimeLeft;
    ASSERT_TRUE(CTransferProgress::Step(c.nReceived, c.nRemaining, c.nElapsed, int64_t{1024000}, nSpeed,
                                        strTimeLeft));
    EXPECT_EQ(nSpeed, c.nSpeed);
    EXPECT_EQ(strTimeLeft, c.pszTimeLeft);
    EXPECT_EQ(CTransferProgress::AverageSpeed(c.nReceived + c.nRemaining, c.nElapsed),
              static_cast<int32_t>((c.nReceived + c.nRemaining) / c.nElapsed / 1024));
}

INSTANTIATE_TEST_SUITE_P(Cases, LargeProgressStep,
                         ::testing::Values(
                             // 3 GB after 10 s, 1 GB to go.
                             BigStepCase{3000000000, 1000000000, 10, 292968, "00:00:03"},
                             // Early in a 5 GB file: the remaining bytes are above 4 GiB.
                             BigStepCase{10240000, 5000000000, 10, 1000, "01:21:22"},
                             // Just past the 2 GiB mark.
                             BigStepCase{k2GiB + 1024, k2GiB, 2, 1048576, "00:00:02"}));

TEST(LargeArticle, QueueRecordKeepsItsSizeFieldAndMemoryTheExactSize)
{
    // The size field's four bytes (after retries and service).
    auto stored = [](int64_t nSize, ArticlePtr& pLoaded)
    {
        CArticle article;
        article.SetSize(nSize);
        CArchive out;
        article.Serialize(out);
        const std::string bytes(out.GetBuffer());
        pLoaded = std::make_shared<CArticle>();
        CArchive in(bytes);
        pLoaded->Serialize(in);
        EXPECT_EQ(article.GetSize(), nSize);
        return std::vector<uint8_t>(bytes.begin() + 8, bytes.begin() + 12);
    };
    ArticlePtr pLoaded;
    EXPECT_EQ(stored(0x12345678, pLoaded), (std::vector<uint8_t>{0x78, 0x56, 0x34, 0x12}));
    EXPECT_EQ(pLoaded->GetSize(), 0x12345678);
    EXPECT_EQ(stored(5000000000, pLoaded), (std::vector<uint8_t>{0xFF, 0xFF, 0xFF, 0x7F}));
    EXPECT_EQ(pLoaded->GetSize(), INT32_MAX);
    // A size written into the field later is the size.
    pLoaded->SetSize(5000000000);
    pLoaded->m_nSize = 77;
    EXPECT_EQ(pLoaded->GetSize(), 77);
}

// One article a little above 2 GiB, generated as it is sent.
class LargeDownloadTest : public ::testing::Test
{
protected:
    static constexpr const char* kGroup = "big.test";
    static constexpr int64_t kSize = k2GiB + 48 * 1024 * 1024 + 4321;
    static constexpr int64_t kTail = 3 * 1024 * 1024 + 17;

    LargeDownloadTest()
    {
        CDownloadOptions::Reset();
        CDownloadOptions::SetFailureWaitMs(0);
        CGatewayOptions options;
        options.m_nArticles = 1;
        options.m_groups.push_back(CGatewayGroup{kGroup, 1, 0, 0, false, kSize});
        m_pSim = std::make_unique<CGatewaySimulator>(options);
        m_pSim->Start();
        m_pAccount = testsupport::NewAccount(ServiceNewsGuy, m_pSim->HostPort());
        m_pSettings->m_bUseProxy = 0;
        m_pSettings->m_bResumeFailed = 1;
        const CGatewayArticle g = m_pSim->Article(kGroup, 0);
        m_pArticle->m_nService = ServiceNewsGuy;
        m_pArticle->m_strDecodeQuery = g.m_strDecodeQuery;
        m_pArticle->m_strDownloadPath = m_dir.Path().string();
        m_pArticle->SetSize(g.m_nSize);
    }
    ~LargeDownloadTest() override { CDownloadOptions::Reset(); }

    bool Attempt() { return testsupport::RunDownloadWorker(m_pQueue, m_pAccount, m_pSettings, m_pArticle); }

    // Where the file first differs from the article's body, -1 when it is the body.
    int64_t FirstDifference(const std::string& strPath) const
    {
        const uint64_t nKey = m_pSim->Article(kGroup, 0).m_nBodyKey;
        std::ifstream file(strPath, std::ios::binary);
        constexpr size_t kChunk = 8 * 1024 * 1024;
        std::vector<char> got(kChunk);
        std::vector<char> want(kChunk);
        for (int64_t nOffset = 0; nOffset < kSize; nOffset += kChunk)
        {
            const size_t n = static_cast<size_t>(std::min<int64_t>(kChunk, kSize - nOffset));
            if (!file.read(got.data(), static_cast<std::streamsize>(n)))
                return nOffset;
            GatewayFillBody(nKey, nOffset, want.data(), n);
            if (std::memcmp(got.data(), want.data(), n) != 0)
                for (size_t i = 0;; ++i)
                    if (got[i] != want[i])
                        return nOffset + static_cast<int64_t>(i);
        }
        return -1;
    }

    testsupport::TempDir m_dir;
    std::unique_ptr<CGatewaySimulator> m_pSim;
    AccountPtr m_pAccount;
    std::shared_ptr<CPreferences> m_pSettings = std::make_shared<CPreferences>();
    ArticlePtr m_pArticle = std::make_shared<CArticle>();
    std::shared_ptr<LoggingQueue> m_pQueue = std::make_shared<LoggingQueue>();
};

TEST_F(LargeDownloadTest, ArrivesWholeAndAResumePast2GiBCompletesIt)
{
    // The first answer breaks off past the 2 GiB mark; the retry asks for the rest.
    CGatewayFault drop;
    drop.m_nDropAfter = kSize - kTail;
    m_pSim->SetArticleFault(kGroup, 0, drop);
    EXPECT_FALSE(Attempt());
    const std::string strPath = m_pArticle->m_strDownloadPath + m_pArticle->m_strSavedName;
    ASSERT_EQ(std::filesystem::file_size(strPath), static_cast<uintmax_t>(kSize - kTail));
    EXPECT_EQ(m_pArticle->GetTransfer().m_nReceived.load(), kSize - kTail);
    EXPECT_NE(m_pArticle->GetTransfer().m_strTimeLeft, "");

    m_pSim->ClearArticleFault(kGroup, 0);
    m_pQueue = std::make_shared<LoggingQueue>();
    EXPECT_TRUE(Attempt()) << m_pArticle->GetTransfer().m_strLastError;
    const auto requests = m_pSim->Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(testsupport::Join(requests[1].m_strRange, requests[1].m_nStatus),
              testsupport::Join("bytes=" + std::to_string(kSize - kTail) + "-", 206));
    EXPECT_EQ(testsupport::Join(std::filesystem::file_size(strPath),
                                m_pArticle->GetTransfer().m_nReceived.load(), m_pArticle->GetSize(),
                                m_pArticle->m_nSize),
              testsupport::Join(kSize, kSize, kSize, INT32_MAX));
    EXPECT_EQ(FirstDifference(strPath), -1);
}

// The stored field says only "2 GiB or more" (a queue file read back): the
// answer's length makes the exact size known again.
TEST_F(LargeDownloadTest, TheAnswerGivesTheExactSizeOfASaturatedRecord)
{
    CGatewayFault drop;
    drop.m_nDropAfter = 1024 * 1024;
    m_pSim->SetArticleFault(kGroup, 0, drop);
    m_pArticle->SetSize(INT32_MAX);
    EXPECT_FALSE(Attempt());
    EXPECT_EQ(m_pArticle->GetSize(), kSize);
}
} // namespace
