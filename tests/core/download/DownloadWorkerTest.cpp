#include "GatewayDownloadFixture.h"

#include "net/HttpRequestFramework.h"
#include "support/WithRow.h"

#include <filesystem>
#include <set>
#include <sys/stat.h>

using namespace downloadtest;

namespace
{
struct ServiceCase
{
    int32_t nService;
    const char* pszPrefix; // of the request target
};

using DownloadServiceTest = testsupport::WithRow<GatewayDownloadTest, ServiceCase>;

TEST_P(DownloadServiceTest, RequestTargetNameAndBody)
{
    const ServiceCase& c = GetParam();
    Account(c.nService);
    const int32_t nIndex = IndexOfSize(1000, 1500000);
    auto pArticle = Queue(nIndex, c.nService);
    ASSERT_TRUE(RunUntilIdle());
    CGatewayArticle g = Gateway(nIndex);
    EXPECT_EQ(pArticle->m_nState, StateDone);
    EXPECT_EQ(pArticle->m_strSavedName, g.m_strFileName);
    EXPECT_EQ(pArticle->m_strDownloadPath, Folder() + "/");
    EXPECT_TRUE(Saved(pArticle) == m_pSim->ExpectedBody(g));
    auto requests = Downloads();
    ASSERT_EQ(requests.size(), 1u);
    const std::string strExpected = c.nService == 16 ? g.m_strEasyQuery : c.pszPrefix + g.m_strDecodeQuery;
    EXPECT_EQ(requests[0].m_strTarget, strExpected);
    EXPECT_TRUE(m_pQueue->HasPrefix("status:HTTP/1.1 200"));
    EXPECT_TRUE(m_pQueue->HasPrefix("status:Download complete. Average: "));
    EXPECT_EQ(m_pQueue->Count("done:1"), 1u);
    EXPECT_EQ(m_pDoc->FindAccount(c.nService)->m_nRunning, 0);
}

INSTANTIATE_TEST_SUITE_P(Services, DownloadServiceTest,
                         ::testing::Values(ServiceCase{1, "/news-bin/wwwdecode?"},
                                           ServiceCase{2, "/news-bin/wwwdecode?"},
                                           ServiceCase{4, "/drn-bin/wwwdecode?"},
                                           ServiceCase{8, "/drn-bin/wwwdecode?"}, ServiceCase{16, ""},
                                           ServiceCase{64, "/news-bin/wwwdecode?"}));

// What one attempt against a faulty server, host or folder leaves behind.
struct Arrange
{
    CGatewaySimulator& sim;
    CGatewayFault& fault;
    ServiceAccount& account;
    std::string& strFolder;
};

enum BodyKind
{
    BodyNone,  // no file is left
    BodyWhole, // the article's bytes
    BodyEmpty,
    BodyShort, // all but the last byte
};

struct OutcomeCase
{
    const char* pszName;
    void (*fnArrange)(Arrange&);
    BodyKind nBody;
    std::string strSaved; // the file's name; "" the listed one
    int nDownloads;       // requests to the download host
    bool bAverage;        // an average speed line is shown
    // The row's reason, with %f the folder, %n the listed name, %s the size
    // and %t the size less one; "" for a success.
    const char* pszReason;
    std::vector<std::string> once; // log entries seen exactly once
};

using DownloadOutcomeTest = testsupport::WithRow<GatewayDownloadTest, OutcomeCase>;

TEST_P(DownloadOutcomeTest, StateFileAndReason)
{
    const OutcomeCase& c = GetParam();
    CDownloadOptions::SetStallSeconds(1);
    m_pDoc->m_settings.m_bKeepFailed = 1;
    auto pAccount = Account(1);
    const int32_t nIndex = IndexOfSize(5000, 900000);
    const CGatewayArticle g = Gateway(nIndex);
    std::string strFolder = Folder();
    CGatewayFault fault;
    Arrange arrange{*m_pSim, fault, *pAccount, strFolder};
    c.fnArrange(arrange);
    if (!fault.IsClean())
        Fault(nIndex, fault);
    auto pArticle = List(nIndex);
    m_scheduler.QueueArticle(pArticle, 0, strFolder);
    ASSERT_TRUE(RunUntilIdle());

    std::string strReason = c.pszReason;
    for (const auto& [strKey, strValue] :
         {std::pair<std::string, std::string>{"%f", strFolder}, {"%n", g.m_strFileName},
          {"%s", std::to_string(g.m_nSize)}, {"%t", std::to_string(g.m_nSize - 1)}})
        for (size_t n; (n = strReason.find(strKey)) != std::string::npos;)
            strReason.replace(n, 2, strValue);
    EXPECT_EQ(pArticle->m_nState, strReason.empty() ? StateDone : StateFailed);
    EXPECT_EQ(pArticle->GetTransfer().m_strLastError, strReason);
    const std::string strName = c.strSaved.empty() ? g.m_strFileName : c.strSaved;
    if (c.nBody == BodyNone)
        EXPECT_EQ(FilesIn(Folder()), 0u);
    else
    {
        // One file, in the folder; nothing beside or above it.
        EXPECT_EQ(pArticle->m_strSavedName, strName);
        EXPECT_EQ(FilesIn(Folder()), 1u);
        const std::string strBody = testsupport::ReadFile(Folder() + "/" + strName);
        EXPECT_TRUE(strBody == (c.nBody == BodyWhole   ? m_pSim->ExpectedBody(g)
                                : c.nBody == BodyShort ? m_pSim->ExpectedBody(g, 0, g.m_nSize - 1)
                                                       : std::string()));
    }
    EXPECT_EQ(FilesIn(m_dir.Path() / "dl"), 0u);
    EXPECT_EQ(FilesIn(m_dir.Path()), 0u);
    auto requests = Downloads();
    EXPECT_EQ(requests.size(), static_cast<size_t>(c.nDownloads));
    if (c.nDownloads == 2 && !pAccount->m_strUsername.empty())
    {
        EXPECT_FALSE(requests[0].m_bCredentials);
        EXPECT_TRUE(requests[1].m_bCredentials);
    }
    else if (c.nDownloads == 2)
    {
        // A redirect to another host is asked of the first host.
        EXPECT_EQ(requests[1].m_strTarget, "/file/" + g.m_strDecodeQuery);
        EXPECT_EQ(requests[1].m_strHost, m_pSim->HostPort());
        EXPECT_EQ(m_pQueue->Count("status:Redirected: /file/" + g.m_strDecodeQuery), 1u);
    }
    EXPECT_EQ(m_pQueue->HasPrefix("status:Download complete. Average: "), c.bAverage);
    for (const std::string& strEntry : c.once)
        EXPECT_EQ(m_pQueue->Count(strEntry), 1u) << strEntry;
    auto log = m_pQueue->GetLog();
    auto itDone = std::find(log.begin(), log.end(), strReason.empty() ? "done:1" : "done:0");
    ASSERT_NE(itDone, log.end());
    EXPECT_EQ(m_pQueue->Count("done:0") + m_pQueue->Count("done:1"), 1u);
    if (strReason.empty())
        return;
    // One status line names the cause before the end report.
    const std::string strLine = "status:Download of \"" + strName + "\" failed: " + strReason;
    EXPECT_EQ(std::count(log.begin(), log.end(), strLine), 1);
    EXPECT_LT(std::find(log.begin(), log.end(), strLine), itDone);
}

void Redirect(Arrange& a, int nStatus)
{
    a.fault.m_nRedirect = RedirectOtherHost;
    a.fault.m_nRedirectStatus = nStatus;
}

const char* const kZeroAverage = "status:Download complete. Average: 0kB/s\r\n";

INSTANTIATE_TEST_SUITE_P(
    Cases, DownloadOutcomeTest,
    ::testing::Values(
        OutcomeCase{"NoName", [](Arrange& a) { a.fault.m_bNoDisposition = true; }, BodyWhole, "", 1, true, ""},
        OutcomeCase{"UnsafeParent", [](Arrange& a) { a.fault.m_nUnsafeName = UnsafeNameParent; }, BodyWhole,
                    "x", 1, true, ""},
        OutcomeCase{"UnsafeAbsolute", [](Arrange& a) { a.fault.m_nUnsafeName = UnsafeNameAbsolute; },
                    BodyWhole, "x", 1, true, ""},
        OutcomeCase{"UnsafeControl", [](Arrange& a) { a.fault.m_nUnsafeName = UnsafeNameControl; }, BodyWhole,
                    "bad_name__.txt", 1, true, ""},
        // An empty name from the server is no name: the listed one serves.
        OutcomeCase{"UnsafeEmpty", [](Arrange& a) { a.fault.m_nUnsafeName = UnsafeNameEmpty; }, BodyWhole, "",
                    1, true, ""},
        OutcomeCase{"UnsafeLong", [](Arrange& a) { a.fault.m_nUnsafeName = UnsafeNameLong; }, BodyWhole,
                    std::string(251, 'n') + ".bin", 1, true, ""},
        OutcomeCase{"ContentLengthZero", [](Arrange& a) { a.fault.m_bEmptyBody = true; }, BodyEmpty, "", 1,
                    true, "", {kZeroAverage}},
        OutcomeCase{"Redirect301", [](Arrange& a) { Redirect(a, 301); }, BodyWhole, "", 2, true, ""},
        OutcomeCase{"Redirect302", [](Arrange& a) { Redirect(a, 302); }, BodyWhole, "", 2, true, ""},
        OutcomeCase{"Redirect303", [](Arrange& a) { Redirect(a, 303); }, BodyWhole, "", 2, true, ""},
        OutcomeCase{"Redirect307", [](Arrange& a) { Redirect(a, 307); }, BodyWhole, "", 2, true, ""},
        OutcomeCase{"Redirect308", [](Arrange& a) { Redirect(a, 308); }, BodyWhole, "", 2, true, ""},
        OutcomeCase{"RedirectWithoutLocation", [](Arrange& a) { a.fault.m_nRedirect = RedirectNoLocation; },
                    BodyNone, "", 1, false, "the redirect could not be followed",
                    {"box:Error: Site redirects with no new location"}},
        OutcomeCase{"RedirectLoop", [](Arrange& a) { a.fault.m_nRedirect = RedirectLoop; }, BodyNone, "",
                    kMaxRedirects + 1, false, "the redirect could not be followed"},
        OutcomeCase{"ShortBody", [](Arrange& a) { a.fault.m_bShortBody = true; }, BodyShort, "", 1, false,
                    "the body ended after %t of %s bytes"},
        OutcomeCase{"NoContentLength", [](Arrange& a) { a.fault.m_bNoContentLength = true; }, BodyNone, "", 1,
                    true, "the answer has no Content-Length", {"status:Download failed!", kZeroAverage}},
        OutcomeCase{"Status", [](Arrange& a) { a.fault.m_nStatus = 503; }, BodyNone, "", 1, true,
                    "the server answered 503 Service Unavailable"},
        OutcomeCase{"Stall", [](Arrange& a) { a.fault.m_nStallAfter = 0; }, BodyEmpty, "", 1, false,
                    "the transfer stalled: no data for 1 seconds"},
        OutcomeCase{"NotCreatable", [](Arrange& a) { a.strFolder += "/missing"; }, BodyNone, "", 1, true,
                    "cannot create file %f/%n: No such file or directory"},
        OutcomeCase{"Refused", [](Arrange& a) { a.account.m_strDownloadDomain = "127.0.0.1:1"; }, BodyNone, "",
                    0, false, "connection refused by 127.0.0.1:1"},
        OutcomeCase{"HostNotFound", [](Arrange& a) { a.account.m_strDownloadDomain = "nohost.invalid"; },
                    BodyNone, "", 0, false, "host not found: nohost.invalid"},
        OutcomeCase{"PasswordAnswered",
                    [](Arrange& a)
                    {
                        a.sim.SetUsers({{"user", "secret"}});
                        a.account.m_strUsername = "user";
                        a.account.m_strPassword = "secret";
                    },
                    BodyWhole, "", 2, true, "", {"status:Sending NewsGuy Password..."}},
        OutcomeCase{"PasswordRefusedTwice",
                    [](Arrange& a)
                    {
                        a.sim.SetUsers({{"user", "secret"}});
                        a.account.m_strUsername = "user";
                        a.account.m_strPassword = "wrong";
                    },
                    BodyNone, "", 2, false, "the login was refused",
                    {"box:The configured password for NewsGuy is incorrect!"}}),
    [](const auto& info) { return std::string(info.param.pszName); });

TEST_F(GatewayDownloadTest, OneNameForSeveralFilesIsNumberedAndOnlyTheOwnFileIsReplaced)
{
    Account(1);
    const int32_t nA = IndexOfSize(200000, 3000000);
    const int32_t nB = IndexOfSize(200000, 3000000, 1);
    CGatewayFault fault;
    fault.m_bNoDisposition = true;
    fault.m_nThrottle = 2000000; // both run at once
    m_pSim->SetDefaultFault(fault);
    const std::string strName = Gateway(nA).m_strFileName;
    const size_t nDot = strName.rfind('.');
    const std::string strStem = strName.substr(0, nDot);
    const std::string strExt = nDot == std::string::npos ? "" : strName.substr(nDot);
    testsupport::WriteFile(Folder() + "/" + strName, "another article's file");
    auto pA = List(nA);
    auto pB = List(nB);
    pB->m_strFileName = strName;
    m_scheduler.QueueArticle(pA, 0, Folder());
    m_scheduler.QueueArticle(pB, 1, Folder());
    ASSERT_TRUE(RunUntilIdle());
    EXPECT_EQ(testsupport::ReadFile(Folder() + "/" + strName), "another article's file");
    std::set<std::string> names{pA->m_strSavedName, pB->m_strSavedName};
    EXPECT_EQ(names, (std::set<std::string>{strStem + " (2)" + strExt, strStem + " (3)" + strExt}));
    EXPECT_TRUE(Saved(pA) == m_pSim->ExpectedBody(Gateway(nA)));
    EXPECT_TRUE(Saved(pB) == m_pSim->ExpectedBody(Gateway(nB)));

    // The same article again replaces its own file.
    const std::string strSavedA = pA->m_strSavedName;
    fault.m_nThrottle = 0;
    m_pSim->SetDefaultFault(fault);
    m_scheduler.QueueArticle(pA, 0, Folder());
    ASSERT_TRUE(RunUntilIdle());
    EXPECT_EQ(pA->m_nState, StateDone);
    EXPECT_EQ(pA->m_strSavedName, strSavedA);
    EXPECT_TRUE(Saved(pA) == m_pSim->ExpectedBody(Gateway(nA)));
    EXPECT_EQ(FilesIn(Folder()), 3u);
}

using DownloadAgainTest = testsupport::WithRow<GatewayDownloadTest, bool>;

// A new attempt that fails before it writes anything (refused connection, or
// an error answer) leaves the file of the earlier download alone.
TEST_P(DownloadAgainTest, AFailedNewAttemptKeepsTheEarlierFile)
{
    m_pDoc->m_settings.m_bKeepFailed = 0;
    auto pAccount = Account(1);
    auto pArticle = Queue(3);
    ASSERT_TRUE(RunUntilIdle());
    ASSERT_EQ(pArticle->m_nState, StateDone);
    const std::string strPath = Folder() + "/" + pArticle->m_strSavedName;
    if (GetParam())
        pAccount->m_strDownloadDomain = "127.0.0.1:1";
    else
    {
        CGatewayFault fault;
        fault.m_nStatus = 404;
        fault.m_bNoDisposition = true;
        Fault(3, fault);
    }
    m_scheduler.QueueArticle(pArticle, 0, Folder());
    ASSERT_TRUE(RunUntilIdle());
    EXPECT_EQ(pArticle->m_nState, StateFailed);
    EXPECT_TRUE(testsupport::ReadFile(strPath) == m_pSim->ExpectedBody(Gateway(3)));
}

INSTANTIATE_TEST_SUITE_P(Refused, DownloadAgainTest, ::testing::Bool());

struct ResumeCase
{
    const char* pszName;
    bool bResumeFailed;
    bool bServerRanges;
    bool bRangeSent;
    int nStatus;
};

using DownloadResumeTest = testsupport::WithRow<GatewayDownloadTest, ResumeCase>;

TEST_P(DownloadResumeTest, RetryContinuesOrRestarts)
{
    const ResumeCase& c = GetParam();
    m_pDoc->m_settings.m_bResumeFailed = c.bResumeFailed;
    m_pDoc->m_settings.m_nMaxRetries = 1;
    Account(1);
    const int32_t nIndex = IndexOfSize(400000, 3000000);
    const CGatewayArticle g = Gateway(nIndex);
    const int64_t nDrop = g.m_nSize / 2;
    CGatewayFault fault;
    fault.m_nDropAfter = nDrop;
    Fault(nIndex, fault);
    auto pArticle = Queue(nIndex);
    // Held after the first attempt so the second meets a mended server.
    m_scheduler.SetPaused(true);
    ASSERT_TRUE(RunUntilIdle());
    ASSERT_EQ(pArticle->m_nState, StateQueued);
    EXPECT_EQ(std::filesystem::file_size(Folder() + "/" + g.m_strFileName), static_cast<uintmax_t>(nDrop));
    CGatewayFault mended;
    mended.m_bNoRange = !c.bServerRanges;
    if (mended.IsClean())
        m_pSim->ClearArticleFault(kGroup, nIndex);
    else
        Fault(nIndex, mended);
    m_scheduler.SetPaused(false);
    ASSERT_TRUE(RunUntilIdle());

    EXPECT_EQ(pArticle->m_nState, StateDone);
    EXPECT_TRUE(Saved(pArticle) == m_pSim->ExpectedBody(g));
    auto requests = Downloads();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_TRUE(requests[0].m_strRange.empty());
    if (c.bRangeSent)
    {
        EXPECT_EQ(requests[1].m_strRange, "bytes=" + std::to_string(nDrop) + "-");
        EXPECT_EQ(requests[1].m_strIfRange, g.m_strETag);
    }
    else
        EXPECT_TRUE(requests[1].m_strRange.empty());
    EXPECT_EQ(requests[1].m_nStatus, c.nStatus);
}

INSTANTIATE_TEST_SUITE_P(Cases, DownloadResumeTest,
                         ::testing::Values(ResumeCase{"Continued", true, true, true, 206},
                                           ResumeCase{"ServerSendsWhole", true, false, true, 200},
                                           ResumeCase{"ResumeOff", false, true, false, 200}),
                         [](const auto& info) { return std::string(info.param.pszName); });

TEST_F(GatewayDownloadTest, FullDiskPostsBeforeItsMessage)
{
    Account(1);
    const int32_t nIndex = IndexOfSize(5000, 3000000);
    // The article's own earlier file, now on a full disk.
    const std::string strPath = Folder() + "/" + Gateway(nIndex).m_strFileName;
    std::filesystem::create_symlink("/dev/full", strPath);
    auto pArticle = List(nIndex);
    struct stat st
    {
    };
    ASSERT_EQ(::stat(strPath.c_str(), &st), 0);
    pArticle->Transfer().m_strOwnFile = strPath;
    pArticle->Transfer().m_nOwnFileDev = st.st_dev;
    pArticle->Transfer().m_nOwnFileIno = st.st_ino;
    m_scheduler.QueueArticle(pArticle, 0, Folder());
    ASSERT_TRUE(RunUntilIdle());
    EXPECT_EQ(pArticle->m_nState, StateFailed);
    auto log = m_pQueue->GetLog();
    auto itFull = std::find(log.begin(), log.end(), "diskfull");
    auto itBox = std::find(log.begin(), log.end(), "box:Error: There is not enough space on the disk.");
    ASSERT_NE(itFull, log.end());
    ASSERT_NE(itBox, log.end());
    EXPECT_LT(itFull - log.begin(), itBox - log.begin());
    EXPECT_EQ(m_tools.m_nTempDeletes, 1);
    EXPECT_EQ(m_tools.m_nTrashEmpties, 1);
}
} // namespace
