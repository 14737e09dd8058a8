// dravelin-gateway: the gateway simulator as a program, for manual runs,
// benchmarks and scripts. The first line of output is the bound port.

#include "DravelinVersion.h"
#include "gateway/GatewaySimulator.h"
#include "gateway/NntpFace.h"
#include "gateway/real/RealGatewayMain.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <iostream>
#include <string>

namespace
{
const char kUsage[] =
    "Usage: dravelin-gateway [options]\n"
    "       dravelin-gateway --upstream nntp[s]://HOST[:PORT] [options]  (the real gateway; --upstream --help)\n"
    "Serves NewsGuy, WebUseNet and EasyNews gateway requests from a generated corpus.\n"
    "Prints the bound port on the first line of output.\n"
    "\n"
    "  --port N              port to listen on (0 = any free port, the default)\n"
    "  --bind ADDR           address to bind (default 127.0.0.1)\n"
    "  --se" "ed N              corpus key: the same key gives the same corpus (default 1)\n"
    "  --articles N          articles in alt.test and alt.binaries.test (default 200)\n"
    "  --days N              EasyNews day pages per group (default 5)\n"
    "  --group NAME:COUNT[:DAYS[:MAXSIZE]]  add (or replace) a newsgroup; MAXSIZE written\n"
    "                        as =N gives every article exactly N bytes (up to 1 TiB,\n"
    "                        generated as it is sent)\n"
    "  --user NAME:PASSWORD  accept these credentials (repeatable); none = no authentication\n"
    "  --realm TEXT          authentication realm (default \"Dravelin Gateway\")\n"
    "  --path-realm PREFIX=REALM  a distinct realm for paths starting with PREFIX (repeatable)\n"
    "  --threads N           server threads (default 16)\n"
    "\n"
    "Download faults (apply to every article without a fault of its own):\n"
    "  --fail-first N        answer 500 to the first N requests of each article\n"
    "  --status CODE         answer every download with CODE (e.g. 503)\n"
    "  --short-body          send one byte less than Content-Length, then close\n"
    "  --no-content-length   send the body without Content-Length\n"
    "  --redirect KIND       same | other | no-location | loop\n"
    "  --other-host NAME     host named by --redirect other (default other.invalid)\n"
    "  --throttle N          send at most N bytes per second\n"
    "  --stall-after K       send K bytes, then nothing\n"
    "  --stall-limit MS      a stalled answer gives up after MS milliseconds (default 30000)\n"
    "  --drop-after K        send K bytes, then close the connection\n"
    "  --unsafe-name KIND    parent | absolute | control | empty | long\n"
    "  --no-range            ignore Range requests\n"
    "  --help                show this text\n"
    "  --version             show the version\n"
    "\n"
    "NNTP face (the same corpus as yEnc multipart posts, one article per part):\n"
    "  --nntp-port N         also serve NNTP on port N (0 = any free port); its port is\n"
    "                        printed on the second line of output\n"
    "  --nntp-user NAME:PASSWORD  AUTHINFO login accepted (repeatable; default: the --user ones)\n"
    "  --nntp-part-size N    decoded bytes per part (default 384000)\n"
    "  --file-size N         add the group alt.binaries.test.big: one file of exactly N bytes\n"
    "  --nntp-tls            implicit TLS with a throw-away CA made at start\n"
    "  --nntp-ca-file FILE   where the CA certificate is written (default: a file in /tmp,\n"
    "                        named on standard error)\n"
    "  --nntp-cert-name NAME the server certificate's name (default localhost)\n"
    "  --nntp-missing-part P answer 430 for part P of every file\n"
    "  --nntp-corrupt-part P serve part P with a wrong part CRC\n"
    "  --nntp-drop-part P    close the connection halfway through part P (first request only)\n"
    "  --nntp-max-connections N  greeting 502 beyond N open connections\n"
    "  --nntp-throttle N     send at most N bytes per second per connection\n"
    "  --nntp-greeting-400   greet every connection with 400 and close it\n"
    "  --write-nzb GROUP FILE  write an NZB of GROUP as the NNTP face serves it, then exit\n"
    "\n"
    "Groups: alt.test, alt.binaries.test, alt.binaries.test.faults, alt.binaries.empty,\n"
    "alt.binaries.demo.pictures, alt.binaries.demo.music, alt.binaries.demo.linux-isos.\n";

bool ParseNumber(const char* psz, long long& n)
{
    char* pEnd = nullptr;
    errno = 0;
    n = std::strtoll(psz, &pEnd, 10);
    return errno == 0 && pEnd != psz && *pEnd == '\0';
}

int Fail(const std::string& strMessage)
{
    std::cerr << "dravelin-gateway: " << strMessage << "\nTry --help.\n";
    return 2;
}
} // namespace

