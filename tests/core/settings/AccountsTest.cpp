#include "model/QueueDocument.h"
#include "net/GatewayHosts.h"
#include "settings/ProfileFile.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

using testsupport::FakePrompts;
using testsupport::ReadFile;
using testsupport::TempDir;
using testsupport::WriteFile;

namespace
{
AccountPtr MakeAccount(int32_t nService, const std::string& strUser, int32_t nMax = 2)
{
    auto p = std::make_shared<ServiceAccount>();
    p->m_nService = nService;
    p->m_strUsername = strUser;
    p->m_strPassword = "pw-" + strUser;
    p->m_strHeaderDomain = "h-" + strUser;
    p->m_strDownloadDomain = "d-" + strUser;
    p->m_nMaxDownloads = nMax;
    return p;
}
} // namespace

TEST(AccountsTest, SubscriptionsDecideWhichAccountsLoadInCodeOrder)
{
    TempDir dir;
    std::string strPath = dir.File("Dravelin.ini");
    WriteFile(strPath, "[Account]\nSubscriptions=3\n");
    CQueueDocument doc;
    EXPECT_EQ(doc.LoadAccounts(strPath), 2);
    ASSERT_EQ(doc.m_accounts.size(), 2u);
    EXPECT_EQ(doc.m_accounts[0]->m_nService, ServiceNewsGuy);
    EXPECT_EQ(doc.m_accounts[1]->m_nService, ServiceNewsGuyExtra);
    for (const auto& p : doc.m_accounts)
    {
        EXPECT_EQ(p->m_nRetrieveBy, 3);
        EXPECT_EQ(p->m_bShowOnlyBin, 1);
        EXPECT_EQ(p->m_nMaxDownloads, 2);
        EXPECT_EQ(p->m_strHeaderDomain, GatewayHosts::kNewsGuyHeaderHost);
        EXPECT_EQ(p->m_strDownloadDomain, GatewayHosts::kNewsGuyDownloadHost);
    }

    // Bits above 16 create no account; every known bit does, section or not.
    WriteFile(strPath, "[Account]\nSubscriptions=-1\n");
    doc.LoadAccounts(strPath);
    ASSERT_EQ(doc.m_accounts.size(), 5u);
    EXPECT_EQ(doc.m_accounts[2]->m_strHeaderDomain, GatewayHosts::kWebUseNetHost);
    EXPECT_EQ(doc.m_accounts[3]->m_strDownloadDomain, GatewayHosts::kWebUseNetMembersHost);
    EXPECT_EQ(doc.m_accounts[4]->m_strHeaderDomain, GatewayHosts::kEasyNewsMembersHost);
}

TEST(AccountsTest, PerServiceReadingRules)
{
    TempDir dir;
    std::string strPath = dir.File("Dravelin.ini");
    WriteFile(strPath,
              "[Account]\nSubscriptions=31\n"
              "[NewsGuy]\nDownloadDomain=   \nHeaderDomain=  news.example:8080 \nIgnoreNewsGuyLimit=1\n"
              "MaxDownloads=7\nUsername=u1\nPassword=p1\n"
              "[NewsGuyExtra]\nIgnoreNewsGuyLimit=1\nRetrieveBy=1\nShowOnlyBin=0\nMaxDownloads=150\n"
              "[WebUseNet]\nHeaderDomain=\nDownloadDomain=dl.web\n"
              "[EasyNews]\nShowOnlyBin=1\nRetrieveBy=0\nMaxDownloads=4\nUsername=en\n");
    CQueueDocument doc;
    EXPECT_EQ(doc.LoadAccounts(strPath), 150) << "values are not range-checked";
    ASSERT_EQ(doc.m_accounts.size(), 5u);

    const auto& newsguy = *doc.m_accounts[0];
    EXPECT_EQ(newsguy.m_strDownloadDomain, GatewayHosts::kNewsGuyDownloadHost)
        << "blank host takes the default";
    EXPECT_EQ(newsguy.m_strHeaderDomain, "news.example:8080");
    EXPECT_EQ(newsguy.m_bIgnoreNewsGuyLimit, 0) << "NewsGuy does not read the limit flag";
    EXPECT_EQ(newsguy.m_nMaxDownloads, 7);
    EXPECT_EQ(newsguy.m_strUsername, "u1");
    EXPECT_EQ(newsguy.m_strPassword, "p1");

    const auto& extra = *doc.m_accounts[1];
    EXPECT_EQ(extra.m_bIgnoreNewsGuyLimit, 1);
    EXPECT_EQ(extra.m_nRetrieveBy, 1);
    EXPECT_EQ(extra.m_bShowOnlyBin, 0);

    const auto& web = *doc.m_accounts[2];
    EXPECT_EQ(web.m_strHeaderDomain, "") << "WebUseNet hosts are not replaced when empty";
    EXPECT_EQ(web.m_strDownloadDomain, "dl.web");

    const auto& easy = *doc.m_accounts[4];
    EXPECT_EQ(easy.m_bShowOnlyBin, 0);
    EXPECT_EQ(easy.m_nRetrieveBy, 3);
    EXPECT_EQ(easy.m_nMaxDownloads, 4);
    EXPECT_EQ(easy.m_strUsername, "en");
}

