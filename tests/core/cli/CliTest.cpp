// dravelin-cli run as a separate process; "list" against the in-process gateway
// simulator.

#include "gateway/GatewaySimulator.h"
#include "model/QueueDocument.h"
#include "model/QueueFile.h"
#include "net/GatewayHosts.h"
#include "settings/FolderLock.h"
#include "settings/ProfileFile.h"
#include "support/Articles.h"
#include "support/CliRun.h"
#include "support/Join.h"

#include <gtest/gtest.h>

using testsupport::CProcessResult;
using testsupport::ReadFile;
using testsupport::SplitLines;
using testsupport::WriteFile;
using Texts = std::vector<std::string>;

namespace
{
class CliTest : public ::testing::Test
{
protected:
    // A private HOME, so the download folder default does not depend on the
    // machine.
    CProcessResult RunRaw(Texts args)
    {
        args.insert(args.begin(), DRAVELIN_CLI_PATH);
        return testsupport::RunProgram(args,
                                       {"XDG_CONFIG_HOME", "DRAVELIN_HOME", "HOME=" + m_dir.Path().string()});
    }
    CProcessResult Run(const Texts& args, size_t nInterruptAfter = 0)
    {
        return testsupport::RunCliIn(m_dir, args, {}, nInterruptAfter);
    }
    std::string Data() const { return (m_dir.Path() / "data").string(); }
    std::string Ini() const { return Data() + "/Dravelin.ini"; }
    std::string Queue() const { return Data() + "/Dravelin.dvq"; }

    static ArticlePtr MakeArticle(int32_t nState, const std::string& strSubject, int32_t nRetries = 1)
    {
        return testsupport::NewArticle(
            {nState, nRetries, 16, 4096, "au", "2001-03-12", "/dl/", "f.bin", strSubject, "/x?y=1", 0});
    }

    testsupport::TempDir m_dir;
};

const Texts kAdd{"queue", "add", "--service", "1", "--size", "1", "--subject", "s", "--decode-query", "q"};
} // namespace

TEST_F(CliTest, SettingsOfAMissingFile)
{
    CProcessResult result = Run({"settings"});
    EXPECT_EQ(result.nExit, 0);
    EXPECT_EQ(result.strErr, "The Dravelin.ini file is either incompatible "
                             "or\ndoes not exist. Please, "
                             "configure Dravelin first.\n");
    EXPECT_EQ(
        result.strOut,
        "Dravelin/Version=\nDravelin/CompatibleBuild=\nPreferences/GetRightPath=/usr/local/bin/getright\n"
        "Preferences/LoadOriginalQueue=1\nPreferences/UpdateArticleStatus=1\nPreferences/RetryInfinite=0\n"
        "Preferences/UseProxy=1\nPreferences/ProxySetting=0\nPreferences/ProxyAddress=\n"
        "Preferences/ProxyPort=80\nPreferences/ProxyAuthentication=0\nPreferences/ProxyUsername=\n"
        "Preferences/ProxyPassword=\nPreferences/DefaultPath=" +
            m_dir.Path().string() +
            "/Downloads/\nPreferences/MaxRetries=4\nPreferences/MaxDownloads=2\n"
            "Preferences/KeepFailed=1\nPreferences/ResumeFailed=1\nPreferences/DeleteTempInet=1\n"
            "Preferences/EmptyRecycleBin=1\nPreferences/ReplaceUnderscore=0\nPreferences/DoNotQueue=0\n"
            "Preferences/DownloadManager=0\nPreferences/LoadQueue=1\nPreferences/SaveQueue=1\n"
            "Account/Subscriptions=0\n");
}

