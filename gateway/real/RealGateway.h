#pragma once

// The real gateway: the download face of a web gateway in front of an NNTP
// server. It answers "news-bin/wwwdecode?" + a decode query (and the
// "drn-bin/" form) with the decoded file, fetched part by part across a pool
// of connections, so Dravelin's own download worker downloads from Usenet
// unchanged. The product starts it in-process on a loopback port; the
// dravelin-gateway program runs it stand-alone (--upstream).

#include "nntp/NntpPool.h"

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

struct SRealGatewayOptions
{
    usenet::SServerConfig m_server;
    std::string m_strBind = "127.0.0.1";
    int m_nPort = 0; // 0 = any free port
    // Our own HTTP login (Basic); empty = none asked for.
    std::vector<std::pair<std::string, std::string>> m_users;
    std::string m_strRealm = "Dravelin Gateway";
    // Parts in flight or waiting per download; 0 = two per connection.
    int m_nWindow = 0;
    int m_nThreads = 16; // HTTP server threads
    // The server's header cache (a SQLite file); empty = listings read the
    // whole overview every time.
    std::string m_strCacheFile;
    // Where failures are told (one line each); empty = standard error.
    std::function<void(const std::string&)> m_log;
};

class CRealGateway
{
public:
    explicit CRealGateway(SRealGatewayOptions options);
    ~CRealGateway();
    CRealGateway(const CRealGateway&) = delete;
    CRealGateway& operator=(const CRealGateway&) = delete;

    // Binds and serves on background threads; the bound port, 0 on failure.
    int Start();
    // Stops serving; running downloads end (short of their length). Safe twice.
    void Stop();
    // New answers fetch from this server from now on; answers already
    // running finish on the connections they started on, which close when
    // the last of them ends. Listings use strCacheFile from now on (the
    // header cache is per server: another server's article numbers differ).
    void SetServer(const usenet::SServerConfig& server, std::string strCacheFile);
    // New answers get 503 until SetServer; running ones finish as above.
    void DropServer();
    int Port() const;
    // "127.0.0.1:<port>", what an account's host fields take.
    std::string HostPort() const;

    // The decoded file's name as a download answer carries it: no folders,
    // no control characters, no quotes.
    static std::string SafeName(const std::string& strName);

private:
    class CImpl;
    std::unique_ptr<CImpl> m_pImpl;
};
