#pragma once

#include "model/Article.h"

#include <cstdint>
#include <string>
#include <vector>

class IArticleListView;
class IPrompts;
class IMessageSink;

// The rows of one of the two lists (the article list or the progress list,
// which is the download queue) with their row operations, selection and the
// find and sort state. The GUI's list view shows such a list and forwards its
// operations here; the queue order the scheduler walks is this data.
class CArticleList
{
public:
    enum Kind
    {
        KindArticles = 1,
        KindProgress = 2,
    };
    // Per-row state bits, as the list view keeps them.
    enum RowState : uint8_t
    {
        RowSelected = 1,
        RowFocused = 2,
    };

    explicit CArticleList(int nKind);
    virtual ~CArticleList() = default;
    CArticleList(const CArticleList&) = delete;
    CArticleList& operator=(const CArticleList&) = delete;

    // Collaborators (any may be null): the widget, the questions, and for the
    // progress list the window that receives WM_REDRAW_ARTICLE.
    void SetView(IArticleListView* pView) { m_pView = pView; }
    void SetPrompts(IPrompts* pPrompts) { m_pPrompts = pPrompts; }
    void SetNotify(IMessageSink* pNotify) { m_hNotifyWnd = pNotify; }
    IArticleListView* GetView() const { return m_pView; }

    int GetItemCount() const { return static_cast<int>(m_rows.size()); }
    const ArticlePtr& GetArticle(int nRow) const { return m_rows[static_cast<size_t>(nRow)].pArticle; }

    // Row operations without membership rules: insert a row for an article at
    // nPos (clamped to the row count), delete a row. Both tell the view.
    int InsertArticleRow(int nPos, ArticlePtr pArticle, uint8_t nRowState = 0);
    void DeleteRow(int nRow);
    // Appends a row; with auto-scroll on the new row is scrolled into view.
    int AddArticleRow(ArticlePtr pArticle);
    // The row whose article is pArticle, searched from the top; -1 when none.
    int FindArticleRow(const CArticle* pArticle) const;
    // Redraws the article's row when it lies on the visible page.
    void RedrawArticleRow(const CArticle* pArticle);
    void SetAutoScroll(bool bAutoScroll) { m_bAutoScroll = bAutoScroll; }

    // Selection and focus.
    uint8_t GetItemState(int nRow) const { return m_rows[static_cast<size_t>(nRow)].nState; }
    void SetItemState(int nRow, uint8_t nState, uint8_t nMask);
    bool IsSelected(int nRow) const { return (GetItemState(nRow) & RowSelected) != 0; }
    int GetSelectedCount() const;
    // The first selected row after nAfter (-1 starts at the top); -1 when none.
    int GetNextSelected(int nAfter) const;

    // Removal with the list-membership rules: returns false when the user
    // kept a running download by answering No.
    bool RemoveRow(int nRow);
    void RemoveSelected();
    void RemoveAll();

    // Header click on column nColumn: the toggle rule, then a stable sort.
    void SortByColumn(int nColumn);

    // Find state (article list).
    std::string m_strFind;
    std::string m_strFilter;
    int32_t m_bMatchCase = 0;
    int32_t m_bFound = 0;
    int32_t m_nFindFrom = 0;
    // Sort state.
    int32_t m_bSortToggle = 0;
    int32_t m_nSortColumn = -1;
    int32_t m_bAutoScroll = 0;
    int32_t m_nListKind;

private:
    struct CRow
    {
        ArticlePtr pArticle;
        uint8_t nState = 0;
    };

    // Asks about a running download: -1 when no question is needed, else
    // the answer (1 = Yes). No lock is held while the question is open.
    int AskRemoval(const ArticlePtr& pArticle) const;
    // The membership rules of one row's removal, without touching m_rows,
    // on the article's state as it is now: true when the row is to go, false
    // when it stays (a running download without a Yes).
    bool ApplyRemoval(const ArticlePtr& pArticle, int nAnswer);
    // Removes the rows of these articles, in this order. A question runs an
    // event loop in which rows may come and go: rows decided before it are
    // deleted first, and each later article is looked up again. Returns the
    // number of rows removed.
    int RemoveArticles(const std::vector<ArticlePtr>& articles);
    // Deletes every row marked in bRemove in one pass and tells the view.
    void CompactRows(const std::vector<bool>& bRemove);

    std::vector<CRow> m_rows;
    IArticleListView* m_pView = nullptr;
    IPrompts* m_pPrompts = nullptr;
    IMessageSink* m_hNotifyWnd = nullptr;
};
