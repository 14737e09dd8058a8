// The scheduler with real workers against the gateway: stop, removal and
// exit while downloads run, and the progress they report.

#include "GatewayDownloadFixture.h"
#include "support/Join.h"
#include "support/WithRow.h"

#include <filesystem>

using namespace downloadtest;

namespace
{
// Slow enough to still run while the test acts, fast enough to end soon.
CGatewayFault Slow()
{
    CGatewayFault fault;
    fault.m_nThrottle = 1500000;
    return fault;
}

// Stopped, it waits at the end again; removed, it is listed again, or freed
// once its worker ends when no list holds it.
TEST_F(GatewayDownloadTest, CancelledAndRemovedWhileRunning)
{
    m_pDoc->m_settings.m_nMaxDownloads = 3;
    Account(1, 3);
    int32_t nIndex[3];
    for (int i = 0; i < 3; ++i)
        Fault(nIndex[i] = IndexOfSize(1500000, 3000000, i), Slow());
    auto pA = Queue(nIndex[0]);
    auto pD = Queue(nIndex[2]);
    std::weak_ptr<CArticle> wB;
    {
        auto pB = Queue(nIndex[1]);
        wB = pB;
        m_articles.RemoveRow(m_articles.FindArticleRow(pB.get()));
        EXPECT_EQ(pB->m_nLists, ListProgress);
    }
    auto pC = Queue(IndexOfSize(1000, 500000)); // waits behind the three running
    EXPECT_EQ(pC->m_nState, StateQueued);
    m_progress.SetItemState(1, CArticleList::RowSelected, CArticleList::RowSelected);
    m_progress.SetItemState(2, CArticleList::RowSelected, CArticleList::RowSelected);
    m_prompts.m_answers = {true, true};
    m_progress.RemoveSelected();
    EXPECT_EQ(m_prompts.m_questions.back(),
              "The article is currently being downloaded.\nAre you sure you want to remove it?");
    EXPECT_EQ(pD->m_nState, StateRemoving);
    // Its worker still has it.
    ASSERT_FALSE(wB.expired());
    EXPECT_EQ(wB.lock()->m_nLists, 0);
    m_scheduler.SetPaused(true);
    pA->m_nRetries = 1;
    m_progress.SetItemState(0, CArticleList::RowSelected, CArticleList::RowSelected);
    EXPECT_EQ(CProgressCommands::CancelDownload(m_progress), 1);
    EXPECT_EQ(pA->m_nState, StateCancelled);
    m_pSim->ClearArticleFault(kGroup, nIndex[0]);
    ASSERT_TRUE(RunUntil([&] { return wB.expired() && m_scheduler.GetActiveDownloads() == 0; }));
    EXPECT_EQ(m_pQueue->Count("done:0"), 3u);
    EXPECT_EQ(QueueOrder(), pC->m_strSubject + pA->m_strSubject);
    EXPECT_EQ(testsupport::Join(pD->m_nState, pD->m_nLists, pA->m_nState, pA->m_nRetries),
              testsupport::Join(StateListed, ListArticles, StateQueued, 1));
    m_scheduler.SetPaused(false);
    ASSERT_TRUE(RunUntilIdle());
    EXPECT_EQ(testsupport::Join(pA->m_nState, pC->m_nState), testsupport::Join(StateDone, StateDone));
    EXPECT_TRUE(Saved(pA) == m_pSim->ExpectedBody(Gateway(nIndex[0])));
    EXPECT_EQ(m_pSim->Attempts(kGroup, nIndex[0]), 2);
}

TEST_F(GatewayDownloadTest, ExitWhileRunningLeavesTheArticleToItsWorker)
{
    Account(1);
    const int32_t nIndex = IndexOfSize(1500000, 3000000);
    Fault(nIndex, Slow());
    m_pDoc->m_settings.m_nMaxDownloads = 1;
    std::weak_ptr<CArticle> wArticle = Queue(nIndex);
    auto pWaiting = Queue(nIndex == 1 ? 2 : 1);
    m_scheduler.ShutdownDownloads();
    EXPECT_EQ(m_progress.GetItemCount(), 0);
    EXPECT_EQ(testsupport::Join(pWaiting->m_nState, pWaiting->m_nLists),
              testsupport::Join(StateQueued, ListArticles));
    {
        auto pRunning = wArticle.lock();
        ASSERT_TRUE(pRunning);
        std::lock_guard lock(pRunning->m_lock);
        EXPECT_EQ(testsupport::Join(pRunning->m_nState, pRunning->m_nLists, pRunning->m_hRunEvent->IsSet()),
                  testsupport::Join(StateShutdown, ListArticles, false));
    }
    m_articles.RemoveAll();
    pWaiting.reset();
    // Freed once, by the worker, which reports nothing: a report would hold
    // the article until the loop had handled it.
    ASSERT_TRUE(RunUntil([&] { return wArticle.expired(); }));
    auto pAccount = m_pDoc->FindAccount(1);
    std::lock_guard lock(pAccount->m_lock);
    EXPECT_EQ(pAccount->m_nRunning, 0);
    EXPECT_EQ(m_pQueue->Count("done:0") + m_pQueue->Count("done:1"), 0u);
}

using GatewayProgressTest = testsupport::WithRow<GatewayDownloadTest, bool>;

TEST_P(GatewayProgressTest, ReportsSpeedUnlessSwitchedOff)
{
    const bool bDisabled = GetParam();
    CDownloadOptions::SetProgressDisabled(bDisabled);
    Account(1);
    const int32_t nIndex = IndexOfSize(2200000, 3000000);
    CGatewayFault fault;
    fault.m_nThrottle = 1600000; // over a second: at least one whole second passes
    Fault(nIndex, fault);
    auto pA = Queue(nIndex);
    ASSERT_TRUE(RunUntilIdle());
    EXPECT_EQ(pA->m_nState, StateDone);
    EXPECT_EQ(testsupport::Join(m_pQueue->Count("progress") == 0, pA->GetTransfer().m_fSpeed == 0.0f,
                                pA->GetTransfer().m_strTimeLeft.size()),
              testsupport::Join(bDisabled, bDisabled, bDisabled ? 0 : 8));
}

INSTANTIATE_TEST_SUITE_P(Switch, GatewayProgressTest, ::testing::Bool());
} // namespace
