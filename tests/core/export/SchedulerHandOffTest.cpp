// The scheduler with the real hand-off and tools behind it: what the user sees
// when "&Use a download manager" is on, and when the queue ends.

#include "download/SchedulerFixture.h"
#include "export/ClipboardHandOff.h"
#include "export/ExportFixture.h"
#include "tools/QueueTools.h"

#include <gtest/gtest.h>

namespace
{
class SchedulerHandOffTest : public exporttest::ExportTest
{
protected:
    SchedulerHandOffTest()
    {
        m_scheduler.SetHandOff(&m_export);
        m_scheduler.SetQueueTools(&m_tools);
        m_tools.SetShutdownSave([this] { m_system.m_events.push_back("save"); });
        m_tools.SetCloseMainWindow([this] { m_system.m_events.push_back("close"); });
        SetManager(0);
    }

    ArticlePtr Select(const std::string& strQuery)
    {
        ArticlePtr pArticle = Listed(strQuery);
        m_articles.SetItemState(m_articles.FindArticleRow(pArticle.get()), CArticleList::RowSelected,
                                CArticleList::RowSelected);
        return pArticle;
    }

    downloadtest::RecordingScheduler m_scheduler{m_pDoc, m_articles, m_progress, nullptr, &m_prompts};
    CQueueTools m_tools{m_pDoc->m_settings, &m_system, &m_prompts, &m_clock};
};

TEST_F(SchedulerHandOffTest, DownloadWithAManagerPutsTheUrlsOnTheClipboardOneBySecond)
{
    m_pDoc->m_settings.m_bDoNotQueue = 1;
    ArticlePtr pA = Select("a");
    ArticlePtr pB = Select("b");
    ArticlePtr pC = Select("c");

    m_scheduler.QueueSelectedArticles("/dl/");
    while (m_clock.IsRunning(CClipboardHandOff::kTimerId))
        m_export.OnTimer(CClipboardHandOff::kTimerId);

    EXPECT_EQ(m_system.m_clipboard,
              (std::vector<std::string>{NewsGuyUrl("a"), NewsGuyUrl("b"), NewsGuyUrl("c")}));
    for (const auto& pArticle : {pA, pB, pC})
    {
        EXPECT_EQ(pArticle->m_nState, StateExported);
        EXPECT_EQ(pArticle->m_strDownloadPath, "/dl/");
    }
    EXPECT_EQ(m_progress.GetItemCount(), 0);
    EXPECT_TRUE(m_scheduler.m_started.empty());
}

// With a download manager the queue has no end actions.
TEST_F(SchedulerHandOffTest, TheEndOfTheQueueDropsTheLinesThenPowersOff)
{
    m_tools.m_bHangUpWhenDone = 1;
    m_tools.m_bPowerOffWhenDone = 1;
    for (int32_t bManager : {1, 0})
    {
        m_pDoc->m_settings.m_bDoNotQueue = bManager;
        m_system.m_listed = {"ppp0"};
        m_system.m_active = {"ppp0"};
        m_scheduler.StartDownloads(); // nothing queued, nothing running: done
        EXPECT_EQ(m_system.m_hungUp.size(), bManager ? 0u : 1u);
        EXPECT_EQ(m_system.m_nPowerOffs, 0);
    }
    m_system.m_active.clear();
    m_tools.OnTimer(CQueueTools::kHangUpTimerId);
    EXPECT_EQ(m_system.m_events, (std::vector<std::string>{"save", "power-off", "close"}));
}
} // namespace
