// The NNTP client against the simulator's NNTP face over loopback.

#include "nntp/NntpPool.h"
#include "gateway/NntpFace.h"
#include "nzb/NzbReader.h"
#include "support/Join.h"
#include "yenc/YencDecoder.h"

#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <thread>

using namespace usenet;

namespace
{

const char kGroup[] = "alt.binaries.nntp";
constexpr int kParts = 50;
constexpr int64_t kPartSize = 20000;

CGatewayOptions Corpus(int nFiles = 1)
{
    CGatewayOptions corpus;
    CGatewayGroup group;
    group.m_strName = kGroup;
    group.m_nArticles = nFiles;
    group.m_nFixedSize = kParts * kPartSize - 123; // the last part is short
    corpus.m_groups.push_back(group);
    return corpus;
}

struct SFace
{
    explicit SFace(SNntpFaceOptions options = {}, int nFiles = 1)
        : m_face(Corpus(nFiles), WithPartSize(std::move(options)))
    {
        EXPECT_GT(m_face.Start(), 0) << m_face.GetError();
        m_article = m_face.Article(kGroup, 0);
    }
    static SNntpFaceOptions WithPartSize(SNntpFaceOptions options)
    {
        options.m_nPartSize = kPartSize;
        return options;
    }
    SServerConfig Config() const
    {
        SServerConfig config;
        config.m_strHost = "127.0.0.1";
        config.m_nPort = m_face.Port();
        config.m_strUser = "reader";
        config.m_strPassword = "secret";
        config.m_nReadTimeoutMs = 5000;
        return config;
    }
    std::string Id(int nPart) const { return m_face.MessageId(m_article, nPart); }
    CNntpFace m_face;
    CGatewayArticle m_article;
};

SNntpFaceOptions Login()
{
    SNntpFaceOptions options;
    options.m_users = {{"reader", "secret"}};
    return options;
}

// Fetches every part from nThreads threads at once and decodes it in place.
struct SFetched
{
    std::vector<SBodyResult> m_vecResults;
    std::vector<EYencResult> m_vecYenc;
    std::string m_strFile;
};

SFetched FetchAll(CNntpPool& pool, const SFace& face, int nThreads)
{
    SFetched fetched;
    fetched.m_vecResults.resize(kParts);
    fetched.m_vecYenc.assign(kParts, yrNoBegin);
    fetched.m_strFile.assign(static_cast<size_t>(face.m_article.m_nSize), '\0');
    std::atomic<int> nNext{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < nThreads; ++t)
        threads.emplace_back([&] {
            for (int i = nNext++; i < kParts; i = nNext++)
            {
                // Half of the ids go with their angle brackets.
                const std::string strId = face.Id(i + 1);
                SBodyResult& result = fetched.m_vecResults[i];
                result = pool.FetchBody(i % 2 ? "<" + strId + ">" : strId);
                CYencDecoder decoder;
                std::string strData;
                decoder.Feed(result.m_strBody, strData);
                fetched.m_vecYenc[i] = decoder.Finish();
                const uint64_t nBegin = decoder.GetInfo().m_nBegin;
                if (nBegin >= 1 && nBegin - 1 + strData.size() <= fetched.m_strFile.size())
                    std::memcpy(fetched.m_strFile.data() + nBegin - 1, strData.data(), strData.size());
            }
        });
    for (auto& thread : threads)
        thread.join();
    return fetched;
}

using NntpPoolFetch = ::testing::TestWithParam<bool>;

TEST_P(NntpPoolFetch, FiftyPartsArriveByteIdentical)
{
    SNntpFaceOptions options = Login();
    options.m_bTls = GetParam();
    SFace face(options);
    SServerConfig config = face.Config();
    config.m_bTls = GetParam();
    config.m_strCaFile = face.m_face.CaFile();
    if (GetParam())
        config.m_strHost = "localhost";
    CNntpPool pool(config);
    const SFetched fetched = FetchAll(pool, face, 6);
    for (int i = 0; i < kParts; ++i)
    {
        EXPECT_TRUE(fetched.m_vecResults[i].Ok()) << i << ": " << fetched.m_vecResults[i].m_strText;
        EXPECT_EQ(fetched.m_vecYenc[i], yrOk) << i;
    }
    EXPECT_TRUE(fetched.m_strFile == face.m_face.FileBytes(face.m_article));
    EXPECT_LE(face.m_face.AcceptedConnections(), 8);

    const SNntpResult stat = pool.Stat(face.Id(7));
    EXPECT_TRUE(stat.Ok()) << stat.m_strText;
    const SBodyResult article = pool.FetchArticle(face.Id(1));
    ASSERT_TRUE(article.Ok()) << article.m_strText;
    EXPECT_NE(article.m_strBody.find("Message-ID: <" + face.Id(1) + ">\r\n\r\n=ybegin part=1 total=50"), std::string::npos);
    const SGroupResult group = pool.Group(kGroup);
    EXPECT_TRUE(group.Ok() && group.m_nCount == 1 && group.m_nHigh == 1) << group.m_strText;
    EXPECT_EQ(pool.Group("alt.nowhere").m_nStatus, ENntpStatus::NoSuchGroup);

    const SProbeResult probe = CNntpPool::Probe(config, 3);
    EXPECT_TRUE(probe.Ok()) << probe.m_strText;
    EXPECT_EQ(testsupport::Join(probe.m_nGreetingCode, probe.m_bTls, probe.m_bTlsVerified, probe.m_strTlsName,
                                probe.m_bLoginTried, probe.m_bLoginAccepted, probe.m_nConnectionsAllowed),
              testsupport::Join(200, GetParam(), GetParam(), GetParam() ? "localhost" : "", true, true, 3));
    EXPECT_NE(std::find(probe.m_vecCapabilities.begin(), probe.m_vecCapabilities.end(), "VERSION 2"),
              probe.m_vecCapabilities.end());
}

INSTANTIATE_TEST_SUITE_P(PlainAndTls, NntpPoolFetch, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Tls" : "Plain"; });

TEST(NntpPoolFaults, PartFaultsEndInTheirState)
{
    SFace face;
    SServerConfig config = face.Config();
    config.m_strUser.clear();
    SNntpFaceFault fault;
    fault.m_nMissingPart = 3;
    fault.m_nCorruptPart = 4;
    fault.m_nDropPart = 5;
    face.m_face.SetFault(fault);
    CNntpPool pool(config);
    const SFetched fetched = FetchAll(pool, face, 1);
    EXPECT_EQ(fetched.m_vecResults[2].m_nStatus, ENntpStatus::NoSuchArticle);
    EXPECT_EQ(fetched.m_vecResults[2].m_nCode, 430);
    EXPECT_TRUE(fetched.m_vecResults[3].Ok());
    EXPECT_EQ(fetched.m_vecYenc[3], yrPartCrc);
    // The dropped one came again on a new connection.
    EXPECT_TRUE(fetched.m_vecResults[4].Ok()) << fetched.m_vecResults[4].m_strText;
    EXPECT_EQ(fetched.m_vecYenc[4], yrOk);
    EXPECT_EQ(face.m_face.AcceptedConnections(), 2);
    EXPECT_EQ(fetched.m_vecYenc[5], yrOk);
}

TEST(NntpPoolFaults, ConnectionLimitShrinksThePool)
{
    SNntpFaceOptions options;
    options.m_fault.m_nMaxConnections = 2;
    SFace face(options);
    SServerConfig config = face.Config();
    config.m_nConnections = 8;
    const SProbeResult probe = CNntpPool::Probe(config, 5);
    EXPECT_TRUE(probe.Ok()) << probe.m_strText;
    EXPECT_EQ(probe.m_nConnectionsTried, 5);
    EXPECT_EQ(probe.m_nConnectionsAllowed, 2);

    CNntpPool pool(config);
    const SFetched fetched = FetchAll(pool, face, 8);
    for (int i = 0; i < kParts; ++i)
        EXPECT_TRUE(fetched.m_vecResults[i].Ok()) << i << ": " << fetched.m_vecResults[i].m_strText;
    EXPECT_TRUE(fetched.m_strFile == face.m_face.FileBytes(face.m_article));
    EXPECT_LE(pool.GetCapacity(), 2);
}

// Failures at connect time: the status, a word of the text, and whether a password went out.
struct SConnectCase
{
    const char* m_pszName;
    SNntpFaceOptions m_options;
    bool m_bTls;
    bool m_bTrustCa;
    std::string m_strPassword;
    ENntpStatus m_nStatus;
    const char* m_pszText;
};

using NntpPoolConnect = ::testing::TestWithParam<SConnectCase>;

TEST_P(NntpPoolConnect, FailsWithAClearReason)
{
    const SConnectCase& c = GetParam();
    SFace face(c.m_options);
    SServerConfig config = face.Config();
    config.m_bTls = c.m_bTls;
    config.m_strHost = c.m_bTls ? "localhost" : "127.0.0.1";
    config.m_strCaFile = c.m_bTrustCa ? face.m_face.CaFile() : "";
    config.m_strPassword = c.m_strPassword;
    if (c.m_strPassword.empty())
        config.m_strUser.clear();
    config.m_nReadTimeoutMs = 300;
    CNntpPool pool(config);
    const SBodyResult result = pool.FetchBody(face.Id(1));
    EXPECT_EQ(result.m_nStatus, c.m_nStatus) << result.m_strText;
    EXPECT_NE(result.m_strText.find(c.m_pszText), std::string::npos) << result.m_strText;
    if (c.m_bTls)
    {
        EXPECT_EQ(face.m_face.PasswordsReceived(), 0);
    }
    const SProbeResult probe = CNntpPool::Probe(config);
    EXPECT_EQ(probe.m_nStatus, c.m_nStatus) << probe.m_strText;
}

SNntpFaceOptions Fault(SNntpFaceOptions options, bool bTls, const char* pszCertName, bool bGreeting400, bool bSilent)
{
    options.m_bTls = bTls;
    options.m_strCertName = pszCertName;
    options.m_fault.m_bGreeting400 = bGreeting400;
    options.m_fault.m_bSilent = bSilent;
    return options;
}

INSTANTIATE_TEST_SUITE_P(
    Faults, NntpPoolConnect,
    ::testing::Values(
        SConnectCase{"Greeting400", Fault({}, false, "localhost", true, false), false, false, "secret",
                     ENntpStatus::Refused, "temporarily unavailable"},
        SConnectCase{"WrongPassword", Login(), false, false, "wrong", ENntpStatus::AuthFailed, "Wrong login"},
        SConnectCase{"LoginAskedNoneSet", Login(), false, false, "", ENntpStatus::AuthFailed, "asks for a login"},
        SConnectCase{"UntrustedCertificate", Fault(Login(), true, "localhost", false, false), true, false, "secret",
                     ENntpStatus::TlsError, "not trusted"},
        SConnectCase{"WrongHostName", Fault(Login(), true, "wrong.invalid", false, false), true, true, "secret",
                     ENntpStatus::TlsError, "mismatch"},
        SConnectCase{"SilentServer", Fault({}, false, "localhost", false, true), false, false, "secret",
                     ENntpStatus::NetworkError, "Timed out"}),
    [](const auto& info) { return std::string(info.param.m_pszName); });

TEST(NntpPoolConnect, NothingListeningIsRefused)
{
    // A port that was free a moment ago.
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t nLen = sizeof addr;
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ASSERT_EQ(::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &nLen), 0);
    ::close(fd);
    SServerConfig config;
    config.m_strHost = "127.0.0.1";
    config.m_nPort = ntohs(addr.sin_port);
    const SBodyResult result = CNntpPool(config).FetchBody("a@b");
    EXPECT_EQ(result.m_nStatus, ENntpStatus::Refused);
    EXPECT_NE(result.m_strText.find("refused"), std::string::npos) << result.m_strText;
}

TEST(NntpFaceNzb, ReadsBackWithTheServedIds)
{
    SFace face({}, 2);
    CNzbReader reader;
    ASSERT_TRUE(reader.Parse(face.m_face.Nzb(kGroup))) << reader.GetError();
    ASSERT_EQ(reader.GetFiles().size(), 2u);
    const SNzbFile& file = reader.GetFiles()[1];
    EXPECT_EQ(file.m_strFileName, face.m_face.Article(kGroup, 1).m_strFileName);
    ASSERT_EQ(file.m_query.m_vecSegments.size(), static_cast<size_t>(kParts));
    SServerConfig config = face.Config();
    CNntpPool pool(config);
    for (const SSegmentRef& segment : file.m_query.m_vecSegments)
        EXPECT_EQ(segment.m_strMessageId, face.m_face.MessageId(face.m_face.Article(kGroup, 1), segment.m_nNumber));
    EXPECT_TRUE(pool.Stat(file.m_query.m_vecSegments.back().m_strMessageId).Ok());
}

} // namespace
