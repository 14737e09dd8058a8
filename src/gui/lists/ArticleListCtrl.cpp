#include "lists/ArticleListCtrl.h"

#include "app/CommandIds.h"
#include "lists/ArticleListModel.h"
#include "lists/StateImages.h"
#include "model/ArticleList.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>

namespace
{
struct CMenuItem
{
    int nId; // 0 = separator
    const char* pszText;
};

// Menu 138 "Article".
const CMenuItem kArticleMenu[] = {
    {ID_ARTICLE_DOWNLOAD, "&Download"},
    {ID_ARTICLE_DOWNLOADTO, "Download &to..."},
    {ID_ARTICLE_DOWNLOADTONEWSGROUP, "Download to <news&group>..."},
    {ID_ARTICLE_DOWNLOADTOSUBJECT, "Download to <&subject>..."},
    {0, nullptr},
    {ID_ARTICLE_FIND, "Find...\tCtrl-F"},
    {ID_ARTICLE_FINDNEXT, "Find &Next\tF3"},
    {ID_ARTICLE_FILTER, "F&ilter..."},
    {ID_ARTICLE_HIDEINCOMPLETE, "&Hide Incomplete Articles"},
    {0, nullptr},
    {ID_ARTICLE_KILLFILTER, "&Kill Filter"},
    {ID_ARTICLE_ADDAUTHORTOKILL, "Add Author to kill filter..."},
    {ID_ARTICLE_ADDSUBJECTTOKILL, "Add Subject to kill filter...\tCtrl-K"},
    {ID_ARTICLE_APPLYKILLFILTER, "Apply Kill Filter"},
    {0, nullptr},
    {ID_ARTICLE_SELECTALL, "Select &All\tCtrl-A"},
    {ID_ARTICLE_INVERTSELECTION, "In&vert Selection"},
    {0, nullptr},
    {ID_ARTICLE_REMOVE, "&Remove"},
    {ID_ARTICLE_REMOVEALL, "Remove All\tCtrl-X"},
};

// Menu 139 "Progress".
const CMenuItem kProgressMenu[] = {
    {ID_QUEUE_EXPORTGETRIGHT, "&Export Queue to GetRight"},
    {ID_QUEUE_COPYTOCLIPBOARD, "&Copy Queue to Clipboard"},
    {ID_QUEUE_COPYWITHPASSWORD, "Copy Queue to Clipboard (include Username and Password)"},
    {ID_QUEUE_CLEAR, "Clear &Queue"},
    {0, nullptr},
    {ID_PROGRESS_MOVETOTOP, "Move to &Top"},
    {ID_PROGRESS_EDITPATH, "Edit Download &Path"},
    {ID_PROGRESS_CANCELDOWNLOAD, "Cancel &Download"},
    {ID_PROGRESS_REMOVE, "&Remove"},
};
} // namespace

CArticleListCtrl::CArticleListCtrl(QWidget* pParent) : QTreeView(pParent)
{
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setIconSize(QSize(CStateImages::kWidth, CStateImages::kHeight));
    setTextElideMode(Qt::ElideRight);
    // The last column reaches the window's edge.
    header()->setStretchLastSection(true);
    header()->setSectionsMovable(true);
    header()->setSortIndicatorShown(false);
    header()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    header()->setMinimumSectionSize(0);
    m_flushTimer.setSingleShot(true);
    connect(&m_flushTimer, &QTimer::timeout, this, &CArticleListCtrl::FlushArrivals);
    m_publishClock.start();
}

CArticleListCtrl::~CArticleListCtrl()
{
    if (m_pList && m_pList->GetView() == this)
        m_pList->SetView(nullptr);
    // The model goes before the view's base class would touch it again.
    setModel(nullptr);
}

void CArticleListCtrl::Attach(CArticleList* pList)
{
    m_pList = pList;
    m_pModel = std::make_unique<CArticleListModel>(*pList);
    setModel(m_pModel.get());
    pList->SetView(this);
    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &CArticleListCtrl::OnViewSelectionChanged);
    connect(selectionModel(), &QItemSelectionModel::currentChanged, this,
            &CArticleListCtrl::OnViewCurrentChanged);
    // Only the article list sorts; the progress list's header has no buttons.
    header()->setSectionsClickable(Kind() == CArticleList::KindArticles);
    connect(header(), &QHeaderView::sectionClicked, this, &CArticleListCtrl::OnColumnClick);
}

