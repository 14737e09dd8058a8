#include "model/QueueFile.h"
#include "settings/ProfileFile.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <sys/wait.h>

using testsupport::ReadFile;
using testsupport::TempDir;
using testsupport::WriteFile;

namespace
{
struct CliResult
{
    int nExit = -1;
    std::string strOut;
    std::string strErr;
};

std::string Quote(const std::string& str)
{
    std::string strOut = "'";
    for (char c : str)
        strOut += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return strOut + "'";
}

// Runs the built dravelin-cli with a private HOME so the download folder
// default does not depend on the machine.
CliResult RunCli(const TempDir& dir, const std::vector<std::string>& args)
{
    std::string strCommand = "env -u XDG_CONFIG_HOME -u DRAVELIN_HOME HOME=";
    strCommand += Quote(dir.Path().string());
    strCommand += ' ';
    strCommand += Quote(DRAVELIN_CLI_PATH);
    for (const auto& strArg : args)
        strCommand += " " + Quote(strArg);
    std::string strOut = dir.File("cli.out");
    std::string strErr = dir.File("cli.err");
    strCommand += " >" + Quote(strOut) + " 2>" + Quote(strErr);
    int nStatus = std::system(strCommand.c_str());
    CliResult result;
    result.nExit = WIFEXITED(nStatus) ? WEXITSTATUS(nStatus) : -1;
    result.strOut = ReadFile(strOut);
    result.strErr = ReadFile(strErr);
    return result;
}

std::vector<std::string> Lines(const std::string& str)
{
    std::vector<std::string> lines;
    std::istringstream in(str);
    std::string strLine;
    while (std::getline(in, strLine))
        lines.push_back(strLine);
    return lines;
}

std::vector<std::string> DataArgs(const TempDir& dir, std::vector<std::string> args)
{
    args.insert(args.begin(), {"--data-dir", (dir.Path() / "data").string()});
    return args;
}

ArticlePtr MakeArticle(int32_t nState, const std::string& strSubject)
{
    auto p = std::make_shared<CArticle>();
    p->m_nState = nState;
    p->m_nRetries = 1;
    p->m_nService = 16;
    p->m_nSize = 4096;
    p->m_strAuthor = "au";
    p->m_strDate = "2001-03-12";
    p->m_strDownloadPath = "/dl/";
    p->m_strFileName = "f.bin";
    p->m_strSubject = strSubject;
    p->m_strDecodeQuery = "/x?y=1";
    return p;
}
} // namespace

TEST(CliTest, SettingsOfAMissingFile)
{
    TempDir dir;
    CliResult result = RunCli(dir, DataArgs(dir, {"settings"}));
    EXPECT_EQ(result.nExit, 0);
    EXPECT_EQ(result.strErr, "The Dravelin.ini file is either incompatible or\ndoes not exist. Please, "
                             "configure Dravelin first.\n");
    std::vector<std::string> expected = {
        "Dravelin/Version=",
        "Dravelin/CompatibleBuild=",
        "Preferences/GetRightPath=/usr/local/bin/getright",
        "Preferences/LoadOriginalQueue=1",
        "Preferences/UpdateArticleStatus=1",
        "Preferences/RetryInfinite=0",
        "Preferences/UseProxy=1",
        "Preferences/ProxySetting=0",
        "Preferences/ProxyAddress=",
        "Preferences/ProxyPort=80",
        "Preferences/ProxyAuthentication=0",
        "Preferences/ProxyUsername=",
        "Preferences/ProxyPassword=",
        "Preferences/DefaultPath=" + dir.Path().string() + "/Downloads/",
        "Preferences/MaxRetries=4",
        "Preferences/MaxDownloads=2",
        "Preferences/KeepFailed=1",
        "Preferences/ResumeFailed=1",
        "Preferences/DeleteTempInet=1",
        "Preferences/EmptyRecycleBin=1",
        "Preferences/ReplaceUnderscore=0",
        "Preferences/DoNotQueue=0",
        "Preferences/DownloadManager=0",
        "Preferences/LoadQueue=1",
        "Preferences/SaveQueue=1",
        "Account/Subscriptions=0",
    };
    EXPECT_EQ(Lines(result.strOut), expected);
}

