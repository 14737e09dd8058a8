// dravelin-cli download run as a separate process against the gateway.

#include "gateway/GatewaySimulator.h"
#include "model/QueueFile.h"
#include "settings/ProfileFile.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

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
        std::string strIni = Ini();
        CProfileFile::WriteProfileString("Account", "Subscriptions", "1", strIni);
        CProfileFile::WriteProfileString("NewsGuy", "DownloadDomain", m_pSim->HostPort(), strIni);
        CProfileFile::WriteProfileString("NewsGuy", "HeaderDomain", m_pSim->HostPort(), strIni);
        CProfileFile::WriteProfileString("NewsGuy", "MaxDownloads", "2", strIni);
        CProfileFile::WriteProfileString("Preferences", "UseProxy", "0", strIni);
        CProfileFile::WriteProfileString("Preferences", "MaxRetries", "0", strIni);
    }

    std::string Ini() const { return (m_dir.Path() / "data" / "Dravelin.ini").string(); }
    std::string QueuePath() const { return (m_dir.Path() / "data" / "Dravelin.dvq").string(); }
    std::string Dl() const { return (m_dir.Path() / "dl").string(); }

    void WriteQueue(const std::vector<int32_t>& indices, int32_t nService = 1)
    {
        std::vector<ArticlePtr> articles;
        for (int32_t nIndex : indices)
        {
            CGatewayArticle g = m_pSim->Article(kGroup, nIndex);
            auto pArticle = std::make_shared<CArticle>();
            pArticle->m_nService = nService;
            pArticle->m_nState = StateQueued;
            pArticle->m_nSize = static_cast<int32_t>(g.m_nSize);
            pArticle->m_strSubject = g.m_strFileName;
            pArticle->m_strDecodeQuery = nService == 16 ? g.m_strEasyQuery : g.m_strDecodeQuery;
            pArticle->m_strDownloadPath = Dl();
            articles.push_back(pArticle);
        }
        ASSERT_TRUE(CQueueFile::SaveQueueFile(QueuePath(), articles));
    }
    std::vector<ArticlePtr> ReadQueue() const
    {
        std::vector<ArticlePtr> articles;
        CQueueFile::ReadQueueFile(QueuePath(), articles);
        return articles;
    }

    // Starts the program with stdout and stderr in files.
    pid_t Spawn(const std::vector<std::string>& args)
    {
        std::vector<std::string> argv = {DRAVELIN_CLI_PATH, "--data-dir", (m_dir.Path() / "data").string(),
                                         "download"};
        argv.insert(argv.end(), args.begin(), args.end());
        std::vector<char*> pointers;
        for (auto& s : argv)
            pointers.push_back(s.data());
        pointers.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, m_dir.File("out").c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0644);
        posix_spawn_file_actions_addopen(&actions, 2, m_dir.File("err").c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0644);
        pid_t pid = -1;
        int nError = posix_spawn(&pid, pointers[0], &actions, nullptr, pointers.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        EXPECT_EQ(nError, 0);
        return pid;
    }
    int Wait(pid_t pid)
    {
        int nStatus = 0;
        waitpid(pid, &nStatus, 0);
        return WIFEXITED(nStatus) ? WEXITSTATUS(nStatus) : -1;
    }

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
    EXPECT_EQ(Wait(Spawn({"--max", "1"})), 0);
    articles = ReadQueue();
    ASSERT_EQ(articles.size(), 5u);
    for (int i = 2; i < 5; ++i)
    {
        CGatewayArticle g = m_pSim->Article(kGroup, i);
        EXPECT_EQ(articles[i]->m_nState, StateDone);
        EXPECT_TRUE(testsupport::ReadFile(Dl() + "/" + g.m_strFileName) == m_pSim->ExpectedBody(g));
    }
    EXPECT_EQ(articles[1]->m_nState, StateFailed);
    std::string strErr = testsupport::ReadFile(m_dir.File("err"));
    EXPECT_NE(strErr.find("Download complete. Average: "), std::string::npos);
    EXPECT_NE(strErr.find("\n3 of 3 articles downloaded\n"), std::string::npos) << strErr;
    EXPECT_EQ(m_pSim->Requests().size(), 3u);
}

TEST_F(CliDownloadTest, AFailureMakesTheExitCodeOne)
{
    CGatewayFault fault;
    fault.m_nStatus = 503;
    m_pSim->SetArticleFault(kGroup, 1, fault);
    WriteQueue({0, 1});
    EXPECT_EQ(Wait(Spawn({})), 1);
    auto articles = ReadQueue();
    ASSERT_EQ(articles.size(), 2u);
    EXPECT_EQ(articles[0]->m_nState, StateDone);
    EXPECT_EQ(articles[1]->m_nState, StateFailed);
    EXPECT_EQ(Wait(Spawn({"--bogus"})), 2);
}

TEST_F(CliDownloadTest, InterruptStopsAndSavesTheQueueForALaterRun)
{
    int32_t nIndex = -1;
    for (const auto& a : m_pSim->Articles(kGroup))
        if (a.m_nSize > 500000)
        {
            nIndex = a.m_nIndex;
            break;
        }
    ASSERT_GE(nIndex, 0);
    CGatewayFault slow;
    slow.m_nThrottle = 400000;
    m_pSim->SetArticleFault(kGroup, nIndex, slow);
    WriteQueue({nIndex});
    pid_t pid = Spawn({});
    // Wait until the download runs, then stop it.
    for (int i = 0; i < 200 && m_pSim->Attempts(kGroup, nIndex) == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_EQ(m_pSim->Attempts(kGroup, nIndex), 1);
    kill(pid, SIGINT);
    EXPECT_EQ(Wait(pid), 1);
    auto articles = ReadQueue();
    ASSERT_EQ(articles.size(), 1u);
    EXPECT_EQ(articles[0]->m_nState, StateQueued);
    std::string strErr = testsupport::ReadFile(m_dir.File("err"));
    EXPECT_NE(strErr.find("(stopped)"), std::string::npos);
    EXPECT_EQ(strErr.find("daily download limit"), std::string::npos) << strErr;

    // The next run finishes it.
    m_pSim->ClearArticleFault(kGroup, nIndex);
    EXPECT_EQ(Wait(Spawn({})), 0);
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
    EXPECT_EQ(Wait(Spawn({})), 0) << testsupport::ReadFile(m_dir.File("err"));
    EXPECT_EQ(ReadQueue()[0]->m_nState, StateDone);
    EXPECT_EQ(m_pSim->Attempts(kGroup, 0), 1);
}
} // namespace
