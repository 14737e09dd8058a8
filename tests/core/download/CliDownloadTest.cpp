// dravelin-cli download run as a separate process against the gateway.

#include "gateway/GatewaySimulator.h"
#include "model/QueueFile.h"
#include "settings/ProfileFile.h"
#include "support/Articles.h"
#include "support/CliRun.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <thread>

namespace
{
constexpr const char* kGroup = "cli.test";

class CliDownloadTest : public ::testing::Test
{
protected:
    CliDownloadTest()
    {
        CGatewayOptions options;
        options.m_nArticles = 5;
        options.m_nStallLimitMs = 3000;
        options.m_groups.push_back(CGatewayGroup{kGroup, 12, 0, 2000000, false});
        m_pSim = std::make_unique<CGatewaySimulator>(options);
        m_pSim->Start();
        std::filesystem::create_directories(m_dir.Path() / "data");
        std::filesystem::create_directories(m_dir.Path() / "dl");
        testsupport::WriteFile(Ini(), "[Account]\nSubscriptions=1\n[NewsGuy]\nDownloadDomain=" +
                                          m_pSim->HostPort() + "\nHeaderDomain=" + m_pSim->HostPort() +
                                          "\nMaxDownloads=2\n[Preferences]\nUseProxy=0\nMaxRetries=0\n");
    }

    std::string Ini() const { return (m_dir.Path() / "data" / "Dravelin.ini").string(); }
    std::string QueuePath() const { return (m_dir.Path() / "data" / "Dravelin.dvq").string(); }
    std::string Dl() const { return (m_dir.Path() / "dl").string(); }

    void WriteQueue(const std::vector<int32_t>& indices, int32_t nService = 1)
    {
        std::vector<ArticlePtr> articles;
        for (int32_t nIndex : indices)
        {
            const CGatewayArticle g = m_pSim->Article(kGroup, nIndex);
            articles.push_back(testsupport::NewArticle(
                {.nState = StateQueued,
                 .nService = nService,
                 .nSize = static_cast<int32_t>(g.m_nSize),
                 .strPath = Dl(),
                 .strSubject = g.m_strFileName,
                 .strQuery = nService == 16 ? g.m_strEasyQuery : g.m_strDecodeQuery}));
        }
        ASSERT_TRUE(CQueueFile::SaveQueueFile(QueuePath(), articles));
    }
    std::vector<ArticlePtr> ReadQueue() const
    {
        std::vector<ArticlePtr> articles;
        CQueueFile::ReadQueueFile(QueuePath(), articles);
        return articles;
    }

    // dravelin-cli download args...; its standard error is kept in m_strErr.
    int Download(const std::vector<std::string>& args, const std::function<void(pid_t)>& fnStarted = {})
    {
        std::vector<std::string> argv{"download"};
        argv.insert(argv.end(), args.begin(), args.end());
        const testsupport::CliRun run = testsupport::RunCliIn(m_dir, argv, {}, 0, fnStarted);
        m_strErr = run.strErr;
        return run.nExit;
    }

