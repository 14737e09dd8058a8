#include "gateway/real/RealGatewayMain.h"

#include "gateway/real/RealGateway.h"
#include "gateway/real/Upstream.h"
#include "cache/HeaderCache.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>

namespace
{
const char kUsage[] =
    "Usage: dravelin-gateway --upstream nntp://HOST[:PORT] | nntps://HOST[:PORT] [options]\n"
    "Serves news-bin/wwwlist? listings and news-bin/wwwdecode? downloads from a Usenet server.\n"
    "Prints the bound port on the first line of output.\n"
    "\n"
    "  --upstream URL        the NNTP server (nntps: implicit TLS, port 563 by default)\n"
    "  --credentials FILE    the server login: lines user=NAME and password=SECRET, mode 0600;\n"
    "                        else DRAVELIN_NNTP_USER and DRAVELIN_NNTP_PASSWORD\n"
    "  --connections N       connections to the server (default 8, at most 50)\n"
    "  --ca-file FILE        trust this CA besides the system's\n"
    "  --window N            parts in flight per download (default 2 per connection)\n"
    "  --port N              port to listen on (0 = any free port, the default)\n"
    "  --bind ADDR           address to bind (default 127.0.0.1)\n"
    "  --user NAME:PASSWORD  our own login asked of Dravelin (repeatable); none = no login\n"
    "  --realm TEXT          realm of that login (default \"Dravelin Gateway\")\n"
    "  --cache FILE|off      the header cache of listings (default\n"
    "                        $XDG_CACHE_HOME/dravelin/HOST_PORT.sqlite); off = none\n"
    "  --help                show this text\n";

int Fail(const std::string& strMessage)
{
    std::cerr << "dravelin-gateway: " << strMessage << "\nTry --help.\n";
    return 2;
}

bool ParseInt(const std::string& str, long nMin, long nMax, int& n)
{
    char* pEnd = nullptr;
    errno = 0;
    const long v = std::strtol(str.c_str(), &pEnd, 10);
    if (str.empty() || *pEnd != '\0' || errno != 0 || v < nMin || v > nMax)
        return false;
    n = static_cast<int>(v);
    return true;
}
} // namespace

int RunRealGateway(int argc, char** argv)
{
    SRealGatewayOptions options;
    std::string strUpstream;
    std::string strCredentials;
    std::string strCache; // "" = the default file
    for (int i = 1; i < argc; ++i)
        if (std::string(argv[i]) == "--help" || std::string(argv[i]) == "-h")
        {
            std::fputs(kUsage, stdout);
            return 0;
        }
    for (int i = 1; i < argc; ++i)
    {
        const std::string strArg = argv[i];
        if (i + 1 >= argc)
            return Fail("missing value after " + strArg);
        const std::string strValue = argv[++i];
        if (strArg == "--upstream")
            strUpstream = strValue;
        else if (strArg == "--credentials")
            strCredentials = strValue;
        else if (strArg == "--connections" && ParseInt(strValue, 1, 50, options.m_server.m_nConnections))
            ;
        else if (strArg == "--ca-file")
            options.m_server.m_strCaFile = strValue;
        else if (strArg == "--window" && ParseInt(strValue, 1, 1000, options.m_nWindow))
            ;
        else if (strArg == "--port" && ParseInt(strValue, 0, 65535, options.m_nPort))
            ;
        else if (strArg == "--bind")
            options.m_strBind = strValue;
        else if (strArg == "--user" && strValue.find(':') != std::string::npos)
            options.m_users.emplace_back(strValue.substr(0, strValue.find(':')),
                                         strValue.substr(strValue.find(':') + 1));
        else if (strArg == "--realm")
            options.m_strRealm = strValue;
        else if (strArg == "--cache")
            strCache = strValue;
        else
            return Fail("unknown option or bad value: " + strArg + " " + strValue);
    }
    std::string strError;
    if (!CUpstream::ParseAddress(strUpstream, options.m_server, strError))
        return Fail(strError);
    CUpstream::CredentialsFromEnvironment(options.m_server);
    if (strCache != "off")
        options.m_strCacheFile =
            strCache.empty() ? usenet::CHeaderCache::DefaultPath(options.m_server.m_strHost, options.m_server.m_nPort)
                             : strCache;
    if (!strCredentials.empty() && !CUpstream::ReadCredentials(strCredentials, options.m_server, strError))
    {
        std::cerr << "dravelin-gateway: " << strError << "\n";
        return 2;
    }

    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    CRealGateway gateway(options);
    const int nPort = gateway.Start();
    if (nPort <= 0)
    {
        std::cerr << "dravelin-gateway: cannot listen on " << options.m_strBind << " port " << options.m_nPort
                  << "\n";
        return 1;
    }
    std::printf("%d\n", nPort);
    std::fflush(stdout);
    std::fprintf(stderr, "dravelin-gateway: serving %s on http://%s (Ctrl+C stops)\n", strUpstream.c_str(),
                 gateway.HostPort().c_str());
    int nSignal = 0;
    sigwait(&signals, &nSignal);
    gateway.Stop();
    return 0;
}