int CArticleListCtrl::Kind() const
{
    return m_pList ? m_pList->m_nListKind : 0;
}

int CArticleListCtrl::AddArticleRow(ArticlePtr pArticle)
{
    return m_pList->AddArticleRow(std::move(pArticle));
}

int CArticleListCtrl::FindArticleRow(const CArticle* pArticle) const
{
    return m_pList->FindArticleRow(pArticle);
}

void CArticleListCtrl::RedrawArticleRow(const CArticle* pArticle)
{
    m_pList->RedrawArticleRow(pArticle);
}

void CArticleListCtrl::RemoveSelected()
{
    m_pList->RemoveSelected();
}

void CArticleListCtrl::RemoveAll()
{
    m_pList->RemoveAll();
}

void CArticleListCtrl::SetAutoScroll(bool bAutoScroll)
{
    m_pList->SetAutoScroll(bAutoScroll);
}

int CArticleListCtrl::GetItemCount() const
{
    return m_pList->GetItemCount();
}

int CArticleListCtrl::GetSelectedCount() const
{
    return m_pList->GetSelectedCount();
}

void CArticleListCtrl::BeginBatch()
{
    m_pModel->BeginDefer();
}

void CArticleListCtrl::EndBatch()
{
    const bool bWasDeferred = m_pModel->IsDeferred();
    const bool bReset = m_pModel->EndDefer();
    if (bWasDeferred && !m_pModel->IsDeferred())
        AfterPublish(bReset);
}

void CArticleListCtrl::BeginArrivals()
{
    if (m_bArrivalsOpen)
        return;
    m_bArrivalsOpen = true;
    m_pModel->BeginDefer();
}

void CArticleListCtrl::EndArrivals()
{
    if (!m_bArrivalsOpen)
        return;
    const qint64 nSince = m_publishClock.elapsed();
    if (nSince >= kPublishMs)
    {
        FlushArrivals();
        return;
    }
    if (!m_flushTimer.isActive())
        m_flushTimer.start(static_cast<int>(kPublishMs - nSince));
}

void CArticleListCtrl::FlushArrivals()
{
    m_flushTimer.stop();
    if (!m_bArrivalsOpen)
        return;
    m_bArrivalsOpen = false;
    EndBatch();
    m_publishClock.restart();
}

void CArticleListCtrl::AfterPublish(bool bReset)
{
    if (bReset || m_bSelectionDirty)
    {
        m_bSelectionDirty = false;
        SyncSelectionFromList();
    }
    if (m_nPendingVisible >= 0)
    {
        const int nRow = m_nPendingVisible;
        m_nPendingVisible = -1;
        EnsureVisible(nRow);
    }
    emit RowsChanged();
}

// --- IArticleListView -------------------------------------------------------

void CArticleListCtrl::OnRowsInserted(int nFirst, int nCount)
{
    m_pModel->NotifyInserted(nFirst, nCount);
    // New rows are not in the sorted order.
    header()->setSortIndicatorShown(false);
    // A row may come in selected (a queued row moved up or down keeps its
    // selection).
    for (int i = nFirst; i < nFirst + nCount && i < m_pList->GetItemCount(); ++i)
    {
        if (m_pList->GetItemState(i) != 0)
        {
            m_bSelectionDirty = true;
            break;
        }
    }
    if (m_pModel->IsDeferred())
        return;
    if (m_bSelectionDirty)
    {
        m_bSelectionDirty = false;
        SyncSelectionFromList();
    }
    emit RowsChanged();
}

void CArticleListCtrl::OnRowsRemoved(int nFirst, int nCount)
{
    // The widget drops the removed rows' selection itself; that must not
    // reach the core, whose rows have already moved up.
    const bool bSyncing = m_bSyncing;
    m_bSyncing = true;
    m_pModel->NotifyRemoved(nFirst, nCount);
    m_bSyncing = bSyncing;
    if (!m_pModel->IsDeferred())
        emit RowsChanged();
}

void CArticleListCtrl::OnRowsMoved(int nFrom, int nTo)
{
    m_pModel->NotifyMoved(nFrom, nTo);
    m_bSelectionDirty = true;
    if (!m_pModel->IsDeferred())
        AfterPublish(false);
}

