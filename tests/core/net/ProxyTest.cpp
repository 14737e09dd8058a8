// Listings through a real proxy: tinyproxy started on a free loopback port
// with a generated configuration.

#include "gateway/GatewaySimulator.h"
#include "listing/NewsGuyListingWorker.h"
#include "net/GatewayHosts.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <thread>

extern char** environ;

using testsupport::ReadFile;
using testsupport::RecordingSink;
using testsupport::TempDir;
using testsupport::WriteFile;

namespace
{
int FreePort()
{
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    socklen_t nLen = sizeof addr;
    getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &nLen);
    close(fd);
    return ntohs(addr.sin_port);
}

bool CanConnect(int nPort)
{
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(nPort));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bool bOk = connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    close(fd);
    return bOk;
}

// A private tinyproxy in the foreground, stopped with the object.
class CTinyproxy
{
public:
    CTinyproxy(const TempDir& dir, const std::string& strBasicAuth)
    {
        for (int nTry = 0; nTry < 5 && m_pid == 0; ++nTry)
        {
            m_nPort = FreePort();
            m_strLog = dir.File("tinyproxy.log");
            std::string strConf = "Port " + std::to_string(m_nPort) +
                                  "\nListen 127.0.0.1\nTimeout 30\nMaxClients 20\nAllow 127.0.0.1\n"
                                  "LogLevel Info\nLogFile \"" +
                                  m_strLog + "\"\n";
            if (!strBasicAuth.empty())
                strConf += "BasicAuth " + strBasicAuth + "\n";
            std::string strConfPath = dir.File("tinyproxy.conf");
            WriteFile(strConfPath, strConf);
            std::vector<std::string> args{"tinyproxy", "-d", "-c", strConfPath};
            std::vector<char*> argv;
            for (auto& s : args)
                argv.push_back(s.data());
            argv.push_back(nullptr);
            posix_spawn_file_actions_t actions;
            posix_spawn_file_actions_init(&actions);
            posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", 1, 0);
            posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", 1, 0);
            pid_t pid = 0;
            if (posix_spawnp(&pid, "tinyproxy", &actions, nullptr, argv.data(), environ) != 0)
                pid = 0;
            posix_spawn_file_actions_destroy(&actions);
            if (pid == 0)
                return;
            for (int i = 0; i < 200 && !CanConnect(m_nPort); ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(25));
            if (CanConnect(m_nPort))
                m_pid = pid;
            else
            {
                kill(pid, SIGTERM);
                waitpid(pid, nullptr, 0);
            }
        }
    }
    ~CTinyproxy()
    {
        if (m_pid > 0)
        {
            kill(m_pid, SIGTERM);
            waitpid(m_pid, nullptr, 0);
        }
    }
    bool IsRunning() const { return m_pid > 0; }
    int Port() const { return m_nPort; }
    std::string Log() const { return ReadFile(m_strLog); }

private:
    pid_t m_pid = 0;
    int m_nPort = 0;
    std::string m_strLog;
};

// Sets an environment variable for one test and puts the old value back.
class CEnvironment
{
public:
    void Set(const std::string& strName, const char* pszValue)
    {
        const char* pszOld = std::getenv(strName.c_str());
        m_saved.emplace_back(strName, pszOld ? std::optional<std::string>(pszOld) : std::nullopt);
        if (pszValue)
            setenv(strName.c_str(), pszValue, 1);
        else
            unsetenv(strName.c_str());
    }
    ~CEnvironment()
    {
        for (auto it = m_saved.rbegin(); it != m_saved.rend(); ++it)
        {
            if (it->second)
                setenv(it->first.c_str(), it->second->c_str(), 1);
            else
                unsetenv(it->first.c_str());
        }
    }

private:
    std::vector<std::pair<std::string, std::optional<std::string>>> m_saved;
};

class ProxyTest : public ::testing::Test
{
protected:
    void StartAll(const std::string& strProxyAuth,
                  std::vector<std::pair<std::string, std::string>> users = {})
    {
        CGatewayOptions options;
        options.m_users = std::move(users);
        m_pGateway = std::make_unique<CGatewaySimulator>(options);
        ASSERT_NE(m_pGateway->Start(), 0);
        m_pProxy = std::make_unique<CTinyproxy>(m_dir, strProxyAuth);
        ASSERT_TRUE(m_pProxy->IsRunning()) << "tinyproxy did not start";
        m_pAccount->m_nService = ServiceNewsGuy;
        m_pAccount->m_strHeaderDomain = m_pGateway->HostPort();
        m_pAccount->m_strUsername = "user";
        m_pAccount->m_strPassword = "secret";
        m_pSettings->m_bUseProxy = 1;
        m_pSettings->m_nProxySetting = 1;
        m_pSettings->m_strProxyAddress = "127.0.0.1";
        m_pSettings->m_nProxyPort = m_pProxy->Port();
        m_pSettings->m_bProxyAuthentication = 1;
        m_pSettings->m_strProxyUsername = "puser";
        m_pSettings->m_strProxyPassword = "ppass";
        // The machine's own proxy settings must not take part.
        m_env.Set("http_proxy", nullptr);
        m_env.Set("no_proxy", nullptr);
        m_env.Set("NO_PROXY", nullptr);
    }

