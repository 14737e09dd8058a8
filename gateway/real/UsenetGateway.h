#pragma once

// The Usenet gateway inside the program: when section [Usenet] of
// Dravelin.ini names a server (and is switched on), the desktop program and
// dravelin-cli download run a CRealGateway on a loopback port and send the
// NewsGuy account's header and download hosts to it for this run.

#include "nntp/NntpPool.h"

#include <memory>
#include <string>

class CRealGateway;
class CUsenetSettings;

class CUsenetGateway
{
public:
    CUsenetGateway();
    ~CUsenetGateway();
    CUsenetGateway(const CUsenetGateway&) = delete;
    CUsenetGateway& operator=(const CUsenetGateway&) = delete;

    // Reads the section from strIniPath and, when it is active, starts the
    // gateway and routes the NewsGuy account at it. strStatus: one line for
    // the user ("" when the section names no server). False only when the
    // gateway should run and does not; the rest of the program works on.
    bool Start(const std::string& strIniPath, std::string& strStatus);
    bool Start(const CUsenetSettings& settings, std::string& strStatus);
    // New values while the program runs (the preferences sheet). Running
    // downloads are not cut: they finish on the server they started on, and
    // the next ones use the new values, on the same loopback port. Switched
    // off (or no server), the route goes and new requests are refused; on
    // again, the route comes back. Same result and status as Start.
    bool Apply(const CUsenetSettings& settings, std::string& strStatus);
    // Stops serving and removes the route; running downloads end. Safe twice.
    void Stop();

    bool IsRunning() const { return m_bServing; }
    // "127.0.0.1:<port>" while running, else "".
    std::string HostPort() const;

    // The header cache of the section's server.
    static std::string CacheFile(const CUsenetSettings& settings);
    // Listings from strServer:nPort keep their header cache in strFile
    // instead (before Start). The demo's news server comes up on another
    // port at every start, and its cache lives in the demo folder.
    void SetCacheFile(const std::string& strServer, int nPort, std::string strFile);
    // The NNTP server as the section describes it.
    static usenet::SServerConfig ServerConfig(const CUsenetSettings& settings);

private:
    std::string CacheFileFor(const CUsenetSettings& settings) const;

    std::unique_ptr<CRealGateway> m_pGateway; // kept when switched off, for its port
    bool m_bServing = false;
    std::string m_strOwnCacheServer; // "host:port" of SetCacheFile
    std::string m_strOwnCacheFile;
};