int main(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--version") == 0)
        {
            std::cout << "dravelin-gateway " << DRAVELIN_VERSION << "\n";
            return 0;
        }
    // Pointed at a real news server, the program is the real gateway.
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--upstream") == 0)
            return RunRealGateway(argc, argv);
    CGatewayOptions options;
    SNntpFaceOptions nntp;
    int nNntpPort = -1;
    bool bNntpUsers = false;
    std::string strNzbGroup;
    std::string strNzbFile;
    for (int i = 1; i < argc; ++i)
    {
        const std::string strArg = argv[i];
        if (strArg == "--help" || strArg == "-h")
        {
            std::cout << kUsage;
            return 0;
        }
        if (strArg == "--nntp-tls" || strArg == "--nntp-greeting-400")
        {
            (strArg == "--nntp-tls" ? nntp.m_bTls : nntp.m_fault.m_bGreeting400) = true;
            continue;
        }
        if (strArg == "--write-nzb")
        {
            if (i + 2 >= argc)
                return Fail("--write-nzb needs GROUP and FILE");
            strNzbGroup = argv[++i];
            strNzbFile = argv[++i];
            continue;
        }
        const bool bFlag = strArg == "--short-body" || strArg == "--no-content-length" || strArg == "--no-range";
        if (bFlag)
        {
            if (strArg == "--short-body")
                options.m_fault.m_bShortBody = true;
            else if (strArg == "--no-content-length")
                options.m_fault.m_bNoContentLength = true;
            else
                options.m_fault.m_bNoRange = true;
            continue;
        }
        if (i + 1 >= argc)
            return Fail("unknown option or missing value: " + strArg);
        const std::string strValue = argv[++i];
        long long n = 0;
        const bool bNumber = ParseNumber(strValue.c_str(), n);
        auto needNumber = [&](long long nMin, long long nMax) {
            return bNumber && n >= nMin && n <= nMax;
        };
        if (strArg == "--port" && needNumber(0, 65535))
            options.m_nPort = static_cast<int>(n);
        else if (strArg == "--bind")
            options.m_strBind = strValue;
        else if (strArg == "--seed" && needNumber(0, INT64_MAX))
            options.m_nCorpusKey = static_cast<uint64_t>(n);
        else if (strArg == "--articles" && needNumber(0, 100000000))
            options.m_nArticles = static_cast<int32_t>(n);
        else if (strArg == "--days" && needNumber(1, 10000))
            options.m_nDays = static_cast<int32_t>(n);
        else if (strArg == "--threads" && needNumber(2, 1024))
            options.m_nThreads = static_cast<int>(n);
        else if (strArg == "--user" && strValue.find(':') != std::string::npos)
            options.m_users.emplace_back(strValue.substr(0, strValue.find(':')), strValue.substr(strValue.find(':') + 1));
        else if (strArg == "--realm")
            options.m_strRealm = strValue;
        else if (strArg == "--path-realm" && strValue.find('=') != std::string::npos)
            options.m_realms.emplace_back(strValue.substr(0, strValue.find('=')), strValue.substr(strValue.find('=') + 1));
        else if (strArg == "--group")
        {
            CGatewayGroup group;
            long long nParts[3] = {0, 0, 0};
            bool bFixed = false;
            size_t nStart = strValue.find(':');
            group.m_strName = strValue.substr(0, nStart);
            for (int k = 0; k < 3 && nStart != std::string::npos; ++k)
            {
                const size_t nNext = strValue.find(':', nStart + 1);
                std::string strPart = strValue.substr(nStart + 1, nNext - nStart - 1);
                if (k == 2 && !strPart.empty() && strPart[0] == '=')
                {
                    bFixed = true;
                    strPart.erase(0, 1);
                }
                if (!ParseNumber(strPart.c_str(), nParts[k]) || nParts[k] < 0)
                    return Fail("bad --group value: " + strValue);
                nStart = nNext;
            }
            if (group.m_strName.empty() || nParts[0] > 100000000 || nParts[2] > (1LL << 40))
                return Fail("bad --group value: " + strValue);
            group.m_nArticles = static_cast<int32_t>(nParts[0]);
            group.m_nDays = static_cast<int32_t>(nParts[1]);
            (bFixed ? group.m_nFixedSize : group.m_nMaxSize) = nParts[2];
            options.m_groups.push_back(group);
        }
        else if (strArg == "--nntp-port" && needNumber(0, 65535))
            nNntpPort = static_cast<int>(n);
        else if (strArg == "--nntp-user" && strValue.find(':') != std::string::npos)
        {
            bNntpUsers = true;
            nntp.m_users.emplace_back(strValue.substr(0, strValue.find(':')), strValue.substr(strValue.find(':') + 1));
        }
        else if (strArg == "--nntp-part-size" && needNumber(1, 1LL << 30))
            nntp.m_nPartSize = n;
        else if (strArg == "--file-size" && needNumber(0, 0x7FFFFFFE))
        {
            CGatewayGroup group;
            group.m_strName = "alt.binaries.test.big";
            group.m_nArticles = 1;
            group.m_nFixedSize = n;
            options.m_groups.push_back(group);
        }
        else if (strArg == "--nntp-ca-file")
            nntp.m_strCaFile = strValue;
        else if (strArg == "--nntp-cert-name" && !strValue.empty())
            nntp.m_strCertName = strValue;
        else if (strArg == "--nntp-missing-part" && needNumber(1, 1000000))
            nntp.m_fault.m_nMissingPart = static_cast<int>(n);
        else if (strArg == "--nntp-corrupt-part" && needNumber(1, 1000000))
            nntp.m_fault.m_nCorruptPart = static_cast<int>(n);
        else if (strArg == "--nntp-drop-part" && needNumber(1, 1000000))
            nntp.m_fault.m_nDropPart = static_cast<int>(n);
        else if (strArg == "--nntp-max-connections" && needNumber(1, 100000))
            nntp.m_fault.m_nMaxConnections = static_cast<int>(n);
        else if (strArg == "--nntp-throttle" && needNumber(1, INT64_MAX))
            nntp.m_fault.m_nThrottle = n;
        else if (strArg == "--fail-first" && needNumber(0, 1000000))
            options.m_fault.m_nFailFirst = static_cast<int32_t>(n);
        else if (strArg == "--status" && needNumber(100, 599))
            options.m_fault.m_nStatus = static_cast<int32_t>(n);
        else if (strArg == "--redirect" && (strValue == "same" || strValue == "other" || strValue == "no-location" || strValue == "loop"))
            options.m_fault.m_nRedirect = strValue == "same"    ? RedirectSameHost
                                          : strValue == "other" ? RedirectOtherHost
                                          : strValue == "loop"  ? RedirectLoop
                                                                : RedirectNoLocation;
        else if (strArg == "--other-host")
            options.m_strOtherHost = strValue;
        else if (strArg == "--throttle" && needNumber(1, INT64_MAX))
            options.m_fault.m_nThrottle = n;
        else if (strArg == "--stall-after" && needNumber(0, INT64_MAX))
            options.m_fault.m_nStallAfter = n;
        else if (strArg == "--stall-limit" && needNumber(0, INT64_MAX))
            options.m_nStallLimitMs = n;
        else if (strArg == "--drop-after" && needNumber(0, INT64_MAX))
            options.m_fault.m_nDropAfter = n;
        else if (strArg == "--unsafe-name")
        {
            static const char* const kKinds[] = {"parent", "absolute", "control", "empty", "long"};
            int nKind = 0;
            for (int k = 0; k < 5; ++k)
                if (strValue == kKinds[k])
                    nKind = k + 1;
            if (nKind == 0)
                return Fail("bad --unsafe-name value: " + strValue);
            options.m_fault.m_nUnsafeName = static_cast<GatewayUnsafeName>(nKind);
        }
        else
            return Fail("unknown option or bad value: " + strArg + " " + strValue);
    }

    if (!bNntpUsers)
        nntp.m_users = options.m_users;
    nntp.m_nPort = nNntpPort < 0 ? 0 : nNntpPort;
    nntp.m_strBind = options.m_strBind;
    if (!strNzbFile.empty())
    {
        const std::string strNzb = CNntpFace(options, nntp).Nzb(strNzbGroup);
        if (strNzb.empty())
            return Fail("no such group: " + strNzbGroup);
        std::ofstream file(strNzbFile, std::ios::binary);
        file << strNzb;
        file.close();
        if (!file)
        {
            std::cerr << "dravelin-gateway: cannot write " << strNzbFile << "\n";
            return 1;
        }
        return 0;
    }

    // Signals are taken by sigwait below; block them before any server thread starts.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    CGatewaySimulator simulator(options);
    const int nPort = simulator.Start();
    if (nPort <= 0)
    {
        std::cerr << "dravelin-gateway: cannot listen on " << options.m_strBind << " port " << options.m_nPort << "\n";
        return 1;
    }
    std::unique_ptr<CNntpFace> pNntp;
    if (nNntpPort >= 0)
    {
        pNntp = std::make_unique<CNntpFace>(options, nntp);
        if (pNntp->Start() <= 0)
        {
            std::cerr << "dravelin-gateway: cannot serve NNTP: " << pNntp->GetError() << "\n";
            return 1;
        }
    }
    std::printf("%d\n", nPort);
    if (pNntp)
        std::printf("%d\n", pNntp->Port());
    std::fflush(stdout);
    std::fprintf(stderr, "dravelin-gateway: serving http://%s (Ctrl+C stops)\n", simulator.HostPort().c_str());
    if (pNntp)
        std::fprintf(stderr, "dravelin-gateway: serving nntp%s://%s:%d%s%s\n", nntp.m_bTls ? "s" : "",
                     options.m_strBind.c_str(), pNntp->Port(), nntp.m_bTls ? ", CA file " : "",
                     nntp.m_bTls ? pNntp->CaFile().c_str() : "");

    int nSignal = 0;
    sigwait(&signals, &nSignal);
    if (pNntp)
        pNntp->Stop();
    simulator.Stop();
    return 0;
}
