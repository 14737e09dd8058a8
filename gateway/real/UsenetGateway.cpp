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

void CUsenetGateway::SetCacheFile(const std::string& strServer, int nPort, std::string strFile)
{
    m_strOwnCacheServer = strServer + ":" + std::to_string(nPort);
    m_strOwnCacheFile = std::move(strFile);
}

std::string CUsenetGateway::CacheFileFor(const CUsenetSettings& settings) const
{
    if (!m_strOwnCacheFile.empty() &&
        m_strOwnCacheServer == settings.m_strServer + ":" + std::to_string(settings.m_nPort))
        return m_strOwnCacheFile;
    return CacheFile(settings);
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
    return Apply(settings, strStatus);
}

bool CUsenetGateway::Apply(const CUsenetSettings& settings, std::string& strStatus)
{
    strStatus.clear();
    const std::string strServer = settings.m_strServer + ":" + std::to_string(settings.m_nPort);
    std::string strProblem;
    if (settings.IsActive())
    {
        strProblem = settings.Validate();
        // A CA file that cannot be read would fail every download the same way.
        if (strProblem.empty() && !settings.m_strCAFile.empty() && !std::ifstream(settings.m_strCAFile))
            strProblem = "Cannot read the CA file " + settings.m_strCAFile + ".";
    }
    if (!settings.IsActive() || !strProblem.empty())
    {
        // Running downloads finish; new requests find no route, and the
        // gateway refuses any that still come.
        if (m_bServing)
        {
            CServiceRoutes::Set(ServiceNewsGuy, "");
            m_pGateway->DropServer();
            m_bServing = false;
        }
        if (!strProblem.empty())
        {
            strStatus = "The Usenet gateway for " + strServer + " did not start: " + strProblem;
            return false;
        }
        if (!settings.m_strServer.empty())
            strStatus = "The Usenet gateway for " + strServer + " is switched off.";
        return true;
    }
    if (m_pGateway)
        m_pGateway->SetServer(ServerConfig(settings), CacheFileFor(settings));
    else
    {
        SRealGatewayOptions options;
        options.m_server = ServerConfig(settings);
        options.m_strCacheFile = CacheFileFor(settings);
        m_pGateway = std::make_unique<CRealGateway>(std::move(options));
        if (m_pGateway->Start() == 0)
        {
            m_pGateway.reset();
            strStatus =
                "The Usenet gateway for " + strServer + " did not start: No loopback port is free for it.";
            return false;
        }
    }
    m_bServing = true;
    CServiceRoutes::Set(ServiceNewsGuy, m_pGateway->HostPort());
    strStatus = "Usenet gateway for " + strServer + (settings.m_bTls ? " (TLS)" : "") + " on " +
                m_pGateway->HostPort() + ".";
    return true;
}

void CUsenetGateway::Stop()
{
    if (!m_pGateway)
        return;
    if (m_bServing)
        CServiceRoutes::Set(ServiceNewsGuy, "");
    m_bServing = false;
    m_pGateway->Stop();
    m_pGateway.reset();
}

std::string CUsenetGateway::HostPort() const
{
    return m_bServing ? m_pGateway->HostPort() : std::string();
}
