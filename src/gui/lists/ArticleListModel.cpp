#include "lists/ArticleListModel.h"

#include "lists/StateImages.h"
#include "model/ArticleList.h"

#include <algorithm>
#include <cstdio>
#include <mutex>

namespace
{
const char* const kArticleTitles[] = {"", "Date", "Author", "Size", "Subject", "Filename"};
const char* const kProgressTitles[] = {
    "", "Subject", "Filename", "kB/s", "Time remaining", "Size (bytes)", "Download Path"};
} // namespace

CArticleListModel::CArticleListModel(CArticleList& list, QObject* pParent)
    : QAbstractTableModel(pParent), m_list(list), m_nKind(list.m_nListKind), m_nRows(list.GetItemCount())
{
}

int CArticleListModel::ColumnCount(int nKind)
{
    return nKind == CArticleList::KindProgress ? 7 : 6;
}

const char* CArticleListModel::ColumnTitle(int nKind, int nColumn)
{
    if (nColumn < 0 || nColumn >= ColumnCount(nKind))
        return "";
    return nKind == CArticleList::KindProgress ? kProgressTitles[nColumn] : kArticleTitles[nColumn];
}

int CArticleListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_nRows;
}

int CArticleListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount(m_nKind);
}

std::string CArticleListModel::FormatSize(int64_t nSize)
{
    char buf[64];
    if (nSize < 1000)
        std::snprintf(buf, sizeof buf, "%lldB", static_cast<long long>(nSize));
    else if (nSize < 1000000)
        std::snprintf(buf, sizeof buf, "%.1fk", static_cast<double>(static_cast<float>(nSize) * 0.001f));
    else
        std::snprintf(buf, sizeof buf, "%.1fM", static_cast<double>(static_cast<float>(nSize) * 0.000001f));
    return buf;
}

std::string CArticleListModel::CellText(const CArticle& article, int nKind, int nColumn)
{
    if (nKind == CArticleList::KindProgress)
    {
        // Workers write the name, speed and time left under the article's lock.
        std::lock_guard<std::recursive_mutex> lock(article.m_lock);
        char buf[64];
        switch (nColumn)
        {
        case 1:
            return article.m_strSubject;
        case 2:
            return article.m_strSavedName;
        case 3:
            if (article.GetTransfer().m_fSpeed > 0.0f)
            {
                std::snprintf(buf, sizeof buf, "%.1f", static_cast<double>(article.GetTransfer().m_fSpeed));
                return buf;
            }
            return "--";
        case 4:
            return article.GetTransfer().m_strTimeLeft;
        case 5:
            std::snprintf(buf, sizeof buf, "%lld", static_cast<long long>(article.GetSize()));
            return buf;
        case 6:
            return article.m_strDownloadPath;
        default:
            return std::string();
        }
    }
    // The listed fields are written on the user-interface thread only.
    switch (nColumn)
    {
    case 1:
        return article.m_strDate;
    case 2:
        return article.m_strAuthor;
    case 3:
        return FormatSize(article.GetSize());
    case 4:
        return article.m_strSubject;
    case 5:
        return article.m_strFileName;
    default:
        return std::string();
    }
}

QVariant CArticleListModel::StateToolTip(int nState, const std::string& strLastError)
{
    static const char* const kNames[CStateImages::kCount] = {"Queued",    "Downloading", "Exported",
                                                             "Done",      "Failed",      "Incomplete",
                                                             "Cancelled", "Removing",    "Stopped at exit"};
    // A listed article shows no image, so it has nothing to name.
    if (nState < 0 || nState >= CStateImages::kCount)
        return QVariant();
    QString strTip = QString::fromLatin1(kNames[nState]);
    if (nState == StateFailed && !strLastError.empty())
        strTip += QStringLiteral(": ") + QString::fromLocal8Bit(strLastError);
    return strTip;
}

