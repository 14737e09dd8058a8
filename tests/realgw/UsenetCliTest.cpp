// The commands a user runs against a news server, end to end: the simulator's
// NNTP face posts a group, its NZB is imported, and dravelin-cli download
// fetches through the in-process gateway from section [Usenet].

#include "gateway/NntpFace.h"
#include "model/QueueDocument.h"
#include "net/GatewayHosts.h"
#include "settings/ProfileFile.h"
#include "settings/ServiceRoutes.h"
#include "support/CliRun.h"

#include <gtest/gtest.h>

using testsupport::CliRun;
using testsupport::RunCliIn;
using testsupport::TempDir;

namespace
{
constexpr const char* kGroup = "alt.binaries.wire";
constexpr int kFiles = 3;

using UsenetCliTest = ::testing::TestWithParam<bool>;

TEST_P(UsenetCliTest, ImportedNzbDownloadsByteForByte)
{
    const bool bTls = GetParam();
    TempDir dir;
    CGatewayOptions corpus;
    corpus.m_groups.push_back(CGatewayGroup{kGroup, kFiles, 0, 0, false, 5 * 30000 + 123});
    SNntpFaceOptions options;
    options.m_nPartSize = 30000;
    options.m_bTls = bTls;
    options.m_strCaFile = dir.File("ca.pem");
    options.m_users = {{"reader", "secret"}};
    CNntpFace face(corpus, options);
    ASSERT_GT(face.Start(), 0) << face.GetError();
    const std::string strNzb = dir.File("wire.nzb");
    testsupport::WriteFile(strNzb, face.Nzb(kGroup));

    std::vector<std::string> set = {"usenet", "set", "--server", "127.0.0.1", "--port",
                                    std::to_string(face.Port()), "--tls", bTls ? "on" : "off",
                                    "--user", "reader", "--password-stdin", "--connections", "3"};
    if (bTls)
        set.insert(set.end(), {"--ca-file", face.CaFile()});
    CliRun run = RunCliIn(dir, set, "secret\n");
    ASSERT_EQ(run.nExit, 0) << run.strErr;
    const std::string strOut = (dir.Path() / "out").string() + "/";
    run = RunCliIn(dir, {"queue", "import", strNzb, "--path", strOut});
    ASSERT_EQ(run.nExit, 0) << run.strErr;
    std::filesystem::create_directories(strOut);
    run = RunCliIn(dir, {"download"});
    EXPECT_EQ(run.nExit, 0) << run.strErr;
    for (int i = 0; i < kFiles; ++i)
    {
        const CGatewayArticle article = face.Article(kGroup, i);
        const std::string strGot = testsupport::ReadFile(strOut + article.m_strFileName);
        EXPECT_TRUE(strGot == face.FileBytes(article))
            << article.m_strFileName << ": " << strGot.size() << " bytes\n" << run.strErr;
    }
    EXPECT_GT(face.PasswordsReceived(), 0);
}

INSTANTIATE_TEST_SUITE_P(PlainAndTls, UsenetCliTest, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Tls" : "Plain"; });

// A routed service reads the route as its hosts and writes the file's own
// hosts back; an account that only the route brought is not subscribed.
TEST(ServiceRoutesTest, SavingKeepsTheFileHosts)
{
    TempDir dir;
    const std::string strIni = dir.File("Dravelin.ini");
    for (const int32_t nSubscriptions : {int32_t{ServiceNewsGuy | ServiceEasyNews}, int32_t{ServiceEasyNews}})
    {
        CProfileFile ini;
        ini.SetInt("Account", "Subscriptions", nSubscriptions);
        ini.SetString("NewsGuy", "HeaderDomain", "headers.example");
        ini.SetString("NewsGuy", "DownloadDomain", "downloads.example");
        ASSERT_TRUE(ini.Write(strIni));
        CServiceRoutes::Set(ServiceNewsGuy, "127.0.0.1:4119");
        CQueueDocument doc;
        doc.LoadAccounts(strIni);
        AccountPtr pAccount = doc.FindAccount(ServiceNewsGuy);
        ASSERT_TRUE(pAccount);
        EXPECT_EQ(pAccount->m_strHeaderDomain, "127.0.0.1:4119");
        EXPECT_EQ(pAccount->m_strDownloadDomain, "127.0.0.1:4119");
        doc.SaveAccounts(strIni);
        CServiceRoutes::Clear();
        CProfileFile saved;
        ASSERT_TRUE(saved.Read(strIni));
        EXPECT_EQ(saved.GetString("NewsGuy", "HeaderDomain", ""), "headers.example");
        EXPECT_EQ(saved.GetString("NewsGuy", "DownloadDomain", ""), "downloads.example");
        EXPECT_EQ(saved.GetInt("Account", "Subscriptions", 0), nSubscriptions);
    }
}
} // namespace
