// Go on a newsgroup of a news server, end to end: the simulator's NNTP face
// posts files as multipart yEnc (parts out of order, one part never posted,
// a text post), dravelin-cli list reads the gateway's listing through the
// client's own parser, and a listed file downloads byte for byte.

#include "gateway/NntpFace.h"
#include "gateway/real/RealGateway.h"
#include "gateway/real/UsenetListing.h"
#include "listing/ListingText.h"
#include "support/CliRun.h"

#include <curl/curl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <map>
#include <thread>
#include <csignal>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

using testsupport::CliRun;
using testsupport::RunCliIn;
using testsupport::TempDir;

namespace
{
constexpr const char* kGroup = "alt.binaries.posted";
constexpr const char* kManyGroup = "alt.binaries.many";
constexpr int kFiles = 16;
constexpr int kHoleFile = 6; // of eight parts in this corpus
constexpr int kManyFiles = 3000; // two parts each: more than one OVER batch
constexpr int64_t kPartSize = 30000;

struct SRow
{
    int m_nState = 0;
    int64_t m_nSize = 0;
    std::string m_strAuthor, m_strDate, m_strFileName, m_strSubject, m_strQuery;
    bool operator==(const SRow&) const = default;
};

std::vector<std::string> Fields(const std::string& strLine)
{
    std::vector<std::string> fields(1);
    for (size_t i = 0; i < strLine.size(); ++i)
    {
        if (strLine[i] == '\t')
            fields.emplace_back();
        else if (strLine[i] == '\\' && i + 1 < strLine.size())
            fields.back() += strLine[++i] == 't' ? '\t' : strLine[i];
        else
            fields.back() += strLine[i];
    }
    return fields;
}

// The listed articles by subject, as dravelin-cli list prints them.
std::map<std::string, SRow> Rows(const std::string& strOut)
{
    std::map<std::string, SRow> rows;
    for (const std::string& strLine : testsupport::SplitLines(strOut))
    {
        const std::vector<std::string> f = Fields(strLine);
        if (f.size() != 10)
            continue;
        SRow row{std::atoi(f[0].c_str()), std::atoll(f[3].c_str()), f[4], f[5], f[7], f[8], f[9]};
        rows[row.m_strSubject] = row;
    }
    return rows;
}

class ListingFromUsenetTest : public ::testing::TestWithParam<bool>
{
protected:
    ListingFromUsenetTest() : m_cache("XDG_CACHE_HOME", m_dir.File("cache").c_str()) {}

    void SetUp() override
    {
        CGatewayOptions corpus;
        corpus.m_groups.push_back(CGatewayGroup{kGroup, kFiles, 0, 10 * kPartSize, false, 0});
        corpus.m_groups.push_back(CGatewayGroup{kManyGroup, kManyFiles, 0, 0, false, kPartSize * 3 / 2});
        SNntpFaceOptions options;
        options.m_nPartSize = kPartSize;
        options.m_users = {{"reader", "secret"}};
        options.m_posting.m_bNumbered = true;
        options.m_posting.m_nHoleFile = kHoleFile;
        options.m_posting.m_bTextPost = true;
        options.m_posting.m_bXoverOnly = GetParam();
        m_pFace = std::make_unique<CNntpFace>(corpus, options);
        ASSERT_GT(m_pFace->Start(), 0) << m_pFace->GetError();
        const CliRun run = RunCliIn(m_dir, {"usenet", "set", "--server", "127.0.0.1", "--port",
                                            std::to_string(m_pFace->Port()), "--tls", "off", "--user", "reader",
                                            "--password-stdin", "--connections", "3"},
                                    "secret\n");
        ASSERT_EQ(run.nExit, 0) << run.strErr;
    }

    CliRun List(const std::string& strGroup) { return RunCliIn(m_dir, {"list", "--service", "newsguy", strGroup}); }

    // dravelin-cli usenet cache, its lines.
    std::vector<std::string> Cache(const std::vector<std::string>& args = {})
    {
        std::vector<std::string> command = {"usenet", "cache"};
        command.insert(command.end(), args.begin(), args.end());
        const CliRun run = RunCliIn(m_dir, command);
        EXPECT_EQ(run.nExit, 0) << run.strErr;
        std::vector<std::string> lines = testsupport::SplitLines(run.strOut);
        if (!lines.empty() && lines[0].rfind("Header cache: " + m_dir.File("cache/dravelin/"), 0) == 0)
            lines.erase(lines.begin());
        return lines;
    }

