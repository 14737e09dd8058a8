#include "filters/ArticleSearch.h"

#include "support/Articles.h"
#include "support/RecordingListView.h"
#include "support/TestSupport.h"
#include "support/WithRow.h"

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

ArticlePtr MakeArticle(const std::string& strSubject, const std::string& strAuthor = "poster@example.org",
                       int32_t nState = StateListed)
{
    return testsupport::NewArticle({.nState = nState, .strAuthor = strAuthor, .strSubject = strSubject});
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
    // A removal from the article list left pQueued in the queue alone.
    void ExpectOnlyQueued(const ArticlePtr& pQueued)
    {
        ASSERT_EQ(m_progress.GetItemCount(), 1);
        EXPECT_EQ(m_progress.GetArticle(0), pQueued);
        EXPECT_EQ(pQueued->m_nLists, ListProgress);
        EXPECT_EQ(pQueued->m_nState, StateQueued);
    }

    Texts Subjects(bool bSelectedOnly = false) const
    {
        Texts subjects;
        for (int i = 0; i < m_list.GetItemCount(); ++i)
            if (!bSelectedOnly || m_list.IsSelected(i))
                subjects.push_back(m_list.GetArticle(i)->m_strSubject);
        return subjects;
    }
    Texts SelectedSubjects() const { return Subjects(true); }
    void Select(int nRow) { m_list.SetItemState(nRow, CArticleList::RowSelected, CArticleList::RowSelected); }

    testsupport::RecordingListView m_view{&m_list};
    FakePrompts m_prompts;
    CArticleList m_list;
    CArticleList m_progress;
};

// Only the subject is looked at; blanks around the text are dropped; the
// message shows the text as stored.
TEST_F(ArticleSearchTest, FindIgnoresCaseUnlessMatchCase)
{
    ListSubjects({"holiday pictures", "HOLIDAY VIDEO", "work"});
    List(MakeArticle("some subject", "Wanted Author"));
    Select(0);

    EXPECT_TRUE(CArticleSearch::Find(m_list, "video", false, &m_prompts));
    EXPECT_EQ(SelectedSubjects(), Texts{"HOLIDAY VIDEO"});
    EXPECT_EQ(m_list.GetItemState(1), CArticleList::RowSelected | CArticleList::RowFocused);
    // The earlier selection was cleared; the focus moved to the hit.
    EXPECT_EQ(m_list.GetItemState(0), 0);
    EXPECT_EQ(m_view.m_visible, std::vector<int>{1});

    EXPECT_FALSE(CArticleSearch::Find(m_list, "video", true, &m_prompts));
    EXPECT_TRUE(SelectedSubjects().empty());
    EXPECT_EQ(m_view.m_nWaitDepth, 0);

    EXPECT_TRUE(CArticleSearch::Find(m_list, "  \tholiday ", false, &m_prompts));
    EXPECT_EQ(m_list.m_strFind, "holiday");
    EXPECT_EQ(SelectedSubjects(), Texts{"holiday pictures"});
    EXPECT_FALSE(CArticleSearch::Find(m_list, "wanted", false, &m_prompts));
    EXPECT_EQ(m_list.m_bFound, 0);
    EXPECT_FALSE(CArticleSearch::Find(m_list, "100% XYZ", false, &m_prompts));
    EXPECT_EQ(m_prompts.m_messages, (Texts{"Not found: video", "Not found: wanted", "Not found: 100% XYZ"}));
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
    EXPECT_EQ(m_view.m_nWaitDepth, 0);
    // Rows removed: the search position lies beyond the list; it starts over quietly.
    m_list.RemoveAll();
    EXPECT_FALSE(CArticleSearch::FindNext(m_list, &m_prompts));
    EXPECT_EQ(m_list.m_nFindFrom, 0);
}

