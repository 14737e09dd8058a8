#include "download/ProgressCommands.h"
#include "model/ArticleList.h"
#include "support/Articles.h"
#include "support/Join.h"
#include "support/TestSupport.h"
#include "support/WithRow.h"

#include <gtest/gtest.h>

namespace
{
class ProgressCommandsTest : public ::testing::Test
{
protected:
    void Fill(int nRows)
    {
        for (int i = 0; i < nRows; ++i)
            m_progress.AddArticleRow(
                testsupport::NewArticle({.nState = StateQueued,
                                         .strSubject = std::string(1, static_cast<char>('A' + i)),
                                         .nLists = ListProgress}));
    }
    void Select(std::initializer_list<int> rows)
    {
        for (int nRow : rows)
            m_progress.SetItemState(nRow, CArticleList::RowSelected, CArticleList::RowSelected);
    }
    void Run(int nRow)
    {
        auto& pArticle = m_progress.GetArticle(nRow);
        pArticle->m_nState = StateDownloading;
        pArticle->m_hRunEvent = std::make_shared<CManualResetEvent>(true);
    }
    std::string Order() const
    {
        std::string str;
        for (int i = 0; i < m_progress.GetItemCount(); ++i)
            str += m_progress.GetArticle(i)->m_strSubject;
        return str;
    }
    std::string Selected() const
    {
        std::string str;
        for (int i = 0; i < m_progress.GetItemCount(); ++i)
            if (m_progress.IsSelected(i))
                str += m_progress.GetArticle(i)->m_strSubject;
        return str;
    }

    CArticleList m_progress{CArticleList::KindProgress};
    testsupport::FakePrompts m_prompts;
};

TEST_F(ProgressCommandsTest, CancelMovesRunningRowsToTheBottomInTheirOrder)
{
    Fill(5);
    for (int i = 0; i < 4; ++i)
        Run(i);
    Select({0, 2, 4}); // E does not run: it stays
    EXPECT_EQ(CProgressCommands::CancelDownload(m_progress), 2);
    EXPECT_EQ(Order(), "BDEAC");
    // The rows' states and whether their workers may still run: B D E A C.
    std::string strRows;
    for (int i = 0; i < m_progress.GetItemCount(); ++i)
    {
        const ArticlePtr& p = m_progress.GetArticle(i);
        strRows += testsupport::Join(p->m_nState, p->m_hRunEvent && p->m_hRunEvent->IsSet());
    }
    EXPECT_EQ(strRows, testsupport::Join(StateDownloading, true, StateDownloading, true, StateQueued, false,
                                         StateCancelled, false, StateCancelled, false));
}

TEST_F(ProgressCommandsTest, EditPathRefusesRunningRowsOncePerRow)
{
    Fill(4);
    Run(0);
    Run(2);
    Select({0, 1, 2});
    CProgressCommands::EditDownloadPath(m_progress, "/new/", &m_prompts);
    EXPECT_EQ(m_prompts.m_messages,
              std::vector<std::string>(2, "Article is already downloading. The path cannot be changed."));
    // Row 3 is not selected.
    EXPECT_EQ(testsupport::Join(
                  m_progress.GetArticle(0)->m_strDownloadPath, m_progress.GetArticle(1)->m_strDownloadPath,
                  m_progress.GetArticle(2)->m_strDownloadPath, m_progress.GetArticle(3)->m_strDownloadPath),
              "|/new/|||");
}

TEST_F(ProgressCommandsTest, MoveToTop)
{
    Fill(4);
    EXPECT_FALSE(CProgressCommands::CanMoveToTop(m_progress));
    Select({2});
    EXPECT_TRUE(CProgressCommands::CanMoveToTop(m_progress));
    CProgressCommands::MoveToTop(m_progress);
    EXPECT_EQ(Order(), "CABD");
    EXPECT_EQ(Selected(), "");
    Select({1, 3});
    EXPECT_FALSE(CProgressCommands::CanMoveToTop(m_progress));
}

struct MoveCase
{
    const char* pszName;
    bool bUp;
    std::vector<int> selected;
    const char* pszOrder;
    const char* pszSelected;
};

using ProgressMove = testsupport::WithRow<ProgressCommandsTest, MoveCase>;

TEST_P(ProgressMove, ByOneRow)
{
    const MoveCase& c = GetParam();
    Fill(6);
    for (int nRow : c.selected)
        Select({nRow});
    if (c.bUp)
        CProgressCommands::MoveUp(m_progress);
    else
        CProgressCommands::MoveDown(m_progress);
    EXPECT_EQ(Order(), c.pszOrder);
    EXPECT_EQ(Selected(), c.pszSelected);
}

INSTANTIATE_TEST_SUITE_P(Cases, ProgressMove,
                         ::testing::Values(MoveCase{"UpTwoAndFive", true, {2, 5}, "ACBDFE", "CF"},
                                           MoveCase{"UpTopSelected", true, {0, 5}, "ABCDEF", "AF"},
                                           MoveCase{"UpAdjacent", true, {2, 3}, "ACDBEF", "CD"},
                                           MoveCase{"UpNothingSelected", true, {}, "ABCDEF", ""},
                                           MoveCase{"DownOneAndThree", false, {1, 3}, "ACBEDF", "BD"},
                                           MoveCase{"DownLastSelected", false, {1, 5}, "ABCDEF", "BF"},
                                           MoveCase{"DownAdjacent", false, {3, 4}, "ABCFDE", "DE"},
                                           MoveCase{"DownNothingSelected", false, {}, "ABCDEF", ""}),
                         [](const ::testing::TestParamInfo<MoveCase>& info)
                         { return std::string(info.param.pszName); });
} // namespace
