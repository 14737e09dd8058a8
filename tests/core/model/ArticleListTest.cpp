#include "model/ArticleList.h"
#include "support/TestSupport.h"
#include "ui/ListView.h"

#include <gtest/gtest.h>

#include <algorithm>

using testsupport::FakePrompts;
using testsupport::RecordingSink;

namespace
{
// Keeps its own row count from the notifications, as an item model would,
// and records the other calls.
class RecordingView : public IArticleListView
{
public:
    explicit RecordingView(const CArticleList* pList) : m_pList(pList) {}
    void OnRowsInserted(int nFirst, int nCount) override
    {
        EXPECT_LE(nFirst, m_nRows);
        m_nRows += nCount;
        ++m_nInserted;
    }
    void OnRowsRemoved(int nFirst, int nCount) override
    {
        EXPECT_LE(nFirst + nCount, m_nRows);
        m_nRows -= nCount;
        ++m_nRemoved;
    }
    void OnRowsMoved(int, int) override {}
    void OnRowsReset() override
    {
        m_nRows = m_pList->GetItemCount();
        ++m_nResets;
    }
    void OnRowChanged(int nRow) override { m_changed.push_back(nRow); }
    void OnSelectionChanged() override {}
    void EnsureVisible(int nRow) override { m_visible.push_back(nRow); }
    int GetTopIndex() const override { return m_nTop; }
    int GetCountPerPage() const override { return m_nPerPage; }
    void SetRedraw(bool bRedraw) override { m_redraw.push_back(bRedraw); }
    void BeginWaitCursor() override
    {
        ++m_nWaitDepth;
        ++m_nWaitCursors;
    }
    void EndWaitCursor() override { --m_nWaitDepth; }

    const CArticleList* m_pList;
    int m_nRows = 0;
    int m_nInserted = 0;
    int m_nRemoved = 0;
    int m_nResets = 0;
    std::vector<int> m_changed;
    std::vector<int> m_visible;
    std::vector<bool> m_redraw;
    int m_nTop = 0;
    int m_nPerPage = 10;
    int m_nWaitDepth = 0;
    int m_nWaitCursors = 0;
};

ArticlePtr MakeArticle(int32_t nState, int32_t nLists, const std::string& strSubject = "")
{
    auto p = std::make_shared<CArticle>();
    p->m_nState = nState;
    p->m_nLists = nLists;
    p->m_nRetries = 2;
    p->m_strSubject = strSubject;
    return p;
}

struct ProgressFixture
{
    ProgressFixture() : list(CArticleList::KindProgress), view(&list)
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
    CArticleList list;
    RecordingView view;
    FakePrompts prompts;
    RecordingSink sink;
};

const char* kQuestion = "The article is currently being downloaded.\nAre you sure you want to remove it?";
} // namespace

TEST(ArticleListTest, RowOperationsTellTheView)
{
    CArticleList list(CArticleList::KindArticles);
    RecordingView view(&list);
    list.SetView(&view);
    auto a = MakeArticle(StateListed, 1);
    auto b = MakeArticle(StateListed, 1);
    auto c = MakeArticle(StateListed, 1);
    EXPECT_EQ(list.AddArticleRow(a), 0);
    EXPECT_EQ(list.AddArticleRow(c), 1);
    EXPECT_EQ(list.InsertArticleRow(1, b), 1);
    EXPECT_EQ(list.InsertArticleRow(99, MakeArticle(StateListed, 1)), 3) << "clamped to the end";
    EXPECT_EQ(view.m_nRows, 4);
    EXPECT_EQ(list.FindArticleRow(c.get()), 2);
    EXPECT_EQ(list.FindArticleRow(nullptr), -1);
    list.DeleteRow(3);
    list.DeleteRow(7);
    EXPECT_EQ(view.m_nRows, 3);
    EXPECT_TRUE(view.m_visible.empty()) << "auto-scroll is off";

    list.SetAutoScroll(true);
    list.AddArticleRow(MakeArticle(StateListed, 1));
    EXPECT_EQ(view.m_visible, std::vector<int>{3});
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
    RecordingView view(&list);
    view.m_nRows = 30;
    view.m_nTop = 10;
    view.m_nPerPage = 5;
    list.SetView(&view);
    for (int nRow : {9, 10, 14, 15, 29})
        list.RedrawArticleRow(articles[static_cast<size_t>(nRow)].get());
    list.RedrawArticleRow(MakeArticle(StateListed, 1).get());
    EXPECT_EQ(view.m_changed, (std::vector<int>{10, 14}));
}