TEST(CliTest, SettingsWithAccountsHidePasswords)
{
    TempDir dir;
    std::filesystem::create_directory(dir.Path() / "data");
    WriteFile((dir.Path() / "data/Dravelin.ini").string(),
              "[Dravelin]\r\nVersion=2.0\r\nCompatibleBuild=0328\r\n[Preferences]\r\nProxyPassword=secret\r\n"
              "GetRightPath=/g\r\nDefaultPath=/srv\r\n[Account]\r\nSubscriptions=18\r\n"
              "[NewsGuyExtra]\r\nUsername=me\r\nPassword=hunter2\r\nIgnoreNewsGuyLimit=1\r\n"
              "[EasyNews]\r\nHeaderDomain=127.0.0.1:8080\r\nMaxDownloads=3\r\n");
    CliResult result = RunCli(dir, DataArgs(dir, {"settings"}));
    EXPECT_EQ(result.nExit, 0);
    EXPECT_EQ(result.strErr, "");
    EXPECT_EQ(result.strOut.find("secret"), std::string::npos);
    EXPECT_EQ(result.strOut.find("hunter2"), std::string::npos);
    auto lines = Lines(result.strOut);
    ASSERT_EQ(lines.size(), 26u + 16u);
    EXPECT_EQ(lines[0], "Dravelin/Version=2.0");
    EXPECT_EQ(lines[1], "Dravelin/CompatibleBuild=0328");
    EXPECT_EQ(lines[12], "Preferences/ProxyPassword=***");
    EXPECT_EQ(lines[13], "Preferences/DefaultPath=/srv/");
    EXPECT_EQ(lines[25], "Account/Subscriptions=18");
    std::vector<std::string> accounts(lines.begin() + 26, lines.end());
    std::vector<std::string> expected = {
        "Account.1/Service=2",
        "Account.1/HeaderDomain=www.newsguy.com",
        "Account.1/DownloadDomain=dl.newsguy.com",
        "Account.1/Username=me",
        "Account.1/RetrieveBy=3",
        "Account.1/ShowOnlyBin=1",
        "Account.1/IgnoreNewsGuyLimit=1",
        "Account.1/MaxDownloads=2",
        "Account.2/Service=16",
        "Account.2/HeaderDomain=127.0.0.1:8080",
        "Account.2/DownloadDomain=members.easynews.com",
        "Account.2/Username=",
        "Account.2/RetrieveBy=3",
        "Account.2/ShowOnlyBin=0",
        "Account.2/IgnoreNewsGuyLimit=0",
        "Account.2/MaxDownloads=3",
    };
    EXPECT_EQ(accounts, expected);
}

