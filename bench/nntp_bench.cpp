// NNTP fetch speed: one file of the simulator's NNTP face (in this process,
// on loopback) fetched part by part through a pool of 8 connections, first
// raw (BODY only), then fetched and yEnc-decoded. Figures: MB/s of body
// bytes over wall time, and the client threads' processor time per byte
// (the server's encoding is not counted), with the ratio decode/raw.
//   nntp_bench [file MiB, default 256] [part bytes, default 768000]

#include "gateway/NntpFace.h"
#include "nntp/NntpPool.h"
#include "yenc/YencDecoder.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <thread>
#include <vector>

using namespace usenet;

namespace
{

double ThreadCpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

struct SRun
{
    double m_dWall = 0;
    double m_dCpu = 0;
    uint64_t m_nBytes = 0;
    int m_nFailed = 0;
};

SRun Run(CNntpFace& face, const CGatewayArticle& article, bool bDecode)
{
    SServerConfig config;
    config.m_strHost = "127.0.0.1";
    config.m_nPort = face.Port();
    config.m_nConnections = 8;
    CNntpPool pool(config);
    const int nParts = face.PartCount(article);
    std::atomic<int> nNext{0};
    std::atomic<uint64_t> nBytes{0};
    std::atomic<int> nFailed{0};
    std::vector<double> vecCpu(8, 0.0);
    std::vector<std::thread> threads;
    const auto start = std::chrono::steady_clock::now();
    for (int t = 0; t < 8; ++t)
        threads.emplace_back([&, t] {
            const double dStart = ThreadCpuSeconds();
            CYencDecoder decoder;
            std::string strOut;
            for (int i = nNext++; i < nParts; i = nNext++)
            {
                const SBodyResult result = pool.FetchBody(face.MessageId(article, i + 1));
                if (!result.Ok())
                {
                    ++nFailed;
                    continue;
                }
                nBytes += result.m_strBody.size();
                if (bDecode)
                {
                    decoder.Reset();
                    strOut.clear();
                    decoder.Feed(result.m_strBody, strOut);
                    if (decoder.Finish() != yrOk)
                        ++nFailed;
                }
            }
            vecCpu[t] = ThreadCpuSeconds() - dStart;
        });
    for (auto& thread : threads)
        thread.join();
    SRun run;
    run.m_dWall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    for (double d : vecCpu)
        run.m_dCpu += d;
    run.m_nBytes = nBytes;
    run.m_nFailed = nFailed;
    return run;
}

void Report(const char* pszName, const SRun& run)
{
    std::printf("%-14s %8.1f MB/s  %6.2f ns CPU/byte  (%llu bytes, %.2f s, %d failed)\n", pszName,
                static_cast<double>(run.m_nBytes) / run.m_dWall / 1e6, run.m_dCpu * 1e9 / static_cast<double>(run.m_nBytes),
                static_cast<unsigned long long>(run.m_nBytes), run.m_dWall, run.m_nFailed);
}

} // namespace

int main(int argc, char** argv)
{
    const long long nMiB = argc > 1 ? std::atoll(argv[1]) : 256;
    const long long nPartSize = argc > 2 ? std::atoll(argv[2]) : 768000;
    CGatewayOptions corpus;
    CGatewayGroup group;
    group.m_strName = "alt.binaries.bench";
    group.m_nArticles = 1;
    group.m_nFixedSize = nMiB << 20;
    corpus.m_groups.push_back(group);
    SNntpFaceOptions options;
    options.m_nPartSize = nPartSize;
    CNntpFace face(corpus, options);
    if (face.Start() <= 0)
    {
        std::fprintf(stderr, "nntp_bench: %s\n", face.GetError().c_str());
        return 1;
    }
    const CGatewayArticle article = face.Article(group.m_strName, 0);
    std::printf("file %lld MiB in %d parts of %lld bytes, 8 connections\n", nMiB, face.PartCount(article), nPartSize);
    Run(face, article, false); // warm-up
    const SRun raw = Run(face, article, false);
    const SRun decoded = Run(face, article, true);
    Report("fetch", raw);
    Report("fetch+decode", decoded);
    std::printf("ratio decode/raw: wall %.2f, CPU per byte %.2f\n", decoded.m_dWall / raw.m_dWall,
                (decoded.m_dCpu / static_cast<double>(decoded.m_nBytes)) / (raw.m_dCpu / static_cast<double>(raw.m_nBytes)));
    return raw.m_nFailed + decoded.m_nFailed == 0 ? 0 : 1;
}