TEST(ArticleListTest, SelectionAndFocus)
{
    CArticleList list(CArticleList::KindArticles);
    for (int i = 0; i < 5; ++i)
        list.AddArticleRow(MakeArticle(StateListed, 1));
    list.SetItemState(1, CArticleList::RowSelected, CArticleList::RowSelected);
    list.SetItemState(3, CArticleList::RowSelected | CArticleList::RowFocused, 0xFF);
    list.SetItemState(4, CArticleList::RowFocused, CArticleList::RowFocused);
    EXPECT_EQ(list.GetSelectedCount(), 2);
    EXPECT_EQ(list.GetNextSelected(-1), 1);
    EXPECT_EQ(list.GetNextSelected(1), 3);
    EXPECT_EQ(list.GetNextSelected(3), -1);
    EXPECT_EQ(list.GetItemState(3), CArticleList::RowSelected) << "focus moved to row 4";
    EXPECT_EQ(list.GetItemState(4), CArticleList::RowFocused);
}

TEST(ArticleListTest, ArticleListRemovalKeepsQueuedArticle)
{
    CArticleList list(CArticleList::KindArticles);
    auto pQueued = MakeArticle(StateQueued, ListArticles | ListProgress);
    std::weak_ptr<CArticle> listedOnly;
    {
        auto p = MakeArticle(StateListed, ListArticles);
        listedOnly = p;
        list.AddArticleRow(p);
    }
    list.AddArticleRow(pQueued);
    list.RemoveAll();
    EXPECT_EQ(list.GetItemCount(), 0);
    EXPECT_EQ(pQueued->m_nLists, ListProgress);
    EXPECT_EQ(pQueued->m_nState, StateQueued) << "still queued in the progress list";
    EXPECT_EQ(pQueued->m_nRetries, 2);
    EXPECT_TRUE(listedOnly.expired()) << "no list holds it any more";
}

TEST(ArticleListTest, ProgressRemovalMembershipRules)
{
    ProgressFixture f;
    auto pQueuedListed = MakeArticle(StateQueued, ListArticles | ListProgress);
    auto pDone = MakeArticle(StateDone, ListProgress);
    auto pCancelled = MakeArticle(StateCancelled, ListProgress);
    std::weak_ptr<CArticle> done = pDone;
    f.list.AddArticleRow(pQueuedListed);
    f.list.AddArticleRow(std::move(pDone));
    f.list.AddArticleRow(pCancelled);

    EXPECT_TRUE(f.list.RemoveRow(0));
    EXPECT_EQ(pQueuedListed->m_nLists, ListArticles);
    EXPECT_EQ(pQueuedListed->m_nState, StateListed);
    EXPECT_EQ(pQueuedListed->m_nRetries, 0);

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
    EXPECT_EQ(messages[0].nMessage, WM_REDRAW_ARTICLE);
    EXPECT_EQ(messages[0].wParam, 0);
    EXPECT_EQ(messages[0].pArticle, pQueuedListed);
    EXPECT_EQ(messages[1].pArticle, pCancelled);
}

