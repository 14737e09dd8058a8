#include "filters/ArticleSearch.h"

#include "support/TestSupport.h"
#include "ui/ListView.h"

#include <gtest/gtest.h>

#include <list>
#include <memory>
#include <ostream>
#include <random>
#include <string>
#include <vector>

namespace
{

using testsupport::FakePrompts;
using Texts = std::vector<std::string>;

// Records what the operations ask of the widget.
class CRecordingView : public IArticleListView
{
public:
    void OnRowsInserted(int, int) override {}
    void OnRowsRemoved(int, int) override { m_nDrawnChanges += m_bRedraw ? 1 : 0; }
    void OnRowsMoved(int, int) override {}
    void OnRowsReset() override { m_nDrawnChanges += m_bRedraw ? 1 : 0; }
    void OnRowChanged(int) override {}
    void OnSelectionChanged() override {}
    void EnsureVisible(int nRow) override { m_visible.push_back(nRow); }
    int GetTopIndex() const override { return 0; }
    int GetCountPerPage() const override { return 20; }
    void SetRedraw(bool bRedraw) override
    {
        m_redraw.push_back(bRedraw);
        m_bRedraw = bRedraw;
    }
    // Redrawing was off for the whole walk and is on again.
    bool RedrawnOnceAtTheEnd() const
    {
        return !m_redraw.empty() && !m_redraw.front() && m_bRedraw && m_nDrawnChanges == 0;
    }
    void BeginWaitCursor() override { ++m_nWait; }
    void EndWaitCursor() override { --m_nWait; }

    std::vector<int> m_visible;
    std::vector<bool> m_redraw;
    int m_nWait = 0;
    bool m_bRedraw = true;
    int m_nDrawnChanges = 0; // rows removed while redrawing was on
};

ArticlePtr MakeArticle(const std::string& strSubject, const std::string& strAuthor = "poster@example.org",
                       int32_t nState = StateListed)
{
    auto pArticle = std::make_shared<CArticle>();
    pArticle->m_strSubject = strSubject;
    pArticle->m_strAuthor = strAuthor;
    pArticle->m_nState = nState;
    return pArticle;
}

class ArticleSearchTest : public ::testing::Test
{
protected:
    ArticleSearchTest() : m_list(CArticleList::KindArticles), m_progress(CArticleList::KindProgress)
    {
        m_list.SetView(&m_view);
        m_list.SetPrompts(&m_prompts);
        m_progress.SetPrompts(&m_prompts);
    }

    ArticlePtr List(ArticlePtr pArticle)
    {
        pArticle->m_nLists |= ListArticles;
        m_list.AddArticleRow(pArticle);
        return pArticle;
    }
    void ListSubjects(const Texts& subjects)
    {
        for (const std::string& strSubject : subjects)
            List(MakeArticle(strSubject));
    }
    ArticlePtr Queue(ArticlePtr pArticle)
    {
        pArticle->m_nLists |= ListProgress;
        pArticle->m_nState = StateQueued;
        m_progress.AddArticleRow(pArticle);
        return pArticle;
    }

    Texts Subjects() const
    {
        Texts subjects;
        for (int i = 0; i < m_list.GetItemCount(); ++i)
            subjects.push_back(m_list.GetArticle(i)->m_strSubject);
        return subjects;
    }
    Texts SelectedSubjects() const
    {
        Texts subjects;
        for (int i = 0; i < m_list.GetItemCount(); ++i)
            if (m_list.IsSelected(i))
                subjects.push_back(m_list.GetArticle(i)->m_strSubject);
        return subjects;
    }