TEST_F(CliTest, SettingsWithAccountsHidePasswords)
{
    std::filesystem::create_directory(Data());
    WriteFile(Ini(), "[Dravelin]\r\nVersion=2.0\r\nCompatibleBuild=0328\r\n[Preferences]"
                     "\r\nProxyPassword=secret\r\n"
                     "GetRightPath=/g\r\nDefaultPath=/srv\r\n[Account]\r\nSubscriptions=18\r\n"
                     "[NewsGuyExtra]\r\nUsername=me\r\nPassword=hunter2\r\nIgnoreNewsGuyLimit="
                     "1\r\n"
                     "[EasyNews]\r\nHeaderDomain=127.0.0.1:8080\r\nMaxDownloads=3\r\n");
    CProcessResult result = Run({"settings"});
    EXPECT_EQ(result.nExit, 0);
    EXPECT_EQ(result.strErr, "");
    EXPECT_EQ(result.strOut.find("secret"), std::string::npos);
    EXPECT_EQ(result.strOut.find("hunter2"), std::string::npos);
    auto lines = SplitLines(result.strOut);
    ASSERT_EQ(lines.size(), 26u + 16u);
    EXPECT_EQ(testsupport::Join(lines[0], lines[1], lines[12], lines[13], lines[25]),
              "Dravelin/Version=2.0|Dravelin/CompatibleBuild=0328|Preferences/ProxyPassword=***|"
              "Preferences/DefaultPath=/srv/|Account/Subscriptions=18|");
    std::string strAccounts;
    for (auto it = lines.begin() + 26; it != lines.end(); ++it)
        strAccounts += *it + "\n";
    EXPECT_EQ(strAccounts,
              "Account.1/Service=2\nAccount.1/HeaderDomain=www.newsguy.com\n"
              "Account.1/DownloadDomain=dl.newsguy.com\nAccount.1/Username=me\nAccount.1/RetrieveBy=3\n"
              "Account.1/ShowOnlyBin=1\nAccount.1/IgnoreNewsGuyLimit=1\nAccount.1/MaxDownloads=2\n"
              "Account.2/Service=16\nAccount.2/HeaderDomain=127.0.0.1:8080\n"
              "Account.2/DownloadDomain=members.easynews.com\nAccount.2/Username=\n"
              "Account.2/RetrieveBy=3\nAccount.2/ShowOnlyBin=0\nAccount.2/IgnoreNewsGuyLimit=0\n"
              "Account.2/MaxDownloads=3\n");
}

TEST_F(CliTest, QueueListingFollowsTheLoadRules)
{
    std::filesystem::create_directory(Data());
    std::vector<ArticlePtr> stored;
    for (int32_t nState : {0, 1, 3, 4, 6, 7})
        stored.push_back(MakeArticle(nState, "s" + std::to_string(nState)));
    stored[0]->m_strSubject.assign("tab\there\\back\r\nline");
    ASSERT_TRUE(CQueueFile::SaveQueueFile(Queue(), stored));

    CProcessResult waiting = Run({"queue", "--waiting"});
    EXPECT_EQ(waiting.nExit, 0);
    EXPECT_EQ(SplitLines(waiting.strOut), (Texts{"0\t1\t16\t4096\tau\t2001-03-12\t/dl/"
                                                 "\tf.bin\ttab\\there\\\\back\\r\\nline\t/x?y=1",
                                                 "0\t1\t16\t4096\tau\t2001-03-12\t/dl/\tf.bin\ts1\t/x?y=1",
                                                 "0\t1\t16\t4096\tau\t2001-03-12\t/dl/\tf.bin\ts6\t/x?y=1"}));
    CProcessResult all = Run({"queue", "--all"});
    EXPECT_EQ(all.nExit, 0);
    EXPECT_EQ(SplitLines(all.strOut).size(), 5u);
    // Without a flag the setting decides.
    for (int nOriginal : {0, 1})
    {
        CProfileFile::WriteProfileInt("Preferences", "LoadOriginalQueue", nOriginal, Ini());
        EXPECT_EQ(SplitLines(Run({"queue"}).strOut).size(), nOriginal ? 5u : 3u);
    }
    EXPECT_EQ(ReadFile(Queue()), CQueueFile::Serialize(stored)) << "listing never rewrites the file";
}

