// The real gateway's throughput: one 1 GiB file from the simulator's NNTP
// face through 8 connections, decoded by the gateway and written to disk by
// a libcurl client, against a plain reader that fetches the same bodies raw
// (no decoding, no HTTP, nothing written) over 8 connections of its own. Both
// run in this process, one after the other, the NNTP face included: the CPU
// figures are the whole process's (server side too), per decoded byte.

#include "gateway/real/RealGateway.h"

#include "gateway/NntpFace.h"
#include "nntp/NntpPool.h"
#include "nzb/DecodeQuery.h"

#include <curl/curl.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/resource.h>
#include <thread>
#include <vector>

namespace
{
constexpr const char* kGroup = "bench.big";
constexpr int kConnections = 8;

double ProcessCpuSeconds()
{
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    return static_cast<double>(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
           static_cast<double>(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

struct SFigures
{
    double m_dSeconds = 0;
    double m_dCpu = 0;
    uint64_t m_nBytes = 0;
};

size_t WriteToFile(char* p, size_t nSize, size_t nCount, void* pFile)
{
    return std::fwrite(p, nSize, nCount, static_cast<FILE*>(pFile)) * nSize;
}

void Print(const char* pszWhat, const SFigures& f, uint64_t nFileSize)
{
    std::printf("%-34s %8.1f MB/s  %6.2f s  CPU %6.2f s = %5.2f ns per decoded byte\n", pszWhat,
                static_cast<double>(nFileSize) / f.m_dSeconds / 1e6, f.m_dSeconds, f.m_dCpu,
                f.m_dCpu * 1e9 / static_cast<double>(nFileSize));
}
} // namespace

int main(int argc, char** argv)
{
    int64_t nSize = int64_t{1} << 30;
    if (argc > 1)
        nSize = std::atoll(argv[1]);
    const std::string strDir = argc > 2 ? argv[2] : std::filesystem::temp_directory_path().string();

    CGatewayOptions corpus;
    corpus.m_nArticles = 1;
    corpus.m_groups.push_back(CGatewayGroup{kGroup, 1, 0, 0, false, nSize});
    SNntpFaceOptions faceOptions;
    faceOptions.m_nPartSize = 768000;
    CNntpFace face(corpus, faceOptions);
    if (face.Start() <= 0)
    {
        std::fprintf(stderr, "realgw_bench: %s\n", face.GetError().c_str());
        return 1;
    }
    const CGatewayArticle article = face.Article(kGroup, 0);
    const int nParts = face.PartCount(article);
    usenet::CDecodeQuery query;
    query.m_vecGroups = {kGroup};
    for (int n = 1; n <= nParts; ++n)
        query.m_vecSegments.push_back({n, face.MessageId(article, n)});
    usenet::SServerConfig server;
    server.m_strHost = "127.0.0.1";
    server.m_nPort = face.Port();
    server.m_nConnections = kConnections;
    std::printf("%lld bytes in %d parts, %d connections\n", static_cast<long long>(nSize), nParts, kConnections);

    // The plain reader: bodies as the server sends them, in any order.
    SFigures raw;
    {
        usenet::CNntpPool pool(server);
        std::atomic<int> nNext{0};
        std::atomic<uint64_t> nBytes{0};
        std::atomic<bool> bFailed{false};
        const auto t0 = std::chrono::steady_clock::now();
        const double c0 = ProcessCpuSeconds();
        std::vector<std::thread> threads;
        for (int i = 0; i < kConnections; ++i)
            threads.emplace_back([&] {
                for (int n = nNext++; n < nParts; n = nNext++)
                {
                    usenet::SBodyResult body = pool.FetchBody(query.m_vecSegments[static_cast<size_t>(n)].m_strMessageId);
                    if (!body.Ok())
                        bFailed = true;
                    nBytes += body.m_strBody.size();
                }
            });
        for (auto& t : threads)
            t.join();
        raw.m_dSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        raw.m_dCpu = ProcessCpuSeconds() - c0;
        raw.m_nBytes = nBytes;
        if (bFailed)
            std::fprintf(stderr, "realgw_bench: the plain reader saw failures\n");
    }

    // Through the gateway to a file.
    SFigures gw;
    {
        SRealGatewayOptions options;
        options.m_server = server;
        CRealGateway gateway(options);
        gateway.Start();
        const std::string strUrl = "http://" + gateway.HostPort() + "/news-bin/wwwdecode?" + query.Encode();
        const std::string strPath = strDir + "/realgw_bench.out";
        FILE* pFile = std::fopen(strPath.c_str(), "wb");
        if (!pFile)
        {
            std::perror(strPath.c_str());
            return 1;
        }
        std::setvbuf(pFile, nullptr, _IOFBF, 1 << 20);
        curl_global_init(CURL_GLOBAL_DEFAULT);
        CURL* pCurl = curl_easy_init();
        curl_easy_setopt(pCurl, CURLOPT_URL, strUrl.c_str());
        curl_easy_setopt(pCurl, CURLOPT_PROXY, "");
        curl_easy_setopt(pCurl, CURLOPT_BUFFERSIZE, 512L * 1024L);
        curl_easy_setopt(pCurl, CURLOPT_WRITEFUNCTION, WriteToFile);
        curl_easy_setopt(pCurl, CURLOPT_WRITEDATA, pFile);
        const auto t0 = std::chrono::steady_clock::now();
        const double c0 = ProcessCpuSeconds();
        const CURLcode nResult = curl_easy_perform(pCurl);
        std::fclose(pFile);
        gw.m_dSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        gw.m_dCpu = ProcessCpuSeconds() - c0;
        curl_off_t nGot = 0;
        curl_easy_getinfo(pCurl, CURLINFO_SIZE_DOWNLOAD_T, &nGot);
        curl_easy_cleanup(pCurl);
        gw.m_nBytes = static_cast<uint64_t>(nGot);
        std::filesystem::remove(strPath);
        if (nResult != CURLE_OK || gw.m_nBytes != static_cast<uint64_t>(nSize))
            std::fprintf(stderr, "realgw_bench: the download failed: %s (%llu bytes)\n", curl_easy_strerror(nResult),
                         static_cast<unsigned long long>(gw.m_nBytes));
        gateway.Stop();
    }
    std::printf("plain reader: %llu encoded bytes\n", static_cast<unsigned long long>(raw.m_nBytes));
    Print("plain reader (raw bodies)", raw, static_cast<uint64_t>(nSize));
    Print("gateway (decoded, to disk)", gw, static_cast<uint64_t>(nSize));
    std::printf("gateway / plain reader: %.2f\n", raw.m_dSeconds / gw.m_dSeconds);
    face.Stop();
    return 0;
}
