// The scheduler with the real hand-off and tools behind it: what the user sees
// when "&Use a download manager" is on, and when the queue ends.

#include "download/SchedulerFixture.h"
#include "export/ClipboardHandOff.h"
#include "export/QueueExport.h"
#include "settings/Preferences.h"
#include "tools/FakeSystemServices.h"
#include "tools/QueueTools.h"

#include <gtest/gtest.h>

namespace
{
class SchedulerHandOffTest : public ::testing::Test
{
protected:
    SchedulerHandOffTest()
        : m_pDoc(std::make_shared<CQueueDocument>()), m_articles(CArticleList::KindArticles),
          m_progress(CArticleList::KindProgress),
          m_scheduler(m_pDoc, m_articles, m_progress, nullptr, &m_prompts),
          m_export(m_pDoc, m_articles, m_progress, &m_system, &m_prompts, &m_clock,
                   CDataFolder(m_dir.Path().string())),
          m_tools(m_pDoc->m_settings, &m_system, &m_prompts, &m_clock)
    {
        downloadtest::AddAccount(*m_pDoc, 1, 2, "dl.newsguy.com");
        m_scheduler.SetHandOff(&m_export);
        m_scheduler.SetQueueTools(&m_tools);
        m_tools.SetShutdownSave([this] { m_system.m_events.push_back("save"); });
        m_tools.SetCloseMainWindow([this] { m_system.m_events.push_back("close"); });
    }

    ArticlePtr Select(const std::string& strQuery)
    {
        ArticlePtr pArticle = downloadtest::MakeListed(1, strQuery);
        pArticle->m_strDecodeQuery = strQuery;
        int nRow = m_articles.AddArticleRow(pArticle);
        m_articles.SetItemState(nRow, CArticleList::RowSelected, CArticleList::RowSelected);
        return pArticle;
    }

    testsupport::TempDir m_dir;
    std::shared_ptr<CQueueDocument> m_pDoc;
    CArticleList m_articles;
    CArticleList m_progress;
    testsupport::FakePrompts m_prompts;
    toolstest::FakeSystemServices m_system;
    toolstest::FakeTimerClock m_clock;
    downloadtest::RecordingScheduler m_scheduler;
    CQueueExport m_export;
    CQueueTools m_tools;
};

TEST_F(SchedulerHandOffTest, DownloadWithAManagerPutsTheUrlsOnTheClipboardOneBySecond)
{
    m_pDoc->m_settings.m_bDoNotQueue = 1;
    m_pDoc->m_settings.m_nDownloadManager = 0;
    ArticlePtr pA = Select("a");
    ArticlePtr pB = Select("b");
    ArticlePtr pC = Select("c");

    m_scheduler.QueueSelectedArticles("/dl/");
    while (m_clock.IsRunning(CClipboardHandOff::kTimerId))
        m_export.OnTimer(CClipboardHandOff::kTimerId);

    const std::string strPrefix = "http://dl.newsguy.com/news-bin/wwwdecode?";
    EXPECT_EQ(m_system.m_clipboard,
              (std::vector<std::string>{strPrefix + "a\r\n", strPrefix + "b\r\n", strPrefix + "c\r\n"}));
    for (const auto& pArticle : {pA, pB, pC})
    {
        EXPECT_EQ(pArticle->m_nState, StateExported);
        EXPECT_EQ(pArticle->m_strDownloadPath, "/dl/");
    }
    EXPECT_EQ(m_progress.GetItemCount(), 0);
    EXPECT_TRUE(m_scheduler.m_started.empty());
}

TEST_F(SchedulerHandOffTest, TheEndOfTheQueueDropsTheLinesThenPowersOff)
{
    m_tools.m_bHangUpWhenDone = 1;
    m_tools.m_bPowerOffWhenDone = 1;
    m_system.m_listed = {"ppp0"};
    m_system.m_active = {"ppp0"};

    m_scheduler.StartDownloads(); // nothing queued, nothing running: done

    EXPECT_EQ(m_system.m_hungUp, std::vector<std::string>{"ppp0"});
    EXPECT_EQ(m_system.m_nPowerOffs, 0);
    m_system.m_active.clear();
    m_tools.OnTimer(CQueueTools::kHangUpTimerId);
    EXPECT_EQ(m_system.m_events, (std::vector<std::string>{"save", "power-off", "close"}));
}

TEST_F(SchedulerHandOffTest, WithAManagerTheQueueHasNoEndActions)
{
    m_pDoc->m_settings.m_bDoNotQueue = 1;
    m_tools.m_bHangUpWhenDone = 1;
    m_tools.m_bPowerOffWhenDone = 1;
    m_system.m_listed = {"ppp0"};
    m_system.m_active = {"ppp0"};

    m_scheduler.StartDownloads();

    EXPECT_TRUE(m_system.m_hungUp.empty());
    EXPECT_EQ(m_system.m_nPowerOffs, 0);
}
} // namespace
