#include "demo/DemoMode.h"

#include "gateway/GatewaySimulator.h"
#include "gateway/NntpFace.h"
#include "model/AtomicFile.h"
#include "settings/ProfileFile.h"
#include "settings/UsenetSettings.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace
{
const char* const kDemoGroups[] = {"alt.binaries.demo.pictures", "alt.binaries.demo.music",
                                   "alt.binaries.demo.linux-isos", "alt.test"};
const char* const kAccountSections[] = {"NewsGuy", "NewsGuyExtra", "EasyNews"};
constexpr int kSubscriptions = 1 + 2 + 16;
// Decoded bytes per posted part on the NNTP face.
constexpr int64_t kPartSize = 100000;

// The corpus of the simulator and of its NNTP face: the standard groups and
// a few small files for the NZB.
CGatewayOptions DemoCorpus()
{
    CGatewayOptions options;
    options.m_users = {{CDemoMode::kUser, CDemoMode::kPassword}};
    options.m_groups.push_back(CGatewayGroup{CDemoMode::kNzbGroup, 6, 0, 3000000, false, 0});
    // Files of up to 10 MB, not gigabytes: posted in parts of kPartSize, a
    // first Go on the group reads a few thousand overview lines, not millions.
    options.m_groups.push_back(CGatewayGroup{"alt.test", 200, 0, 10000000, false, 0});
    return options;
}
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
                              std::string* pError, int nNntpPort, const std::string& strNzb)
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
    if (nNntpPort > 0)
    {
        // On unless the user switched it off: the NewsGuy account lists and
        // downloads from the NNTP face through the Usenet gateway.
        CUsenetSettings usenet;
        usenet.Load(ini);
        usenet.m_strServer.assign("127.0.0.1");
        usenet.m_nPort = nNntpPort;
        usenet.m_bTls = 0;
        usenet.m_strUsername = kUser;
        usenet.m_strPassword = kPassword;
        usenet.m_nConnections = 4;
        usenet.Save(ini);
    }
    std::string strError;
    if (!ini.Write(strIni, &strError))
    {
        if (pError)
            *pError = "cannot write " + strIni + ": " + strError;
        return false;
    }
    const std::string strNzbPath = strFolder + "/" + kNzbFile;
    if (!strNzb.empty() && !CAtomicFile::Write(strNzbPath, strNzb, 0644, &strError))
    {
        if (pError)
            *pError = "cannot write " + strNzbPath + ": " + strError;
        return false;
    }
    return true;
}

bool CDemoMode::Start(const std::string& strDataDir, std::string* pError)
{
    m_strFolder = strDataDir.empty() ? DefaultFolder() : strDataDir;
    const CGatewayOptions options = DemoCorpus();
    m_pGateway = std::make_unique<CGatewaySimulator>(options);
    if (m_pGateway->Start() == 0)
    {
        if (pError)
            *pError = "the gateway simulator did not start";
        m_pGateway.reset();
        return false;
    }
    SNntpFaceOptions nntp;
    nntp.m_nPartSize = kPartSize;
    nntp.m_users = options.m_users;
    // As a news server has them: every part an article, numbered as posted.
    nntp.m_posting.m_bNumbered = true;
    nntp.m_posting.m_nHoleFile = kIncompleteFile;
    nntp.m_posting.m_bTextPost = true;
    m_pNntp = std::make_unique<CNntpFace>(options, nntp);
    if (m_pNntp->Start() == 0)
    {
        // Listing and downloading from the simulator still work.
        std::fprintf(stderr, "dravelin: demo mode: the NNTP face did not start: %s\n", m_pNntp->GetError().c_str());
        m_pNntp.reset();
        return PrepareFolder(m_strFolder, m_pGateway->HostPort(), pError);
    }
    return PrepareFolder(m_strFolder, m_pGateway->HostPort(), pError, m_pNntp->Port(), m_pNntp->Nzb(kNzbGroup));
}

void CDemoMode::Stop()
{
    if (m_pNntp)
        m_pNntp->Stop();
    m_pNntp.reset();
    if (m_pGateway)
        m_pGateway->Stop();
    m_pGateway.reset();
}

std::string CDemoMode::CacheFile() const
{
    std::error_code ec;
    const std::filesystem::path folder = std::filesystem::absolute(m_strFolder, ec);
    return ((ec ? std::filesystem::path(m_strFolder) : folder) / kHeaderCache).string();
}

std::string CDemoMode::HostPort() const
{
    return m_pGateway ? m_pGateway->HostPort() : std::string();
}
