#include "filters/ArticleSearch.h"

#include "ui/ListView.h"
#include "ui/Prompts.h"

#include <algorithm>
#include <mutex>

namespace
{
constexpr uint8_t kSelectedFocused = CArticleList::RowSelected | CArticleList::RowFocused;
constexpr uint8_t kFocused = CArticleList::RowFocused;
constexpr uint8_t kSelected = CArticleList::RowSelected;

// Blanks as the string class's trimming sees them.
bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

std::string Trim(const std::string& str)
{
    size_t nFirst = 0;
    size_t nLast = str.size();
    while (nFirst < nLast && IsBlank(str[nFirst]))
        ++nFirst;
    while (nLast > nFirst && IsBlank(str[nLast - 1]))
        --nLast;
    return str.substr(nFirst, nLast - nFirst);
}

std::string Pattern(const std::string& strText, bool bMatchCase)
{
    return bMatchCase ? strText : CKillMatcher::ToLower(strText);
}

// Wait cursor and, for bulk walks, redraw off for as long as the walk runs.
class CBusyList
{
public:
    CBusyList(IArticleListView* pView, bool bNoRedraw) : m_pView(pView), m_bNoRedraw(bNoRedraw)
    {
        if (m_pView == nullptr)
            return;
        m_pView->BeginWaitCursor();
        if (m_bNoRedraw)
            m_pView->SetRedraw(false);
    }
    ~CBusyList()
    {
        if (m_pView == nullptr)
            return;
        if (m_bNoRedraw)
            m_pView->SetRedraw(true);
        m_pView->EndWaitCursor();
    }
    CBusyList(const CBusyList&) = delete;
    CBusyList& operator=(const CBusyList&) = delete;

private:
    IArticleListView* m_pView;
    bool m_bNoRedraw;
};
} // namespace

bool CArticleSearch::SubjectMatches(const CArticle& article, const std::string& strPattern, bool bMatchCase,
                                    std::string& strBuffer)
{
    {
        std::lock_guard lock(article.m_lock);
        strBuffer.assign(article.m_strSubject);
    }
    if (!bMatchCase)
        CKillMatcher::ToLowerInPlace(strBuffer);
    return strBuffer.find(strPattern) != std::string::npos;
}

bool CArticleSearch::FindNext(CArticleList& list, IPrompts* pPrompts)
{
    const int nCount = list.GetItemCount();
    const std::string strPattern = Pattern(list.m_strFind, list.m_bMatchCase != 0);
    IArticleListView* pView = list.GetView();

    int nFound = -1;
    {
        CBusyList busy(pView, false);
        // Every selected row becomes focused but not selected; one row holds
        // the focus at a time, so the focus ends on the last of them. Setting
        // the focus once at the end gives the same states without a pass over
        // the whole list per row.
        int nLastDeselected = -1;
        for (int i = list.GetNextSelected(-1); i >= 0; i = list.GetNextSelected(i))
        {
            list.SetItemState(i, 0, kSelected);
            nLastDeselected = i;
        }
        if (nLastDeselected >= 0)
            list.SetItemState(nLastDeselected, kFocused, kFocused);

        std::string strBuffer;
        for (int i = std::max(list.m_nFindFrom, 0); i < nCount; ++i)
        {
            if (!SubjectMatches(*list.GetArticle(i), strPattern, list.m_bMatchCase != 0, strBuffer))
                continue;
            list.m_bFound = 1;
            list.m_nFindFrom = i + 1;
            if (pView != nullptr)
                pView->EnsureVisible(i);
            list.SetItemState(i, kSelectedFocused, kSelectedFocused);
            nFound = i;
            break;
        }
    }

    if (nFound >= 0)
        return true;
    // Shown after the wait cursor ended; the next search starts at the top.
    if (pPrompts != nullptr)
        pPrompts->ShowMessage("Not found: " + list.m_strFind, PromptIcon::None);
    list.m_nFindFrom = 0;
    return false;
}

bool CArticleSearch::Find(CArticleList& list, const std::string& strText, bool bMatchCase, IPrompts* pPrompts)
{
    list.m_bFound = 0;
    list.m_nFindFrom = 0;
    list.m_bMatchCase = bMatchCase ? 1 : 0;
    list.m_strFind = Trim(strText);
    return FindNext(list, pPrompts);
}