TEST_F(CliTest, MalformedQueuePrintsWhatWasReadAndFails)
{
    std::filesystem::create_directory(Data());
    std::string strData = CQueueFile::Serialize({MakeArticle(0, "first"), MakeArticle(0, "second")});
    WriteFile(Queue(), strData.substr(0, strData.size() - 3));
    CProcessResult result = Run({"queue"});
    EXPECT_EQ(result.nExit, 1);
    ASSERT_EQ(SplitLines(result.strOut).size(), 1u);
    EXPECT_NE(result.strOut.find("first"), std::string::npos);
    EXPECT_NE(result.strErr.find("malformed"), std::string::npos);
    // Adding to a malformed file refuses and leaves it alone.
    std::string strBefore = ReadFile(Queue());
    EXPECT_EQ(Run(kAdd).nExit, 1);
    EXPECT_EQ(ReadFile(Queue()), strBefore);
}

TEST_F(CliTest, AddKeepsStoredArticlesAndClearEmpties)
{
    // Created when missing; the data folder too.
    CProcessResult first = Run(
        {"queue", "add", "--service", "16", "--size", "123", "--subject", "Subj", "--decode-query", "/q"});
    ASSERT_EQ(first.nExit, 0) << first.strErr;
    std::vector<ArticlePtr> articles;
    ASSERT_FALSE(CQueueFile::ReadQueueFile(Queue(), articles).bMalformed);
    ASSERT_EQ(articles.size(), 1u);
    EXPECT_EQ(testsupport::Fields(*articles[0]), "0 0 16 123|||||Subj|/q");

    // Stored articles stay byte for byte, states included (no load rules).
    std::vector<ArticlePtr> stored = {MakeArticle(7, "removing"), MakeArticle(3, "done")};
    ASSERT_TRUE(CQueueFile::SaveQueueFile(Queue(), stored));
    CProcessResult add =
        Run({"queue", "add", "--service", "16", "--size", "4096", "--subject", "new", "--decode-query",
             "/x?y=1", "--author", "au", "--date", "2001-03-12", "--file-name", "f.bin", "--path", "/dl/"});
    ASSERT_EQ(add.nExit, 0) << add.strErr;
    stored.push_back(MakeArticle(StateQueued, "new", 0));
    EXPECT_EQ(ReadFile(Queue()), CQueueFile::Serialize(stored));

    EXPECT_EQ(Run({"queue", "clear"}).nExit, 0);
    EXPECT_EQ(ReadFile(Queue()), std::string(4, '\0'));
}

TEST_F(CliTest, BadArgumentsExitTwoAndTouchNothing)
{
    std::filesystem::create_directory(Data());
    ASSERT_TRUE(CQueueFile::SaveQueueFile(Queue(), {MakeArticle(0, "keep")}));
    std::string strBefore = ReadFile(Queue());
    auto add = [](size_t nAt, const Texts& replace, size_t nDrop = 0)
    {
        Texts args = kAdd;
        std::copy(replace.begin(), replace.end(), args.begin() + static_cast<long>(nAt));
        args.resize(args.size() - nDrop);
        return args;
    };
    const std::vector<Texts> cases = {add(3, {"3"}),
                                      add(5, {"-1"}),
                                      add(5, {"12x"}),
                                      add(5, {"99999999999"}),
                                      add(0, {}, 2),
                                      add(0, {}, 1),
                                      {"queue", "add", "--bogus", "1"},
                                      {"queue", "clear", "now"},
                                      {"queue", "--all", "--waiting"},
                                      {"queue", "--everything"},
                                      {"settings", "extra"},
                                      {"nosuchcommand"}};
    for (const auto& args : cases)
    {
        CProcessResult result = Run(args);
        EXPECT_EQ(result.nExit, 2) << testing::PrintToString(args);
        EXPECT_FALSE(result.strErr.empty());
        EXPECT_EQ(ReadFile(Queue()), strBefore);
    }
    EXPECT_EQ(RunRaw({}).nExit, 2);
    EXPECT_EQ(RunRaw({"--data-dir"}).nExit, 2);
}

