#include "model/ArticleList.h"
#include "support/Articles.h"
#include "support/Join.h"
#include "support/RecordingListView.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>

using testsupport::FakePrompts;
using testsupport::RecordingListView;
using testsupport::RecordingSink;

namespace
{
ArticlePtr MakeArticle(int32_t nState, int32_t nLists, const std::string& strSubject = "")
{
    return testsupport::NewArticle(
        {.nState = nState, .nRetries = 2, .strSubject = strSubject, .nLists = nLists});
}

// A list of the given kind with its view; the progress list also has prompts
// and a message sink.
struct ListFixture
{
    explicit ListFixture(CArticleList::Kind nKind = CArticleList::KindProgress) : list(nKind), view(&list)
    {
        list.SetView(&view);
        list.SetPrompts(&prompts);
        list.SetNotify(&sink);
    }
    std::vector<CViewMessage> Drain()
    {
        std::vector<CViewMessage> messages;
        CViewMessage msg;
        while (sink.WaitNext(msg, std::chrono::milliseconds(0)))
            messages.push_back(msg);
        return messages;
    }
    void Add(int nCount, int32_t nState = StateListed, int32_t nLists = ListArticles)
    {
        for (int i = 0; i < nCount; ++i)
            list.AddArticleRow(MakeArticle(nState, nLists));
    }
    void Select(int nRow) { list.SetItemState(nRow, CArticleList::RowSelected, CArticleList::RowSelected); }
    CArticleList list;
    RecordingListView view;
    FakePrompts prompts;
    RecordingSink sink;
};

const char* kQuestion = "The article is currently being downloaded.\nAre you sure you want to remove it?";
} // namespace

TEST(ArticleListTest, RowOperationsTellTheView)
{
    ListFixture f(CArticleList::KindArticles);
    auto a = MakeArticle(StateListed, 1);
    auto b = MakeArticle(StateListed, 1);
    auto c = MakeArticle(StateListed, 1);
    EXPECT_EQ(f.list.AddArticleRow(a), 0);
    EXPECT_EQ(f.list.AddArticleRow(c), 1);
    EXPECT_EQ(f.list.InsertArticleRow(1, b), 1);
    EXPECT_EQ(f.list.InsertArticleRow(99, MakeArticle(StateListed, 1)), 3) << "clamped to the end";
    EXPECT_EQ(f.view.m_nRows, 4);
    EXPECT_EQ(f.list.FindArticleRow(c.get()), 2);
    EXPECT_EQ(f.list.FindArticleRow(nullptr), -1);
    f.list.DeleteRow(3);
    f.list.DeleteRow(7);
    EXPECT_EQ(f.view.m_nRows, 3);
    EXPECT_TRUE(f.view.m_visible.empty()) << "auto-scroll is off";

    f.list.SetAutoScroll(true);
    f.Add(1);
    EXPECT_EQ(f.view.m_visible, std::vector<int>{3});

    f.Select(1);
    f.list.SetItemState(3, CArticleList::RowSelected | CArticleList::RowFocused, 0xFF);
    f.list.SetItemState(2, CArticleList::RowFocused, CArticleList::RowFocused);
    EXPECT_EQ(f.list.GetSelectedCount(), 2);
    EXPECT_EQ(f.list.GetNextSelected(-1), 1);
    EXPECT_EQ(f.list.GetNextSelected(1), 3);
    EXPECT_EQ(f.list.GetNextSelected(3), -1);
    EXPECT_EQ(f.list.GetItemState(3), CArticleList::RowSelected) << "focus moved to row 2";
    EXPECT_EQ(f.list.GetItemState(2), CArticleList::RowFocused);

    // Removed from the article list, a queued article stays queued in the
    // progress list; one no list holds any more is freed.
    auto pQueued = MakeArticle(StateQueued, ListArticles | ListProgress);
    f.list.AddArticleRow(pQueued);
    std::weak_ptr<CArticle> listedOnly = f.list.GetArticle(0);
    a.reset();
    f.list.RemoveAll();
    EXPECT_EQ(f.list.GetItemCount(), 0);
    EXPECT_EQ(testsupport::Join(pQueued->m_nLists, pQueued->m_nState, pQueued->m_nRetries),
              testsupport::Join(ListProgress, StateQueued, 2));
    EXPECT_TRUE(listedOnly.expired());
}

TEST(ArticleListTest, RedrawOnlyOnTheVisiblePage)
{
    CArticleList list(CArticleList::KindArticles);
    std::vector<ArticlePtr> articles;
    for (int i = 0; i < 30; ++i)
    {
        articles.push_back(MakeArticle(StateListed, 1));
        list.AddArticleRow(articles.back());
    }
    list.RedrawArticleRow(articles[5].get()); // no view: nothing, no crash
    RecordingListView view(&list);
    view.m_nRows = 30;
    view.m_nTop = 10;
    view.m_nPerPage = 5;
    list.SetView(&view);
    for (int nRow : {9, 10, 14, 15, 29})
        list.RedrawArticleRow(articles[static_cast<size_t>(nRow)].get());
    list.RedrawArticleRow(MakeArticle(StateListed, 1).get());
    EXPECT_EQ(view.m_changed, (std::vector<int>{10, 14}));
}

