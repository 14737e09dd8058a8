#pragma once

#include "model/Article.h"

#include <QStyledItemDelegate>

class CArticleList;

// The progress list's "Size (bytes)" cell: the size text over a bar of the
// part received so far (full for a finished download, none for a row that
// never ran).
class CProgressBarDelegate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    CProgressBarDelegate(CArticleList& progress, QObject* pParent = nullptr);

    void paint(QPainter* pPainter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;

    // Percent of the article's size received, 0 to 100; -1 when no bar is
    // drawn (not started, or no size known).
    static int Percent(const CArticle& article);

private:
    CArticleList& m_progress;
};
