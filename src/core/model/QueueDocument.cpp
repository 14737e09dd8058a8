#include "model/QueueDocument.h"

#include "net/GatewayHosts.h"
#include "settings/ProfileFile.h"
#include "settings/ServiceRoutes.h"

namespace
{
constexpr int32_t kServiceCodes[] = {ServiceNewsGuy, ServiceNewsGuyExtra, ServiceWebUseNet,
                                     ServiceWebUseNetMembers, ServiceEasyNews};

std::string TrimSpaces(const std::string& str)
{
    size_t nBegin = str.find_first_not_of(' ');
    if (nBegin == std::string::npos)
        return {};
    size_t nEnd = str.find_last_not_of(' ');
    return str.substr(nBegin, nEnd - nBegin + 1);
}

std::string TrimmedOr(const std::string& strValue, const char* pszDefault)
{
    std::string str = TrimSpaces(strValue);
    return str.empty() ? std::string(pszDefault) : str;
}

void ReadAccount(const CProfileFile& ini, ServiceAccount& account)
{
    const std::string strSection = ServiceSectionName(account.m_nService);
    switch (account.m_nService)
    {
    case ServiceNewsGuy:
    case ServiceNewsGuyExtra:
        account.m_nRetrieveBy = ini.GetInt(strSection, "RetrieveBy", 3);
        account.m_bShowOnlyBin = ini.GetInt(strSection, "ShowOnlyBin", 1);
        if (account.m_nService == ServiceNewsGuyExtra)
            account.m_bIgnoreNewsGuyLimit = ini.GetInt(strSection, "IgnoreNewsGuyLimit", 0);
        account.m_nMaxDownloads = ini.GetInt(strSection, "MaxDownloads", 2);
        account.m_strHeaderDomain =
            TrimmedOr(ini.GetString(strSection, "HeaderDomain", GatewayHosts::kNewsGuyHeaderHost),
                      GatewayHosts::kNewsGuyHeaderHost);
        account.m_strDownloadDomain =
            TrimmedOr(ini.GetString(strSection, "DownloadDomain", GatewayHosts::kNewsGuyDownloadHost),
                      GatewayHosts::kNewsGuyDownloadHost);
        break;
    case ServiceWebUseNet:
    case ServiceWebUseNetMembers:
    {
        const char* pszHost = account.m_nService == ServiceWebUseNet ? GatewayHosts::kWebUseNetHost
                                                                     : GatewayHosts::kWebUseNetMembersHost;
        account.m_nRetrieveBy = ini.GetInt(strSection, "RetrieveBy", 3);
        account.m_bShowOnlyBin = ini.GetInt(strSection, "ShowOnlyBin", 1);
        account.m_nMaxDownloads = ini.GetInt(strSection, "MaxDownloads", 2);
        account.m_strHeaderDomain = ini.GetString(strSection, "HeaderDomain", pszHost);
        account.m_strDownloadDomain = ini.GetString(strSection, "DownloadDomain", pszHost);
        break;
    }
    case ServiceEasyNews:
        account.m_nMaxDownloads = ini.GetInt(strSection, "MaxDownloads", 2);
        account.m_bShowOnlyBin = 0;
        account.m_strHeaderDomain =
            ini.GetString(strSection, "HeaderDomain", GatewayHosts::kEasyNewsMembersHost);
        account.m_strDownloadDomain =
            ini.GetString(strSection, "DownloadDomain", GatewayHosts::kEasyNewsMembersHost);
        break;
    default:
        return;
    }
    account.m_strUsername = ini.GetString(strSection, "Username", "");
    account.m_strPassword = ini.GetString(strSection, "Password", "");
}
} // namespace

bool CQueueDocument::Open(const std::string& strIniPath, IPrompts* pPrompts)
{
    LoadAccounts(strIniPath);
    bool bCompatible = m_settings.Load(strIniPath, pPrompts);
    std::lock_guard lock(m_lock);
    m_nActiveDownloads = 0;
    return bCompatible;
}

int32_t CQueueDocument::LoadAccounts(const std::string& strIniPath)
{
    CProfileFile ini;
    ini.Read(strIniPath);
    m_accounts.clear();
    m_nSubscriptions = ini.GetInt("Account", "Subscriptions", 0);
    m_nRoutedOnly = 0;
    int32_t nLargest = 0;
    for (int32_t nCode : kServiceCodes)
    {
        const std::string strRoute = CServiceRoutes::Get(nCode);
        // A routed service gets its account even when the file subscribes
        // none: the queue's articles of that service need one to download.
        if ((m_nSubscriptions & nCode) == 0 && strRoute.empty())
            continue;
        auto pAccount = std::make_shared<ServiceAccount>();
        pAccount->m_nService = nCode;
        ReadAccount(ini, *pAccount);
        if (!strRoute.empty())
        {
            pAccount->m_strHeaderDomain = strRoute;
            pAccount->m_strDownloadDomain = strRoute;
            if ((m_nSubscriptions & nCode) == 0)
                m_nRoutedOnly |= nCode;
        }
        if (pAccount->m_nMaxDownloads > nLargest)
            nLargest = pAccount->m_nMaxDownloads;
        m_accounts.push_back(std::move(pAccount));
    }
    // No per-server connection limit is raised from this: every download has
    // its own libcurl handle and connection, so nothing caps them below the
    // accounts' own "MaxDownloads", which the scheduler applies.
    return nLargest;
}