// A desktop program on the folder holds its lock: commands that would
// rewrite the folder's files refuse, those that only read still run.
TEST_F(CliTest, WritingCommandsWaitForTheFolderLock)
{
    std::filesystem::create_directory(Data());
    ASSERT_TRUE(CQueueFile::SaveQueueFile(Queue(), {MakeArticle(0, "keep")}));
    const std::string strBefore = ReadFile(Queue());
    CFolderLock lock;
    ASSERT_TRUE(lock.TryLock(Data()));
    for (const Texts& args :
         {Texts{"queue", "clear"}, kAdd, Texts{"download"}, Texts{"usenet", "set", "--port", "1"}})
    {
        CProcessResult refused = Run(args);
        EXPECT_EQ(refused.nExit, 1) << testing::PrintToString(args);
        EXPECT_EQ(refused.strErr,
                  "dravelin-cli: the data folder " + Data() + " is in use by another Dravelin program\n");
    }
    EXPECT_EQ(ReadFile(Queue()), strBefore);
    EXPECT_EQ(Run({"queue"}).nExit, 0);
    lock.Unlock();
    EXPECT_EQ(Run({"queue", "clear"}).nExit, 0);
    EXPECT_EQ(ReadFile(Queue()), std::string(4, '\0'));
}

TEST_F(CliTest, HelpPrintsTheUsageAndSucceeds)
{
    using H = std::pair<Texts, std::string>;
    for (const auto& [args, strWant] :
         {H{{"--help"}, "commands:"}, H{{"-h"}, "commands:"},
          H{{"--data-dir", Data(), "--help"}, "commands:"}, H{{"settings", "--help"}, "] settings"},
          H{{"queue", "-h"}, "] queue"}, H{{"queue", "--all", "--help"}, "] queue"},
          H{{"queue", "add", "--subject", "s", "--help"}, "] queue"}, H{{"queue", "clear", "-h"}, "] queue"},
          H{{"list", "--help"}, "] list"}, H{{"list", "--service", "newsguy", "-h"}, "] list"},
          H{{"--data-dir", Data(), "download", "--max", "1", "--help"}, "] download"}})
    {
        CProcessResult result = RunRaw(args);
        EXPECT_EQ(result.nExit, 0) << testing::PrintToString(args);
        EXPECT_EQ(result.strOut.rfind("usage: dravelin-cli [--data-dir DIR] ", 0), 0u) << result.strOut;
        EXPECT_NE(result.strOut.find(strWant), std::string::npos) << result.strOut;
        EXPECT_EQ(result.strErr, "") << testing::PrintToString(args);
    }
    EXPECT_FALSE(std::filesystem::exists(Queue())) << "help changes nothing";
}

namespace
{
// A data folder with a NewsGuy and an EasyNews account on the gateway; NewsGuy
// is active.
class CliListTest : public CliTest
{
protected:
    void SetUp() override { StartGateway({}); }

    void StartGateway(CGatewayOptions options)
    {
        options.m_groups.push_back(CGatewayGroup{"alt.binaries.big", 100000, 0, 0, false});
        m_pGateway = std::make_unique<CGatewaySimulator>(options);
        ASSERT_NE(m_pGateway->Start(), 0);
        CQueueDocument doc;
        for (int32_t nService : {ServiceNewsGuy, ServiceEasyNews})
        {
            doc.m_accounts.push_back(
                testsupport::NewAccount(nService, m_pGateway->HostPort(), "user", "secret"));
        }
        doc.m_settings.m_bUseProxy = 0;
        std::filesystem::create_directories(Data());
        doc.m_settings.Save(Ini());
        doc.SaveAccounts(Ini());
        CProfileFile::WriteProfileInt("Account", "Active", ServiceNewsGuy, Ini());
    }

    CProcessResult List(Texts args, size_t nInterruptAfter = 0)
    {
        args.insert(args.begin(), "list");
        return Run(args, nInterruptAfter);
    }

    std::unique_ptr<CGatewaySimulator> m_pGateway;
};
} // namespace

