// dravelin-cli list against the in-process gateway simulator.

#include "gateway/GatewaySimulator.h"
#include "model/Article.h"
#include "model/QueueDocument.h"
#include "net/GatewayHosts.h"
#include "settings/ProfileFile.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <sstream>

extern char** environ;

using testsupport::ReadFile;
using testsupport::TempDir;
using testsupport::WriteFile;

namespace
{
struct CListResult
{
    int nExit = -1;
    std::vector<std::string> out;
    std::string strErr;
};

std::vector<std::string> SplitLines(const std::string& str)
{
    std::vector<std::string> lines;
    std::istringstream in(str);
    std::string strLine;
    while (std::getline(in, strLine))
        lines.push_back(strLine);
    return lines;
}

class CliListTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        CGatewayOptions options;
        options.m_groups.push_back(CGatewayGroup{"alt.binaries.big", 100000, 0, 0, false});
        m_pGateway = std::make_unique<CGatewaySimulator>(options);
        ASSERT_NE(m_pGateway->Start(), 0);
        CQueueDocument doc;
        for (int32_t nService : {ServiceNewsGuy, ServiceEasyNews})
        {
            auto pAccount = std::make_shared<ServiceAccount>();
            pAccount->m_nService = nService;
            pAccount->m_strHeaderDomain = m_pGateway->HostPort();
            pAccount->m_strDownloadDomain = m_pGateway->HostPort();
            pAccount->m_strUsername = "user";
            pAccount->m_strPassword = "secret";
            doc.m_accounts.push_back(pAccount);
        }
        doc.m_nSubscriptions = ServiceNewsGuy | ServiceEasyNews;
        doc.m_settings.m_bUseProxy = 0;
        doc.m_settings.Save(Ini());
        doc.SaveAccounts(Ini());
        CProfileFile::WriteProfileInt("Account", "Subscriptions", doc.m_nSubscriptions, Ini());
        CProfileFile::WriteProfileInt("Account", "Active", ServiceNewsGuy, Ini());
    }

    std::string Ini() const { return m_dir.File("Dravelin.ini"); }

    // Runs dravelin-cli list; with nInterruptAfter > 0 it is sent SIGINT once
    // that many article lines have arrived.
    CListResult RunList(std::vector<std::string> args, size_t nInterruptAfter = 0)
    {
        args.insert(args.begin(), {DRAVELIN_CLI_PATH, "--data-dir", m_dir.Path().string(), "list"});
        std::vector<char*> argv;
        for (auto& strArg : args)
            argv.push_back(strArg.data());
        argv.push_back(nullptr);
        int outPipe[2];
        EXPECT_EQ(pipe(outPipe), 0);
        std::string strErrPath = m_dir.File("list.err");
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, outPipe[1], 1);
        posix_spawn_file_actions_addclose(&actions, outPipe[0]);
        posix_spawn_file_actions_addopen(&actions, 2, strErrPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        pid_t pid = 0;
        EXPECT_EQ(posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ), 0);
        posix_spawn_file_actions_destroy(&actions);
        close(outPipe[1]);
        std::string strOut;
        char buf[65536];
        bool bInterrupted = false;
        for (;;)
        {
            ssize_t n = read(outPipe[0], buf, sizeof buf);
            if (n <= 0)
                break;
            strOut.append(buf, static_cast<size_t>(n));
            if (nInterruptAfter > 0 && !bInterrupted &&
                static_cast<size_t>(std::count(strOut.begin(), strOut.end(), '\n')) >= nInterruptAfter)
            {
                kill(pid, SIGINT);
                bInterrupted = true;
            }
        }
        close(outPipe[0]);
        int nStatus = 0;
        waitpid(pid, &nStatus, 0);
        CListResult result;
        result.nExit = WIFEXITED(nStatus) ? WEXITSTATUS(nStatus) : -1;
        result.out = SplitLines(strOut);
        result.strErr = ReadFile(strErrPath);
        return result;
    }

    TempDir m_dir;
    std::unique_ptr<CGatewaySimulator> m_pGateway;
};
} // namespace

TEST_F(CliListTest, ListsTheActiveServicesGroup)
{
    CListResult result = RunList({"alt.test"});
    EXPECT_EQ(result.nExit, 0) << result.strErr;
    auto expected = m_pGateway->Articles("alt.test");
    ASSERT_EQ(result.out.size(), expected.size());
    // Tab-separated like "queue": state, retries, service, size, author, date, path, file name, subject,
    // query.
    for (size_t i = 0; i < expected.size(); ++i)
    {
        std::string strWant = std::to_string(expected[i].m_bComplete ? StateListed : StateIncomplete) +
                              "\t0\t1\t" + std::to_string(expected[i].m_nListedSize) + "\t";
        EXPECT_EQ(result.out[i].rfind(strWant, 0), 0u) << result.out[i];
        EXPECT_NE(result.out[i].find("\t" + expected[i].m_strDecodeQuery), std::string::npos);
    }
    EXPECT_NE(result.strErr.find("Retrieving Headers...\n"), std::string::npos);
    EXPECT_NE(result.strErr.find("Retrieving headers: 100%\n"), std::string::npos);
    EXPECT_NE(result.strErr.find("Done retrieving headers.\n"), std::string::npos);
}

