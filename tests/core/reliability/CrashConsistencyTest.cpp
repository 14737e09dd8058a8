// The program's own files under a crash and a full disk: a process killed at
// any moment of a save leaves every file as it was or as it was to become,
// the next start clears the temporary files, and a write that runs out of
// room fails without losing what was saved before.

#include "filters/KillFile.h"
#include "gateway/GatewaySimulator.h"
#include "model/QueueFile.h"
#include "settings/DataFolder.h"
#include "settings/ProfileFile.h"
#include "support/CliRun.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <random>
#include <thread>

using testsupport::ChildProcess;
using testsupport::ReadFile;
using testsupport::TempDir;

namespace
{
// One version of the three files: a queue of many articles, a kill list and
// the settings, each told apart by nVersion.
struct CFileSet
{
    std::vector<ArticlePtr> queue;
    std::vector<std::string> kills;
    CProfileFile settings;

    CFileSet(int nVersion, int nArticles)
    {
        for (int i = 0; i < nArticles; ++i)
        {
            auto pArticle = std::make_shared<CArticle>();
            pArticle->m_nState = (i + nVersion) % 5;
            pArticle->m_nSize = 1000 * i + nVersion;
            pArticle->m_strSubject = "version " + std::to_string(nVersion) + " post " + std::to_string(i) +
                                     " - file" + std::to_string(i) + ".rar (1/1)";
            pArticle->m_strDecodeQuery = "/news-bin/wwwdecode?g=alt.test&a=" + std::to_string(i);
            pArticle->m_strDownloadPath = "/home/user/Downloads";
            queue.push_back(pArticle);
        }
        for (int i = 0; i < nArticles / 10; ++i)
            kills.push_back("spammer" + std::to_string(i) + "@v" + std::to_string(nVersion));
        for (int i = 0; i < 200; ++i)
            settings.SetString("Section" + std::to_string(i % 7), "Key" + std::to_string(i),
                               "value " + std::to_string(i * (nVersion + 1)));
    }

    // Each file's bytes as a save writes them.
    std::string QueueBytes() const { return CQueueFile::Serialize(queue); }
    std::string KillBytes() const { return CKillFile::FileText(kills); }
    std::string SettingsBytes() const { return settings.GetText(); }

    bool Save(const CDataFolder& folder) const
    {
        return CQueueFile::SaveQueueFile(folder.GetQueuePath(), queue) &&
               CKillFile::SaveKillFilter(folder.GetSubjectKillPath(), kills) &&
               settings.Write(folder.GetIniPath());
    }
};

size_t CountFiles(const std::filesystem::path& dir)
{
    return static_cast<size_t>(std::distance(std::filesystem::directory_iterator(dir), {}));
}
} // namespace

// A child saves the two versions in turn until it is killed at a random
// moment; each file then holds one whole version, whatever the others hold.
TEST(CrashConsistencyTest, KilledSavesLeaveOldOrNewFiles)
{
    TempDir dir;
    CDataFolder folder;
    ASSERT_TRUE(folder.Resolve(dir.Path().string()));
    const CFileSet versions[2] = {CFileSet(0, 10000), CFileSet(1, 10000)};
    // The kills fall within the time of one round of saves, here (a
    // sanitizer build is slower).
    const auto tStart = std::chrono::steady_clock::now();
    ASSERT_TRUE(versions[1].Save(folder));
    ASSERT_TRUE(versions[0].Save(folder));
    const auto nRoundUs =
        std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - tStart).count();

    const unsigned nSeed = std::random_device()();
    SCOPED_TRACE("seed " + std::to_string(nSeed));
    std::mt19937 random(nSeed);
    std::uniform_int_distribution<int64_t> delayUs(0, nRoundUs);
    int nKills = 0;
    int nCaughtMidWrite = 0; // kills that left a temporary file behind
    while (nKills < 100 && (nKills < 20 || nCaughtMidWrite < 3))
    {
        {
            ChildProcess child(
                [&]
                {
                    for (int n = 1;; ++n)
                        if (!versions[n % 2].Save(folder))
                            return 1;
                });
            std::this_thread::sleep_for(std::chrono::microseconds(delayUs(random)));
            child.Kill(SIGKILL);
            ASSERT_EQ(child.Wait(), -1) << "the saving child ended by itself";
        }
        ++nKills;
        const struct
        {
            std::string strPath;
            std::string strBytes[2];
        } files[] = {
            {folder.GetQueuePath(), {versions[0].QueueBytes(), versions[1].QueueBytes()}},
            {folder.GetSubjectKillPath(), {versions[0].KillBytes(), versions[1].KillBytes()}},
            {folder.GetIniPath(), {versions[0].SettingsBytes(), versions[1].SettingsBytes()}},
        };
        for (const auto& file : files)
        {
            const std::string strNow = ReadFile(file.strPath);
            ASSERT_TRUE(strNow == file.strBytes[0] || strNow == file.strBytes[1])
                << file.strPath << " after kill " << nKills << ": " << strNow.size() << " bytes";
        }
        nCaughtMidWrite += CountFiles(dir.Path()) > 3;

        // The next start.
        CDataFolder next;
        ASSERT_TRUE(next.Resolve(dir.Path().string()));
        ASSERT_EQ(CountFiles(dir.Path()), 3u) << "a temporary file survived the start";
        std::vector<ArticlePtr> articles;
        EXPECT_FALSE(CQueueFile::ReadQueueFile(folder.GetQueuePath(), articles).bMalformed);
    }
    EXPECT_GT(nCaughtMidWrite, 0) << "no kill of " << nKills << " came during a write";
}