TEST_F(CliListTest, ListsTheActiveServicesGroupFilteredOnArrival)
{
    CProcessResult result = List({"alt.test"});
    EXPECT_EQ(result.nExit, 0) << result.strErr;
    auto expected = m_pGateway->Articles("alt.test");
    auto lines = SplitLines(result.strOut);
    ASSERT_EQ(lines.size(), expected.size());
    // Tab-separated like "queue": state, retries, service, size, author, date,
    // path, file name, subject, query.
    size_t nComplete = 0;
    for (size_t i = 0; i < expected.size(); ++i)
    {
        nComplete += expected[i].m_bComplete ? 1 : 0;
        std::string strWant = std::to_string(expected[i].m_bComplete ? StateListed : StateIncomplete);
        strWant += "\t0\t1\t" + std::to_string(expected[i].m_nListedSize) + "\t";
        EXPECT_EQ(lines[i].rfind(strWant, 0), 0u) << lines[i];
        EXPECT_NE(lines[i].find("\t" + expected[i].m_strDecodeQuery), std::string::npos);
    }
    for (const char* pszLine :
         {"Retrieving Headers...\n", "Retrieving headers: 100%\n", "Done retrieving headers.\n"})
        EXPECT_NE(result.strErr.find(pszLine), std::string::npos) << pszLine;

    ASSERT_GT(nComplete, 0u);
    ASSERT_LT(nComplete, expected.size());
    result = List({"--hide-incomplete", "--service", "newsguy", "alt.test"});
    EXPECT_EQ(result.nExit, 0);
    EXPECT_EQ(SplitLines(result.strOut).size(), nComplete);
    // An empty line in a kill file is an entry that kills every article.
    WriteFile(Data() + "/Subject.kill", "nothing like this\n\n");
    result = List({"alt.test"});
    EXPECT_EQ(result.nExit, 0);
    EXPECT_EQ(result.strOut, "");
    EXPECT_NE(result.strErr.find("Done retrieving headers."), std::string::npos);
}

TEST_F(CliListTest, EasyNewsPagesToTheEndAndInterruptCancels)
{
    CProcessResult result = List({"--service", "easynews", "alt.test"});
    EXPECT_EQ(result.nExit, 0) << result.strErr;
    EXPECT_EQ(SplitLines(result.strOut).size(), m_pGateway->Articles("alt.test").size());
    EXPECT_NE(result.strErr.find("404"), std::string::npos);

    // SIGINT is the Cancel button.
    result = List({"alt.binaries.big"}, 5);
    EXPECT_EQ(result.nExit, 0);
    EXPECT_GE(SplitLines(result.strOut).size(), 5u);
    EXPECT_LT(SplitLines(result.strOut).size(), 100000u);
    EXPECT_NE(result.strErr.find("Done retrieving headers.\n"), std::string::npos);
}

TEST_F(CliListTest, BadArgumentsAndMissingAccount)
{
    for (const Texts& args : std::vector<Texts>{{},
                                                {"--service", "webusenet", "alt.test"},
                                                {"--limit", "13/01", "alt.test"},
                                                {"alt.test", "alt.other"},
                                                {"--service", "newsguy-extra", "alt.test"}})
        EXPECT_EQ(List(args).nExit, 2) << testing::PrintToString(args);
    CProfileFile::WriteProfileInt("Account", "Active", 0, Ini());
    CProcessResult result = List({"alt.test"});
    EXPECT_EQ(result.nExit, 2);
    EXPECT_NE(result.strErr.find("Please, select a News Service Provider in the Service-menu first."),
              std::string::npos);
    EXPECT_EQ(m_pGateway->RequestCount(), 0u);
}

TEST_F(CliListTest, AListingThatCannotBeFetchedFailsWithTheReason)
{
    for (const char* pszService : {"newsguy", "easynews"})
        for (bool bUnreachable : {true, false})
        {
            SCOPED_TRACE(std::string(pszService) + (bUnreachable ? " unreachable" : " refused"));
            CGatewayOptions options;
            options.m_users = {{"user", bUnreachable ? "secret" : "other"}};
            StartGateway(options);
            if (bUnreachable)
                CProfileFile::WriteProfileString(
                    pszService[0] == 'n' ? "NewsGuy" : "EasyNews", "HeaderDomain",
                    "127.0.0.1:" + std::to_string(testsupport::ClosedLoopbackPort()), Ini());
            CProcessResult result = List({"--service", pszService, "alt.test"});
            EXPECT_EQ(result.nExit, 1);
            EXPECT_EQ(result.strOut, "");
            std::string strWant = "dravelin-cli: cannot list alt.test: ";
            strWant += bUnreachable ? "cannot reach 127.0.0.1:" : "the login was refused";
            EXPECT_NE(result.strErr.find(strWant), std::string::npos) << result.strErr;
        }
}