TEST_F(CliListTest, FiltersOnArrival)
{
    auto expected = m_pGateway->Articles("alt.test");
    size_t nComplete = 0;
    for (const auto& e : expected)
        nComplete += e.m_bComplete ? 1 : 0;
    ASSERT_GT(nComplete, 0u);
    ASSERT_LT(nComplete, expected.size());
    CListResult result = RunList({"--hide-incomplete", "--service", "newsguy", "alt.test"});
    EXPECT_EQ(result.nExit, 0);
    EXPECT_EQ(result.out.size(), nComplete);

    // An empty line in a kill file is an entry that kills every article.
    WriteFile(m_dir.File("Subject.kill"), "nothing like this\n\n");
    result = RunList({"alt.test"});
    EXPECT_EQ(result.nExit, 0);
    EXPECT_TRUE(result.out.empty());
    EXPECT_NE(result.strErr.find("Done retrieving headers."), std::string::npos);
}

TEST_F(CliListTest, EasyNewsPagesToTheEnd)
{
    CListResult result = RunList({"--service", "easynews", "alt.test"});
    EXPECT_EQ(result.nExit, 0) << result.strErr;
    EXPECT_EQ(result.out.size(), m_pGateway->Articles("alt.test").size());
    EXPECT_NE(result.strErr.find("404"), std::string::npos);
}

TEST_F(CliListTest, BadArgumentsAndMissingAccount)
{
    EXPECT_EQ(RunList({}).nExit, 2);
    EXPECT_EQ(RunList({"--service", "webusenet", "alt.test"}).nExit, 2);
    EXPECT_EQ(RunList({"--limit", "13/01", "alt.test"}).nExit, 2);
    EXPECT_EQ(RunList({"alt.test", "alt.other"}).nExit, 2);
    EXPECT_EQ(RunList({"--service", "newsguy-extra", "alt.test"}).nExit, 2); // no such account
    CProfileFile::WriteProfileInt("Account", "Active", 0, Ini());
    CListResult result = RunList({"alt.test"});
    EXPECT_EQ(result.nExit, 2);
    EXPECT_NE(result.strErr.find("Please, select a News Service Provider in the Service-menu first."),
              std::string::npos);
    EXPECT_EQ(m_pGateway->RequestCount(), 0u);
}

TEST_F(CliListTest, InterruptCancelsLikeTheCancelButton)
{
    CListResult result = RunList({"alt.binaries.big"}, 5);
    EXPECT_EQ(result.nExit, 0);
    EXPECT_GE(result.out.size(), 5u);
    EXPECT_LT(result.out.size(), 100000u);
    EXPECT_NE(result.strErr.find("Done retrieving headers.\n"), std::string::npos);
}

namespace
{
// A loopback port that nothing listens on.
int ClosedPort()
{
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t nLen = sizeof addr;
    bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &nLen);
    close(fd);
    return ntohs(addr.sin_port);
}

struct CFailedListCase
{
    const char* pszService;
    const char* pszSection;
    bool bUnreachable; // else a wrong password
    const char* pszReason;
};
} // namespace

TEST_F(CliListTest, AListingThatCannotBeFetchedFailsWithTheReason)
{
    const CFailedListCase cases[] = {
        {"newsguy", "NewsGuy", true, "cannot reach 127.0.0.1:"},
        {"easynews", "EasyNews", true, "cannot reach 127.0.0.1:"},
        {"newsguy", "NewsGuy", false, "the login was refused"},
        {"easynews", "EasyNews", false, "the login was refused"},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(std::string(c.pszService) + (c.bUnreachable ? " unreachable" : " refused"));
        SetUp();
        if (c.bUnreachable)
            CProfileFile::WriteProfileString(c.pszSection, "HeaderDomain",
                                             "127.0.0.1:" + std::to_string(ClosedPort()), Ini());
        else
        {
            CGatewayOptions options;
            options.m_users = {{"user", "other"}};
            m_pGateway = std::make_unique<CGatewaySimulator>(options);
            ASSERT_NE(m_pGateway->Start(), 0);
            CProfileFile::WriteProfileString(c.pszSection, "HeaderDomain", m_pGateway->HostPort(), Ini());
        }
        CListResult result = RunList({"--service", c.pszService, "alt.test"});
        EXPECT_EQ(result.nExit, 1);
        EXPECT_TRUE(result.out.empty());
        EXPECT_NE(result.strErr.find("dravelin-cli: cannot list alt.test: " + std::string(c.pszReason)),
                  std::string::npos)
            << result.strErr;
    }
}
