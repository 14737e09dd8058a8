#include "lists/ProgressBarDelegate.h"

#include "model/ArticleList.h"

#include <QApplication>
#include <QPainter>
#include <QStyleOptionProgressBar>

#include <algorithm>
#include <mutex>

CProgressBarDelegate::CProgressBarDelegate(CArticleList& progress, QObject* pParent)
    : QStyledItemDelegate(pParent), m_progress(progress)
{
}

int CProgressBarDelegate::Percent(const CArticle& article)
{
    int32_t nState;
    int64_t nSize;
    {
        std::lock_guard<std::recursive_mutex> lock(article.m_lock);
        nState = article.m_nState;
        nSize = article.GetSize();
    }
    if (nState == StateDone)
        return 100;
    const int64_t nReceived = article.GetTransfer().m_nReceived.load();
    if (nSize <= 0 || nReceived <= 0)
        return -1;
    return static_cast<int>(std::clamp<int64_t>(nReceived * 100 / nSize, 0, 100));
}

void CProgressBarDelegate::paint(QPainter* pPainter, const QStyleOptionViewItem& option,
                                 const QModelIndex& index) const
{
    const int nRow = index.row();
    const int nPercent =
        nRow >= 0 && nRow < m_progress.GetItemCount() ? Percent(*m_progress.GetArticle(nRow)) : -1;
    if (nPercent < 0)
    {
        QStyledItemDelegate::paint(pPainter, option, index);
        return;
    }
    QStyleOptionProgressBar bar;
    bar.rect = option.rect.adjusted(1, 1, -1, -1);
    bar.minimum = 0;
    bar.maximum = 100;
    bar.progress = nPercent;
    bar.text = index.data(Qt::DisplayRole).toString();
    bar.textVisible = true;
    bar.textAlignment = Qt::AlignCenter;
    bar.state = option.state | QStyle::State_Horizontal;
    bar.palette = option.palette;
    QStyle* pStyle = option.widget ? option.widget->style() : QApplication::style();
    pStyle->drawControl(QStyle::CE_ProgressBar, &bar, pPainter, option.widget);
}
