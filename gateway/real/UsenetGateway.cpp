#include "gateway/real/UsenetGateway.h"

#include "net/GatewayHosts.h"
#include "gateway/real/RealGateway.h"
#include "cache/HeaderCache.h"
#include "settings/ServiceRoutes.h"
#include "settings/UsenetSettings.h"

#include <fstream>

CUsenetGateway::CUsenetGateway() = default;

CUsenetGateway::~CUsenetGateway()
{
    Stop();
}

usenet::SServerConfig CUsenetGateway::ServerConfig(const CUsenetSettings& settings)
{
    usenet::SServerConfig config;
    config.m_strHost = settings.m_strServer;
    config.m_nPort = settings.m_nPort;
    config.m_bTls = settings.m_bTls != 0;
    config.m_strCaFile = settings.m_strCAFile;
    config.m_strUser = settings.m_strUsername;
    config.m_strPassword = settings.m_strPassword;
    config.m_nConnections = settings.m_nConnections;
    return config;
}

std::string CUsenetGateway::CacheFile(const CUsenetSettings& settings)
{
    return usenet::CHeaderCache::DefaultPath(settings.m_strServer, settings.m_nPort);
}

bool CUsenetGateway::Start(const std::string& strIniPath, std::string& strStatus)
{
    CUsenetSettings settings;
    settings.Load(strIniPath);
    return Start(settings, strStatus);
}

bool CUsenetGateway::Start(const CUsenetSettings& settings, std::string& strStatus)
{
    Stop();
    strStatus.clear();
    if (settings.m_strServer.empty())
        return true;
    const std::string strServer = settings.m_strServer + ":" + std::to_string(settings.m_nPort);
    if (!settings.IsActive())
    {
        strStatus = "The Usenet gateway for " + strServer + " is switched off.";
        return true;
    }
    std::string strProblem = settings.Validate();
    // A CA file that cannot be read would fail every download the same way.
    if (strProblem.empty() && !settings.m_strCAFile.empty() && !std::ifstream(settings.m_strCAFile))
        strProblem = "Cannot read the CA file " + settings.m_strCAFile + ".";
    if (strProblem.empty())
    {
        SRealGatewayOptions options;
        options.m_server = ServerConfig(settings);
        options.m_strCacheFile = CacheFile(settings);
        m_pGateway = std::make_unique<CRealGateway>(std::move(options));
        if (m_pGateway->Start() == 0)
        {
            m_pGateway.reset();
            strProblem = "No loopback port is free for it.";
        }
    }
    if (!strProblem.empty())
    {
        strStatus = "The Usenet gateway for " + strServer + " did not start: " + strProblem;
        return false;
    }
    CServiceRoutes::Set(ServiceNewsGuy, m_pGateway->HostPort());
    strStatus = "Usenet gateway for " + strServer + (settings.m_bTls ? " (TLS)" : "") + " on " +
                m_pGateway->HostPort() + ".";
    return true;
}

void CUsenetGateway::Stop()
{
    if (!m_pGateway)
        return;
    CServiceRoutes::Set(ServiceNewsGuy, "");
    m_pGateway->Stop();
    m_pGateway.reset();
}

std::string CUsenetGateway::HostPort() const
{
    return m_pGateway ? m_pGateway->HostPort() : std::string();
}