TEST_F(ArticleSearchTest, RemovalsLeaveQueuedArticlesInTheProgressList)
{
    ArticlePtr pQueued = Queue(List(MakeArticle("queued spam")));
    std::weak_ptr<CArticle> onlyListed = List(MakeArticle("listed spam"));
    ListSubjects({"keep 1", "SPAM 2", "keep 2"});
    for (int i = 0; i < 2; ++i)
    {
        CArticleSearch::ApplyFilter(m_list, "spam", false, true, false);
        EXPECT_EQ(Subjects(), (Texts{"keep 1", "keep 2"}));
    }
    ExpectOnlyQueued(pQueued);
    EXPECT_TRUE(onlyListed.expired());

    m_progress.RemoveAll();
    pQueued = Queue(List(MakeArticle("unwanted", "x")));
    EXPECT_EQ(
        CArticleSearch::ApplyKillFilter(m_list, std::list<std::string>{}, std::list<std::string>{"UNWANTED"}),
        1);
    EXPECT_EQ(Subjects(), (Texts{"keep 1", "keep 2"}));
    ExpectOnlyQueued(pQueued);
}

TEST_F(ArticleSearchTest, HideIncompleteRemovesIncompleteArticlesAndKeepsTheSelection)
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
    EXPECT_EQ(m_view.m_nWaitDepth, 0);

    // Nothing incomplete left: a second run changes nothing.
    EXPECT_EQ(CArticleSearch::HideIncomplete(m_list), 0);
    EXPECT_EQ(m_list.GetItemCount(), 3);

    List(MakeArticle("incomplete 3", "x", StateIncomplete));
    Select(1);
    Select(3);
    EXPECT_EQ(CArticleSearch::HideIncomplete(m_list), 1);
    EXPECT_EQ(SelectedSubjects(), Texts{"done"});
}

TEST_F(ArticleSearchTest, ApplyKillFilterRemovesByAuthorOrSubject)
{
    const char* authors[] = {"alice@example.org", "bob@example.org", "carol@example.org", "SpamBot <x@y>",
                             "dave@example.org"};
    const Texts subjects{"Holiday pictures", "FREE offer", "Compilation", "Tutorial", "Pictures again"};
    for (size_t i = 0; i < subjects.size(); ++i)
        List(MakeArticle(subjects[i], authors[i]));

    EXPECT_EQ(CArticleSearch::ApplyKillFilter(m_list, Texts{"spambot"}, Texts{"free", "ilat"}), 3);
    EXPECT_EQ(Subjects(), (Texts{"Holiday pictures", "Pictures again"}));
    // The rule is not turned around: a subject entry does not look at authors.
    EXPECT_EQ(CArticleSearch::ApplyKillFilter(m_list, Texts{"pictures"}, Texts{"alice"}), 0);
    EXPECT_TRUE(m_prompts.m_messages.empty());
    // An empty entry removes every row.
    List(MakeArticle("", ""));
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

    // Every other row selected: the kept ones stay selected.
    Texts expected;
    Texts expectedSelected;
    for (int i = 0; i < 600; ++i)
    {
        ArticlePtr pArticle = List(MakeArticle(word(20) + " #" + std::to_string(i), word(12)));
        if (i % 2 == 0)
            Select(i);
        if (CArticleSearch::IsKilled(*pArticle, authorMatcher, subjectMatcher))
            continue;
        expected.push_back(pArticle->m_strSubject);
        if (i % 2 == 0)
            expectedSelected.push_back(pArticle->m_strSubject);
    }
    ASSERT_GT(expected.size(), 50u);
    ASSERT_LT(expected.size(), 550u);

    const int nRemoved = CArticleSearch::ApplyKillFilter(m_list, authorMatcher, subjectMatcher);
    EXPECT_EQ(nRemoved, 600 - static_cast<int>(expected.size()));
    EXPECT_EQ(Subjects(), expected);
    EXPECT_EQ(SelectedSubjects(), expectedSelected);
}