TEST(ArticleListTest, ProgressRemovalMembershipRules)
{
    ListFixture f;
    auto pQueuedListed = MakeArticle(StateQueued, ListArticles | ListProgress);
    auto pCancelled = MakeArticle(StateCancelled, ListProgress);
    f.list.AddArticleRow(pQueuedListed);
    f.Add(1, StateDone, ListProgress);
    std::weak_ptr<CArticle> done = f.list.GetArticle(1);
    f.list.AddArticleRow(pCancelled);

    EXPECT_TRUE(f.list.RemoveRow(0));
    EXPECT_EQ(testsupport::Join(pQueuedListed->m_nLists, pQueuedListed->m_nState, pQueuedListed->m_nRetries),
              testsupport::Join(ListArticles, StateListed, 0));

    EXPECT_TRUE(f.list.RemoveRow(0));
    EXPECT_TRUE(done.expired());

    EXPECT_TRUE(f.list.RemoveRow(0));
    EXPECT_EQ(pCancelled->m_nState, StateCancelled) << "its worker still runs";
    EXPECT_TRUE(f.prompts.m_questions.empty());
    EXPECT_EQ(f.view.m_nRows, 0);

    // Redraw messages for the listed article and the cancelled one, not for
    // the one that was freed.
    auto messages = f.Drain();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(testsupport::Join(messages[0].nMessage, messages[0].wParam, messages[0].pArticle,
                                messages[1].pArticle),
              testsupport::Join(WM_REDRAW_ARTICLE, 0, pQueuedListed, pCancelled));
}

TEST(ArticleListTest, RunningDownloadAsksFirst)
{
    for (bool bAnswer : {false, true})
    {
        SCOPED_TRACE(bAnswer);
        ListFixture f;
        f.prompts.m_answers.push_back(bAnswer);
        auto pRunning = MakeArticle(StateDownloading, ListProgress);
        pRunning->m_hRunEvent = std::make_shared<CManualResetEvent>(true);
        f.list.AddArticleRow(pRunning);

        EXPECT_EQ(f.list.RemoveRow(0), bAnswer);
        EXPECT_EQ(f.prompts.m_questions, std::vector<std::string>{kQuestion});
        EXPECT_EQ(f.prompts.m_icons, std::vector<PromptIcon>{PromptIcon::Question});
        EXPECT_EQ(f.list.GetItemCount(), bAnswer ? 0 : 1);
        EXPECT_EQ(pRunning->m_nState, bAnswer ? StateRemoving : StateDownloading);
        EXPECT_EQ(pRunning->m_nLists, bAnswer ? 0 : ListProgress);
        EXPECT_EQ(pRunning->m_hRunEvent->IsSet(), !bAnswer) << "Yes stops the worker";
        // Either way the article list is asked to redraw the article.
        auto messages = f.Drain();
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_EQ(messages[0].pArticle, pRunning);
    }
}

// Running rows are asked for, from the last row up; the others go at once.
TEST(ArticleListTest, RemoveSelectedAndRemoveAllAskForRunningRows)
{
    ListFixture f;
    f.prompts.m_answers.push_back(false);
    const int32_t states[] = {StateQueued, StateDownloading, StateFailed, StateQueued};
    for (int32_t nState : states)
        f.Add(1, nState, ListProgress);
    const ArticlePtr b = f.list.GetArticle(1);
    const ArticlePtr d = f.list.GetArticle(3);
    for (int nRow : {0, 1, 2})
        f.Select(nRow);

    f.list.RemoveSelected();
    ASSERT_EQ(f.list.GetItemCount(), 2);
    EXPECT_EQ(f.list.GetArticle(0), b);
    EXPECT_EQ(f.list.GetArticle(1), d);
    EXPECT_TRUE(f.list.IsSelected(0));
    EXPECT_FALSE(f.list.IsSelected(1));
    EXPECT_EQ(f.prompts.m_questions.size(), 1u);
    EXPECT_EQ(f.view.m_nRows, 2);
    EXPECT_EQ(f.view.m_redraw, (std::vector<bool>{false, true}));

    f.prompts.m_answers = {true, false};
    f.Add(1, StateDownloading, ListProgress);
    const ArticlePtr last = f.list.GetArticle(2);
    const int nWaits = f.view.m_nWaitCursors;
    f.list.RemoveAll();
    // The last row was asked first (Yes), the running one before it second (No).
    EXPECT_EQ(last->m_nState, StateRemoving);
    EXPECT_EQ(b->m_nState, StateDownloading);
    ASSERT_EQ(f.list.GetItemCount(), 1);
    EXPECT_EQ(f.list.GetArticle(0), b);
    EXPECT_EQ(f.view.m_nRows, 1);
    EXPECT_EQ(f.view.m_nWaitCursors, nWaits + 1);
    EXPECT_EQ(f.view.m_nWaitDepth, 0);
}

