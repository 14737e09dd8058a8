// A newsgroup of 1,000,000 parts (100,000 files of ten) listed from the
// simulator's NNTP face through the real gateway by the client's own
// NewsGuy listing worker (its request asks for the newest 100,000 files):
//   1. the first Go: the whole overview from the server, grouped and stored
//      in the header cache;
//   2. a repeated Go: all of it from the cache.
// Seconds to the last row, the rows, and the peak resident memory of this
// process (the NNTP face, the gateway and the client, which counts the rows
// and keeps none).
// The first Go includes the simulator's cost of writing the overview (it
// yEnc-encodes every part to give its true size).
//   overview_bench [--files N] [--parts N] [--no-cache]

#include "gateway/NntpFace.h"
#include "gateway/real/RealGateway.h"
#include "listing/NewsGuyListingWorker.h"
#include "listing/RetrieveParams.h"
#include "net/GatewayHosts.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <sys/resource.h>
#include <unistd.h>

using Clock = std::chrono::steady_clock;

namespace
{
long StatusKiB(const char* pszKey)
{
    std::ifstream in("/proc/self/status");
    std::string strLine;
    while (std::getline(in, strLine))
        if (strLine.rfind(pszKey, 0) == 0)
            return std::atol(strLine.c_str() + std::strlen(pszKey));
    return 0;
}

// Counts the rows as the view would add them, and keeps none.
class CCountingSink : public IMessageSink
{
public:
    void PostMessage(CViewMessage msg) override
    {
        std::lock_guard lock(m_mutex);
        if (msg.nMessage == WM_HEADER_ITEM && msg.wParam == 0)
        {
            ++m_nRows;
            m_tLast = Clock::now();
        }
        else if (msg.nMessage == WM_HEADER_PROGRESS)
            ++m_nProgress;
    }
    void MessageBox(const std::string& strText) override { std::fprintf(stderr, "box: %s\n", strText.c_str()); }

    std::mutex m_mutex;
    size_t m_nRows = 0;
    size_t m_nProgress = 0;
    Clock::time_point m_tLast;
};

double CpuSeconds()
{
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    return static_cast<double>(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
           static_cast<double>(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

struct SGo
{
    double m_fSeconds = 0;
    double m_fCpu = 0; // the whole process's, server side included
    size_t m_nRows = 0;
    size_t m_nProgress = 0;
};

SGo Go(const std::string& strHostPort, const std::string& strGroup)
{
    auto pSink = std::make_shared<CCountingSink>();
    auto pParams = std::make_unique<CRetrieveParams>();
    pParams->m_hWnd = pSink;
    pParams->m_hRunEvent = std::make_shared<CManualResetEvent>(true);
    pParams->m_strNewsgroup = strGroup;
    pParams->m_pAccount = std::make_shared<ServiceAccount>();
    pParams->m_pAccount->m_nService = ServiceNewsGuy;
    pParams->m_pAccount->m_strHeaderDomain = strHostPort;
    pParams->m_pSettings = std::make_shared<CPreferences>();
    pParams->m_pSettings->m_bUseProxy = 0;
    const double fCpu0 = CpuSeconds();
    const auto t0 = Clock::now();
    std::thread worker(NewsGuyListingWorker, std::move(pParams));
    worker.join();
    return SGo{std::chrono::duration<double>(pSink->m_tLast - t0).count(), CpuSeconds() - fCpu0, pSink->m_nRows,
               pSink->m_nProgress};
}
} // namespace

int main(int argc, char** argv)
{
    int nFiles = 100000;
    int nParts = 10;
    bool bCache = true;
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--no-cache") == 0)
            bCache = false;
    for (int i = 1; i + 1 < argc; i += 2)
    {
        if (std::strcmp(argv[i], "--files") == 0)
            nFiles = std::atoi(argv[i + 1]);
        else if (std::strcmp(argv[i], "--parts") == 0)
            nParts = std::atoi(argv[i + 1]);
    }
    const std::string strGroup = "alt.binaries.overview.bench";
    constexpr int64_t kPartSize = 1000; // small parts: the simulator encodes each for its size
    CGatewayOptions corpus;
    corpus.m_groups.push_back(CGatewayGroup{strGroup, nFiles, 0, 0, false, kPartSize * nParts});
    SNntpFaceOptions faceOptions;
    faceOptions.m_nPartSize = kPartSize;
    faceOptions.m_posting.m_bNumbered = true;
    CNntpFace face(corpus, faceOptions);
    if (face.Start() == 0)
    {
        std::fprintf(stderr, "the NNTP face did not start: %s\n", face.GetError().c_str());
        return 1;
    }
    const std::filesystem::path cacheFile =
        std::filesystem::temp_directory_path() / ("dravelin-overview-bench-" + std::to_string(getpid()) + ".sqlite");
    SRealGatewayOptions options;
    options.m_server.m_strHost = "127.0.0.1";
    options.m_server.m_nPort = face.Port();
    options.m_server.m_nConnections = 4;
    if (bCache)
        options.m_strCacheFile = cacheFile.string();
    CRealGateway gateway(options);
    if (gateway.Start() == 0)
    {
        std::fprintf(stderr, "the gateway did not start\n");
        return 1;
    }
    const long long nArticles = static_cast<long long>(nFiles) * nParts;
    const long nRssBefore = StatusKiB("VmRSS:");
    const SGo first = Go(gateway.HostPort(), strGroup);
    const long nPeakFirst = StatusKiB("VmHWM:");
    const SGo second = Go(gateway.HostPort(), strGroup);
    const long nPeakSecond = StatusKiB("VmHWM:");
    gateway.Stop();
    face.Stop();
    std::error_code ec;
    const auto nCacheBytes = bCache ? std::filesystem::file_size(cacheFile, ec) : 0;
    for (const char* pszSuffix : {"", "-wal", "-shm"})
        std::filesystem::remove(cacheFile.string() + pszSuffix, ec);

    std::printf("group: %lld parts, %d files\n", nArticles, nFiles);
    std::printf("first Go, to the last row:    %.2f s, %.2f s CPU  (%zu rows, %zu progress reports)\n",
                first.m_fSeconds, first.m_fCpu, first.m_nRows, first.m_nProgress);
    std::printf("repeated Go, %s:  %.2f s, %.2f s CPU  (%zu rows)\n", bCache ? "from the cache" : "no cache",
                second.m_fSeconds, second.m_fCpu, second.m_nRows);
    std::printf("peak RSS: %.1f MB after the first Go, %.1f MB after the second (%.1f MB at start)\n",
                nPeakFirst / 1024.0, nPeakSecond / 1024.0, nRssBefore / 1024.0);
    std::printf("header cache: %.1f MB\n", static_cast<double>(nCacheBytes) / 1e6);
    const size_t nExpected = static_cast<size_t>(std::min(nFiles, 100000));
    return first.m_nRows == nExpected && second.m_nRows == first.m_nRows ? 0 : 1;
}