void CArticleListCtrl::OnRowsReset()
{
    const bool bSyncing = m_bSyncing;
    m_bSyncing = true;
    m_pModel->NotifyReset();
    m_bSyncing = bSyncing;
    m_bSelectionDirty = true;
    if (!m_pModel->IsDeferred())
        AfterPublish(true);
}

void CArticleListCtrl::OnRowChanged(int nRow)
{
    m_pModel->NotifyRowChanged(nRow);
}

void CArticleListCtrl::OnSelectionChanged()
{
    if (m_bPushing)
        return;
    if (m_pModel->IsDeferred())
    {
        m_bSelectionDirty = true;
        return;
    }
    SyncSelectionFromList();
    emit RowsChanged();
}

void CArticleListCtrl::EnsureVisible(int nRow)
{
    if (m_pModel->IsDeferred())
    {
        m_nPendingVisible = nRow;
        return;
    }
    if (nRow >= 0 && nRow < m_pModel->rowCount())
        scrollTo(m_pModel->index(nRow, 0), QAbstractItemView::EnsureVisible);
}

int CArticleListCtrl::GetTopIndex() const
{
    const QModelIndex index = indexAt(QPoint(1, 1));
    return index.isValid() ? index.row() : 0;
}

int CArticleListCtrl::GetCountPerPage() const
{
    int nRowHeight = 0;
    if (m_pModel && m_pModel->rowCount() > 0)
        nRowHeight = rowHeight(m_pModel->index(GetTopIndex(), 0));
    if (nRowHeight <= 0)
        nRowHeight = fontMetrics().height() + 4;
    return std::max(1, viewport()->height() / nRowHeight);
}

void CArticleListCtrl::SetRedraw(bool bRedraw)
{
    if (!bRedraw)
    {
        FlushArrivals();
        if (m_nRedrawOff++ == 0)
            viewport()->setUpdatesEnabled(false);
        m_pModel->BeginDefer();
        return;
    }
    if (m_nRedrawOff == 0)
        return;
    EndBatch();
    if (--m_nRedrawOff == 0)
    {
        viewport()->setUpdatesEnabled(true);
        viewport()->update();
    }
}

void CArticleListCtrl::BeginWaitCursor()
{
    if (m_nWaitCursor++ == 0)
        QApplication::setOverrideCursor(Qt::WaitCursor);
}

void CArticleListCtrl::EndWaitCursor()
{
    if (m_nWaitCursor > 0 && --m_nWaitCursor == 0)
        QApplication::restoreOverrideCursor();
}

// --- selection mirror ----------------------------------------------------------

void CArticleListCtrl::SyncSelectionFromList()
{
    if (!m_pList || !selectionModel())
        return;
    m_bSyncing = true;
    const int nRows = std::min(m_pList->GetItemCount(), m_pModel->rowCount());
    const int nLastColumn = m_pModel->columnCount() - 1;
    QItemSelection selection;
    int nFocus = -1;
    for (int i = 0; i < nRows;)
    {
        const uint8_t nState = m_pList->GetItemState(i);
        if (nState & CArticleList::RowFocused)
            nFocus = i;
        if (!(nState & CArticleList::RowSelected))
        {
            ++i;
            continue;
        }
        int j = i + 1;
        while (j < nRows && (m_pList->GetItemState(j) & CArticleList::RowSelected))
        {
            if (m_pList->GetItemState(j) & CArticleList::RowFocused)
                nFocus = j;
            ++j;
        }
        selection.select(m_pModel->index(i, 0), m_pModel->index(j - 1, nLastColumn));
        i = j;
    }
    if (selection.isEmpty())
        selectionModel()->clearSelection();
    else
        selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
    if (nFocus >= 0)
        selectionModel()->setCurrentIndex(m_pModel->index(nFocus, 0), QItemSelectionModel::NoUpdate);
    m_bSyncing = false;
}

void CArticleListCtrl::OnViewSelectionChanged(const QItemSelection& selected,
                                              const QItemSelection& deselected)
{
    if (m_bSyncing || !m_pList)
        return;
    m_bPushing = true;
    const int nRows = m_pList->GetItemCount();
    for (const QItemSelectionRange& range : deselected)
        for (int r = range.top(); r <= range.bottom() && r < nRows; ++r)
            m_pList->SetItemState(r, 0, CArticleList::RowSelected);
    for (const QItemSelectionRange& range : selected)
        for (int r = range.top(); r <= range.bottom() && r < nRows; ++r)
            m_pList->SetItemState(r, CArticleList::RowSelected, CArticleList::RowSelected);
    m_bPushing = false;
    emit RowsChanged();
}

