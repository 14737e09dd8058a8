// The scheduler with real workers against the gateway: limits, retries,
// pause, stop, removal and exit while downloads run.

#include "GatewayDownloadFixture.h"

#include "download/DailyCounter.h"
#include "ui/Clock.h"

#include <algorithm>
#include <filesystem>
#include <thread>

using namespace downloadtest;

namespace
{
int32_t LargeIndex(const CGatewaySimulator& sim, int nSkip = 0)
{
    for (const auto& a : sim.Articles(GatewayDownloadTest::kGroup))
        if (a.m_nSize >= 1500000 && nSkip-- == 0)
            return a.m_nIndex;
    ADD_FAILURE() << "no large article";
    return 0;
}

// Slow enough to still run while the test acts, fast enough to end soon.
CGatewayFault Slow()
{
    CGatewayFault fault;
    fault.m_nThrottle = 1500000;
    return fault;
}

TEST_F(GatewayDownloadTest, LimitsStartTheFirstNewsGuyAndTheEasyNewsArticle)
{
    Account(1, 1);
    Account(16, 2);
    for (int i = 0; i < 4; ++i)
        Fault(i, Slow());
    auto pA = Queue(0, 1);
    auto pB = Queue(1, 1);
    auto pC = Queue(2, 1);
    auto pD = Queue(3, 16);
    EXPECT_EQ(pA->m_nState, StateDownloading);
    EXPECT_EQ(pB->m_nState, StateQueued);
    EXPECT_EQ(pC->m_nState, StateQueued);
    EXPECT_EQ(pD->m_nState, StateDownloading);
    ASSERT_TRUE(RunUntilIdle());
    for (const auto& p : {pA, pB, pC, pD})
        EXPECT_EQ(p->m_nState, StateDone);
    auto requests = Downloads();
    ASSERT_EQ(requests.size(), 4u);
    std::vector<std::string> first = {requests[0].m_strTarget, requests[1].m_strTarget};
    std::sort(first.begin(), first.end());
    std::vector<std::string> expected = {"/news-bin/wwwdecode?" + Gateway(0).m_strDecodeQuery,
                                         Gateway(3).m_strEasyQuery};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(first, expected);
    EXPECT_EQ(requests[2].m_strTarget, "/news-bin/wwwdecode?" + Gateway(1).m_strDecodeQuery);
    EXPECT_EQ(requests[3].m_strTarget, "/news-bin/wwwdecode?" + Gateway(2).m_strDecodeQuery);
}

class GatewayRetryTest : public GatewayDownloadTest, public ::testing::WithParamInterface<bool>
{
};

TEST_P(GatewayRetryTest, ThreeAttemptsThenFailed)
{
    m_pDoc->m_settings.m_nMaxRetries = 2;
    m_pDoc->m_settings.m_bKeepFailed = GetParam();
    Account(1);
    const int32_t nIndex = LargeIndex(*m_pSim);
    CGatewayFault fault;
    fault.m_nDropAfter = 10000;
    Fault(nIndex, fault);
    m_pDoc->m_settings.m_nMaxDownloads = 1;
    auto pA = Queue(nIndex);
    auto pB = Queue(nIndex == 1 ? 2 : 1);
    std::vector<std::string> orders;
    ASSERT_TRUE(RunUntil([&] {
        if (pA->m_nState == StateQueued && m_progress.GetArticle(m_progress.GetItemCount() - 1) == pA)
            orders.push_back("A last");
        return m_scheduler.GetActiveDownloads() == 0 && m_pQueue->GetPending() == 0;
    }));
    EXPECT_EQ(pA->m_nState, StateFailed);
    EXPECT_EQ(pA->m_nRetries, 3);
    EXPECT_EQ(m_pSim->Attempts(kGroup, nIndex), 3);
    EXPECT_EQ(pB->m_nState, StateDone);
    EXPECT_FALSE(orders.empty());
    EXPECT_EQ(std::filesystem::exists(Folder() + "/" + Gateway(nIndex).m_strFileName), GetParam());
}

INSTANTIATE_TEST_SUITE_P(KeepFailed, GatewayRetryTest, ::testing::Bool());

TEST_F(GatewayDownloadTest, InfiniteRetriesGoOnUntilStopped)
{
    m_pDoc->m_settings.m_bRetryInfinite = 1;
    Account(1);
    CGatewayFault fault;
    fault.m_nStatus = 503;
    Fault(2, fault);
    auto pA = Queue(2);
    ASSERT_TRUE(RunUntil([&] { return m_pSim->Attempts(kGroup, 2) >= 4; }));
    m_scheduler.SetPaused(true);
    ASSERT_TRUE(RunUntilIdle());
    EXPECT_EQ(pA->m_nState, StateQueued);
    EXPECT_GE(pA->m_nRetries, 4);
    // Released with a mended server, it finally arrives.
    m_pSim->ClearArticleFault(kGroup, 2);
    m_scheduler.SetPaused(false);
    ASSERT_TRUE(RunUntilIdle());
    EXPECT_EQ(pA->m_nState, StateDone);
}

TEST_F(GatewayDownloadTest, PauseStartsNothingAndHoldsTheWhenDoneActions)
{
    m_tools.m_bHangUpWhenDone = 1;
    Account(1);
    m_scheduler.SetPaused(true);
    auto pA = Queue(1);
    auto pB = Queue(2);
    EXPECT_TRUE(Downloads().empty());
    EXPECT_EQ(m_tools.m_nHangUps, 0);
    m_scheduler.SetPaused(false);
    ASSERT_TRUE(RunUntilIdle());
    EXPECT_EQ(pA->m_nState, StateDone);
    EXPECT_EQ(pB->m_nState, StateDone);
    EXPECT_EQ(Downloads().size(), 2u);
    EXPECT_GE(m_tools.m_nHangUps, 1);
}

TEST_F(GatewayDownloadTest, CancelWhileRunningQueuesItAgain)
{
    Account(1);
    const int32_t nIndex = LargeIndex(*m_pSim);
    Fault(nIndex, Slow());
    auto pA = Queue(nIndex);
    auto pB = Queue(nIndex == 1 ? 2 : 1);
    m_scheduler.SetPaused(true);
    m_progress.SetItemState(0, CArticleList::RowSelected, CArticleList::RowSelected);
    EXPECT_EQ(CProgressCommands::CancelDownload(m_progress), 1);
    EXPECT_EQ(pA->m_nState, StateCancelled);
    m_pSim->ClearArticleFault(kGroup, nIndex);
    ASSERT_TRUE(RunUntilIdle());
    EXPECT_EQ(pA->m_nState, StateQueued);
    EXPECT_EQ(m_progress.GetArticle(m_progress.GetItemCount() - 1), pA);
    EXPECT_EQ(pA->m_nRetries, 0);
    m_scheduler.SetPaused(false);
    ASSERT_TRUE(RunUntilIdle());
    EXPECT_EQ(pA->m_nState, StateDone);
    EXPECT_TRUE(Saved(pA) == m_pSim->ExpectedBody(Gateway(nIndex)));
    EXPECT_EQ(m_pSim->Attempts(kGroup, nIndex), 2);
}

TEST_F(GatewayDownloadTest, RemovedFromBothListsLivesUntilItsWorkerEnds)
{
    Account(1);
    const int32_t nIndex = LargeIndex(*m_pSim);
    Fault(nIndex, Slow());
    std::weak_ptr<CArticle> wArticle;
    {
        auto pA = Queue(nIndex);
        wArticle = pA;
        m_articles.RemoveRow(m_articles.FindArticleRow(pA.get()));
        EXPECT_EQ(pA->m_nLists, ListProgress);
        m_progress.SetItemState(0, CArticleList::RowSelected, CArticleList::RowSelected);
        m_prompts.m_answers = {true};
        m_progress.RemoveSelected();
        EXPECT_EQ(m_prompts.m_questions.back(),
                  "The article is currently being downloaded.\nAre you sure you want to remove it?");
        EXPECT_EQ(pA->m_nState, StateRemoving);
        EXPECT_EQ(pA->m_nLists, 0);
    }
    // Its worker still has it.
    EXPECT_FALSE(wArticle.expired());
    ASSERT_TRUE(RunUntil([&] { return wArticle.expired(); }));
    EXPECT_EQ(m_pQueue->Count("done:0"), 1u);
}

TEST_F(GatewayDownloadTest, ExitWhileRunningLeavesTheArticleToItsWorker)
{
    Account(1);
    const int32_t nIndex = LargeIndex(*m_pSim);
    Fault(nIndex, Slow());
    std::weak_ptr<CArticle> wArticle;
    {
        auto pA = Queue(nIndex);
        wArticle = pA;
    }
    m_scheduler.ShutdownDownloads();
    m_articles.RemoveAll();
    EXPECT_EQ(m_progress.GetItemCount(), 0);
    // Freed once, by the worker, which reports nothing.
    ASSERT_TRUE(RunUntil([&] { return wArticle.expired(); }));
    EXPECT_EQ(m_pDoc->FindAccount(1)->m_nRunning, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(m_pQueue->Count("done:0") + m_pQueue->Count("done:1"), 0u);
}

TEST_F(GatewayDownloadTest, DailyLimitAcceptsTheExactAllowanceAndRefusesMore)
{
    struct Clock : IClock
    {
        std::time_t Now() const override { return std::time(nullptr); }
        void SetTimer(int, int64_t) override {}
        void KillTimer(int) override {}
    } clock;
    const int64_t nAllowance = Gateway(1).m_nSize + Gateway(2).m_nSize;
    std::string strIni = m_dir.File("Dravelin.ini");
    testsupport::WriteFile(strIni, "[Preferences]\nMaxBytes=" + std::to_string(nAllowance) + "\n");
    CDailyCounter counter;
    counter.SetupDailyCounter(strIni, &clock);
    m_scheduler.SetDailyCounter(&counter);
    Account(2);
    auto pA = Queue(1, 2);
    auto pB = Queue(2, 2);
    auto pC = Queue(3, 2);
    ASSERT_TRUE(RunUntilIdle());
    EXPECT_EQ(pA->m_nState, StateDone);
    EXPECT_EQ(pB->m_nState, StateDone);
    EXPECT_EQ(pC->m_nState, StateQueued);
    EXPECT_TRUE(m_scheduler.IsPaused());
    EXPECT_EQ(counter.m_nBytesToday, static_cast<uint32_t>(nAllowance));
    EXPECT_EQ(Downloads().size(), 2u);
}
} // namespace