TEST(CliTest, QueueListingFollowsTheLoadRules)
{
    TempDir dir;
    std::filesystem::create_directory(dir.Path() / "data");
    std::string strQueue = (dir.Path() / "data/Dravelin.dvq").string();
    std::vector<ArticlePtr> stored;
    for (int32_t nState : {0, 1, 3, 4, 6, 7})
        stored.push_back(MakeArticle(nState, "s" + std::to_string(nState)));
    stored[0]->m_strSubject = "tab\there\\back\r\nline";
    ASSERT_TRUE(CQueueFile::SaveQueueFile(strQueue, stored));

    CliResult waiting = RunCli(dir, DataArgs(dir, {"queue", "--waiting"}));
    EXPECT_EQ(waiting.nExit, 0);
    EXPECT_EQ(Lines(waiting.strOut),
              (std::vector<std::string>{
                  "0\t1\t16\t4096\tau\t2001-03-12\t/dl/\tf.bin\ttab\\there\\\\back\\r\\nline\t/x?y=1",
                  "0\t1\t16\t4096\tau\t2001-03-12\t/dl/\tf.bin\ts1\t/x?y=1",
                  "0\t1\t16\t4096\tau\t2001-03-12\t/dl/\tf.bin\ts6\t/x?y=1"}));

    CliResult all = RunCli(dir, DataArgs(dir, {"queue", "--all"}));
    EXPECT_EQ(all.nExit, 0);
    EXPECT_EQ(Lines(all.strOut).size(), 5u);

    // Without a flag the setting decides.
    CProfileFile::WriteProfileInt("Preferences", "LoadOriginalQueue", 0,
                                  (dir.Path() / "data/Dravelin.ini").string());
    EXPECT_EQ(Lines(RunCli(dir, DataArgs(dir, {"queue"})).strOut).size(), 3u);
    CProfileFile::WriteProfileInt("Preferences", "LoadOriginalQueue", 1,
                                  (dir.Path() / "data/Dravelin.ini").string());
    EXPECT_EQ(Lines(RunCli(dir, DataArgs(dir, {"queue"})).strOut).size(), 5u);
    EXPECT_EQ(ReadFile(strQueue), CQueueFile::Serialize(stored)) << "listing never rewrites the file";
}

TEST(CliTest, MalformedQueuePrintsWhatWasReadAndFails)
{
    TempDir dir;
    std::filesystem::create_directory(dir.Path() / "data");
    std::string strQueue = (dir.Path() / "data/Dravelin.dvq").string();
    std::string strData = CQueueFile::Serialize({MakeArticle(0, "first"), MakeArticle(0, "second")});
    WriteFile(strQueue, strData.substr(0, strData.size() - 3));
    CliResult result = RunCli(dir, DataArgs(dir, {"queue"}));
    EXPECT_EQ(result.nExit, 1);
    ASSERT_EQ(Lines(result.strOut).size(), 1u);
    EXPECT_NE(result.strOut.find("first"), std::string::npos);
    EXPECT_NE(result.strErr.find("malformed"), std::string::npos);

    // Adding to a malformed file refuses and leaves it alone.
    std::string strBefore = ReadFile(strQueue);
    result = RunCli(dir, DataArgs(dir, {"queue", "add", "--service", "1", "--size", "1", "--subject", "s",
                                        "--decode-query", "q"}));
    EXPECT_EQ(result.nExit, 1);
    EXPECT_EQ(ReadFile(strQueue), strBefore);
}

TEST(CliTest, AddKeepsStoredArticlesAndClearEmpties)
{
    TempDir dir;
    std::string strQueue = (dir.Path() / "data/Dravelin.dvq").string();
    // Created when missing; the data folder too.
    CliResult first = RunCli(dir, DataArgs(dir, {"queue", "add", "--service", "16", "--size", "123",
                                                 "--subject", "Subj", "--decode-query", "/q"}));
    ASSERT_EQ(first.nExit, 0) << first.strErr;
    std::vector<ArticlePtr> articles;
    ASSERT_FALSE(CQueueFile::ReadQueueFile(strQueue, articles).bMalformed);
    ASSERT_EQ(articles.size(), 1u);
    EXPECT_EQ(articles[0]->m_nState, StateQueued);
    EXPECT_EQ(articles[0]->m_nService, 16);
    EXPECT_EQ(articles[0]->m_nSize, 123);
    EXPECT_EQ(articles[0]->m_strSubject, "Subj");

    // Stored articles stay byte for byte, states included (no load rules).
    std::vector<ArticlePtr> stored = {MakeArticle(7, "removing"), MakeArticle(3, "done")};
    ASSERT_TRUE(CQueueFile::SaveQueueFile(strQueue, stored));
    CliResult add = RunCli(dir, DataArgs(dir, {"queue", "add", "--service", "2", "--size", "9", "--subject",
                                               "new", "--decode-query", "nq", "--author", "A", "--date", "D",
                                               "--file-name", "F", "--path", "/p/"}));
    ASSERT_EQ(add.nExit, 0) << add.strErr;
    auto pNew = std::make_shared<CArticle>();
    pNew->m_nService = 2;
    pNew->m_nSize = 9;
    pNew->m_strSubject = "new";
    pNew->m_strDecodeQuery = "nq";
    pNew->m_strAuthor = "A";
    pNew->m_strDate = "D";
    pNew->m_strFileName = "F";
    pNew->m_strDownloadPath = "/p/";
    stored.push_back(pNew);
    EXPECT_EQ(ReadFile(strQueue), CQueueFile::Serialize(stored));

    CliResult clear = RunCli(dir, DataArgs(dir, {"queue", "clear"}));
    EXPECT_EQ(clear.nExit, 0);
    EXPECT_EQ(ReadFile(strQueue), std::string(4, '\0'));
}

