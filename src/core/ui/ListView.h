#pragma once

// What a core article list asks of the widget that shows it: the rows changed,
// scroll a row into view, redraw, the wait cursor. The GUI's item model and
// view implement it; a headless front end may leave it out (null).
class IArticleListView
{
public:
    virtual ~IArticleListView() = default;
    virtual void OnRowsInserted(int nFirst, int nCount) = 0;
    virtual void OnRowsRemoved(int nFirst, int nCount) = 0;
    virtual void OnRowsMoved(int nFrom, int nTo) = 0;
    virtual void OnRowsReset() = 0;
    // Redraw one row (its article's fields changed).
    virtual void OnRowChanged(int nRow) = 0;
    virtual void OnSelectionChanged() = 0;
    virtual void EnsureVisible(int nRow) = 0;
    virtual int GetTopIndex() const = 0;
    virtual int GetCountPerPage() const = 0;
    virtual void SetRedraw(bool bRedraw) = 0;
    virtual void BeginWaitCursor() = 0;
    virtual void EndWaitCursor() = 0;
};