void CArticleListCtrl::OnViewCurrentChanged(const QModelIndex& current, const QModelIndex& previous)
{
    if (m_bSyncing || !m_pList)
        return;
    m_bPushing = true;
    const int nRows = m_pList->GetItemCount();
    if (previous.isValid() && previous.row() < nRows)
        m_pList->SetItemState(previous.row(), 0, CArticleList::RowFocused);
    if (current.isValid() && current.row() < nRows)
        m_pList->SetItemState(current.row(), CArticleList::RowFocused, CArticleList::RowFocused);
    m_bPushing = false;
}

// --- user input ---------------------------------------------------------------

void CArticleListCtrl::OnColumnClick(int nColumn)
{
    if (Kind() != CArticleList::KindArticles)
        return;
    FlushArrivals();
    BeginWaitCursor();
    const bool bDescending = nColumn == m_pList->m_nSortColumn && m_pList->m_bSortToggle;
    // The core reorders its rows and reports a reset.
    m_pList->SortByColumn(nColumn);
    // The arrow shows the order the rows are now in.
    header()->setSortIndicator(nColumn, bDescending ? Qt::DescendingOrder : Qt::AscendingOrder);
    header()->setSortIndicatorShown(true);
    EndWaitCursor();
}

void CArticleListCtrl::keyPressEvent(QKeyEvent* pEvent)
{
    FlushArrivals();
    if (pEvent->key() == Qt::Key_Delete && pEvent->modifiers() == Qt::NoModifier && m_pList)
    {
        RemoveSelected();
        pEvent->accept();
        return;
    }
    QTreeView::keyPressEvent(pEvent);
}

std::unique_ptr<QMenu> CArticleListCtrl::CreateContextMenu()
{
    FlushArrivals();
    auto pMenu = std::make_unique<QMenu>(Kind() == CArticleList::KindArticles ? QStringLiteral("Article")
                                                                              : QStringLiteral("Progress"));
    const CMenuItem* pBegin =
        Kind() == CArticleList::KindArticles ? std::begin(kArticleMenu) : std::begin(kProgressMenu);
    const CMenuItem* pEnd =
        Kind() == CArticleList::KindArticles ? std::end(kArticleMenu) : std::end(kProgressMenu);
    for (const CMenuItem* p = pBegin; p != pEnd; ++p)
    {
        if (p->nId == 0)
        {
            pMenu->addSeparator();
            continue;
        }
        QAction* pAction = pMenu->addAction(QString::fromLatin1(p->pszText));
        pAction->setData(p->nId);
        if (m_pTarget)
        {
            CCmdUI ui;
            if (m_pTarget->OnUpdateCommand(p->nId, ui))
            {
                pAction->setEnabled(ui.m_bEnabled);
                if (ui.m_bChecked)
                {
                    pAction->setCheckable(true);
                    pAction->setChecked(true);
                }
            }
            ICommandTarget* pTarget = m_pTarget;
            const int nId = p->nId;
            connect(pAction, &QAction::triggered, this, [pTarget, nId] { pTarget->OnCommand(nId); });
        }
    }
    return pMenu;
}

void CArticleListCtrl::contextMenuEvent(QContextMenuEvent* pEvent)
{
    if (!m_pList)
        return;
    std::unique_ptr<QMenu> pMenu = CreateContextMenu();
    pMenu->exec(pEvent->globalPos());
    pEvent->accept();
}

void CArticleListCtrl::mousePressEvent(QMouseEvent* pEvent)
{
    // The user acts on the rows as the core has them.
    FlushArrivals();
    QTreeView::mousePressEvent(pEvent);
}

void CArticleListCtrl::mouseDoubleClickEvent(QMouseEvent* pEvent)
{
    QTreeView::mouseDoubleClickEvent(pEvent);
    if (m_pTarget && Kind() == CArticleList::KindArticles && indexAt(pEvent->position().toPoint()).isValid())
        m_pTarget->OnCommand(ID_ARTICLE_DOWNLOAD);
}