    CRecordingView m_view;
    FakePrompts m_prompts;
    CArticleList m_list;
    CArticleList m_progress;
};

// --- Find ---------------------------------------------------------------

TEST_F(ArticleSearchTest, FindIgnoresCaseUnlessMatchCase)
{
    ListSubjects({"holiday pictures", "HOLIDAY VIDEO", "work"});
    m_list.SetItemState(0, CArticleList::RowSelected, CArticleList::RowSelected);

    EXPECT_TRUE(CArticleSearch::Find(m_list, "video", false, &m_prompts));
    EXPECT_EQ(SelectedSubjects(), Texts{"HOLIDAY VIDEO"});
    EXPECT_EQ(m_list.GetItemState(1), CArticleList::RowSelected | CArticleList::RowFocused);
    // The earlier selection was cleared; the focus moved to the hit.
    EXPECT_EQ(m_list.GetItemState(0), 0);
    EXPECT_EQ(m_view.m_visible, std::vector<int>{1});

    EXPECT_FALSE(CArticleSearch::Find(m_list, "video", true, &m_prompts));
    EXPECT_TRUE(SelectedSubjects().empty());
    EXPECT_EQ(m_prompts.m_messages, Texts{"Not found: video"});
    EXPECT_EQ(m_view.m_nWait, 0);
}

TEST_F(ArticleSearchTest, FindNextWalksTheMatchesAndStartsAgainAfterNotFound)
{
    ListSubjects({"alpha", "Match one", "beta", "another MATCH", "gamma"});

    EXPECT_TRUE(CArticleSearch::Find(m_list, "match", false, &m_prompts));
    EXPECT_EQ(SelectedSubjects(), Texts{"Match one"});
    EXPECT_EQ(m_list.m_nFindFrom, 2);

    EXPECT_TRUE(CArticleSearch::FindNext(m_list, &m_prompts));
    EXPECT_EQ(SelectedSubjects(), Texts{"another MATCH"});
    EXPECT_EQ(m_list.m_nFindFrom, 4);
    EXPECT_TRUE(m_prompts.m_messages.empty());

    // After the second hit: not found, the selection is gone, the next search
    // starts at the top, and F3 stays enabled.
    EXPECT_FALSE(CArticleSearch::FindNext(m_list, &m_prompts));
    EXPECT_EQ(m_prompts.m_messages, Texts{"Not found: match"});
    EXPECT_TRUE(SelectedSubjects().empty());
    EXPECT_EQ(m_list.m_nFindFrom, 0);
    EXPECT_EQ(m_list.m_bFound, 1);

    EXPECT_TRUE(CArticleSearch::FindNext(m_list, &m_prompts));
    EXPECT_EQ(SelectedSubjects(), Texts{"Match one"});
    EXPECT_EQ(m_view.m_visible, (std::vector<int>{1, 3, 1}));
    EXPECT_EQ(m_view.m_nWait, 0);
}

TEST_F(ArticleSearchTest, FindDropsBlanksAroundTheText)
{
    ListSubjects({"intro", "holiday pictures"});
    EXPECT_TRUE(CArticleSearch::Find(m_list, "  \tholiday ", false, &m_prompts));
    EXPECT_EQ(m_list.m_strFind, "holiday");
    EXPECT_EQ(SelectedSubjects(), Texts{"holiday pictures"});
}

TEST_F(ArticleSearchTest, FindLooksAtTheSubjectOnly)
{
    List(MakeArticle("some subject", "Wanted Author"));
    EXPECT_FALSE(CArticleSearch::Find(m_list, "wanted", false, &m_prompts));
    EXPECT_EQ(m_prompts.m_messages, Texts{"Not found: wanted"});
    EXPECT_EQ(m_list.m_bFound, 0);
}

TEST_F(ArticleSearchTest, NotFoundShowsTheTextAsStored)
{
    ListSubjects({"abc"});
    EXPECT_FALSE(CArticleSearch::Find(m_list, "100% XYZ", false, &m_prompts));
    EXPECT_EQ(m_prompts.m_messages, Texts{"Not found: 100% XYZ"});
}

TEST_F(ArticleSearchTest, FindNextAfterRowsWereRemovedStartsOverQuietly)
{
    ListSubjects({"x1", "x2", "x3"});
    ASSERT_TRUE(CArticleSearch::Find(m_list, "x", false, &m_prompts));
    ASSERT_TRUE(CArticleSearch::FindNext(m_list, &m_prompts));
    ASSERT_TRUE(CArticleSearch::FindNext(m_list, &m_prompts));
    m_list.RemoveAll();
    // The search position lies beyond the (empty) list.
    EXPECT_FALSE(CArticleSearch::FindNext(m_list, &m_prompts));
    EXPECT_EQ(m_list.m_nFindFrom, 0);
}

// --- Filter -------------------------------------------------------------

struct FilterCase
{
    const char* szName;
    std::string strText;
    bool bMatchCase;
    bool bRemove;
    bool bInverted;
    Texts remaining;
    Texts selected;
    std::vector<int> visible; // rows scrolled into view, in walk order
};

void PrintTo(const FilterCase& c, std::ostream* os)
{
    *os << c.szName;
}

class ArticleFilterTable : public ArticleSearchTest, public ::testing::WithParamInterface<FilterCase>
{
};

TEST_P(ArticleFilterTable, ActsByTheTable)
{
    const FilterCase& c = GetParam();
    ListSubjects({"Pic one", "text", "pic two", "more text", "PIC three"});
    // Everything starts selected, so a deselection shows.
    for (int i = 0; i < m_list.GetItemCount(); ++i)
        m_list.SetItemState(i, CArticleList::RowSelected, CArticleList::RowSelected);

    CArticleSearch::ApplyFilter(m_list, c.strText, c.bMatchCase, c.bRemove, c.bInverted);

    EXPECT_EQ(Subjects(), c.remaining);
    EXPECT_EQ(SelectedSubjects(), c.selected);
    EXPECT_EQ(m_view.m_visible, c.visible);
    EXPECT_EQ(m_list.m_strFilter, c.strText);
    // Each kept row was given the focus in turn, bottom up: it ends on the
    // topmost one.
    for (int i = 0; i < m_list.GetItemCount(); ++i)
        EXPECT_EQ((m_list.GetItemState(i) & CArticleList::RowFocused) != 0, i == 0) << i;
    EXPECT_TRUE(m_view.RedrawnOnceAtTheEnd());
    EXPECT_EQ(m_view.m_nWait, 0);
    EXPECT_TRUE(m_prompts.m_messages.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ArticleFilterTable,
    ::testing::Values(
        FilterCase{"DefaultsRemoveMatches", "pic", false, true, false, {"text", "more text"}, {}, {}},
        FilterCase{"SelectMatches",
                   "pic",
                   false,
                   false,
                   false,
                   {"Pic one", "text", "pic two", "more text", "PIC three"},
                   {"Pic one", "pic two", "PIC three"},
                   {4, 2, 0}},
        FilterCase{"InvertedRemoveKeepsMatches",
                   "pic",
                   false,
                   true,
                   true,
                   {"Pic one", "pic two", "PIC three"},
                   {},
                   {4, 2, 0}},
        FilterCase{"InvertedSelectsTheOthers",
                   "pic",
                   false,
                   false,
                   true,
                   {"Pic one", "text", "pic two", "more text", "PIC three"},
                   {"text", "more text"},
                   {4, 2, 0}},
        FilterCase{"MatchCaseRemoves",
                   "pic",
                   true,
                   true,
                   false,
                   {"Pic one", "text", "more text", "PIC three"},
                   {},
                   {}},
        FilterCase{"MatchCaseSelects",
                   "PIC",
                   true,
                   false,
                   false,
                   {"Pic one", "text", "pic two", "more text", "PIC three"},
                   {"PIC three"},
                   {4}},
        FilterCase{"EmptyTextRemovesEverything", "", false, true, false, {}, {}, {}},
        FilterCase{"BlanksAreKept",
                   " two",
                   false,
                   true,
                   false,
                   {"Pic one", "text", "more text", "PIC three"},
                   {},
                   {}},
        FilterCase{"BlanksAreKeptNoMatch",
                   "two ",
                   false,
                   true,
                   false,
                   {"Pic one", "text", "pic two", "more text", "PIC three"},
                   {},
                   {}}),
    [](const ::testing::TestParamInfo<FilterCase>& info) { return std::string(info.param.szName); });

TEST_F(ArticleSearchTest, FilterTwiceRemovesNothingMore)
{
    ListSubjects({"spam 1", "keep 1", "SPAM 2", "keep 2"});
    CArticleSearch::ApplyFilter(m_list, "spam", false, true, false);
    EXPECT_EQ(Subjects(), (Texts{"keep 1", "keep 2"}));
    CArticleSearch::ApplyFilter(m_list, "spam", false, true, false);
    EXPECT_EQ(Subjects(), (Texts{"keep 1", "keep 2"}));
}

TEST_F(ArticleSearchTest, FilterLeavesAQueuedArticleInTheProgressList)
{
    ArticlePtr pQueued = Queue(List(MakeArticle("queued spam")));
    ArticlePtr pOnlyListed = List(MakeArticle("listed spam"));
    std::weak_ptr<CArticle> onlyListed = pOnlyListed;
    pOnlyListed.reset();

    CArticleSearch::ApplyFilter(m_list, "spam", false, true, false);

    EXPECT_EQ(m_list.GetItemCount(), 0);
    ASSERT_EQ(m_progress.GetItemCount(), 1);
    EXPECT_EQ(m_progress.GetArticle(0), pQueued);
    EXPECT_EQ(pQueued->m_nLists, ListProgress);
    EXPECT_EQ(pQueued->m_nState, StateQueued);
    // The article no list holds any more is gone.
    EXPECT_TRUE(onlyListed.expired());
}

// --- Hide incomplete ----------------------------------------------------

TEST_F(ArticleSearchTest, HideIncompleteRemovesIncompleteArticles)
{
    List(MakeArticle("complete 1", "a", StateListed));
    std::weak_ptr<CArticle> incomplete1 = List(MakeArticle("incomplete 1", "a", StateIncomplete));
    List(MakeArticle("done", "a", StateDone));
    std::weak_ptr<CArticle> incomplete2 = List(MakeArticle("incomplete 2", "a", StateIncomplete));
    List(MakeArticle("failed", "a", StateFailed));

    EXPECT_EQ(CArticleSearch::HideIncomplete(m_list), 2);
    EXPECT_EQ(Subjects(), (Texts{"complete 1", "done", "failed"}));
    EXPECT_TRUE(incomplete1.expired());
    EXPECT_TRUE(incomplete2.expired());
    EXPECT_TRUE(m_view.RedrawnOnceAtTheEnd());
    EXPECT_EQ(m_view.m_nWait, 0);

    // Nothing incomplete left: a second run changes nothing.
    EXPECT_EQ(CArticleSearch::HideIncomplete(m_list), 0);
    EXPECT_EQ(m_list.GetItemCount(), 3);
}

// --- Kill filter --------------------------------------------------------

TEST_F(ArticleSearchTest, ApplyKillFilterRemovesByAuthorOrSubject)
{
    List(MakeArticle("Holiday pictures", "alice@example.org"));
    List(MakeArticle("FREE offer", "bob@example.org"));
    List(MakeArticle("Compilation", "carol@example.org"));
    List(MakeArticle("Tutorial", "SpamBot <x@y>"));
    List(MakeArticle("Pictures again", "dave@example.org"));

    const Texts authors{"spambot"};
    const Texts subjects{"free", "ilat"};
    EXPECT_EQ(CArticleSearch::ApplyKillFilter(m_list, authors, subjects), 3);
    EXPECT_EQ(Subjects(), (Texts{"Holiday pictures", "Pictures again"}));
    // The rule is not turned around: a subject entry does not look at authors.
    EXPECT_EQ(CArticleSearch::ApplyKillFilter(m_list, Texts{"pictures"}, Texts{"alice"}), 0);
    EXPECT_TRUE(m_prompts.m_messages.empty());
}

TEST_F(ArticleSearchTest, ApplyKillFilterKeepsQueuedArticlesInTheProgressList)
{
    ArticlePtr pQueued = Queue(List(MakeArticle("unwanted", "x")));
    List(MakeArticle("wanted", "y"));

    EXPECT_EQ(
        CArticleSearch::ApplyKillFilter(m_list, std::list<std::string>{}, std::list<std::string>{"UNWANTED"}),
        1);
    EXPECT_EQ(Subjects(), Texts{"wanted"});
    ASSERT_EQ(m_progress.GetItemCount(), 1);
    EXPECT_EQ(m_progress.GetArticle(0), pQueued);
    EXPECT_EQ(pQueued->m_nLists, ListProgress);
    EXPECT_EQ(pQueued->m_nState, StateQueued);
}

TEST_F(ArticleSearchTest, EmptyKillEntryRemovesEveryRow)
{
    ListSubjects({"a", "b", ""});
    EXPECT_EQ(CArticleSearch::ApplyKillFilter(m_list, Texts{""}, Texts{}), 3);
    EXPECT_EQ(m_list.GetItemCount(), 0);
}

// The bulk walk removes exactly what the arrival test would have dropped,
// and keeps the order of the rest.
TEST_F(ArticleSearchTest, ApplyKillFilterAgreesWithTheArrivalTest)
{
    std::mt19937 rng(77u);
    std::uniform_int_distribution<int> letter('a', 'h');
    auto word = [&](int nLength)
    {
        std::string str;
        for (int i = 0; i < nLength; ++i)
            str += static_cast<char>(letter(rng));
        return str;
    };
    Texts authors;
    Texts subjects;
    for (int i = 0; i < 40; ++i)
    {
        authors.push_back(word(4));
        subjects.push_back(word(5));
    }
    const CKillMatcher authorMatcher(authors);
    const CKillMatcher subjectMatcher(subjects);

    Texts expected;
    for (int i = 0; i < 600; ++i)
    {
        ArticlePtr pArticle = List(MakeArticle(word(20) + " #" + std::to_string(i), word(12)));
        if (!CArticleSearch::IsKilled(*pArticle, authorMatcher, subjectMatcher))
            expected.push_back(pArticle->m_strSubject);
    }
    ASSERT_GT(expected.size(), 50u);
    ASSERT_LT(expected.size(), 550u);

    const int nRemoved = CArticleSearch::ApplyKillFilter(m_list, authorMatcher, subjectMatcher);
    EXPECT_EQ(nRemoved, 600 - static_cast<int>(expected.size()));
    EXPECT_EQ(Subjects(), expected);
}

// Removing many scattered rows at once keeps the other rows' selection and
// focus and drops exactly the rows asked for.
TEST_F(ArticleSearchTest, RemoveRowsKeepsTheSelectionOfTheRest)
{
    for (int i = 0; i < 300; ++i)
        List(MakeArticle("row " + std::to_string(i)));
    std::vector<int> rows;
    Texts expectedRows;
    Texts expectedSelected;
    for (int i = 0; i < 300; ++i)
    {
        const bool bGoes = i % 3 == 1 || i == 0;
        const bool bSelected = i % 2 == 0;
        if (bSelected)
            m_list.SetItemState(i, CArticleList::RowSelected, CArticleList::RowSelected);
        if (bGoes)
            rows.insert(rows.begin(), i); // any order, here from the bottom
        else
        {
            expectedRows.push_back("row " + std::to_string(i));
            if (bSelected)
                expectedSelected.push_back(expectedRows.back());
        }
    }
    m_list.SetItemState(299, CArticleList::RowFocused, CArticleList::RowFocused);

    CArticleSearch::RemoveRows(m_list, rows);

    EXPECT_EQ(Subjects(), expectedRows);
    EXPECT_EQ(SelectedSubjects(), expectedSelected);
    EXPECT_EQ(m_list.GetItemState(m_list.GetItemCount() - 1) & CArticleList::RowFocused,
              CArticleList::RowFocused);
}

TEST_F(ArticleSearchTest, KillFilterAndHideIncompleteKeepTheSelection)
{
    List(MakeArticle("spam a"));
    List(MakeArticle("keep b"));
    List(MakeArticle("incomplete", "x", StateIncomplete));
    List(MakeArticle("keep c"));
    m_list.SetItemState(1, CArticleList::RowSelected, CArticleList::RowSelected);
    m_list.SetItemState(2, CArticleList::RowSelected, CArticleList::RowSelected);

    EXPECT_EQ(CArticleSearch::ApplyKillFilter(m_list, Texts{}, Texts{"SPAM"}), 1);
    EXPECT_EQ(SelectedSubjects(), (Texts{"keep b", "incomplete"}));
    EXPECT_EQ(CArticleSearch::HideIncomplete(m_list), 1);
    EXPECT_EQ(Subjects(), (Texts{"keep b", "keep c"}));
    EXPECT_EQ(SelectedSubjects(), Texts{"keep b"});
}

TEST(ArticleSearchArrival, AuthorOrSubjectKills)
{
    const CKillMatcher authors(Texts{"xyz"});
    const CKillMatcher subjects(Texts{"spam"});
    EXPECT_TRUE(CArticleSearch::IsKilled(*MakeArticle("nice", "XYZ123"), authors, subjects));
    EXPECT_TRUE(CArticleSearch::IsKilled(*MakeArticle("Some SPAM here", "abc"), authors, subjects));
    EXPECT_FALSE(CArticleSearch::IsKilled(*MakeArticle("xyz", "spam"), authors, subjects));
    EXPECT_FALSE(CArticleSearch::IsKilled(*MakeArticle("", ""), authors, subjects));
}

} // namespace
