#include "demo/DemoMode.h"

#include "gateway/GatewaySimulator.h"
#include "settings/ProfileFile.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace
{
const char* const kDemoGroups[] = {"alt.binaries.demo.pictures", "alt.binaries.demo.music",
                                   "alt.binaries.demo.linux-isos", "alt.test"};
const char* const kAccountSections[] = {"NewsGuy", "NewsGuyExtra", "EasyNews"};
constexpr int kSubscriptions = 1 + 2 + 16;
} // namespace

CDemoMode::CDemoMode() = default;

CDemoMode::~CDemoMode()
{
    Stop();
}

std::string CDemoMode::DefaultFolder()
{
    const char* pszData = std::getenv("XDG_DATA_HOME");
    if (pszData && *pszData)
        return std::string(pszData) + "/dravelin-demo";
    const char* pszHome = std::getenv("HOME");
    return std::string(pszHome ? pszHome : ".") + "/.local/share/dravelin-demo";
}

bool CDemoMode::PrepareFolder(const std::string& strFolder, const std::string& strHostPort,
                              std::string* pError)
{
    std::error_code ec;
    std::filesystem::create_directories(strFolder, ec);
    if (ec)
    {
        if (pError)
            *pError = "cannot create " + strFolder + ": " + ec.message();
        return false;
    }
    const std::string strIni = strFolder + "/Dravelin.ini";
    const bool bFirstUse = !std::filesystem::exists(strIni, ec);
    CProfileFile ini;
    if (!ini.ReadForUpdate(strIni))
    {
        if (pError)
            *pError = "cannot read " + strIni;
        return false;
    }
    if (bFirstUse)
    {
        const std::string strDownloads = strFolder + "/Downloads/";
        std::filesystem::create_directories(strDownloads, ec);
        ini.SetString("Dravelin", "Version", "2.0");
        ini.SetString("Dravelin", "CompatibleBuild", "0328");
        ini.SetString("Preferences", "DefaultPath", strDownloads);
        ini.SetInt("Account", "Active", 1);
        int nGroup = 0;
        for (const char* pszGroup : kDemoGroups)
            ini.SetString("Favorites", "Newsgroup" + std::to_string(++nGroup), pszGroup);
        ini.SetInt("Favorites", "Total", nGroup);
    }
    // The port changes at every start; the accounts follow it.
    for (const char* pszSection : kAccountSections)
    {
        ini.SetString(pszSection, "HeaderDomain", strHostPort);
        ini.SetString(pszSection, "DownloadDomain", strHostPort);
        ini.SetString(pszSection, "Username", kUser);
        ini.SetString(pszSection, "Password", kPassword);
        if (!ini.HasKey(pszSection, "MaxDownloads"))
            ini.SetInt(pszSection, "MaxDownloads", 2);
    }
    ini.SetInt("Account", "Subscriptions", kSubscriptions);
    std::string strError;
    if (!ini.Write(strIni, &strError))
    {
        if (pError)
            *pError = "cannot write " + strIni + ": " + strError;
        return false;
    }
    return true;
}

bool CDemoMode::Start(const std::string& strDataDir, std::string* pError)
{
    m_strFolder = strDataDir.empty() ? DefaultFolder() : strDataDir;
    CGatewayOptions options;
    options.m_users = {{kUser, kPassword}};
    m_pGateway = std::make_unique<CGatewaySimulator>(options);
    if (m_pGateway->Start() == 0)
    {
        if (pError)
            *pError = "the gateway simulator did not start";
        m_pGateway.reset();
        return false;
    }
    return PrepareFolder(m_strFolder, m_pGateway->HostPort(), pError);
}

void CDemoMode::Stop()
{
    if (m_pGateway)
        m_pGateway->Stop();
    m_pGateway.reset();
}

std::string CDemoMode::HostPort() const
{
    return m_pGateway ? m_pGateway->HostPort() : std::string();
}
