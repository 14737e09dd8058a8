#include "export/ExportFixture.h"

#include <gtest/gtest.h>

#include "export/ClipboardHandOff.h"
#include "support/Join.h"

#include <algorithm>
#include <filesystem>

namespace
{
using exporttest::ExportTest;

class CopyQueueTest : public ExportTest
{
protected:
    void SetUp() override
    {
        m_pFirst = Queued("q1");
        m_pExported = Queued("x1", StateExported);
        m_pRunning = Queued("r1", StateDownloading);
        m_pSecond = Queued("q2");
        m_pDone = Queued("d1", StateDone);
        m_pFailed = Queued("f1", StateFailed);
    }

    // The states of the queue's rows, top to bottom.
    std::string States() const
    {
        return testsupport::Join(m_pFirst->m_nState, m_pExported->m_nState, m_pRunning->m_nState,
                                 m_pSecond->m_nState, m_pDone->m_nState, m_pFailed->m_nState);
    }

    ArticlePtr m_pFirst, m_pExported, m_pRunning, m_pSecond, m_pDone, m_pFailed;
};

TEST_F(CopyQueueTest, AnsweredNoCopiesTheQueuedArticles)
{
    m_prompts.m_answers = {false};

    m_export.CopyQueueToClipboard(false);

    EXPECT_EQ(m_prompts.m_questions, std::vector<std::string>{"Include already exported articles?"});
    EXPECT_EQ(m_prompts.m_icons, std::vector<PromptIcon>{PromptIcon::None});
    EXPECT_EQ(m_system.m_clipboard, std::vector<std::string>{NewsGuyUrl("q1") + NewsGuyUrl("q2")});
    EXPECT_EQ(States(), testsupport::Join(StateExported, StateExported, StateDownloading, StateExported,
                                          StateDone, StateFailed));
    // The exported rows stay in the queue, redrawn in both lists.
    EXPECT_EQ(m_progress.GetItemCount(), 6);
    EXPECT_EQ(std::count(m_system.m_events.begin(), m_system.m_events.end(), "redraw progress 3"), 1);
    EXPECT_EQ(std::count(m_system.m_events.begin(), m_system.m_events.end(), "redraw articles 3"), 1);
    EXPECT_TRUE(m_prompts.m_messages.empty());
}

// Yes also copies the exported ones, in queue order; with credentials every
// line carries them.
TEST_F(CopyQueueTest, AnsweredYesOrWithCredentials)
{
    m_prompts.m_answers = {true, true};
    m_export.CopyQueueToClipboard(false);
    EXPECT_EQ(m_system.m_clipboard.back(), NewsGuyUrl("q1") + NewsGuyUrl("x1") + NewsGuyUrl("q2"));
    m_export.OnTimer(CClipboardHandOff::kTimerId);
    m_export.CopyQueueToClipboard(true);
    EXPECT_EQ(m_system.m_clipboard.back(),
              NewsGuyUrl("q1", true) + NewsGuyUrl("x1", true) + NewsGuyUrl("q2", true));
}

TEST_F(CopyQueueTest, ClipboardUnavailableOnceAndTheArticlesStayExported)
{
    m_system.m_bClipboardAvailable = false;
    m_prompts.m_answers = {false};

    m_export.CopyQueueToClipboard(false);

    EXPECT_EQ(m_prompts.m_messages, std::vector<std::string>{"Can't open clipboard!"});
    EXPECT_EQ(States(), testsupport::Join(StateExported, StateExported, StateDownloading, StateExported,
                                          StateDone, StateFailed));
}

TEST_F(ExportTest, CopyQueueOfOnlyRunningAndFinishedDoesNothing)
{
    EXPECT_FALSE(m_export.CanCopyQueueToClipboard());
    ArticlePtr pRunning = Queued("r", StateDownloading);
    ArticlePtr pDone = Queued("d", StateDone);
    m_prompts.m_answers = {true};
    EXPECT_TRUE(m_export.CanCopyQueueToClipboard());

    m_export.CopyQueueToClipboard(false);

    EXPECT_TRUE(m_system.m_clipboard.empty());
    EXPECT_TRUE(m_prompts.m_messages.empty());
    EXPECT_EQ(pRunning->m_nState, StateDownloading);
    EXPECT_EQ(pDone->m_nState, StateDone);
    EXPECT_FALSE(m_clock.IsRunning(CClipboardHandOff::kTimerId));
}

// The list replaces the old one.
TEST_F(CopyQueueTest, GetRightListHoldsTheQueuedUrlsWithCrCrLf)
{
    testsupport::WriteFile(m_dir.File("GetRight.lst"), std::string(5000, 'x'));
    m_export.ExportQueueToGetRight();

    const std::string strPath = m_dir.File("GetRight.lst");
    EXPECT_EQ(testsupport::ReadFile(strPath), "http://dl.newsguy.com/news-bin/wwwdecode?q1\r\r\n"
                                              "http://dl.newsguy.com/news-bin/wwwdecode?q2\r\r\n");
    ASSERT_EQ(m_system.m_started.size(), 1u);
    const auto& started = m_system.m_started[0];
    EXPECT_EQ(started.strProgram + " in " + started.strWorkingFolder, "/opt/getright/getright in /");
    EXPECT_EQ(started.args, std::vector<std::string>{strPath});
    EXPECT_EQ(States(), testsupport::Join(StateExported, StateExported, StateDownloading, StateExported,
                                          StateDone, StateFailed));
    EXPECT_TRUE(m_prompts.m_questions.empty());
    // Written before GetRight was started.
    EXPECT_EQ(m_system.m_events.back(), "start /opt/getright/getright");
}

// Without queued articles nothing is written or started; a list that cannot
// be written leaves the articles queued.
TEST_F(ExportTest, GetRightWithoutQueuedArticlesOrAListWritesNothingAndStartsNothing)
{
    Queued("x", StateExported);
    Queued("r", StateDownloading);
    m_export.ExportQueueToGetRight();
    EXPECT_FALSE(std::filesystem::exists(m_dir.File("GetRight.lst")));

    CQueueExport exportTo(m_pDoc, m_articles, m_progress, &m_system, &m_prompts, &m_clock,
                          CDataFolder(m_dir.File("missing-folder")));
    ArticlePtr pArticle = Queued("q");
    exportTo.ExportQueueToGetRight();
    EXPECT_EQ(pArticle->m_nState, StateQueued);
    EXPECT_TRUE(m_system.m_started.empty());
}
} // namespace