void CArticleSearch::ApplyFilter(CArticleList& list, const std::string& strText, bool bMatchCase,
                                 bool bRemove, bool bInverted)
{
    IArticleListView* pView = list.GetView();
    CBusyList busy(pView, true);
    list.m_strFilter = strText;
    const std::string strPattern = Pattern(strText, bMatchCase);

    std::vector<int> remove;
    std::string strBuffer;
    // Each kept row gets "selected and focused" or "focused, not selected".
    // One row holds the focus at a time, so it ends on the last row the walk
    // keeps (the topmost); that row is given the focus once at the end instead
    // of moving it row by row.
    int nLastKept = -1;
    for (int i = list.GetItemCount() - 1; i >= 0; --i)
    {
        const bool bMatch = SubjectMatches(*list.GetArticle(i), strPattern, bMatchCase, strBuffer);
        const bool bWanted = bInverted ? !bMatch : bMatch;
        if (bWanted && bRemove)
        {
            remove.push_back(i);
            continue;
        }
        // Every matching row that stays is scrolled into view.
        if (bMatch && pView != nullptr)
            pView->EnsureVisible(i);
        list.SetItemState(i, bWanted ? kSelected : 0, kSelected);
        nLastKept = i;
    }
    if (nLastKept >= 0)
        list.SetItemState(nLastKept, kFocused, kFocused);
    RemoveRows(list, std::move(remove));
}

int CArticleSearch::HideIncomplete(CArticleList& list)
{
    CBusyList busy(list.GetView(), true);
    std::vector<int> remove;
    for (int i = list.GetItemCount() - 1; i >= 0; --i)
    {
        const CArticle& article = *list.GetArticle(i);
        std::lock_guard lock(article.m_lock);
        if (article.m_nState == StateIncomplete)
            remove.push_back(i);
    }
    const int nRemoved = static_cast<int>(remove.size());
    // The list's removal rules drop the article with its last holder.
    RemoveRows(list, std::move(remove));
    return nRemoved;
}

bool CArticleSearch::IsKilled(const CArticle& article, const CKillMatcher& authors,
                              const CKillMatcher& subjects)
{
    return authors.Matches(article.m_strAuthor) || subjects.Matches(article.m_strSubject);
}

int CArticleSearch::ApplyKillFilter(CArticleList& list, const CKillMatcher& authors,
                                    const CKillMatcher& subjects)
{
    std::vector<int> remove;
    if (authors.IsEmpty() && subjects.IsEmpty())
        return 0;
    // Only the user-interface thread writes subjects and authors, so they are
    // read in place without the article's lock.
    for (int i = list.GetItemCount() - 1; i >= 0; --i)
    {
        const CArticle& article = *list.GetArticle(i);
        if (subjects.Matches(article.m_strSubject) || authors.Matches(article.m_strAuthor))
            remove.push_back(i);
    }
    const int nRemoved = static_cast<int>(remove.size());
    RemoveRows(list, std::move(remove));
    return nRemoved;
}

void CArticleSearch::RemoveRows(CArticleList& list, std::vector<int> rows)
{
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    if (rows.empty())
        return;

    if (list.m_nListKind != CArticleList::KindArticles)
    {
        // The progress list may ask about a running download and keep it,
        // which the selection below cannot follow: one row at a time, from
        // the last row to the first, so the rows still to go keep their
        // numbers.
        for (auto it = rows.rbegin(); it != rows.rend(); ++it)
            list.RemoveRow(*it);
        return;
    }

    // Deleting rows one by one moves every row below each of them, which on
    // a large listing is quadratic. The list removes its selected rows in one
    // pass, with the same removal rules, so the rows to go are made the
    // selection for that moment and the kept rows get their selection back.
    std::vector<int> keptSelected; // row numbers after the removal
    size_t nNext = 0;
    const int nCount = list.GetItemCount();
    for (int i = 0; i < nCount; ++i)
    {
        const bool bGoes = nNext < rows.size() && rows[nNext] == i;
        if (bGoes)
        {
            ++nNext;
            if (!list.IsSelected(i))
                list.SetItemState(i, kSelected, kSelected);
        }
        else if (list.IsSelected(i))
        {
            keptSelected.push_back(i - static_cast<int>(nNext));
            list.SetItemState(i, 0, kSelected);
        }
    }
    list.RemoveSelected();
    for (int nRow : keptSelected)
        list.SetItemState(nRow, kSelected, kSelected);
}
