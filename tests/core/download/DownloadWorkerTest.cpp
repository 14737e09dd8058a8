#include "GatewayDownloadFixture.h"

#include "download/SavedFileName.h"

#include <filesystem>
#include <set>
#include <sys/stat.h>

using namespace downloadtest;

namespace
{
// Indices of dl.test articles within a size range, smallest index first.
int32_t IndexOfSize(const CGatewaySimulator& sim, int64_t nMin, int64_t nMax, int nSkip = 0)
{
    for (const auto& a : sim.Articles(GatewayDownloadTest::kGroup))
        if (a.m_nSize >= nMin && a.m_nSize <= nMax && nSkip-- == 0)
            return a.m_nIndex;
    ADD_FAILURE() << "no article of " << nMin << " to " << nMax << " bytes";
    return 0;
}

size_t FilesIn(const std::filesystem::path& dir)
{
    size_t n = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir))
        n += entry.is_regular_file() || entry.is_symlink();
    return n;
}

struct ServiceCase
{
    int32_t nService;
    const char* pszPrefix; // of the request target
};

class DownloadServiceTest : public GatewayDownloadTest, public ::testing::WithParamInterface<ServiceCase>
{
};

TEST_P(DownloadServiceTest, RequestTargetNameAndBody)
{
    const ServiceCase& c = GetParam();
    Account(c.nService);
    const int32_t nIndex = IndexOfSize(*m_pSim, 1000, 1500000);
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

struct UnsafeCase
{
    GatewayUnsafeName nKind;
    std::string strSaved;
};

class DownloadUnsafeNameTest : public GatewayDownloadTest, public ::testing::WithParamInterface<UnsafeCase>
{
};

TEST_P(DownloadUnsafeNameTest, SavedInsideTheFolder)
{
    Account(1);
    const int32_t nIndex = IndexOfSize(*m_pSim, 1000, 200000);
    CGatewayFault fault;
    fault.m_nUnsafeName = GetParam().nKind;
    Fault(nIndex, fault);
    auto pArticle = Queue(nIndex);
    ASSERT_TRUE(RunUntilIdle());
    EXPECT_EQ(pArticle->m_nState, StateDone);
    // An empty name from the server is no name: the listed one serves.
    const std::string strSaved =
        GetParam().strSaved.empty() ? Gateway(nIndex).m_strFileName : GetParam().strSaved;
    EXPECT_EQ(pArticle->m_strSavedName, strSaved);
    EXPECT_TRUE(Saved(pArticle) == m_pSim->ExpectedBody(Gateway(nIndex)));
    // One file, in the folder; nothing beside or above it.
    EXPECT_EQ(FilesIn(Folder()), 1u);
    EXPECT_EQ(FilesIn(m_dir.Path() / "dl"), 0u);
    EXPECT_EQ(FilesIn(m_dir.Path()), 0u);
}

INSTANTIATE_TEST_SUITE_P(Names, DownloadUnsafeNameTest,
                         ::testing::Values(UnsafeCase{UnsafeNameParent, "x"},
                                           UnsafeCase{UnsafeNameAbsolute, "x"},
                                           UnsafeCase{UnsafeNameControl, "bad_name__.txt"},
                                           UnsafeCase{UnsafeNameEmpty, ""},
                                           UnsafeCase{UnsafeNameLong, std::string(251, 'n') + ".bin"}));

TEST_F(GatewayDownloadTest, WithoutANameFromTheServerTheListedNameIsUsed)
{
    Account(1);
    CGatewayFault fault;
    fault.m_bNoDisposition = true;
    m_pSim->SetDefaultFault(fault);
    auto pA = Queue(1);
    auto pB = Queue(2);
    ASSERT_TRUE(RunUntilIdle());
    for (const auto& [pArticle, nIndex] : {std::pair{pA, 1}, std::pair{pB, 2}})
    {
        EXPECT_EQ(pArticle->m_nState, StateDone);
        EXPECT_EQ(pArticle->m_strSavedName, Gateway(nIndex).m_strFileName);
        EXPECT_TRUE(Saved(pArticle) == m_pSim->ExpectedBody(Gateway(nIndex)));
    }
}

TEST_F(GatewayDownloadTest, OneNameForSeveralFilesIsNumberedAndOnlyTheOwnFileIsReplaced)
{
    Account(1);
    const int32_t nA = IndexOfSize(*m_pSim, 200000, 3000000);
    const int32_t nB = IndexOfSize(*m_pSim, 200000, 3000000, 1);
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

TEST_F(GatewayDownloadTest, ContentLengthZeroIsAnEmptyFile)
{
    Account(1);
    CGatewayFault fault;
    fault.m_bEmptyBody = true;
    Fault(3, fault);
    auto pArticle = Queue(3);
    ASSERT_TRUE(RunUntilIdle());
    EXPECT_EQ(pArticle->m_nState, StateDone);
    EXPECT_TRUE(std::filesystem::exists(Folder() + "/" + pArticle->m_strSavedName));
    EXPECT_EQ(Saved(pArticle), "");
    EXPECT_EQ(m_pQueue->Count("status:Download complete. Average: 0kB/s\r\n"), 1u);
}

class DownloadShortBodyTest : public GatewayDownloadTest, public ::testing::WithParamInterface<bool>
{
};

TEST_P(DownloadShortBodyTest, FailsAndKeepFailedDecidesThePartialFile)
{
    m_pDoc->m_settings.m_bKeepFailed = GetParam();
    Account(1);
    const int32_t nIndex = IndexOfSize(*m_pSim, 5000, 900000);
    CGatewayFault fault;
    fault.m_bShortBody = true;
    Fault(nIndex, fault);
    auto pArticle = Queue(nIndex);
    ASSERT_TRUE(RunUntilIdle());
    EXPECT_EQ(pArticle->m_nState, StateFailed);
    EXPECT_EQ(m_pQueue->Count("done:0"), 1u);
    const std::string strPath = Folder() + "/" + Gateway(nIndex).m_strFileName;
    EXPECT_EQ(std::filesystem::exists(strPath), GetParam());
    if (GetParam())
    {
        EXPECT_EQ(std::filesystem::file_size(strPath), static_cast<uintmax_t>(Gateway(nIndex).m_nSize - 1));
    }
}

INSTANTIATE_TEST_SUITE_P(KeepFailed, DownloadShortBodyTest, ::testing::Bool());

TEST_F(GatewayDownloadTest, NoContentLengthFailsWithoutAFile)
{
    Account(1);
    CGatewayFault fault;
    fault.m_bNoContentLength = true;
    Fault(4, fault);
    auto pArticle = Queue(4);
    ASSERT_TRUE(RunUntilIdle());
    EXPECT_EQ(pArticle->m_nState, StateFailed);
    EXPECT_EQ(m_pQueue->Count("status:Download failed!"), 1u);
    EXPECT_EQ(m_pQueue->Count("status:Download complete. Average: 0kB/s\r\n"), 1u);
    EXPECT_EQ(FilesIn(Folder()), 0u);
}

TEST_F(GatewayDownloadTest, AnErrorStatusIsNotSavedAsTheArticle)
{
    Account(1);
    CGatewayFault fault;
    fault.m_nStatus = 404;
    Fault(4, fault);
    auto pArticle = Queue(4);
    ASSERT_TRUE(RunUntilIdle());
    EXPECT_EQ(pArticle->m_nState, StateFailed);
    EXPECT_EQ(FilesIn(Folder()), 0u);
}

class DownloadRedirectTest : public GatewayDownloadTest, public ::testing::WithParamInterface<int>
{
};

TEST_P(DownloadRedirectTest, RedirectToAnotherHostIsAskedOfTheFirstHost)
{
    Account(1);
    CGatewayFault fault;
    fault.m_nRedirect = RedirectOtherHost;
    fault.m_nRedirectStatus = GetParam();
    Fault(5, fault);
    auto pArticle = Queue(5);
    ASSERT_TRUE(RunUntilIdle());
    EXPECT_EQ(pArticle->m_nState, StateDone);
    auto requests = Downloads();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[1].m_strTarget, "/file/" + Gateway(5).m_strDecodeQuery);
    EXPECT_EQ(requests[1].m_strHost, m_pSim->HostPort());
    EXPECT_TRUE(m_pQueue->HasPrefix("status:Redirected: /file/"));
    EXPECT_TRUE(Saved(pArticle) == m_pSim->ExpectedBody(Gateway(5)));
}

INSTANTIATE_TEST_SUITE_P(Status, DownloadRedirectTest, ::testing::Values(301, 302, 303, 307, 308));

TEST_F(GatewayDownloadTest, RefusedPasswordTwiceEndsTheAttempt)
{
    m_pSim->SetUsers({{"user", "secret"}});
    auto pAccount = Account(1);
    pAccount->m_strUsername = "user";
    pAccount->m_strPassword = "wrong";
    auto pArticle = Queue(2);
    ASSERT_TRUE(RunUntilIdle());
    EXPECT_EQ(pArticle->m_nState, StateFailed);
    EXPECT_EQ(m_pQueue->Count("status:Sending NewsGuy Password..."), 2u);
    EXPECT_EQ(m_pQueue->Count("box:The configured password for NewsGuy is incorrect!"), 1u);
    EXPECT_FALSE(m_pQueue->HasPrefix("status:Download complete."));
    EXPECT_EQ(Downloads().size(), 2u);
    EXPECT_EQ(FilesIn(Folder()), 0u);

    // The right password: one challenge, then the file.
    pAccount->m_strPassword = "secret";
    m_pSim->ClearRequests();
    m_scheduler.QueueArticle(pArticle, 0, Folder());
    ASSERT_TRUE(RunUntilIdle());
    EXPECT_EQ(pArticle->m_nState, StateDone);
    EXPECT_EQ(Downloads().size(), 2u);
}

class DownloadAgainTest : public GatewayDownloadTest, public ::testing::WithParamInterface<bool>
{
};

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

class DownloadResumeTest : public GatewayDownloadTest, public ::testing::WithParamInterface<ResumeCase>
{
};

TEST_P(DownloadResumeTest, RetryContinuesOrRestarts)
{
    const ResumeCase& c = GetParam();
    m_pDoc->m_settings.m_bResumeFailed = c.bResumeFailed;
    m_pDoc->m_settings.m_nMaxRetries = 1;
    Account(1);
    const int32_t nIndex = IndexOfSize(*m_pSim, 400000, 3000000);
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

enum FailureKind
{
    FailNotCreatable,
    FailStatus,
    FailRefused,
    FailHostNotFound,
    FailStall,
    FailShortBody,
};

class DownloadFailureTest : public GatewayDownloadTest, public ::testing::WithParamInterface<FailureKind>
{
};

// One status line names the cause before the end report; the row keeps it.
TEST_P(DownloadFailureTest, SaysWhy)
{
    CDownloadOptions::SetStallSeconds(1);
    auto pAccount = Account(1);
    const int32_t nIndex = IndexOfSize(*m_pSim, 5000, 3000000);
    const CGatewayArticle g = Gateway(nIndex);
    std::string strFolder = Folder();
    std::string strReason;
    CGatewayFault fault;
    switch (GetParam())
    {
    case FailNotCreatable:
        strFolder = (m_dir.Path() / "missing").string();
        strReason = "cannot create file " + strFolder + "/" + g.m_strFileName + ": No such file or directory";
        break;
    case FailStatus:
        fault.m_nStatus = 503;
        strReason = "the server answered 503 Service Unavailable";
        break;
    case FailRefused:
        pAccount->m_strDownloadDomain = "127.0.0.1:1";
        strReason = "connection refused by 127.0.0.1:1";
        break;
    case FailHostNotFound:
        pAccount->m_strDownloadDomain = "nohost.invalid";
        strReason = "host not found: nohost.invalid";
        break;
    case FailStall:
        fault.m_nStallAfter = 0; // not a byte: the stall shows at once
        strReason = "the transfer stalled: no data for 1 seconds";
        break;
    case FailShortBody:
        fault.m_bShortBody = true;
        strReason = "the body ended after " + std::to_string(g.m_nSize - 1) + " of " +
                    std::to_string(g.m_nSize) + " bytes";
        break;
    }
    if (!fault.IsClean())
        Fault(nIndex, fault);
    auto pArticle = List(nIndex);
    m_scheduler.QueueArticle(pArticle, 0, strFolder);
    ASSERT_TRUE(RunUntilIdle());
    EXPECT_EQ(pArticle->m_nState, StateFailed);
    EXPECT_EQ(pArticle->m_strLastError, strReason);
    auto log = m_pQueue->GetLog();
    const std::string strLine = "status:Download of \"" + g.m_strFileName + "\" failed: " + strReason;
    EXPECT_EQ(std::count(log.begin(), log.end(), strLine), 1);
    auto itLine = std::find(log.begin(), log.end(), strLine);
    EXPECT_LT(itLine, std::find(log.begin(), log.end(), "done:0"));
    EXPECT_TRUE(m_prompts.m_messages.empty());
}

INSTANTIATE_TEST_SUITE_P(Causes, DownloadFailureTest,
                         ::testing::Values(FailNotCreatable, FailStatus, FailRefused, FailHostNotFound,
                                           FailStall, FailShortBody));

TEST_F(GatewayDownloadTest, FullDiskPostsBeforeItsMessage)
{
    Account(1);
    const int32_t nIndex = IndexOfSize(*m_pSim, 5000, 3000000);
    // The article's own earlier file, now on a full disk.
    const std::string strPath = Folder() + "/" + Gateway(nIndex).m_strFileName;
    std::filesystem::create_symlink("/dev/full", strPath);
    auto pArticle = List(nIndex);
    struct stat st
    {
    };
    ASSERT_EQ(::stat(strPath.c_str(), &st), 0);
    pArticle->m_strOwnFile = strPath;
    pArticle->m_nOwnFileDev = st.st_dev;
    pArticle->m_nOwnFileIno = st.st_ino;
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

TEST_F(GatewayDownloadTest, MissingAccountRequestsNothing)
{
    Account(1);
    auto pArticle = Queue(1, 4);
    ASSERT_TRUE(RunUntilIdle());
    EXPECT_EQ(pArticle->m_nState, StateFailed);
    ASSERT_EQ(m_prompts.m_messages.size(), 1u);
    EXPECT_EQ(m_prompts.m_messages[0], "The account information for this article is no longer available!");
    EXPECT_TRUE(Downloads().empty());
}
} // namespace
