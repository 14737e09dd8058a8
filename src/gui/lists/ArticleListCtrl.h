#pragma once

#include "model/Article.h"
#include "ui/ListView.h"

#include <QElapsedTimer>
#include <QTimer>
#include <QTreeView>

#include <memory>

class CArticleList;
class CArticleListModel;
class ICommandTarget;
class QMenu;

// The widget of both lists: a flat tree view over a CArticleListModel. The
// core CArticleList is the truth for rows and their selection; this view
// mirrors the user's selection into the core's row states, forwards the row
// operations to it and follows the core's notifications (IArticleListView).
class CArticleListCtrl : public QTreeView, public IArticleListView
{
    Q_OBJECT

public:
    explicit CArticleListCtrl(QWidget* pParent = nullptr);
    ~CArticleListCtrl() override;

    // Shows pList (an article list or the progress list) in this view.
    void Attach(CArticleList* pList);
    CArticleList& List() const { return *m_pList; }
    CArticleListModel* Model() const { return m_pModel.get(); }
    int Kind() const;
    // Where context-menu commands and double-clicks go.
    void SetCommandTarget(ICommandTarget* pTarget) { m_pTarget = pTarget; }

    // Row operations, forwarded to the core list.
    int AddArticleRow(ArticlePtr pArticle);
    int FindArticleRow(const CArticle* pArticle) const;
    void RedrawArticleRow(const CArticle* pArticle);
    void RemoveSelected();
    void RemoveAll();
    void SetAutoScroll(bool bAutoScroll);
    int GetItemCount() const;
    int GetSelectedCount() const;

    // A batch of changes published to the widget at once (arrivals between two
    // paints); nests with SetRedraw.
    void BeginBatch();
    void EndBatch();
    // Listed articles arriving: rows are published to the widget at most every
    // kPublishMs (a whole-list relayout each time would cost more than the
    // rows themselves), and at once by FlushArrivals, which every user action
    // and the end of a retrieval call first.
    static constexpr int kPublishMs = 100;
    void BeginArrivals();
    void EndArrivals();
    void FlushArrivals();

    // The context menu of this list's kind ("Article" 138 or "Progress" 139),
    // with the enabling of the current state applied.
    std::unique_ptr<QMenu> CreateContextMenu();
    // A header click on column nColumn (the article list sorts, the progress
    // list does not).
    void OnColumnClick(int nColumn);

    // IArticleListView
    void OnRowsInserted(int nFirst, int nCount) override;
    void OnRowsRemoved(int nFirst, int nCount) override;
    void OnRowsMoved(int nFrom, int nTo) override;
    void OnRowsReset() override;
    void OnRowChanged(int nRow) override;
    void OnSelectionChanged() override;
    void EnsureVisible(int nRow) override;
    int GetTopIndex() const override;
    int GetCountPerPage() const override;
    void SetRedraw(bool bRedraw) override;
    void BeginWaitCursor() override;
    void EndWaitCursor() override;

signals:
    // Rows or their selection changed (the view rewrites "Selected:").
    void RowsChanged();

protected:
    void keyPressEvent(QKeyEvent* pEvent) override;
    void contextMenuEvent(QContextMenuEvent* pEvent) override;
    void mouseDoubleClickEvent(QMouseEvent* pEvent) override;
    void mousePressEvent(QMouseEvent* pEvent) override;

private:
    void OnViewSelectionChanged(const QItemSelection& selected, const QItemSelection& deselected);
    void OnViewCurrentChanged(const QModelIndex& current, const QModelIndex& previous);
    // Puts the core's selection and focus into the widget.
    void SyncSelectionFromList();
    void AfterPublish(bool bReset);

    CArticleList* m_pList = nullptr;
    std::unique_ptr<CArticleListModel> m_pModel;
    ICommandTarget* m_pTarget = nullptr;
    bool m_bSyncing = false; // the widget's selection is being set from the core
    bool m_bPushing = false; // the core's row states are being set from the widget
    bool m_bSelectionDirty = false;
    int m_nPendingVisible = -1;
    int m_nRedrawOff = 0;
    int m_nWaitCursor = 0;
    bool m_bArrivalsOpen = false;
    QElapsedTimer m_publishClock;
    QTimer m_flushTimer;
};