QVariant CArticleListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= m_list.GetItemCount())
        return QVariant();
    const ArticlePtr& pArticle = m_list.GetArticle(index.row());
    if (!pArticle)
        return QVariant();
    switch (role)
    {
    case Qt::DisplayRole:
        if (index.column() == 0)
            return QVariant();
        return QString::fromLocal8Bit(CellText(*pArticle, m_nKind, index.column()));
    case Qt::DecorationRole:
        if (index.column() == 0)
        {
            int nState;
            {
                std::lock_guard<std::recursive_mutex> lock(pArticle->m_lock);
                nState = pArticle->m_nState;
            }
            const QIcon& icon = CStateImages::Instance().Icon(nState);
            if (!icon.isNull())
                return icon;
        }
        return QVariant();
    case Qt::ToolTipRole:
        if (index.column() == 0)
        {
            std::lock_guard<std::recursive_mutex> lock(pArticle->m_lock);
            return StateToolTip(pArticle->m_nState, pArticle->GetTransfer().m_strLastError);
        }
        // A progress row tells why its last attempt failed.
        if (m_nKind == CArticleList::KindProgress)
        {
            std::lock_guard<std::recursive_mutex> lock(pArticle->m_lock);
            if (!pArticle->GetTransfer().m_strLastError.empty())
                return QString::fromLocal8Bit(pArticle->GetTransfer().m_strLastError);
        }
        return QVariant();
    default:
        return QVariant();
    }
}

QVariant CArticleListModel::headerData(int nSection, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal)
        return QVariant();
    if (role == Qt::DisplayRole)
        return QString::fromLatin1(ColumnTitle(m_nKind, nSection));
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(Qt::Alignment(Qt::AlignLeft | Qt::AlignVCenter));
    return QVariant();
}

void CArticleListModel::NotifyInserted(int nFirst, int nCount)
{
    if (nCount <= 0)
        return;
    if (m_nDefer > 0)
    {
        // Rows added behind those the views know are published as one
        // insertion; anything before them needs a reset.
        if (nFirst < m_nRows)
            m_bNeedsReset = true;
        return;
    }
    beginInsertRows(QModelIndex(), nFirst, nFirst + nCount - 1);
    m_nRows += nCount;
    endInsertRows();
}

void CArticleListModel::NotifyRemoved(int nFirst, int nCount)
{
    if (nCount <= 0)
        return;
    if (m_nDefer > 0)
    {
        m_bNeedsReset = true;
        return;
    }
    beginRemoveRows(QModelIndex(), nFirst, nFirst + nCount - 1);
    m_nRows -= nCount;
    endRemoveRows();
}

void CArticleListModel::NotifyMoved(int nFrom, int nTo)
{
    if (m_nDefer > 0)
    {
        m_bNeedsReset = true;
        return;
    }
    // The rows in between change their content; the count stays.
    const int nLow = std::min(nFrom, nTo);
    const int nHigh = std::max(nFrom, nTo);
    if (nLow < 0 || nHigh >= m_nRows)
    {
        Publish(true);
        return;
    }
    emit dataChanged(index(nLow, 0), index(nHigh, columnCount() - 1));
}

void CArticleListModel::NotifyReset()
{
    if (m_nDefer > 0)
    {
        m_bNeedsReset = true;
        return;
    }
    Publish(true);
}

void CArticleListModel::NotifyRowChanged(int nRow)
{
    if (m_nDefer > 0 || nRow < 0 || nRow >= m_nRows)
        return;
    emit dataChanged(index(nRow, 0), index(nRow, columnCount() - 1));
}

void CArticleListModel::BeginDefer()
{
    ++m_nDefer;
}

bool CArticleListModel::EndDefer()
{
    if (m_nDefer == 0 || --m_nDefer > 0)
        return false;
    const bool bReset = m_bNeedsReset;
    Publish(m_bNeedsReset);
    return bReset;
}

void CArticleListModel::Publish(bool bForceReset)
{
    m_bNeedsReset = false;
    const int nCore = m_list.GetItemCount();
    if (bForceReset)
    {
        if (nCore == m_nRows)
        {
            // Same number of rows (a sort, a move): views keep their scroll
            // position; the owner puts the selection back from the core.
            emit layoutAboutToBeChanged();
            emit layoutChanged();
            return;
        }
        beginResetModel();
        m_nRows = nCore;
        endResetModel();
        return;
    }
    if (nCore > m_nRows)
    {
        beginInsertRows(QModelIndex(), m_nRows, nCore - 1);
        m_nRows = nCore;
        endInsertRows();
    }
    else if (nCore < m_nRows)
    {
        beginResetModel();
        m_nRows = nCore;
        endResetModel();
    }
}
