#include "settings/ServiceAccount.h"

#include "net/GatewayHosts.h"

ServiceAccount::ServiceAccount(const ServiceAccount& other)
{
    *this = other;
}

ServiceAccount& ServiceAccount::operator=(const ServiceAccount& other)
{
    if (this == &other)
        return *this;
    std::scoped_lock lock(m_lock, other.m_lock);
    m_bIgnoreNewsGuyLimit = other.m_bIgnoreNewsGuyLimit;
    m_strDownloadDomain = other.m_strDownloadDomain;
    m_strHeaderDomain = other.m_strHeaderDomain;
    m_nRetrieveBy = other.m_nRetrieveBy;
    m_bShowOnlyBin = other.m_bShowOnlyBin;
    m_nService = other.m_nService;
    m_nRunning = other.m_nRunning;
    m_nMaxDownloads = other.m_nMaxDownloads;
    m_strUsername = other.m_strUsername;
    m_strPassword = other.m_strPassword;
    return *this;
}

const char* ServiceDisplayName(int32_t nService)
{
    switch (nService)
    {
    case ServiceNewsGuy:
        return "NewsGuy";
    case ServiceNewsGuyExtra:
        return "NewsGuy Extra";
    case ServiceWebUseNet:
        return "WebUseNet";
    case ServiceWebUseNetMembers:
        return "WebUseNet Members";
    case ServiceEasyNews:
        return "EasyNews";
    default:
        return "Error!";
    }
}

const char* ServiceSectionName(int32_t nService)
{
    switch (nService)
    {
    case ServiceNewsGuy:
        return "NewsGuy";
    case ServiceNewsGuyExtra:
        return "NewsGuyExtra";
    case ServiceWebUseNet:
        return "WebUseNet";
    case ServiceWebUseNetMembers:
        return "WebUseNetMember";
    case ServiceEasyNews:
        return "EasyNews";
    default:
        return nullptr;
    }
}