TEST(ArticleListTest, BulkRemovalOfManyRowsIsOnePass)
{
    ListFixture f(CArticleList::KindArticles);
    constexpr int kRows = 100000;
    f.Add(kRows);
    for (int i = 0; i < kRows; i += 2)
        f.Select(i);
    f.list.RemoveSelected();
    EXPECT_EQ(f.list.GetItemCount(), kRows / 2);
    EXPECT_EQ(f.view.m_nRows, kRows / 2);
    EXPECT_EQ(f.list.GetSelectedCount(), 0);
    // Scattered rows are announced at once, not one by one.
    EXPECT_LE(f.view.m_nRemoved + f.view.m_nResets, 64);

    f.list.RemoveAll();
    EXPECT_EQ(f.list.GetItemCount(), 0);
    EXPECT_EQ(f.view.m_nRows, 0);
}

// Column clicks over four rows (state, date, author, size): (-1, "b", "carol",
// 300), (5, "A", "Bob", 10), (3, "c", "alice", 2000), (0, "a", "bob", 20); the
// clicked column after each click. Ties keep their order (stable sort): "A"
// before "a", "Bob" before "bob". A first click on a new column while the
// toggle is set ascends, and so does the second one. The selection goes with
// its row.
TEST(ArticleListTest, ClicksSortAndToggle)
{
    using Clicks = std::pair<std::vector<int>, std::vector<std::string>>;
    for (const auto& [clicks, expected] :
         {Clicks{{1, 1, 2, 2}, {"A,a,b,c", "c,b,A,a", "alice,Bob,bob,carol", "carol,Bob,bob,alice"}},
          Clicks{{1, 2, 2}, {"A,a,b,c", "alice,Bob,bob,carol", "alice,Bob,bob,carol"}},
          Clicks{{0, 0}, {"5,3,0,-1", "-1,0,3,5"}},
          Clicks{{3, 3, 3}, {"10,20,300,2000", "2000,300,20,10", "10,20,300,2000"}}})
    {
        ListFixture f(CArticleList::KindArticles);
        for (auto [pszDate, pszAuthor, nSize, nState] :
             {std::tuple{"b", "carol", 300, StateListed}, std::tuple{"A", "Bob", 10, StateIncomplete},
              std::tuple{"c", "alice", 2000, StateDone}, std::tuple{"a", "bob", 20, StateQueued}})
        {
            auto p = MakeArticle(nState, ListArticles);
            p->m_strDate.assign(pszDate);
            p->m_strAuthor.assign(pszAuthor);
            p->m_nSize = nSize;
            f.list.AddArticleRow(p);
        }
        auto pSize10 = f.list.GetArticle(1);
        f.Select(1);
        for (size_t i = 0; i < clicks.size(); ++i)
        {
            f.list.SortByColumn(clicks[i]);
            std::string str;
            for (int nRow = 0; nRow < f.list.GetItemCount(); ++nRow)
            {
                const CArticle& a = *f.list.GetArticle(nRow);
                str += nRow ? "," : "";
                str += clicks[i] == 0   ? std::to_string(a.m_nState)
                       : clicks[i] == 1 ? a.m_strDate
                       : clicks[i] == 2 ? a.m_strAuthor
                                        : std::to_string(a.m_nSize);
            }
            EXPECT_EQ(str, expected[i]) << "click " << i;
        }
        EXPECT_EQ(f.list.m_nSortColumn, clicks.back());
        EXPECT_EQ(f.view.m_nWaitDepth, 0);
        EXPECT_EQ(f.view.m_nWaitCursors, static_cast<int>(clicks.size()));
        EXPECT_EQ(f.list.GetSelectedCount(), 1);
        EXPECT_TRUE(f.list.IsSelected(f.list.FindArticleRow(pSize10.get())));
    }
}

// Subjects that agree in their first eight bytes, or in all of them but case,
// sort by the rest: case-insensitively, bytes above 0x7f after ASCII, a
// shorter text before its extensions, ties in their old order both ways.
TEST(ArticleListTest, SortsLongTextsPastTheirFirstBytes)
{
    ListFixture f(CArticleList::KindArticles);
    for (const char* psz : {"holiday photos 2", "Holiday", "HOLIDAY PHOTOS 10", "holiday photos \xc3\xa9",
                            "holiday photos 2", "holiday photos", "Holiday Photos 2", "holidays"})
        f.list.AddArticleRow(MakeArticle(StateListed, ListArticles, psz));
    auto order = [&]
    {
        std::string str;
        for (int nRow = 0; nRow < f.list.GetItemCount(); ++nRow)
            str += (nRow ? "|" : "") + f.list.GetArticle(nRow)->m_strSubject;
        return str;
    };
    f.list.SortByColumn(4);
    EXPECT_EQ(order(), "Holiday|holiday photos|HOLIDAY PHOTOS 10|holiday photos 2|holiday photos 2|"
                       "Holiday Photos 2|holiday photos \xc3\xa9|holidays");
    f.list.SortByColumn(4);
    EXPECT_EQ(order(), "holidays|holiday photos \xc3\xa9|holiday photos 2|holiday photos 2|Holiday Photos 2|"
                       "HOLIDAY PHOTOS 10|holiday photos|Holiday");
}