// A queue larger than the room left fails to save, with a reason, and the
// saved queue stays as it was.
TEST(CrashConsistencyTest, QueueSaveOnAFullDiskKeepsTheOldQueue)
{
    TempDir dir;
    const std::string strPath = dir.File("Dravelin.dvq");
    const CFileSet saved(0, 50);
    ASSERT_TRUE(CQueueFile::SaveQueueFile(strPath, saved.queue));
    const CFileSet larger(1, 20000);
    ChildProcess child(
        [&]
        {
            ChildProcess::LimitFileSize(64 * 1024);
            std::string strError;
            if (CQueueFile::SaveQueueFile(strPath, larger.queue, &strError))
                return 1;
            std::fputs(strError.c_str(), stdout);
            return 0;
        });
    std::string strError;
    ASSERT_EQ(child.Wait(&strError), 0) << "the save did not fail";
    EXPECT_NE(strError.find("File too large"), std::string::npos) << strError;
    EXPECT_EQ(ReadFile(strPath), saved.QueueBytes());
    EXPECT_EQ(CountFiles(dir.Path()), 1u);
}

// dravelin-cli downloads a small and a large article with room for the small
// one only: the large one fails with the reason, its partial file holds the
// first bytes ("KeepFailed" on) or is gone (off); the small one and the queue
// file are kept.
TEST(CrashConsistencyTest, DownloadOnAFullDiskFailsCleanly)
{
    constexpr size_t kRoom = 256 * 1024;
    CGatewayOptions options;
    options.m_groups.push_back(CGatewayGroup{"full.test", 40, 0, 3000000, false});
    CGatewaySimulator sim(options);
    ASSERT_NE(sim.Start(), 0);
    const CGatewayArticle* pSmall = nullptr;
    const CGatewayArticle* pLarge = nullptr;
    const std::vector<CGatewayArticle> listed = sim.Articles("full.test");
    for (const CGatewayArticle& a : listed)
    {
        if (!pSmall && a.m_nSize > 1000 && a.m_nSize < 100000)
            pSmall = &a;
        if (!pLarge && a.m_nSize > 4 * static_cast<int64_t>(kRoom) && a.m_nSize < 3000000)
            pLarge = &a;
    }
    ASSERT_TRUE(pSmall && pLarge);

    for (bool bKeepFailed : {true, false})
    {
        SCOPED_TRACE(bKeepFailed ? "KeepFailed 1" : "KeepFailed 0");
        TempDir dir;
        const std::string strData = (dir.Path() / "data").string();
        const std::string strDl = (dir.Path() / "dl").string();
        std::filesystem::create_directories(strData);
        std::filesystem::create_directories(strDl);
        const std::string strIni = strData + "/Dravelin.ini";
        for (const auto& [pszSection, pszKey, strValue] :
             {std::tuple<const char*, const char*, std::string>{"Account", "Subscriptions", "1"},
              {"NewsGuy", "DownloadDomain", sim.HostPort()},
              {"NewsGuy", "MaxDownloads", "1"},
              {"Preferences", "UseProxy", "0"},
              {"Preferences", "MaxRetries", "0"},
              {"Preferences", "KeepFailed", bKeepFailed ? "1" : "0"}})
            ASSERT_TRUE(CProfileFile::WriteProfileString(pszSection, pszKey, strValue, strIni));
        std::vector<ArticlePtr> queue;
        for (const CGatewayArticle* pGateway : {pSmall, pLarge})
        {
            auto pArticle = std::make_shared<CArticle>();
            pArticle->m_nService = 1;
            pArticle->m_nSize = static_cast<int32_t>(pGateway->m_nSize);
            pArticle->m_strSubject = pGateway->m_strFileName;
            pArticle->m_strDecodeQuery = pGateway->m_strDecodeQuery;
            pArticle->m_strDownloadPath = strDl;
            queue.push_back(pArticle);
        }
        const std::string strQueue = strData + "/Dravelin.dvq";
        ASSERT_TRUE(CQueueFile::SaveQueueFile(strQueue, queue));

        ChildProcess child(
            [&]
            {
                ChildProcess::LimitFileSize(kRoom);
                dup2(1, 2);
                const char* argv[] = {DRAVELIN_CLI_PATH, "--data-dir", strData.c_str(), "download", nullptr};
                execv(argv[0], const_cast<char**>(argv));
                return 127;
            });
        std::string strOut;
        EXPECT_EQ(child.Wait(&strOut), 1) << strOut;
        EXPECT_NE(strOut.find("File too large"), std::string::npos) << strOut;

        std::vector<ArticlePtr> after;
        ASSERT_FALSE(CQueueFile::ReadQueueFile(strQueue, after).bMalformed);
        ASSERT_EQ(after.size(), 2u);
        EXPECT_EQ(after[0]->m_nState, StateDone);
        EXPECT_EQ(after[1]->m_nState, StateFailed);
        EXPECT_TRUE(ReadFile(strDl + "/" + pSmall->m_strFileName) == sim.ExpectedBody(*pSmall));
        const std::string strPartial = strDl + "/" + pLarge->m_strFileName;
        EXPECT_EQ(std::filesystem::exists(strPartial), bKeepFailed);
        if (bKeepFailed)
        {
            EXPECT_TRUE(ReadFile(strPartial) == sim.ExpectedBody(*pLarge, 0, static_cast<int64_t>(kRoom)));
        }
        EXPECT_EQ(CountFiles(strDl), bKeepFailed ? 2u : 1u);
    }
}