    // Runs a NewsGuy listing; returns the article count, fills the status lines.
    size_t List(std::vector<std::string>& status)
    {
        auto pParams = std::make_unique<CRetrieveParams>();
        pParams->m_hWnd = m_pSink;
        pParams->m_hRunEvent = std::make_shared<CManualResetEvent>(true);
        pParams->m_strNewsgroup = "alt.test";
        pParams->m_pAccount = m_pAccount;
        pParams->m_pSettings = m_pSettings;
        std::thread worker(NewsGuyListingWorker, std::move(pParams));
        size_t nArticles = 0;
        CViewMessage msg;
        while (m_pSink->WaitNext(msg, std::chrono::seconds(60)))
        {
            if (msg.nMessage == WM_HEADER_ITEM && msg.wParam == 1)
                break;
            if (msg.nMessage == WM_HEADER_ITEM)
                ++nArticles;
            if (msg.nMessage == WM_STATUS_TEXT)
                status.push_back(msg.strText);
        }
        worker.join();
        return nArticles;
    }

    static size_t Count(const std::vector<std::string>& lines, const std::string& strLine)
    {
        return static_cast<size_t>(std::count(lines.begin(), lines.end(), strLine));
    }

    TempDir m_dir;
    CEnvironment m_env;
    std::unique_ptr<CGatewaySimulator> m_pGateway;
    std::unique_ptr<CTinyproxy> m_pProxy;
    std::shared_ptr<RecordingSink> m_pSink = std::make_shared<RecordingSink>();
    AccountPtr m_pAccount = std::make_shared<ServiceAccount>();
    std::shared_ptr<CPreferences> m_pSettings = std::make_shared<CPreferences>();
};
} // namespace

TEST_F(ProxyTest, ManualProxyCarriesTheListing)
{
    StartAll("");
    std::vector<std::string> status;
    EXPECT_EQ(List(status), static_cast<size_t>(m_pGateway->ArticleCount("alt.test")));
    EXPECT_NE(m_pProxy->Log().find(CGatewaySimulator::NewsGuyListTarget("alt.test")), std::string::npos);
}

TEST_F(ProxyTest, SystemProxyComesFromTheEnvironment)
{
    StartAll("");
    m_pSettings->m_nProxySetting = 0;
    std::string strProxy = "http://127.0.0.1:" + std::to_string(m_pProxy->Port());
    m_env.Set("http_proxy", strProxy.c_str());
    std::vector<std::string> status;
    EXPECT_EQ(List(status), static_cast<size_t>(m_pGateway->ArticleCount("alt.test")));
    EXPECT_NE(m_pProxy->Log().find(CGatewaySimulator::NewsGuyListTarget("alt.test")), std::string::npos);

    // With the proxy switched off the environment is ignored as well.
    m_pSettings->m_bUseProxy = 0;
    m_env.Set("http_proxy", "http://127.0.0.1:1");
    m_pGateway->ClearRequests();
    status.clear();
    EXPECT_EQ(List(status), static_cast<size_t>(m_pGateway->ArticleCount("alt.test")));
}

TEST_F(ProxyTest, ProxyLoginRefusedTwice)
{
    // Proxy authentication switched off: nothing to offer, the proxy asks again.
    StartAll("puser ppass");
    m_pSettings->m_bProxyAuthentication = 0;
    std::vector<std::string> status;
    EXPECT_EQ(List(status), 0u);
    EXPECT_EQ(Count(status, "Sending Proxy Password..."), 2u);
    EXPECT_EQ(m_pSink->MessageBoxes(),
              std::vector<std::string>{"The configured proxy password is incorrect!"});
    EXPECT_EQ(m_pGateway->RequestCount(), 0u);
}

TEST_F(ProxyTest, WrongProxyPasswordNeverReachesTheServer)
{
    // tinyproxy answers a wrong proxy login with 401 instead of a second 407;
    // either way the retrieval ends after two refusals with one message.
    StartAll("puser ppass");
    m_pSettings->m_strProxyPassword = "wrong";
    std::vector<std::string> status;
    EXPECT_EQ(List(status), 0u);
    EXPECT_EQ(Count(status, "Sending Proxy Password..."), 1u);
    EXPECT_EQ(m_pSink->MessageBoxes().size(), 1u);
    EXPECT_EQ(m_pGateway->RequestCount(), 0u);
    EXPECT_EQ(status.back().rfind("Sending ", 0), 0u);
}

TEST_F(ProxyTest, ServerAndProxyLoginsEachAnsweredOnce)
{
    StartAll("puser ppass", {{"user", "secret"}});
    std::vector<std::string> status;
    EXPECT_EQ(List(status), static_cast<size_t>(m_pGateway->ArticleCount("alt.test")));
    EXPECT_EQ(Count(status, "Sending Proxy Password..."), 1u);
    EXPECT_EQ(Count(status, "Sending NewsGuy Password..."), 1u);
    EXPECT_TRUE(m_pSink->MessageBoxes().empty());
    auto requests = m_pGateway->Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_FALSE(requests[0].m_bCredentials);
    EXPECT_TRUE(requests[1].m_bCredentials);
}