TEST(ArticleListTest, RunningDownloadAsksFirst)
{
    for (bool bAnswer : {false, true})
    {
        SCOPED_TRACE(bAnswer);
        ProgressFixture f;
        f.prompts.m_answers.push_back(bAnswer);
        auto pRunning = MakeArticle(StateDownloading, ListProgress);
        pRunning->m_hRunEvent = std::make_shared<CManualResetEvent>(true);
        f.list.AddArticleRow(pRunning);

        EXPECT_EQ(f.list.RemoveRow(0), bAnswer);
        ASSERT_EQ(f.prompts.m_questions.size(), 1u);
        EXPECT_EQ(f.prompts.m_questions[0], kQuestion);
        EXPECT_EQ(f.prompts.m_icons[0], PromptIcon::Question);
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

TEST(ArticleListTest, RemoveSelectedWithRunningMiddleRowKept)
{
    ProgressFixture f;
    f.prompts.m_answers.push_back(false);
    auto a = MakeArticle(StateQueued, ListProgress);
    auto b = MakeArticle(StateDownloading, ListProgress);
    auto c = MakeArticle(StateFailed, ListProgress);
    auto d = MakeArticle(StateQueued, ListProgress);
    for (const auto& p : {a, b, c, d})
        f.list.AddArticleRow(p);
    for (int nRow : {0, 1, 2})
        f.list.SetItemState(nRow, CArticleList::RowSelected, CArticleList::RowSelected);

    f.list.RemoveSelected();
    ASSERT_EQ(f.list.GetItemCount(), 2);
    EXPECT_EQ(f.list.GetArticle(0), b);
    EXPECT_EQ(f.list.GetArticle(1), d);
    EXPECT_TRUE(f.list.IsSelected(0));
    EXPECT_FALSE(f.list.IsSelected(1));
    EXPECT_EQ(f.prompts.m_questions.size(), 1u);
    EXPECT_EQ(f.view.m_nRows, 2);
    EXPECT_EQ(f.view.m_redraw, (std::vector<bool>{false, true}));
}

TEST(ArticleListTest, RemoveAllAsksFromTheLastRowUp)
{
    ProgressFixture f;
    f.prompts.m_answers = {true, false};
    auto first = MakeArticle(StateDownloading, ListProgress, "first");
    auto middle = MakeArticle(StateQueued, ListProgress, "middle");
    auto last = MakeArticle(StateDownloading, ListProgress, "last");
    for (const auto& p : {first, middle, last})
        f.list.AddArticleRow(p);
    f.list.RemoveAll();
    // The last row was asked first (Yes), the first row second (No).
    EXPECT_EQ(last->m_nState, StateRemoving);
    EXPECT_EQ(first->m_nState, StateDownloading);
    ASSERT_EQ(f.list.GetItemCount(), 1);
    EXPECT_EQ(f.list.GetArticle(0), first);
    EXPECT_EQ(f.view.m_nRows, 1);
    EXPECT_EQ(f.view.m_nWaitCursors, 1);
    EXPECT_EQ(f.view.m_nWaitDepth, 0);
    EXPECT_EQ(f.view.m_redraw, (std::vector<bool>{false, true}));
}

TEST(ArticleListTest, BulkRemovalOfManyRowsIsOnePass)
{
    CArticleList list(CArticleList::KindArticles);
    RecordingView view(&list);
    list.SetView(&view);
    constexpr int kRows = 100000;
    for (int i = 0; i < kRows; ++i)
        list.AddArticleRow(MakeArticle(StateListed, ListArticles));
    view.m_nInserted = 0;
    for (int i = 0; i < kRows; i += 2)
        list.SetItemState(i, CArticleList::RowSelected, CArticleList::RowSelected);
    list.RemoveSelected();
    EXPECT_EQ(list.GetItemCount(), kRows / 2);
    EXPECT_EQ(view.m_nRows, kRows / 2);
    EXPECT_EQ(list.GetSelectedCount(), 0);
    // Scattered rows are announced at once, not one by one.
    EXPECT_LE(view.m_nRemoved + view.m_nResets, 64);

    list.RemoveAll();
    EXPECT_EQ(list.GetItemCount(), 0);
    EXPECT_EQ(view.m_nRows, 0);
}

namespace
{
struct SortFixture
{
    SortFixture() : list(CArticleList::KindArticles), view(&list)
    {
        struct Row
        {
            const char* pszDate;
            const char* pszAuthor;
            int32_t nSize;
            int32_t nState;
        };
        const Row rows[] = {
            {"b", "carol", 300, StateListed},
            {"A", "Bob", 10, StateIncomplete},
            {"c", "alice", 2000, StateDone},
            {"a", "bob", 20, StateQueued},
        };
        for (const auto& row : rows)
        {
            auto p = MakeArticle(row.nState, ListArticles);
            p->m_strDate = row.pszDate;
            p->m_strAuthor = row.pszAuthor;
            p->m_nSize = row.nSize;
            p->m_strSubject = row.pszAuthor;
            p->m_strFileName = row.pszDate;
            list.AddArticleRow(p);
        }
        list.SetView(&view);
        view.m_nRows = list.GetItemCount();
    }
    std::string Column(int nColumn)
    {
        std::string str;
        for (int i = 0; i < list.GetItemCount(); ++i)
        {
            const auto& p = list.GetArticle(i);
            if (!str.empty())
                str += ",";
            switch (nColumn)
            {
            case 0:
                str += std::to_string(p->m_nState);
                break;
            case 1:
                str += p->m_strDate;
                break;
            case 2:
                str += p->m_strAuthor;
                break;
            default:
                str += std::to_string(p->m_nSize);
            }
        }
        return str;
    }
    CArticleList list;
    RecordingView view;
};
} // namespace

TEST(ArticleListTest, SortToggleSequences)
{
    // Ties keep their order (stable sort): "A" before "a", "Bob" before "bob".
    {
        SortFixture f;
        f.list.SortByColumn(1);
        EXPECT_EQ(f.Column(1), "A,a,b,c");
        f.list.SortByColumn(1);
        EXPECT_EQ(f.Column(1), "c,b,A,a");
        f.list.SortByColumn(2);
        EXPECT_EQ(f.Column(2), "alice,Bob,bob,carol");
        f.list.SortByColumn(2);
        EXPECT_EQ(f.Column(2), "carol,Bob,bob,alice");
    }
    {
        SortFixture f;
        f.list.SortByColumn(1);
        EXPECT_EQ(f.Column(1), "A,a,b,c");
        f.list.SortByColumn(2);
        EXPECT_EQ(f.Column(2), "alice,Bob,bob,carol") << "first click on a new column with the toggle set";
        f.list.SortByColumn(2);
        EXPECT_EQ(f.Column(2), "alice,Bob,bob,carol") << "and the second one ascends again";
        EXPECT_EQ(f.list.m_nSortColumn, 2);
        EXPECT_EQ(f.view.m_nWaitDepth, 0);
        EXPECT_EQ(f.view.m_nWaitCursors, 3);
    }
}

TEST(ArticleListTest, SortByStateAndSize)
{
    {
        SortFixture f;
        f.list.SortByColumn(0);
        EXPECT_EQ(f.Column(0), "5,3,0,-1") << "incomplete first, listed last";
        f.list.SortByColumn(0);
        EXPECT_EQ(f.Column(0), "-1,0,3,5");
    }
    SortFixture f;
    f.list.SortByColumn(3);
    EXPECT_EQ(f.Column(3), "10,20,300,2000");
    f.list.SortByColumn(3);
    EXPECT_EQ(f.Column(3), "2000,300,20,10");
    f.list.SortByColumn(3);
    EXPECT_EQ(f.Column(3), "10,20,300,2000");
}

TEST(ArticleListTest, SortKeepsSelectionWithItsRow)
{
    SortFixture f;
    auto pSize10 = f.list.GetArticle(1);
    f.list.SetItemState(1, CArticleList::RowSelected, CArticleList::RowSelected);
    f.list.SortByColumn(3);
    EXPECT_EQ(f.list.GetArticle(0), pSize10);
    EXPECT_TRUE(f.list.IsSelected(0));
    EXPECT_EQ(f.list.GetSelectedCount(), 1);
}
