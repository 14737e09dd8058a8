#include "model/QueueDocument.h"
#include "net/GatewayHosts.h"
#include "settings/ProfileFile.h"
#include "support/Join.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <sstream>

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

// service, hosts, user, password, RetrieveBy, ShowOnlyBin, IgnoreNewsGuyLimit, MaxDownloads
std::string Summary(const ServiceAccount& a)
{
    std::ostringstream out;
    out << a.m_nService << " " << a.m_strHeaderDomain << " " << a.m_strDownloadDomain << " "
        << a.m_strUsername << " " << a.m_strPassword << " " << a.m_nRetrieveBy << a.m_bShowOnlyBin
        << a.m_bIgnoreNewsGuyLimit << " " << a.m_nMaxDownloads;
    return out.str();
}

std::vector<std::string> Summaries(const CQueueDocument& doc)
{
    std::vector<std::string> summaries;
    for (const auto& p : doc.m_accounts)
        summaries.push_back(Summary(*p));
    return summaries;
}

// The subscription bits decide which accounts load, in code order, section or
// not; bits above 16 create none. Blank hosts take the default, but not on
// WebUseNet; NewsGuy does not read the limit flag, EasyNews neither it nor
// ShowOnlyBin and RetrieveBy; values are not range-checked.
TEST(AccountsTest, SubscriptionsAndPerServiceReadingRules)
{
    TempDir dir;
    std::string strPath = dir.File("Dravelin.ini");
    WriteFile(strPath, "[Account]\nSubscriptions=3\n");
    CQueueDocument doc;
    EXPECT_EQ(doc.LoadAccounts(strPath), 2);
    EXPECT_EQ(Summaries(doc), (std::vector<std::string>{"1 www.newsguy.com dl.newsguy.com   310 2",
                                                        "2 www.newsguy.com dl.newsguy.com   310 2"}));
    WriteFile(strPath,
              "[Account]\nSubscriptions=-1\n"
              "[NewsGuy]\nDownloadDomain=   \nHeaderDomain=  news.example:8080 \nIgnoreNewsGuyLimit=1\n"
              "MaxDownloads=7\nUsername=u1\nPassword=p1\n"
              "[NewsGuyExtra]\nIgnoreNewsGuyLimit=1\nRetrieveBy=1\nShowOnlyBin=0\nMaxDownloads=150\n"
              "[WebUseNet]\nHeaderDomain=\nDownloadDomain=dl.web\n"
              "[EasyNews]\nShowOnlyBin=1\nRetrieveBy=0\nMaxDownloads=4\nUsername=en\n");
    EXPECT_EQ(doc.LoadAccounts(strPath), 150);
    EXPECT_EQ(Summaries(doc),
              (std::vector<std::string>{"1 news.example:8080 dl.newsguy.com u1 p1 310 7",
                                        "2 www.newsguy.com dl.newsguy.com   101 150", "4  dl.web   310 2",
                                        "8 members.webusenet.com members.webusenet.com   310 2",
                                        "16 members.easynews.com members.easynews.com en  300 4"}));
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
    for (const char* pszAbsent : {"unknown", "second", "high", "[]"})
        EXPECT_EQ(strFile.find(pszAbsent), std::string::npos) << pszAbsent;
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
    EXPECT_EQ(testsupport::Join(
                  doc.GetServiceHost(ServiceNewsGuy, false), doc.GetServiceHost(ServiceNewsGuy, true),
                  doc.GetServiceHost(ServiceEasyNews, true), doc.GetServiceHost(ServiceEasyNews, false)),
              "d-a|a:pw-a@d-a|http://|http://|");
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
    EXPECT_EQ(testsupport::Join(doc.m_nActiveDownloads, doc.m_nSubscriptions, doc.m_accounts.size(),
                                doc.m_settings.m_strDefaultPath),
              "0|16|1|/d/|");

    CQueueDocument missing;
    EXPECT_FALSE(missing.Open(dir.File("none.ini"), &prompts));
    EXPECT_EQ(prompts.m_messages.size(), 1u);
    EXPECT_TRUE(missing.m_accounts.empty());
}