TEST(CliTest, BadArgumentsExitTwoAndTouchNothing)
{
    TempDir dir;
    std::filesystem::create_directory(dir.Path() / "data");
    std::string strQueue = (dir.Path() / "data/Dravelin.dvq").string();
    ASSERT_TRUE(CQueueFile::SaveQueueFile(strQueue, {MakeArticle(0, "keep")}));
    std::string strBefore = ReadFile(strQueue);
    const std::vector<std::vector<std::string>> cases = {
        {"queue", "add", "--service", "3", "--size", "1", "--subject", "s", "--decode-query", "q"},
        {"queue", "add", "--service", "1", "--size", "-1", "--subject", "s", "--decode-query", "q"},
        {"queue", "add", "--service", "1", "--size", "12x", "--subject", "s", "--decode-query", "q"},
        {"queue", "add", "--service", "1", "--size", "99999999999", "--subject", "s", "--decode-query", "q"},
        {"queue", "add", "--service", "1", "--size", "1", "--subject", "s"},
        {"queue", "add", "--service", "1", "--size", "1", "--subject", "s", "--decode-query"},
        {"queue", "add", "--bogus", "1"},
        {"queue", "clear", "now"},
        {"queue", "--all", "--waiting"},
        {"queue", "--everything"},
        {"settings", "extra"},
        {"nosuchcommand"},
    };
    for (const auto& args : cases)
    {
        CliResult result = RunCli(dir, DataArgs(dir, args));
        EXPECT_EQ(result.nExit, 2) << testing::PrintToString(args);
        EXPECT_FALSE(result.strErr.empty());
        EXPECT_EQ(ReadFile(strQueue), strBefore);
    }
    EXPECT_EQ(RunCli(dir, {}).nExit, 2);
    EXPECT_EQ(RunCli(dir, {"--data-dir"}).nExit, 2);
}

TEST(CliTest, HelpPrintsTheUsageAndSucceeds)
{
    TempDir dir;
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"--help"}, "commands:"},
        {{"-h"}, "commands:"},
        {DataArgs(dir, {"--help"}), "commands:"},
        {{"settings", "--help"}, "] settings"},
        {{"queue", "-h"}, "] queue"},
        {{"queue", "--all", "--help"}, "] queue"},
        {{"queue", "add", "--subject", "s", "--help"}, "] queue"},
        {{"queue", "clear", "-h"}, "] queue"},
        {{"list", "--help"}, "] list"},
        {{"list", "--service", "newsguy", "-h"}, "] list"},
        {DataArgs(dir, {"download", "--max", "1", "--help"}), "] download"},
    };
    for (const auto& [args, strWant] : cases)
    {
        CliResult result = RunCli(dir, args);
        EXPECT_EQ(result.nExit, 0) << testing::PrintToString(args);
        EXPECT_EQ(result.strOut.rfind("usage: dravelin-cli [--data-dir DIR] ", 0), 0u) << result.strOut;
        EXPECT_NE(result.strOut.find(strWant), std::string::npos) << result.strOut;
        EXPECT_EQ(result.strErr, "") << testing::PrintToString(args);
    }
    EXPECT_FALSE(std::filesystem::exists(dir.Path() / "data/Dravelin.dvq")) << "help changes nothing";
}