    std::string m_strErr;
    testsupport::TempDir m_dir;
    std::unique_ptr<CGatewaySimulator> m_pSim;
};

// Finished and failed articles of earlier runs come back with the whole
// queue; the summary and the exit code are about this run's articles.
TEST_F(CliDownloadTest, DownloadsTheQueueAndCountsThisRunsArticles)
{
    WriteQueue({0, 1, 2, 3, 4});
    auto articles = ReadQueue();
    articles[0]->m_nState = StateDone;
    articles[1]->m_nState = StateFailed;
    ASSERT_TRUE(CQueueFile::SaveQueueFile(QueuePath(), articles));
    EXPECT_EQ(Download({"--max", "1"}), 0);
    articles = ReadQueue();
    ASSERT_EQ(articles.size(), 5u);
    for (int i = 2; i < 5; ++i)
    {
        CGatewayArticle g = m_pSim->Article(kGroup, i);
        EXPECT_EQ(articles[i]->m_nState, StateDone);
        EXPECT_TRUE(testsupport::ReadFile(Dl() + "/" + g.m_strFileName) == m_pSim->ExpectedBody(g));
    }
    EXPECT_EQ(articles[1]->m_nState, StateFailed);
    EXPECT_NE(m_strErr.find("Download complete. Average: "), std::string::npos);
    EXPECT_NE(m_strErr.find("\n3 of 3 articles downloaded\n"), std::string::npos) << m_strErr;
    EXPECT_EQ(m_pSim->Requests().size(), 3u);
}

TEST_F(CliDownloadTest, AFailureMakesTheExitCodeOne)
{
    CGatewayFault fault;
    fault.m_nStatus = 503;
    m_pSim->SetArticleFault(kGroup, 1, fault);
    WriteQueue({0, 1});
    EXPECT_EQ(Download({}), 1);
    auto articles = ReadQueue();
    ASSERT_EQ(articles.size(), 2u);
    EXPECT_EQ(articles[0]->m_nState, StateDone);
    EXPECT_EQ(articles[1]->m_nState, StateFailed);
    EXPECT_EQ(Download({"--bogus"}), 2);
}

TEST_F(CliDownloadTest, InterruptStopsAndSavesTheQueueForALaterRun)
{
    const auto articles0 = m_pSim->Articles(kGroup);
    const auto it =
        std::find_if(articles0.begin(), articles0.end(), [](const auto& a) { return a.m_nSize > 500000; });
    ASSERT_NE(it, articles0.end());
    const int32_t nIndex = it->m_nIndex;
    CGatewayFault slow;
    slow.m_nThrottle = 400000;
    m_pSim->SetArticleFault(kGroup, nIndex, slow);
    WriteQueue({nIndex});
    // Once the download runs, SIGINT stops it.
    EXPECT_EQ(Download({},
                       [&](pid_t pid)
                       {
                           for (int i = 0; i < 200 && m_pSim->Attempts(kGroup, nIndex) == 0; ++i)
                               std::this_thread::sleep_for(std::chrono::milliseconds(20));
                           EXPECT_EQ(m_pSim->Attempts(kGroup, nIndex), 1);
                           kill(pid, SIGINT);
                       }),
              1);
    auto articles = ReadQueue();
    ASSERT_EQ(articles.size(), 1u);
    EXPECT_EQ(articles[0]->m_nState, StateQueued);
    EXPECT_NE(m_strErr.find("(stopped)"), std::string::npos);
    EXPECT_EQ(m_strErr.find("daily download limit"), std::string::npos) << m_strErr;

    // The next run finishes it.
    m_pSim->ClearArticleFault(kGroup, nIndex);
    EXPECT_EQ(Download({}), 0);
    CGatewayArticle g = m_pSim->Article(kGroup, nIndex);
    EXPECT_TRUE(testsupport::ReadFile(Dl() + "/" + g.m_strFileName) == m_pSim->ExpectedBody(g));
    EXPECT_EQ(ReadQueue()[0]->m_nState, StateDone);
}

TEST_F(CliDownloadTest, EasyNewsPort81SettingReachesTheDownloads)
{
    CGatewayOptions options;
    options.m_nPort = 81;
    options.m_groups.push_back(CGatewayGroup{kGroup, 12, 0, 200000, false});
    m_pSim = std::make_unique<CGatewaySimulator>(options);
    if (m_pSim->Start() == 0)
        GTEST_SKIP() << "port 81 is not available here";
    // The host names no port: only the setting leads to port 81.
    CProfileFile::WriteProfileString("Account", "Subscriptions", "16", Ini());
    CProfileFile::WriteProfileString("Account", "UseEasyNewsPort81", "1", Ini());
    CProfileFile::WriteProfileString("EasyNews", "DownloadDomain", "127.0.0.1", Ini());
    WriteQueue({0}, 16);
    EXPECT_EQ(Download({}), 0) << m_strErr;
    EXPECT_EQ(ReadQueue()[0]->m_nState, StateDone);
    EXPECT_EQ(m_pSim->Attempts(kGroup, 0), 1);
}
} // namespace