    TempDir m_dir;
    testsupport::ScopedEnv m_cache;
    std::unique_ptr<CNntpFace> m_pFace;
};

// A posted subject with its counter saying how many parts are listed.
std::string ListedSubject(const std::string& strPosted, int nPresent)
{
    const size_t nOpen = strPosted.rfind('(');
    const size_t nSlash = strPosted.find('/', nOpen);
    return strPosted.substr(0, nOpen + 1) + std::to_string(nPresent) + strPosted.substr(nSlash);
}

TEST_P(ListingFromUsenetTest, GroupedFilesListAndDownload)
{
    CliRun run = List(kGroup);
    ASSERT_EQ(run.nExit, 0) << run.strErr;
    const std::map<std::string, SRow> rows = Rows(run.strOut);
    EXPECT_EQ(rows.size(), static_cast<size_t>(kFiles + 1)) << run.strOut << run.strErr;
    EXPECT_NE(run.strErr.find("Retrieving headers: 100%"), std::string::npos) << run.strErr;

    std::string strMultipart; // a complete file of several parts, to download
    for (int i = 0; i < kFiles; ++i)
    {
        const CGatewayArticle article = m_pFace->Article(kGroup, i);
        const int nParts = m_pFace->PartCount(article);
        const bool bHole = i == kHoleFile;
        if (bHole)
        {
            ASSERT_GE(nParts, 3) << "the corpus changed: the hole file must have parts around its hole";
        }
        const auto it = rows.find(ListedSubject(m_pFace->Subject(article, 1), bHole ? nParts - 1 : nParts));
        ASSERT_NE(it, rows.end()) << i << ": " << m_pFace->Subject(article, 1) << "\n" << run.strOut;
        const SRow& row = it->second;
        EXPECT_EQ(row.m_nState, bHole ? 5 : -1) << row.m_strSubject;
        EXPECT_EQ(row.m_strAuthor, article.m_strAuthor);
        // The first part's date, in UTC, as the NZB of the group has it.
        const time_t tPosted = 1700000000 - time_t{article.m_nDay} * 86400;
        struct tm tmPosted{};
        gmtime_r(&tPosted, &tmPosted);
        char szDate[32];
        std::snprintf(szDate, sizeof szDate, "%02d/%02d", tmPosted.tm_mon + 1, tmPosted.tm_mday);
        EXPECT_EQ(row.m_strDate, szDate);
        // The size is estimated from the article sizes: within 3% and the
        // size text's last digit.
        const int64_t nStep = article.m_nSize < 1000 ? 1 : article.m_nSize < 1000000 ? 100 : 100000;
        const int64_t nHave = bHole ? article.m_nSize - std::min(kPartSize, article.m_nSize - kPartSize) : article.m_nSize;
        EXPECT_LE(std::llabs(row.m_nSize - nHave), nHave * 3 / 100 + nStep + 400)
            << row.m_strSubject << ": listed " << row.m_nSize << ", posted " << nHave;
        if (article.m_nIndex % 4 == 0 && article.m_strFileName.find('-') == std::string::npos)
        {
            EXPECT_EQ(row.m_strFileName, article.m_strFileName);
        }
        if (!bHole && nParts >= 3 && strMultipart.empty())
            strMultipart = row.m_strSubject;
    }
    ASSERT_FALSE(strMultipart.empty());
    const auto text = rows.find(CNntpFace::TextPostSubject());
    ASSERT_NE(text, rows.end()) << run.strOut;
    EXPECT_EQ(text->second.m_nState, -1);

    // Queued the way Article, Download queues a listed row; each into a folder of its own.
    const std::vector<std::pair<std::string, std::string>> downloads = {
        {strMultipart, ""}, {CNntpFace::TextPostSubject(), m_pFace->TextPostBody(kGroup)}};
    for (size_t i = 0; i < downloads.size(); ++i)
    {
        const SRow& row = rows.at(downloads[i].first);
        const std::string strOut = (m_dir.Path() / ("out" + std::to_string(i))).string() + "/";
        std::filesystem::create_directories(strOut);
        run = RunCliIn(m_dir, {"queue", "add", "--service", "1", "--size", std::to_string(row.m_nSize), "--subject",
                               row.m_strSubject, "--decode-query", row.m_strQuery, "--file-name",
                               row.m_strFileName, "--path", strOut});
        ASSERT_EQ(run.nExit, 0) << run.strErr;
    }
    run = RunCliIn(m_dir, {"download"});
    EXPECT_EQ(run.nExit, 0) << run.strErr;
    for (size_t i = 0; i < downloads.size(); ++i)
    {
        std::string strExpected = downloads[i].second;
        if (i == 0)
        {
            for (int f = 0; f < kFiles; ++f)
            {
                const CGatewayArticle article = m_pFace->Article(kGroup, f);
                if (ListedSubject(m_pFace->Subject(article, 1), m_pFace->PartCount(article)) == downloads[i].first)
                    strExpected = m_pFace->FileBytes(article);
            }
        }
        const std::filesystem::path folder = m_dir.Path() / ("out" + std::to_string(i));
        std::vector<std::filesystem::path> files;
        for (const auto& entry : std::filesystem::directory_iterator(folder))
            files.push_back(entry.path());
        ASSERT_EQ(files.size(), 1u) << folder << "\n" << run.strErr;
        EXPECT_TRUE(testsupport::ReadFile(files[0].string()) == strExpected)
            << files[0] << ": " << std::filesystem::file_size(files[0]) << " bytes, " << strExpected.size()
            << " expected";
    }
}

TEST_P(ListingFromUsenetTest, ManyThousandsAndMissingGroups)
{
    CliRun run = List(kManyGroup);
    ASSERT_EQ(run.nExit, 0) << run.strErr;
    const std::map<std::string, SRow> rows = Rows(run.strOut);
    EXPECT_EQ(rows.size(), static_cast<size_t>(kManyFiles + 1));
    size_t nComplete = 0;
    for (const auto& [strSubject, row] : rows)
        nComplete += row.m_nState == -1;
    EXPECT_EQ(nComplete, rows.size() - 1) << "the hole file alone is incomplete";
    // Two OVER batches, each over numbers not asked for before.
    EXPECT_EQ(m_pFace->OverviewNumbers(), 2 * kManyFiles + 1);

    // The newest hundred files, binaries only, as a page: one batch is read.
    SRealGatewayOptions options;
    options.m_server.m_strHost = "127.0.0.1";
    options.m_server.m_nPort = m_pFace->Port();
    options.m_server.m_strUser = "reader";
    options.m_server.m_strPassword = "secret";
    CRealGateway gateway(options);
    ASSERT_GT(gateway.Start(), 0);
    const long long nAsked = m_pFace->OverviewNumbers();
    std::string strPage;
    CURL* pCurl = curl_easy_init();
    const std::string strUrl = "http://" + gateway.HostPort() + "/news-bin/wwwlist?-sz,b1,o,n100,B+" + kManyGroup;
    curl_easy_setopt(pCurl, CURLOPT_URL, strUrl.c_str());
    curl_easy_setopt(pCurl, CURLOPT_PROXY, "");
    curl_easy_setopt(pCurl, CURLOPT_WRITEFUNCTION, +[](char* p, size_t n, size_t m, void* pOut) {
        static_cast<std::string*>(pOut)->append(p, n * m);
        return n * m;
    });
    curl_easy_setopt(pCurl, CURLOPT_WRITEDATA, &strPage);
    EXPECT_EQ(curl_easy_perform(pCurl), CURLE_OK);
    curl_easy_cleanup(pCurl);
    size_t nEntries = 0;
    for (size_t n = strPage.find("BatchLink('"); n != std::string::npos; n = strPage.find("BatchLink('", n + 1))
        ++nEntries;
    EXPECT_EQ(nEntries, 100u);
    const std::string strNewest = m_pFace->Subject(m_pFace->Article(kManyGroup, kManyFiles - 1), 1);
    EXPECT_NE(strPage.find(ListedSubject(strNewest, 2).substr(0, 12)), std::string::npos);
    EXPECT_EQ(strPage.find(CNntpFace::TextPostSubject().substr(0, 12)), std::string::npos);
    EXPECT_EQ(m_pFace->OverviewNumbers() - nAsked, CUsenetListing::kBatch);

    run = List("alt.binaries.nowhere");
    EXPECT_EQ(run.nExit, 0) << run.strErr;
    EXPECT_NE(run.strErr.find("Cannot access Newsgroup."), std::string::npos) << run.strErr;
    EXPECT_TRUE(Rows(run.strOut).empty()) << run.strOut;
}

// The header cache: a second Go asks the server only for the numbers above
// what is stored, and forgets what expired there.
TEST_P(ListingFromUsenetTest, SecondGoReadsOnlyNewArticles)
{
    m_pFace->SetPosted(kManyGroup, 2000);
    CliRun run = List(kManyGroup);
    ASSERT_EQ(run.nExit, 0) << run.strErr;
    EXPECT_EQ(Rows(run.strOut).size(), 2001u);
    EXPECT_EQ(m_pFace->OverviewNumbers(), 4001);

    // 1000 more files posted; the text post and the first 500 files expired.
    m_pFace->SetPosted(kManyGroup, kManyFiles, 1002);
    run = List(kManyGroup);
    ASSERT_EQ(run.nExit, 0) << run.strErr;
    std::map<std::string, SRow> rows = Rows(run.strOut);
    EXPECT_EQ(rows.size(), static_cast<size_t>(kManyFiles - 500));
    EXPECT_EQ(rows.count(CNntpFace::TextPostSubject()), 0u);
    EXPECT_EQ(m_pFace->OverviewNumbers(), 6001);
    EXPECT_EQ(Cache(), std::vector<std::string>{"alt.binaries.many: 5000 articles, 1002-6001"});

    run = List(kManyGroup); // nothing new: the server is asked for no overview
    EXPECT_EQ(Rows(run.strOut), rows);
    EXPECT_EQ(m_pFace->OverviewNumbers(), 6001);

    EXPECT_EQ(Cache({"--clear", kManyGroup}),
              std::vector<std::string>{"Cleared alt.binaries.many from the header cache."});
    EXPECT_EQ(Cache(), std::vector<std::string>{"The header cache is empty."});
}

// dravelin-cli list killed while the gateway in it waits for the second
// batch: the first is in the cache, whole, and the next Go goes on from it.
TEST_P(ListingFromUsenetTest, KillDuringABatchLeavesAUsableCache)
{
    SNntpFaceFault fault;
    fault.m_nOverviewDelayMs = 2500; // the second batch cannot be stored before the kill
    m_pFace->SetFault(fault);
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0)
    {
        dup2(fds[1], 1);
        close(fds[0]);
        const int nNull = open("/dev/null", O_WRONLY);
        dup2(nNull, 2);
        setenv("HOME", m_dir.Path().c_str(), 1);
        unsetenv("XDG_CONFIG_HOME");
        unsetenv("DRAVELIN_HOME");
        const std::string strData = (m_dir.Path() / "data").string();
        execl(DRAVELIN_CLI_PATH, DRAVELIN_CLI_PATH, "--data-dir", strData.c_str(), "list", "--service", "newsguy",
              kManyGroup, static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    std::string strOut;
    char buf[4096];
    ssize_t n = 0;
    while (std::count(strOut.begin(), strOut.end(), '\n') < 100 && (n = read(fds[0], buf, sizeof buf)) > 0)
        strOut.append(buf, static_cast<size_t>(n));
    kill(pid, SIGKILL);
    int nStatus = 0;
    waitpid(pid, &nStatus, 0);
    close(fds[0]);
    ASSERT_TRUE(WIFSIGNALED(nStatus)) << "the listing ended before the kill";

    // The newest batch: numbers 1002 to 6001.
    EXPECT_EQ(Cache(), std::vector<std::string>{"alt.binaries.many: 5000 articles, 1002-6001"});
    m_pFace->SetFault(SNntpFaceFault{});
    // The killed listing's last OVER is still answered, into the closed
    // socket, once its delay is over: count from when the face is done.
    long long nAsked = m_pFace->OverviewNumbers();
    for (auto tQuiet = std::chrono::steady_clock::now() + std::chrono::milliseconds(fault.m_nOverviewDelayMs + 500);
         std::chrono::steady_clock::now() < tQuiet;)
    {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        if (m_pFace->OverviewNumbers() != nAsked)
        {
            nAsked = m_pFace->OverviewNumbers();
            tQuiet = std::chrono::steady_clock::now() + std::chrono::milliseconds(500);
        }
    }
    const CliRun run = List(kManyGroup);
    ASSERT_EQ(run.nExit, 0) << run.strErr;
    EXPECT_EQ(Rows(run.strOut).size(), static_cast<size_t>(kManyFiles + 1));
    EXPECT_EQ(m_pFace->OverviewNumbers() - nAsked, 2 * kManyFiles + 1 - 5000);
}

INSTANTIATE_TEST_SUITE_P(OverAndXover, ListingFromUsenetTest, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Xover" : "Over"; });

// The listing's own texts, read back the way the client reads them.
TEST(ListingTextsTest, SizesDatesAndRequests)
{
    const struct
    {
        uint64_t nSize;
        const char* pszText;
    } sizes[] = {{0, "0B"}, {999, "999B"}, {1000, "1.0K"}, {1599, "1.5K"}, {999999, "999.9K"},
                 {1000000, "1.0M"}, {12345678, "12.3M"}, {4700000000ull, "4700.0M"}};
    for (const auto& c : sizes)
    {
        const std::string strText = CUsenetListing::SizeText(c.nSize);
        EXPECT_EQ(strText, c.pszText);
        // Never more than the size, less by at most the last digit.
        const int64_t nRead = ListingText::SizeOfText(strText);
        EXPECT_LE(nRead, static_cast<int64_t>(c.nSize)) << strText;
        EXPECT_GT(nRead + (c.nSize < 1000 ? 1 : c.nSize < 1000000 ? 100 : 100000), static_cast<int64_t>(c.nSize));
    }
    const struct
    {
        const char* pszDate;
        const char* pszMonthDay;
    } dates[] = {
        {"Tue, 14 Nov 2023 22:13:20 +0000", "11/14"},
        {"14 Nov 2023 22:13:20 GMT", "11/14"},
        {"Tue, 14 Nov 2023 22:13:20 -0300", "11/15"},  // 01:13 the next day in UTC
        {"Wed, 1 Mar 2024 00:30 +0100", "02/29"},      // a leap day
        {"Thu, 01 Jan 70 00:00:00 +0000", "01/01"},    // two-digit year
        {"Sat, 31 Dec 2022 23:59:59 -2359", "01/01"},
        {"yesterday", ""},
        {"", ""},
    };
    for (const auto& c : dates)
        EXPECT_EQ(CUsenetListing::MonthDay(c.pszDate), c.pszMonthDay) << c.pszDate;

    const struct
    {
        const char* pszQuery;
        bool bOk;
        const char* pszGroup;
        long long nNewest;
        bool bBinariesOnly;
    } requests[] = {
        {"-sz,b1,o,n100000+alt.test", true, "alt.test", 100000, false},
        {"-sb,b1,o,n50,B+comp.lang.c++", true, "comp.lang.c++", 50, true}, // the first "+" ends the options
        {"-sz,n0+alt.test", true, "alt.test", 100000, false},              // no count: the default
        {"-sz+alt.test", true, "alt.test", 100000, false},
        {"-sz,b1,o,n100000+", false, "", 0, false},
        {"-sz,b1+alt.te\x01st", false, "", 0, false},
        {"group=alt.test", false, "", 0, false},
    };
    for (const auto& c : requests)
    {
        SListingRequest request;
        EXPECT_EQ(SListingRequest::Parse(c.pszQuery, request), c.bOk) << c.pszQuery;
        if (!c.bOk)
            continue;
        EXPECT_EQ(request.m_strGroup, c.pszGroup);
        EXPECT_EQ(request.m_nNewest, c.nNewest);
        EXPECT_EQ(request.m_bBinariesOnly, c.bBinariesOnly);
    }
}
} // namespace