void CQueueDocument::SaveAccounts(const std::string& strIniPath) const
{
    CProfileFile ini;
    if (!ini.ReadForUpdate(strIniPath))
        return;
    int32_t nSum = 0;
    for (const auto& pAccount : m_accounts)
    {
        std::lock_guard lock(pAccount->m_lock);
        const char* pszSection = ServiceSectionName(pAccount->m_nService);
        // An unknown code has no section of its own, and the file holds one
        // account per service: either would overwrite another account.
        if (!pszSection || (nSum & pAccount->m_nService) != 0)
            continue;
        // Hosts that are this run's route keep the file's values; an account
        // that only the route brought is no subscription of the user's.
        const std::string strRoute = CServiceRoutes::Get(pAccount->m_nService);
        const bool bRouted = !strRoute.empty() && pAccount->m_strHeaderDomain == strRoute &&
                             pAccount->m_strDownloadDomain == strRoute;
        if (bRouted && (m_nRoutedOnly & pAccount->m_nService) != 0)
            continue;
        if (strRoute.empty() || pAccount->m_strHeaderDomain != strRoute)
            ini.SetString(pszSection, "HeaderDomain", pAccount->m_strHeaderDomain);
        if (strRoute.empty() || pAccount->m_strDownloadDomain != strRoute)
            ini.SetString(pszSection, "DownloadDomain", pAccount->m_strDownloadDomain);
        ini.SetString(pszSection, "Username", pAccount->m_strUsername);
        ini.SetString(pszSection, "Password", pAccount->m_strPassword);
        ini.SetInt(pszSection, "RetrieveBy", pAccount->m_nRetrieveBy);
        ini.SetInt(pszSection, "ShowOnlyBin", pAccount->m_bShowOnlyBin);
        ini.SetInt(pszSection, "IgnoreNewsGuyLimit", pAccount->m_bIgnoreNewsGuyLimit);
        ini.SetInt(pszSection, "MaxDownloads", pAccount->m_nMaxDownloads);
        nSum += pAccount->m_nService;
    }
    ini.SetInt("Account", "Subscriptions", nSum);
    ini.Write(strIniPath);
}

void CQueueDocument::FollowRoute(const std::string& strIniPath, int32_t nService,
                                 const std::string& strOldRoute)
{
    CProfileFile ini;
    ini.Read(strIniPath);
    ServiceAccount fromFile;
    fromFile.m_nService = nService;
    ReadAccount(ini, fromFile);
    const std::string strRoute = CServiceRoutes::Get(nService);
    std::lock_guard lock(m_lock);
    AccountPtr pAccount = FindAccount(nService);
    if (!strRoute.empty())
    {
        if (!pAccount)
        {
            pAccount = std::make_shared<ServiceAccount>(fromFile);
            m_accounts.push_back(pAccount);
            m_nRoutedOnly |= nService;
        }
        std::lock_guard accountLock(pAccount->m_lock);
        pAccount->m_strHeaderDomain = strRoute;
        pAccount->m_strDownloadDomain = strRoute;
        return;
    }
    if (!pAccount || strOldRoute.empty())
        return;
    if ((m_nRoutedOnly & nService) != 0)
    {
        std::erase(m_accounts, pAccount);
        m_nRoutedOnly &= ~nService;
        return;
    }
    std::lock_guard accountLock(pAccount->m_lock);
    if (pAccount->m_strHeaderDomain == strOldRoute)
        pAccount->m_strHeaderDomain = fromFile.m_strHeaderDomain;
    if (pAccount->m_strDownloadDomain == strOldRoute)
        pAccount->m_strDownloadDomain = fromFile.m_strDownloadDomain;
}

AccountPtr CQueueDocument::FindAccount(int32_t nService) const
{
    for (const auto& pAccount : m_accounts)
        if (pAccount->m_nService == nService)
            return pAccount;
    return nullptr;
}

std::string CQueueDocument::GetServiceHost(int32_t nService, bool bWithCredentials) const
{
    AccountPtr pAccount = FindAccount(nService);
    if (!pAccount)
        return "http://";
    std::lock_guard lock(pAccount->m_lock);
    if (bWithCredentials)
        return pAccount->m_strUsername + ":" + pAccount->m_strPassword + "@" + pAccount->m_strDownloadDomain;
    return pAccount->m_strDownloadDomain;
}