TEST(AccountsTest, SaveWritesEverySectionAndTheSum)
{
    TempDir dir;
    std::string strPath = dir.File("Dravelin.ini");
    WriteFile(strPath, "[Account]\nActive=16\n");
    CQueueDocument doc;
    doc.m_accounts = {MakeAccount(ServiceEasyNews, "e", 3), MakeAccount(ServiceNewsGuy, "n")};
    doc.SaveAccounts(strPath);
    EXPECT_EQ(ReadFile(strPath),
              "[Account]\nActive=16\nSubscriptions=17\n\n"
              "[EasyNews]\nHeaderDomain=h-e\nDownloadDomain=d-e\nUsername=e\nPassword=pw-e\n"
              "RetrieveBy=3\nShowOnlyBin=0\nIgnoreNewsGuyLimit=0\nMaxDownloads=3\n\n"
              "[NewsGuy]\nHeaderDomain=h-n\nDownloadDomain=d-n\nUsername=n\nPassword=pw-n\n"
              "RetrieveBy=3\nShowOnlyBin=0\nIgnoreNewsGuyLimit=0\nMaxDownloads=2\n");

    CQueueDocument loaded;
    EXPECT_EQ(loaded.LoadAccounts(strPath), 3);
    ASSERT_EQ(loaded.m_accounts.size(), 2u);
    EXPECT_EQ(loaded.m_accounts[0]->m_nService, ServiceNewsGuy) << "loaded in code order";
    EXPECT_EQ(loaded.m_accounts[1]->m_strPassword, "pw-e");
}

TEST(AccountsTest, UnknownAndDuplicateCodesNeverOverwriteAnotherSection)
{
    TempDir dir;
    std::string strPath = dir.File("Dravelin.ini");
    CQueueDocument doc;
    doc.m_accounts = {MakeAccount(0, "unknown-first"), MakeAccount(ServiceNewsGuy, "first"),
                      MakeAccount(0, "unknown"), MakeAccount(ServiceNewsGuy, "second"),
                      MakeAccount(64, "high")};
    doc.SaveAccounts(strPath);
    std::string strFile = ReadFile(strPath);
    EXPECT_EQ(strFile.find("unknown"), std::string::npos);
    EXPECT_EQ(strFile.find("second"), std::string::npos);
    EXPECT_EQ(strFile.find("high"), std::string::npos);
    EXPECT_EQ(strFile.find("[]"), std::string::npos);
    EXPECT_EQ(CProfileFile::GetProfileString("NewsGuy", "Username", "", strPath), "first");
    EXPECT_EQ(CProfileFile::GetProfileInt("Account", "Subscriptions", -1, strPath), 1);
}

TEST(AccountsTest, FindAccountAndServiceHost)
{
    CQueueDocument doc;
    doc.m_accounts = {MakeAccount(ServiceWebUseNet, "w"), MakeAccount(ServiceNewsGuy, "a"),
                      MakeAccount(ServiceNewsGuy, "b")};
    EXPECT_EQ(doc.FindAccount(ServiceNewsGuy)->m_strUsername, "a");
    EXPECT_EQ(doc.FindAccount(ServiceEasyNews), nullptr);
    EXPECT_EQ(doc.GetServiceHost(ServiceNewsGuy, false), "d-a");
    EXPECT_EQ(doc.GetServiceHost(ServiceNewsGuy, true), "a:pw-a@d-a");
    EXPECT_EQ(doc.GetServiceHost(ServiceEasyNews, true), "http://");
    EXPECT_EQ(doc.GetServiceHost(ServiceEasyNews, false), "http://");
}

TEST(AccountsTest, OpenLoadsAccountsThenSettings)
{
    TempDir dir;
    std::string strPath = dir.File("Dravelin.ini");
    WriteFile(strPath, "[Dravelin]\nVersion=2.0\nCompatibleBuild=0328\n[Preferences]\nGetRightPath=/g\n"
                       "DefaultPath=/d\n[Account]\nSubscriptions=16\n[EasyNews]\nMaxDownloads=5\n");
    FakePrompts prompts;
    CQueueDocument doc;
    doc.m_nActiveDownloads = 3;
    EXPECT_TRUE(doc.Open(strPath, &prompts));
    EXPECT_TRUE(prompts.m_messages.empty());
    EXPECT_EQ(doc.m_nActiveDownloads, 0);
    EXPECT_EQ(doc.m_nSubscriptions, 16);
    ASSERT_EQ(doc.m_accounts.size(), 1u);
    EXPECT_EQ(doc.m_settings.m_strDefaultPath, "/d/");

    CQueueDocument missing;
    EXPECT_FALSE(missing.Open(dir.File("none.ini"), &prompts));
    EXPECT_EQ(prompts.m_messages.size(), 1u);
    EXPECT_TRUE(missing.m_accounts.empty());
}
