// Listings through a real proxy: tinyproxy started on a free loopback port
// with a generated configuration.

#include "gateway/GatewaySimulator.h"
#include "listing/NewsGuyListingWorker.h"
#include "net/GatewayHosts.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <thread>

extern char** environ;

using testsupport::RecordingSink;
using testsupport::TempDir;

namespace
{
// A private tinyproxy in the foreground, stopped with the object.
class CTinyproxy
{
public:
    CTinyproxy(const TempDir& dir, const std::string& strBasicAuth) : m_strLog(dir.File("tinyproxy.log"))
    {
        const std::string strConfPath = dir.File("tinyproxy.conf");
        for (int nTry = 0; nTry < 5 && m_pid == 0; ++nTry)
        {
            m_nPort = testsupport::ClosedLoopbackPort();
            std::string strConf = "Port " + std::to_string(m_nPort);
            strConf += "\nListen 127.0.0.1\nTimeout 30\nMaxClients 20\nAllow 127.0.0.1\nLogLevel Info\nLogFile \"" +
                       m_strLog + "\"\n";
            if (!strBasicAuth.empty())
                strConf += "BasicAuth " + strBasicAuth + "\n";
            testsupport::WriteFile(strConfPath, strConf);
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
            const bool bSpawned = posix_spawnp(&pid, "tinyproxy", &actions, nullptr, argv.data(), environ) == 0;
            posix_spawn_file_actions_destroy(&actions);
            if (!bSpawned)
                return;
            for (int i = 0; i < 200 && !testsupport::IsListening(m_nPort); ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(25));
            if (testsupport::IsListening(m_nPort))
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
    std::string Log() const { return testsupport::ReadFile(m_strLog); }

private:
    std::string m_strLog;
    pid_t m_pid = 0;
    int m_nPort = 0;
};

struct ProxyCase
{
    const char* pszName;
    const char* pszProxyAuth; // tinyproxy's BasicAuth line, "" for none
    bool bServerLogin;        // the gateway asks for user/secret
    int32_t nProxySetting;    // 1 named, 0 from the environment
    int32_t bProxyAuthentication;
    const char* pszProxyPassword;
    bool bListed;             // the whole group arrives
    size_t nProxyPasswords;   // "Sending Proxy Password..." lines
    const char* pszBox;       // the one message box, "" for none
    int nServerRequests;      // requests that reached the gateway
};

class ProxyTest : public ::testing::TestWithParam<ProxyCase>
{
protected:
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

    // The machine's own proxy settings take no part; the test's own goes with it.
    void SetUp() override
    {
        for (const char* pszName : {"http_proxy", "no_proxy", "NO_PROXY"})
            unsetenv(pszName);
    }
    void TearDown() override { unsetenv("http_proxy"); }

    TempDir m_dir;
    std::shared_ptr<RecordingSink> m_pSink = std::make_shared<RecordingSink>();
    AccountPtr m_pAccount = std::make_shared<ServiceAccount>();
    std::shared_ptr<CPreferences> m_pSettings = std::make_shared<CPreferences>();
};
} // namespace

TEST_P(ProxyTest, ListingThroughTheProxy)
{
    const ProxyCase& c = GetParam();
    CGatewayOptions options;
    if (c.bServerLogin)
        options.m_users = {{"user", "secret"}};
    CGatewaySimulator gateway(options);
    ASSERT_NE(gateway.Start(), 0);
    CTinyproxy proxy(m_dir, c.pszProxyAuth);
    ASSERT_TRUE(proxy.IsRunning()) << "tinyproxy did not start";
    m_pAccount->m_nService = ServiceNewsGuy;
    m_pAccount->m_strHeaderDomain = gateway.HostPort();
    m_pAccount->m_strUsername = "user";
    m_pAccount->m_strPassword = "secret";
    m_pSettings->m_bUseProxy = 1;
    m_pSettings->m_nProxySetting = c.nProxySetting;
    m_pSettings->m_strProxyAddress = "127.0.0.1";
    m_pSettings->m_nProxyPort = c.nProxySetting ? proxy.Port() : 1;
    m_pSettings->m_bProxyAuthentication = c.bProxyAuthentication;
    m_pSettings->m_strProxyUsername = "puser";
    m_pSettings->m_strProxyPassword = c.pszProxyPassword;
    const std::string strProxy = "http://127.0.0.1:" + std::to_string(proxy.Port());
    if (!c.nProxySetting)
        setenv("http_proxy", strProxy.c_str(), 1);

    std::vector<std::string> status;
    const size_t nListed = List(status);
    EXPECT_EQ(nListed, c.bListed ? static_cast<size_t>(gateway.ArticleCount("alt.test")) : 0u);
    EXPECT_EQ(static_cast<size_t>(std::count(status.begin(), status.end(), "Sending Proxy Password...")),
              c.nProxyPasswords);
    EXPECT_EQ(m_pSink->MessageBoxes(),
              *c.pszBox ? std::vector<std::string>{c.pszBox} : std::vector<std::string>{});
    if (c.bListed)
        EXPECT_NE(proxy.Log().find(CGatewaySimulator::NewsGuyListTarget("alt.test")), std::string::npos);
    else
        EXPECT_EQ(status.back().rfind("Sending ", 0), 0u);
    if (c.nServerRequests >= 0)
    {
        EXPECT_EQ(gateway.RequestCount(), static_cast<size_t>(c.nServerRequests));
    }
    if (c.bServerLogin)
    {
        EXPECT_EQ(std::count(status.begin(), status.end(), "Sending NewsGuy Password..."), 1);
        auto requests = gateway.Requests();
        ASSERT_EQ(requests.size(), 2u);
        EXPECT_FALSE(requests[0].m_bCredentials);
        EXPECT_TRUE(requests[1].m_bCredentials);
    }
    if (c.nProxySetting)
        return;
    // With the proxy switched off the environment is ignored as well.
    m_pSettings->m_bUseProxy = 0;
    setenv("http_proxy", "http://127.0.0.1:1", 1);
    status.clear();
    EXPECT_EQ(List(status), static_cast<size_t>(gateway.ArticleCount("alt.test")));
}

// tinyproxy answers a wrong proxy login with 401 instead of a second 407, so
// the message names the server; either way the retrieval ends after two
// refusals with one message.
INSTANTIATE_TEST_SUITE_P(
    Cases, ProxyTest,
    ::testing::Values(
        ProxyCase{"Manual", "", false, 1, 1, "ppass", true, 0, "", -1},
        ProxyCase{"FromTheEnvironment", "", false, 0, 1, "ppass", true, 0, "", -1},
        ProxyCase{"NoProxyLoginToOffer", "puser ppass", false, 1, 0, "ppass", false, 2,
                  "The configured proxy password is incorrect!", 0},
        ProxyCase{"WrongProxyPassword", "puser ppass", false, 1, 1, "wrong", false, 1,
                  "The configured password for NewsGuy is incorrect!", 0},
        ProxyCase{"ServerAndProxyLogins", "puser ppass", true, 1, 1, "ppass", true, 1, "", 2}),
    [](const auto& info) { return std::string(info.param.pszName); });
