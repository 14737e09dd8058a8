#pragma once

#include <QAbstractTableModel>

#include <cstdint>
#include <string>

class CArticle;
class CArticleList;

// Item model over a core CArticleList. It keeps no article and no text: every
// cell is asked of the row's article when it is painted. The core list changes
// first and tells the model afterwards, so the model keeps its own row count
// and brings the views up to date from that (begin/end pairs or a reset).
// While deferred (a batch of arrivals, or redrawing switched off) changes are
// only collected and published once at the end.
class CArticleListModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    CArticleListModel(CArticleList& list, QObject* pParent = nullptr);

    CArticleList& List() const { return m_list; }
    int Kind() const { return m_nKind; }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int nSection, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // The column texts, as byte strings in the system's encoding.
    static std::string CellText(const CArticle& article, int nKind, int nColumn);
    // "%dB" below 1000, "%.1fk" below 1000000, else "%.1fM" (decimal units).
    static std::string FormatSize(int64_t nSize);
    static const char* ColumnTitle(int nKind, int nColumn);
    // The tooltip of a state image: the state's name, for a failed article
    // with the reason of its last failure; none for a listed article.
    static QVariant StateToolTip(int nState, const std::string& strLastError);
    static int ColumnCount(int nKind);

    // Notifications from the core list (after the fact).
    void NotifyInserted(int nFirst, int nCount);
    void NotifyRemoved(int nFirst, int nCount);
    void NotifyMoved(int nFrom, int nTo);
    void NotifyReset();
    void NotifyRowChanged(int nRow);

    // Deferral: Begin/End nest; the outermost End publishes what piled up.
    void BeginDefer();
    // Returns true when the model was reset (views lost their selection).
    bool EndDefer();
    bool IsDeferred() const { return m_nDefer > 0; }

private:
    void Publish(bool bForceReset);

    CArticleList& m_list;
    int m_nKind;
    int m_nRows = 0; // the row count the views know
    int m_nDefer = 0;
    bool m_bNeedsReset = false;
};