// Rows removed in any order keep the other rows' selection and focus.
TEST_F(ArticleSearchTest, RemoveRowsKeepsTheSelectionOfTheRest)
{
    ListSubjects({"r0", "r1", "r2", "r3", "r4", "r5"});
    Select(2);
    Select(3);
    Select(4);
    m_list.SetItemState(5, CArticleList::RowFocused, CArticleList::RowFocused);
    CArticleSearch::RemoveRows(m_list, {4, 0, 1});
    EXPECT_EQ(Subjects(), (Texts{"r2", "r3", "r5"}));
    EXPECT_EQ(SelectedSubjects(), (Texts{"r2", "r3"}));
    EXPECT_EQ(m_list.GetItemState(2), CArticleList::RowFocused);
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

// Over the rows 0 "Pic one", 1 "text", 2 "pic two", 3 "more text",
// 4 "PIC three": the rows that remain, those selected, and those scrolled into
// view in walk order, each written as a string of row numbers.
struct FilterCase
{
    const char* szName;
    std::string strText;
    bool bMatchCase, bRemove, bInverted;
    std::string strRemaining, strSelected, strVisible;
};

void PrintTo(const FilterCase& c, std::ostream* os)
{
    *os << c.szName;
}

using ArticleFilterTable = testsupport::WithRow<ArticleSearchTest, FilterCase>;

TEST_P(ArticleFilterTable, ActsByTheTable)
{
    const FilterCase& c = GetParam();
    const Texts rows{"Pic one", "text", "pic two", "more text", "PIC three"};
    auto subjects = [&](const std::string& strRows)
    {
        Texts texts;
        for (char cRow : strRows)
            texts.push_back(rows[static_cast<size_t>(cRow - '0')]);
        return texts;
    };
    ListSubjects(rows);
    // Everything starts selected, so a deselection shows.
    for (int i = 0; i < m_list.GetItemCount(); ++i)
        Select(i);

    CArticleSearch::ApplyFilter(m_list, c.strText, c.bMatchCase, c.bRemove, c.bInverted);

    EXPECT_EQ(Subjects(), subjects(c.strRemaining));
    EXPECT_EQ(SelectedSubjects(), subjects(c.strSelected));
    std::vector<int> visible;
    for (char cRow : c.strVisible)
        visible.push_back(cRow - '0');
    EXPECT_EQ(m_view.m_visible, visible);
    EXPECT_EQ(m_list.m_strFilter, c.strText);
    // Each kept row was given the focus in turn, bottom up: it ends on the
    // topmost one.
    for (int i = 0; i < m_list.GetItemCount(); ++i)
        EXPECT_EQ((m_list.GetItemState(i) & CArticleList::RowFocused) != 0, i == 0) << i;
    EXPECT_TRUE(m_view.RedrawnOnceAtTheEnd());
    EXPECT_EQ(m_view.m_nWaitDepth, 0);
    EXPECT_TRUE(m_prompts.m_messages.empty());
}

using F = FilterCase;
INSTANTIATE_TEST_SUITE_P(
    Cases, ArticleFilterTable,
    ::testing::Values(F{"DefaultsRemoveMatches", "pic", false, true, false, "13", "", ""},
                      F{"SelectMatches", "pic", false, false, false, "01234", "024", "420"},
                      F{"InvertedRemoveKeepsMatches", "pic", false, true, true, "024", "", "420"},
                      F{"InvertedSelectsTheOthers", "pic", false, false, true, "01234", "13", "420"},
                      F{"MatchCaseRemoves", "pic", true, true, false, "0134", "", ""},
                      F{"MatchCaseSelects", "PIC", true, false, false, "01234", "4", "4"},
                      F{"EmptyTextRemovesEverything", "", false, true, false, "", "", ""},
                      F{"BlanksAreKept", " two", false, true, false, "0134", "", ""},
                      F{"BlanksAreKeptNoMatch", "two ", false, true, false, "01234", "", ""}),
    [](const ::testing::TestParamInfo<FilterCase>& info) { return std::string(info.param.szName); });

} // namespace
